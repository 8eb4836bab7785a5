// End-to-end: the Windows build, mervik.exe, run under Wine on real files; its PDF is read back
// or compared with the Linux build's byte for byte.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/workspace.hpp"

namespace mervik::test {
namespace {

namespace fs = std::filesystem;

// The same sources in a workspace, all last written at 2024-03-04 09:05:07 UTC.
void writeSources(Workspace& f, const std::vector<std::pair<std::string, std::string>>& files) {
  const timespec times[2] = {{1709543107, 0}, {1709543107, 0}};
  for (const auto& [name, text] : files) {
    f.source(name, text);
    ::utimensat(AT_FDCWD, (f.dir / ("work/" + name)).c_str(), times, 0);
  }
}

std::string titles(const Pdf& pdf) {
  std::string out;
  for (const auto& entry : pdf.outlines) out += "[" + entry.title + "]";
  return out;
}

// The bundled examples and the VHDL sources of ghdl-common (the benchmark's input A), each
// under a few formats: the PDFs of the two builds are the same bytes.
TEST(Windows, WritesTheSamePdfAsTheLinuxBuild) {
  ::setenv("TZ", "UTC", 1);
  std::vector<std::pair<std::string, std::string>> examples, ghdl;
  for (const char* name : {"counter.vhd", "traffic_light.vhd", "uart_tx.vhd"})
    examples.emplace_back(name, readFile(std::string(MERVIK_SOURCE_DIR) + "/examples/" + name));
  const fs::path ghdlSources = "/usr/lib/ghdl/src";
  for (const auto& entry : fs::recursive_directory_iterator(ghdlSources)) {
    std::string flat = fs::relative(entry.path(), ghdlSources).string();
    for (char& c : flat) c = c == '/' ? '_' : c;
    if (entry.path().extension() == ".vhdl") ghdl.emplace_back(flat, readFile(entry.path()));
  }
  ASSERT_GT(ghdl.size(), 50u) << "install ghdl-common";
  const std::string shipped = readFile(std::string(MERVIK_SOURCE_DIR) + "/examples/mervik.rsc");
  const std::pair<const std::vector<std::pair<std::string, std::string>>*, std::string> cases[] = {
      {&examples, shipped},
      {&examples, "/FORMAT\n3\n-120\n"},
      {&examples, "/FORMAT\n4\n24\n"},
      {&ghdl, shipped}};
  for (const auto& [sources, resource] : cases) {
    std::string pdf[2];
    for (const Build build : {Build::native, Build::windows}) {
      Workspace f(build);
      f.resource(resource);
      writeSources(f, *sources);
      ASSERT_EQ(f.run({"*.vhd*"}).status, 0);
      pdf[build == Build::windows] = readFile(f.dir / "work/listing.pdf");
    }
    EXPECT_TRUE(!pdf[0].empty() && pdf[0] == pdf[1])
        << resource.substr(0, 20) << ": " << pdf[0].size() << " and " << pdf[1].size() << " bytes";
  }
}

// Patterns ignore letter case and take '?'; '\' and '/' both separate; a path keeps the
// directory as typed and the file's name as stored; the listing goes beside the first named
// source, over a listing already there, and the viewer is handed its full path.
TEST(Windows, SelectsWithWildcardsAndBackslashPaths) {
  Workspace f(Build::windows);
  ::setenv("TZ", "XYZ-2", 1);  // two hours east: the header shows the local time
  writeSources(f, {{"rtl/Alu.VHD", "signal a;\n"},
                   {"rtl/cpu.vhd", "entity cpu is end;\n"},
                   {"rtl/cpu.vhdl", "x\n"},
                   {"rtl/sub.vhd/x", "x\n"},
                   {"src2.vhd", ""},
                   {"src/cpu.vhd", "entity c is end;\n"}});
  std::string work = "Z:" + f.dir / "work";
  for (char& c : work) c = c == '/' ? '\\' : c;
  for (int pass = 0; pass < 2; ++pass) {  // the second run replaces the first's listing
    const RunResult r = f.run({"RTL\\*.vhd", "src\\CPU.VHD", "s?c2.*", "src2.vhd"});
    EXPECT_EQ(std::to_string(r.status) + r.opened, "0" + work + "\\RTL\\listing.pdf");
    EXPECT_NE(r.console.find("\n\nRTL\\Alu.VHD\n     2 different symbol names"), std::string::npos)
        << r.console;
    EXPECT_NE(r.console.find("\n\nsrc2.vhd\n\nsrc2.vhd : FILE IS EMPTY\n\n\nsrc\\cpu.vhd\n"),
              std::string::npos)
        << r.console;  // sorted by bytes, and listed once
    const Pdf pdf = f.pdf("rtl/listing.pdf");
    EXPECT_EQ(titles(pdf) + pdf.pages.at(0).runsIn("Helvetica").at(0).text,
              "[Alu.VHD][cpu.vhd][cpu.vhd]Mon Mar  4 11:05:07 2024   Alu.VHD");
  }

  // A drive and its root: C:\work\rtl is this workspace's rtl/ through a link in the prefix.
  const fs::path drive = fs::path(MERVIK_WINE_PREFIX) / "drive_c/work";
  fs::create_directories(drive);
  fs::remove(drive / "rtl");
  fs::create_directory_symlink(f.dir / "work/rtl", drive / "rtl");
  fs::remove(f.dir / "work/rtl/listing.pdf");
  const RunResult r = f.run({"C:\\work\\rtl\\*.vhd", "C:/work/rtl/cpu.vhd"});
  fs::remove(drive / "rtl");
  EXPECT_EQ(std::to_string(r.status) + r.opened, "0C:\\work\\rtl\\listing.pdf");
  EXPECT_NE(r.console.find("\n\nC:\\work\\rtl\\Alu.VHD\n"), std::string::npos) << r.console;
  // The same file by two spellings is two paths: '/' sorts before '\\'.
  EXPECT_EQ(titles(f.pdf("rtl/listing.pdf")), "[cpu.vhd][Alu.VHD][cpu.vhd]");
}

// mervik.rsc is read beside mervik.exe, whether it is started by its path or by its bare
// name through the search path (then the program's own location tells where).
TEST(Windows, ReadsTheResourceFileBesideTheProgram) {
  for (const Build build : {Build::windows, Build::windowsByName}) {
    Workspace f(build);
    f.resource("/TITLE\nWindows\n/FORMAT\n4\n-80\n");
    f.source("a.vhd");
    const RunResult r = f.run({"a.vhd"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.console.find("\n\nLoading resource file  :  Windows\n"), 15u) << r.console;
    EXPECT_NEAR(f.pdf().pages.at(0).width, 841.89, 0.01);  // landscape
  }
}

// Sources that cannot be listed are reported and skipped; fatal errors show their message and
// end with status 1, without a listing.
TEST(Windows, ReportsFailuresWithTheirMessagesAndStatus) {
  std::string tables;
  for (int i = 0; i < 20; ++i) tables += "//T" + std::to_string(i) + "\n";
  struct Case {
    std::string resource;
    std::vector<std::string> args;
    std::string console;  // how the console ends, then the exit status
  };
  const Case cases[] = {
      {"",
       {"missing.vhd", "empty.vhd", "u\\*"},  // a name outside the ANSI code page
       "\n\nmissing.vhd : FILE NOT FOUND\n\n\nempty.vhd\n\nempty.vhd : FILE IS "
       "EMPTY\n\n\nu\\?.vhd\n\n"
       "u\\?.vhd : FILE COULD NOT BE OPENED\n\n\nTotal lines: 0\n\nNo listing file: no source "
       "could be listed\n\nPress a key to quit 0"},
      {tables, {"a.vhd"}, "\n   T19\n\nTOO MANY RESOURCE TABLES\n\nPress a key to quit 1"},
      {"",
       {"dir\\a.vhd"},
       "\n\ndir\\a.vhd\n     4 different symbol names\n     4 symbol "
       "occurrences\n\nCould not save the PDF file\n\nPress a key to quit 1"},
  };
  for (const Case& c : cases) {
    Workspace f(Build::windows);
    if (!c.resource.empty()) f.resource(c.resource);
    f.source("a.vhd");
    f.source("empty.vhd", "");
    f.source("u/\xd0\xb6.vhd");
    f.source("dir/a.vhd");
    f.dir.write("work/dir/listing.pdf/keep", "");  // where the listing cannot go
    const RunResult r = f.run(c.args);
    const std::string shown = r.console + std::to_string(r.status);
    EXPECT_EQ(shown.substr(shown.size() - std::min(shown.size(), c.console.size())) + r.opened,
              c.console);
    EXPECT_FALSE(fileExists(f.dir / "work/listing.pdf") ||
                 fileExists(f.dir / "work/dir/listing.pdf.part"));
  }
}

// Reads what the console shows until `text` appears or `seconds` pass. Wine's console draws
// with escape sequences and moves over blanks, so both are left out of *shown.
bool readUntil(int fd, const std::string& text, int seconds, std::string* shown) {
  for (int i = 0; i < seconds * 10 && shown->find(text) == std::string::npos; ++i) {
    struct pollfd ready = {fd, POLLIN, 0};
    char buffer[512];
    const ssize_t n = poll(&ready, 1, 100) > 0 ? read(fd, buffer, sizeof buffer) : 0;
    for (ssize_t k = 0; k < n; ++k) {
      if (buffer[k] == '\x1b') {
        while (k + 1 < n && !(buffer[k + 1] >= '@' && buffer[k + 1] <= '~' && buffer[k + 1] != '['))
          ++k;
        ++k;
      } else if (buffer[k] != ' ' && buffer[k] != '\r') {
        shown->push_back(buffer[k]);
      }
    }
  }
  return shown->find(text) != std::string::npos;
}

// On a console the key wait drops the keys typed during the run and ends at the next key.
TEST(Windows, KeyWaitOnAConsoleDropsEarlierKeysAndEndsAtTheNext) {
  Workspace f(Build::windows);
  f.source("a.vhd");
  const int master = posix_openpt(O_RDWR | O_NOCTTY);
  if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) GTEST_SKIP() << "no pty";
  const std::string terminal = ptsname(master), program = f.dir / "bin/mervik.exe";
  setWineEnvironment("Z:" + f.dir / "bin/opened.txt", "Z:" + f.dir / "bin");
  const pid_t child = fork();
  if (child == 0) {
    setsid();
    const int tty = open(terminal.c_str(), O_RDWR);  // the controlling terminal: a console
    for (int fd = 0; fd < 3; ++fd) dup2(tty, fd);
    if (chdir((f.dir / "work").c_str()) != 0) _exit(126);
    execl(MERVIK_WINE, MERVIK_WINE, program.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  std::string shown;
  ASSERT_TRUE(readUntil(master, "Filestoprocess?", 60, &shown)) << shown;
  // Wine's console reads keys from the terminal once it has left line mode; before that the
  // terminal itself would take the line.
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
  EXPECT_EQ(status, 0);
  EXPECT_TRUE(fileExists(f.dir / "work/listing.pdf"));
}

}  // namespace
}  // namespace mervik::test
