#include "analysis/text_encoding.hpp"

#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "analysis/layout.hpp"
#include "support/recording.hpp"

namespace mervik::analysis {

// Each text read as the driver reads it: UTF-8 when it is, then laid out 30 wide, tabs of 4.
TEST(TextEncoding, Utf8TextTakesAColumnACharacterAndOtherTextAByte) {
  test::RecordingSink sink;
  test::RecordingConsole console;
  WarningLog warnings{sink, console};
  LineIndex index;
  auto listed = [&](std::string text) {
    const bool utf8 = isUtf8Text(text.data(), text.size());
    sink.lines.clear();
    const TextEncoding encoding = utf8 ? TextEncoding::utf8 : TextEncoding::eightBit;
    layoutSource(text.data(), {4, 30, nullptr, {}, encoding}, index, warnings, sink, nullptr,
                 nullptr);
    const std::string all = sink.joined();
    return std::make_pair(utf8, all.substr(0, all.find("\n<section end>")));
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
