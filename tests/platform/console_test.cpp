#include "platform/console.hpp"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

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

// What the terminal shows until it pauses for `ms` milliseconds.
std::string shownUntilPause(int fd, int ms) {
  std::string got;
  char buffer[256];
  struct pollfd waiting = {fd, POLLIN, 0};
  for (ssize_t n; poll(&waiting, 1, ms) > 0 && (n = read(fd, buffer, sizeof buffer)) > 0;) {
    got.append(buffer, static_cast<size_t>(n));
  }
  return got;
}

// Without a terminal the wait shows the message and returns at once. On one it ignores keys
// typed earlier, takes one whole arrow key without echo and puts the settings back.
TEST(KeyWait, ReturnsWithoutATerminalAndOnOneTakesOneWholeKey) {
  const int master = posix_openpt(O_RDWR | O_NOCTTY);
  if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) GTEST_SKIP() << "no pty";
  const std::string terminal = ptsname(master);
  const int slave = open(terminal.c_str(), O_RDWR | O_NOCTTY);  // keeps typed keys queued
  struct termios before, after;
  ASSERT_EQ(tcgetattr(slave, &before), 0);
  ASSERT_EQ(write(master, "abc", 3), 3);  // keys typed during the run: queued once echoed
  EXPECT_EQ(shownUntilPause(master, 500), "abc");
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    alarm(10);  // a hang becomes a failure
    setsid();  // a new session: no controlling terminal yet
    test::RecordingConsole console;
    waitForKey(console, quitMessage);
    if (console.text() != quitMessage || open(terminal.c_str(), O_RDWR) < 0) _exit(40);
    waitForKey(processConsole(), quitMessage);  // the terminal just opened is now the console
    _exit(0);
  }
  EXPECT_EQ(shownUntilPause(master, 2000), "\r\n\r\nPress a key to quit ");
  ASSERT_EQ(waitpid(child, nullptr, WNOHANG), 0) << "the early keys ended the wait";
  ASSERT_EQ(write(master, "\x1b[A", 3), 3);  // arrow up
  int status = 0;
  EXPECT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_EQ(shownUntilPause(master, 200), "");  // the key was not echoed
  ASSERT_EQ(tcgetattr(slave, &after), 0);
  EXPECT_EQ(after.c_lflag, before.c_lflag);  // the settings came back
  char left[8];
  ASSERT_EQ(write(master, "\n", 1), 1);  // ends the line a shell would read next
  EXPECT_EQ(read(slave, left, sizeof left), 1) << "a byte of the key was left for the shell";
  close(slave);
  close(master);
}

}  // namespace
}  // namespace mervik::platform
