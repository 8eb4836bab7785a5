#include "analysis/layout.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "support/recording.hpp"

namespace mervik::analysis {

// Rows without "<section end>" compare only the numbered lines.
TEST(Layout, NumbersWrapsCountsAndWarnsFromSourceToSource) {
  const std::string full = "abcdefghijklmnopqrstuvwx", deep(12, ' ');  // 7 + 24 = width 30 + 1
  const std::string ctl = " : control character ignored\n";
  const std::string stats = "<section end>\nTEXT STATISTICS\n\n";
  const std::tuple<std::string, int, int, std::string> cases[] = {
      {"entity e is\n\tport (a, b : in bit; y : out bit);\nend e;\n", 30, 4,
       "   1 | entity e is\n   2 |     port (a, b : in bit;\n     |      y : out bit);\n"
       "   3 | end e;\n" + stats + "    55 characters\n     3 lines\n"},
      {"x <= a and b and c and d and e and f and g;\n", 30, 4, "   1 | x <= a and b and c and d\n"
       "     |    and e and f and g;\n" + stats + "    44 characters\n     1 lines\n"},
      {"\tx\nabc\tx\nabcd\tx", 100, 4, "   1 |     x\n   2 | abc x\n   3 | abcd    x\n"},
      {full + "\n" + full + "y\n", 30, 4, "   1 | " + full + "\n   2 | " + full + "\n     |  y\n"},
      {full + "\tz\n", 30, 4, "   1 | " + full + "\n     |     z\n"},  // wrap inside a tab
      {deep + full, 30, 4, "   1 | " + deep + "abcdefghijkl\n     |     mnopqrstuvwx\n"},
      // Settings out of bounds: widths 6 (a tab that finds no stop) and 1022 (1023-byte lines).
      {"\tx\n", INT_MIN, 2, "   1 | \n     |   \n     |   \n     |  x\n"},
      {"\t" + std::string(2000, 'x'), INT_MAX, 0,  // a tab width of 0 is taken as 1
       "   1 |  " + std::string(1015, 'x') + "\n     |  " + std::string(985, 'x') + "\n"},
      {std::string("a <= b;\r\n\tc;\r\n\r\nend\r\n\0ef\n", 25), 100, 4,  // CRs are counted
       "   1 | a <= b;\n   2 |     c;\n   3 | \n   4 | end\n" + stats +
           "    21 characters\n     4 lines\n"},
      // No warning before line 1; a form feed starting a line is reported with the line before.
      {"\f\x01" "a\x1b\x7f\x80\xff\n\fb\fc\n", 100, 4, "   1 | a\x7f\x80\xff\n   2 | bc\n" + stats +
           "    13 characters\n     2 lines\n\nWARNINGS\n\n     line     1" + ctl +
           "     line     1" + ctl + "     line     2" + ctl},
  };
  test::RecordingSink sink;
  test::RecordingConsole console;
  WarningLog warnings{sink, console};
  LineIndex index;
  std::vector<char> text;
  auto run = [&](const std::string& source, int lineWidth, int tabWidth) {
    text.assign(source.c_str(), source.c_str() + source.size() + 1);
    sink.lines.clear();
    warnings.log(0, 0);
    EXPECT_TRUE(layoutSource(text.data(), {tabWidth, lineWidth}, index, warnings, sink, nullptr,
                             nullptr));
    warnings.log(-999, -1);
    return sink.joined();
  };
  for (const auto& [source, lineWidth, tabWidth, expected] : cases) {
    std::string all = run(source, lineWidth, tabWidth);
    if (expected.find("<section end>") == std::string::npos) all.erase(all.find("<section end>"));
    EXPECT_EQ(all, expected) << source << " / " << lineWidth;
  }
  // Control bytes become line feeds in place; lookups before line 1, in it, at line ends.
  run("\fa\001b\n\002\nc", 100, 4);
  EXPECT_EQ(std::string(text.data()), "\na\nb\n\n\nc");
  std::string found;
  for (size_t at : {0, 1, 5, 6, 7}) found += std::to_string(index.lineIndex(-1, &text[at]));
  EXPECT_EQ(found, "01123");
  const std::string all = run(std::string(9998, '\n') + full + "\nx <= a and b and c and d\n"
                              "ab\tx\nabc\tx\n", 30, 4);  // five-digit numbers widen the prefix
  EXPECT_EQ(all.substr(all.find("9998 | ")),
            "9998 | \n9999 | " + full + "\n10000 | x <= a and b and c and \n     |  d\n"
            "10001 | ab x\n10002 | abc    x\n" + stats + " 10059 characters\n 10002 lines\n");
}

TEST(LineIndex, MatchesALinearSearchAndRefusesToGrowPastTheLargestInt) {
  std::mt19937 rng(7);
  std::vector<char> text(20000);
  std::vector<size_t> starts{0};  // starts[n]: where line n starts; over 1000 lines
  LineIndex index;
  EXPECT_EQ(index.lineIndex(-1, text.data()), 0);  // nothing stored yet
  for (size_t pos = rng() % 3; pos < text.size(); pos += 1 + rng() % 30) {
    starts.push_back(pos);
    index.lineIndex(static_cast<int>(starts.size()) - 1, &text[pos]);
  }
  index.lineIndex(static_cast<int>(starts.size()) - 1, nullptr);
  for (size_t pos = 0, line = 0; pos < text.size(); ++pos) {
    while (line + 1 < starts.size() && starts[line + 1] <= pos) ++line;
    ASSERT_EQ(index.lineIndex(-1, &text[pos]), static_cast<int>(line)) << pos;
  }
  // Out of order too, as the outline's unit lookups ask between the tokens' lookups.
  for (int i = 0; i < 2000; ++i) {
    const size_t pos = rng() % text.size();
    const auto line = std::upper_bound(starts.begin() + 1, starts.end(), pos) - starts.begin() - 1;
    ASSERT_EQ(index.lineIndex(-1, &text[pos]), static_cast<int>(line)) << pos;
  }
  EXPECT_EQ(LineIndex().lineIndex(INT_MAX, text.data()), -1);
}

}  // namespace mervik::analysis
