#include "config/settings.hpp"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <tuple>

#include "support/recording.hpp"

namespace mervik::config {
namespace {

// Each case: the tab and line width given, then those used and the console lines, as one string.
TEST(ClampSettings, BringsUnusableSettingsIntoRangeAndSaysSo) {
  const std::tuple<int, int, std::string> cases[] = {
      {4, 100, "4/100"},
      {95, 100, "95/100"},
      {4, 1022, "4/1022"},
      {0, 100, "1/100\n   tab width 0 out of range, using 1"},
      {-8, 100, "8/100\n   tab width -8 out of range, using 8"},
      // The widest tab that still leaves a stop in a line is the line width less 5.
      {96, 100, "95/100\n   tab width 96 out of range, using 95"},
      {5, 9, "4/9\n   tab width 5 out of range, using 4"},
      // Below a line width of 9 only the tab widths 1 and 3 reach a stop.
      {4, 6, "3/6\n   tab width 4 out of range, using 3"},
      {2, 8, "1/8\n   tab width 2 out of range, using 1"},
      {4, 5000, "4/1022\n   line width 5000 out of range, using 1022"},
      {4, 5, "3/6\n   line width 5 out of range, using 6\n   tab width 4 out of range, using 3"},
      {INT_MIN, INT_MAX, "1017/1022\n   line width 2147483647 out of range, using 1022"
                         "\n   tab width -2147483648 out of range, using 1017"},
      {INT_MAX, INT_MIN, "3/6\n   line width -2147483648 out of range, using 6"
                         "\n   tab width 2147483647 out of range, using 3"},
  };
  for (const auto& [tabWidth, lineWidth, expected] : cases) {
    Settings settings{tabWidth, lineWidth, true};
    test::RecordingConsole console;
    clampSettings(settings, console);
    EXPECT_EQ(std::to_string(settings.tabWidth) + "/" + std::to_string(settings.lineWidth) +
                  (settings.landscape ? "" : " portrait") + console.text(),
              expected)
        << tabWidth << "/" << lineWidth;
  }
}

}  // namespace
}  // namespace mervik::config
