// Source selection: names from the command line or the prompt, expanded into source records.

#include "driver/selection.hpp"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <new>
#include <set>
#include <string_view>

#include "platform/files.hpp"

namespace mervik::driver {

namespace {

constexpr size_t typedLineMax = 1022;  // bytes of a typed line that are used
constexpr size_t sourcesFirstMax = 100;
constexpr size_t pathfileSize = 260;

// Reserved before the prompt and held for the whole run; nothing is stored in it.
std::unique_ptr<char[]> pathfile;

const char* const promptLines[] = {
    "\n\nTo enter the names of the files to list:",
    "- Use spaces as separator.",
    "- Surround names with \" if they contain spaces.",
    "- The wildcard * are allowed.",
    "\nFiles to process ?",
};

// Appends the record of one matched file. Path and header are built at full length, so a
// long name is never cut into the name of some other file.
bool appendSource(const platform::DirEntry& entry, std::vector<Source>* sources,
                  std::string* err) {
  if (sources->size() >= sources->capacity()) {
    try {
      size_t capacity = sources->capacity();
      sources->reserve(capacity == 0 ? sourcesFirstMax : capacity * 2);
    } catch (const std::exception&) {
      *err = "CAN'T SET sources";
      return false;
    }
  }
  Source source;
  try {
    source.path = entry.path;
  } catch (const std::bad_alloc&) {
    *err = "CAN'T SET sources[sourceCnt].path";
    return false;
  }
  try {
    source.header = platform::dateText(entry.lastWrite) + "   " + entry.name;
    source.lastWrite = entry.lastWrite;
  } catch (const std::bad_alloc&) {
    *err = "CAN'T SET sources[sourceCnt].header";
    return false;
  }
  source.identity = entry.identity;
  sources->push_back(std::move(source));  // room was made above: this cannot throw
  return true;
}

// The files a name selects, with the directory the listing would go to; `*reason` says why
// there are none.
std::vector<platform::DirEntry> filesOf(const std::string& name, std::string* directory,
                                        std::string* reason) {
  if (!platform::hasWildcard(name) && platform::isDirectory(name)) {
    // A directory stands for its VHDL files at any depth, as DIR/**/*.vhd and DIR/**/*.vhdl.
    const bool ended = !name.empty() && platform::isSeparator(name.back());
    *directory = ended ? name : name + "/";
    std::vector<platform::DirEntry> found = platform::findFiles(*directory + "**/*.vhd");
    std::vector<platform::DirEntry> more = platform::findFiles(*directory + "**/*.vhdl");
    found.insert(found.end(), more.begin(), more.end());
    if (found.empty()) *reason = name + ": no .vhd or .vhdl file in it";
    return found;
  }
  const size_t wild = std::min(name.find_first_of("*?["), name.size());
  directory->assign(name, 0, platform::directoryLength(std::string_view(name).substr(0, wild)));
  std::vector<platform::DirEntry> found = platform::findFiles(name, reason);
  platform::DirEntry entry;
  if (found.empty() && platform::hasWildcard(name) && platform::lookUp(name, &entry, nullptr) &&
      !entry.isDirectory) {
    // A name that only looks like a pattern ("a[1].vhd") and matches nothing is itself, as
    // in the shell.
    entry.path = name;
    platform::identify(name, &entry);
    found.push_back(std::move(entry));
  }
  return found;
}

// Expands one name; a name that selects nothing is reported with its reason.
bool expandName(const std::string& name, platform::Console& console, Selection* selection,
                std::string* err) {
  std::string directory, reason;
  std::vector<platform::DirEntry> entries;
  try {
    entries = filesOf(name, &directory, &reason);
  } catch (const std::bad_alloc&) {
    *err = "CAN'T SET sources[sourceCnt].path";
    return false;
  }
  if (entries.empty()) {
    console.print("\n\n%s : FILE NOT FOUND\n", name.c_str());
    if (!reason.empty()) console.print("   %s\n", reason.c_str());
    ++selection->unmatched;
    return true;
  }
  if (selection->sources.empty()) selection->listingDirectory = directory;
  for (const platform::DirEntry& entry : entries) {
    if (!appendSource(entry, &selection->sources, err)) return false;
  }
  return true;
}

// The names of a file list, one a line, taken as they stand.
bool expandList(const std::string& list, std::FILE* in, platform::Console& console,
                Selection* selection, std::string* err) {
  std::vector<char> text;
  std::string reason;
  if (list == "-") {
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, in)) > 0) {
      text.insert(text.end(), buffer, buffer + n);
    }
    text.push_back('\0');
  } else if (platform::loadFile(list, &text, &reason) == platform::LoadStatus::notOpened) {
    console.print("\n\n%s : FILE NOT FOUND\n   %s: %s\n", list.c_str(), list.c_str(),
                  reason.c_str());
    ++selection->unmatched;
    return true;
  }
  if (!text.empty()) text.pop_back();  // the zero byte after the bytes
  std::string_view rest(text.data(), text.size());
  while (!rest.empty()) {
    const size_t end = std::min(rest.find('\n'), rest.size());
    std::string_view line = rest.substr(0, end);
    rest.remove_prefix(std::min(end + 1, rest.size()));
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.find_first_not_of(" \t") == std::string_view::npos) continue;
    if (!expandName(std::string(line), console, selection, err)) return false;
  }
  return true;
}

