#pragma once
// The process environment: its variables, and the places where the system's conventions keep
// a program's settings.

#include <string>
#include <string_view>
#include <vector>

namespace mervik::platform {

/// The value of the environment variable `name`; empty when it is not set.
std::string environmentValue(const char* name);

/// Where the conventions of this system keep the settings file `fileName` of the program
/// `programName`, most personal first: the user's configuration directory, the program's own
/// installation, the system's. Whether a file exists there is not checked.
std::vector<std::string> settingsPlaces(std::string_view programName, std::string_view fileName);

}  // namespace mervik::platform
