#include "analysis/layout.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <random>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "support/recording.hpp"

namespace mervik::analysis {

// Lays out sources one after another as the driver does (UTF-8 when they are), lines joined.
struct Layouts {
  std::string run(const std::string& source, int lineWidth, int tabWidth) {
    text.assign(source.c_str(), source.c_str() + source.size() + 1);
    utf8 = isUtf8Text(source.data(), source.size());
    sink.lines.clear();
    warnings.log(0, 0);
    const TextEncoding encoding = utf8 ? TextEncoding::utf8 : TextEncoding::eightBit;
    EXPECT_TRUE(layoutSource(text.data(), source.size(), {tabWidth, lineWidth, nullptr, {},
                             encoding}, index, warnings, sink, nullptr, nullptr));
    warnings.log(-999, -1);
    return sink.joined();
  }

  test::RecordingSink sink;
  test::RecordingConsole console;
  WarningLog warnings{sink, console};
  LineIndex index;
  std::vector<char> text;
  bool utf8 = false;
};

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
      // CRs are counted; a zero byte is a control character like the others.
      {std::string("a <= b;\r\n\tc;\r\n\r\nend\r\n\0ef\0\n", 26), 100, 4,
       "   1 | a <= b;\n   2 |     c;\n   3 | \n   4 | end\n   5 | ef\n" + stats +
           "    26 characters\n     5 lines\n\nWARNINGS\n\n     line     4" + ctl +
           "     line     5" + ctl},
      // No warning before line 1; a form feed starting a line is reported with the line before.
      {"\f\x01" "a\x1b\x7f\x80\xff\n\fb\fc\n", 100, 4, "   1 | a\x7f\x80\xff\n   2 | bc\n" + stats +
           "    13 characters\n     2 lines\n\nWARNINGS\n\n     line     1" + ctl +
           "     line     1" + ctl + "     line     2" + ctl},
  };
  Layouts layouts;
  const std::vector<char>& text = layouts.text;
  for (const auto& [source, lineWidth, tabWidth, expected] : cases) {
    std::string all = layouts.run(source, lineWidth, tabWidth);
    if (expected.find("<section end>") == std::string::npos) all.erase(all.find("<section end>"));
    EXPECT_EQ(all, expected) << source << " / " << lineWidth;
  }
  // The text is only read; lookups before line 1, in it, at line ends.
  layouts.run("\fa\001b\n\002\nc", 100, 4);
  EXPECT_EQ(std::string(text.data()), "\fa\001b\n\002\nc");
  std::string found;
  for (size_t at : {0, 1, 5, 6, 7})
    found += std::to_string(layouts.index.lineIndex(-1, &text[at]));
  EXPECT_EQ(found, "01123");
  const std::string all = layouts.run(std::string(9998, '\n') + full +  // five-digit numbers
                                      "\nx <= a and b and c and d\nab\tx\nabc\tx\n", 30, 4);
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

TEST(TextEncoding, Utf8TextTakesAColumnACharacterAndOtherTextAByte) {
  Layouts layouts;
  const auto listed = [&](const std::string& text) {
    const std::string all = layouts.run(text, 30, 4);
    return std::make_pair(layouts.utf8, all.substr(0, all.find("\n<section end>")));
  };
  const std::string a(9, 'a');  // puts what follows behind and across the 8-byte steps
  std::string e20;
  for (int i = 0; i < 20; ++i) e20 += "\xC3\xA9";
  const std::pair<std::string, std::string> utf8[] = {  // text, its numbered lines
      {a + "\xC3\xA9" + a, "   1 | " + a + "\xE9" + a},
      {"\xE2\x82\xAC\xE2\x80\x9A\xE2\x80\x93\xC5\x92\xC6\x92\xCB\x9C\xE2\x84\xA2\xC2\xA0\xC3\xBF",
       "   1 | \x80\x82\x96\x8C\x83\x98\x99\xA0\xFF"},
      // No glyph: C1 controls, CJK, emoji, U+FFFF, U+10FFFF, U+D7FF.
      {"\xC2\x80\xC2\x9F\xE4\xB8\xAD\xF0\x9F\x98\x80\xEF\xBF\xBF\xF4\x8F\xBF\xBF\xED\x9F\xBF|",
       "   1 | ???????|"},
      {"\xEF\xBB\xBF\xC3\xA9\tx\n\xE4\xB8\xAD\tx", "   1 | \xE9   x\n   2 | ?   x"},
      {"  " + e20 + "abcd", "   1 |   " + std::string(20, '\xE9') + "ab\n     |   cd"}};
  for (const auto& [text, lines] : utf8) EXPECT_EQ(listed(text), std::make_pair(true, lines));
  // Nothing multi-byte; Latin-1; overlong; surrogates; above U+10FFFF; bytes UTF-8 never uses;
  // a stray or a missing continuation byte; a sequence cut by the end.
  const std::string notUtf8[] = {a + a, "caf\xE9", "\xC0\xAF", "\xC1\xBF", "\xE0\x9F\xBF",
      "\xF0\x8F\xBF\xBF", "\xED\xA0\x80", "\xED\xBF\xBF", "\xF4\x90\x80\x80", "\xF5\x80\x80\x80",
      "\xFF", "\xC3\xA9\xA9", "\xC3(", a + "\xC3\xA9\xF0\x9F\x98", "\xC3\xA9\xE2\x82"};
  for (const std::string& text : notUtf8)
    EXPECT_EQ(listed(text), std::make_pair(false, "   1 | " + text));
}

}  // namespace mervik::analysis
