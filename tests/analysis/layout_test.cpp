#include "analysis/layout.hpp"

#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "support/recording.hpp"

namespace mervik::analysis {
namespace {

// One layout with its own text buffer, index and warning log, reused across sources.
struct LayoutRun {
  test::RecordingSink sink;
  test::RecordingSink warningSink;
  test::RecordingConsole console;
  WarningLog warnings{warningSink, console};
  LineIndex index;
  int totalLines = 0;
  std::vector<char> text;
  bool ok = false;
  std::string err;

  // Lays out `source` (a zero byte is appended) and returns everything written, joined.
  std::string run(std::string_view source, int lineWidth = 100, int tabWidth = 4) {
    text.assign(source.begin(), source.end());
    text.push_back('\0');
    sink.lines.clear();
    warnings.log(0, 0);
    ok = layoutSource(text.data(), LayoutSettings{tabWidth, lineWidth}, index, warnings, sink,
                      &totalLines, &err);
    return sink.joined();
  }
  // The numbered and continuation lines only, joined.
  std::string listing(std::string_view source, int lineWidth = 100, int tabWidth = 4) {
    const std::string all = run(source, lineWidth, tabWidth);
    return all.substr(0, all.find("<section end>\n"));
  }
  std::string warningReport() {
    warningSink.lines.clear();
    warnings.log(-999, -1);
    return warningSink.joined();
  }
  int lineOf(size_t offset) { return index.lineIndex(-1, text.data() + offset); }
};

std::string statistics(int characters, int lines) {
  char buf[128];
  std::snprintf(buf, sizeof buf, "<section end>\nTEXT STATISTICS\n\n%6d characters\n%6d lines\n",
                characters, lines);
  return buf;
}

TEST(Layout, WrapsAnIndentedLineUnderItsFirstWord) {
  LayoutRun r;
  const std::string source = "entity e is\n\tport (a, b : in bit; y : out bit);\nend e;\n";
  ASSERT_EQ(source.size(), 55u);
  EXPECT_EQ(r.run(source, 30, 4),
            "   1 | entity e is\n"
            "   2 |     port (a, b : in bit;\n"
            "     |      y : out bit);\n"
            "   3 | end e;\n" +
                statistics(55, 3));
  EXPECT_TRUE(r.ok);
  EXPECT_EQ(r.index.lStartCnt(), 3);
  EXPECT_EQ(r.lineOf(0), 1);
  EXPECT_EQ(r.lineOf(12), 2);
  EXPECT_EQ(r.lineOf(48), 3);
  EXPECT_EQ(r.lineOf(11), 1);  // line 1's line feed
  EXPECT_EQ(r.totalLines, 3);
  EXPECT_EQ(r.warningReport(), "");
}

TEST(Layout, WrapsAnUnindentedLineOneColumnIn) {
  LayoutRun r;
  EXPECT_EQ(r.run("x <= a and b and c and d and e and f and g;\n", 30, 4),
            "   1 | x <= a and b and c and d\n"
            "     |    and e and f and g;\n" +
                statistics(44, 1));
}

TEST(Layout, TabsRunToTheNextStop) {
  struct Case {
    const char* source;
    int tabWidth;
    const char* expected;
  };
  const Case cases[] = {
      {"\tx", 4, "   1 |     x\n"},
      {"abc\tx", 4, "   1 | abc x\n"},
      {"abcd\tx", 4, "   1 | abcd    x\n"},
      {"a\t\tx", 4, "   1 | a       x\n"},
      {"ab\tx", 8, "   1 | ab      x\n"},
      {"ab\tx", 1, "   1 | ab x\n"},
      {"abc\tx", -4, "   1 | abc x\n"},
      {"\tx", 0, "   1 |  x\n"},  // a tab width of 0 is taken as 1
  };
  for (const Case& c : cases) {
    LayoutRun r;
    EXPECT_EQ(r.listing(c.source, 100, c.tabWidth), c.expected)
        << c.source << " tab width " << c.tabWidth;
  }
}

TEST(Layout, WrapsOnlyPastLineWidthPlusOne) {
  LayoutRun r;
  const std::string full = "abcdefghijklmnopqrstuvwx";  // 7 + 24 = line width 30 + 1
  EXPECT_EQ(r.listing(full + "\n", 30), "   1 | " + full + "\n");
  EXPECT_EQ(r.listing(full + "y\n", 30), "   1 | " + full + "\n     |  y\n");
  // Indented by two: the continuation's text stands under the line's first letter.
  EXPECT_EQ(r.listing("  " + full + "y\n", 30),
            "   1 |   abcdefghijklmnopqrstuv\n     |   wxy\n");
}

TEST(Layout, WrapInsideATabContinuesItsBlanks) {
  LayoutRun r;
  EXPECT_EQ(r.listing("abcdefghijklmnopqrstuvwx\tz\n", 30, 4),
            "   1 | abcdefghijklmnopqrstuvwx\n     |     z\n");
}

TEST(Layout, ContinuationOfAContinuationMeasuresTheLineJustWritten) {
  LayoutRun r;
  // The first continuation's blank of the wrap deepens the second one's indent by one.
  EXPECT_EQ(r.listing("x <= a and b and c and d and e and f and g and h and i and j and k and l;\n",
                      30),
            "   1 | x <= a and b and c and d\n"
            "     |    and e and f and g and\n"
            "     |     h and i and j and k \n"
            "     |     and l;\n");
}

TEST(Layout, IndentStopsAtAThirdOfTheLineWidth) {
  LayoutRun r;
  const std::string deep(40, ' ');
  EXPECT_EQ(r.listing(deep + "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789\n", 60),
            "   1 | " + deep + "abcdefghijklmn\n" + "     |" + std::string(15, ' ') +
                "opqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ01\n" + "     |" + std::string(15, ' ') +
                "23456789\n");
}

TEST(Layout, FiveDigitLineNumbersWidenThePrefix) {
  LayoutRun r;
  const std::string all =
      r.run(std::string(9998, '\n') + "abcdefghijklmnopqrstuvwx\n" + "x <= a and b and c and d\n" +
                "ab\tx\n" + "abc\tx\n",
            30, 4);
  const auto& l = r.sink.lines;
  ASSERT_EQ(l.size(), 10003u + 5u);
  EXPECT_EQ(l[9997], "9998 | ");
  EXPECT_EQ(l[9998], "9999 | abcdefghijklmnopqrstuvwx");
  EXPECT_EQ(l[9999], "10000 | x <= a and b and c and ");
  EXPECT_EQ(l[10000], "     |  d");  // text in the same column as the numbered line's
  EXPECT_EQ(l[10001], "10001 | ab x");
  EXPECT_EQ(l[10002], "10002 | abc    x");
  EXPECT_EQ(r.index.lStartCnt(), 10002);
  EXPECT_EQ(r.totalLines, 10002);
}

TEST(Layout, NarrowestLineWidthPutsEveryByteOnItsOwnLine) {
  LayoutRun r;
  EXPECT_EQ(r.listing("ab\n\ncd", 6),
            "   1 | \n     |  a\n     |  b\n   2 | \n   3 | \n     |  c\n     |  d\n");
}

TEST(Layout, ControlBytesWarnWithTheLineCounter) {
  struct Case {
    const char* source;
    const char* warnings;
  };
  const Case cases[] = {
      {"l1\nl2\nl3\nl4\n\fl5\n", "     line     4 : control character ignored\n"},
      {"l1\nl2\nl3\nl4\nl\f5\n", "     line     5 : control character ignored\n"},
      {"\f\x01l1\n", ""},
      {"a\r\nb\r\n", ""},
      {"a\x1b\x7f\n", "     line     1 : control character ignored\n"},
  };
  for (const Case& c : cases) {
    LayoutRun r;
    r.run(c.source);
    const std::string report = r.warningReport();
    EXPECT_EQ(report.empty() ? "" : report.substr(std::string("\nWARNINGS\n\n").size()),
              c.warnings)
        << c.source;
  }
}

TEST(Layout, ControlBytesAreDroppedAndBecomeLineFeeds) {
  LayoutRun r;
  EXPECT_EQ(r.run("\fa\x01" "b\n\x02\nc", 100), "   1 | ab\n   2 | \n   3 | c\n" + statistics(8, 3));
  EXPECT_EQ(std::string(r.text.data()), "\na\nb\n\n\nc");
  EXPECT_EQ(r.lineOf(0), 0);  // before line 1
  EXPECT_EQ(r.lineOf(1), 1);
  EXPECT_EQ(r.lineOf(4), 1);
  EXPECT_EQ(r.lineOf(5), 1);  // the control byte before line 2's first byte
  EXPECT_EQ(r.lineOf(6), 2);  // a line of a control byte starts at its line feed
  EXPECT_EQ(r.lineOf(7), 3);
}

TEST(Layout, CarriageReturnLineEndsListLikeLineFeeds) {
  LayoutRun crlf;
  LayoutRun lf;
  const std::string withCr = crlf.run("a <= b;\r\n\tc;\r\n\r\nend\r\n", 100);
  const std::string withoutCr = lf.run("a <= b;\n\tc;\n\nend\n", 100);
  EXPECT_EQ(crlf.listing("a <= b;\r\n\tc;\r\n\r\nend\r\n"), lf.listing("a <= b;\n\tc;\n\nend\n"));
  EXPECT_EQ(withCr.substr(withCr.find("<section end>")), statistics(21, 4));
  EXPECT_EQ(withoutCr.substr(withoutCr.find("<section end>")), statistics(17, 4));
  EXPECT_EQ(std::string(crlf.text.data()), "a <= b;\n\n\tc;\n\n\n\nend\n\n");
  EXPECT_EQ(crlf.warningReport(), "");
}

TEST(Layout, TextOfControlBytesOnlyHasNoLines) {
  LayoutRun r;
  EXPECT_EQ(r.run("\r"), statistics(1, 0));
  EXPECT_EQ(r.run("\x01\x02\x03"), statistics(3, 0));
  EXPECT_EQ(r.warningReport(), "");
  EXPECT_EQ(r.index.lStartCnt(), 0);
  EXPECT_EQ(r.lineOf(1), 0);
  EXPECT_EQ(r.totalLines, 0);
}

TEST(Layout, ZeroByteEndsTheText) {
  LayoutRun r;
  EXPECT_EQ(r.run(std::string_view("ab\ncd\0ef\n", 9)), "   1 | ab\n   2 | cd\n" + statistics(5, 2));
}

TEST(Layout, LastLineWithoutLineFeedIsCounted) {
  LayoutRun r;
  EXPECT_EQ(r.run("a\nb"), "   1 | a\n   2 | b\n" + statistics(3, 2));
}

TEST(Layout, HighBytesAreKept) {
  LayoutRun r;
  EXPECT_EQ(r.listing("\x80\xff\xe9\n"), "   1 | \x80\xff\xe9\n");
}

TEST(Layout, TotalLinesGrowsAndEachSourceSetsItsOwnCount) {
  LayoutRun r;
  r.run("a\nb\nc\nd\n");
  const size_t firstLength = r.text.size();
  r.run("x\ny\n");
  EXPECT_EQ(r.totalLines, 6);
  EXPECT_EQ(r.index.lStartCnt(), 2);
  EXPECT_LT(r.text.size(), firstLength);
  EXPECT_EQ(r.lineOf(r.text.size() - 1), 2);
}

TEST(Layout, SettingsOutsideTheirBoundsStillTerminateWithinTheBuffer) {
  struct Case {
    int lineWidth;
    int tabWidth;
  };
  const Case cases[] = {{6, 2}, {6, 1000}, {30, 1000}, {30, INT_MIN}, {0, 4}, {-50, 3},
                        {5000, 4}, {INT_MAX, 7}, {100, -7}};
  const std::string source = "\t\ta\t" + std::string(3000, 'x') + "\t \t\n  \t\tb\n";
  for (const Case& c : cases) {
    LayoutRun r;
    r.run(source, c.lineWidth, c.tabWidth);
    EXPECT_TRUE(r.ok);
    for (const std::string& line : r.sink.lines) EXPECT_LE(line.size(), 1023u);
    EXPECT_EQ(r.sink.lines.back(), "     2 lines");
  }
}

TEST(Layout, HopelessTabEndsAfterOneFullContinuation) {
  LayoutRun r;
  EXPECT_EQ(r.listing("\tx\n", 6, 2), "   1 | \n     |   \n     |   \n     |  x\n");
}

TEST(Layout, RandomTextsKeepLinesWithinTheWidth) {
  std::mt19937 rng(12345);
  const char alphabet[] = "ab  \t\t\n\r\x0c;";
  for (int round = 0; round < 300; ++round) {
    const int lineWidth = 9 + static_cast<int>(rng() % 120);
    const int tabWidth = 1 + static_cast<int>(rng() % static_cast<unsigned>(lineWidth - 5));
    std::string source;
    for (unsigned n = rng() % 400; n > 0; --n) source += alphabet[rng() % (sizeof alphabet - 1)];
    LayoutRun r;
    r.run(source, lineWidth, tabWidth);
    int numbered = 0;
    for (size_t i = 0; i + 5 < r.sink.lines.size(); ++i) {
      const std::string& line = r.sink.lines[i];
      EXPECT_LE(line.size(), static_cast<size_t>(lineWidth) + 1) << source;
      if (line.compare(0, 5, "     ") != 0) ++numbered;
    }
    EXPECT_EQ(numbered, r.index.lStartCnt());
    EXPECT_EQ(statistics(static_cast<int>(source.size()), numbered),
              r.sink.joined().substr(r.sink.joined().find("<section end>")));
  }
}

TEST(LineIndex, LookupFindsTheLastLineStartingAtOrBefore) {
  const char text[] = "0123456789abcdefghij";
  LineIndex index;
  EXPECT_EQ(index.lineIndex(-1, text), 0);  // nothing stored yet
  const int starts[] = {2, 5, 6, 12};
  for (int n = 1; n <= 4; ++n) EXPECT_EQ(index.lineIndex(n, text + starts[n - 1]), 0);
  EXPECT_EQ(index.lineIndex(-1, text + 3), 0);  // count not set yet
  EXPECT_EQ(index.lineIndex(4, nullptr), 0);
  const int expected[] = {0, 0, 1, 1, 1, 2, 3, 3, 3, 3, 3, 3, 4, 4, 4, 4, 4, 4, 4, 4};
  for (int pos = 0; pos < 20; ++pos) EXPECT_EQ(index.lineIndex(-1, text + pos), expected[pos]) << pos;
  index.lineIndex(2, nullptr);
  EXPECT_EQ(index.lineIndex(-1, text + 15), 2);
}

TEST(LineIndex, MatchesALinearSearch) {
  std::mt19937 rng(7);
  std::vector<char> text(5000);
  for (int round = 0; round < 50; ++round) {
    LineIndex index;
    std::vector<int> starts{0};
    for (int pos = static_cast<int>(rng() % 3); pos < 5000; pos += 1 + static_cast<int>(rng() % 40))
      starts.push_back(pos);
    const int cnt = static_cast<int>(starts.size()) - 1;
    for (int n = 1; n <= cnt; ++n) index.lineIndex(n, text.data() + starts[static_cast<size_t>(n)]);
    index.lineIndex(cnt, nullptr);
    for (int pos = 0; pos < 5000; pos += 7) {
      int linear = 0;
      for (int n = 1; n <= cnt && starts[static_cast<size_t>(n)] <= pos; ++n) linear = n;
      ASSERT_EQ(index.lineIndex(-1, text.data() + pos), linear) << pos;
    }
  }
}

TEST(LineIndex, CapacityGrowsByHalfOfTheLineThatNeedsIt) {
  const char text[] = "x";
  LineIndex index;
  EXPECT_EQ(index.lStartMax(), 0);
  std::vector<int> seen;
  for (int n = 1; n <= 6000; ++n) {
    ASSERT_EQ(index.lineIndex(n, text), 0);
    if (seen.empty() || seen.back() != index.lStartMax()) seen.push_back(index.lStartMax());
  }
  EXPECT_EQ(seen, (std::vector<int>{1000, 1500, 2250, 3375, 5062, 7593}));
}

TEST(LineIndex, RefusesAnIndexThatCannotGrow) {
  const char text[] = "x";
  LineIndex index;
  EXPECT_EQ(index.lineIndex(INT_MAX, text), -1);
  EXPECT_EQ(index.lineIndex(1, text), 0);
  EXPECT_EQ(index.lStartMax(), 1000);
}

TEST(Layout, WriteStatisticRightAlignsTheCount) {
  test::RecordingSink sink;
  writeStatistic(sink, "comments", 7);
  writeStatistic(sink, "characters", 1234567);
  writeStatistic(sink, "lines", -3);
  EXPECT_EQ(sink.joined(), "     7 comments\n1234567 characters\n    -3 lines\n");
}

}  // namespace
}  // namespace mervik::analysis
