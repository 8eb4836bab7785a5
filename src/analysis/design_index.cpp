// The design index. A name is held once, in an arena, with a chain of its name-and-file pairs
// in file order; a pair's lines are held in the arena too, each as the difference to the line
// before it in 7-bit groups, so that a line costs about one byte (0 marks a repeat on one line).

#include "analysis/design_index.hpp"

#include <algorithm>
#include <cstring>
#include <deque>
#include <new>
#include <string_view>
#include <unordered_map>

namespace mervik::analysis {

namespace {

const char* const heading = "NAMES USED IN MORE THAN ONE FILE";
constexpr std::size_t fileIndent = 8;          // a file line's path starts here
constexpr std::size_t continuationIndent = 15;  // wrapped numbers keep to the same columns

// The cross-reference's order for names without '*': signed bytes, a prefix first. It stays a
// strict order for a name with '*' too, which the index holds as written.
bool nameBefore(std::string_view a, std::string_view b) {
  const std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    if (a[i] != b[i]) return static_cast<signed char>(a[i]) < static_cast<signed char>(b[i]);
  }
  return a.size() < b.size();
}

// The title of a name's outline entry: its first shown character, a letter in upper case.
std::string initialOf(std::string_view shown) {
  if (shown.empty()) return std::string();
  char c = shown[0];
  if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return std::string(1, c);
}

// Counts the lines of a pass that draws nothing, to know whether the index takes more than a
// page; the pass stops once it does.
class LineCounter final : public pdf::LineSink {
 public:
  explicit LineCounter(std::int64_t limit) : limit_(limit) {}
  void line(std::string_view) override { ++lineCnt; }
  void sectionEnd() override {}
  bool full() const { return lineCnt > limit_; }
  std::int64_t lineCnt = 0;

 private:
  std::int64_t limit_;
};

}  // namespace

struct DesignIndex::Impl {
  struct Name {
    std::string_view text;  // in the arena
    int firstPair;
    int lastPair;
    int fileCnt;
    TextEncoding encoding;  // of the first file it was met in, for showing it
  };
  struct Pair {
    const unsigned char* lines;  // in the arena
    std::uint32_t size;
    int file;
    int next;  // the name's next pair, or -1
  };

  std::unordered_map<std::string_view, int> ids;
  std::deque<Name> names;
  std::deque<Pair> pairs;
  std::vector<std::unique_ptr<unsigned char[]>> blocks;
  unsigned char* current = nullptr;  // the block small pieces go into
  std::size_t blockUsed = 0;
  std::string packed;  // one pair's lines while they are packed
  std::vector<int> lines;
  std::string text;

  static constexpr std::size_t blockBytes = std::size_t{1} << 16;

  // May throw std::bad_alloc.
  const unsigned char* keep(const void* bytes, std::size_t size) {
    unsigned char* at;
    if (size > blockBytes / 4) {
      blocks.push_back(std::make_unique<unsigned char[]>(size));  // a large piece on its own
      at = blocks.back().get();
    } else {
      if (current == nullptr || blockBytes - blockUsed < size) {
        blocks.push_back(std::make_unique<unsigned char[]>(blockBytes));
        current = blocks.back().get();
        blockUsed = 0;
      }
      at = current + blockUsed;
      blockUsed += size;
    }
    if (size != 0) std::memcpy(at, bytes, size);
    return at;
  }

  void add(const char* name, const int* first, const int* last, int file, TextEncoding encoding);
  void unpack(const Pair& pair);
  void writeFile(std::string_view path, int file, int lineWidth, Navigation::Links links,
                 pdf::LineSink& sink);
  void write(const std::vector<int>& shared, const std::vector<std::string>& paths,
             int lineWidth, Navigation::Links links, bool letters, pdf::LineSink& sink,
             const LineCounter* counting = nullptr);
};

// May throw std::bad_alloc; a name is then left without this file, or not held at all.
void DesignIndex::Impl::add(const char* name, const int* first, const int* last, int file,
                            TextEncoding encoding) {
  packed.clear();
  int before = 0;
  for (const int* p = first; p != last; ++p) {
    auto delta = static_cast<std::uint32_t>(*p - before);
    before = *p;
    for (; delta >= 0x80; delta >>= 7) packed.push_back(static_cast<char>(0x80 | (delta & 0x7F)));
    packed.push_back(static_cast<char>(delta));
  }
  int id;
  const std::string_view sought(name);
  if (auto known = ids.find(sought); known != ids.end()) {
    id = known->second;
    if (pairs[static_cast<std::size_t>(names[static_cast<std::size_t>(id)].lastPair)].file ==
        file) {
      return;  // a name of this file already (the file's table merged no such names)
    }
  } else {
    const auto* kept = reinterpret_cast<const char*>(keep(name, sought.size()));
    names.push_back(Name{std::string_view(kept, sought.size()), -1, -1, 0, encoding});
    id = static_cast<int>(names.size() - 1);
    try {
      ids.emplace(names.back().text, id);
    } catch (const std::bad_alloc&) {
      names.pop_back();
      throw;
    }
  }
  const unsigned char* lineBytes = keep(packed.data(), packed.size());
  pairs.push_back(Pair{lineBytes, static_cast<std::uint32_t>(packed.size()), file, -1});
  Name& held = names[static_cast<std::size_t>(id)];
  const int pair = static_cast<int>(pairs.size() - 1);
  if (held.lastPair >= 0) {
    pairs[static_cast<std::size_t>(held.lastPair)].next = pair;
  } else {
    held.firstPair = pair;
  }
  held.lastPair = pair;
  ++held.fileCnt;
}

