#include "analysis/scanner.hpp"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

#include "analysis/lexer.hpp"
#include "support/recording.hpp"

namespace mervik::analysis {

TextEncoding encodingOf(std::string_view source) {
  return isUtf8Text(source.data(), source.size()) ? TextEncoding::utf8 : TextEncoding::eightBit;
}

// "[name line ...]" per entry, "|c" comments, " w<kind>:<line>" per warning, or the failure.
// Read as the driver reads it: UTF-8 when it is.
std::string scan(std::string_view source, std::vector<char>& text) {
  text = std::vector<char>(source.size() + 1);
  source.copy(text.data(), source.size());
  const TextEncoding encoding = encodingOf(source);
  LineIndex lines;
  NameTables names;
  test::RecordingSink listing, sink, report;
  test::RecordingConsole console;
  WarningLog warnings{report, console};
  std::string out;
  names.resetSymbols();
  layoutSource(text.data(), source.size(), {4, 100, nullptr, {}, encoding}, lines, warnings,
               listing, nullptr, &out);
  warnings.log(0, 0);  // only the scanner's warnings count here
  if (!scanSource(text.data(), source.size(), encoding, lines, names, warnings, sink,
                  Navigation(), &out)) {
    return out;
  }
  for (const NameEntry* e : names.symbolTable.entries()) {
    out += '[' + std::string(e->name);
    for (int line : names.lines(*e)) out += ' ' + std::to_string(line);
    out += ']';
  }
  out += "|c" + std::to_string(std::stoi(sink.lines.at(0)));
  warnings.log(-999, -1);
  for (size_t i = 3; i < report.lines.size() && report.lines[i][5] == 'l'; ++i) {  // "     line"
    int kind = 0;
    while (report.lines[i].substr(18) != WarningLog::text(kind)) ++kind;
    out += " w" + std::to_string(kind) + ":" + std::to_string(std::stoi(report.lines[i].substr(10, 5)));
  }
  return out;
}

TEST(Scanner, RecordsNamesInPlaceWithCommentsAndWarnings) {
  const std::pair<std::string_view, const char*> cases[] = {
      {"ieee.std_logic_1164.all clk'event", "[all 1][clk 1][event 1][ieee 1][std_logic_1164 1]|c0"},
      // The byte behind a name is the next token's.
      {"a--b a---b\n-- one\n--\n  -- three -- still three\nx", "[a 1][x 5]|c4"},
      {"if (x = '0') then-- if the rest is <0.5\ny", "[if 1][then 1][x 1][y 2]|c1"},
      // Attribute marks behind names, extended names, ')' and ']', not behind reserved words.
      {"v(3 downto 0)'length p.all'high t'(others => '0')\nwhen '1' | 'a' => \\s\\'x",
       "[\\s\\ 2][all 1][downto 1][high 1][length 1][others 1][p 1][t 1][v 1][when 2][x 2]|c0"},
      {"c := '\\'; d := '''; e := '\"'; s := 'ab'", "[ab 1][c 1][d 1][e 1][s 1]|c0 w0:1"},
      // No escape in strings; "" is one quote; a line end ends the string.
      {"s := \"C:\\\" & \"a\"\"b\" & y;\nt := \"open\nu \"x", "[s 1][t 2][u 3][y 1]|c0 w0:2 w0:3"},
      {"\\Bus A\\ <= \\a*b\\ or \\x\\\\y\\;\nz \\open\ny",
       "[\\Bus A\\ 1][\\a*b\\ 1][\\open 2][\\x\\\\y\\ 1][or 1][y 3][z 2]|c0 w1:2"},
      // A name glued to the name before it keeps its first byte.
      {"\\x\\Ab a\\y\\ \\z\\--c", "[\\x\\ 1][\\y\\ 1][\\z\\ 1][a 1][ab 1]|c1"},
      {"31-tag_w 1.5E-3 2_000 16#F.F#E+2 10ns 1e 16#FF 1.x", "[e 1][ff 1][ns 1][tag_w 1][x 1]|c0"},
      {"X\"AB\" 12UX\"F-\" b\"01\" bx\"01\" sx\"1\" D\"12\" 3Eb o\"7\n", "[bx 1][eb 1]|c0 w0:1"},
      {"a /* b\n c */ d /* -- */ f\n/* g\n", "[a 1][d 2][f 2]|c3 w2:3"},
      // Control characters, the zero byte among them, only separate tokens.
      {std::string_view("a\0b\tc\fd\x01--e\x02" "f\ng\r\n", 18), "[a 1][b 1][c 1][d 1][g 2]|c1"},
      // Latin-1 letters, folded; the no-break space and the multiplication sign separate.
      {"\xE9tat caf\xE9 CAF\xC9\xA0x\xD7y", "[\xE9tat 1][caf\xE9 1 1][x 1][y 1]|c0"},
      {"\xC3\xA9tat caf\xC3\xA9 CAF\xC3\x89\xC2\xA0x\xC3\x97y := '\xC3\xA9';",
       "[\xC3\xA9tat 1][caf\xC3\xA9 1 1][x 1][y 1]|c0"},
      {"\xEF\xBB\xBF" "entity e is", "[e 1][entity 1][is 1]|c0"},  // a byte order mark
      {"SIGNAL Clk : Std_Logic;\nclk CLK b\nclk", "[b 2][clk 1 2 2 3][signal 1][std_logic 1]|c0"},
      // Whatever token the text ends in, nothing past its zero byte is read.
      {"a '", "[a 1]|c0"}, {"= '", "|c0 w0:1"}, {"\"abc", "|c0 w0:1"}, {"a -", "[a 1]|c0"},
      {"\\abc", "[\\abc 1]|c0 w1:1"}, {"a \\", "[\\ 1][a 1]|c0 w1:1"}, {"/*/", "|c1 w2:1"},
      {"\\ab\\\\", "[\\ab\\\\ 1]|c0 w1:1"}, {"a --", "[a 1]|c1"}, {"x 12", "[x 1]|c0"},
      {"1.", "|c0"}, {"16#", "|c0"}, {"1E+", "[e 1]|c0"}, {"x\"", "|c0 w0:1"}, {"/", "|c0"},
  };
  std::vector<char> text;
  for (const auto& [source, expected] : cases) EXPECT_EQ(scan(source, text), expected) << source;
  scan("SIGNAL Clk : Std_Logic;\nclk CLK b\nclk", text);
  EXPECT_EQ(std::string(text.begin(), text.end()),  // folded and terminated in place
            std::string("signal\0clk\0: std_logic\0\nclk\0clk\0b\0clk\0", 38));
  setAllocationLimitForTests(1000);  // room for symbolTable, none for 4000 occurrences
  EXPECT_EQ(scan("a b -- c", text), "CAN'T SET occTable");
  setAllocationLimitForTests(0);
}

// "[kind text]" per token, "!" when it draws a warning.
std::string tokens(std::string_view text, Lexer::Symbols symbols = Lexer::Symbols::yield) {
  static const char* const kinds[] = {"comment", "literal", "number", "ext", "name", "sym"};
  const std::string copy(text);
  Lexer lexer(copy.c_str(), copy.size(), encodingOf(text), symbols);
  std::string out;
  Token t;
  while (lexer.next(&t)) {
    out += "[" + std::string(kinds[static_cast<int>(t.kind)]) + " " +
           std::string(t.start, t.length) + (t.unterminated ? "!" : "") + "]";
  }
  return out;
}

TEST(Lexer, ReadsTheTokensOfVhdl) {
  const std::pair<std::string_view, const char*> cases[] = {
      {"s <= a--b;", "[name s][sym <][sym =][name a][comment --b;]"},
      {"clk'event", "[name clk][sym '][name event]"},
      {"(others => '0');", "[sym (][name others][sym =][sym >][literal '0'][sym )][sym ;]"},
      {"s(3)'length", "[name s][sym (][number 3][sym )][sym '][name length]"},
      {"x := 'ab' else'x'", "[name x][sym :][sym =][literal '!][name ab][sym '][name else]"
                            "[literal 'x']"},
      {"X\"0F\" 12UX\"F-\" bx\"1\" 1.5E-3 16#F.F#E2 16#FF 31-w 10ns",
       "[literal X\"0F\"][literal 12UX\"F-\"][name bx][literal \"1\"][number 1.5E-3]"
       "[number 16#F.F#E2][number 16][sym #][name FF][number 31][sym -][name w][number 10]"
       "[name ns]"},
      {"\"C:\\\" \"a\"\"b\" \"c\nd", "[literal \"C:\\\"][literal \"a\"\"b\"][literal \"c!][name d]"},
      {"\\Bus A\\x \\a\\\\b\\ \\o\np", "[ext \\Bus A\\][name x][ext \\a\\\\b\\][ext \\o!][name p]"},
      {"/* a\n*/ /* b", "[comment /* a\n*/][comment /* b!]"},
      {std::string_view("a\x01\0\x0c\xA0" "b\x7f", 7), "[name a][name b][sym \x7f]"},
      {"\xe9t\xe9 \xd7$`", "[name \xe9t\xe9][sym \xd7][sym $][sym `]"},
      {"\xC3\xA9\xC3\x97" "b\xC2\xA0\xE2\x82\xAC", "[name \xC3\xA9][sym \xC3\x97][name b]"
                                                  "[sym \xE2\x82\xAC]"},
  };
  for (const auto& [text, expected] : cases) EXPECT_EQ(tokens(text), expected) << text;
  EXPECT_EQ(tokens("a; 'b' -- c", Lexer::Symbols::skip), "[name a][literal 'b'][comment -- c]");
}

// On byte soup of the characters that matter: the tokens but the symbols are the same whether
// symbols are asked for or not (an apostrophe reads the same), in order, inside the text.
TEST(Lexer, SkipsSymbolsWithoutChangingTheOtherTokensOnRandomText) {
  std::mt19937 rng(23);
  static const char soup[] = "aZ_09#.E+-'\"\\/*()]\n\t\0\xE9\xC3\xA9\xA0;Xbsu ";
  const std::string alphabet(soup, sizeof soup - 1);
  for (int round = 0; round < 3000; ++round) {
    std::string text(rng() % 40, ' ');
    for (char& c : text) c = alphabet[rng() % alphabet.size()];
    const TextEncoding encoding = encodingOf(text);
    Lexer all(text.c_str(), text.size(), encoding, Lexer::Symbols::yield);
    Lexer some(text.c_str(), text.size(), encoding, Lexer::Symbols::skip);
    const char* end = text.c_str();
    for (Token t, u;;) {
      bool more = all.next(&t);
      while (more && t.kind == TokenKind::symbol) more = all.next(&t);
      ASSERT_EQ(more, some.next(&u)) << text;
      if (!more) break;
      ASSERT_EQ(std::make_tuple(t.kind, t.start, t.length, t.unterminated),
                std::make_tuple(u.kind, u.start, u.length, u.unterminated)) << text;
      ASSERT_TRUE(t.start >= end && t.length > 0 && t.start + t.length <= text.c_str() + text.size());
      end = t.start + t.length;
    }
  }
}

}  // namespace mervik::analysis
