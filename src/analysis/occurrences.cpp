#include "analysis/occurrences.hpp"

#include <new>

namespace mervik::analysis {
namespace {

// Room for n entry numbers, not cleared: each is written before it is read.
std::unique_ptr<int[]> room(int n) {
  return std::unique_ptr<int[]>(new int[static_cast<std::size_t>(n)]);
}

}  // namespace

OccurrenceTable::OccurrenceTable() = default;
OccurrenceTable::~OccurrenceTable() = default;

std::int64_t OccurrenceTable::grownMax() const {
  return occMax_ == 0 ? 4000 : std::int64_t{occMax_} * 3 / 2;
}

bool OccurrenceTable::add(int entry, int line) {
  if (grouped_ && !ungroup()) return false;
  try {
    if (occCnt_ >= occMax_) {
      // Only the new room is allocated: what is recorded stays where it is.
      const auto grown = static_cast<int>(grownMax());
      blocks_.reserve(blocks_.size() + 1);
      const int size = grown - occMax_;
      blocks_.push_back(Block{room(size), size});
      lastCnt_ = 0;
      occMax_ = grown;
    }
    if (runs_.empty() || runs_.back().line != line) runs_.push_back(Run{line, occCnt_});
  } catch (const std::bad_alloc&) {
    return false;
  }
  blocks_.back().entries[static_cast<std::size_t>(lastCnt_++)] = entry;
  ++occCnt_;
  return true;
}

bool OccurrenceTable::group(int entryCnt) {
  if (grouped_ && static_cast<int>(start_.size()) == entryCnt + 1) return true;
  if (grouped_ && !ungroup()) return false;
  try {
    // Counted two places up, summed, then filled with start[e + 1] as entry e's cursor: once
    // filled, start[e] is where entry e's lines begin and the extra place can go.
    std::vector<int> start(static_cast<std::size_t>(entryCnt) + 2, 0);
    std::vector<int> lines(static_cast<std::size_t>(occCnt_));
    const auto eachEntry = [this](auto visit) {  // in recording order
      for (const Block& b : blocks_) {
        const int n = &b == &blocks_.back() ? lastCnt_ : b.size;
        for (int i = 0; i < n; ++i) visit(static_cast<std::size_t>(b.entries[i]));
      }
    };
    eachEntry([&](std::size_t e) { ++start[e + 2]; });
    for (std::size_t e = 1; e < start.size(); ++e) start[e] += start[e - 1];
    int o = 0;
    std::size_t run = 0;
    eachEntry([&](std::size_t e) {
      while (run + 1 < runs_.size() && runs_[run + 1].first <= o) ++run;
      lines[static_cast<std::size_t>(start[e + 1]++)] = runs_[run].line;
      ++o;
    });
    start.pop_back();
    start_.swap(start);
    lines_.swap(lines);
  } catch (const std::bad_alloc&) {
    return false;
  }
  // The grouped lines now hold everything: the recording order across names is not needed.
  std::vector<Block>().swap(blocks_);
  std::vector<Run>().swap(runs_);
  grouped_ = true;
  return true;
}

void OccurrenceTable::linesOf(int entry, const int** first, const int** last) const {
  const auto e = static_cast<std::size_t>(entry);
  *first = lines_.data() + start_[e];
  *last = lines_.data() + start_[e + 1];
}

// Back to recording: the lines entry by entry, which keeps each entry's order; the room stays.
bool OccurrenceTable::ungroup() {
  try {
    std::vector<Block> blocks;
    std::vector<Run> runs;
    blocks.push_back(Block{room(occMax_), occMax_});
    int o = 0;
    for (std::size_t e = 0; e + 1 < start_.size(); ++e) {
      for (int i = start_[e]; i < start_[e + 1]; ++i, ++o) {
        const int line = lines_[static_cast<std::size_t>(i)];
        if (runs.empty() || runs.back().line != line) runs.push_back(Run{line, o});
        blocks.back().entries[static_cast<std::size_t>(o)] = static_cast<int>(e);
      }
    }
    blocks_.swap(blocks);
    runs_.swap(runs);
    lastCnt_ = o;
  } catch (const std::bad_alloc&) {
    return false;
  }
  std::vector<int>().swap(start_);
  std::vector<int>().swap(lines_);
  grouped_ = false;
  return true;
}

void OccurrenceTable::clear() {
  std::vector<Block>().swap(blocks_);
  std::vector<Run>().swap(runs_);
  std::vector<int>().swap(start_);
  std::vector<int>().swap(lines_);
  lastCnt_ = occCnt_ = occMax_ = 0;
  grouped_ = false;
}

}  // namespace mervik::analysis
