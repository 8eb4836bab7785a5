#include "analysis/scanner.hpp"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "support/recording.hpp"

namespace mervik::analysis {
namespace {

// One source laid out and scanned as the driver does it. The buffer ends exactly at the zero
// byte, so that the address sanitizer sees any read past it.
struct Scan {
  explicit Scan(std::string_view source) : text(source.begin(), source.end()) {
    text.push_back('\0');
    names.resetSymbols();
    layoutSource(text.data(), LayoutSettings{}, lines, warnings, listing, nullptr, &err);
    warnings.log(0, 0);  // only the scanner's warnings count here
    ok = scanSource(text.data(), lines, names, warnings, sink, &err);
  }

  // "[name line ...]" per symbolTable entry, "|c" and the comment count, " w<kind>:<line>" each.
  std::string result() {
    std::string out;
    for (const NameEntry* e : names.symbolTable.entries()) {
      out += '[' + std::string(e->name);
      for (int o = e->first; o >= 0; o = names.occTable()[o].next)
        out += ' ' + std::to_string(names.occTable()[o].line);
      out += ']';
    }
    out += "|c" + (sink.lines.size() == 1 ? std::to_string(std::stoi(sink.lines[0])) : "?");
    warnings.log(-999, -1);
    for (const std::string& l : report.lines) {
      if (l.rfind("     line ", 0) != 0) continue;
      const std::string said = l.substr(18);  // after "     line %5d : "
      const int kind = said == WarningLog::text(0) ? 0 : said == WarningLog::text(1) ? 1 : 9;
      out += " w" + std::to_string(kind) + ":" + std::to_string(std::stoi(l.substr(10, 5)));
    }
    return out;
  }

