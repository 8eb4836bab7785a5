#include "analysis/names.hpp"

#include <gtest/gtest.h>

#include <deque>
#include <random>
#include <string>
#include <unordered_map>
#include <vector>

namespace mervik::analysis {
namespace {

// Lifts the allocation limit again when a test ends.
struct AllocationLimit {
  explicit AllocationLimit(std::int64_t entries) { setAllocationLimitForTests(entries); }
  ~AllocationLimit() { setAllocationLimitForTests(0); }
};

// "[name:tableNo lines...]" for every entry of symbolTable, in table order.
std::string dump(NameTables& names) {
  std::string out;
  for (const NameEntry* e : names.symbolTable.entries()) {
    out += "[" + std::string(e->name) + ":" + std::to_string(e->tableNo);
    for (int o = e->first; o >= 0; o = names.occTable()[o].next)
      out += " " + std::to_string(names.occTable()[o].line);
    out += "]";
  }
  return out;
}

int sign(int v) { return (v > 0) - (v < 0); }

TEST(CompareName, Cases) {
  struct Case {
    const char* a;
    const char* b;
    int sign;
  } cases[] = {
      {"std_logic", "std_*", 0}, {"abc", "abc*", 0},   {"abc*", "abc", 0}, {"ab", "abc", -1},
      {"b", "a*", 1},            {"a*", "b", -1},      {"abc", "abc", 0},  {"", "", 0},
      {"", "a", -1},             {"a", "", 1},         {"*", "", 0},       {"clk", "clock", -1},
      {"a\xE9", "a\x7F", -1},    {"a\xE9", "a0", -1},  {"a\xE9", "a", -1}, {"a", "a\x80", 1},
      {"\x80", "\xFF", -1},      {"a_b", "aa", -1},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(sign(compareName(c.a, c.b)), c.sign) << c.a << " vs " << c.b;
  }
}

TEST(NameTable, EmptyAndWithoutStorage) {
  NameTable table;
  EXPECT_EQ(table.findName("a"), nullptr);
  EXPECT_EQ(table.symbolMax(), 0);
  ASSERT_TRUE(table.setTableSize(1000));
  EXPECT_EQ(table.findName("a"), nullptr);
  NameEntry* e = table.enterName("m");
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(std::string(e->name) + " " + std::to_string(e->first) + std::to_string(e->last),
            "m -1-1");
  EXPECT_EQ(table.enterName("m"), e);
  EXPECT_EQ(table.findName("m"), e);
  ASSERT_TRUE(table.setTableSize(0));
  EXPECT_EQ(table.symbolCnt(), 0);
  EXPECT_EQ(table.findName("m"), nullptr);
}

// A table too small for growth by half (0 or 1 entries) grows by one instead of overflowing.
TEST(NameTable, TinyTablesStillGrow) {
  NameTable table;
  std::string seen;
  for (const char* n : {"c", "a", "b", "d"}) {
    ASSERT_NE(table.enterName(n), nullptr);
    seen += std::to_string(table.symbolMax()) + " ";
  }
  EXPECT_EQ(seen, "1 2 3 4 ");
  std::string order;
  for (const NameEntry* e : table.entries()) order += e->name;
  EXPECT_EQ(order, "abcd");
}

TEST(NameTable, StarEntryTakesLaterNamesThatAgree) {
  NameTable table;
  table.setTableSize(1000);
  NameEntry* star = table.enterName("ab*");
  EXPECT_EQ(table.enterName("abc"), star);
  EXPECT_EQ(table.findName("ab"), star);
  NameEntry* plain = table.enterName("xyz");
  EXPECT_EQ(table.enterName("x*"), plain);  // a sought '*' matches a stored name too
  EXPECT_EQ(table.symbolCnt(), 2);
}

TEST(NameTable, GrowsByHalfFromTheFirstCapacity) {
  NameTables names;
  ASSERT_TRUE(names.resetSymbols());
  std::deque<std::string> text;
  std::string sizes;
  for (int i = 0; i < 3376; ++i) {
    text.push_back("n" + std::to_string(i));
    ASSERT_TRUE(names.recordName(text.back().c_str(), i + 1));
    if (i == 999 || i == 1000 || i == 1500 || i == 2250 || i == 3375)
      sizes += std::to_string(names.symbolTable.symbolMax()) + " ";
  }
  EXPECT_EQ(sizes, "1000 1500 2250 3375 5062 ");
}

TEST(RecordName, ClassesNamesByTheResourceTables) {
  NameTables names;
  names.defaultTable = 3;
  names.exactTable.setTableSize(1000);
  names.wildTable.setTableSize(200);
  names.exactTable.enterName("std_logic")->tableNo = 0;
  names.exactTable.enterName("hidden")->tableNo = -1;
  names.wildTable.enterName("std_*")->tableNo = 1;
  names.wildTable.enterName("tmp*")->tableNo = -1;
  ASSERT_TRUE(names.resetSymbols());
  const char* scanned[] = {"std_logic", "hidden", "std_ulogic", "tmp1", "clk", "std_logic"};
  int line = 1;
  for (const char* n : scanned) ASSERT_TRUE(names.recordName(n, line++));
  ASSERT_TRUE(names.recordName("clk", 0));  // entered with its table, no occurrence
  ASSERT_TRUE(names.recordName("rst", -2));
  EXPECT_EQ(dump(names), "[clk:3 5][rst:3][std_logic:0 1 6][std_ulogic:1 3]");
  EXPECT_EQ(names.symbolTable.symbolCnt(), 4);
  EXPECT_EQ(names.occCnt(), 4);
}

TEST(RecordName, ResetStartsAnEmptySource) {
  NameTables names;
  ASSERT_TRUE(names.resetSymbols());
  for (int i = 0; i < 4001; ++i) ASSERT_TRUE(names.recordName("a", i + 1));
  ASSERT_TRUE(names.resetSymbols());
  EXPECT_EQ(names.symbolTable.symbolCnt(), 0);
  EXPECT_EQ(names.symbolTable.symbolMax(), 1000);
  EXPECT_EQ(names.occCnt(), 0);
  EXPECT_EQ(names.occMax(), 0);
  EXPECT_TRUE(names.occTable().empty());
  ASSERT_TRUE(names.recordName("b", 2));
  EXPECT_EQ(dump(names), "[b:0 2]");
  EXPECT_EQ(names.occMax(), 4000);
}

TEST(RecordName, ChainsSurviveTheGrowthOfOccTable) {
  NameTables names;
  ASSERT_TRUE(names.resetSymbols());
  const char* cycle[] = {"u", "v", "w", "v"};
  for (int i = 0; i < 4000; ++i) ASSERT_TRUE(names.recordName(cycle[i % 4], i / 3 + 1));
  EXPECT_EQ(names.occMax(), 4000);
  std::string before = dump(names);
  ASSERT_TRUE(names.recordName("u", 9999));
  EXPECT_EQ(names.occMax(), 6000);
  EXPECT_EQ(names.occCnt(), 4001);
  EXPECT_EQ(dump(names), before.substr(0, before.find("][v")) + " 9999" +
                             before.substr(before.find("][v")));
  std::string sizes;
  for (int i = 4001; i <= 13500; ++i) {
    ASSERT_TRUE(names.recordName("x", i));
    if (i == 5999 || i == 6000 || i == 9000 || i == 13500)
      sizes += std::to_string(names.occMax()) + " ";
  }
  EXPECT_EQ(sizes, "6000 9000 13500 20250 ");
}

TEST(RecordName, ReportsTablesThatCannotGrow) {
  AllocationLimit limit(4000);
  NameTables names;
  ASSERT_TRUE(names.resetSymbols());
  for (int i = 0; i < 4000; ++i) ASSERT_TRUE(names.recordName("same", i + 1));
  EXPECT_FALSE(names.recordName("same", 4001));
  EXPECT_EQ(names.failure(), "CAN'T SET occTable");

  setAllocationLimitForTests(1000);
  NameTables more;
  ASSERT_TRUE(more.resetSymbols());
  std::deque<std::string> text;
  for (int i = 0; i < 1000; ++i) {
    text.push_back("n" + std::to_string(i));
    ASSERT_TRUE(more.recordName(text.back().c_str(), 0));
  }
  EXPECT_TRUE(more.recordName("n7", 0));  // found: no growth needed
  EXPECT_FALSE(more.recordName("new", 0));
  EXPECT_EQ(more.failure(), "CAN'T SET table->symbol");
  EXPECT_EQ(more.symbolTable.symbolCnt(), 1000);

  setAllocationLimitForTests(999);
  NameTables none;
  EXPECT_FALSE(none.resetSymbols());
  EXPECT_EQ(none.failure(), "CAN'T SET table->symbol");
}

// The sorted array of the name table in its plainest form: the reference for the fast one.
struct RefTable {
  std::vector<NameEntry> symbol;
  int symbolMax = 0;

