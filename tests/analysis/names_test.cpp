#include "analysis/names.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <string_view>
#include <tuple>
#include <unordered_set>
#include <utility>
#include <vector>

#include "support/recording.hpp"

namespace mervik::analysis {

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
    EXPECT_EQ((compareName(c.a, c.b) > 0) - (compareName(c.a, c.b) < 0), c.sign) << c.a << c.b;
}

// Seeks or enters `name` in the table and in `ref`, a sorted array; both must give the same entry.
void step(NameTable& table, std::vector<const char*>& ref, const char* name, bool enter) {
  int lo = -1, hi = static_cast<int>(ref.size()), found = -1;
  while (found < 0 && hi - lo > 1) {
    const int mid = (lo + hi) / 2, cmp = compareName(name, ref[mid]);
    (cmp == 0 ? found : cmp > 0 ? lo : hi) = mid;
  }
  if (found < 0 && enter) ref.insert(ref.begin() + (found = lo + 1), name);
  const NameEntry* got = enter ? table.enterName(name) : table.findName(name);
  ASSERT_EQ(got ? got->name : nullptr, found < 0 ? nullptr : ref[found]) << name;
}

void expectEntries(NameTable& table, const std::vector<const char*>& ref) {
  const std::vector<const NameEntry*> entries = table.entries();
  ASSERT_EQ(entries.size(), ref.size());
  for (size_t i = 0; i < ref.size(); ++i) ASSERT_EQ(entries[i]->name, ref[i]) << i;
}

// Names of letters, '_', 0xE9, 0x80, '*' (some added late); capacity grows by half, by 1 below 2.
TEST(NameTable, MatchesASortedArrayOnRandomSequences) {
  for (unsigned seed = 0; seed < 60; ++seed) {
    std::mt19937 rng(seed);
    const unsigned ops = seed % 10 >= 8 ? 5000 : 400, starFrom = seed % 3 ? 0 : ops * 2 / 3;
    size_t refMax = std::vector<size_t>{0, 1, 2, 7, 1000}[seed / 4 % 5];
    std::vector<std::string> text(ops);  // each name its own copy, so an entry shows its origin
    std::vector<const char*> ref;
    NameTable table;
    table.setTableSize(static_cast<int>(refMax));
    for (unsigned op = 0; op < ops; ++op) {
      for (unsigned n = 1 + rng() % (ops / 2000 + 4); n > 0; --n)
        text[op] += op >= starFrom && rng() % 100 < seed % 4 * 13 ? '*'
                                                                  : "abc_z\xE9\x80"[rng() % 7];
      ASSERT_NO_FATAL_FAILURE(step(table, ref, text[op].c_str(), rng() % 10 < 7)) << seed;
      if (ref.size() > refMax) refMax = refMax < 2 ? refMax + 1 : refMax * 3 / 2;
      ASSERT_EQ(nums(table.symbolCnt(), table.symbolMax()), nums(ref.size(), refMax));
    }
    ASSERT_NO_FATAL_FAILURE(expectEntries(table, ref)) << seed;
  }
}

// A million netlist-like names around the 8 bytes compared at once, then '*' names on top.
TEST(NameTable, AMillionNamesMatchASortedArray) {
  std::mt19937 rng(11);
  std::vector<std::string> text(1000000);
  std::unordered_set<std::string_view> entered;
  NameTable table;
  table.setTableSize(1000);
  for (std::string& name : text) {
    const unsigned kind = rng() % 4, n = rng() % 300000;
    name = kind == 0   ? "u" + std::to_string(n)
           : kind == 1 ? "\\blk/n" + std::to_string(n) + "\\" : "";
    for (unsigned k = kind < 2 ? 0 : 5 + rng() % 6; k > 0; --k)
      name += "ab_\xE9\x80z0"[rng() % 7];
    const bool enter = rng() % 10 < 8, known = entered.count(name) != 0;
    const NameEntry* got = enter ? table.enterName(name.c_str()) : table.findName(name.c_str());
    ASSERT_EQ(got ? std::string(got->name) : "-" + name, enter || known ? name : "-" + name);
    if (enter) entered.insert(name);
  }
  std::vector<const char*> ref;
  for (std::string_view name : entered) ref.push_back(name.data());
  std::sort(ref.begin(), ref.end(),
            [](const char* a, const char* b) { return compareName(a, b) < 0; });
  ASSERT_NO_FATAL_FAILURE(expectEntries(table, ref));
  std::vector<std::string> more(400);
  for (size_t i = 0; i < more.size(); ++i) {
    more[i] = i % 2 ? "u" + std::to_string(rng() % 300000)
                    : text[rng() % text.size()].substr(0, 1 + rng() % 6);
    if (i % 4 == 0) more[i] += '*';
    ASSERT_NO_FATAL_FAILURE(step(table, ref, more[i].c_str(), i >= 200));
  }
  expectEntries(table, ref);
}

