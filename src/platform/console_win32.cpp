// The process console and the key wait on Windows.

#include "platform/console.hpp"

#include <windows.h>

#include <algorithm>

namespace mervik::platform {

namespace {

// Writes all of `text` to `handle`, in pieces a single WriteFile can take.
void writeAll(HANDLE handle, std::string_view text) {
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return;
  while (!text.empty()) {
    const DWORD piece = static_cast<DWORD>(std::min<size_t>(text.size(), 1 << 20));
    DWORD written = 0;
    if (!WriteFile(handle, text.data(), piece, &written, nullptr) || written == 0) return;
    text.remove_prefix(written);
  }
}

// Opens the console's own input or output buffer ("CONIN$", "CONOUT$"), which stay the
// console's however the standard handles are redirected; invalid without a console.
HANDLE openConsole(const char* name) {
  return CreateFileA(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                     nullptr, OPEN_EXISTING, 0, nullptr);
}

// The console window when the process has one, standard error otherwise. Both are written
// unbuffered, so console text and the prompt on standard output keep their order.
class WindowsConsole : public Console {
 public:
  WindowsConsole() : console_(openConsole("CONOUT$")) {}
  void write(std::string_view text) override {
    writeAll(console_ != INVALID_HANDLE_VALUE ? console_ : GetStdHandle(STD_ERROR_HANDLE), text);
  }

 private:
  HANDLE console_;  // held for the whole run
};

// True for a key press that gives a character or is a key of its own (arrows, function keys,
// Escape); a modifier pressed alone is not one.
bool isKeyPress(const INPUT_RECORD& event) {
  if (event.EventType != KEY_EVENT || !event.Event.KeyEvent.bKeyDown) return false;
  if (event.Event.KeyEvent.uChar.AsciiChar != 0) return true;
  switch (event.Event.KeyEvent.wVirtualKeyCode) {
    case VK_SHIFT:
    case VK_CONTROL:
    case VK_MENU:
    case VK_CAPITAL:
    case VK_NUMLOCK:
    case VK_SCROLL:
    case VK_LWIN:
    case VK_RWIN:
    case 0:
      return false;
    default:
      return true;
  }
}

}  // namespace

Console& processConsole() {
  static WindowsConsole console;
  return console;
}

void waitForKey(Console& console, std::string_view message) {
  // Only a console that someone can type into is waited on: none at all (a detached or
  // redirected run), or a console without a window (started hidden), returns at once.
  HANDLE input = openConsole("CONIN$");
  DWORD mode = 0;
  if (input == INVALID_HANDLE_VALUE || !GetConsoleMode(input, &mode) ||
      GetConsoleWindow() == nullptr) {
    console.write(message);
    if (input != INVALID_HANDLE_VALUE) CloseHandle(input);
    return;
  }
  // Keys typed during the run do not end the wait: whatever is waiting now is read and
  // dropped.
  INPUT_RECORD event;
  DWORD read = 0;
  DWORD waiting = 0;
  while (GetNumberOfConsoleInputEvents(input, &waiting) && waiting > 0 &&
         ReadConsoleInputA(input, &event, 1, &read) && read == 1) {
  }
  console.write(message);
  // Reading the events takes them: the key that ends the wait never reaches the shell.
  bool pressed = false;
  while (!pressed && ReadConsoleInputA(input, &event, 1, &read) && read == 1) {
    pressed = isKeyPress(event);
  }
  if (pressed) console.write("\n");  // the prompt starts on a line of its own
  CloseHandle(input);
}

}  // namespace mervik::platform
