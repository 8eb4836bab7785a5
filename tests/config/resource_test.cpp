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

using namespace std::string_literals;

/// What one resource step leaves behind, as two comparable strings.
struct Outcome {
  std::string console;
  std::string state;
};

std::vector<char> fileBytes(const std::string& file) {
  std::vector<char> bytes(file.begin(), file.end());
  bytes.push_back('\0');
  return bytes;
}

void describeNames(analysis::NameTable& table, const char* label, std::string* out) {
  *out += label;
  for (const analysis::NameEntry* entry : table.entries()) {
    *out += ' ';
    *out += entry->name;
    *out += ':' + std::to_string(entry->tableNo);
  }
}

/// Runs the step as the driver does (default table appended after a success) on `file`, or on
/// no file at all when `file` is empty, and describes the settings, tables and names.
Outcome runStep(const std::string& file) {
  test::RecordingConsole console;
  Settings settings;
  analysis::NameTables names;
  ResourceTables tables;
  std::unique_ptr<ResourceReader> reader;
  std::string err;
  std::vector<char> text = file.empty() ? std::vector<char>{} : fileBytes(file);
  const bool ok = resourceStep(std::move(text), &reader, settings, names, tables, console, &err);
  if (ok) tables.addDefaultTable(console);

  std::string state = ok ? "ok" : err;
  state += "; tab " + std::to_string(settings.tabWidth) + ", line " +
           std::to_string(settings.lineWidth) + (settings.landscape ? ", landscape" : ", portrait");
  state += "; tables";
  for (int i = 0; i < tables.rscTableCnt; ++i) {
    state += " "s + tables.rscTable[i].name + ":" + std::to_string(tables.rscTable[i].flags);
  }
  state += "; default " + std::to_string(tables.defaultTable) + "; ";
  describeNames(names.exactTable, "exact", &state);
  describeNames(names.wildTable, "; wild", &state);
  return {console.text(), state};
}

const std::string loading = "\n\nLoading resource file";
const std::string tablesEcho = "\n.. tables ";
const std::string defaultEcho = "\n   SYMBOL TABLE (default)";
const std::string defaults = "; tab 4, line 100, portrait";

TEST(ResourceStep, DesignExampleGivesItsConsoleSettingsTablesAndNames) {
  const std::string file =
      "Listing set-up for the controller sources\n/TITLE\nTraffic light controller\n/FORMAT\n"
      "3\n-120\n//KEYWORDS\nentity\narchitecture\nprocess\nbegin\nend\n//Standard types\n"
      "STD_LOGIC\nstd_logic_vector\ninteger\n//-Libraries\nieee\nwork\n//Conversions\nto_*\n"
      "conv_*int\n";
  const Outcome outcome = runStep(file);
  EXPECT_EQ(outcome.console,
            "\n\nLoading resource file  :  Traffic light controller\n.. format\n.. tables \n"
            "   KEYWORDS\n   Standard types\n   Libraries\n   Conversions\n"
            "   WARNING - EXTRA CHARACTERS:  conv_*int\n   SYMBOL TABLE (default)");
  EXPECT_EQ(outcome.state,
            "ok; tab 3, line 126, landscape; tables KEYWORDS:1 Standard types:1 Libraries:0 "
            "Conversions:1 SYMBOL TABLE:3; default 4; exact architecture:0 begin:0 end:0 "
            "entity:0 ieee:-1 integer:1 process:0 std_logic:1 std_logic_vector:1 work:-1; "
            "wild conv_*int:3 to_*:3");
}

struct StepCase {
  const char* what;
  std::string file;
  std::string console;
  std::string state;
};

