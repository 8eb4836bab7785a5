#include "analysis/names.hpp"

#include <gtest/gtest.h>

#include <cstring>
#include <deque>
#include <random>
#include <sstream>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "support/recording.hpp"

namespace mervik::analysis {
namespace {

const NameEntry* entryOf(const NameEntry& e) { return &e; }
const NameEntry* entryOf(const NameEntry* e) { return e; }

// "[name:tableNo lines...]" per entry in table order; with `origin` the name's address too,
// which tells apart equal texts entered from different places.
template <typename Entries>
std::string dump(const Entries& entries, const std::vector<Occurrence>& occ, bool origin = false) {
  std::ostringstream out;
  for (const auto& entry : entries) {
    const NameEntry* e = entryOf(entry);
    out << '[' << e->name;
    if (origin) out << '@' << static_cast<const void*>(e->name);
    out << ':' << e->tableNo;
    for (int o = e->first; o >= 0; o = occ[o].next) out << ' ' << occ[o].line;
    out << ']';
  }
  return out.str();
}
std::string dump(NameTables& names) { return dump(names.symbolTable.entries(), names.occTable()); }

// " a b c" for the numbers given.
template <typename... Numbers>
std::string nums(Numbers... n) { return ((" " + std::to_string(n)) + ...); }

TEST(CompareName, Cases) {
  const struct { const char* a; const char* b; int sign; } cases[] = {
      {"std_logic", "std_*", 0}, {"abc", "abc*", 0}, {"abc*", "abc", 0}, {"ab", "abc", -1},
      {"b", "a*", 1}, {"a*", "b", -1}, {"abc", "abc", 0}, {"", "", 0}, {"", "a", -1}, {"a", "", 1},
      {"*", "", 0}, {"clk", "clock", -1}, {"a\xE9", "a\x7F", -1}, {"a\xE9", "a0", -1},
      {"a\xE9", "a", -1}, {"a", "a\x80", 1}, {"\x80", "\xFF", -1}, {"a_b", "aa", -1},
  };
  for (const auto& c : cases)
    EXPECT_EQ((compareName(c.a, c.b) > 0) - (compareName(c.a, c.b) < 0), c.sign)
        << c.a << " vs " << c.b;
}

// The 1001st name and the 4001st occurrence grow their tables by half with every chain intact;
// a reset then starts the next source afresh.
TEST(RecordName, TablesGrowByHalfAndKeepTheirChains) {
  NameTables names;
  ASSERT_TRUE(names.resetSymbols());
  std::vector<std::string> text;  // outlives the table, which points into it
  for (int i = 0; i <= 1000; ++i) text.push_back("n" + std::to_string(i));
  for (int i = 0; i < 1000; ++i) ASSERT_TRUE(names.recordName(text[i].c_str(), i + 1));
  std::string sizes = nums(names.symbolTable.symbolMax());
  ASSERT_TRUE(names.recordName(text[1000].c_str(), 1001));
  const char* cycle[] = {"u", "v", "w", "v"};
  for (int i = 1001; i < 4000; ++i) ASSERT_TRUE(names.recordName(cycle[i % 4], i / 3));
  const std::string before = dump(names);
  sizes += nums(names.symbolTable.symbolMax(), names.occMax());
  ASSERT_TRUE(names.recordName("u", 9999));
  EXPECT_EQ(sizes + nums(names.occMax(), names.occCnt()), " 1000 1500 4000 6000 4001");
  EXPECT_EQ(dump(names), std::string(before).insert(before.find("][v"), " 9999"));
  ASSERT_TRUE(names.resetSymbols() && names.recordName("b", 2));
  EXPECT_EQ(dump(names) + nums(names.symbolTable.symbolMax(), names.occMax()), "[b:0 2] 1000 4000");
}

// No ASSERT here: the limit must be lifted again at the end.
TEST(RecordName, ReportsTablesThatCannotGrow) {
  setAllocationLimitForTests(1000);  // symbolTable's first 1000 entries, not 1500, no occTable
  NameTables names;
  std::vector<std::string> text;
  for (int i = 0; i < 1000; ++i) text.push_back("n" + std::to_string(i));
  std::string got = nums(names.resetSymbols());
  for (const std::string& name : text) EXPECT_TRUE(names.recordName(name.c_str(), 0));
  for (auto [name, line] : {std::pair{"n7", 0}, {"new", 0}, {"n7", 1}})  // "n7" needs no growth
    got += nums(names.recordName(name, line)) + names.failure();
  got += nums(names.symbolTable.symbolCnt());
  setAllocationLimitForTests(999);
  NameTables none;
  got += nums(none.resetSymbols()) + none.failure();
  setAllocationLimitForTests(0);
  EXPECT_EQ(got, " 1 1 0CAN'T SET table->symbol 0CAN'T SET occTable 1000 0CAN'T SET table->symbol");
}

// The name table in its plainest form: a sorted array, bisection with lo = -1 and
// hi = symbolCnt, insertion at lo + 1, growth by half (by one for a table too small for that).
struct RefTable {
  std::vector<NameEntry> sorted;
  int symbolMax = 0;

