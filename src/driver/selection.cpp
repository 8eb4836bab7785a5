// Source selection: names from the command line or the prompt, expanded into source records.

#include "driver/selection.hpp"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <new>
#include <string_view>

#include "driver/paths.hpp"
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
bool appendSource(const std::string& directory, const platform::DirEntry& entry,
                  std::vector<Source>* sources, std::string* err) {
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
    source.path = directory + entry.name;
  } catch (const std::bad_alloc&) {
    *err = "CAN'T SET sources[sourceCnt].path";
    return false;
  }
  try {
    source.header = platform::dateText(entry.lastWrite) + "   " + entry.name;
  } catch (const std::bad_alloc&) {
    *err = "CAN'T SET sources[sourceCnt].header";
    return false;
  }
  source.lastWrite = entry.lastWrite;
  sources->push_back(std::move(source));  // room was made above: this cannot throw
  return true;
}

// Expands one name by directory search; a name that matches only directories adds nothing
// and says nothing.
bool expandName(const char* name, platform::Console& console, std::vector<Source>* sources,
                std::string* err) {
  std::string directory;
  try {
    pathSplit(name, &directory, nullptr);
  } catch (const std::bad_alloc&) {
    *err = "CAN'T SET sources[sourceCnt].path";
    return false;
  }
  std::vector<platform::DirEntry> entries = platform::findFiles(name);
  if (entries.empty()) {
    console.print("\n\n%s : FILE NOT FOUND\n", name);
    return true;
  }
  for (const platform::DirEntry& entry : entries) {
    if (!entry.isDirectory && !appendSource(directory, entry, sources, err)) return false;
  }
  return true;
}

// Shows the prompt, reads the typed line and expands every name on it.
bool selectFromPrompt(std::FILE* in, std::FILE* out, platform::Console& console,
                      std::vector<Source>* sources, std::string* err) {
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
    if (!expandName(name, console, sources, err)) return false;
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

bool selectSources(int argc, char** argv, std::FILE* in, std::FILE* out,
                   platform::Console& console, std::vector<Source>* sources, std::string* err) {
  if (argc < 2) return selectFromPrompt(in, out, console, sources, err);
  for (int i = 1; i < argc; ++i) {
    if (!expandName(argv[i], console, sources, err)) return false;
  }
  return true;
}

void sortSources(std::vector<Source>& sources) {
  // std::string compares its chars as unsigned bytes, a prefix first.
  std::sort(sources.begin(), sources.end(),
            [](const Source& a, const Source& b) { return a.path < b.path; });
}

}  // namespace mervik::driver
