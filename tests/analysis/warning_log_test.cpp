#include "analysis/warning_log.hpp"

#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "support/recording.hpp"

namespace mervik::analysis {
namespace {

struct LogRun {
  test::RecordingSink sink;
  test::RecordingConsole console;
  WarningLog log{sink, console};

  // Writes the report; returns its listing lines joined, '#', then the console text.
  std::string report() {
    sink.lines.clear();
    console.clear();
    log.log(-999, -1);
    return sink.joined() + "#" + console.text();
  }
};

TEST(WarningLog, ReportKeepsFifteenAndCountsTheRestUntilTheNextSource) {
  const char* const texts[] = {"control character ignored",  // kinds -1, 0, 1
                               "end of line within character or string constant",
                               "end of line within extended identifier"};
  const std::pair<int, std::string> cases[] = {{0, "#"}, {1, "#\n     1 warnings"},
      {15, "#\n    15 warnings"}, {16, "     1 extra warnings\n#\n    16 warnings"},
      {40, "    25 extra warnings\n#\n    40 warnings"}};
  for (const auto& [count, tail] : cases) {
    LogRun r;
    std::string want = count > 0 ? "\nWARNINGS\n\n" : "";
    for (int i = 0; i < count; ++i) {
      r.log.log(i % 3 - 1, 101 + i);
      if (i < 15) want += "     line   " + std::to_string(101 + i) + " : " + texts[i % 3] + "\n";
    }
    EXPECT_EQ(r.report() + r.report(), want + tail + want + tail) << count;  // the log stays
    for (int kind : {-999, 0}) {  // the next source: line 0 resets, whatever the kind
      r.log.log(kind, 0);
      EXPECT_EQ(r.report(), "#") << count << " " << kind;
    }
  }
}

TEST(WarningLog, KindsWithoutATextReportAsUnknown) {
  EXPECT_STREQ(WarningLog::text(INT_MIN), "unknown warning");
  LogRun r;
  for (int kind : {2, -2, -100, INT_MAX}) r.log.log(kind, -5);  // only kinds below -100 report
  const std::string line = "     line    -5 : unknown warning\n";
  EXPECT_EQ(r.report(), "\nWARNINGS\n\n" + line + line + line + line + "#\n     4 warnings");
}

}  // namespace
}  // namespace mervik::analysis
