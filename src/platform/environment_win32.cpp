// The environment and the places of settings files on Windows.

#include "platform/environment.hpp"

#include <windows.h>

#include <new>

namespace mervik::platform {

std::string environmentValue(const char* name) {
  try {
    std::string value(256, '\0');
    for (;;) {
      const DWORD n = GetEnvironmentVariableA(name, value.data(), static_cast<DWORD>(value.size()));
      if (n < value.size()) {  // 0 when unset; otherwise the length without the zero
        value.resize(n);
        return value;
      }
      value.resize(n);  // too small: n is the room it needs
    }
  } catch (const std::bad_alloc&) {
    return std::string();
  }
}

std::vector<std::string> settingsPlaces(std::string_view programName, std::string_view fileName) {
  std::vector<std::string> places;
  try {
    const std::string folder = "\\" + std::string(programName) + "\\" + std::string(fileName);
    // The user's roaming settings, then those of every user of the machine.
    for (const char* variable : {"APPDATA", "PROGRAMDATA"}) {
      const std::string base = environmentValue(variable);
      if (!base.empty()) places.push_back(base + folder);
    }
  } catch (const std::bad_alloc&) {
    places.clear();  // no memory for a path: no place to look
  }
  return places;
}

}  // namespace mervik::platform
