#pragma once
// Taking a path apart.

#include <string>
#include <string_view>

namespace mervik::driver {

/// Splits `path` after its directory part, as the system draws it (platform::directoryLength):
/// the directory part keeps its separator (empty when there is none); the base name is the
/// rest up to its last '.', all of it when it holds no '.'.
/// Either output may be null.
void pathSplit(std::string_view path, std::string* directory, std::string* baseName);

}  // namespace mervik::driver
