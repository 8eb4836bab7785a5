#include "support/run_mervik.hpp"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <thread>

#include <gtest/gtest.h>

namespace fs = std::filesystem;

namespace mervik::test {

TempDir::TempDir() {
  std::string pattern = (fs::temp_directory_path() / "mervik-test-XXXXXX").string();
  if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempDir::~TempDir() {
  if (::testing::Test::HasFailure()) {
    std::cerr << "test files left in " << path_ << "\n";
    return;
  }
  std::error_code ec;
  // Tests may leave read-only directories behind; make them writable so they can go.
  for (auto it = fs::recursive_directory_iterator(path_, ec); !ec && it != fs::end(it);
       it.increment(ec)) {
    fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
  }
  fs::remove_all(path_, ec);
}

void TempDir::write(const std::string& relative, const std::string& bytes) const {
  const fs::path target = fs::path(path_) / relative;
  fs::create_directories(target.parent_path());
  std::ofstream(target, std::ios::binary) << bytes;
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

bool fileExists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0;
}

namespace {

constexpr const char* fakeViewer =
    "#!/bin/sh\n"
    "# Records what it was asked to open, and opens nothing; the rename lets a reader see\n"
    "# the whole argument or nothing.\n"
    "d=$(dirname \"$0\")\n"
    "printf '%s' \"$1\" >\"$d/opened.tmp\" && mv \"$d/opened.tmp\" \"$d/opened.txt\"\n";

void writeExecutable(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
  ::chmod(path.c_str(), 0755);
}

// Reads both pipes to the end without blocking on either, or until the deadline.
bool drain(int outFd, int errFd, RunResult* result, std::chrono::steady_clock::time_point end) {
  pollfd fds[2] = {{outFd, POLLIN, 0}, {errFd, POLLIN, 0}};
  int open = 2;
  char buf[65536];
  while (open > 0) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        end - std::chrono::steady_clock::now()).count();
    if (left <= 0) return false;
    if (::poll(fds, 2, static_cast<int>(left)) < 0) continue;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
      const ssize_t n = ::read(fds[i].fd, buf, sizeof buf);
      if (n > 0) {
        (i == 0 ? result->out : result->console).append(buf, static_cast<size_t>(n));
      } else {
        ::close(fds[i].fd);
        fds[i].fd = -1;
        --open;
      }
    }
  }
  return true;
}

}  // namespace

RunResult runMervik(const std::vector<std::string>& args, const RunOptions& options) {
  const std::string programDir = options.programDir;
  fs::create_directories(programDir);
  const std::string program = programDir + "/mervik";
  if (!fileExists(program)) fs::create_symlink(MERVIK_BINARY, program);
  if (options.withResource) {
    std::ofstream(programDir + "/mervik.rsc", std::ios::binary) << options.resource;
  }
  const std::string viewerDir = programDir + "/viewer";
  fs::create_directories(viewerDir);
  writeExecutable(viewerDir + "/xdg-open", fakeViewer);
  std::remove((viewerDir + "/opened.txt").c_str());

  const std::string path = viewerDir + ":/usr/bin:/bin";
  const std::string input = programDir + "/stdin.txt";
  std::ofstream(input, std::ios::binary) << options.stdinText;

  std::vector<std::string> argvText{program};
  argvText.insert(argvText.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& a : argvText) argv.push_back(a.data());
  argv.push_back(nullptr);

  int outPipe[2], errPipe[2];
  if (::pipe(outPipe) != 0 || ::pipe(errPipe) != 0) return {};
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::setsid();  // no controlling terminal: the console is standard error, no key wait
    const int in = ::open(options.stdinIsNull ? "/dev/null" : input.c_str(), O_RDONLY);
    ::dup2(in, 0);
    ::dup2(outPipe[1], 1);
    ::dup2(errPipe[1], 2);
    ::close(outPipe[0]);
    ::close(errPipe[0]);
    if (::chdir((options.cwd.empty() ? programDir : options.cwd).c_str()) != 0) _exit(126);
    ::setenv("PATH", path.c_str(), 1);
    ::execv(program.c_str(), argv.data());
    _exit(127);
  }
  ::close(outPipe[1]);
  ::close(errPipe[1]);
  RunResult result;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(2);
  const bool ended = drain(outPipe[0], errPipe[0], &result, deadline);
  if (!ended) ::kill(pid, SIGKILL);
  int status = 0;
  ::waitpid(pid, &status, 0);
  result.status = ended && WIFEXITED(status) ? WEXITSTATUS(status) : -1;

  // The viewer is started detached: give it a moment to record its argument.
  const bool announced = result.console.find("Listing file: ") != std::string::npos;
  for (int i = 0; announced && i < 150 && !fileExists(viewerDir + "/opened.txt"); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  result.opened = readFile(viewerDir + "/opened.txt");
  return result;
}

}  // namespace mervik::test
