#include "config/resource.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "support/recording.hpp"

namespace mervik::config {
namespace {

/// One resource step as the driver runs it: on `file` (bytes and a zero byte appended), or on
/// no file when `file` is empty; the default table follows a success.
struct Step {
  test::RecordingConsole console;
  Settings settings;
  analysis::NameTables names;
  ResourceTables tables;
  std::unique_ptr<ResourceReader> reader;
  std::string err;
  bool ok = false;

  explicit Step(const std::string& file) {
    std::vector<char> text(file.begin(), file.end());
    if (!file.empty()) text.push_back('\0');
    ok = resourceStep(std::move(text), &reader, settings, names, tables, console, &err);
    if (ok) tables.addDefaultTable(console);
  }
  /// The console text, "\n=> ", then the outcome, settings, tables and both name tables.
  std::string describe() {
    std::string out = console.text() + "\n=> " + (ok ? "ok" : err);
    out += "; tab " + std::to_string(settings.tabWidth) + ", line " +
           std::to_string(settings.lineWidth);
    out += settings.landscape ? ", landscape; tables" : ", portrait; tables";
    for (int i = 0; i < tables.rscTableCnt; ++i)
      out += std::string(" ") + tables.rscTable[i].name + ":" +
             std::to_string(tables.rscTable[i].flags);
    out += "; default " + std::to_string(tables.defaultTable) + ";";
    for (analysis::NameTable* table : {&names.exactTable, &names.wildTable}) {
      out += table == &names.exactTable ? " exact" : "; wild";
      for (const analysis::NameEntry* entry : table->entries())
        out += std::string(" ") + entry->name + ":" + std::to_string(entry->tableNo);
    }
    return out;
  }
};

const std::string loading = "\n\nLoading resource file";
const std::string tablesEcho = "\n.. tables ";
const std::string defaultEcho = "\n   SYMBOL TABLE (default)";
const std::string defaults = "; tab 4, line 100, portrait";
const std::string onlyDefault = "; tables SYMBOL TABLE:3; default 0; exact; wild";

TEST(ResourceStep, DesignExampleGivesItsConsoleSettingsTablesAndNames) {
  Step step(
      "Listing set-up for the controller sources\n/TITLE\nTraffic light controller\n"
      "/FORMAT\n3\n-120\n//KEYWORDS\nentity\narchitecture\nprocess\nbegin\nend\n"
      "//Standard types\nSTD_LOGIC\nstd_logic_vector\ninteger\n//-Libraries\nieee\n"
      "work\n//Conversions\nto_*\nconv_*int\n");
  EXPECT_EQ(step.describe(),
            "\n\nLoading resource file  :  Traffic light controller\n.. format\n.. tables \n"
            "   KEYWORDS\n   Standard types\n   Libraries\n   Conversions\n"
            "   WARNING - EXTRA CHARACTERS:  conv_*int\n   SYMBOL TABLE (default)\n"
            "=> ok; tab 3, line 126, landscape; tables KEYWORDS:1 Standard types:1 Libraries:0 "
            "Conversions:1 SYMBOL TABLE:3; default 4; exact architecture:0 begin:0 end:0 "
            "entity:0 ieee:-1 integer:1 process:0 std_logic:1 std_logic_vector:1 work:-1; "
            "wild conv_*int:3 to_*:3");
  std::string headings;  // as the cross-reference reads them
  for (const auto& heading : step.tables.headings())
    headings += std::string(heading.title) + (heading.listed ? "+ " : "- ");
  EXPECT_EQ(headings, "KEYWORDS+ Standard types+ Libraries- Conversions+ SYMBOL TABLE+ ");
}

TEST(ResourceStep, EdgeCases) {
  const std::string withA = loading + tablesEcho + "\n   A" + defaultEcho;
  const std::string format = loading + "\n.. format" + tablesEcho + defaultEcho;
  const std::string tableA = "; tables A:1 SYMBOL TABLE:3; default 1; ";
  const std::string cases[][3] = {
      {"", "\n\nNo resource file" + defaultEcho, "ok" + defaults + onlyDefault},
      {std::string("\0", 1), loading + tablesEcho + defaultEcho, "ok" + defaults + onlyDefault},
      {"/TITLE\n/FORMAT\n8\n0\n", format, "ok; tab 8, line 6, portrait" + onlyDefault},
      {"/FORMAT\n4\n-100\n", format, "ok; tab 4, line 106, landscape" + onlyDefault},
      {"/FORMAT\n2\n//A\nx\n", loading + "\n.. format" + tablesEcho + "\n   A" + defaultEcho,
       "ok; tab 2, line 100, portrait" + tableA + "exact x:0; wild"},
      {"/FORMATxyz\n5\n-7\n", format, "ok; tab 5, line 13, landscape" + onlyDefault},
      {"//-\nName\n", loading + tablesEcho + "\n   " + defaultEcho,
       "ok" + defaults + "; tables :0 SYMBOL TABLE:3; default 1; exact name:-1; wild"},
      {"//A\n  //b\n \t//C*\n", withA, "ok" + defaults + tableA + "exact //b:0; wild //c*:0"},
      {"/FORMAT\nabc\n  +12abc\n", format, "ok; tab 0, line 18, portrait" + onlyDefault},
      {"/FORMAT\n99999999999\n-2147483648\n", format,
       "ok; tab 2147483647, line 2147483647, landscape" + onlyDefault},
      {"//Only", loading + tablesEcho + "\n   Only" + defaultEcho,
       "ok" + defaults + "; tables Only:1 SYMBOL TABLE:3; default 1; exact; wild"},
      {"/TITLE\rCR title\r/FORMAT\r2\r-10\r//A\rB\r",
       loading + "  :  CR title\n.. format" + tablesEcho + "\n   A" + defaultEcho,
       "ok; tab 2, line 16, landscape" + tableA + "exact b:0; wild"},
      {"/TITLE\n \t \n\t\n\t Hello  world \t \r\n",
       loading + "  :  Hello  world" + tablesEcho + defaultEcho, "ok" + defaults + onlyDefault},
      {"x\n/FORMAT\n1\n/OTHER\ny\n/TITLE\nOne\n//A\nz\n/TITLE\nTwo\n/FORMAT\n9\n",
       loading + "  :  One\n.. format" + tablesEcho + "\n   A" + defaultEcho,  // first ones count
       "ok; tab 1, line 100, portrait" + tableA + "exact z:0; wild"},
      {"//A\nx\n//B\nX\n//-C\ny\n//D\nY\n//E\nto_*\nto_int*\n",  // the last declaration wins
       loading + tablesEcho + "\n   A\n   B\n   C\n   D\n   E" + defaultEcho,
       "ok; tab 4, line 100, portrait; tables A:1 B:1 C:0 D:1 E:1 SYMBOL TABLE:3; default 5; "
       "exact x:1 y:3; wild to_*:4"},
      {"//A\nStd_Logic\n\xC4Q\xE9\nfoo BAR\n", withA,  // only A to Z fold; blanks inside stay
       "ok" + defaults + tableA + "exact \xC4q\xE9:0 foo bar:0 std_logic:0; wild"},
      {"//W\nab*\nCD*E \n",
       loading + tablesEcho + "\n   W\n   WARNING - EXTRA CHARACTERS:  cd*e" + defaultEcho,
       "ok" + defaults + "; tables W:1 SYMBOL TABLE:3; default 1; exact; wild ab*:0 cd*e:0"},
      {std::string("//A\nx\n\0//B\ny\n", 13), withA, "ok" + defaults + tableA + "exact x:0; wild"},
  };
  for (const auto& [file, console, state] : cases)
    EXPECT_EQ(Step(file).describe(), console + "\n=> " + state) << file;
}

std::string tableSections(int n) {
  std::string file = "/TITLE\nMany\n";
  for (int i = 0; i < n; ++i) file += "//T" + std::to_string(i) + "\nn" + std::to_string(i) + "\n";
  return file;
}

TEST(ResourceStep, NineteenTableSectionsFitTheTwentiethIsReadThenRefused) {
  const std::string nineteen = Step(tableSections(19)).describe();
  EXPECT_NE(nineteen.find(" T18:1 SYMBOL TABLE:3; default 19; "), std::string::npos);
  for (int count : {20, 21}) {  // the twentieth takes the last slot; a 21st is not read
    Step step(tableSections(count));
    const std::string all = step.describe();
    EXPECT_NE(all.find("\n   T19\n=> TOO MANY RESOURCE TABLES;"), std::string::npos) << all;
    EXPECT_NE(all.find(" T19:1; default 0; exact n0:0 n1:1 n10:10"), std::string::npos) << all;
    EXPECT_EQ(step.names.exactTable.symbolCnt(), 20);
    EXPECT_EQ(step.tables.addTable("extra", true, step.console), -1);  // a full list takes no more
    step.tables.addDefaultTable(step.console);
    EXPECT_EQ(step.tables.rscTableCnt, ResourceTables::rscTableMax);
  }
}

TEST(ResourceStep, MegabyteLinesAreReadWhole) {
  const std::string longName(1 << 20, 'N');
  EXPECT_EQ(Step("/TITLE\n" + longName).console.text(),
            loading + "  :  " + longName + tablesEcho + defaultEcho);
  const std::string wild = Step("//Long\n" + longName + "*x\n").describe();
  const std::string tail = "; wild " + std::string(1 << 20, 'n') + "*x:0";
  EXPECT_EQ(wild.substr(wild.size() - tail.size()), tail);
  EXPECT_EQ(Step(longName).describe(),  // one line and no section: loaded, nothing found
            loading + tablesEcho + defaultEcho + "\n=> ok" + defaults + onlyDefault);
}

TEST(ResourceStep, ShippedResourceFileLoadsCleanly) {
  std::ifstream in(MERVIK_SOURCE_DIR "/examples/mervik.rsc", std::ios::binary);
  ASSERT_TRUE(in) << "examples/mervik.rsc";
  const std::string file{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  Step step(file);
  const std::string all = step.describe();
  EXPECT_EQ(all.substr(0, all.find("; exact")),
            "\n\nLoading resource file  :  VHDL listing\n.. format\n.. tables \n"
            "   Reserved words\n   Standard types\n   Conversions\n   Text I/O\n   Libraries\n"
            "   SYMBOL TABLE (default)\n=> ok; tab 4, line 100, portrait; tables Reserved words:1 "
            "Standard types:1 Conversions:1 Text I/O:1 Libraries:0 SYMBOL TABLE:3; default 5");
  // No name is declared twice, so no class silently takes a name from another.
  std::istringstream lines(file.substr(file.find("\n//") + 1));
  int nameLines = 0;
  for (std::string line; std::getline(lines, line);) nameLines += !line.empty() && line[0] != '/';
  EXPECT_EQ(step.names.exactTable.symbolCnt() + step.names.wildTable.symbolCnt(), nameLines);
  for (const char* entry : {" entity:0 ", " std_logic_vector:1 ", " rising_edge:2 ", " readline:3 ",
                            " ieee:-1 ", " to_*:2"})
    EXPECT_NE(all.find(entry), std::string::npos) << entry;
}

TEST(ResourceStep, NoStorageForTheNameTablesFails) {
  std::string file = "//Many\n";
  for (int i = 0; i <= 1000; ++i) file += "n" + std::to_string(i) + "\n";
  for (const std::int64_t limit : {500, 1000}) {  // before and after the first table
    analysis::setAllocationLimitForTests(limit);
    const std::string all = Step(file).describe();
    analysis::setAllocationLimitForTests(0);
    EXPECT_NE(all.find("\n=> CAN'T SET table->symbol" + defaults + "; tables"), std::string::npos)
        << all.substr(all.find("\n=> "), 100);
  }
}

TEST(ResourcePath, FromDirectoryExecutableOrCurrentDirectory) {
  EXPECT_EQ(resourcePath("/opt/mervik/", "mervik", "/usr/bin/mervik"), "/opt/mervik/mervik.rsc");
  EXPECT_EQ(resourcePath("", "mervik", "/usr/local/bin/mervik"), "/usr/local/bin/mervik.rsc");
  EXPECT_EQ(resourcePath("", "mv", "/mv"), "/mv.rsc");
  EXPECT_EQ(resourcePath("", "mervik", ""), "mervik.rsc");
  EXPECT_EQ(resourcePath("./", "m.x", "/elsewhere/m.x"), "./m.x.rsc");
}

}  // namespace
}  // namespace mervik::config
