#include "config/resource.hpp"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <tuple>
#include <vector>

#include "config/settings.hpp"
#include "support/recording.hpp"

namespace mervik::config {

// Console, "\n=> ", outcome, tab/line width (L: landscape), tables (-: unlisted), default, names.
std::string resourceStepOn(const std::string& file) {
  test::RecordingConsole console;
  Settings settings;
  analysis::NameTables names;
  analysis::EmphasisRules emphasis;
  ResourceTables tables;
  std::unique_ptr<ResourceReader> reader;  // the names point into its text
  std::string out = "ok";                  // or the failure message
  if (resourceStep(std::vector<char>(file.c_str(), file.c_str() + file.size() + 1), "",
                   &reader, settings, names, emphasis, tables, console, &out))
    tables.addDefaultTable(console);
  auto n = [](int value) { return std::to_string(value); };
  out = console.text() + "\n=> " + out + " " + n(settings.tabWidth) + "/" + n(settings.lineWidth) +
        (settings.landscape ? "L |" : "P |");
  std::vector<analysis::TableHeading> headings;
  tables.headings(&headings);
  for (const auto& heading : headings)
    out += " " + std::string(heading.title) + (heading.listed ? "+" : "-");
  out += " | " + n(tables.defaultTable) + " |";
  for (analysis::NameTable* table : {&names.exactTable, &names.wildTable}) {
    for (const analysis::NameEntry* entry : table->entries())
      out += " " + std::string(entry->name) + ":" + n(entry->tableNo);
    out += " |";
  }
  return out;
}

TEST(ResourceStep, ReadsSettingsTablesAndNames) {
  const std::string F = "\n.. format", T = "\n.. tables ", none = " | SYMBOL TABLE+ | 0 | | |";
  const std::string D = "\n   SYMBOL TABLE (default)\n=> ok ", A = "\n   A" + D, N(1 << 20, 'N');
  const std::string cases[][2] = {
      {std::string("\0", 1), T + D + "4/100P" + none},
      // Text before the first section is passed over; an unlisted table's names are dropped (-1).
      {"Set-up notes\n//Keys\nENTITY\n//-Lib\nieee\n//Conv\nto_*\nconv_*int\n",
       T + "\n   Keys\n   Lib\n   Conv\n   WARNING - EXTRA CHARACTERS:  conv_*int" + D +
           "4/100P | Keys+ Lib- Conv+ SYMBOL TABLE+ | 3 | entity:0 ieee:-1 | conv_*int:2 to_*:2 |"},
      {"/FORMATxyz\n \t \nabc\n  +12abc\n//A\n\t\n  //b\n \t//C*\n",  // "abc" reads as 0
       F + "\n   WARNING - FORMAT NOT A NUMBER:  abc  (line 3)"
           "\n   WARNING - FORMAT NOT A NUMBER:  +12abc  (line 4)" +
           T + A + "0/18P | A+ SYMBOL TABLE+ | 1 | //b:0 | //c*:0 |"},
      // Misspelt sections and unknown options are shown with their lines (CR LF is one end).
      {"/FORMT\r\n4\r\n/OPTION\r\n/OPTIONS\r\nwait off\r\nwait\r\n/\n/TITLEX\n-1\n",
       "  :  -1" + T + "\n   WARNING - UNKNOWN OPTION:  wait  (line 6)" +
           "\n   WARNING - UNKNOWN SECTION:  /FORMT  (line 1)"
           "\n   WARNING - UNKNOWN SECTION:  /OPTION  (line 3)"
           "\n   WARNING - UNKNOWN SECTION:  /  (line 7)" + D + "4/100P" + none},
      {"/TITLE\n/FORMAT\n99999999999\n-2147483648\n", F + T + D + "2147483647/2147483647L" + none},
      {"/FORMAT\r2\r-10\r/TITLE\r \t \r\t\r\t Hello  world \t \r//A\rB\r/TITLE\rNo\r/FORMAT\r9\r",
       "  :  Hello  world" + F + T + A + "2/16L | A+ SYMBOL TABLE+ | 1 | b:0 | |"},  // first ones
      {"//A\nx\n//B\nX\n//-\ny\nz\n//D\nY\n//E\nto_*\nto_int*\n",  // the last declaration wins
       T + "\n   A\n   B\n   \n   D\n   E" + D +
           "4/100P | A+ B+ - D+ E+ SYMBOL TABLE+ | 5 | x:1 y:3 z:-1 | to_*:4 |"},
      {std::string("//A\nx\0//B\ny\n", 12), T + A + "4/100P | A+ SYMBOL TABLE+ | 1 | x:0 | |"},
      {"/TITLE\n" + N, "  :  " + N + T + D + "4/100P" + none},
  };
  for (const auto& [file, expected] : cases)
    EXPECT_EQ(resourceStepOn(file), "\n\nLoading resource file" + expected) << file.substr(0, 80);
}

TEST(ResourceStep, NoStorageForTheNameTablesFails) {
  std::string file = "//Many\n";
  for (int i = 0; i <= 1000; ++i) file += "n" + std::to_string(i) + "\n";
  for (const int limit : {500, 1000}) {  // before and after the first table
    analysis::setAllocationLimitForTests(limit);
    EXPECT_NE(resourceStepOn(file).find("\n=> CAN'T SET table->symbol 4/100P"), std::string::npos);
  }
  analysis::setAllocationLimitForTests(0);
}

TEST(ClampSettings, BringsUnusableSettingsIntoRangeAndSaysSo) {
  const std::tuple<int, int, std::string> cases[] = {
      {-8, 1022, "8/1022"},  // a negative width works as its magnitude: nothing to say
      {-200, 100, "95/100\n   tab width -200 out of range, using 95"},
      {0, 100, "1/100\n   tab width 0 out of range, using 1"},
      {96, 100, "95/100\n   tab width 96 out of range, using 95"},  // a stop needs line width - 5
      {INT_MIN, 100, "95/100\n   tab width -2147483648 out of range, using 95"},
      {4, 5000, "4/1022\n   line width 5000 out of range, using 1022"},
      {4, 5, "3/6\n   line width 5 out of range, using 6\n   tab width 4 out of range, using 3"},
  };
  for (const auto& [tabWidth, lineWidth, used] : cases) {
    Settings settings{tabWidth, lineWidth, true};
    test::RecordingConsole console;
    clampSettings(settings, console);
    EXPECT_EQ(used, std::to_string(settings.tabWidth) + "/" + std::to_string(settings.lineWidth) +
                        console.text());
  }
}

}  // namespace mervik::config
