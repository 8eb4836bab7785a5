#include "config/settings.hpp"

#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "support/recording.hpp"

namespace mervik::config {
namespace {

struct ClampCase {
  int tabWidth;
  int lineWidth;
  int wantTab;
  int wantLine;
  std::string console;
};

TEST(ClampSettings, BringsUnusableSettingsIntoRangeAndSaysSo) {
  const ClampCase cases[] = {
      {4, 100, 4, 100, ""},
      {1, 6, 1, 6, ""},
      {3, 8, 3, 8, ""},
      {95, 100, 95, 100, ""},
      {4, 1022, 4, 1022, ""},
      {0, 100, 1, 100, "\n   tab width 0 out of range, using 1"},
      {-8, 100, 8, 100, "\n   tab width -8 out of range, using 8"},
      {96, 100, 95, 100, "\n   tab width 96 out of range, using 95"},
      {-200, 100, 95, 100, "\n   tab width -200 out of range, using 95"},
      {5, 9, 4, 9, "\n   tab width 5 out of range, using 4"},
      // Below a line width of 9 only the tab widths 1 and 3 reach a stop.
      {4, 6, 3, 6, "\n   tab width 4 out of range, using 3"},
      {2, 8, 1, 8, "\n   tab width 2 out of range, using 1"},
      {0, 7, 1, 7, "\n   tab width 0 out of range, using 1"},
      {4, 5000, 4, 1022, "\n   line width 5000 out of range, using 1022"},
      {4, 5, 3, 6, "\n   line width 5 out of range, using 6\n   tab width 4 out of range, using 3"},
      {INT_MIN, INT_MAX, 1017, 1022,
       "\n   line width 2147483647 out of range, using 1022"
       "\n   tab width -2147483648 out of range, using 1017"},
      {INT_MAX, INT_MIN, 3, 6,
       "\n   line width -2147483648 out of range, using 6"
       "\n   tab width 2147483647 out of range, using 3"},
  };
  for (const ClampCase& c : cases) {
    Settings settings{c.tabWidth, c.lineWidth, true};
    test::RecordingConsole console;
    clampSettings(settings, console);
    const std::string what = std::to_string(c.tabWidth) + "/" + std::to_string(c.lineWidth);
    EXPECT_EQ(settings.tabWidth, c.wantTab) << what;
    EXPECT_EQ(settings.lineWidth, c.wantLine) << what;
    EXPECT_TRUE(settings.landscape) << what;
    EXPECT_EQ(console.text(), c.console) << what;
  }
}

// The bound for line widths of 9 and more: simulate the tab rule of the layout on a
// continuation line (8 characters before the text) and check that every tab width the clamp
// lets through meets a stop before the line must wrap, and the first one it refuses does not.
bool tabMeetsStop(int tabWidth, int lineWidth, int length) {
  for (; length <= lineWidth + 1; ++length) {
    if ((length - 6) % tabWidth == 0) return true;
  }
  return false;
}

TEST(ClampSettings, AllowedTabWidthsAlwaysLeaveAStop) {
  for (int lineWidth = 9; lineWidth <= 200; ++lineWidth) {
    for (int tab = 1; tab <= lineWidth; ++tab) {
      Settings settings{tab, lineWidth, false};
      test::RecordingConsole console;
      clampSettings(settings, console);
      // The worst start: a continuation line whose indent reaches a third of the width.
      const int start = (lineWidth / 3 > 7 ? lineWidth / 3 : 7) + 2;
      EXPECT_TRUE(tabMeetsStop(settings.tabWidth, lineWidth, start)) << tab << "/" << lineWidth;
      if (settings.tabWidth != tab) {
        EXPECT_FALSE(tabMeetsStop(tab, lineWidth, 9)) << tab << "/" << lineWidth;
      }
    }
  }
}

}  // namespace
}  // namespace mervik::config
