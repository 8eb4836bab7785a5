#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "analysis/names.hpp"
#include "support/recording.hpp"

namespace mervik::analysis {
namespace {

struct Recorded {
  const char* name;
  std::vector<int> lines;
};

// Records the names of one source in the given order and writes its cross-reference.
std::string report(NameTables& names, const std::vector<Recorded>& recorded,
                   const std::vector<TableHeading>& tables, int lineWidth) {
  EXPECT_TRUE(names.resetSymbols());
  for (const Recorded& r : recorded) {
    for (int line : r.lines) EXPECT_TRUE(names.recordName(r.name, line));
  }
  test::RecordingSink sink;
  writeCrossReference(names, tables, lineWidth, sink);
  return sink.joined();
}

const std::vector<TableHeading> defaultOnly = {{"SYMBOL TABLE", true}};

TEST(CrossReference, TheExampleLayout) {
  std::vector<int> tens;
  for (int line = 10; line <= 250; line += 10) tens.push_back(line);
  NameTables names;
  std::string out =
      report(names, {{"data_bus", tens}, {"clk", {3, 3, 7}}, {"a", {12}}}, defaultOnly, 100);
  EXPECT_EQ(out,
            "\n"
            "SYMBOL TABLE\n"
            "\n"
            "    a       12 \n"
            "    clk              3+      7 \n"
            "    data_bus        10      20      30      40      50      60      70      80  "
            "    90     100 \n"
            "           110     120     130     140     150     160     170     180     190  "
            "   200     210 \n"
            "           220     230     240     250 \n");
}

TEST(CrossReference, TablesInListOrderWithoutEmptyOrUnlistedOnes) {
  NameTables names;
  names.defaultTable = 4;
  names.exactTable.setTableSize(1000);
  names.wildTable.setTableSize(200);
  names.exactTable.enterName("signal")->tableNo = 1;
  names.exactTable.enterName("entity")->tableNo = 1;
  names.exactTable.enterName("hidden")->tableNo = 2;  // a table that is not listed
  names.exactTable.enterName("unused")->tableNo = 0;
  names.wildTable.enterName("std_*")->tableNo = 3;
  std::vector<TableHeading> tables = {
      {"EMPTY", true}, {"KEYWORDS", true}, {"NOT LISTED", false}, {"TYPES", true},
      {"SYMBOL TABLE", true}};
  std::string out = report(names,
                           {{"signal", {2, 2, 2, 5}},
                            {"x", {1}},
                            {"hidden", {4}},
                            {"std_logic", {2}},
                            {"entity", {1}},
                            {"nolines", {0}},
                            {"abcdefghi", {9}},
                            {"abcdefghij", {9}}},
                           tables, 100);
  EXPECT_EQ(out,
            "\nKEYWORDS\n\n"
            "    entity           1 \n"
            "    signal           2+      5 \n"
            "\nTYPES\n\n"
            "    std_logic        2 \n"
            "\nSYMBOL TABLE\n\n"
            "    abcdefghi        9 \n"
            "    abcdefghij               9 \n"
            "    nolines    \n"
            "    x        1 \n");
}

// The report line grows with the name: nothing is cut, and the numbers wrap below it.
TEST(CrossReference, NameLongerThanTheLineStandsAlone) {
  std::string name(2000, 'n');
  NameTables names;
  std::string out = report(names, {{name.c_str(), {5, 6}}}, defaultOnly, 100);
  EXPECT_EQ(out, "\nSYMBOL TABLE\n\n    " + name + "   \n" + std::string(7, ' ') +
                     "      5       6 \n");
}

TEST(CrossReference, NarrowLinesPutEveryNumberOnItsOwnLine) {
  NameTables names;
  std::string out = report(names, {{"ab", {1, 2, 2}}}, defaultOnly, 10);
  EXPECT_EQ(out,
            "\nSYMBOL TABLE\n\n"
            "    ab         \n"
            "             1 \n"
            "             2+\n");
}

// A number of more than 7 digits widens its field; the wrap test still counts 8.
TEST(CrossReference, WideNumbersWidenTheirField) {
  NameTables names;
  std::string out = report(names, {{"x", {99999999, 123456789, 123456789, 1234567890}}},
                           defaultOnly, 30);
  EXPECT_EQ(out,
            "\nSYMBOL TABLE\n\n"
            "    x  99999999 123456789+\n"
            "       1234567890 \n");
}

TEST(CrossReference, NothingForASourceWithoutNames) {
  NameTables names;
  EXPECT_EQ(report(names, {}, defaultOnly, 100), "");
}

}  // namespace
}  // namespace mervik::analysis
