// Name tables with their occurrences, and the cross-reference report.
//
// A name table behaves exactly like a sorted array searched by bisection (lo = -1,
// hi = symbolCnt, the sought name on the left of compareName) with insertion at lo + 1. While no
// stored name holds a '*', compareName is a strict total order: the bisection finds a name iff
// an equal one is stored, and the array is simply the stored names sorted. So such a table is a
// flat array of entries in insertion order with an open-addressed hash index, and its order is
// made by one sort when a report asks for it. Only a '*' (in a stored or a sought name) needs the
// bisection itself; from then on the entries are also kept in rank order, in a list of chunks,
// so that reading and inserting at a rank stay cheap for large tables.

#include "analysis/names.hpp"

#include <algorithm>
#include <climits>
#include <cstring>
#include <new>

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

// Rank order splits a chunk above this size, so an insertion moves at most this many entries.
constexpr std::size_t chunkMax = 1024;

// A sought or stored name, measured and hashed once.
struct Key {
  const char* name;
  std::size_t length;
  std::uint32_t hash;
  bool star;
  std::uint64_t head;  // the first 8 bytes, zeros after the end: the whole of a shorter name
};

Key makeKey(const char* name) {
  Key k{name, std::strlen(name), 0, false, 0};
  k.star = std::memchr(name, '*', k.length) != nullptr;
  // 64-bit multiply-xor over 8-byte words; the tail is read byte by byte, never past the NUL.
  std::uint64_t h = 0x9E3779B97F4A7C15ULL ^ k.length;
  std::size_t i = 0;
  for (; i + 8 <= k.length; i += 8) {
    std::uint64_t w;
    std::memcpy(&w, name + i, 8);
    if (i == 0) k.head = w;
    h = (h ^ w) * 0xFF51AFD7ED558CCDULL;
    h ^= h >> 32;
  }
  std::uint64_t tail = 0;
  for (std::size_t j = 0; i + j < k.length; ++j) {
    tail |= std::uint64_t{static_cast<unsigned char>(name[i + j])} << (8 * j);
  }
  if (k.length < 8) k.head = tail;
  h = (h ^ tail) * 0xC4CEB9FE1A85EC53ULL;
  h ^= h >> 29;
  k.hash = static_cast<std::uint32_t>(h ^ (h >> 32));
  return k;
}

// The first 8 bytes of a star-free name as one number in compareName's order: a byte's signed
// value + 128, the end of the name 128 (the signed value 0), nothing after the end.
std::uint64_t orderPrefix(const char* name) {
  std::uint64_t prefix = 0;
  int i = 0;
  for (; i < 8 && name[i] != '\0'; ++i) {
    prefix = prefix << 8 | static_cast<std::uint64_t>(signedByte(name[i]) + 128);
  }
  if (i < 8) {
    prefix = prefix << 8 | 128;
    ++i;
  }
  return i < 8 ? prefix << (8 * (8 - i)) : prefix;
}

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
  std::vector<NameEntry> symbol;  // the entries in insertion order; capacity symbolMax
  int symbolMax = 0;

  // Hash index over `symbol`: each slot holds a name's hash, its entry index + 1 (0: free) and
  // its head, which settles a name of up to 7 bytes without reading the entry or the name: on
  // a table of a million names each of those reads is a cache miss.
  struct Slot {
    std::uint32_t hash;
    std::uint32_t entry;
    std::uint64_t head;
  };
  std::vector<Slot> slots;  // a power of two long, at most 7/10 in use
  bool hashed = true;       // no stored name holds a '*', and `slots` indexes every entry

  // Rank order, once a bisection has been needed: the name beside its entry index spares the
  // bisection one memory access per step.
  struct Ranked {
    const char* name;
    int entry;
  };
  std::vector<std::vector<Ranked>> chunks;
  std::vector<int> chunkStart;  // rank of each chunk's first entry
  bool ordered = false;         // chunks hold every entry

  int symbolCnt() const { return static_cast<int>(symbol.size()); }
  int lookup(const Key& k) const;
  void addSlot(const Key& k, int entry);
  void rehash(std::size_t size);
  std::vector<int> sortedEntries() const;
  std::vector<int> rankOrder() const;
  void makeOrder();
  const Ranked& at(int rank) const;
  int search(const char* name, int* found) const;
  void insertAt(int rank, int entry);
  void splitChunk(std::size_t c);
  int find(const Key& k);
  int enter(const Key& k, bool* failed);
};

