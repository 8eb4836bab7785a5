#include "analysis/names.hpp"

#include <gtest/gtest.h>

#include <cstring>
#include <deque>
#include <random>
#include <sstream>
#include <string>
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
  std::string sizes = std::to_string(names.symbolTable.symbolMax()) + " ";
  ASSERT_TRUE(names.recordName(text[1000].c_str(), 1001));
  sizes += std::to_string(names.symbolTable.symbolMax()) + " ";
  const char* cycle[] = {"u", "v", "w", "v"};
  for (int i = 1001; i < 4000; ++i) ASSERT_TRUE(names.recordName(cycle[i % 4], i / 3));
  const std::string before = dump(names);
  sizes += std::to_string(names.occMax()) + " ";
  ASSERT_TRUE(names.recordName("u", 9999));
  EXPECT_EQ(sizes + std::to_string(names.occMax()) + " " + std::to_string(names.occCnt()),
            "1000 1500 4000 6000 4001");
  EXPECT_EQ(dump(names), std::string(before).insert(before.find("][v"), " 9999"));
  ASSERT_TRUE(names.resetSymbols());
  ASSERT_TRUE(names.recordName("b", 2));
  EXPECT_EQ(dump(names) + " " + std::to_string(names.symbolTable.symbolMax()), "[b:0 2] 1000");
  EXPECT_EQ(names.occMax(), 4000);
}

