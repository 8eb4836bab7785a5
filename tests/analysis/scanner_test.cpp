#include "analysis/scanner.hpp"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "support/recording.hpp"

namespace mervik::analysis {
namespace {

// One source laid out and scanned as the driver does it.
struct Scan {
  // The buffer ends exactly at the zero byte: the sanitizer sees any read past it.
  explicit Scan(std::string_view source) : text(source.size() + 1) {
    source.copy(text.data(), source.size());
    names.resetSymbols();
    layoutSource(text.data(), LayoutSettings{}, lines, warnings, listing, nullptr, &err);
    warnings.log(0, 0);  // only the scanner's warnings count here
    ok = scanSource(text.data(), lines, names, warnings, sink, &err);
  }

  // "[name line ...]" per symbolTable entry, "|c" and the comment count, then " w<kind>:<line>"
  // per warning, kind 0 a literal, 1 an extended identifier.
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
    for (size_t i = 3; i < report.lines.size(); ++i)  // "     line %5d : <text>" after the head
      out += " w" + std::to_string(report.lines[i].substr(18) == WarningLog::text(1)) + ":" +
             std::to_string(std::stoi(report.lines[i].substr(10, 5)));
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

TEST(Scanner, RecordsNamesInPlaceWithCommentsAndWarnings) {
  const std::pair<std::string_view, const char*> cases[] = {
      // The consumed stop byte: attributes, selected names, "--" right after a name.
      {"ieee.std_logic_1164.all clk'event", "[all 1][clk 1][event 1][ieee 1][std_logic_1164 1]|c0"},
      {"a--b a---b\n-- one\n--\n  -- three -- still three\nx", "[a 1 1][b 1][x 5]|c4"},
      // After ')' the apostrophe opens a literal that runs to the next apostrophe.
      {"s(3 downto 0)'length; -- 'x'\n(others => '0')", "[downto 1][others 2][s 1][x 1]|c0"},
      // An empty literal, then one running over a line end; a warning gives the starting line.
      {"a ''' b\nc 'd'\ns := \"ab\ncd\" & y;", "[a 1][d 2][s 3][y 4]|c0 w0:1 w0:3"},
      {"2x 10ns 16#FF# 1.5E-3 y .5 a.5 b X\"FF\" b\"1010\" x\"a b\"", "[a 1][b 1][y 1]|c0"},
      // A tab after a number does not stop it; after a name it does.
      {"x := 5\t-- note here\ny\t-- counted\n", "[here 1][note 1][x 1][y 2]|c1"},
      {"s := \"hi there\" & \"\"\"\" & \"a\\\"b\" c \"d\\\ne\" f", "[c 1][f 2][s 1]|c0"},
      {"SIGNAL Clk : Std_Logic;\nclk CLK b\nclk", "[b 2][clk 1 2 2 3][signal 1][std_logic 1]|c0"},
      // CR LF: the CR became a line feed, which counts for a literal but not for line numbers.
      {"SIGNAL Clk;\r\nclk <= \"x;\r\nb\r\nc", "[clk 1 2][signal 1]|c0 w0:2 w0:2 w0:2 w0:2 w0:2"},
      {"_x x_1 a$b{c}d@e caf\xE9 \304BC \xFFx 5\xE9x y",
       "[_x 1][a$b{c}d@e 1][bc 1][caf 1][x 1][x_1 1][y 1]|c0"},
      // Extended identifiers keep their bytes; a basic one glued to them keeps its first letter.
      {"\\Bus A\\ <= \\a*b\\ or \\x\\\\y\\;", "[\\Bus A\\ 1][\\a*b\\ 1][\\x\\\\y\\ 1][or 1]|c0"},
      {"\\a'b\\ \\--\\ \\\"\\ \\\xE9\\", "[\\\xE9\\ 1][\\\"\\ 1][\\--\\ 1][\\a'b\\ 1]|c0"},
      {"\\a\nb\\ ab \\x\\Ab\nab \\y\\z", "[\\a\nb\\ 1][\\x\\ 2][\\y\\ 3][ab 2 2 3][z 3]|c0 w1:1"},
      {"\\w\\X\"0F\" \\x\\'a' \\y\\5 \\z\\--c", "[\\w\\ 1][\\x\\ 1][\\y\\ 1][\\z\\ 1]|c1"},
      // Whatever token the text ends in, nothing past its zero byte is read.
      {"a '", "[a 1]|c0 w0:1"},
      {"a'", "[a 1]|c0"},
      {"\"abc", "|c0 w0:1"},
      {"\"ab\\", "|c0 w0:1"},
      {"\\abc", "[\\abc 1]|c0 w1:1"},
      {"a \\", "[\\ 1][a 1]|c0 w1:1"},
      {"\\ab\\\\", "[\\ab\\\\ 1]|c0 w1:1"},
      {"a -", "[a 1]|c0"},
      {"a --", "[a 1]|c1"},
      {"x 12", "[x 1]|c0"},
      {std::string_view("a b\0c -- d\n", 11), "[a 1][b 1]|c0"},
  };
  for (const auto& [source, expected] : cases) {
    Scan scan(source);
    EXPECT_EQ(scan.ok ? scan.result() : scan.err, expected) << "source: " << source;
  }
  Scan scan("SIGNAL Clk;\n-- c\n");  // names are terminated and folded inside the buffer
  EXPECT_EQ(std::string_view(scan.text.data(), 18), std::string_view("signal\0clk\0\n-- c\n", 18));
}

TEST(Scanner, StopsWhenTheNameTablesCannotGrow) {
  std::string many;
  for (int i = 0; i < 3376; ++i) many += "n" + std::to_string(i) + "\n";
  setAllocationLimitForTests(1000);  // room for symbolTable, none for 4000 occurrences
  Scan noOcc("a b -- c");
  setAllocationLimitForTests(4000);  // symbolTable grows 1000, 1500, 2250, 3375, not 5062
  Scan noSym(many);
  setAllocationLimitForTests(0);
  EXPECT_EQ(noOcc.err + " " + std::to_string(noOcc.ok) + noOcc.sink.joined() + " / " + noSym.err +
                " " + std::to_string(noSym.ok) + " " + std::to_string(noSym.names.occCnt()),
            "CAN'T SET occTable 0 / CAN'T SET table->symbol 0 3375");
}

// Whatever the bytes: no read past the zero byte, basic names without stop bytes or capitals.
TEST(Scanner, SurvivesRandomBytes) {
  std::mt19937 rng(20240611);
  const char vhdlish[] = "aZ_x9.5'\"\\--\n\n\t *(#&;e\r", stops[] = "'+-*/&!~^<=>()[]|;,:?%.";
  for (int round = 0; round < 2000; ++round) {
    std::string source(rng() % 120, ' ');
    for (char& c : source)
      c = round % 2 ? vhdlish[rng() % (sizeof vhdlish - 1)] : static_cast<char>(rng() % 255 + 1);
    Scan scan(source);
    ASSERT_TRUE(scan.ok && scan.sink.lines.size() == 1) << source;
    for (const NameEntry* e : scan.names.symbolTable.entries()) {
      ASSERT_NE(*e->name, '\0') << source;
      for (const char* c = e->name; *e->name != '\\' && *c != '\0'; ++c)
        ASSERT_TRUE(*c > ' ' && *c <= '\x7F' && (*c < 'A' || *c > 'Z') && !std::strchr(stops, *c))
            << source;
    }
  }
}

}  // namespace
}  // namespace mervik::analysis