int NameTable::Impl::lookup(const Key& k) const {
  if (slots.empty()) return -1;
  const std::size_t mask = slots.size() - 1;
  for (std::size_t i = k.hash & mask;; i = (i + 1) & mask) {
    const Slot& s = slots[i];
    if (s.entry == 0) return -1;
    if (s.hash != k.hash || s.head != k.head) continue;
    if (k.length < 8) return static_cast<int>(s.entry - 1);
    const char* stored = symbol[s.entry - 1].name;
    if (std::memcmp(stored + 8, k.name + 8, k.length - 8) == 0 && stored[k.length] == '\0') {
      return static_cast<int>(s.entry - 1);
    }
  }
}

// May throw std::bad_alloc before anything has changed.
void NameTable::Impl::addSlot(const Key& k, int entry) {
  if ((symbol.size() + 1) * 10 > slots.size() * 7) {
    rehash(std::max<std::size_t>(slots.size() * 2, 256));
  }
  const std::size_t mask = slots.size() - 1;
  std::size_t i = k.hash & mask;
  while (slots[i].entry != 0) i = (i + 1) & mask;
  slots[i] = Slot{k.hash, static_cast<std::uint32_t>(entry + 1), k.head};
}

void NameTable::Impl::rehash(std::size_t size) {
  std::vector<Slot> grown(size, Slot{0, 0, 0});
  const std::size_t mask = size - 1;
  for (const Slot& s : slots) {
    if (s.entry == 0) continue;
    std::size_t i = s.hash & mask;
    while (grown[i].entry != 0) i = (i + 1) & mask;
    grown[i] = s;
  }
  slots.swap(grown);
}

// The entries of a star-free table in compareName's order: sorted on their first 8 bytes, and
// on the rest only where those agree. May throw std::bad_alloc.
std::vector<int> NameTable::Impl::sortedEntries() const {
  struct Item {
    std::uint64_t prefix;
    int entry;
  };
  std::vector<Item> items(symbol.size());
  for (std::size_t i = 0; i < symbol.size(); ++i) {
    items[i] = Item{orderPrefix(symbol[i].name), static_cast<int>(i)};
  }
  std::sort(items.begin(), items.end(), [this](const Item& a, const Item& b) {
    if (a.prefix != b.prefix) return a.prefix < b.prefix;
    // Equal prefixes without an end in them: both names are longer than 8 bytes.
    return compareName(symbol[a.entry].name + 8, symbol[b.entry].name + 8) < 0;
  });
  std::vector<int> order(items.size());
  for (std::size_t i = 0; i < items.size(); ++i) order[i] = items[i].entry;
  return order;
}

std::vector<int> NameTable::Impl::rankOrder() const {
  if (!ordered) return sortedEntries();
  std::vector<int> order;
  order.reserve(symbol.size());
  for (const auto& chunk : chunks) {
    for (const Ranked& r : chunk) order.push_back(r.entry);
  }
  return order;
}

// From here on the rank order is kept beside the entries. May throw std::bad_alloc.
void NameTable::Impl::makeOrder() {
  if (ordered) return;
  std::vector<int> order = sortedEntries();
  std::vector<std::vector<Ranked>> pieces;
  std::vector<int> starts;
  const std::size_t step = chunkMax / 2;
  for (std::size_t r = 0; r < order.size(); r += step) {
    std::vector<Ranked>& piece = pieces.emplace_back();
    piece.reserve(std::min(step, order.size() - r) + 1);
    for (std::size_t j = r; j < std::min(r + step, order.size()); ++j) {
      piece.push_back(Ranked{symbol[static_cast<std::size_t>(order[j])].name, order[j]});
    }
    starts.push_back(static_cast<int>(r));
  }
  chunks.swap(pieces);
  chunkStart.swap(starts);
  ordered = true;
}

