// Taking a path apart.

#include "driver/paths.hpp"

#include "platform/files.hpp"

namespace mervik::driver {

void pathSplit(std::string_view path, std::string* directory, std::string* baseName) {
  // Nothing is cut to a length limit: a shortened directory would name a different place.
  const size_t rest = platform::directoryLength(path);
  if (directory != nullptr) directory->assign(path.substr(0, rest));
  if (baseName != nullptr) {
    std::string_view name = path.substr(rest);
    size_t dot = name.rfind('.');
    baseName->assign(dot == std::string_view::npos ? name : name.substr(0, dot));
  }
}

}  // namespace mervik::driver