  std::vector<char> text;
  LineIndex lines;
  NameTables names;
  test::RecordingSink sink, report, listing;
  test::RecordingConsole console;
  WarningLog warnings{report, console};
  std::string err;
  bool ok = false;
};

void expectScans(const std::vector<std::pair<const char*, const char*>>& cases) {
  for (const auto& [source, expected] : cases) {
    Scan scan(source);
    EXPECT_TRUE(scan.ok) << source;
    EXPECT_EQ(expected, scan.result()) << "source: " << source;
  }
}

TEST(Scanner, RecordsNamesCommentsAndWarnings) {
  expectScans({
      // The consumed stop byte: attributes and selected names.
      {"clk'event", "[clk 1][event 1]|c0"},
      {"use ieee.std_logic_1164.all;", "[all 1][ieee 1][std_logic_1164 1][use 1]|c0"},
      {"a--b", "[a 1][b 1]|c0"},
      {"a---b\nc", "[a 1][c 2]|c1"},
      // After ')' the apostrophe opens a literal that runs to the next apostrophe.
      {"n := s(3 downto 0)'length; -- 'x'\n", "[downto 1][n 1][s 1][x 1]|c0"},
      {"q <= (others => '0');", "[others 1][q 1]|c0"},
      // An empty literal, then one running over a line end up to the apostrophe before d.
      {"a ''' b\nc 'd'", "[a 1][d 2]|c0 w0:1"},
      {"2x 10ns 16#FF# 1.5E-3 y", "[y 1]|c0"},
      // A tab after a number does not stop it; after a name it does.
      {"x := 5\t-- note here\ny\t-- counted\n", "[here 1][note 1][x 1][y 2]|c1"},
      {".5 a.5 b", "[a 1][b 1]|c0"},
      {"v := X\"FF\" & b\"1010\" & O\"17\" & x\"ab cd\";", "[v 1]|c0"},
      {"s := \"hello world\" & \"\"\"\" & ok", "[ok 1][s 1]|c0"},
      {"s := \"a\\\"b\" c \"d\\\ne\" f", "[c 1][f 2][s 1]|c0"},
      {"-- one\n--\n  -- three -- still three\nx", "[x 4]|c3"},
      {"SIGNAL Clk : Std_Logic;", "[clk 1][signal 1][std_logic 1]|c0"},
      {"end e", "[e 1][end 1]|c0"},
      {"x\n\n y\n", "[x 1][y 3]|c0"},
      {"a a\nA b a", "[a 1 1 2 2][b 2]|c0"},
      {"_x x_1 a$b{c}d@e", "[_x 1][a$b{c}d@e 1][x_1 1]|c0"},
      // CR LF: the CR became a line feed, which counts for a literal but not for line numbers.
      {"SIGNAL Clk;\r\nclk <= '1';\r\n", "[clk 1 2][signal 1]|c0"},
      {"a <= \"x;\r\nb\r\nc", "[a 1]|c0 w0:1 w0:1 w0:1 w0:1 w0:1"},
      {"x\ns := \"ab\ncd\" & y;", "[s 2][x 1][y 3]|c0 w0:2"},
      {"caf\xE9 \304BC \xFFx", "[bc 1][caf 1][x 1]|c0"},
      {"5\xE9x y", "[y 1]|c0"},
  });
}

TEST(Scanner, KeepsExtendedIdentifiersAsWritten) {
  expectScans({
      {"\\Bus A\\ <= \\a*b\\ or \\x\\\\y\\;", "[\\Bus A\\ 1][\\a*b\\ 1][\\x\\\\y\\ 1][or 1]|c0"},
      {"\\ab\ncd\\ x", "[\\ab\ncd\\ 1][x 2]|c0 w1:1"},
      {"\\a'b\\ \\--\\ \\\"\\", "[\\\"\\ 1][\\--\\ 1][\\a'b\\ 1]|c0"},
      {"\\a\n\nb", "[\\a\n\nb 1]|c0 w1:1 w1:1 w1:1"},
      {"\\\xE9t\xE9\\", "[\\\xE9t\xE9\\ 1]|c0"},
      // A basic identifier glued to the closing backslash keeps its first letter.
      {"\\Ext\\abc;", "[\\Ext\\ 1][abc 1]|c0"},
      {"\\x\\a", "[\\x\\ 1][a 1]|c0"},
      {"abc \\x\\Abc\nabc", "[\\x\\ 1][abc 1 1 2]|c0"},
      {"\\x\\X\"0F\" y", "[\\x\\ 1][y 1]|c0"},
      {"\\x\\\n\\y\\z", "[\\x\\ 1][\\y\\ 2][z 2]|c0"},
      {"\\x\\'a' \\y\\5 \\z\\--c", "[\\x\\ 1][\\y\\ 1][\\z\\ 1]|c1"},
  });
}

TEST(Scanner, EndsCleanlyInsideAnyToken) {
  expectScans({
      {"x 'a", "[x 1]|c0 w0:1"},
      {"a '", "[a 1]|c0 w0:1"},
      {"a'", "[a 1]|c0"},
      {"\"abc", "|c0 w0:1"},
      {"\"ab\\", "|c0 w0:1"},
      {"\\abc", "[\\abc 1]|c0 w1:1"},
      {"a \\", "[\\ 1][a 1]|c0 w1:1"},
      {"\\\\", "[\\\\ 1]|c0"},
      {"\\ab\\\\", "[\\ab\\\\ 1]|c0 w1:1"},
      {"a -", "[a 1]|c0"},
      {"a --", "[a 1]|c1"},
      {"x 12", "[x 1]|c0"},
      {"x .", "[x 1]|c0"},
      {"_", "[_ 1]|c0"},
      {"\n\n\n", "|c0"},
  });
}

TEST(Scanner, TerminatesAndFoldsInsideTheBuffer) {
  Scan scan("SIGNAL Clk;\n-- c\n");
  EXPECT_EQ(std::string_view("signal\0clk\0\n-- c\n", 17),
            std::string_view(scan.text.data(), scan.text.size() - 1));
  for (const NameEntry* e : scan.names.symbolTable.entries())
    EXPECT_TRUE(e->name >= scan.text.data() && e->name < scan.text.data() + scan.text.size());
  EXPECT_EQ("     1 comments\n", scan.sink.joined());
}

TEST(Scanner, StopsWhenTheNameTablesCannotGrow) {
  std::string many;
  for (int i = 0; i < 3376; ++i) many += "n" + std::to_string(i) + "\n";
  setAllocationLimitForTests(1000);  // room for symbolTable, none for 4000 occurrences
  Scan noOcc("a b -- c");
  setAllocationLimitForTests(4000);  // symbolTable grows 1000, 1500, 2250, 3375, not 5062
  Scan noSym(many);
  setAllocationLimitForTests(0);
  EXPECT_EQ(noOcc.err + (noOcc.ok ? " ok" : "") + noOcc.sink.joined(), "CAN'T SET occTable");
  EXPECT_EQ(noSym.err + (noSym.ok ? " ok " : " ") + std::to_string(noSym.names.occCnt()),
            "CAN'T SET table->symbol 3375");
  EXPECT_TRUE(Scan(many).ok);
}

// Whatever the bytes: no read past the zero byte (the sanitizer watches), basic names without
// stop bytes or capitals, every occurrence on a line of the text.
TEST(Scanner, SurvivesRandomBytes) {
  std::mt19937 random(20240611);
  const std::string_view vhdlish = "aZ_x9.5'\"\\--\n\n\t *(#&;e\r";
  const std::string_view stops = "'+-*/&!~^<=>()[]|;,:?%.";
  for (int round = 0; round < 2000; ++round) {
    std::string source(random() % 120, ' ');
    for (char& c : source)
      c = round % 2 ? vhdlish[random() % vhdlish.size()] : static_cast<char>(random() % 255 + 1);
    Scan scan(source);
    ASSERT_TRUE(scan.ok && scan.sink.lines.size() == 1) << source;
    for (const NameEntry* e : scan.names.symbolTable.entries()) {
      const std::string_view name(e->name);
      ASSERT_FALSE(name.empty()) << source;
      for (char c : name[0] == '\\' ? std::string_view() : name)
        ASSERT_TRUE(c > ' ' && c <= '\x7F' && (c < 'A' || c > 'Z') && stops.find(c) == stops.npos)
            << source;
      const std::vector<Occurrence>& occ = scan.names.occTable();
      for (int o = e->first; o >= 0; o = occ[o].next)
        ASSERT_TRUE(occ[o].line >= 1 && occ[o].line <= scan.lines.lStartCnt()) << source;
    }
  }
}

}  // namespace
}  // namespace mervik::analysis
