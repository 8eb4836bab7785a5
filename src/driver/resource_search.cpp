#include "driver/resource_search.hpp"

#include "platform/environment.hpp"
#include "platform/files.hpp"

namespace mervik::driver {
namespace {

enum class Origin { besideProgram, elsewhere };

/// Loads `path` into `found`; false when there is no readable file there.
bool take(const std::string& path, Origin origin, FoundResource* found) {
  switch (platform::loadFile(path, &found->text, &found->reason)) {
    case platform::LoadStatus::notOpened:
      return false;
    case platform::LoadStatus::empty:
      // Beside the program an empty file is no resource file, as it always was; anywhere else
      // it is a file without sections, and the console names it.
      found->text.assign(origin == Origin::besideProgram ? 0 : 1, '\0');
      break;
    case platform::LoadStatus::loaded:
      break;
  }
  if (origin == Origin::elsewhere) found->origin = path;
  return true;
}

}  // namespace

std::vector<std::string> resourcePlaces(const std::string& besideProgram) {
  std::vector<std::string> places{besideProgram, "./mervik.rsc"};
  for (std::string& place : platform::settingsPlaces("mervik", "mervik.rsc")) {
    places.push_back(std::move(place));
  }
  return places;
}

bool findResource(const std::string& chosen, const std::vector<std::string>& places,
                  FoundResource* found) {
  *found = FoundResource();
  if (!chosen.empty()) return take(chosen, Origin::elsewhere, found);
  for (size_t i = 0; i < places.size(); ++i) {
    if (take(places[i], i == 0 ? Origin::besideProgram : Origin::elsewhere, found)) return true;
  }
  found->text.clear();
  return true;
}

}  // namespace mervik::driver