TEST(ResourceStep, EdgeCases) {
  const std::string noNames = "; exact; wild";
  const std::string onlyDefault = "; tables SYMBOL TABLE:3; default 0" + noNames;
  const StepCase cases[] = {
      {"no resource file", "", "\n\nNo resource file" + defaultEcho, "ok" + defaults + onlyDefault},
      {"a file of one NUL byte", "\0"s, loading + tablesEcho + defaultEcho,
       "ok" + defaults + onlyDefault},
      {"title followed by a section line", "/TITLE\n/FORMAT\n8\n0\n",
       loading + "\n.. format" + tablesEcho + defaultEcho,
       "ok; tab 8, line 6, portrait" + onlyDefault},
      {"negative line width", "/FORMAT\n4\n-100\n",
       loading + "\n.. format" + tablesEcho + defaultEcho,
       "ok; tab 4, line 106, landscape" + onlyDefault},
      {"a single format value", "/FORMAT\n2\n//A\nx\n",
       loading + "\n.. format" + tablesEcho + "\n   A" + defaultEcho,
       "ok; tab 2, line 100, portrait; tables A:1 SYMBOL TABLE:3; default 1; exact x:0; wild"},
      {"text after the FORMAT key", "/FORMATxyz\n5\n-7\n",
       loading + "\n.. format" + tablesEcho + defaultEcho,
       "ok; tab 5, line 13, landscape" + onlyDefault},
      {"a slash and TITLES is a TITLE line", "/TITLES\n\n  Title  \n",
       loading + "  :  Title" + tablesEcho + defaultEcho, "ok" + defaults + onlyDefault},
      {"//- alone: excluded table without title", "//-\nName\n",
       loading + tablesEcho + "\n   " + defaultEcho,
       "ok" + defaults + "; tables :0 SYMBOL TABLE:3; default 1; exact name:-1; wild"},
      {"blanks then two slashes is a value", "//A\n  //b\n \t//C*\n",
       loading + tablesEcho + "\n   A" + defaultEcho,
       "ok" + defaults + "; tables A:1 SYMBOL TABLE:3; default 1; exact //b:0; wild //c*:0"},
      {"values that are not numbers", "/FORMAT\nabc\nxyz\n",
       loading + "\n.. format" + tablesEcho + defaultEcho,
       "ok; tab 0, line 6, portrait" + onlyDefault},
      {"sign and digits up to the first other character", "/FORMAT\n  +12abc\n-0\n",
       loading + "\n.. format" + tablesEcho + defaultEcho,
       "ok; tab 12, line 6, portrait" + onlyDefault},
      {"huge values saturate", "/FORMAT\n99999999999\n-2147483648\n",
       loading + "\n.. format" + tablesEcho + defaultEcho,
       "ok; tab 2147483647, line 2147483647, landscape" + onlyDefault},
      {"huge negative values saturate", "/FORMAT\n-2147483648\n-999999999999999999999999\n",
       loading + "\n.. format" + tablesEcho + defaultEcho,
       "ok; tab -2147483648, line 2147483647, landscape" + onlyDefault},
      {"a file without line ends", "//Only", loading + tablesEcho + "\n   Only" + defaultEcho,
       "ok" + defaults + "; tables Only:1 SYMBOL TABLE:3; default 1" + noNames},
      {"a TITLE line without line end", "/TITLE", loading + tablesEcho + defaultEcho,
       "ok" + defaults + onlyDefault},
      {"CR-only line ends", "/TITLE\rCR title\r/FORMAT\r2\r-10\r//A\rB\r",
       loading + "  :  CR title\n.. format" + tablesEcho + "\n   A" + defaultEcho,
       "ok; tab 2, line 16, landscape; tables A:1 SYMBOL TABLE:3; default 1; exact b:0; wild"},
      {"lines of blanks and tabs", "/TITLE\n \t \n\t\n\t Hello  world \t \r\n",
       loading + "  :  Hello  world" + tablesEcho + defaultEcho, "ok" + defaults + onlyDefault},
      {"values outside read sections are ignored", "x\n/OTHER\ny\n//A\nz\n/TITLE\n",
       loading + tablesEcho + "\n   A" + defaultEcho,
       "ok" + defaults + "; tables A:1 SYMBOL TABLE:3; default 1; exact z:0; wild"},
      {"the first TITLE and FORMAT count", "/FORMAT\n1\n/TITLE\nOne\n/TITLE\nTwo\n/FORMAT\n9\n",
       loading + "  :  One\n.. format" + tablesEcho + defaultEcho,
       "ok; tab 1, line 100, portrait" + onlyDefault},
      {"the last declaration classes a name",
       "//A\nx\n//B\nX\n//-C\ny\n//D\nY\n//E\nto_*\nto_int*\n",
       loading + tablesEcho + "\n   A\n   B\n   C\n   D\n   E" + defaultEcho,
       "ok" + defaults +
           "; tables A:1 B:1 C:0 D:1 E:1 SYMBOL TABLE:3; default 5; "
           "exact x:1 y:3; wild to_*:4"},
      {"only A to Z are folded; blanks inside stay", "//A\nStd_Logic\n\xC4Q\xE9\nfoo BAR\n",
       loading + tablesEcho + "\n   A" + defaultEcho,
       "ok" + defaults +
           "; tables A:1 SYMBOL TABLE:3; default 1; exact \xC4q\xE9:0 "
           "foo bar:0 std_logic:0; wild"},
      {"a star warns only with characters after it", "//W\nab*\nCD*E \n",
       loading + tablesEcho + "\n   W\n   WARNING - EXTRA CHARACTERS:  cd*e" + defaultEcho,
       "ok" + defaults + "; tables W:1 SYMBOL TABLE:3; default 1; exact; wild ab*:0 cd*e:0"},
      {"a NUL byte ends the text", "//A\nx\n\0//B\ny\n"s,
       loading + tablesEcho + "\n   A" + defaultEcho,
       "ok" + defaults + "; tables A:1 SYMBOL TABLE:3; default 1; exact x:0; wild"},
  };
  for (const StepCase& c : cases) {
    const Outcome outcome = runStep(c.file);
    EXPECT_EQ(outcome.console, c.console) << c.what;
    EXPECT_EQ(outcome.state, c.state) << c.what;
  }
}