const NameTable::Impl::Ranked& NameTable::Impl::at(int rank) const {
  auto it = std::upper_bound(chunkStart.begin(), chunkStart.end(), rank);
  auto c = static_cast<std::size_t>(it - chunkStart.begin()) - 1;
  return chunks[c][static_cast<std::size_t>(rank - chunkStart[c])];
}

// The bisection of the sorted array, step for step. Returns lo as the search left it.
int NameTable::Impl::search(const char* name, int* found) const {
  int lo = -1;
  int hi = symbolCnt();
  while (hi - lo > 1) {
    int mid = (lo + hi) / 2;  // lo + hi >= 0 here, so this rounds down
    const Ranked& r = at(mid);
    int cmp = compareName(name, r.name);
    if (cmp == 0) {
      *found = r.entry;
      return lo;
    }
    if (cmp > 0) {
      lo = mid;
    } else {
      hi = mid;
    }
  }
  *found = -1;
  return lo;
}

// May throw std::bad_alloc before anything has changed.
void NameTable::Impl::insertAt(int rank, int entry) {
  const Ranked r{symbol[static_cast<std::size_t>(entry)].name, entry};
  if (chunks.empty()) {
    chunks.reserve(1);
    chunkStart.reserve(1);
    chunks.emplace_back(1, r);
    chunkStart.push_back(0);
    return;
  }
  auto it = std::upper_bound(chunkStart.begin(), chunkStart.end(), rank);
  auto c = static_cast<std::size_t>(it - chunkStart.begin()) - 1;
  auto& chunk = chunks[c];
  chunk.insert(chunk.begin() + (rank - chunkStart[c]), r);
  for (std::size_t j = c + 1; j < chunkStart.size(); ++j) ++chunkStart[j];
  if (chunk.size() > chunkMax) splitChunk(c);
}

