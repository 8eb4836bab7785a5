#include "platform/console.hpp"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "support/recording.hpp"

namespace mervik::platform {

// One read of `fd` after `ms` milliseconds; the master side does not block.
std::string readAfter(int fd, int ms) {
  usleep(ms * 1000);
  char buffer[256];
  const ssize_t n = read(fd, buffer, sizeof buffer);
  return std::string(buffer, n > 0 ? static_cast<size_t>(n) : 0);
}

// On a terminal the wait ignores keys typed earlier and takes one whole key without echo.
TEST(KeyWait, ReturnsWithoutATerminalAndOnOneTakesOneWholeKey) {
  const int master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
  if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) GTEST_SKIP() << "no pty";
  const int slave = open(ptsname(master), O_RDWR | O_NOCTTY);  // keeps typed keys queued
  ASSERT_EQ(write(master, "abc", 3), 3);  // keys typed during the run: queued once echoed
  EXPECT_EQ(readAfter(master, 500), "abc");
  const pid_t child = fork();
  if (child == 0) {
    alarm(10);  // a hang becomes a failure
    setsid();   // a new session: no controlling terminal yet
    test::RecordingConsole console;
    waitForKey(console, "\nKey? ");
    if (console.text() != "\nKey? " || open(ptsname(master), O_RDWR) < 0) _exit(40);
    waitForKey(processConsole(), "\nKey? ");  // the terminal just opened is now the console
    _exit(0);
  }
  EXPECT_EQ(readAfter(master, 2000), "\r\nKey? ");
  ASSERT_EQ(waitpid(child, nullptr, WNOHANG), 0) << "the early keys ended the wait";
  ASSERT_EQ(write(master, "\x1b[A", 3), 3);  // arrow up
  int status = -1;
  EXPECT_TRUE(waitpid(child, &status, 0) == child && status == 0) << status;
  // The wait ends its line after the key. Then a line end: echoed alone (echo is back on) and
  // read alone (no byte of the key left).
  ASSERT_EQ(write(master, "\n", 1), 1);
  EXPECT_EQ(readAfter(master, 200) + "|" + readAfter(slave, 0), "\r\n\r\n|\n");
}

}  // namespace mervik::platform
