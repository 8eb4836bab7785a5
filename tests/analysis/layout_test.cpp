#include "analysis/layout.hpp"

#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <iterator>
#include <random>
#include <string>
#include <tuple>
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

  // Lays out `source` (a zero byte is appended) and returns everything written, joined.
  std::string run(std::string_view source, int lineWidth = 100, int tabWidth = 4) {
    text.assign(source.begin(), source.end());
    text.push_back('\0');
    sink.lines.clear();
    warnings.log(0, 0);
    layoutSource(text.data(), LayoutSettings{tabWidth, lineWidth}, index, warnings, sink,
                 &totalLines, nullptr);
    warningSink.lines.clear();
    warnings.log(-999, -1);  // the warning report, if any, follows the listing
    return sink.joined() + warningSink.joined();
  }
  // The line numbers found for these text offsets, e.g. "0 1 1 2".
  std::string linesAt(std::initializer_list<size_t> offsets) {
    std::string out;
    for (size_t offset : offsets)
      out += (out.empty() ? "" : " ") + std::to_string(index.lineIndex(-1, text.data() + offset));
    return out;
  }
};

std::string statistics(int characters, int lines) {
  char buf[128];
  std::snprintf(buf, sizeof buf, "<section end>\nTEXT STATISTICS\n\n%6d characters\n%6d lines\n",
                characters, lines);
  return buf;
}

TEST(Layout, WorkedExamplesAtLineWidth30) {
  LayoutRun r;
  EXPECT_EQ(r.run("entity e is\n\tport (a, b : in bit; y : out bit);\nend e;\n", 30, 4),
            "   1 | entity e is\n"
            "   2 |     port (a, b : in bit;\n"
            "     |      y : out bit);\n"
            "   3 | end e;\n"
            "<section end>\nTEXT STATISTICS\n\n    55 characters\n     3 lines\n");
  EXPECT_EQ(r.linesAt({0, 11, 12, 47, 48, 54}), "1 1 2 2 3 3");  // a line feed is its line's
  EXPECT_EQ(r.run("x <= a and b and c and d and e and f and g;\n", 30, 4),
            "   1 | x <= a and b and c and d\n"
            "     |    and e and f and g;\n"
            "<section end>\nTEXT STATISTICS\n\n    44 characters\n     1 lines\n");
  EXPECT_EQ(r.index.lStartCnt(), 1);
  EXPECT_EQ(r.totalLines, 4);  // the total grows; each source has its own index
}

TEST(Layout, TabStopsWrapsAndContinuationIndents) {
  const std::string full = "abcdefghijklmnopqrstuvwx";  // 7 + 24 = line width 30 + 1
  const std::string deep(40, ' ');
  const std::tuple<std::string, int, int, std::string> cases[] = {
      {"\tx", 100, 4, "   1 |     x\n"},
      {"abc\tx", 100, 4, "   1 | abc x\n"},
      {"abcd\tx", 100, 4, "   1 | abcd    x\n"},
      {"ab\tx", 100, 8, "   1 | ab      x\n"},
      {"\tx", 100, 0, "   1 |  x\n"},  // a tab width of 0 is taken as 1
      {full + "\n", 30, 4, "   1 | " + full + "\n"},
      {full + "y\n", 30, 4, "   1 | " + full + "\n     |  y\n"},
      {"  " + full + "y\n", 30, 4, "   1 |   abcdefghijklmnopqrstuv\n     |   wxy\n"},
      {full + "\tz\n", 30, 4, "   1 | " + full + "\n     |     z\n"},  // wrap inside a tab
      {"x <= a and b and c and d and e and f and g and h and i and j and k and l;\n", 30, 4,
       "   1 | x <= a and b and c and d\n     |    and e and f and g and\n"
       "     |     h and i and j and k \n     |     and l;\n"},
      {deep + "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789\n", 60, 4,
       "   1 | " + deep + "abcdefghijklmn\n     |" + std::string(15, ' ') +
           "opqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ01\n     |" + std::string(15, ' ') +
           "23456789\n"},
      {"ab\n\ncd", 6, 4, "   1 | \n     |  a\n     |  b\n   2 | \n   3 | \n     |  c\n     |  d\n"},
      {"\tx\n", 6, 2, "   1 | \n     |   \n     |   \n     |  x\n"},  // a tab that finds no stop
      {"\x80\xff\xe9\n", 100, 4, "   1 | \x80\xff\xe9\n"},
  };
  for (const auto& [source, lineWidth, tabWidth, expected] : cases) {
    LayoutRun r;
    const std::string all = r.run(source, lineWidth, tabWidth);
    EXPECT_EQ(all.substr(0, all.find("<section end>")), expected) << source << " / " << lineWidth;
  }
}

