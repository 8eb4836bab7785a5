#pragma once
// The user's console: where the run reports progress, and the final key wait.

#include <string_view>

namespace mervik::platform {

/// Receives text meant for the console. The process console writes it to the terminal;
/// tests substitute a recording console.
class Console {
 public:
  virtual ~Console() = default;
  /// Writes `text` as it stands: no line end is added.
  virtual void write(std::string_view text) = 0;
  /// printf-style formatting over write(); any length, never truncated.
  void print(const char* format, ...) __attribute__((format(printf, 2, 3)));
};

/// The process console: the controlling terminal (on Windows the console window) when there is
/// one, standard error otherwise, so that redirecting standard output never captures it.
Console& processConsole();

/// Standard error as a console, whether or not there is a terminal: for batch runs.
Console& standardErrorConsole();

/// Key wait: drains keys typed earlier, shows `message` on `console`, then waits for one key
/// without echo, consumes it and ends the console's line. Without a terminal or console to
/// read, it shows the message and returns.
void waitForKey(Console& console, std::string_view message);

}  // namespace mervik::platform
