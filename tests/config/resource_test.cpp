#include "config/resource.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/recording.hpp"

namespace mervik::config {
namespace {

// The resource step on `file` (a zero byte appended; none when empty) as the driver runs it.
// describe(): the console text, "\n=> ", the outcome, settings, tables ('-': not listed), names.
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
  std::string describe() {
    auto n = [](int value) { return std::to_string(value); };
    std::string out = console.text() + "\n=> " + (ok ? "ok" : err) + "; tab " +
                      n(settings.tabWidth) + ", line " + n(settings.lineWidth) +
                      (settings.landscape ? ", landscape; tables" : ", portrait; tables");
    for (const auto& heading : tables.headings())  // as the cross-reference reads them
      out += " " + std::string(heading.title) + (heading.listed ? "+" : "-");
    out += "; default " + n(tables.defaultTable) + ";";
    for (analysis::NameTable* table : {&names.exactTable, &names.wildTable}) {
      out += table == &names.exactTable ? " exact" : "; wild";
      for (const analysis::NameEntry* entry : table->entries())
        out += " " + std::string(entry->name) + ":" + n(entry->tableNo);
    }
    return out;
  }
};

const std::string loading = "\n\nLoading resource file", tablesEcho = "\n.. tables ";
const std::string defaultEcho = "\n   SYMBOL TABLE (default)";
const std::string defaults = "; tab 4, line 100, portrait";
const std::string onlyDefault = "; tables SYMBOL TABLE+; default 0; exact; wild";
const std::string tableA = "; tables A+ SYMBOL TABLE+; default 1; ";

TEST(ResourceStep, ManualPageExampleGivesItsConsoleSettingsTablesAndNames) {
  Step step("Listing set-up for the controller sources\n/TITLE\nTraffic light controller\n"
            "/FORMAT\n3\n-120\n//KEYWORDS\nentity\narchitecture\nprocess\nbegin\nend\n"
            "//Standard types\nSTD_LOGIC\nstd_logic_vector\ninteger\n//-Libraries\nieee\nwork\n"
            "//Conversions\nto_*\nconv_*int\n");
  EXPECT_EQ(step.describe(),
            "\n\nLoading resource file  :  Traffic light controller\n.. format\n.. tables \n"
            "   KEYWORDS\n   Standard types\n   Libraries\n   Conversions\n   WARNING - EXTRA "
            "CHARACTERS:  conv_*int\n   SYMBOL TABLE (default)\n=> ok; tab 3, line 126, landscape; "
            "tables KEYWORDS+ Standard types+ Libraries- Conversions+ SYMBOL TABLE+; default 4; "
            "exact architecture:0 begin:0 end:0 entity:0 ieee:-1 integer:1 process:0 std_logic:1 "
            "std_logic_vector:1 work:-1; wild conv_*int:3 to_*:3");
}

TEST(ResourceStep, EdgeCases) {
  const std::string longName(1 << 20, 'N');
  const std::string cases[][3] = {
      {std::string("\0", 1), loading + tablesEcho + defaultEcho, "ok" + defaults + onlyDefault},
      {"/FORMATxyz\n \t \nabc\n  +12abc\n//A\n\t\n  //b\n \t//C*\n",  // "abc" reads as 0
       loading + "\n.. format" + tablesEcho + "\n   A" + defaultEcho,
       "ok; tab 0, line 18, portrait" + tableA + "exact //b:0; wild //c*:0"},
      {"/TITLE\n/FORMAT\n99999999999\n-2147483648\n",
       loading + "\n.. format" + tablesEcho + defaultEcho,
       "ok; tab 2147483647, line 2147483647, landscape" + onlyDefault},
      {"/TITLE\r \t \r\t\r\t Hello  world \t \r/FORMAT\r2\r-10\r//A\rB\r",
       loading + "  :  Hello  world\n.. format" + tablesEcho + "\n   A" + defaultEcho,
       "ok; tab 2, line 16, landscape" + tableA + "exact b:0; wild"},
      {"x\n/FORMAT\n1\n/OTHER\ny\n/TITLE\nOne\n//A\nz\n/TITLE\nTwo\n/FORMAT\n9\n",
       loading + "  :  One\n.. format" + tablesEcho + "\n   A" + defaultEcho,  // first ones count
       "ok; tab 1, line 100, portrait" + tableA + "exact z:0; wild"},
      {"//A\nx\n//B\nX\n//-\ny\nz\n//D\nY\n//E\nto_*\nto_int*\n",  // the last declaration wins
       loading + tablesEcho + "\n   A\n   B\n   \n   D\n   E" + defaultEcho,
       "ok; tab 4, line 100, portrait; tables A+ B+ - D+ E+ SYMBOL TABLE+; default 5; "
       "exact x:1 y:3 z:-1; wild to_*:4"},
      {"//A\nStd_Logic\n\xC4Q\xE9\nfoo BAR\nCD*E \n",  // only A to Z fold; inner blanks stay
       loading + tablesEcho + "\n   A\n   WARNING - EXTRA CHARACTERS:  cd*e" + defaultEcho,
       "ok" + defaults + tableA + "exact \xC4q\xE9:0 foo bar:0 std_logic:0; wild cd*e:0"},
      {std::string("//A\nx\0//B\ny\n", 12), loading + tablesEcho + "\n   A" + defaultEcho,
       "ok" + defaults + tableA + "exact x:0; wild"},  // no line end before the NUL that ends it
      {longName, loading + tablesEcho + defaultEcho, "ok" + defaults + onlyDefault},
      {"/TITLE\n" + longName, loading + "  :  " + longName + tablesEcho + defaultEcho,
       "ok" + defaults + onlyDefault},
  };
  for (const auto& [file, console, state] : cases)
    EXPECT_EQ(Step(file).describe(), console + "\n=> " + state) << file.substr(0, 80);
}

TEST(ResourceStep, NineteenTableSectionsFitTheTwentiethIsReadThenRefused) {
  auto sections = [](int count) {
    std::string file = "/TITLE\nMany\n";
    for (int i = 0; i < count; ++i)
      file += "//T" + std::to_string(i) + "\nn" + std::to_string(i) + "\n";
    return file;
  };
  EXPECT_NE(Step(sections(19)).describe().find(" T18+ SYMBOL TABLE+; default 19; "),
            std::string::npos);
  for (int count : {20, 21}) {  // the twentieth takes the last slot; a 21st is not read
    Step step(sections(count));
    const std::string all = step.describe();
    EXPECT_NE(all.find("\n   T19\n=> TOO MANY RESOURCE TABLES;"), std::string::npos) << all;
    EXPECT_NE(all.find(" T19+; default 0; exact n0:0 n1:1 n10:10"), std::string::npos) << all;
    EXPECT_EQ(step.tables.rscTableCnt, 20);
    EXPECT_EQ(step.names.exactTable.symbolCnt(), 20);
  }
}

TEST(ResourceStep, NoStorageForTheNameTablesFails) {
  std::string file = "//Many\n";
  for (int i = 0; i <= 1000; ++i) file += "n" + std::to_string(i) + "\n";
  for (const int limit : {500, 1000}) {  // before and after the first table
    analysis::setAllocationLimitForTests(limit);
    Step step(file);
    analysis::setAllocationLimitForTests(0);
    EXPECT_EQ(step.ok ? "ok" : step.err, "CAN'T SET table->symbol") << limit;
  }
}

TEST(ResourcePath, FromDirectoryExecutableOrCurrentDirectory) {
  EXPECT_EQ(resourcePath("/opt/mervik/", "mervik", "/usr/bin/mervik"), "/opt/mervik/mervik.rsc");
  EXPECT_EQ(resourcePath("", "mervik", "/opt/bin/mervik"), "/opt/bin/mervik.rsc");  // via PATH
  EXPECT_EQ(resourcePath("", "mv", "/mv"), "/mv.rsc");
  EXPECT_EQ(resourcePath("", "mervik", ""), "mervik.rsc");
  EXPECT_EQ(resourcePath("./", "m.x", "/elsewhere/m.x"), "./m.x.rsc");
}

}  // namespace
}  // namespace mervik::config
