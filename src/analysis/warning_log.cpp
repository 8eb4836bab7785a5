// The warning log of one source: the first 15 warnings kept with their lines, all counted.

#include "analysis/warning_log.hpp"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <iterator>
#include <string_view>

namespace mervik::analysis {

namespace {

// Kinds 0 and up, indexed by the kind.
constexpr const char* positiveTexts[] = {
    "end of line within character or string constant",
    "end of line within extended identifier",
    "end of text within comment",
};
// Negative kinds, indexed by -kind - 1.
constexpr const char* negativeTexts[] = {
    "control character ignored",
};
constexpr int positiveTextCnt = static_cast<int>(std::size(positiveTexts));
constexpr int negativeTextCnt = static_cast<int>(std::size(negativeTexts));

constexpr int reportBelow = -100;  // kinds below this ask for the report

std::string_view formatted(char* buf, size_t size, int len) {
  return std::string_view(buf, static_cast<size_t>(std::clamp<long>(len, 0, long(size) - 1)));
}

}  // namespace

const char* WarningLog::text(int kind) {
  if (kind >= 0 && kind < positiveTextCnt) return positiveTexts[kind];
  if (kind < 0 && kind >= -negativeTextCnt) return negativeTexts[-kind - 1];
  return "unknown warning";
}

void WarningLog::log(int kind, int line) {
  if (line == 0) {
    count_ = 0;
    return;
  }
  if (kind >= reportBelow) {
    if (count_ < keptMax) {
      kinds_[static_cast<size_t>(count_)] = kind;
      lines_[static_cast<size_t>(count_)] = line;
    }
    if (count_ < INT_MAX) ++count_;
    return;
  }
  if (count_ == 0) return;
  sink_.line("");
  if (outline_) sink_.outlineEntry("WARNINGS", 0);
  sink_.line("WARNINGS");
  sink_.line("");
  console_.print("\n%6d warnings", count_);
  char buf[128];
  const int kept = std::min(count_, keptMax);
  for (int i = 0; i < kept; ++i) {
    const size_t at = static_cast<size_t>(i);
    const int len = std::snprintf(buf, sizeof buf, "     line %5d : %s", lines_[at], text(kinds_[at]));
    if (links_) sink_.link(10, 15, lines_[at]);  // the number
    sink_.line(formatted(buf, sizeof buf, len));
  }
  if (count_ > keptMax) {
    const int len = std::snprintf(buf, sizeof buf, "%6d extra warnings", count_ - keptMax);
    sink_.line(formatted(buf, sizeof buf, len));
  }
}

}  // namespace mervik::analysis
