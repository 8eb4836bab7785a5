#include "config/resource_tables.hpp"

#include <gtest/gtest.h>

#include <string>

#include "support/recording.hpp"

namespace mervik::config {
namespace {

std::string describe(const ResourceTables& tables) {
  std::string out;
  for (int i = 0; i < tables.rscTableCnt; ++i) {
    out += "[" + std::to_string(i) + " " + tables.rscTable[i].name + " " +
           std::to_string(tables.rscTable[i].flags) + "]";
  }
  out += " default " + std::to_string(tables.defaultTable) + " headings";
  for (const analysis::TableHeading& heading : tables.headings()) {
    out += " " + std::string(heading.title) + (heading.listed ? "+" : "-");
  }
  return out;
}

TEST(ResourceTables, DefaultTableAlone) {
  ResourceTables tables;
  test::RecordingConsole console;
  tables.addDefaultTable(console);
  EXPECT_EQ(console.text(), "\n   SYMBOL TABLE (default)");
  EXPECT_EQ(describe(tables), "[0 SYMBOL TABLE 3] default 0 headings SYMBOL TABLE+");
}

TEST(ResourceTables, FileTablesThenDefault) {
  ResourceTables tables;
  test::RecordingConsole console;
  EXPECT_EQ(tables.addTable("KEYWORDS", true, console), 0);
  EXPECT_EQ(tables.addTable("Types", true, console), 1);
  EXPECT_EQ(tables.addTable("Libraries", false, console), 2);
  EXPECT_EQ(tables.addTable("", true, console), 3);
  tables.addDefaultTable(console);
  EXPECT_EQ(console.text(),
            "\n   KEYWORDS\n   Types\n   Libraries\n   \n   SYMBOL TABLE (default)");
  EXPECT_EQ(describe(tables),
            "[0 KEYWORDS 1][1 Types 1][2 Libraries 0][3  1][4 SYMBOL TABLE 3] default 4 "
            "headings KEYWORDS+ Types+ Libraries- + SYMBOL TABLE+");
}

TEST(ResourceTables, NineteenTablesLeaveTheLastSlotToTheDefault) {
  ResourceTables tables;
  test::RecordingConsole console;
  for (int i = 0; i < 19; ++i) EXPECT_EQ(tables.addTable("t", true, console), i);
  tables.addDefaultTable(console);
  EXPECT_EQ(tables.defaultTable, 19);
  EXPECT_EQ(tables.rscTableCnt, ResourceTables::rscTableMax);
  EXPECT_STREQ(tables.rscTable[19].name, "SYMBOL TABLE");
}

TEST(ResourceTables, AFullListTakesNoMore) {
  ResourceTables tables;
  test::RecordingConsole console;
  for (int i = 0; i < ResourceTables::rscTableMax; ++i) tables.addTable("t", true, console);
  console.clear();
  EXPECT_EQ(tables.addTable("extra", true, console), -1);
  tables.addDefaultTable(console);
  EXPECT_EQ(tables.rscTableCnt, ResourceTables::rscTableMax);
  EXPECT_EQ(console.text(), "");
}

}  // namespace
}  // namespace mervik::config
