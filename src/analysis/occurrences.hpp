#pragma once
// The occurrence table: where the names of one source occur, for its cross-reference.

#include <cstdint>
#include <memory>
#include <vector>

namespace mervik::analysis {

/// The occurrences of one source, each an entry number (a name's index in its name table) and a
/// line. Recorded in blocks that are never moved or copied, a line stored once for a run of
/// occurrences on it; grouped by entry when the report asks, each entry's lines in recording
/// order.
class OccurrenceTable {
 public:
  OccurrenceTable();
  ~OccurrenceTable();

  /// The room after the next growth: 4000 first, then half as much again, truncated.
  std::int64_t grownMax() const;
  /// Adds an occurrence; grows to grownMax() when full. False when the memory cannot be had.
  bool add(int entry, int line);
  int occCnt() const { return occCnt_; }
  int occMax() const { return occMax_; }

  /// Groups the lines by entry, for entries 0 to entryCnt - 1 (every recorded entry is below).
  /// False when the memory for it cannot be had. Adding again undoes the grouping.
  bool group(int entryCnt);
  /// After group(): the lines of an entry, in recording order, from `first` to `last`.
  void linesOf(int entry, const int** first, const int** last) const;

  /// Back to empty, the memory given back.
  void clear();

 private:
  bool ungroup();

  struct Block {
    std::unique_ptr<int[]> entries;
    int size;
  };
  struct Run {
    int line;
    int first;  // the first occurrence on `line`; the run lasts until the next one's first
  };
  std::vector<Block> blocks_;
  std::vector<Run> runs_;
  int lastCnt_ = 0;  // occurrences in the last block
  int occCnt_ = 0;
  int occMax_ = 0;

  bool grouped_ = false;
  std::vector<int> start_;  // after group(): where each entry's lines begin in lines_, and the end
  std::vector<int> lines_;
};

}  // namespace mervik::analysis