TEST(Layout, CountsCharactersAndLinesAndWarnsOfControlBytes) {
  const std::string four = "   1 | \n   2 | \n   3 | \n   4 | \n";
  const std::string warnings = "\nWARNINGS\n\n";
  const std::pair<std::string, std::string> cases[] = {
      {"a <= b;\r\n\tc;\r\n\r\nend\r\n",  // as with line feeds alone; the CRs are counted
       "   1 | a <= b;\n   2 |     c;\n   3 | \n   4 | end\n" + statistics(21, 4)},
      {"a\nb", "   1 | a\n   2 | b\n" + statistics(3, 2)},
      {std::string("ab\ncd\0ef\n", 9), "   1 | ab\n   2 | cd\n" + statistics(5, 2)},
      {"\r", statistics(1, 0)},
      {"\x01\x02\x03", statistics(3, 0)},
      {"\n\n\n\n\f5\n", four + "   5 | 5\n" + statistics(7, 5) + warnings +
                            "     line     4 : control character ignored\n"},
      {"\n\n\n\n5\f5\n", four + "   5 | 55\n" + statistics(8, 5) + warnings +
                             "     line     5 : control character ignored\n"},
      {"\f\x01l1\n", "   1 | l1\n" + statistics(5, 1)},  // nothing before the first line
      {"a\x1b\x7f\n", "   1 | a\x7f\n" + statistics(4, 1) + warnings +
                          "     line     1 : control character ignored\n"},
  };
  for (const auto& [source, expected] : cases) {
    LayoutRun r;
    EXPECT_EQ(r.run(source), expected) << source;
    EXPECT_EQ(r.index.lStartCnt(), r.totalLines) << source;
  }
  LayoutRun r;
  r.run("\fa\001b\n\002\nc");
  EXPECT_EQ(std::string(r.text.data()), "\na\nb\n\n\nc");
  // Before line 1; line 1; the control byte before line 2; line 2 at its line feed; line 3.
  EXPECT_EQ(r.linesAt({0, 1, 5, 6, 7}), "0 1 1 2 3");
}

TEST(Layout, FiveDigitLineNumbersWidenThePrefix) {
  LayoutRun r;
  const std::string last = "abcdefghijklmnopqrstuvwx\nx <= a and b and c and d\nab\tx\nabc\tx\n";
  r.run(std::string(9998, '\n') + last, 30, 4);
  const std::vector<std::string> tail(r.sink.lines.begin() + 9997, r.sink.lines.begin() + 10003);
  EXPECT_EQ(tail, (std::vector<std::string>{"9998 | ", "9999 | abcdefghijklmnopqrstuvwx",
                                            "10000 | x <= a and b and c and ", "     |  d",
                                            "10001 | ab x", "10002 | abc    x"}));
  EXPECT_EQ(r.index.lStartCnt(), 10002);
}

// Every fourth round: settings out of bounds and a long line must still end within 1023 bytes.
TEST(Layout, RandomTextsAndSettingsKeepLinesWithinTheWidth) {
  std::mt19937 rng(12345);
  const char alphabet[] = "ab  \t\t\n\r\x0c;\x80";
  const int wild[] = {0, 1, 2, 6, 30, 1000, 5000, -7, -50, INT_MAX, INT_MIN};
  for (int round = 0; round < 300; ++round) {
    int lineWidth = 9 + static_cast<int>(rng() % 120);
    int tabWidth = 1 + static_cast<int>(rng() % static_cast<unsigned>(lineWidth - 5));
    size_t widest = static_cast<size_t>(lineWidth) + 1;
    std::string source;
    for (unsigned n = rng() % 400; n > 0; --n) source += alphabet[rng() % (sizeof alphabet - 1)];
    if (round % 4 == 0) {
      lineWidth = wild[rng() % std::size(wild)];
      tabWidth = wild[rng() % std::size(wild)];
      widest = 1023;
      source += "\t\ta\t" + std::string(3000, 'x') + "\t \t\n  \t\tb\n";
    }
    LayoutRun r;
    r.run(source, lineWidth, tabWidth);
    const std::string all = r.sink.joined();
    int numbered = 0;
    for (size_t i = 0; i + 5 < r.sink.lines.size(); ++i) {
      EXPECT_LE(r.sink.lines[i].size(), widest) << lineWidth << " / " << tabWidth;
      numbered += r.sink.lines[i].compare(0, 5, "     ") != 0;
    }
    EXPECT_EQ(numbered, r.index.lStartCnt());
    EXPECT_EQ(all.substr(all.find("<section end>")),
              statistics(static_cast<int>(source.size()), numbered));
  }
}

TEST(LineIndex, MatchesALinearSearch) {
  std::mt19937 rng(7);
  std::vector<char> text(5000);
  for (int round = 0; round < 30; ++round) {
    LineIndex index;
    std::vector<size_t> starts{0};  // starts[n]: where line n starts
    for (size_t pos = rng() % 3; pos < 5000; pos += 1 + rng() % 40) starts.push_back(pos);
    const int cnt = static_cast<int>(starts.size()) - 1;
    for (int n = 1; n <= cnt; ++n) index.lineIndex(n, &text[starts[static_cast<size_t>(n)]]);
    index.lineIndex(cnt, nullptr);
    for (size_t pos = 0; pos < 5000; pos += 7) {
      int linear = 0;
      while (linear < cnt && starts[static_cast<size_t>(linear) + 1] <= pos) ++linear;
      ASSERT_EQ(index.lineIndex(-1, &text[pos]), linear) << pos;
    }
  }
}

TEST(LineIndex, CapacityGrowsByHalfAndRefusesWhatCannotFit) {
  const char text[] = "x";
  LineIndex index;
  EXPECT_EQ(index.lineIndex(-1, text), 0);  // nothing stored yet
  EXPECT_EQ(index.lineIndex(INT_MAX, text), -1);
  std::vector<int> seen;
  for (int n = 1; n <= 6000; ++n) {
    ASSERT_EQ(index.lineIndex(n, text), 0);
    if (seen.empty() || seen.back() != index.lStartMax()) seen.push_back(index.lStartMax());
  }
  EXPECT_EQ(seen, (std::vector<int>{1000, 1500, 2250, 3375, 5062, 7593}));
}

}  // namespace
}  // namespace mervik::analysis
