#include "analysis/text_encoding.hpp"

#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "analysis/layout.hpp"
#include "support/recording.hpp"

namespace mervik::analysis {
namespace {

TEST(TextEncoding, DetectsUtf8AndShowsEachCharacterAsOneCp1252Byte) {
  const std::string a(13, 'a');  // puts what follows behind and across the 8-byte steps
  const std::tuple<std::string, bool, std::string> cases[] = {  // text, UTF-8, shown
      {"", false, ""}, {a + a, false, a + a}, {a + "\xC3\xA9" + a, true, a + "\xE9" + a},
      {"\xE2\x82\xAC\xE2\x80\x9A\xE2\x80\x93\xC5\x92\xC6\x92\xCB\x9C\xE2\x84\xA2\xC2\xA0\xC3\xBF",
       true, "\x80\x82\x96\x8C\x83\x98\x99\xA0\xFF"},
      {"\xC2\x80\xC2\x9F\xE4\xB8\xAD\xF0\x9F\x98\x80\xEF\xBF\xBF\xF4\x8F\xBF\xBF\xED\x9F\xBF", true,
       "???????"},  // C1 controls, CJK, emoji, U+FFFF, U+10FFFF, U+D7FF
      {"caf\xE9", false, "caf?"}, {"\xC0\xAF", false, "??"}, {"\xC1\xBF", false, "??"},
      {"\xE0\x9F\xBF", false, "???"}, {"\xF0\x8F\xBF\xBF", false, "????"},  // overlong
      {"\xED\xA0\x80", false, "???"}, {"\xED\xBF\xBF", false, "???"},    // surrogates
      {"\xF4\x90\x80\x80", false, "????"}, {"\xF5\x80\x80\x80", false, "????"},
      {"\xFF\xC3\xA9", false, "?\xE9"}, {"\xC3\xA9\xA9", false, "\xE9?"}, {"\xC3(", false, "?("},
      {a + "\xC3\xA9\xF0\x9F\x98", false, a + "\xE9???"}, {"\xC3\xA9\xE2\x82", false, "\xE9??"}};
  for (const auto& [text, utf8, shown] : cases) {
    std::string out;
    appendCp1252(out, text);
    EXPECT_EQ(std::make_pair(isUtf8Text(text.data(), text.size()), out), std::make_pair(utf8, shown))
        << text;
  }
}

TEST(TextEncoding, LayoutCountsCharactersForTabsWrapsAndIndents) {
  const std::string e = "\xC3\xA9", twenty = [&] { std::string s; for (int i = 0; i < 20; ++i) s += e; return s; }();
  const std::tuple<std::string, TextEncoding, std::string> cases[] = {  // width 30, tabs of 4
      {"\xEF\xBB\xBF" + e + "\tx\na\tx\n\xE4\xB8\xAD\xF0\x9F\x98\x80|\n", TextEncoding::utf8,
       "   1 | \xE9   x\n   2 | a   x\n   3 | ??|\n<section end>\nTEXT STATISTICS\n\n"
       "    21 characters\n     3 lines\n"},
      {twenty + "abcd\n  " + twenty + "abcd", TextEncoding::utf8,
       "   1 | " + std::string(20, '\xE9') + "abcd\n   2 |   " + std::string(20, '\xE9') +
           "ab\n     |   cd\n"},
      {e + "\tx\n", TextEncoding::eightBit, "   1 | " + e + "  x\n"}};
  test::RecordingSink sink;
  test::RecordingConsole console;
  WarningLog warnings{sink, console};
  LineIndex index;
  for (const auto& [source, encoding, expected] : cases) {
    std::string text = source;
    sink.lines.clear();
    ASSERT_TRUE(layoutSource(text.data(), {4, 30, nullptr, {}, encoding}, index, warnings, sink,
                             nullptr, nullptr));
    const std::string all = sink.joined();
    EXPECT_EQ(expected.find("<section end>") == std::string::npos ? all.substr(0, all.find("<section end>")) : all,
              expected);
  }
}

}  // namespace
}  // namespace mervik::analysis
