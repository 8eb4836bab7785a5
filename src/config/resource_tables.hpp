#pragma once
// The resource tables list: the classes of the cross-reference, in their order.

#include <array>
#include <vector>

#include "analysis/names.hpp"
#include "platform/console.hpp"

namespace mervik::config {

struct RscTable {
  const char* name = nullptr;  // title; points into the resource text or is "SYMBOL TABLE"
  int flags = 0;               // bit 0: listed; bit 1: the default table
};

class ResourceTables {
 public:
  static constexpr int rscTableMax = 20;

  /// Appends a table of the resource file and prints "\n   %s" with its title; returns its
  /// number. The caller keeps the count below rscTableMax.
  int addTable(const char* title, bool listed, platform::Console& console);
  /// Appends "SYMBOL TABLE" (flags 3), prints "\n   %s (default)" and sets defaultTable.
  void addDefaultTable(platform::Console& console);

  /// The tables as the cross-reference reads them into `list`; false when there is no memory
  /// for them, which must end the run: without its headings no cross-reference is listed.
  bool headings(std::vector<analysis::TableHeading>* list) const;

  std::array<RscTable, rscTableMax> rscTable{};
  int rscTableCnt = 0;
  int defaultTable = 0;
};

}  // namespace mervik::config
