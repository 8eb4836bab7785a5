#include "config/settings.hpp"

#include "analysis/layout.hpp"

#include <algorithm>
#include <cstdint>

namespace mervik::config {
namespace {

// Below this line width a continuation line has room for one tab decision only (at length
// 9), so only tab widths that divide 3 ever reach a stop.
constexpr int narrowLineWidth = 9;

/// The usable tab width nearest to `tabWidth` for lines of `lineWidth`: the magnitude of a
/// negative width, 1 for 0, and the largest width that still leaves a tab stop in every line.
int usableTabWidth(int tabWidth, int lineWidth) {
  const std::int64_t magnitude = tabWidth < 0 ? -std::int64_t{tabWidth} : tabWidth;
  if (magnitude == 0) return 1;
  if (lineWidth < narrowLineWidth) return magnitude >= 3 ? 3 : 1;
  // A tab width of lineWidth - 5 puts its first stop exactly at length lineWidth + 1.
  return static_cast<int>(std::min<std::int64_t>(magnitude, lineWidth - 5));
}

void reportChange(const char* what, int from, int to, platform::Console& console) {
  console.print("\n   %s %d out of range, using %d", what, from, to);
}

}  // namespace

void clampSettings(Settings& settings, platform::Console& console) {
  const int lineWidth = std::clamp(settings.lineWidth, analysis::lineWidthMin, analysis::lineWidthMax);
  if (lineWidth != settings.lineWidth) {
    reportChange("line width", settings.lineWidth, lineWidth, console);
    settings.lineWidth = lineWidth;
  }
  // A negative tab width works as its magnitude: only a width that cannot work is reported.
  const std::int64_t magnitude =
      settings.tabWidth < 0 ? -std::int64_t{settings.tabWidth} : settings.tabWidth;
  const int tabWidth = usableTabWidth(settings.tabWidth, settings.lineWidth);
  if (tabWidth != magnitude) reportChange("tab width", settings.tabWidth, tabWidth, console);
  settings.tabWidth = tabWidth;
}

}  // namespace mervik::config