// Exact before wild, excluded (-1) dropped; after '#': symbols, occurrences. Then storage, growth.
TEST(NameTables, ClassAndListNamesAndGrowWithTheirChainsIntact) {
  NameTables names;
  names.defaultTable = 4;
  for (auto [name, no] : {std::pair{"signal", 1}, {"std_logic", 1}, {"hidden", 2}, {"unused", 0},
                          {"dropped", -1}, {"std_*", 3}, {"tmp*", -1}})
    (std::strchr(name, '*') ? names.wildTable : names.exactTable).enterName(name)->tableNo = no;
  const std::vector<TableHeading> tables = {{"EMPTY", true}, {"KEYWORDS", true},
      {"NOT LISTED", false}, {"TYPES", true}, {"SYMBOL TABLE", true}};
  const std::string head = "\nSYMBOL TABLE\n\n";
  const std::tuple<std::vector<std::pair<const char*, std::vector<int>>>, int, std::string>
      cases[] = {
      {{{"signal", {2, 2, 2, 5}}, {"x", {1}}, {"hidden", {4}}, {"std_logic", {2}},
        {"std_ulogic", {3}}, {"dropped", {6}}, {"tmp1", {7}}, {"nolines", {0, -2}}}, 100,
       "\nKEYWORDS\n\n    signal           2+      5 \n    std_logic        2 \n\nTYPES\n\n"
       "    std_ulogic               3 \n" + head + "    nolines    \n    x        1 \n# 6 8"},
      {{{"data_bus", {10, 20, 30, 40, 50, 60, 70, 80, 90, 100, 110, 120, 130}}, {"clk", {3, 3, 7}},
        {"a", {12}}}, 100, head + "    a       12 \n    clk              3+      7 \n" +
           "    data_bus        10      20      30      40      50      60      70      80  "
           "    90     100 \n           110     120     130 \n# 3 17"},
      {{{"ab", {1, 2, 2}}}, 10, head + "    ab         \n             1 \n             2+\n# 1 3"},
      {{{"x", {99999999, 123456789, 123456789, 1234567890}}}, 30,
       head + "    x  99999999 123456789+\n       1234567890 \n# 1 4"},  // the wrap counts 8
  };
  auto xref = [&](int lineWidth) {
    test::RecordingSink sink;
    writeCrossReference(names, tables, lineWidth, sink);
    return sink.joined();
  };
  for (const auto& [recorded, width, expected] : cases) {
    ASSERT_TRUE(names.resetSymbols());
    for (const auto& [name, lines] : recorded)
      for (int line : lines) ASSERT_TRUE(names.recordName(name, line));
    EXPECT_EQ(xref(width) + '#' + nums(names.symbolTable.symbolCnt(), names.occCnt()), expected);
  }
  // Allowed 1000 entries, the 1001st name and any occurrence fail; freed, both grow by half.
  setAllocationLimitForTests(1000);  // no ASSERT until it is lifted again
  std::string text[1000], got = nums(names.resetSymbols());  // the table points into text
  for (int i = 0; i < 1000; ++i)
    EXPECT_TRUE(names.recordName((text[i] = "n" + std::to_string(i)).c_str(), 0));
  for (auto [name, line] : {std::pair{"n7", 0}, {"new", 0}, {"n7", 1}})  // "n7" needs no growth
    got += nums(names.recordName(name, line)) + names.failure();
  setAllocationLimitForTests(0);
  EXPECT_EQ(got, " 1 1 0CAN'T SET table->symbol 0CAN'T SET occTable");
  const char* cycle[] = {"u", "v", "w", "v"};
  for (int i = 0; i < 4000; ++i) ASSERT_TRUE(names.recordName(cycle[i % 4], 1 + i / 5));
  const std::string before = xref(100), max = nums(names.occMax());
  ASSERT_TRUE(names.recordName("zz", 9999));
  EXPECT_EQ(max + xref(100) + nums(names.occMax(), names.occCnt(), names.symbolTable.symbolMax()),
            " 4000" + before + "    zz            9999 \n 6000 4001 1500");
}

}  // namespace mervik::analysis
