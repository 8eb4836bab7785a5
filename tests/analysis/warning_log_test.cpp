#include "analysis/warning_log.hpp"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <utility>

#include "support/recording.hpp"

namespace mervik::analysis {

TEST(WarningLog, ReportKeepsFifteenCountsTheRestNamesUnknownKindsAndResets) {
  const std::pair<int, const char*> kinds[] = {{-1, "control character ignored"},
      {0, "end of line within character or string constant"},
      {1, "end of line within extended identifier"}, {2, "end of text within comment"},
      {-2, "unknown warning"}, {3, "unknown warning"}, {INT_MAX, "unknown warning"}};
  const std::pair<int, std::string> cases[] = {{0, "#"}, {1, "#\n     1 warnings"},
      {15, "#\n    15 warnings"}, {16, "     1 extra warnings\n#\n    16 warnings"},
      {40, "    25 extra warnings\n#\n    40 warnings"}};
  for (const auto& [count, tail] : cases) {
    test::RecordingSink sink;
    test::RecordingConsole console;
    WarningLog log{sink, console};
    std::string want = count > 0 ? "\nWARNINGS\n\n" : "";
    for (int i = 0; i < count; ++i) {
      log.log(kinds[i % 7].first, 101 + i);
      if (i < 15)
        want += "     line   " + std::to_string(101 + i) + " : " + kinds[i % 7].second + "\n";
    }
    for (int line : {-1, 0, -1}) log.log(-999, line);  // line 0 resets, whatever the kind
    EXPECT_EQ(sink.joined() + "#" + console.text(), want + tail) << count;
  }
  EXPECT_STREQ(WarningLog::text(INT_MIN), "unknown warning");
}

}  // namespace mervik::analysis
