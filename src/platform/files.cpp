// The parts of file handling that are the same on every system: pattern matching and the
// date text. The walk over a pattern's components is in file_search.cpp.

#include "platform/files.hpp"

#include <algorithm>
#include <cstdio>

namespace mervik::platform {

namespace {

// Length of the pattern element at `p`: a class "[...]" whole, any other byte alone. A '['
// without its ']' is an ordinary byte.
size_t elementLength(std::string_view pattern, size_t p) {
  if (pattern[p] != '[') return 1;
  size_t q = p + 1;
  if (q < pattern.size() && (pattern[q] == '!' || pattern[q] == '^')) ++q;
  if (q < pattern.size() && pattern[q] == ']') ++q;  // a leading ']' is a member
  while (q < pattern.size() && pattern[q] != ']') ++q;
  return q < pattern.size() ? q - p + 1 : 1;
}

// True when the element of `length` bytes at `p` matches the byte `c`.
bool elementMatches(std::string_view pattern, size_t p, size_t length, unsigned char c) {
  if (length == 1) return pattern[p] == '?' || static_cast<unsigned char>(pattern[p]) == c;
  size_t q = p + 1;
  const size_t end = p + length - 1;  // the closing ']'
  const bool negated = pattern[q] == '!' || pattern[q] == '^';
  if (negated) ++q;
  bool member = false;
  while (q < end) {
    const auto low = static_cast<unsigned char>(pattern[q]);
    if (q + 2 < end && pattern[q + 1] == '-') {
      member |= low <= c && c <= static_cast<unsigned char>(pattern[q + 2]);
      q += 3;
    } else {
      member |= low == c;
      ++q;
    }
  }
  return member != negated;
}

}  // namespace

bool matchesPattern(std::string_view pattern, std::string_view name) {
  // Greedy scan that backtracks only to the most recent '*': linear in practice, and
  // never exponential however many stars the pattern holds.
  size_t p = 0;
  size_t n = 0;
  size_t starP = std::string_view::npos;
  size_t starN = 0;
  while (n < name.size()) {
    const size_t length = p < pattern.size() ? elementLength(pattern, p) : 0;
    if (p < pattern.size() && pattern[p] == '*') {
      starP = p++;
      starN = n;
    } else if (length > 0 &&
               elementMatches(pattern, p, length, static_cast<unsigned char>(name[n]))) {
      p += length;
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

bool hasWildcard(std::string_view text) {
  return text.find_first_of("*?[") != std::string_view::npos;
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
