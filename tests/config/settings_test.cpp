#include "config/settings.hpp"

#include <gtest/gtest.h>

#include <algorithm>
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
      {96, 100, "95/100\n   tab width 96 out of range, using 95"},
      {5, 9, "4/9\n   tab width 5 out of range, using 4"},
      // Below a line width of 9 only the tab widths 1 and 3 reach a stop.
      {4, 6, "3/6\n   tab width 4 out of range, using 3"},
      {2, 8, "1/8\n   tab width 2 out of range, using 1"},
      {4, 5000, "4/1022\n   line width 5000 out of range, using 1022"},
      {4, 5, "3/6\n   line width 5 out of range, using 6\n   tab width 4 out of range, using 3"},
      {INT_MIN, INT_MAX,
       "1017/1022\n   line width 2147483647 out of range, using 1022"
       "\n   tab width -2147483648 out of range, using 1017"},
      {INT_MAX, INT_MIN,
       "3/6\n   line width -2147483648 out of range, using 6"
       "\n   tab width 2147483647 out of range, using 3"},
  };
  for (const auto& [tabWidth, lineWidth, expected] : cases) {
    Settings settings{tabWidth, lineWidth, true};
    test::RecordingConsole console;
    clampSettings(settings, console);
    EXPECT_TRUE(settings.landscape);
    const std::string used =
        std::to_string(settings.tabWidth) + "/" + std::to_string(settings.lineWidth);
    EXPECT_EQ(used + console.text(), expected) << tabWidth << "/" << lineWidth;
  }
}

// The layout's tab rule: a width let through meets a stop before the wrap; a refused one never.
TEST(ClampSettings, AllowedTabWidthsAlwaysLeaveAStop) {
  auto firstStop = [](int tabWidth, int length) {
    while ((length - 6) % tabWidth != 0) ++length;
    return length;
  };
  for (int lineWidth = 9; lineWidth <= 200; ++lineWidth) {
    for (int tab = 1; tab <= lineWidth; ++tab) {
      Settings settings{tab, lineWidth, false};
      test::RecordingConsole console;
      clampSettings(settings, console);
      const int deepest = std::max(lineWidth / 3, 7) + 2;
      EXPECT_LE(firstStop(settings.tabWidth, deepest), lineWidth + 1) << tab << "/" << lineWidth;
      EXPECT_TRUE(settings.tabWidth == tab || firstStop(tab, 9) > lineWidth + 1) << tab;
    }
  }
}

}  // namespace
}  // namespace mervik::config
