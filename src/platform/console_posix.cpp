// The process console and the key wait on a POSIX terminal.

#include "platform/console.hpp"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <iterator>

namespace mervik::platform {

namespace {

// Writes all of `text` to `fd`, riding out interrupted and partial writes.
void writeAll(int fd, std::string_view text) {
  while (!text.empty()) {
    ssize_t n = ::write(fd, text.data(), text.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    text.remove_prefix(static_cast<size_t>(n));
  }
}

// The controlling terminal when the process has one, standard error otherwise. Both are
// written unbuffered, so console text and the prompt on standard output keep their order.
class TerminalConsole : public Console {
 public:
  TerminalConsole() : fd_(::open("/dev/tty", O_WRONLY | O_NOCTTY | O_CLOEXEC)) {}
  void write(std::string_view text) override { writeAll(fd_ >= 0 ? fd_ : STDERR_FILENO, text); }

 private:
  int fd_;  // held for the whole run
};

// Terminal settings to put back when a signal ends the process during the key wait.
int savedFd = -1;
struct termios savedSettings;
constexpr int restoredSignals[] = {SIGINT, SIGQUIT, SIGTERM, SIGHUP};
struct sigaction previousActions[std::size(restoredSignals)];

extern "C" void restoreAndReraise(int signo) {
  if (savedFd >= 0) tcsetattr(savedFd, TCSANOW, &savedSettings);
  signal(signo, SIG_DFL);
  raise(signo);
}

void guardSignals(int fd, const struct termios& settings) {
  savedFd = fd;
  savedSettings = settings;
  struct sigaction action {};
  action.sa_handler = restoreAndReraise;
  sigemptyset(&action.sa_mask);
  for (size_t i = 0; i < std::size(restoredSignals); ++i)
    sigaction(restoredSignals[i], &action, &previousActions[i]);
}

void unguardSignals() {
  for (size_t i = 0; i < std::size(restoredSignals); ++i)
    sigaction(restoredSignals[i], &previousActions[i], nullptr);
  savedFd = -1;
}

// Reads one byte, waiting as long as it takes; false when the terminal gives nothing more.
bool readKeyByte(int fd, unsigned char* byte) {
  for (;;) {
    ssize_t n = ::read(fd, byte, 1);
    if (n == 1) return true;
    if (n < 0 && errno == EINTR) continue;
    return false;
  }
}

// An arrow or function key arrives as several bytes at once; take the rest of them so that
// none reach the shell after the program ends.
void consumeKeyTail(int fd) {
  unsigned char rest[32];
  struct pollfd waiting = {fd, POLLIN, 0};
  while (poll(&waiting, 1, 50) > 0 && (waiting.revents & POLLIN) != 0) {
    if (::read(fd, rest, sizeof rest) <= 0) return;
  }
}

// The wait itself, on a terminal that is ours to read.
void waitOnTerminal(int fd, Console& console, std::string_view message) {
  struct termios original;
  if (tcgetattr(fd, &original) != 0 || tcgetpgrp(fd) != getpgrp()) {
    console.write(message);  // not a terminal, or a background job: do not wait
    return;
  }
  struct termios raw = original;
  raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
  raw.c_cc[VMIN] = 1;
  raw.c_cc[VTIME] = 0;
  guardSignals(fd, original);
  if (tcsetattr(fd, TCSANOW, &raw) == 0) {
    tcflush(fd, TCIFLUSH);  // keys typed during the run do not end the wait
    console.write(message);
    unsigned char key = 0;
    if (readKeyByte(fd, &key)) {
      if (key == 0x1B) consumeKeyTail(fd);
      console.write("\n");  // the shell's prompt starts on a line of its own
    }
  } else {
    console.write(message);
  }
  tcsetattr(fd, TCSAFLUSH, &original);
  unguardSignals();
}

}  // namespace

Console& processConsole() {
  static TerminalConsole console;
  return console;
}

void waitForKey(Console& console, std::string_view message) {
  int fd = ::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    console.write(message);
    return;
  }
  waitOnTerminal(fd, console, message);
  ::close(fd);
}

}  // namespace mervik::platform
