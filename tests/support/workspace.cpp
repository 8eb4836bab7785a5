#include "support/workspace.hpp"

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include <gtest/gtest.h>

namespace mervik::test {

// Records what it was asked to open, renamed into place so a reader sees all of it or nothing.
constexpr const char* fakeViewer = "#!/bin/sh\nd=$(dirname \"$0\")\n"
    "printf '%s' \"$1\" >\"$d/opened.tmp\" && mv \"$d/opened.tmp\" \"$d/opened.txt\"\n";

void setWineEnvironment(const std::string& record, const std::string& searchPath) {
  // Quiet, with no window and none of the desktop's file associations.
  ::setenv("WINEPREFIX", MERVIK_WINE_PREFIX, 1);
  ::setenv("WINEDEBUG", "-all", 1);
  ::setenv("WINEDLLOVERRIDES", "winemenubuilder.exe=d;mscoree=d;mshtml=d", 1);
  ::unsetenv("DISPLAY");
  ::setenv("MERVIK_TEST_RECORD", record.c_str(), 1);
  ::setenv("WINEPATH", searchPath.c_str(), 1);
}

Workspace::Workspace(Build build) : build_(build) {
  dir.write("work/.keep", "");
  dir.write("bin/viewer/xdg-open", fakeViewer);
  ::chmod((dir / "bin/viewer/xdg-open").c_str(), 0755);
  if (build_ != Build::native) {
    std::filesystem::copy_file(MERVIK_WINDOWS_EXE, dir / "bin/mervik.exe");
  } else {
    std::filesystem::create_symlink(MERVIK_BINARY, dir / "bin/mervik");
    // Every run without a resource file beside the program would read it.
    EXPECT_FALSE(fileExists("/etc/mervik/mervik.rsc")) << "a mervik is installed on this machine";
  }
}

void Workspace::resource(const std::string& text) { dir.write("bin/mervik.rsc", text); }

void Workspace::source(const std::string& name, const std::string& text) {
  dir.write("work/" + name, text);
  const timespec times[2] = {{1709543107, 0}, {1709543107, 0}};
  ::utimensat(AT_FDCWD, (dir / ("work/" + name)).c_str(), times, 0);
}

void Workspace::sources(const Sources& files) {
  for (const auto& [name, text] : files) source(name, text);
}

Sources realSources() {
  Sources out;
  for (const char* name : {"counter.vhd", "traffic_light.vhd", "uart_tx.vhd"})
    out.emplace_back(name, readFile(std::string(MERVIK_SOURCE_DIR) + "/examples/" + name));
  const std::string root = "/usr/lib/ghdl/src/";
  if (std::filesystem::is_directory(root))
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
      std::string flat = entry.path().string().substr(root.size());
      std::replace(flat.begin(), flat.end(), '/', '_');
      if (entry.path().extension() == ".vhdl") out.emplace_back(flat, readFile(entry.path()));
    }
  EXPECT_GT(out.size(), 50u) << "install ghdl-common";
  return out;
}

std::string shippedResource() {
  return readFile(std::string(MERVIK_SOURCE_DIR) + "/examples/mervik.rsc");
}

RunResult Workspace::run(const std::vector<std::string>& args,
                         const std::optional<std::string>& input) {
  // Everything the child needs is made before the fork.
  const bool wine = build_ != Build::native;
  const std::string program = dir / (wine ? "bin/mervik.exe" : "bin/mervik");
  const std::string work = dir / "work";
  const std::string in = input ? dir / "bin/in.txt" : "/dev/null";
  const std::string out = dir / "bin/out.txt", err = dir / "bin/err.txt";
  const std::string opened = dir / "bin/viewer/opened.txt", record = "Z:" + opened;
  const std::string searchPath = "Z:" + dir / "bin";
  const std::string path = dir / "bin/viewer:/usr/bin:/bin", home = dir / "home";
  if (input) dir.write("bin/in.txt", *input);
  std::remove(opened.c_str());
  std::vector<std::string> argvText{program};
  if (build_ == Build::windowsByName) argvText = {"cmd", "/c", "mervik"};
  if (wine) argvText.insert(argvText.begin(), MERVIK_WINE);
  argvText.insert(argvText.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& a : argvText) argv.push_back(a.data());
  argv.push_back(nullptr);

  const pid_t pid = ::fork();
  if (pid == 0) {
    ::setsid();  // no controlling terminal: the console is standard error, no key wait
    ::dup2(::open(in.c_str(), O_RDONLY), 0);
    ::dup2(::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 1);
    ::dup2(::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 2);
    if (::chdir(work.c_str()) != 0) _exit(126);
    ::setenv("PATH", path.c_str(), 1);
    ::setenv("HOME", home.c_str(), 1);
    ::unsetenv("XDG_CONFIG_HOME");
    ::unsetenv("MERVIK_NO_OPEN");
    ::setenv("DISPLAY", ":99", 1);  // a display to show the listing on, for the fake viewer
    for (const auto& [name, value] : environment) ::setenv(name.c_str(), value.c_str(), 1);
    if (addressLimit != 0) {
      const rlimit limit{addressLimit, addressLimit};
      ::setrlimit(RLIMIT_AS, &limit);
    }
    if (wine) setWineEnvironment(record, searchPath);
    ::execv(argv[0], argv.data());
    _exit(127);
  }
  int status = 0;
  bool ended = false;
  for (int i = 0; i < timeoutMs / 10 && !(ended = ::waitpid(pid, &status, WNOHANG) == pid); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  if (!ended) ::kill(pid, SIGKILL), ::waitpid(pid, &status, 0);
  RunResult result{ended && WIFEXITED(status) ? WEXITSTATUS(status) : -1, readFile(err),
                   readFile(out), ""};
  // The viewer is started detached: give it up to 3 s to record its argument.
  // After "--" a word is a name, never the option.
  const auto options = std::find(args.begin(), args.end(), "--");
  const bool listed = result.console.find("Listing file: ") != std::string::npos &&
                      std::find(args.begin(), options, "--no-open") == options;
  for (int i = 0; i < 300 && listed && !fileExists(opened); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  result.opened = readFile(opened);
  return result;
}

Pdf Workspace::pdf(const std::string& name) {
  Pdf out;
  std::string err, quoted;
  const std::string path = dir / ("work/" + name);
  EXPECT_TRUE(readPdf(path, &out, &err)) << err;
  for (char c : path) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  // qpdf's check must report no error and no warning.
  EXPECT_EQ(std::system(("qpdf --check '" + quoted + "' >/dev/null 2>&1").c_str()), 0) << name;
  return out;
}

}  // namespace mervik::test