// Splitting only keeps insertions cheap: when memory runs short the chunk stays whole.
void NameTable::Impl::splitChunk(std::size_t c) {
  try {
    std::size_t half = chunks[c].size() / 2;
    std::vector<Ranked> upper(chunks[c].begin() + static_cast<std::ptrdiff_t>(half),
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

// The index of the entry that matches, or -1. May throw std::bad_alloc (making the order).
int NameTable::Impl::find(const Key& k) {
  if (symbol.empty()) return -1;
  if (hashed && !k.star) return lookup(k);
  makeOrder();
  int found = -1;
  search(k.name, &found);
  return found;
}

namespace {

// Grows by half, truncated; a table too small for that grows by one.
std::int64_t grownSize(int symbolMax, int symbolCnt) {
  std::int64_t grown = std::int64_t{symbolMax} * 3 / 2;
  return grown <= symbolCnt ? std::int64_t{symbolCnt} + 1 : grown;
}

}  // namespace

// The index of the entry that matches, or of a new one; -1 with *failed when the table cannot
// grow. May throw std::bad_alloc before anything has changed.
int NameTable::Impl::enter(const Key& k, bool* failed) {
  if (hashed && !k.star) {
    int found = lookup(k);
    if (found >= 0) return found;
  }
  int lo = -1;
  if (!hashed || k.star || ordered) {
    makeOrder();
    int found = -1;
    lo = search(k.name, &found);
    if (found >= 0) return found;
  }
  if (symbolCnt() >= symbolMax) {
    const std::int64_t grown = grownSize(symbolMax, symbolCnt());
    if (!allowed(grown)) {
      *failed = true;
      return -1;
    }
    symbol.reserve(static_cast<std::size_t>(grown));
    symbolMax = static_cast<int>(grown);
  }
  const int entry = symbolCnt();
  symbol.push_back(NameEntry{k.name, 0});  // within the reserved room: cannot throw
  try {
    if (ordered) insertAt(lo + 1, entry);
    if (hashed && !k.star) addSlot(k, entry);
  } catch (const std::bad_alloc&) {
    symbol.pop_back();
    throw;
  }
  if (hashed && k.star) {
    // The bisection alone gives every answer from now on.
    hashed = false;
    std::vector<Slot>().swap(slots);
  }
  return entry;
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
    impl_->symbolMax = std::max(n, impl_->symbolCnt());
    impl_->symbol.reserve(static_cast<std::size_t>(impl_->symbolMax));
    return true;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

NameEntry* NameTable::findName(const char* name) {
  if (!impl_) return nullptr;
  try {
    int found = impl_->find(makeKey(name));
    return found < 0 ? nullptr : &impl_->symbol[static_cast<std::size_t>(found)];
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

NameEntry* NameTable::enterName(const char* name) {
  try {
    if (!impl_) impl_ = std::make_unique<Impl>();
    bool failed = false;
    int entry = impl_->enter(makeKey(name), &failed);
    return entry < 0 ? nullptr : &impl_->symbol[static_cast<std::size_t>(entry)];
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

int NameTable::symbolCnt() const { return impl_ ? impl_->symbolCnt() : 0; }
int NameTable::symbolMax() const { return impl_ ? impl_->symbolMax : 0; }

std::vector<const NameEntry*> NameTable::entries() {
  std::vector<const NameEntry*> out;
  if (!impl_) return out;
  try {
    const std::vector<int> order = impl_->rankOrder();
    out.reserve(order.size());
    for (int e : order) out.push_back(&impl_->symbol[static_cast<std::size_t>(e)]);
  } catch (const std::bad_alloc&) {
    out.clear();
  }
  return out;
}

// Room for the longest failure text, so that reporting a failed allocation allocates nothing.
NameTables::NameTables() { failure_.reserve(32); }
NameTables::~NameTables() = default;

bool NameTables::resetSymbols() {
  releaseSymbols();
  bool ok = symbolTable.setTableSize(1000);
  if (!ok) failure_ = tableFailure;
  return ok;
}

void NameTables::releaseSymbols() {
  symbolTable.setTableSize(0);
  occTable_.clear();
}

bool NameTables::addOccurrence(int entry, int line) {
  if (occTable_.occCnt() >= occTable_.occMax() && !allowed(occTable_.grownMax())) return false;
  return occTable_.add(entry, line);
}

bool NameTables::recordName(const char* name, int line) {
  const Key k = makeKey(name);
  NameTable::Impl* symbols = symbolTable.impl_.get();
  // A name recorded before has its class already: the resource tables have not changed since.
  int s = symbols && symbols->hashed && !k.star ? symbols->lookup(k) : -1;
  if (s < 0) {
    try {
      int t = defaultTable;
      NameTable::Impl* exact = exactTable.impl_.get();
      NameTable::Impl* wild = wildTable.impl_.get();
      if (int e = exact ? exact->find(k) : -1; e >= 0) {
        t = exact->symbol[static_cast<std::size_t>(e)].tableNo;
        if (t < 0) return true;
      } else if (int w = wild ? wild->find(k) : -1; w >= 0) {
        t = wild->symbol[static_cast<std::size_t>(w)].tableNo;
        if (t < 0) return true;
      }
      if (!symbols) symbolTable.impl_ = std::make_unique<NameTable::Impl>();
      bool failed = false;
      s = symbolTable.impl_->enter(k, &failed);
      if (s < 0) {
        failure_ = tableFailure;
        return false;
      }
      symbolTable.impl_->symbol[static_cast<std::size_t>(s)].tableNo = t;
    } catch (const std::bad_alloc&) {
      failure_ = tableFailure;
      return false;
    }
  }
  if (line > 0 && !addOccurrence(s, line)) {
    failure_ = occFailure;
    return false;
  }
  return true;
}

std::vector<int> NameTables::lines(const NameEntry& entry) {
  const NameTable::Impl* symbols = symbolTable.impl_.get();
  if (!symbols || !occTable_.group(symbols->symbolCnt())) return {};
  const int* first;
  const int* last;
  occTable_.linesOf(static_cast<int>(&entry - symbols->symbol.data()), &first, &last);
  return std::vector<int>(first, last);
}

bool NameTables::visitNames(
    int tableNo, const std::function<void(const char*, const int*, const int*)>& visit) {
  const NameTable::Impl* symbols = symbolTable.impl_.get();
  if (!symbols) return true;
  if (!occTable_.group(symbols->symbolCnt())) {
    failure_ = occFailure;
    return false;
  }
  for (std::size_t e = 0; e < symbols->symbol.size(); ++e) {
    if (symbols->symbol[e].tableNo != tableNo) continue;
    const int* first;
    const int* last;
    occTable_.linesOf(static_cast<int>(e), &first, &last);
    visit(symbols->symbol[e].name, first, last);
  }
  return true;
}

// "%*d%c" of (7, line, ' ') without the cost of a formatted print: the cross-reference of a
// large netlist writes millions of numbers.
void appendLineNumber(std::string& text, int line) {
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

namespace {

// One entry's lines: the name field, then the line numbers in columns of 8, a repeated line
// marked by '+' on the previous number, wrapped to continuation lines of 7 blanks.
void writeEntry(const char* name, const int* lines, const int* linesEnd, int lineWidth,
                Navigation::Links links, TextEncoding encoding, std::string& text,
                pdf::LineSink& sink) {
  text.assign("    ");
  if (encoding == TextEncoding::utf8) {
    appendCp1252(text, name);
  } else {
    text.append(name);
  }
  text.append("  ");
  if (links != Navigation::Links::off && lines != linesEnd) sink.link(4, text.size() - 2, *lines);
  while ((static_cast<std::int64_t>(text.size()) - 7) % 8 != 0) text += ' ';
  int last = 0;
  for (; lines != linesEnd; ++lines) {
    if (*lines == last) {
      text.back() = '+';
      continue;
    }
    last = *lines;
    if (static_cast<std::int64_t>(text.size()) + 8 > lineWidth) {
      sink.line(text);
      text.assign(7, ' ');
    }
    const std::size_t at = text.size();
    appendLineNumber(text, last);
    if (links == Navigation::Links::all) {
      sink.link(text.find_first_not_of(' ', at), text.size() - 1, last);
    }
  }
  sink.line(text);
}

}  // namespace

bool writeCrossReference(NameTables& names, const std::vector<TableHeading>& tables,
                         int lineWidth, pdf::LineSink& sink, const Navigation& navigation,
                         TextEncoding encoding) {
  const NameTable::Impl* symbols = names.symbolTable.impl_.get();
  if (!symbols) return true;
  try {
    const std::vector<NameEntry>& symbol = symbols->symbol;
    if (!names.occTable_.group(symbols->symbolCnt())) throw std::bad_alloc();
    const std::vector<int> order = symbols->rankOrder();
    // One stable pass per table over its own entries, not over all of them.
    std::vector<std::vector<int>> byTable(tables.size());
    for (int e : order) {
      const int t = symbol[static_cast<std::size_t>(e)].tableNo;
      if (t >= 0 && static_cast<std::size_t>(t) < tables.size() &&
          tables[static_cast<std::size_t>(t)].listed) {
        byTable[static_cast<std::size_t>(t)].push_back(e);
      }
    }
    std::string text;  // one listing line; it grows as a long name or wide numbers need
    for (std::size_t i = 0; i < tables.size(); ++i) {
      if (byTable[i].empty()) continue;
      sink.line("");
      if (navigation.outline) sink.outlineEntry(tables[i].title, 0);
      sink.line(tables[i].title);
      sink.line("");
      for (int e : byTable[i]) {
        const int* first;
        const int* last;
        names.occTable_.linesOf(e, &first, &last);
        writeEntry(symbol[static_cast<std::size_t>(e)].name, first, last, lineWidth,
                   navigation.links, encoding, text, sink);
      }
    }
    return true;
  } catch (const std::bad_alloc&) {
    names.failure_ = occFailure;  // the lines could not be grouped, or a line not be formed
    return false;
  }
}

void setAllocationLimitForTests(std::int64_t entries) { allocationLimit = entries; }

}  // namespace mervik::analysis
