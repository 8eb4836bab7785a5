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

const char* const texts[] = {"end of line within character or string constant",
                             "end of line within extended identifier", "control character ignored"};

// Warning i at line 100 + i, kinds cycling literal, extended, control.
std::string addWarnings(WarningLog& log, int count) {
  const int kinds[] = {unterminatedLiteral, unterminatedExtended, controlCharacter};
  std::string kept;
  for (int i = 1; i <= count; ++i) {
    log.log(kinds[(i - 1) % 3], 100 + i);
    if (i <= 15)
      kept += "     line   " + std::to_string(100 + i) + " : " + texts[(i - 1) % 3] + "\n";
  }
  return kept;
}

TEST(WarningLog, ReportKeepsFifteenAndCountsTheRestUntilTheNextSource) {
  const std::string head = "\nWARNINGS\n\n";
  const std::pair<int, std::string> cases[] = {
      {0, "#"},
      {1, "#\n     1 warnings"},
      {15, "#\n    15 warnings"},
      {16, "     1 extra warnings\n#\n    16 warnings"},
      {40, "    25 extra warnings\n#\n    40 warnings"},
  };
  for (const auto& [count, tail] : cases) {
    LogRun r;
    const std::string kept = addWarnings(r.log, count);
    EXPECT_EQ(r.log.count(), count);
    const std::string expected = (count > 0 ? head + kept : "") + tail;
    EXPECT_EQ(r.report(), expected) << count;
    EXPECT_EQ(r.report(), expected) << "a report keeps the log";
    r.log.log(-999, 0);  // the next source: line 0 resets, whatever the kind, and adds nothing
    r.log.log(unterminatedLiteral, 0);
    EXPECT_EQ(r.report(), "#") << count;
  }
}

TEST(WarningLog, KindsWithoutATextReportAsUnknown) {
  for (int kind : {2, -2, -100, -101, INT_MAX, INT_MIN})
    EXPECT_STREQ(WarningLog::text(kind), "unknown warning") << kind;
  LogRun r;
  r.log.log(2, 3);
  r.log.log(-100, 4);  // still an add: only kinds below -100 ask for the report
  r.log.log(INT_MAX, -5);
  EXPECT_EQ(r.report(),
            "\nWARNINGS\n\n     line     3 : unknown warning\n"
            "     line     4 : unknown warning\n     line    -5 : unknown warning\n"
            "#\n     3 warnings");
}

}  // namespace
}  // namespace mervik::analysis
