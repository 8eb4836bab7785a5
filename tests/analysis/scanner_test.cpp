#include "analysis/scanner.hpp"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "analysis/lexer.hpp"
#include "support/recording.hpp"

namespace mervik::analysis {

// "[name line ...]" per entry, "|c" comments, " w<kind>:<line>" per warning, or the failure.
std::string scan(std::string_view source, std::vector<char>& text) {
  text = std::vector<char>(source.size() + 1);
  source.copy(text.data(), source.size());
  LineIndex lines;
  NameTables names;
  test::RecordingSink listing, sink, report;
  test::RecordingConsole console;
  WarningLog warnings{report, console};
  std::string out;
  names.resetSymbols();
  layoutSource(text.data(), {}, lines, warnings, listing, nullptr, &out);
  warnings.log(0, 0);  // only the scanner's warnings count here
  if (!scanSource(text.data(), lines, names, warnings, sink, Navigation(), &out)) return out;
  for (const NameEntry* e : names.symbolTable.entries()) {
    out += '[' + std::string(e->name);
    for (int line : names.lines(*e)) out += ' ' + std::to_string(line);
    out += ']';
  }
  out += "|c" + std::to_string(std::stoi(sink.lines.at(0)));
  warnings.log(-999, -1);
  for (size_t i = 3; i < report.lines.size() && report.lines[i][5] == 'l'; ++i)  // "     line"
    out += " w" + std::to_string(report.lines[i].substr(18) == WarningLog::text(1)) + ":" +
           std::to_string(std::stoi(report.lines[i].substr(10, 5)));
  return out;
}

TEST(Scanner, RecordsNamesInPlaceWithCommentsAndWarnings) {
  const std::pair<std::string_view, const char*> cases[] = {
      {"ieee.std_logic_1164.all clk'event", "[all 1][clk 1][event 1][ieee 1][std_logic_1164 1]|c0"},
      {"a--b a---b\n-- one\n--\n  -- three -- still three\nx", "[a 1 1][b 1][x 5]|c4"},
      // After ')' an apostrophe opens a literal; each line end it crosses warns at its first line.
      {"s(3 downto 0)'length; -- 'x'\n(others => '0')", "[downto 1][others 2][s 1][x 1]|c0"},
      {"a ''' b\nc 'd'\ns := \"ab\ncd\nef\" & y;", "[a 1][d 2][s 3][y 5]|c0 w0:1 w0:3 w0:3"},
      {"2x 10ns 16#FF# 1.5E-3 y .5 a.5 b X\"FF\" b\"1010\" x\"a b\"", "[a 1][b 1][y 1]|c0"},
      {"x := 5\t-- note here\ny\t-- counted\n", "[here 1][note 1][x 1][y 2]|c1"},
      {"s := \"hi there\" & \"\"\"\" & \"a\\\"b\" c \"d\\\ne\" f", "[c 1][f 2][s 1]|c0"},
      {"_x a$b{c}d caf\xE9 \304BC \xFFx 5\xE9x y", "[_x 1][a$b{c}d 1][bc 1][caf 1][x 1][y 1]|c0"},
      // Extended identifiers keep their bytes; a basic one glued to them keeps its first letter.
      {"\\Bus A\\ <= \\a*b\\ or \\x\\\\y\\;", "[\\Bus A\\ 1][\\a*b\\ 1][\\x\\\\y\\ 1][or 1]|c0"},
      {"\\a\nb\\ ab \\x\\Ab\nab \\y\\z", "[\\a\nb\\ 1][\\x\\ 2][\\y\\ 3][ab 2 2 3][z 3]|c0 w1:1"},
      {"\\w\\X\"0F\" \\x\\'a' \\y\\5 \\z\\--c", "[\\w\\ 1][\\x\\ 1][\\y\\ 1][\\z\\ 1]|c1"},
      // Whatever token the text ends in, nothing past its zero byte is read.
      {"a '", "[a 1]|c0 w0:1"}, {"a'", "[a 1]|c0"}, {"\"abc", "|c0 w0:1"}, {"a -", "[a 1]|c0"},
      {"\"ab\\", "|c0 w0:1"}, {"\\abc", "[\\abc 1]|c0 w1:1"}, {"a \\", "[\\ 1][a 1]|c0 w1:1"},
      {"\\ab\\\\", "[\\ab\\\\ 1]|c0 w1:1"}, {"a --", "[a 1]|c1"}, {"x 12", "[x 1]|c0"},
      {std::string_view("a b\0c -- d\n", 11), "[a 1][b 1]|c0"},  // a zero byte ends the text
      {"SIGNAL Clk : Std_Logic;\nclk CLK b\nclk", "[b 2][clk 1 2 2 3][signal 1][std_logic 1]|c0"},
  };
  std::vector<char> text;
  for (const auto& [source, expected] : cases) EXPECT_EQ(scan(source, text), expected) << source;
  EXPECT_EQ(std::string(text.begin(), text.end()),  // the last row's, folded in place
            std::string("signal\0clk\0: std_logic\0\nclk\0clk\0b\0clk\0", 38));
  setAllocationLimitForTests(1000);  // room for symbolTable, none for 4000 occurrences
  EXPECT_EQ(scan("a b -- c", text), "CAN'T SET occTable");
  setAllocationLimitForTests(0);
}


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
    if (t.kind == TokenKind::basicName)
      out += t.quoted ? "/~" : t.stop ? "/" + std::string(1, t.stop) : "/$";
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
