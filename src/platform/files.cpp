// The parts of file handling that are the same on every system: pattern matching and the
// date text.

#include "platform/files.hpp"

#include <algorithm>
#include <cstdio>

namespace mervik::platform {

bool matchesPattern(std::string_view pattern, std::string_view name) {
  // Greedy scan that backtracks only to the most recent '*': linear in practice, and
  // never exponential however many stars the pattern holds.
  size_t p = 0;
  size_t n = 0;
  size_t starP = std::string_view::npos;
  size_t starN = 0;
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      starP = p++;
      starN = n;
    } else if (p < pattern.size() && (pattern[p] == '?' || pattern[p] == name[n])) {
      ++p;
      ++n;
    } else if (starP != std::string_view::npos) {
      p = starP + 1;
      n = ++starN;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

namespace {

constexpr const char* weekdayNames[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr const char* monthNames[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                      "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

}  // namespace

std::string dateText(const std::tm& local) {
  // Four-digit year always, so the text is exactly 24 characters even for odd clocks.
  const long long year = static_cast<long long>(local.tm_year) + 1900;
  const int shownYear = static_cast<int>(std::clamp(year, 0LL, 9999LL));
  char text[64];
  std::snprintf(text, sizeof text, "%s %s %2d %02d:%02d:%02d %04d",
                weekdayNames[std::clamp(local.tm_wday, 0, 6)],
                monthNames[std::clamp(local.tm_mon, 0, 11)], std::clamp(local.tm_mday, 1, 31),
                std::clamp(local.tm_hour, 0, 23), std::clamp(local.tm_min, 0, 59),
                std::clamp(local.tm_sec, 0, 60), shownYear);
  return std::string(text, 24);
}

}  // namespace mervik::platform
