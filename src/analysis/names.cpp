// Name tables with their occurrences, and the cross-reference report.
//
// A name table behaves exactly like a sorted array searched by bisection (lo = -1,
// hi = symbolCnt, the sought name on the left of compareName) with insertion at lo + 1. The
// entries are kept in rank order in a list of chunks, so that reading the entry at a rank and
// inserting at a rank stay cheap for large tables. While neither the table nor the sought name
// holds a '*', compareName is a strict total order and the bisection finds a name iff an equal
// one is stored, so a hash map answers those look-ups directly.

#include "analysis/names.hpp"

#include <algorithm>
#include <climits>
#include <deque>
#include <new>
#include <unordered_map>

namespace mervik::analysis {

namespace {

const char* const tableFailure = "CAN'T SET table->symbol";
const char* const occFailure = "CAN'T SET occTable";

std::int64_t allocationLimit = 0;

bool allowed(std::int64_t entries) {
  return entries <= INT_MAX && (allocationLimit <= 0 || entries <= allocationLimit);
}

// A byte as the signed 8-bit value the name order uses: 0x80 to 0xFF are negative.
int signedByte(char c) {
  int v = static_cast<unsigned char>(c);
  return v >= 128 ? v - 256 : v;
}

bool hasStar(std::string_view name) { return name.find('*') != std::string_view::npos; }

// Rank order splits a chunk above this size, so an insertion moves at most this many entries.
constexpr std::size_t chunkMax = 1024;

}  // namespace

int compareName(const char* a, const char* b) {
  for (;; ++a, ++b) {
    int ca = signedByte(*a);
    int cb = signedByte(*b);
    if (ca == '*' || cb == '*') return 0;
    if (ca == 0) return -cb;
    if (cb == 0) return ca;
    if (ca != cb) return ca > cb ? 1 : -1;
  }
}

struct NameTable::Impl {
  std::deque<NameEntry> store;  // the entries; their addresses never change
  // The name beside its entry spares the bisection one memory access per step.
  struct Slot {
    const char* name;
    NameEntry* entry;
  };
  std::vector<std::vector<Slot>> chunks;  // the entries in rank order, in pieces
  std::vector<int> chunkStart;            // rank of each chunk's first entry
  std::unordered_map<std::string_view, NameEntry*> byName;
  bool hashed = true;  // byName is complete and no stored name holds a '*'
  int symbolCnt = 0;
  int symbolMax = 0;

