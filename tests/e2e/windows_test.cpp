// End-to-end: mervik.exe under Wine on real files, its PDF read back or compared with Linux's.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/workspace.hpp"

namespace mervik::test {

namespace fs = std::filesystem;
TEST(Windows, WritesTheSamePdfBytesAsTheLinuxBuild) {
  ::setenv("TZ", "UTC", 1);
  const Sources sources = realSources();
  for (const std::string& resource :
       {shippedResource(), std::string("/FORMAT\n3\n-120\n"), std::string("/FORMAT\n4\n24\n")}) {
    std::string pdf[2];
    for (const Build build : {Build::native, Build::windows}) {
      Workspace f(build);
      f.environment = {{"SOURCE_DATE_EPOCH", "1700000000"}};  // the shipped file's record is dated
      f.resource(resource);
      f.sources(sources);
      ASSERT_EQ(f.run({"*.vhd*"}).status, 0);
      pdf[build == Build::windows] = readFile(f.dir / "work/listing.pdf");
    }
    EXPECT_TRUE(!pdf[0].empty() && pdf[0] == pdf[1]) << resource.substr(0, 20);
  }
}

// Case-blind patterns, '\' or '/', drives; the listing beside the first source; mervik.rsc
// beside mervik.exe, also when started by its bare name; failures.
TEST(Windows, SelectsWithWildcardsAndWindowsPathsReadsTheResourceAndReportsFailures) {
  ::setenv("TZ", "XYZ-2", 1);  // two hours east: the header shows the local time
  for (const Build build : {Build::windows, Build::windowsByName}) {
    Workspace f(build);
    f.resource("/TITLE\nWindows\n");
    f.sources({{"rtl/Alu.VHD", "signal a;\n"}, {"rtl/cpu.vhd", "entity c is end;\n"},
               {"rtl/cpu.vhdl", "x\n"}, {"rtl/sub.vhd/x", "x\n"}, {"src2.vhd", ""},
               {"src/cpu.vhd", "entity c is end;\n"}});
    std::string work = "Z:" + f.dir / "work";
    for (char& c : work) c = c == '/' ? '\\' : c;
    for (int pass = 0; pass < 2; ++pass) {
      const RunResult r = f.run({"RTL\\*.vhd", "src\\CPU.VHD", "s?c2.*", "src2.vhd"});
      EXPECT_EQ(std::to_string(r.status) + r.opened, "0" + work + "\\RTL\\listing.pdf");
      for (const char* shown : {"- MERVIK v1.0 -\n\nLoading resource file  :  Windows\n",
                                "\n\nRTL\\Alu.VHD\n     2 different symbol names",
                                "\n\nsrc2.vhd\n\nsrc2.vhd : FILE IS EMPTY\n\n\nsrc\\cpu.vhd\n"})
        EXPECT_NE(r.console.find(shown), std::string::npos) << r.console;
      const Pdf pdf = f.pdf("rtl/listing.pdf");
      EXPECT_EQ(fileTitles(pdf) + pdf.pages.at(0).runsIn("Helvetica").at(0).text,
                "[Alu.VHD][cpu.vhd][cpu.vhd]Mon Mar  4 11:05:07 2024   Alu.VHD");
    }
  }
  // C:\work\rtl is a workspace's rtl/ through a link in the prefix's drive C.
  Workspace f(Build::windows);
  f.sources({{"rtl/Alu.VHD", "signal a;\n"}, {"rtl/cpu.vhd", "entity c is end;\n"},
             {"empty.vhd", ""}, {"dir/listing.pdf/x", ""}, {"dir/a.vhd", "entity e is end;\n"},
             {"u/\xd0\xb6.vhd", "x\n"}});  // a name outside the ANSI code page
  const fs::path drive = fs::path(MERVIK_WINE_PREFIX) / "drive_c/work";
  fs::create_directories(drive);
  fs::remove(drive / "rtl");
  fs::create_directory_symlink(f.dir / "work/rtl", drive / "rtl");
  const RunResult r = f.run({"C:\\work\\rtl\\*.vhd", "C:/work/rtl/cpu.vhd"});
  fs::remove(drive / "rtl");
  EXPECT_EQ(std::to_string(r.status) + r.opened, "0C:\\work\\rtl\\listing.pdf");
  EXPECT_NE(r.console.find("\n\nC:\\work\\rtl\\Alu.VHD\n"), std::string::npos) << r.console;
  // One section a file (its volume and index), under its first path: '/' sorts before '\'.
  EXPECT_EQ(fileTitles(f.pdf("rtl/listing.pdf")), "[cpu.vhd][Alu.VHD]");
  // Classes, wildcards in directories and ** ignore letter case; the status counts what
  // selected nothing.
  f.sources({{"rtl/x/hdl/d.vhd", "x\n"}, {"rtl/y/deep/e.vhdl", "x\n"}});
  const RunResult patterns = f.run({"-b", "RTL\\*\\HDL\\[a-d]*.vhd", "rtl/**/*.VHDL", "rtl\\[!a]*.x"});
  EXPECT_EQ(std::to_string(patterns.status) + fileTitles(f.pdf("rtl/listing.pdf")), "1[d.vhd][e.vhdl]")
      << patterns.console;
  // Unlisted sources are reported and skipped; a fatal error ends with its message and status 1.
  const std::pair<std::vector<std::string>, std::string> cases[] = {  // how the console ends
      {{"missing.vhd", "empty.vhd", "u\\*"},
       "\n\nmissing.vhd : FILE NOT FOUND\n   missing.vhd: File not found\n\n\nempty.vhd\n\n"
       "empty.vhd : FILE IS EMPTY\n\n\nu\\?.vhd\n\nu\\?.vhd : FILE COULD NOT BE OPENED\n"
       "   u\\?.vhd: Invalid name\n\n\nTotal lines: 0\n\nNo listing file:"
       " no source could be listed\n\nPress a key to quit 1"},
      {{"dir\\a.vhd"},
       "\n\ndir\\a.vhd\n     4 different symbol names\n     4 symbol occurrences\n\nCould not "
       "save the PDF file\n   dir\\listing.pdf: Access denied\n\nPress a key to quit 1"}};
  for (const auto& [names, expected] : cases) {
    const RunResult failed = f.run(names);
    const std::string shown = failed.console + std::to_string(failed.status) + failed.opened;
    EXPECT_EQ(shown.substr(shown.size() - std::min(shown.size(), expected.size())), expected);
    EXPECT_FALSE(fileExists(f.dir / "work/listing.pdf") ||
                 fileExists(f.dir / "work/dir/listing.pdf.part"));
  }
}

// Reads the console until `text` shows, less the escapes and blanks Wine's console draws with.
bool readUntil(int fd, const std::string& text, int seconds, std::string* raw) {
  const std::regex drawing("\x1b\\[[0-9;?]*[A-Za-z]|[ \r]");
  for (int i = 0; i < seconds * 10; ++i) {
    if (std::regex_replace(*raw, drawing, "").find(text) != std::string::npos) return true;
    struct pollfd ready = {fd, POLLIN, 0};
    char buffer[512];
    const ssize_t n = poll(&ready, 1, 100) > 0 ? read(fd, buffer, sizeof buffer) : 0;
    raw->append(buffer, static_cast<size_t>(std::max<ssize_t>(n, 0)));
  }
  return false;
}

// On a console the key wait drops the keys typed during the run and ends at the next key.
TEST(Windows, KeyWaitOnAConsoleDropsEarlierKeysAndEndsAtTheNext) {
  Workspace f(Build::windows);
  f.source("a.vhd");
  const int master = posix_openpt(O_RDWR | O_NOCTTY);
  if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) GTEST_SKIP() << "no pty";
  const std::string terminal = ptsname(master), program = f.dir / "bin/mervik.exe",
                    work = f.dir / "work";
  setWineEnvironment("Z:" + f.dir / "bin/opened.txt", "Z:" + f.dir / "bin");
  const pid_t child = fork();
  if (child == 0) {
    setsid();
    const int tty = open(terminal.c_str(), O_RDWR);  // becomes the controlling terminal
    for (int fd = 0; fd < 3; ++fd) dup2(tty, fd);
    if (chdir(work.c_str()) != 0) _exit(126);
    execl(MERVIK_WINE, MERVIK_WINE, program.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  std::string shown;
  ASSERT_TRUE(readUntil(master, "Filestoprocess?", 60, &shown)) << shown;
  // Wine's console takes keys from the terminal once it has left line mode.
  struct termios mode;
  for (int i = 0; i < 600 && tcgetattr(master, &mode) == 0 && (mode.c_lflag & ICANON); ++i)
    usleep(100000);
  ASSERT_EQ(write(master, "a.vhd\rxyz", 9), 9);  // the typed line, and keys typed on
  EXPECT_TRUE(readUntil(master, "Pressakeytoquit", 60, &shown)) << shown;
  readUntil(master, "nevershown", 2, &shown);
  EXPECT_EQ(waitpid(child, nullptr, WNOHANG), 0) << "the keys typed earlier ended the wait";
  ASSERT_EQ(write(master, "\x1b[A", 3), 3);  // arrow up
  int status = -1;
  for (int i = 0; i < 100 && waitpid(child, &status, WNOHANG) == 0; ++i) usleep(100000);
  if (status == -1) kill(child, SIGKILL), waitpid(child, nullptr, 0);
  EXPECT_EQ(std::to_string(status) + std::to_string(fileExists(work + "/listing.pdf")), "01");
}

}  // namespace mervik::test
