// What every console offers, whatever the system: formatted text over write().

#include "platform/console.hpp"

#include <cstdarg>
#include <cstdio>
#include <new>
#include <string>

namespace mervik::platform {

void Console::print(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list again;
  va_copy(again, args);
  char small[256];
  int needed = std::vsnprintf(small, sizeof small, format, args);
  va_end(args);
  if (needed >= 0 && static_cast<size_t>(needed) < sizeof small) {
    write(std::string_view(small, static_cast<size_t>(needed)));
  } else if (needed >= 0) {
    try {
      std::string text(static_cast<size_t>(needed) + 1, '\0');
      std::vsnprintf(text.data(), text.size(), format, again);
      text.pop_back();
      write(text);
    } catch (const std::bad_alloc&) {
      // A report line that cannot be formatted is dropped rather than ending the run.
    }
  }
  va_end(again);
}

namespace {

// Standard error, written unbuffered: the report of a batch run.
class ErrorStreamConsole : public Console {
 public:
  void write(std::string_view text) override {
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fflush(stderr);
  }
};

}  // namespace

Console& standardErrorConsole() {
  static ErrorStreamConsole console;
  return console;
}

}  // namespace mervik::platform
