#include "analysis/lexer.hpp"

#include <gtest/gtest.h>

#include <string>
#include <utility>

namespace mervik::analysis {

// "[kind text]" per token, "!n" its warnings, a name's stop byte ("/$" at the end, "/~" quoted).
std::string tokens(const std::string& text, Lexer::Symbols symbols = Lexer::Symbols::yield) {
  static const char* const kinds[] = {"comment", "literal", "number", "ext", "name", "sym"};
  Lexer lexer(text.c_str(), symbols);
  std::string out;
  Token t;
  while (lexer.next(&t)) {
    out += "[" + std::string(kinds[static_cast<int>(t.kind)]) + " " +
           std::string(t.start, t.length);
    if (t.lineEnds > 0) out += "!" + std::to_string(t.lineEnds);
    if (t.kind == TokenKind::basicName) out += t.quoted ? "/~" : t.stop ? "/" + std::string(1, t.stop) : "/$";
    out += "]";
  }
  return out;
}

TEST(Lexer, ReadsTheTokensOfTheScanRules) {
  const std::pair<const char*, const char*> cases[] = {
      {"s <= a--b;", "[name s/ ][sym <][sym =][name a/-][sym -][name b/;]"},
      {"a---b\nc", "[name a/-][comment --b][name c/$]"},
      {"clk'event", "[name clk/'][name event/$]"},
      {"(others => '0');", "[sym (][name others/ ][sym =][sym >][literal '0'][sym )][sym ;]"},
      {"s(3)'length", "[name s/(][number 3][sym )][literal 'length!1]"},  // to the end
      {"x\"0F\" 2x .5 a.5", "[name x\"0F\"/~][number 2x][number .5][name a/.][number 5]"},
      {"1\t-- c", "[number 1\t--][name c/$]"},  // tabs do not stop a number
      {"\"a\\\"b\" \"c\nd", "[literal \"a\\\"b\"][literal \"c\nd!2]"},
      {"\\Bus A\\x \\a\\\\b\\", "[ext \\Bus A\\][name x/ ][ext \\a\\\\b\\]"},
      {"\\open\r\nx", "[ext \\open\r\nx!3]"},  // CR and LF each end a line
      {"\x01--c\x0c" "d", "[comment --c][name d/$]"},  // control bytes end a comment
      {"'''", "[literal ''][literal '!1]"},
      {"\xe9t\xe9", "[sym \xe9][name t/\xe9]"},
  };
  for (const auto& [text, expected] : cases) EXPECT_EQ(tokens(text), expected) << text;
  EXPECT_EQ(tokens("a; 'b' -- c", Lexer::Symbols::skip), "[name a/;][literal 'b'][comment -- c]");
}

}  // namespace mervik::analysis
