// Opening the finished listing in the desktop's viewer, on POSIX systems.

#include "platform/viewer.hpp"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace mervik::platform {

namespace {

// Runs in the grandchild: quiet standard streams, then the viewer in place of this process.
// Only async-signal-safe calls here, since the parent may have had other threads.
[[noreturn]] void execViewer(char* const argv[]) {
  int quiet = ::open("/dev/null", O_RDWR);
  if (quiet >= 0) {
    dup2(quiet, STDIN_FILENO);
    dup2(quiet, STDOUT_FILENO);
    dup2(quiet, STDERR_FILENO);
    if (quiet > STDERR_FILENO) ::close(quiet);
  }
  execvp(argv[0], argv);
  _exit(127);  // no viewer: nothing to report
}

}  // namespace

void openDocument(const std::string& path) {
  // Without a display, xdg-open may start a text-mode browser on the user's terminal.
  const char* x11 = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  if ((x11 == nullptr || *x11 == '\0') && (wayland == nullptr || *wayland == '\0')) return;
  // The argument vector is made before forking; the path is one argument and no shell
  // ever sees it.
  char program[] = "xdg-open";
  char* const argv[] = {program, const_cast<char*>(path.c_str()), nullptr};
  // Two forks: the middle child ends at once and is reaped here, so the viewer is adopted by
  // init, leaves no zombie and is not waited for; its own session keeps it off our terminal.
  pid_t middle = fork();
  if (middle < 0) return;
  if (middle == 0) {
    setsid();
    pid_t viewer = fork();
    if (viewer == 0) execViewer(argv);
    _exit(0);
  }
  while (waitpid(middle, nullptr, 0) < 0 && errno == EINTR) {
  }
}

}  // namespace mervik::platform
