#pragma once
// Where a run finds its resource file: the one it is told, or the first of several places.

#include <string>
#include <vector>

namespace mervik::driver {

/// The resource file a run reads, and where it came from.
struct FoundResource {
  std::vector<char> text;  // the bytes and one zero byte; empty: no resource file
  std::string origin;      // its path, when it is not the file beside the program; else empty
  std::string reason;      // why the chosen file could not be read
};

/// The places looked at in order: `besideProgram` (the design's own place), mervik.rsc in the
/// current directory, then the system's settings places (user, installation, system).
std::vector<std::string> resourcePlaces(const std::string& besideProgram);

/// With `chosen` set, reads that file and no other; false when it cannot be read. Otherwise
/// takes the first place that holds a file, passing over those that cannot be read. The file
/// beside the program keeps its old rule (empty counts as none); a file from any other place
/// is used whatever it holds, so an empty one there means "the defaults".
bool findResource(const std::string& chosen, const std::vector<std::string>& places,
                  FoundResource* found);

}  // namespace mervik::driver