void DesignIndex::Impl::unpack(const Pair& pair) {
  lines.clear();
  int line = 0;
  for (std::uint32_t i = 0; i < pair.size;) {
    std::uint32_t delta = 0;
    for (int shift = 0;; shift += 7) {
      const unsigned char b = pair.lines[i++];
      delta |= std::uint32_t{b & 0x7Fu} << shift;
      if (b < 0x80 || i >= pair.size) break;
    }
    line += static_cast<int>(delta);
    lines.push_back(line);
  }
}

// One file line: the path, then the lines in the cross-reference's columns of 8, a repeated
// line marked by '+', wrapped to continuation lines that keep the numbers in those columns.
void DesignIndex::Impl::writeFile(std::string_view path, int file, int lineWidth,
                                  Navigation::Links links, pdf::LineSink& sink) {
  text.assign(fileIndent, ' ');
  text.append(path);
  text.append("  ");
  if (links != Navigation::Links::off && !lines.empty()) {
    sink.linkToSection(fileIndent, text.size() - 2, file, lines.front());
  }
  while ((static_cast<std::int64_t>(text.size()) - 7) % 8 != 0) text += ' ';
  int last = 0;
  for (int line : lines) {
    if (line == last) {
      text.back() = '+';
      continue;
    }
    last = line;
    if (static_cast<std::int64_t>(text.size()) + 8 > lineWidth) {
      sink.line(text);
      text.assign(continuationIndent, ' ');
    }
    const std::size_t at = text.size();
    appendLineNumber(text, line);
    if (links == Navigation::Links::all) {
      sink.linkToSection(text.find_first_not_of(' ', at), text.size() - 1, file, line);
    }
  }
  sink.line(text);
}

void DesignIndex::Impl::write(const std::vector<int>& shared,
                              const std::vector<std::string>& paths, int lineWidth,
                              Navigation::Links links, bool letters, pdf::LineSink& sink,
                              const LineCounter* counting) {
  sink.line(heading);
  sink.line("");
  std::string initial;
  std::string shown;
  for (int id : shared) {
    const Name& name = names[static_cast<std::size_t>(id)];
    shown.clear();
    if (name.encoding == TextEncoding::utf8) {
      appendCp1252(shown, name.text);
    } else {
      shown.append(name.text);
    }
    if (letters) {
      std::string now = initialOf(shown);
      if (now != initial) sink.outlineEntry(now, 0);
      initial.swap(now);
    }
    text.assign("    ").append(shown);
    sink.line(text);
    for (int p = name.firstPair; p >= 0; p = pairs[static_cast<std::size_t>(p)].next) {
      const Pair& pair = pairs[static_cast<std::size_t>(p)];
      unpack(pair);
      const auto f = static_cast<std::size_t>(pair.file);
      writeFile(f < paths.size() ? std::string_view(paths[f]) : std::string_view(), pair.file,
                lineWidth, links, sink);
    }
    if (counting && counting->full()) return;
  }
}

DesignIndex::DesignIndex() : impl_(std::make_unique<Impl>()) {}
DesignIndex::~DesignIndex() = default;

bool DesignIndex::addSource(NameTables& names, int tableNo, int file, TextEncoding encoding) {
  bool ok = true;
  const bool visited = names.visitNames(tableNo, [&](const char* name, const int* first,
                                                     const int* last) {
    if (!ok) return;
    try {
      impl_->add(name, first, last, file, encoding);
    } catch (const std::bad_alloc&) {
      ok = false;
    }
  });
  return visited && ok;
}

int DesignIndex::sharedCnt() const {
  int n = 0;
  for (const Impl::Name& name : impl_->names) n += name.fileCnt >= 2 ? 1 : 0;
  return n;
}

bool DesignIndex::writeIndex(const std::vector<std::string>& paths, int lineWidth,
                             int linesPerPage, pdf::LineSink& sink,
                             const Navigation& navigation) {
  try {
    std::vector<int> shared;
    for (std::size_t i = 0; i < impl_->names.size(); ++i) {
      if (impl_->names[i].fileCnt >= 2) shared.push_back(static_cast<int>(i));
    }
    if (shared.empty()) return true;
    std::sort(shared.begin(), shared.end(), [this](int a, int b) {
      return nameBefore(impl_->names[static_cast<std::size_t>(a)].text,
                        impl_->names[static_cast<std::size_t>(b)].text);
    });
    bool letters = false;
    if (navigation.outline) {
      // The letters help only where there are pages to find: count the lines first.
      LineCounter counter(linesPerPage);
      impl_->write(shared, paths, lineWidth, Navigation::Links::off, false, counter, &counter);
      letters = counter.full();
    }
    impl_->write(shared, paths, lineWidth, navigation.links, letters, sink);
    return true;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

}  // namespace mervik::analysis
