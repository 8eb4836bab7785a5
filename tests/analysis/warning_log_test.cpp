#include "analysis/warning_log.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <string>

#include "support/recording.hpp"

namespace mervik::analysis {
namespace {

const std::string literalText = "end of line within character or string constant";
const std::string extendedText = "end of line within extended identifier";
const std::string controlText = "control character ignored";

struct LogRun {
  test::RecordingSink sink;
  test::RecordingConsole console;
  WarningLog log{sink, console};

  // Writes the report and returns the listing lines it wrote, joined.
  std::string report() {
    sink.lines.clear();
    console.clear();
    log.log(-999, -1);
    return sink.joined();
  }
};

// Kinds cycle literal, extended, control; warning i sits at line 10 * i.
void addWarnings(WarningLog& log, int count) {
  const int kinds[] = {unterminatedLiteral, unterminatedExtended, controlCharacter};
  for (int i = 1; i <= count; ++i) log.log(kinds[(i - 1) % 3], 10 * i);
}

std::string warningLine(const char* line, const std::string& text) {
  return "     line " + std::string(line) + " : " + text + "\n";
}

// The lines that addWarnings gives for its first `kept` warnings.
std::string keptLines(int kept) {
  const std::string texts[] = {literalText, extendedText, controlText};
  std::string out;
  for (int i = 1; i <= kept; ++i) {
    char number[16];
    std::snprintf(number, sizeof number, "%5d", 10 * i);
    out += warningLine(number, texts[(i - 1) % 3]);
  }
  return out;
}

TEST(WarningLog, NoWarningWritesNothing) {
  LogRun r;
  EXPECT_EQ(r.report(), "");
  EXPECT_EQ(r.console.text(), "");
}

TEST(WarningLog, OneWarningGetsTheWholeBlock) {
  LogRun r;
  r.log.log(unterminatedLiteral, 12);
  EXPECT_EQ(r.report(),
            "\nWARNINGS\n\n"
            "     line    12 : end of line within character or string constant\n");
  EXPECT_EQ(r.console.text(), "\n     1 warnings");
}

TEST(WarningLog, KeepsFifteenAndCountsTheRest) {
  struct Case {
    int count;
    const char* console;
    const char* extra;
  };
  const Case cases[] = {
      {2, "\n     2 warnings", ""},
      {15, "\n    15 warnings", ""},
      {16, "\n    16 warnings", "     1 extra warnings\n"},
      {40, "\n    40 warnings", "    25 extra warnings\n"},
  };
  for (const Case& c : cases) {
    LogRun r;
    addWarnings(r.log, c.count);
    EXPECT_EQ(r.log.count(), c.count);
    EXPECT_EQ(r.report(), "\nWARNINGS\n\n" + keptLines(std::min(c.count, 15)) + c.extra)
        << c.count;
    EXPECT_EQ(r.console.text(), c.console);
  }
}

TEST(WarningLog, SixteenWarningsSpelledOut) {
  LogRun r;
  addWarnings(r.log, 16);
  const std::string all = r.report();
  EXPECT_EQ(all.substr(0, all.find('\n', 12) + 1),
            "\nWARNINGS\n\n     line    10 : end of line within character or string constant\n");
  EXPECT_EQ(r.sink.lines[4], "     line    20 : end of line within extended identifier");
  EXPECT_EQ(r.sink.lines[5], "     line    30 : control character ignored");
  EXPECT_EQ(r.sink.lines[17], "     line   150 : control character ignored");
  EXPECT_EQ(r.sink.lines.back(), "     1 extra warnings");
  EXPECT_EQ(r.sink.lines.size(), 19u);
}

TEST(WarningLog, ReportDoesNotResetButTheNextSourceDoes) {
  LogRun r;
  addWarnings(r.log, 3);
  const std::string first = r.report();
  EXPECT_EQ(r.report(), first);
  r.log.log(unterminatedLiteral, 0);  // the next source begins
  EXPECT_EQ(r.log.count(), 0);
  EXPECT_EQ(r.report(), "");
  EXPECT_EQ(r.console.text(), "");
  r.log.log(controlCharacter, 7);
  EXPECT_EQ(r.report(), "\nWARNINGS\n\n" + warningLine("    7", controlText));
  EXPECT_EQ(r.console.text(), "\n     1 warnings");
  r.log.log(-999, 0);  // line 0 resets, whatever the kind
  EXPECT_EQ(r.report(), "");
}

TEST(WarningLog, KindsWithoutATextReportAsUnknown) {
  struct Case {
    int kind;
    const char* text;
  };
  const Case cases[] = {
      {0, "end of line within character or string constant"},
      {1, "end of line within extended identifier"},
      {-1, "control character ignored"},
      {2, "unknown warning"},
      {-2, "unknown warning"},
      {-100, "unknown warning"},
      {-101, "unknown warning"},
      {INT_MAX, "unknown warning"},
      {INT_MIN, "unknown warning"},
  };
  for (const Case& c : cases) EXPECT_STREQ(WarningLog::text(c.kind), c.text) << c.kind;

  LogRun r;
  r.log.log(2, 3);
  r.log.log(-100, 4);  // still an add: only kinds below -100 ask for the report
  r.log.log(INT_MAX, -5);
  EXPECT_EQ(r.report(), "\nWARNINGS\n\n" + warningLine("    3", "unknown warning") +
                            warningLine("    4", "unknown warning") +
                            warningLine("   -5", "unknown warning"));
}

}  // namespace
}  // namespace mervik::analysis
