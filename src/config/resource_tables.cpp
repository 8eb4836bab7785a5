#include "config/resource_tables.hpp"

#include <new>

namespace mervik::config {
namespace {

constexpr char defaultTableName[] = "SYMBOL TABLE";
constexpr int flagListed = 1;
constexpr int flagDefault = 2;

}  // namespace

int ResourceTables::addTable(const char* title, bool listed, platform::Console& console) {
  // The caller's limit test keeps us inside the slots; refuse rather than write past them.
  if (rscTableCnt < 0 || rscTableCnt >= rscTableMax) return -1;
  if (title == nullptr) title = "";
  rscTable[rscTableCnt] = RscTable{title, listed ? flagListed : 0};
  console.write("\n   ");
  console.write(title);
  return rscTableCnt++;
}

void ResourceTables::addDefaultTable(platform::Console& console) {
  if (rscTableCnt < 0 || rscTableCnt >= rscTableMax) return;
  rscTable[rscTableCnt] = RscTable{defaultTableName, flagListed | flagDefault};
  console.write("\n   ");
  console.write(defaultTableName);
  console.write(" (default)");
  defaultTable = rscTableCnt++;
}

bool ResourceTables::headings(std::vector<analysis::TableHeading>* list) const {
  try {
    list->clear();
    list->reserve(rscTableMax);
  } catch (const std::bad_alloc&) {
    return false;
  }
  for (int i = 0; i < rscTableCnt && i < rscTableMax; ++i) {
    const RscTable& table = rscTable[i];
    list->push_back({table.name != nullptr ? table.name : "", (table.flags & flagListed) != 0});
  }
  return true;
}

}  // namespace mervik::config