  const Slot& at(int rank) const;
  int search(const char* name, NameEntry** found) const;
  void insertAt(int rank, NameEntry* entry);
  void splitChunk(std::size_t c);
};

const NameTable::Impl::Slot& NameTable::Impl::at(int rank) const {
  auto it = std::upper_bound(chunkStart.begin(), chunkStart.end(), rank);
  auto c = static_cast<std::size_t>(it - chunkStart.begin()) - 1;
  return chunks[c][static_cast<std::size_t>(rank - chunkStart[c])];
}

// The bisection of the sorted array, step for step. Returns lo as the search left it.
int NameTable::Impl::search(const char* name, NameEntry** found) const {
  int lo = -1;
  int hi = symbolCnt;
  while (hi - lo > 1) {
    int mid = (lo + hi) / 2;  // lo + hi >= 0 here, so this rounds down
    const Slot& slot = at(mid);
    int cmp = compareName(name, slot.name);
    if (cmp == 0) {
      *found = slot.entry;
      return lo;
    }
    if (cmp > 0) {
      lo = mid;
    } else {
      hi = mid;
    }
  }
  *found = nullptr;
  return lo;
}

// May throw std::bad_alloc before anything has changed.
void NameTable::Impl::insertAt(int rank, NameEntry* entry) {
  if (chunks.empty()) {
    chunks.reserve(1);
    chunkStart.reserve(1);
    chunks.emplace_back(1, Slot{entry->name, entry});
    chunkStart.push_back(0);
    return;
  }
  auto it = std::upper_bound(chunkStart.begin(), chunkStart.end(), rank);
  auto c = static_cast<std::size_t>(it - chunkStart.begin()) - 1;
  auto& chunk = chunks[c];
  chunk.insert(chunk.begin() + (rank - chunkStart[c]), Slot{entry->name, entry});
  for (std::size_t j = c + 1; j < chunkStart.size(); ++j) ++chunkStart[j];
  if (chunk.size() > chunkMax) splitChunk(c);
}

// Splitting only keeps insertions cheap: when memory runs short the chunk stays whole.
void NameTable::Impl::splitChunk(std::size_t c) {
  try {
    std::size_t half = chunks[c].size() / 2;
    std::vector<Slot> upper(chunks[c].begin() + static_cast<std::ptrdiff_t>(half),
                            chunks[c].end());
    chunks.reserve(chunks.size() + 1);
    chunkStart.reserve(chunkStart.size() + 1);
    chunks.insert(chunks.begin() + static_cast<std::ptrdiff_t>(c) + 1, std::move(upper));
    chunkStart.insert(chunkStart.begin() + static_cast<std::ptrdiff_t>(c) + 1,
                      chunkStart[c] + static_cast<int>(half));
    chunks[c].resize(half);
  } catch (const std::bad_alloc&) {
  }
}

NameTable::NameTable() = default;
NameTable::~NameTable() = default;
NameTable::NameTable(NameTable&&) noexcept = default;
NameTable& NameTable::operator=(NameTable&&) noexcept = default;

bool NameTable::setTableSize(int n) {
  try {
    if (n <= 0) {
      impl_.reset();
      return true;
    }
    if (!allowed(n)) return false;
    if (!impl_) impl_ = std::make_unique<Impl>();
    // The entries in use are kept: a smaller size cannot drop them.
    impl_->symbolMax = std::max(n, impl_->symbolCnt);
    return true;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

NameEntry* NameTable::findName(const char* name) {
  if (!impl_ || impl_->symbolCnt == 0) return nullptr;
  std::string_view key(name);
  if (impl_->hashed && !hasStar(key)) {
    auto it = impl_->byName.find(key);
    return it == impl_->byName.end() ? nullptr : it->second;
  }
  NameEntry* found = nullptr;
  impl_->search(name, &found);
  return found;
}

namespace {

// Grows by half, truncated; a table too small for that grows by one.
bool growTable(NameTable& table) {
  std::int64_t grown = std::int64_t{table.symbolMax()} * 3 / 2;
  if (grown <= table.symbolCnt()) grown = std::int64_t{table.symbolCnt()} + 1;
  return allowed(grown) && table.setTableSize(static_cast<int>(grown));
}

// Room for the next occurrence: 4000 first, then half as much again, truncated.
bool growOccurrences(std::vector<Occurrence>& occTable, int& occMax) {
  std::int64_t grown = occMax == 0 ? 4000 : std::int64_t{occMax} * 3 / 2;
  if (!allowed(grown)) return false;
  try {
    occTable.reserve(static_cast<std::size_t>(grown));
  } catch (const std::bad_alloc&) {
    return false;
  }
  occMax = static_cast<int>(grown);
  return true;
}

}  // namespace

NameEntry* NameTable::enterName(const char* name) {
  try {
    if (!impl_) impl_ = std::make_unique<Impl>();
    Impl& t = *impl_;
    std::string_view key(name);
    bool star = hasStar(key);
    if (t.hashed && !star) {
      auto it = t.byName.find(key);
      if (it != t.byName.end()) return it->second;
    }
    NameEntry* found = nullptr;
    int lo = t.search(name, &found);
    if (found) return found;
    if (t.symbolCnt >= t.symbolMax && !growTable(*this)) return nullptr;
    t.store.push_back(NameEntry{name, 0, -1, -1});
    NameEntry* entry = &t.store.back();
    try {
      t.insertAt(lo + 1, entry);
    } catch (const std::bad_alloc&) {
      t.store.pop_back();
      return nullptr;
    }
    ++t.symbolCnt;
    if (t.hashed && !star) {
      try {
        t.byName.emplace(key, entry);
        return entry;
      } catch (const std::bad_alloc&) {
        // The search alone still gives every answer.
      }
    }
    if (t.hashed) {
      t.hashed = false;
      t.byName = {};
    }
    return entry;
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

int NameTable::symbolCnt() const { return impl_ ? impl_->symbolCnt : 0; }
int NameTable::symbolMax() const { return impl_ ? impl_->symbolMax : 0; }

std::vector<const NameEntry*> NameTable::entries() {
  std::vector<const NameEntry*> out;
  if (!impl_) return out;
  try {
    out.reserve(static_cast<std::size_t>(impl_->symbolCnt));
    for (const auto& chunk : impl_->chunks) {
      for (const auto& slot : chunk) out.push_back(slot.entry);
    }
  } catch (const std::bad_alloc&) {
    out.clear();
  }
  return out;
}

bool NameTables::resetSymbols() {
  symbolTable.setTableSize(0);
  bool ok = symbolTable.setTableSize(1000);
  std::vector<Occurrence>().swap(occTable_);
  occCnt_ = 0;
  occMax_ = 0;
  if (!ok) failure_ = tableFailure;
  return ok;
}

bool NameTables::recordName(const char* name, int line) {
  int t = defaultTable;
  if (NameEntry* e = exactTable.findName(name)) {
    if (e->tableNo < 0) return true;
    t = e->tableNo;
  } else if (NameEntry* w = wildTable.findName(name)) {
    if (w->tableNo < 0) return true;
    t = w->tableNo;
  }
  NameEntry* s = symbolTable.enterName(name);
  if (!s) {
    failure_ = tableFailure;
    return false;
  }
  s->tableNo = t;
  if (line <= 0) return true;
  if (occCnt_ >= occMax_ && !growOccurrences(occTable_, occMax_)) {
    failure_ = occFailure;
    return false;
  }
  int o = occCnt_++;
  occTable_.push_back(Occurrence{line, -1});  // within the reserved room: cannot throw
  if (s->first < 0) s->first = o;
  if (s->last >= 0) occTable_[static_cast<std::size_t>(s->last)].next = o;
  s->last = o;
  return true;
}

namespace {

// Appends "%*d%c" of (7, line, ' ') without the cost of a formatted print: the cross-reference
// of a large netlist writes millions of numbers.
void appendNumber(std::string& text, int line) {
  char digits[16];
  char* end = digits + sizeof digits;
  char* p = end;
  unsigned long long magnitude = line < 0 ? 0ULL - static_cast<unsigned long long>(line)
                                          : static_cast<unsigned long long>(line);
  do {
    *--p = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  if (line < 0) *--p = '-';
  const std::ptrdiff_t width = end - p;
  if (width < 7) text.append(static_cast<std::size_t>(7 - width), ' ');
  text.append(p, end).push_back(' ');
}

// One entry's lines: the name field, then the line numbers in columns of 8, a repeated line
// marked by '+' on the previous number, wrapped to continuation lines of 7 blanks.
void writeEntry(const NameEntry& e, const std::vector<Occurrence>& occ, int lineWidth,
                Navigation::Links links, TextEncoding encoding, std::string& text,
                pdf::LineSink& sink) {
  text.assign("    ");
  if (encoding == TextEncoding::utf8) {
    appendCp1252(text, e.name);
  } else {
    text.append(e.name);
  }
  text.append("  ");
  if (links != Navigation::Links::off && e.first >= 0) {
    sink.link(4, text.size() - 2, occ[static_cast<std::size_t>(e.first)].line);
  }
  while ((static_cast<std::int64_t>(text.size()) - 7) % 8 != 0) text += ' ';
  int last = 0;
  for (int o = e.first; o >= 0; o = occ[static_cast<std::size_t>(o)].next) {
    int line = occ[static_cast<std::size_t>(o)].line;
    if (line == last) {
      text.back() = '+';
      continue;
    }
    last = line;
    if (static_cast<std::int64_t>(text.size()) + 8 > lineWidth) {
      sink.line(text);
      text.assign(7, ' ');
    }
    const std::size_t at = text.size();
    appendNumber(text, line);
    if (links == Navigation::Links::all) sink.link(text.find_first_not_of(' ', at), text.size() - 1, line);
  }
  sink.line(text);
}

}  // namespace

void writeCrossReference(NameTables& names, const std::vector<TableHeading>& tables,
                         int lineWidth, pdf::LineSink& sink, const Navigation& navigation,
                         TextEncoding encoding) {
  try {
    std::vector<const NameEntry*> entries = names.symbolTable.entries();
    std::string text;  // one listing line; it grows as a long name or wide numbers need
    for (std::size_t i = 0; i < tables.size(); ++i) {
      if (!tables[i].listed) continue;
      bool headed = false;
      for (const NameEntry* e : entries) {
        if (e->tableNo != static_cast<int>(i)) continue;
        if (!headed) {
          sink.line("");
          if (navigation.outline) sink.outlineEntry(tables[i].title, 0);
          sink.line(tables[i].title);
          sink.line("");
          headed = true;
        }
        writeEntry(*e, names.occTable(), lineWidth, navigation.links, encoding, text, sink);
      }
    }
  } catch (const std::bad_alloc&) {
    // Only a name longer than the memory left can get here; the report ends early.
  }
}

void setAllocationLimitForTests(std::int64_t entries) { allocationLimit = entries; }

}  // namespace mervik::analysis