// Shows the prompt, reads the typed line and expands every name on it.
bool selectFromPrompt(std::FILE* in, std::FILE* out, platform::Console& console,
                      Selection* selection, std::string* err) {
  if (!pathfile) pathfile.reset(new (std::nothrow) char[pathfileSize]);
  if (!pathfile) {
    *err = "CAN'T SET pathfile";
    return false;
  }
  for (const char* line : promptLines) {
    std::fputs(line, out);
    std::fputc('\n', out);
  }
  std::fflush(out);
  std::string typed = readTypedLine(in);
  std::array<char, 1024> inputBuffer{};  // the tokenizer writes string ends into it
  std::memcpy(inputBuffer.data(), typed.data(), std::min(typed.size(), typedLineMax));
  char* cursor = inputBuffer.data();
  while (char* name = nextName(&cursor)) {
    if (!expandName(name, console, selection, err)) return false;
  }
  return true;
}

}  // namespace

// Grammar of the typed line, one name per call:
//   blanks outside quotes separate names and are skipped before a name;
//   "..." groups bytes, blanks included; an opening quote drops what this call took before it;
//   every other byte (tab, control bytes, 0x80-0xFF) belongs to the name.
// A name is also complete when the line ends after a byte; an empty name gives nullptr.
char* nextName(char** cursor) {
  char* p = *cursor;
  if (p == nullptr) return nullptr;
  if (*p == '\0') {
    *cursor = nullptr;
    return nullptr;
  }
  char* name = p;
  bool quoting = false;
  for (;;) {
    char byte = *p;
    if (byte == ' ' && !quoting && p == name) {
      name = ++p;  // blank before the name
    } else if ((byte == ' ' && !quoting) || (byte == '"' && quoting)) {
      *p++ = '\0';  // the blank or closing quote that ends the name
      break;
    } else if (byte == '"') {
      quoting = true;
      name = ++p;
    } else {
      ++p;
    }
    if (*p == '\0') break;
  }
  *cursor = p;
  return *name != '\0' ? name : nullptr;
}

std::string readTypedLine(std::FILE* in) {
  std::string line;
  try {
    line.reserve(typedLineMax);
  } catch (const std::bad_alloc&) {
    return line;
  }
  bool tooLong = false;
  int c;
  while ((c = std::getc(in)) != EOF && c != '\n') {
    if (line.size() < typedLineMax) {
      line.push_back(static_cast<char>(c));
    } else {
      tooLong = true;  // read on to the line end, then throw it all away
    }
  }
  if (tooLong) line.clear();
  return line;
}

bool selectSources(const std::vector<NameSource>& names, std::FILE* in, std::FILE* out,
                   platform::Console& console, Selection* selection, std::string* err) {
  if (names.empty()) return selectFromPrompt(in, out, console, selection, err);
  try {
    for (const NameSource& item : names) {
      const bool expanded = item.kind == NameSource::Kind::name
                                ? expandName(item.text, console, selection, err)
                                : expandList(item.text, in, console, selection, err);
      if (!expanded) return false;
    }
  } catch (const std::bad_alloc&) {
    *err = "CAN'T SET sources";
    return false;
  }
  return true;
}

void sortSources(std::vector<Source>& sources) {
  // std::string compares its chars as unsigned bytes, a prefix first.
  std::sort(sources.begin(), sources.end(),
            [](const Source& a, const Source& b) { return a.path < b.path; });
}

void dropSameFiles(std::vector<Source>& sources) {
  std::set<platform::FileIdentity> seen;
  size_t kept = 0;
  for (size_t i = 0; i < sources.size(); ++i) {
    const Source& s = sources[i];
    if (kept > 0 && s.path == sources[kept - 1].path) continue;
    if (s.identity.known && !seen.insert(s.identity).second) continue;
    if (kept != i) sources[kept] = std::move(sources[i]);
    ++kept;
  }
  sources.resize(kept);
}

}  // namespace mervik::driver