bool endsWith(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() &&
         text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

std::string tableSections(int count) {
  std::string file = "/TITLE\nMany\n";
  for (int i = 0; i < count; ++i)
    file += "//T" + std::to_string(i) + "\nn" + std::to_string(i) + "\n";
  return file;
}

TEST(ResourceStep, NineteenTableSectionsLeaveTheLastSlotToTheDefault) {
  const Outcome outcome = runStep(tableSections(19));
  EXPECT_TRUE(endsWith(outcome.console, "\n   T18\n   SYMBOL TABLE (default)"));
  EXPECT_NE(outcome.state.find("T18:1 SYMBOL TABLE:3; default 19; "), std::string::npos)
      << outcome.state;
  EXPECT_EQ(outcome.state.substr(0, 2), "ok");
}

TEST(ResourceStep, TwentiethTableSectionIsReadThenRefused) {
  test::RecordingConsole console;
  Settings settings;
  analysis::NameTables names;
  ResourceTables tables;
  std::unique_ptr<ResourceReader> reader;
  std::string err;
  const bool ok = resourceStep(fileBytes(tableSections(20) + "//T20\nn20\n"), &reader, settings,
                               names, tables, console, &err);
  EXPECT_FALSE(ok);
  EXPECT_EQ(err, "TOO MANY RESOURCE TABLES");
  // The twentieth table took the last slot and its names were entered; the 21st was not read.
  EXPECT_EQ(tables.rscTableCnt, 20);
  EXPECT_STREQ(tables.rscTable[19].name, "T19");
  EXPECT_EQ(names.exactTable.symbolCnt(), 20);
  EXPECT_TRUE(endsWith(console.text(), "\n   T19"));

  // Exactly twenty sections fail the same way: nothing is left for the default table.
  EXPECT_EQ(runStep(tableSections(20)).state.substr(0, 24), "TOO MANY RESOURCE TABLES");
}

TEST(ResourceStep, MegabyteLinesAreReadWhole) {
  const std::string longName(1 << 20, 'N');
  const Outcome title = runStep("/TITLE\n" + longName);
  EXPECT_EQ(title.console, loading + "  :  " + longName + tablesEcho + defaultEcho);

  test::RecordingConsole console;
  Settings settings;
  analysis::NameTables names;
  ResourceTables tables;
  std::unique_ptr<ResourceReader> reader;
  ASSERT_TRUE(resourceStep(fileBytes("//Long\n" + longName + "*x\n"), &reader, settings, names,
                           tables, console, nullptr));
  ASSERT_EQ(names.wildTable.symbolCnt(), 1);
  EXPECT_EQ(std::string(names.wildTable.entries()[0]->name), std::string(1 << 20, 'n') + "*x");

  // One line of a megabyte and no section at all: loaded, nothing found.
  EXPECT_EQ(runStep(longName).state,
            "ok" + defaults + "; tables SYMBOL TABLE:3; default 0; exact; wild");
}

TEST(ResourceStep, ShippedResourceFileLoadsCleanly) {
  std::ifstream in(MERVIK_SOURCE_DIR "/examples/mervik.rsc", std::ios::binary);
  ASSERT_TRUE(in) << "examples/mervik.rsc";
  const std::string file{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};

  test::RecordingConsole console;
  Settings settings;
  analysis::NameTables names;
  ResourceTables tables;
  std::unique_ptr<ResourceReader> reader;
  ASSERT_TRUE(resourceStep(fileBytes(file), &reader, settings, names, tables, console, nullptr));
  tables.addDefaultTable(console);
  EXPECT_EQ(console.text(),
            "\n\nLoading resource file  :  VHDL listing\n.. format\n.. tables \n"
            "   Reserved words\n   Standard types\n   Conversions\n   Text I/O\n   Libraries\n"
            "   SYMBOL TABLE (default)");
  EXPECT_EQ(settings.tabWidth, 4);
  EXPECT_EQ(settings.lineWidth, 100);
  EXPECT_FALSE(settings.landscape);
  EXPECT_EQ(tables.rscTableCnt, 6);
  EXPECT_EQ(tables.rscTable[4].flags, 0);

  // Every name line after the first table section gives its own entry: no name is declared
  // twice, so no class silently takes a name from another.
  std::istringstream lines(file.substr(file.find("\n//") + 1));
  int nameLines = 0;
  for (std::string line; std::getline(lines, line);) nameLines += !line.empty() && line[0] != '/';
  EXPECT_EQ(names.exactTable.symbolCnt() + names.wildTable.symbolCnt(), nameLines);

  const char* probes[] = {"entity", "std_logic_vector", "rising_edge", "readline", "ieee"};
  const int expected[] = {0, 1, 2, 3, -1};
  for (int i = 0; i < 5; ++i) {
    const analysis::NameEntry* entry = names.exactTable.findName(probes[i]);
    ASSERT_NE(entry, nullptr) << probes[i];
    EXPECT_EQ(entry->tableNo, expected[i]) << probes[i];
  }
  ASSERT_NE(names.wildTable.findName("to_*"), nullptr);
  EXPECT_EQ(names.wildTable.findName("to_*")->tableNo, 2);
}

TEST(ResourceStep, NoStorageForTheNameTablesFails) {
  std::string file = "//Many\n";
  for (int i = 0; i <= 1000; ++i) file += "n" + std::to_string(i) + "\n";
  struct LimitCase {
    std::int64_t limit;
    std::string state;
  };
  const LimitCase cases[] = {
      {500, "CAN'T SET table->symbol; tab 4, line 100, portrait; tables; default 0; exact; wild"},
      {1000, "CAN'T SET table->symbol; tab 4, line 100, portrait; tables Many:1; default 0; "},
  };
  for (const LimitCase& c : cases) {
    analysis::setAllocationLimitForTests(c.limit);
    const Outcome outcome = runStep(file);
    analysis::setAllocationLimitForTests(0);
    EXPECT_EQ(outcome.state.substr(0, c.state.size()), c.state) << c.limit;
  }
}

/// The prepared text up to its final zero byte, with every NUL shown as '|'.
std::string prepared(const std::string& file) {
  ResourceReader reader(fileBytes(file));
  const char* start = reader.readResource("resource.rsc", nullptr);
  std::string shown(start, file.size());
  for (char& c : shown) c = c == '\0' ? '|' : c;
  return shown;
}

TEST(ResourceReader, PreparesLinesInPlace) {
  EXPECT_EQ(prepared("ab \t\r\n c\t d  \n   \nx"), "ab|||| c  d|||||||x");
  EXPECT_EQ(prepared("x  "), "x||");
  EXPECT_EQ(prepared("\t"), "|");
  EXPECT_EQ(prepared(""), "");
  // Bytes after the first NUL are not part of the text and stay as they are.
  EXPECT_EQ(prepared("a \n\0b \r"s), "a|||b \r");
}

TEST(ResourceReader, SectionSearchAndValueReadModes) {
  const std::string file = "first\n\n  second\n/KEY rest\n\nv1\n/KEYS\n/OTHER\nv2";
  std::vector<char> bytes(file.begin(), file.end());
  bytes.push_back('\0');  // exactly sized, so a read past the end is caught
  ResourceReader reader(std::move(bytes));
  std::string trace;
  auto show = [&trace](const char* result) {
    trace += result ? "[" + std::string(result) + "]" : "-";
  };
  show(reader.readResource("", nullptr));       // value read from the start
  show(reader.readResource(nullptr, ""));       // value read goes on
  show(reader.readResource(nullptr, nullptr));  // stops at the section line
  show(reader.readResource(nullptr, nullptr));  // and stays there
  show(reader.readResource(nullptr, "KEY"));    // the search meets it
  show(reader.readResource(nullptr, nullptr));
  show(reader.readResource(nullptr, "KEY"));  // from the current position: /KEYS
  show(reader.readResource(nullptr, "KEY"));  // no further one
  show(reader.readResource("", "KEY"));       // from the start again
  show(reader.readResource(nullptr, "OTHER"));
  show(reader.readResource(nullptr, nullptr));
  show(reader.readResource(nullptr, nullptr));  // at the end
  show(reader.readResource(nullptr, "/"));
  EXPECT_EQ(trace, "[first][second]--[ rest][v1][S]-[ rest][][v2]--");
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
