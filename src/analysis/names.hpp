#pragma once
// Name tables with their occurrences, and the cross-reference report.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/text_encoding.hpp"
#include "analysis/units.hpp"
#include "pdf/line_sink.hpp"

namespace mervik::analysis {

/// Compares two zero-terminated names as signed bytes; a '*' in either matches the rest of the
/// other. Negative, 0 or positive; only the sign means anything.
int compareName(const char* a, const char* b);

/// One entry of a name table. `name` is not owned: it points into the resource text or into
/// the current source's text buffer.
struct NameEntry {
  const char* name = nullptr;
  int tableNo = 0;   // resource table number, -1 for an excluded table's name
  int first = -1;    // index in occTable of the first occurrence, -1 none
  int last = -1;     // index in occTable of the last occurrence, -1 none
};

/// One occurrence of a name: its line and the index of the next occurrence (-1 none).
struct Occurrence {
  int line = 0;
  int next = -1;
};

/// A name table: names kept in the order of compareName, looked up by binary search, with the
/// '*' rule exactly as a sorted array searched that way gives it.
class NameTable {
 public:
  NameTable();
  ~NameTable();
  NameTable(NameTable&&) noexcept;
  NameTable& operator=(NameTable&&) noexcept;

  /// n > 0: room for n entries (symbolMax = n); n <= 0: release and empty the table.
  /// False when the storage cannot be had ("CAN'T SET table->symbol").
  bool setTableSize(int n);
  /// The entry that matches `name`, or nullptr.
  NameEntry* findName(const char* name);
  /// The entry that matches `name`, or a new one (first/last none, tableNo left to the caller).
  /// nullptr when the table cannot grow ("CAN'T SET table->symbol").
  NameEntry* enterName(const char* name);

  int symbolCnt() const;
  int symbolMax() const;
  /// The entries in table order (ascending under compareName), for reports and tests.
  std::vector<const NameEntry*> entries();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

/// The three name tables and the occurrences of the current source.
class NameTables {
 public:
  NameTable exactTable;   // plain names of the resource tables
  NameTable wildTable;    // wildcard names of the resource tables
  NameTable symbolTable;  // names of the current source
  int defaultTable = 0;   // number of "SYMBOL TABLE"

  /// Per-source reset: symbolTable emptied with room for 1000, occTable released.
  bool resetSymbols();
  /// Records a scanned name at a line: classed by exactTable, then wildTable, dropped when its
  /// class is excluded; an occurrence is added when line > 0.
  /// False with "CAN'T SET table->symbol" or "CAN'T SET occTable" in failure().
  bool recordName(const char* name, int line);

  int occCnt() const { return occCnt_; }
  int occMax() const { return occMax_; }
  const std::vector<Occurrence>& occTable() const { return occTable_; }
  const std::string& failure() const { return failure_; }

 private:
  std::vector<Occurrence> occTable_;
  int occCnt_ = 0;
  int occMax_ = 0;
  std::string failure_;
};

/// A resource table as the cross-reference sees it: its title and whether it is listed.
struct TableHeading {
  std::string_view title;
  bool listed = true;
};

/// Writes the cross-reference of the current source: for each listed table with names, in
/// list order, "", its title, "", then one entry line per name with its line numbers.
/// With navigation, each title is an outline entry and each name links to its first line (and
/// with Links::all each line number to its line). For a UTF-8 source the names are shown the
/// way the layout shows its characters, one column each.
void writeCrossReference(NameTables& names, const std::vector<TableHeading>& tables,
                         int lineWidth, pdf::LineSink& sink,
                         const Navigation& navigation = Navigation(),
                         TextEncoding encoding = TextEncoding::eightBit);

/// Test hook: the largest number of entries any name table or occTable may allocate
/// (0: no limit), so that allocation failures can be provoked.
void setAllocationLimitForTests(std::int64_t entries);

}  // namespace mervik::analysis