  NameEntry* lookup(const char* name, bool enter) {
    int lo = -1, hi = static_cast<int>(sorted.size());
    while (hi - lo > 1) {
      const int mid = (lo + hi) / 2;
      const int cmp = compareName(name, sorted[mid].name);
      if (cmp == 0) return &sorted[mid];
      (cmp > 0 ? lo : hi) = mid;
    }
    if (!enter) return nullptr;
    if (static_cast<int>(sorted.size()) >= symbolMax)
      symbolMax = symbolMax < 2 ? symbolMax + 1 : symbolMax * 3 / 2;
    return &*sorted.insert(sorted.begin() + (lo + 1), NameEntry{name, 0, -1, -1});
  }
};

// Names of letters, '_', 0xE9, 0x80 and '*', each its own copy, so an entry shows its origin.
// Long runs outgrow the table's internal pieces; some bring the first '*' into a filled table.
TEST(NameTable, MatchesTheSortedArrayOnRandomSequences) {
  for (unsigned seed = 0; seed < 60; ++seed) {
    std::mt19937 rng(seed);
    const bool longRun = seed % 10 >= 8;
    const int ops = longRun ? 5000 : 400, starFrom = seed % 3 == 0 ? ops * 2 / 3 : 0;
    const double starRate = std::vector<double>{0, 0.03, 0.15, 0.4}[seed % 4];
    const int size = std::vector<int>{0, 1, 2, 7, 1000}[(seed / 4) % 5];
    std::deque<std::string> text;
    NameTable table;
    RefTable ref{{}, size};
    table.setTableSize(size);
    for (int op = 0; op < ops; ++op) {
      std::string& name = text.emplace_back();
      for (int n = 1 + static_cast<int>(rng() % (longRun ? 6 : 4)); n > 0; --n) {
        const bool star = op >= starFrom && std::uniform_real_distribution<>(0, 1)(rng) < starRate;
        name += star ? '*' : "abc_z\xE9\x80"[rng() % 7];
      }
      const bool enter = rng() % 10 < 7;
      NameEntry* got = enter ? table.enterName(name.c_str()) : table.findName(name.c_str());
      NameEntry* want = ref.lookup(name.c_str(), enter);
      ASSERT_EQ(got ? got->name : nullptr, want ? want->name : nullptr) << seed << " op " << op;
      if (enter) got->tableNo = want->tableNo = op;
      ASSERT_EQ(nums(table.symbolCnt(), table.symbolMax()), nums(ref.sorted.size(), ref.symbolMax));
    }
    ASSERT_EQ(dump(table.entries(), {}, true), dump(ref.sorted, {}, true));
  }
}

// Classed by exactTable before wildTable, dropped when the class is excluded (-1), else in the
// default table; unlisted or empty tables write nothing. After '#': symbols and occurrences.
TEST(CrossReference, ClassesNamesAndWritesTheirEntryLines) {
  NameTables names;
  names.defaultTable = 4;
  for (auto [name, no] : {std::pair{"signal", 1}, {"std_logic", 1}, {"hidden", 2}, {"unused", 0},
                          {"dropped", -1}, {"std_*", 3}, {"tmp*", -1}})
    (std::strchr(name, '*') ? names.wildTable : names.exactTable).enterName(name)->tableNo = no;
  const std::vector<TableHeading> tables = {{"EMPTY", true}, {"KEYWORDS", true},
      {"NOT LISTED", false}, {"TYPES", true}, {"SYMBOL TABLE", true}};
  const std::vector<int> tens = {10, 20, 30, 40, 50, 60, 70, 80, 90, 100, 110, 120, 130};
  const std::string longName(2000, 'n'), head = "\nSYMBOL TABLE\n\n";
  const std::tuple<std::vector<std::pair<const char*, std::vector<int>>>, int, std::string>
      cases[] = {
      {{}, 100, "# 0 0"},  // a source without names
      {{{"signal", {2, 2, 2, 5}}, {"x", {1}}, {"hidden", {4}}, {"std_logic", {2}},
        {"std_ulogic", {3}}, {"dropped", {6}}, {"tmp1", {7}}, {"nolines", {0, -2}},
        {"abcdefghi", {9}}, {"abcdefghij", {9}}}, 100,
       "\nKEYWORDS\n\n    signal           2+      5 \n    std_logic        2 \n"
       "\nTYPES\n\n    std_ulogic               3 \n" + head +
           "    abcdefghi        9 \n    abcdefghij               9 \n    nolines    \n"
           "    x        1 \n# 8 10"},
      {{{"data_bus", tens}, {"clk", {3, 3, 7}}, {"a", {12}}}, 100,
       head + "    a       12 \n    clk              3+      7 \n" +
           "    data_bus        10      20      30      40      50      60      70      80  "
           "    90     100 \n           110     120     130 \n# 3 17"},
      // A name longer than the line, and than any listing line, stands alone and whole.
      {{{longName.c_str(), {5, 6}}}, 100,
       head + "    " + longName + "   \n" + std::string(7, ' ') + "      5       6 \n# 1 2"},
      // Below 15 columns every number gets a line of its own.
      {{{"ab", {1, 2, 2}}}, 10, head + "    ab         \n             1 \n             2+\n# 1 3"},
      // More than 7 digits widen the field; the wrap test still counts 8.
      {{{"x", {99999999, 123456789, 123456789, 1234567890}}}, 30,
       head + "    x  99999999 123456789+\n       1234567890 \n# 1 4"},
  };
  for (const auto& [recorded, lineWidth, expected] : cases) {
    ASSERT_TRUE(names.resetSymbols());
    for (const auto& [name, lines] : recorded)
      for (int line : lines) ASSERT_TRUE(names.recordName(name, line));
    test::RecordingSink sink;
    writeCrossReference(names, tables, lineWidth, sink);
    EXPECT_EQ(sink.joined() + "#" + nums(names.symbolTable.symbolCnt(), names.occCnt()), expected);
  }
}

}  // namespace
}  // namespace mervik::analysis
