#include "analysis/scanner.hpp"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "support/recording.hpp"

namespace mervik::analysis {
namespace {

// What a text looks like once the layout has been over it: control bytes (CR included) turned
// into line feeds, and a line start stored wherever a line begins. The buffer ends exactly
// at the zero byte so that the address sanitizer sees any read past it.
std::vector<char> laidOut(std::string_view source, LineIndex& lines) {
  std::vector<char> text(source.begin(), source.end());
  text.push_back('\0');
  int lineCnt = 0;
  bool inLine = false;
  for (std::size_t i = 0; text[i] != '\0'; ++i) {
    const auto b = static_cast<unsigned char>(text[i]);
    if (b < 0x20 && b != '\t' && b != '\n') {
      text[i] = '\n';
      continue;
    }
    if (!inLine) lines.lineIndex(++lineCnt, &text[i]);
    inLine = b != '\n';
  }
  lines.lineIndex(lineCnt, nullptr);
  return text;
}

// One scan with everything it touches.
struct Scan {
  explicit Scan(std::string_view source) : text(laidOut(source, lines)) {
    names.resetSymbols();
    ok = scanSource(text.data(), lines, names, warnings, sink, &err);
  }

  // "[name line line ...]" per symbolTable entry in table order.
  std::string symbols() {
    std::string out;
    for (const NameEntry* e : names.symbolTable.entries()) {
      out += '[';
      out += e->name;
      for (int o = e->first; o >= 0; o = names.occTable()[o].next) {
        out += ' ' + std::to_string(names.occTable()[o].line);
      }
      out += ']';
    }
    return out;
  }

  // " w<kind>:<line>" per warning, read back from the warning report.
  std::string warningList() {
    std::string out;
    warningReport.lines.clear();
    warnings.log(-999, -1);
    for (const std::string& l : warningReport.lines) {
      const auto colon = l.find(" : ");
      if (l.rfind("     line ", 0) != 0 || colon == std::string::npos) continue;
      const std::string said = l.substr(colon + 3);
      const int kind = said == WarningLog::text(0) ? 0 : said == WarningLog::text(1) ? 1 : 9;
      out += " w" + std::to_string(kind) + ":" + std::to_string(std::stoi(l.substr(10, 5)));
    }
    return out;
  }

  // Names, then "|c" and the comment count, then the warnings.
  std::string result() {
    std::string comments = "?";
    if (sink.lines.size() == 1) comments = std::to_string(std::stoi(sink.lines[0]));
    return symbols() + "|c" + comments + warningList();
  }

  LineIndex lines;
  std::vector<char> text;
  NameTables names;
  test::RecordingSink sink;
  test::RecordingSink warningReport;
  test::RecordingConsole console;
  WarningLog warnings{warningReport, console};
  std::string err;
  bool ok = false;
};

struct Case {
  const char* source;
  const char* expected;
};

void expectScans(const std::vector<Case>& cases) {
  for (const Case& c : cases) {
    Scan scan(c.source);
    EXPECT_TRUE(scan.ok) << c.source;
    EXPECT_EQ(c.expected, scan.result()) << "source: " << c.source;
  }
}

TEST(Scanner, RecognisesTheTokensThatHideNames) {
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
  });
}

TEST(Scanner, RecordsNamesAsFoldedInPlace) {
  expectScans({
      {"SIGNAL Clk : Std_Logic;", "[clk 1][signal 1][std_logic 1]|c0"},
      {"end e", "[e 1][end 1]|c0"},
      {"x\n\n y\n", "[x 1][y 3]|c0"},
      {"a a\nA b a", "[a 1 1 2 2][b 2]|c0"},
      {"_x x_1 a$b{c}d@e", "[_x 1][a$b{c}d@e 1][x_1 1]|c0"},
      // CR LF: the layout's second line feed changes no line number.
      {"SIGNAL Clk;\r\nclk <= '1';\r\n", "[clk 1 2][signal 1]|c0"},
  });
}

TEST(Scanner, KeepsExtendedIdentifiersAsWritten) {
  expectScans({
      {"\\Bus A\\ <= \\a*b\\ or \\x\\\\y\\;", "[\\Bus A\\ 1][\\a*b\\ 1][\\x\\\\y\\ 1][or 1]|c0"},
      {"\\ab\ncd\\ x", "[\\ab\ncd\\ 1][x 2]|c0 w1:1"},
      {"\\a'b\\ \\--\\ \\\"\\", "[\\\"\\ 1][\\--\\ 1][\\a'b\\ 1]|c0"},
  });
}