// No ASSERT here: the limit must be lifted again at the end.
TEST(RecordName, ReportsTablesThatCannotGrow) {
  setAllocationLimitForTests(1000);  // symbolTable's first 1000 entries, not 1500, no occTable
  NameTables names;
  EXPECT_TRUE(names.resetSymbols());
  std::vector<std::string> text;
  for (int i = 0; i < 1000; ++i) text.push_back("n" + std::to_string(i));
  for (const std::string& name : text) EXPECT_TRUE(names.recordName(name.c_str(), 0));
  EXPECT_TRUE(names.recordName("n7", 0));  // found: no growth needed
  EXPECT_FALSE(names.recordName("new", 0));
  EXPECT_EQ(names.failure(), "CAN'T SET table->symbol");
  EXPECT_EQ(names.symbolTable.symbolCnt(), 1000);
  EXPECT_FALSE(names.recordName("n7", 1));
  EXPECT_EQ(names.failure(), "CAN'T SET occTable");
  setAllocationLimitForTests(999);
  NameTables none;
  EXPECT_FALSE(none.resetSymbols());
  EXPECT_EQ(none.failure(), "CAN'T SET table->symbol");
  setAllocationLimitForTests(0);
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

// recordName over reference tables: exact class, else wild class, else the default table.
struct RefNames {
  RefTable exact, wild, symbol;
  std::vector<Occurrence> occ;
  int occMax = 0, defaultTable = 0;

  void record(const char* name, int line) {
    const NameEntry* cls = exact.lookup(name, false);
    if (!cls) cls = wild.lookup(name, false);
    if (cls && cls->tableNo < 0) return;
    NameEntry* s = symbol.lookup(name, true);
    s->tableNo = cls ? cls->tableNo : defaultTable;
    if (line <= 0) return;
    if (static_cast<int>(occ.size()) >= occMax) occMax = occMax == 0 ? 4000 : occMax * 3 / 2;
    const int o = static_cast<int>(occ.size());
    occ.push_back(Occurrence{line, -1});
    (s->first < 0 ? s->first : occ[s->last].next) = o;
    s->last = o;
  }
};

// Random names of a few bytes: letters, '_', 0xE9 and 0x80, and '*' at the given rate. Every
// name is its own copy, so an entry shows where it came from.
struct NamePool {
  std::mt19937 rng;
  int maxLength = 4;
  std::deque<std::string> text;
  const char* next(double starRate) {
    std::string name;
    for (int n = 1 + static_cast<int>(rng() % maxLength); n > 0; --n) {
      const bool star = std::uniform_real_distribution<double>(0, 1)(rng) < starRate;
      name += star ? '*' : "abc_z\xE9\x80"[rng() % 7];
    }
    return text.emplace_back(name).c_str();
  }
};

TEST(NameTable, MatchesTheSortedArrayOnRandomSequences) {
  for (unsigned seed = 0; seed < 60; ++seed) {
    const bool longRun = seed % 10 >= 8;  // outgrows the table's internal pieces
    NamePool pool{std::mt19937(seed), longRun ? 6 : 4, {}};
    const int ops = longRun ? 5000 : 400;
    const double starRate = std::vector<double>{0, 0.03, 0.15, 0.4}[seed % 4];
    const int starFrom = seed % 3 == 0 ? ops * 2 / 3 : 0;  // a star arriving in a filled table
    const int size = std::vector<int>{0, 1, 2, 7, 1000}[(seed / 4) % 5];
    NameTable table;
    RefTable ref{{}, size};
    table.setTableSize(size);
    for (int op = 0; op < ops; ++op) {
      const char* name = pool.next(op >= starFrom ? starRate : 0);
      const bool enter = pool.rng() % 10 < 7;
      NameEntry* got = enter ? table.enterName(name) : table.findName(name);
      NameEntry* want = ref.lookup(name, enter);
      ASSERT_EQ(got ? got->name : nullptr, want ? want->name : nullptr)
          << "seed " << seed << " op " << op;
      if (enter) got->tableNo = want->tableNo = op;
      ASSERT_EQ(table.symbolCnt(), static_cast<int>(ref.sorted.size()));
      ASSERT_EQ(table.symbolMax(), ref.symbolMax);
    }
    ASSERT_EQ(dump(table.entries(), {}, true), dump(ref.sorted, {}, true));
  }
}

TEST(RecordName, MatchesTheReferenceOnRandomSequences) {
  for (unsigned seed = 0; seed < 30; ++seed) {
    NamePool pool{std::mt19937(1000 + seed), 4, {}};
    NameTables names;
    RefNames ref{{}, {}, {}, {}, 0, 3};  // the resource tables grow from nothing
    names.defaultTable = 3;
    for (int i = 0; i < 40; ++i) {  // the resource tables; -1 is an excluded class
      const bool wild = i % 4 == 0;
      const char* name = pool.next(wild ? 0.3 : 0);
      if (wild && std::string(name).find('*') == std::string::npos) continue;
      const int tableNo = static_cast<int>(pool.rng() % 4) - 1;
      (wild ? names.wildTable : names.exactTable).enterName(name)->tableNo = tableNo;
      (wild ? ref.wild : ref.exact).lookup(name, true)->tableNo = tableNo;
    }
    for (int round = 0; round < 3; ++round) {
      ASSERT_TRUE(names.resetSymbols());
      ref = RefNames{ref.exact, ref.wild, {{}, 1000}, {}, 0, 3};
      for (int op = 0, line = 1; op < 300; ++op) {
        line += static_cast<int>(pool.rng() % 3);
        const int at = pool.rng() % 20 == 0 ? -static_cast<int>(pool.rng() % 2) : line;
        const char* name = pool.next(seed % 2 ? 0.05 : 0);
        ASSERT_TRUE(names.recordName(name, at));
        ref.record(name, at);
      }
      ASSERT_EQ(names.occCnt(), static_cast<int>(ref.occ.size()));
      ASSERT_EQ(names.occMax(), ref.occMax);
      ASSERT_EQ(dump(names.symbolTable.entries(), names.occTable(), true),
                dump(ref.symbol.sorted, ref.occ, true))
          << "seed " << seed << " round " << round;
    }
  }
}

using Recorded = std::vector<std::pair<const char*, std::vector<int>>>;

// Records the names of one source, each at its lines, and writes its cross-reference.
std::string report(NameTables& names, const Recorded& recorded,
                   const std::vector<TableHeading>& tables, int lineWidth) {
  EXPECT_TRUE(names.resetSymbols());
  for (const auto& [name, lines] : recorded)
    for (int line : lines) EXPECT_TRUE(names.recordName(name, line));
  test::RecordingSink sink;
  writeCrossReference(names, tables, lineWidth, sink);
  return sink.joined();
}

// A name is classed by exactTable before wildTable, dropped when its class is excluded (-1),
// else put in the default table. Tables follow the list; unlisted or empty ones write nothing.
TEST(CrossReference, ClassesNamesIntoTheListedTables) {
  NameTables names;
  names.defaultTable = 4;
  for (auto [name, no] : {std::pair{"signal", 1}, {"std_logic", 1}, {"hidden", 2}, {"unused", 0},
                          {"dropped", -1}, {"std_*", 3}, {"tmp*", -1}})
    (std::strchr(name, '*') ? names.wildTable : names.exactTable).enterName(name)->tableNo = no;
  const std::vector<TableHeading> tables = {{"EMPTY", true}, {"KEYWORDS", true},
      {"NOT LISTED", false}, {"TYPES", true}, {"SYMBOL TABLE", true}};
  EXPECT_EQ(report(names,
                   {{"signal", {2, 2, 2, 5}}, {"x", {1}}, {"hidden", {4}}, {"std_logic", {2}},
                    {"std_ulogic", {3}}, {"dropped", {6}}, {"tmp1", {7}}, {"nolines", {0, -2}},
                    {"abcdefghi", {9}}, {"abcdefghij", {9}}},
                   tables, 100),
            "\nKEYWORDS\n\n    signal           2+      5 \n    std_logic        2 \n"
            "\nTYPES\n\n    std_ulogic               3 \n"
            "\nSYMBOL TABLE\n\n    abcdefghi        9 \n    abcdefghij               9 \n"
            "    nolines    \n    x        1 \n");
  EXPECT_EQ(names.symbolTable.symbolCnt(), 8);
  EXPECT_EQ(names.occCnt(), 10);
}

TEST(CrossReference, EntryLinesAtVariousWidths) {
  std::vector<int> tens;
  for (int line = 10; line <= 250; line += 10) tens.push_back(line);
  const std::string longName(2000, 'n');
  const std::string head = "\nSYMBOL TABLE\n\n";
  const struct { Recorded recorded; int lineWidth; std::string expected; } cases[] = {
      {{}, 100, ""},  // a source without names
      {{{"data_bus", tens}, {"clk", {3, 3, 7}}, {"a", {12}}}, 100,
       head + "    a       12 \n    clk              3+      7 \n" +
           "    data_bus        10      20      30      40      50      60      70      80  "
           "    90     100 \n"
           "           110     120     130     140     150     160     170     180     190  "
           "   200     210 \n"
           "           220     230     240     250 \n"},
      // A name longer than the line stands alone, nothing cut; its numbers wrap below it.
      {{{longName.c_str(), {5, 6}}}, 100,
       head + "    " + longName + "   \n" + std::string(7, ' ') + "      5       6 \n"},
      // Below 15 columns every number gets a line of its own.
      {{{"ab", {1, 2, 2}}}, 10, head + "    ab         \n             1 \n             2+\n"},
      // More than 7 digits widen the field; the wrap test still counts 8.
      {{{"x", {99999999, 123456789, 123456789, 1234567890}}}, 30,
       head + "    x  99999999 123456789+\n       1234567890 \n"},
  };
  for (const auto& c : cases) {
    NameTables names;
    EXPECT_EQ(report(names, c.recorded, {{"SYMBOL TABLE", true}}, c.lineWidth), c.expected);
  }
}

}  // namespace
}  // namespace mervik::analysis
