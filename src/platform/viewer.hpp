#pragma once
// Handing a finished document to the desktop's viewer.

#include <string>

namespace mervik::platform {

/// Opens `path` with the user's PDF viewer (xdg-open), detached and without a shell: the path
/// is passed as one argument and never interpreted. A missing viewer is ignored. On
/// POSIX systems only when DISPLAY or WAYLAND_DISPLAY says there is a display to show it on.
void openDocument(const std::string& path);

}  // namespace mervik::platform
