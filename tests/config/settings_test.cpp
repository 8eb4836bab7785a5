#include "config/settings.hpp"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <tuple>

#include "support/recording.hpp"

namespace mervik::config {

TEST(ClampSettings, BringsUnusableSettingsIntoRangeAndSaysSo) {
  const std::tuple<int, int, std::string> cases[] = {
      {-8, 1022, "8/1022"},  // a negative width works as its magnitude: nothing to say
      {-200, 100, "95/100\n   tab width -200 out of range, using 95"},
      {0, 100, "1/100\n   tab width 0 out of range, using 1"},
      {96, 100, "95/100\n   tab width 96 out of range, using 95"},  // a stop needs line width - 5
      {INT_MIN, 100, "95/100\n   tab width -2147483648 out of range, using 95"},
      {4, 5000, "4/1022\n   line width 5000 out of range, using 1022"},
      {4, 5, "3/6\n   line width 5 out of range, using 6\n   tab width 4 out of range, using 3"},
  };
  for (const auto& [tabWidth, lineWidth, used] : cases) {
    Settings settings{tabWidth, lineWidth, true};
    test::RecordingConsole console;
    clampSettings(settings, console);
    EXPECT_EQ(used, std::to_string(settings.tabWidth) + "/" + std::to_string(settings.lineWidth) +
                        console.text());
  }
}

}  // namespace mervik::config