  NameEntry* search(const char* name, int* lo) {
    *lo = -1;
    int hi = static_cast<int>(symbol.size());
    while (hi - *lo > 1) {
      int mid = (*lo + hi) / 2;
      int cmp = compareName(name, symbol[mid].name);
      if (cmp == 0) return &symbol[mid];
      (cmp > 0 ? *lo : hi) = mid;
    }
    return nullptr;
  }
  NameEntry* find(const char* name) {
    int lo;
    return search(name, &lo);
  }
  NameEntry* enter(const char* name) {
    int lo;
    if (NameEntry* e = search(name, &lo)) return e;
    if (static_cast<int>(symbol.size()) >= symbolMax) symbolMax = symbolMax * 3 / 2;
    return &*symbol.insert(symbol.begin() + (lo + 1), NameEntry{name, 0, -1, -1});
  }
};

struct RefNames {
  RefTable exact, wild, symbol;
  std::vector<Occurrence> occ;
  int occMax = 0;
  int defaultTable = 0;

  void reset() {
    symbol = RefTable{{}, 1000};
    occ.clear();
    occMax = 0;
  }
  void record(const char* name, int line) {
    int t = defaultTable;
    if (NameEntry* e = exact.find(name)) {
      if (e->tableNo < 0) return;
      t = e->tableNo;
    } else if (NameEntry* w = wild.find(name)) {
      if (w->tableNo < 0) return;
      t = w->tableNo;
    }
    NameEntry* s = symbol.enter(name);
    s->tableNo = t;
    if (line <= 0) return;
    if (static_cast<int>(occ.size()) >= occMax) occMax = occMax == 0 ? 4000 : occMax * 3 / 2;
    int o = static_cast<int>(occ.size());
    occ.push_back(Occurrence{line, -1});
    if (s->first < 0) s->first = o;
    if (s->last >= 0) occ[s->last].next = o;
    s->last = o;
  }
};

// Random names: a few letters, bytes above 0x7F, and '*' at the given rate.
struct NamePool {
  std::mt19937 rng;
  int maxLength = 4;
  std::deque<std::string> text;  // every call gets its own copy, so entries show their origin
  std::unordered_map<const char*, std::size_t> ids;
  const char* next(double starRate) {
    static const char letters[] = "abc_z\xE9\x80";
    std::string name;
    for (int n = 1 + static_cast<int>(rng() % maxLength); n > 0; --n) {
      bool star = std::uniform_real_distribution<double>(0, 1)(rng) < starRate;
      name += star ? '*' : letters[rng() % (sizeof letters - 1)];
    }
    text.push_back(name);
    ids[text.back().c_str()] = text.size() - 1;
    return text.back().c_str();
  }
  std::string id(const char* p) const {
    auto it = ids.find(p);
    return it != ids.end() ? "#" + std::to_string(it->second) : p ? "?" : "none";
  }
};

template <typename Entries>
std::string serialize(const Entries& entries, const std::vector<Occurrence>& occ,
                      const NamePool& pool) {
  std::string out;
  for (const auto& entry : entries) {
    const NameEntry& e = *entry;
    out += pool.id(e.name) + ":" + std::to_string(e.tableNo) + "/" + std::to_string(e.last);
    for (int o = e.first; o >= 0; o = occ[o].next) out += " " + std::to_string(occ[o].line);
    out += ";";
  }
  return out;
}

std::vector<const NameEntry*> refEntries(const RefTable& t) {
  std::vector<const NameEntry*> out;
  for (const NameEntry& e : t.symbol) out.push_back(&e);
  return out;
}

TEST(NameTable, MatchesTheSortedArrayOnRandomSequences) {
  for (unsigned seed = 0; seed < 150; ++seed) {
    NamePool pool{std::mt19937(seed), 4, {}, {}};
    // Some long runs, so that the table outgrows its internal pieces.
    const int ops = seed % 10 >= 8 ? 5000 : 400;
    if (ops > 400) pool.maxLength = 6;
    const double starRate = std::vector<double>{0, 0.03, 0.15, 0.4}[seed % 4];
    const int starFrom = seed % 3 == 0 ? ops * 2 / 3 : 0;  // a star arriving in a filled table
    NameTable table;
    RefTable ref;
    const int size = std::vector<int>{2, 3, 7, 1000}[(seed / 4) % 4];
    table.setTableSize(size);
    ref.symbolMax = size;
    for (int op = 0; op < ops; ++op) {
      const char* name = pool.next(op >= starFrom ? starRate : 0);
      bool enter = pool.rng() % 10 < 7;
      NameEntry* got = enter ? table.enterName(name) : table.findName(name);
      NameEntry* want = enter ? ref.enter(name) : ref.find(name);
      ASSERT_EQ(pool.id(got ? got->name : nullptr), pool.id(want ? want->name : nullptr))
          << "seed " << seed << " op " << op;
      if (enter) got->tableNo = want->tableNo = op;
      ASSERT_EQ(table.symbolCnt(), static_cast<int>(ref.symbol.size()));
      ASSERT_EQ(table.symbolMax(), ref.symbolMax);
    }
    ASSERT_EQ(serialize(table.entries(), {}, pool), serialize(refEntries(ref), {}, pool));
  }
}

TEST(RecordName, MatchesTheDesignOnRandomSequences) {
  for (unsigned seed = 0; seed < 60; ++seed) {
    NamePool pool{std::mt19937(1000 + seed), 4, {}, {}};
    NameTables names;
    RefNames ref;
    names.defaultTable = ref.defaultTable = 3;
    names.exactTable.setTableSize(1000);
    names.wildTable.setTableSize(200);
    ref.exact.symbolMax = 1000;
    ref.wild.symbolMax = 200;
    for (int i = 0; i < 40; ++i) {
      bool wild = i % 4 == 0;
      const char* name = pool.next(wild ? 0.3 : 0);
      if (wild && std::string(name).find('*') == std::string::npos) continue;
      int tableNo = static_cast<int>(pool.rng() % 4) - 1;
      (wild ? names.wildTable : names.exactTable).enterName(name)->tableNo = tableNo;
      (wild ? ref.wild : ref.exact).enter(name)->tableNo = tableNo;
    }
    const double starRate = seed % 2 ? 0.05 : 0;
    for (int round = 0; round < 3; ++round) {
      ASSERT_TRUE(names.resetSymbols());
      ref.reset();
      int line = 1;
      for (int op = 0; op < 300; ++op) {
        line += static_cast<int>(pool.rng() % 3);
        int at = pool.rng() % 20 == 0 ? -static_cast<int>(pool.rng() % 2) : line;
        const char* name = pool.next(starRate);
        ASSERT_TRUE(names.recordName(name, at));
        ref.record(name, at);
      }
      ASSERT_EQ(names.occCnt(), static_cast<int>(ref.occ.size()));
      ASSERT_EQ(names.occMax(), ref.occMax);
      ASSERT_EQ(serialize(names.symbolTable.entries(), names.occTable(), pool),
                serialize(refEntries(ref.symbol), ref.occ, pool))
          << "seed " << seed << " round " << round;
    }
  }
}

// A worst case for a plain sorted array: 300,000 distinct names after a '*' name, so every
// search runs the bisection; a plain sorted array would move ~10^10 entries here.
TEST(NameTable, ManyDistinctNamesAfterAStar) {
  NameTables names;
  ASSERT_TRUE(names.resetSymbols());
  std::mt19937 rng(7);
  std::vector<std::string> text(300000);
  for (int i = 0; i < 300000; ++i) text[i] = "s" + std::to_string(rng()) + "_" + std::to_string(i);
  ASSERT_TRUE(names.recordName("zz*", 1));
  for (int i = 0; i < 300000; ++i) ASSERT_TRUE(names.recordName(text[i].c_str(), i + 2));
  EXPECT_EQ(names.symbolTable.symbolCnt(), 300001);
  std::vector<const NameEntry*> entries = names.symbolTable.entries();
  ASSERT_EQ(entries.size(), 300001u);
  for (std::size_t i = 1; i + 1 < entries.size(); ++i)
    ASSERT_LT(compareName(entries[i - 1]->name, entries[i]->name), 0);
}

}  // namespace
}  // namespace mervik::analysis