// A basic identifier glued to a closing backslash keeps its first letter.
TEST(Scanner, RecordsANameGluedToAnExtendedIdentifierWhole) {
  expectScans({
      {"\\Ext\\abc;", "[\\Ext\\ 1][abc 1]|c0"},
      {"\\x\\ABC", "[\\x\\ 1][abc 1]|c0"},
      {"\\x\\a", "[\\x\\ 1][a 1]|c0"},
      {"\\x\\_1.b", "[\\x\\ 1][_1 1][b 1]|c0"},
      {"abc \\x\\Abc\nabc", "[\\x\\ 1][abc 1 1 2]|c0"},
      {"\\x\\X\"0F\" y", "[\\x\\ 1][y 1]|c0"},
      {"\\x\\\n\\y\\z", "[\\x\\ 1][\\y\\ 2][z 2]|c0"},
      // The other tokens that can follow read only behind the terminator's place.
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
      {"-", "|c0"},
      {"a --", "[a 1]|c1"},
      {"x 12", "[x 1]|c0"},
      {"x .", "[x 1]|c0"},
      {".5", "|c0"},
      {"_", "[_ 1]|c0"},
      {"\n\n\n", "|c0"},
  });
}

TEST(Scanner, WarnsForEveryLineEndALiteralCrosses) {
  expectScans({
      // CR LF: the CR became a line feed, so each line end counts twice.
      {"a <= \"x;\r\nb\r\nc", "[a 1]|c0 w0:1 w0:1 w0:1 w0:1 w0:1"},
      {"x\ns := \"ab\ncd\" & y;", "[s 2][x 1][y 3]|c0 w0:2"},
      {"\\a\n\nb", "[\\a\n\nb 1]|c0 w1:1 w1:1 w1:1"},
  });
}

TEST(Scanner, TreatsHighBytesAsNeitherLettersNorDigits) {
  expectScans({
      {"caf\xE9 \xC4"
       "BC \xFFx",
       "[bc 1][caf 1][x 1]|c0"},
      {"5\xE9x y", "[y 1]|c0"},
      {"\\\xE9t\xE9\\", "[\\\xE9t\xE9\\ 1]|c0"},
  });
}

TEST(Scanner, TerminatesAndFoldsInsideTheBuffer) {
  Scan scan("SIGNAL Clk;\n-- c\n");
  ASSERT_TRUE(scan.ok);
  EXPECT_EQ(std::string_view("signal\0clk\0\n-- c\n", 17),
            std::string_view(scan.text.data(), scan.text.size() - 1));
  for (const NameEntry* e : scan.names.symbolTable.entries()) {
    EXPECT_TRUE(e->name >= scan.text.data() && e->name < scan.text.data() + scan.text.size());
  }
  EXPECT_EQ("     1 comments\n", scan.sink.joined());
  EXPECT_EQ("     0 comments\n", Scan("x").sink.joined());
}

std::string manyNames(int count) {
  std::string text;
  for (int i = 0; i < count; ++i) text += "n" + std::to_string(i) + "\n";
  return text;
}

TEST(Scanner, StopsWhenTheNameTablesCannotGrow) {
  setAllocationLimitForTests(1000);  // room for symbolTable, none for 4000 occurrences
  Scan noOccurrences("a b -- c");
  setAllocationLimitForTests(4000);  // symbolTable grows 1000, 1500, 2250, 3375, not 5062
  Scan noSymbols(manyNames(3376));
  setAllocationLimitForTests(0);
  EXPECT_FALSE(noOccurrences.ok);
  EXPECT_EQ("CAN'T SET occTable", noOccurrences.err);
  EXPECT_EQ("", noOccurrences.sink.joined());
  EXPECT_FALSE(noSymbols.ok);
  EXPECT_EQ("CAN'T SET table->symbol", noSymbols.err);
  EXPECT_EQ(3375, noSymbols.names.occCnt());
  EXPECT_TRUE(Scan(manyNames(3376)).ok);
}

// Properties every scan keeps, whatever the bytes.
void expectSound(Scan& scan, const std::string& source) {
  ASSERT_TRUE(scan.ok) << source;
  ASSERT_EQ(1u, scan.sink.lines.size());
  const int lineCnt = scan.lines.lStartCnt();
  for (const NameEntry* e : scan.names.symbolTable.entries()) {
    const std::string_view name(e->name);
    ASSERT_FALSE(name.empty()) << source;
    if (name[0] != '\\') {
      for (char c : name) {
        const auto b = static_cast<unsigned char>(c);
        ASSERT_TRUE(b > 0x20 && b < 0x80 && std::string_view("'+-*/&!~^<=>()[]|;,:?%.").find(c) ==
                    std::string_view::npos && !(c >= 'A' && c <= 'Z'))
            << source;
      }
    }
    for (int o = e->first; o >= 0; o = scan.names.occTable()[o].next) {
      const int line = scan.names.occTable()[o].line;
      ASSERT_TRUE(line >= 1 && line <= lineCnt) << source;
    }
  }
}

TEST(Scanner, SurvivesRandomBytes) {
  std::mt19937 random(20240611);
  const std::string_view vhdlish = "aZ_x9.5'\"\\--\n\n\t *(#&;e\r";
  for (int round = 0; round < 4000; ++round) {
    std::string source(random() % 120, ' ');
    for (char& c : source) {
      c = round % 2 == 0 ? static_cast<char>(random() % 256)
                         : vhdlish[random() % vhdlish.size()];
    }
    source.resize(source.find('\0') == std::string::npos ? source.size() : source.find('\0'));
    Scan scan(source);
    expectSound(scan, source);
  }
}

}  // namespace
}  // namespace mervik::analysis
