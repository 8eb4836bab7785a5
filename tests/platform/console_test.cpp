#include "platform/console.hpp"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <string>

#include "support/recording.hpp"

namespace mervik::platform {
namespace {

const char* const quitMessage = "\n\nPress a key to quit ";

TEST(Console, PrintFormatsTextOfAnyLength) {
  test::RecordingConsole console;
  const std::string longText(5000, 'v');
  console.print("\n%6d symbol occurrences", 42);
  console.print("\n\n%s : FILE NOT FOUND\n", longText.c_str());
  EXPECT_EQ(console.text(), "\n    42 symbol occurrences\n\n" + longText + " : FILE NOT FOUND\n");
}

// Waits for a forked child; the child's own alarm turns a hang into a failure.
int exitCodeOf(pid_t child) {
  int status = 0;
  pid_t got;
  while ((got = waitpid(child, &status, 0)) < 0 && errno == EINTR) {
  }
  if (got != child) return 2000;
  if (!WIFEXITED(status)) return 1000 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
  return WEXITSTATUS(status);
}

TEST(KeyWait, WithoutATerminalShowsTheMessageAndReturns) {
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    alarm(5);
    setsid();  // a new session has no controlling terminal
    test::RecordingConsole console;
    waitForKey(console, quitMessage);
    _exit(console.text() == quitMessage ? 0 : 1);
  }
  EXPECT_EQ(exitCodeOf(child), 0);
}

// Writes straight to one descriptor: the child's terminal in the test below.
class FdConsole : public Console {
 public:
  explicit FdConsole(int fd) : fd_(fd) {}
  void write(std::string_view text) override {
    if (::write(fd_, text.data(), text.size()) < 0) _exit(50);
  }

 private:
  int fd_;
};

// Reads the terminal's output until `needle` shows or `ms` milliseconds pass.
std::string readUntil(int fd, const std::string& needle, int ms) {
  std::string got;
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while ((needle.empty() || got.find(needle) == std::string::npos) &&
         std::chrono::steady_clock::now() < end) {
    struct pollfd waiting = {fd, POLLIN, 0};
    if (poll(&waiting, 1, 20) <= 0) continue;
    char buffer[256];
    ssize_t n = read(fd, buffer, sizeof buffer);
    if (n <= 0) break;
    got.append(buffer, static_cast<size_t>(n));
  }
  return got;
}

// The child side: take the pseudo terminal as controlling terminal, wait for a key there,
// then report whether the settings came back and whether any byte was left unread.
[[noreturn]] void keyWaitChild(const char* terminal, int ready, int go) {
  alarm(10);
  setsid();
  int tty = open(terminal, O_RDWR);  // becomes the controlling terminal
  struct termios before;
  if (tty < 0 || tcgetattr(tty, &before) != 0) _exit(40);
  char token = 'r';
  if (write(ready, &token, 1) != 1 || read(go, &token, 1) != 1) _exit(41);
  FdConsole console(tty);
  waitForKey(console, quitMessage);
  struct termios after;
  tcgetattr(tty, &after);
  int code = after.c_lflag == before.c_lflag ? 0 : 1;
  struct termios peek = after;
  peek.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
  peek.c_cc[VMIN] = 0;
  peek.c_cc[VTIME] = 0;
  tcsetattr(tty, TCSANOW, &peek);
  char left;
  if (read(tty, &left, 1) > 0) code |= 2;  // the rest of the arrow key leaked
  _exit(code);
}

TEST(KeyWait, OnATerminalIgnoresEarlierKeysAndTakesAWholeArrowKey) {
  int master = posix_openpt(O_RDWR | O_NOCTTY);
  if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) GTEST_SKIP() << "no pty";
  std::string terminal = ptsname(master);
  int ready[2];
  int go[2];
  ASSERT_EQ(pipe(ready), 0);
  ASSERT_EQ(pipe(go), 0);
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) keyWaitChild(terminal.c_str(), ready[1], go[0]);
  char token;
  ASSERT_EQ(read(ready[0], &token, 1), 1);
  // Keys typed during the run: once echoed they sit in the terminal's input.
  ASSERT_EQ(write(master, "abc", 3), 3);
  EXPECT_NE(readUntil(master, "abc", 3000).find("abc"), std::string::npos);
  ASSERT_EQ(write(go[1], "g", 1), 1);
  EXPECT_NE(readUntil(master, "Press a key to quit ", 3000).find("Press a key to quit "),
            std::string::npos);
  usleep(300000);
  bool stillWaiting = waitpid(child, nullptr, WNOHANG) == 0;
  EXPECT_TRUE(stillWaiting) << "the early keys ended the wait";
  if (stillWaiting) {
    ASSERT_EQ(write(master, "\x1b[A", 3), 3);  // arrow up
    EXPECT_EQ(exitCodeOf(child), 0);
    EXPECT_EQ(readUntil(master, "", 200), "");  // the key was not echoed
  }
  close(master);
  for (int fd : {ready[0], ready[1], go[0], go[1]}) close(fd);
}

}  // namespace
}  // namespace mervik::platform
