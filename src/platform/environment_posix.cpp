// The environment and the places of settings files on Linux and other POSIX systems.

#include "platform/environment.hpp"

#include <cstdlib>
#include <new>

#include "platform/files.hpp"

namespace mervik::platform {
namespace {

/// The user's configuration directory: $XDG_CONFIG_HOME, or ~/.config when it is unset or not
/// an absolute path (a relative one is to be ignored); empty without either.
std::string userConfigDirectory() {
  const std::string xdg = environmentValue("XDG_CONFIG_HOME");
  if (!xdg.empty() && xdg[0] == '/') return xdg;
  const std::string home = environmentValue("HOME");
  return home.empty() ? std::string() : home + "/.config";
}

/// The etc directory of the installation the executable belongs to: <prefix>/etc for an
/// executable in <prefix>/bin, and /etc for the system's own /usr. Empty elsewhere (a build
/// directory, for instance), where there is no installation to speak of.
std::string installationEtc() {
  const std::string self = executablePath();
  const std::size_t slash = self.rfind('/');
  if (slash == std::string::npos || slash < 4 || self.compare(slash - 4, 4, "/bin") != 0) {
    return std::string();
  }
  const std::string prefix = self.substr(0, slash - 4);
  return prefix == "/usr" ? "/etc" : prefix + "/etc";
}

}  // namespace

std::string environmentValue(const char* name) {
  const char* value = std::getenv(name);
  try {
    return value == nullptr ? std::string() : std::string(value);
  } catch (const std::bad_alloc&) {
    return std::string();
  }
}

std::vector<std::string> settingsPlaces(std::string_view programName, std::string_view fileName) {
  std::vector<std::string> places;
  try {
    const std::string folder = "/" + std::string(programName) + "/" + std::string(fileName);
    const std::string user = userConfigDirectory();
    if (!user.empty()) places.push_back(user + folder);
    const std::string installation = installationEtc();
    if (!installation.empty() && installation != "/etc") places.push_back(installation + folder);
    places.push_back("/etc" + folder);
  } catch (const std::bad_alloc&) {
    places.clear();  // no memory for a path: no place to look
  }
  return places;
}

}  // namespace mervik::platform
