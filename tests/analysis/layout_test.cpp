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
  test::RecordingConsole console;
  WarningLog warnings{sink, console};
  LineIndex index;
  int totalLines = 0;
  std::vector<char> text;

  // Lays out `source` (a zero byte is appended); returns the listing and warning report joined.
  std::string run(std::string_view source, int lineWidth = 100, int tabWidth = 4) {
    text.assign(source.begin(), source.end());
    text.push_back('\0');
    sink.lines.clear();
    warnings.log(0, 0);
    EXPECT_TRUE(layoutSource(text.data(), LayoutSettings{tabWidth, lineWidth}, index, warnings,
                             sink, &totalLines, nullptr));
    warnings.log(-999, -1);
    return sink.joined();
  }
};

std::string statistics(int characters, int lines) {
  char buf[128];
  std::snprintf(buf, sizeof buf, "<section end>\nTEXT STATISTICS\n\n%6d characters\n%6d lines\n",
                characters, lines);
  return buf;
}

// Rows without "<section end>" compare only the numbered lines.
TEST(Layout, NumbersWrapsCountsAndWarnsFromSourceToSource) {
  const std::string full = "abcdefghijklmnopqrstuvwx";  // 7 + 24 = line width 30 + 1
  const std::string deep(12, ' '), ctl = " : control character ignored\n";
  const std::tuple<std::string, int, int, std::string> cases[] = {
      {"entity e is\n\tport (a, b : in bit; y : out bit);\nend e;\n", 30, 4,
       "   1 | entity e is\n   2 |     port (a, b : in bit;\n     |      y : out bit);\n"
       "   3 | end e;\n" + statistics(55, 3)},
      {"x <= a and b and c and d and e and f and g;\n", 30, 4,
       "   1 | x <= a and b and c and d\n     |    and e and f and g;\n" + statistics(44, 1)},
      {"\tx\nabc\tx\nabcd\tx", 100, 4, "   1 |     x\n   2 | abc x\n   3 | abcd    x\n"},
      {"\tx", 100, 0, "   1 |  x\n"},  // a tab width of 0 is taken as 1
      {full + "\n" + full + "y\n", 30, 4, "   1 | " + full + "\n   2 | " + full + "\n     |  y\n"},
      {"  " + full + "y\n", 30, 4, "   1 |   abcdefghijklmnopqrstuv\n     |   wxy\n"},
      {full + "\tz\n", 30, 4, "   1 | " + full + "\n     |     z\n"},  // wrap inside a tab
      {"x <= a and b and c and d and e and f and g and h and i and j and k and l;\n", 30, 4,
       "   1 | x <= a and b and c and d\n     |    and e and f and g and\n"
       "     |     h and i and j and k \n     |     and l;\n"},
      {deep + "abcdefghijklmnopqrstuvwxyz", 30, 4,  // the indent stops at a third of the width
       "   1 | " + deep + "abcdefghijkl\n     |     mnopqrstuvwxyz\n"},
      {"ab\n\ncd", 6, 4, "   1 | \n     |  a\n     |  b\n   2 | \n   3 | \n     |  c\n     |  d\n"},
      {"\tx\n", 6, 2, "   1 | \n     |   \n     |   \n     |  x\n"},  // a tab that finds no stop
      {"a <= b;\r\n\tc;\r\n\r\nend\r\n", 100, 4,  // as with line feeds alone; CRs are counted
       "   1 | a <= b;\n   2 |     c;\n   3 | \n   4 | end\n" + statistics(21, 4)},
      {std::string("ab\ncd\0ef\n", 9), 100, 4, "   1 | ab\n   2 | cd\n" + statistics(5, 2)},
      {"\r\x01", 100, 4, statistics(2, 0)},
      {"\f\x01l1\n", 100, 4, "   1 | l1\n" + statistics(5, 1)},  // no warning before line 1
      // A form feed at the start of a line is reported with the line before.
      {"a\n\fb\fc\n", 100, 4, "   1 | a\n   2 | bc\n" + statistics(7, 2) +
           "\nWARNINGS\n\n     line     1" + ctl + "     line     2" + ctl},
      {"a\x1b\x7f\x80\xff\n", 100, 4,
       "   1 | a\x7f\x80\xff\n" + statistics(6, 1) + "\nWARNINGS\n\n     line     1" + ctl},
  };
  LayoutRun r;
  for (const auto& [source, lineWidth, tabWidth, expected] : cases) {
    const int before = r.totalLines;
    std::string all = r.run(source, lineWidth, tabWidth);
    if (expected.find("<section end>") == std::string::npos) all.erase(all.find("<section end>"));
    EXPECT_EQ(all, expected) << source << " / " << lineWidth;
    EXPECT_EQ(r.index.lStartCnt(), r.totalLines - before) << source;
  }
  // Control bytes become line feeds in place, for the scanner; lookups before line 1, in
  // line 1, at the control byte before line 2, at line 2's line feed, in line 3.
  r.run("\fa\001b\n\002\nc");
  EXPECT_EQ(std::string(r.text.data()), "\na\nb\n\n\nc");
  std::string found;
  for (size_t at : {0, 1, 5, 6, 7}) found += std::to_string(r.index.lineIndex(-1, &r.text[at]));
  EXPECT_EQ(found, "01123");
}

TEST(Layout, FiveDigitLineNumbersWidenThePrefix) {
  LayoutRun r;
  const std::string all = r.run(std::string(9998, '\n') + "abcdefghijklmnopqrstuvwx\n" +
                                    "x <= a and b and c and d\nab\tx\nabc\tx\n", 30, 4);
  EXPECT_EQ(all.substr(all.find("9998 | ")),
            "9998 | \n9999 | abcdefghijklmnopqrstuvwx\n10000 | x <= a and b and c and \n"
            "     |  d\n10001 | ab x\n10002 | abc    x\n" + statistics(10059, 10002));
}

// Every fourth round: settings out of bounds and a 3000-byte line, still within 1023 bytes.
TEST(Layout, RandomTextsAndSettingsKeepLinesWithinTheWidth) {
  std::mt19937 rng(12345);
  const int wild[] = {0, 1, 2, 6, 30, 1000, 5000, -7, -50, INT_MAX, INT_MIN};
  LayoutRun r;
  for (int round = 0; round < 300; ++round) {
    const int width = 9 + static_cast<int>(rng() % 120);
    std::string source = round % 4 ? "" : "\t\ta\t" + std::string(3000, 'x') + "\t \t\n  \t\tb\n";
    for (unsigned n = rng() % 400; n > 0; --n) source += "ab  \t\t\n\r\x0c;\x80"[rng() % 11];
    if (round % 4 == 0) r.run(source, wild[rng() % std::size(wild)], wild[rng() % std::size(wild)]);
    else r.run(source, width, 1 + static_cast<int>(rng() % static_cast<unsigned>(width - 5)));
    for (size_t i = 0; r.sink.lines[i] != "<section end>"; ++i)
      EXPECT_LE(r.sink.lines[i].size(), round % 4 ? width + 1u : 1023u) << round;
  }
}

TEST(LineIndex, MatchesALinearSearch) {
  std::mt19937 rng(7);
  std::vector<char> text(5000);
  for (int round = 0; round < 30; ++round) {
    LineIndex index;
    EXPECT_EQ(index.lineIndex(-1, text.data()), 0);  // nothing stored yet
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
  LineIndex index;
  EXPECT_EQ(index.lineIndex(INT_MAX, text.data()), -1);  // an index that cannot grow refuses
}

}  // namespace
}  // namespace mervik::analysis
