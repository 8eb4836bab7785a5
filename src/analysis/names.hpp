#pragma once
// Name tables with their occurrences, and the cross-reference report.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/occurrences.hpp"
#include "analysis/text_encoding.hpp"
#include "analysis/units.hpp"
#include "pdf/line_sink.hpp"

namespace mervik::analysis {

/// Compares two zero-terminated names as signed bytes; a '*' in either matches the rest of the
/// other. Negative, 0 or positive; only the sign means anything.
int compareName(const char* a, const char* b);

/// A resource table as the cross-reference sees it: its title and whether it is listed.
struct TableHeading {
  std::string_view title;
  bool listed = true;
};

/// One entry of a name table. `name` is not owned: it points into the resource text or into
/// the current source's text buffer. Its occurrences are kept by NameTables, not here.
struct NameEntry {
  const char* name = nullptr;
  int tableNo = 0;  // resource table number, -1 for an excluded table's name
};

/// A name table: names kept in the order of compareName, looked up by binary search, with the
/// '*' rule exactly as a sorted array searched that way gives it. Entry addresses stay valid
/// until the table grows (as they would in a resized array).
class NameTables;

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
  /// The entry that matches `name`, or a new one (tableNo left to the caller).
  /// nullptr when the table cannot grow ("CAN'T SET table->symbol").
  NameEntry* enterName(const char* name);

  int symbolCnt() const;
  int symbolMax() const;
  /// The entries in table order (ascending under compareName), for reports and tests.
  std::vector<const NameEntry*> entries();

 private:
  friend class NameTables;
  friend bool writeCrossReference(NameTables&, const std::vector<TableHeading>&, int,
                                  pdf::LineSink&, const Navigation&, TextEncoding);
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

/// The three name tables and the occurrences of the current source. exactTable and wildTable
/// are filled before the first recordName and only searched after that.
class NameTables {
 public:
  NameTables();
  ~NameTables();
  NameTables(const NameTables&) = delete;
  NameTables& operator=(const NameTables&) = delete;

  NameTable exactTable;   // plain names of the resource tables
  NameTable wildTable;    // wildcard names of the resource tables
  NameTable symbolTable;  // names of the current source
  int defaultTable = 0;   // number of "SYMBOL TABLE"

  /// Per-source reset: symbolTable emptied with room for 1000, the occurrences released.
  bool resetSymbols();
  /// Gives back the memory of the current source's names and occurrences (the source text
  /// they point into is about to go); the next source starts with resetSymbols.
  void releaseSymbols();
  /// Records a scanned name at a line: classed by exactTable, then wildTable, dropped when its
  /// class is excluded; an occurrence is added when line > 0.
  /// False with "CAN'T SET table->symbol" or "CAN'T SET occTable" in failure().
  bool recordName(const char* name, int line);

  int occCnt() const { return occTable_.occCnt(); }
  int occMax() const { return occTable_.occMax(); }
  /// The lines of an symbolTable entry's occurrences in recording order, for tests.
  std::vector<int> lines(const NameEntry& entry);
  /// Calls visit(name, first, last) for each symbolTable entry of table `tableNo`, in the order
  /// the names were first met, with its lines in recording order in [first, last).
  /// False, with "CAN'T SET occTable" in failure(), when memory for it cannot be had.
  bool visitNames(int tableNo,
                  const std::function<void(const char*, const int*, const int*)>& visit);
  const std::string& failure() const { return failure_; }

 private:
  friend bool writeCrossReference(NameTables&, const std::vector<TableHeading>&, int,
                                  pdf::LineSink&, const Navigation&, TextEncoding);
  bool addOccurrence(int entry, int line);

  OccurrenceTable occTable_;
  std::string failure_;
};

/// Writes the cross-reference of the current source: for each listed table with names, in
/// list order, "", its title, "", then one entry line per name with its line numbers.
/// With navigation, each title is an outline entry and each name links to its first line (and
/// with Links::all each line number to its line). For a UTF-8 source the names are shown the
/// way the layout shows its characters, one column each.
/// False, with "CAN'T SET occTable" in names.failure(), when memory for it cannot be had.
bool writeCrossReference(NameTables& names, const std::vector<TableHeading>& tables,
                         int lineWidth, pdf::LineSink& sink,
                         const Navigation& navigation = Navigation(),
                         TextEncoding encoding = TextEncoding::eightBit);

/// Appends a line number as the cross-reference shows it: right-aligned in 7 columns and a
/// blank, "%7d " (a wider number widens its field).
void appendLineNumber(std::string& text, int line);

/// Test hook: the largest number of entries any name table or occTable may allocate
/// (0: no limit), so that allocation failures can be provoked.
void setAllocationLimitForTests(std::int64_t entries);

}  // namespace mervik::analysis
