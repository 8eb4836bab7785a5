#include "config/resource.hpp"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <limits>
#include <new>
#include <string_view>
#include <utility>

#include "platform/files.hpp"

namespace mervik::config {
namespace {

// Byte classes, independent of the locale.
enum : std::uint8_t { classWhite = 1, classDigit = 2, classUpper = 4 };

constexpr std::array<std::uint8_t, 256> makeByteClasses() {
  std::array<std::uint8_t, 256> classes{};
  for (int b : {' ', '\t', '\n', '\v', '\f', '\r'}) classes[b] |= classWhite;
  for (int b = '0'; b <= '9'; ++b) classes[b] |= classDigit;
  for (int b = 'A'; b <= 'Z'; ++b) classes[b] |= classUpper;
  return classes;
}
constexpr std::array<std::uint8_t, 256> byteClasses = makeByteClasses();

bool hasClass(char c, std::uint8_t byteClass) {
  return (byteClasses[static_cast<unsigned char>(c)] & byteClass) != 0;
}

constexpr char tableKey[] = "/";
constexpr char noTableStorage[] = "CAN'T SET table->symbol";
constexpr char tooManyTables[] = "TOO MANY RESOURCE TABLES";
constexpr int exactTableSize = 1000;
constexpr int wildTableSize = 200;

// A magnitude this large is out of every range already; more digits change nothing.
constexpr std::int64_t decimalCap = std::int64_t{1} << 40;

/// Decimal value of a text: leading white space, an optional sign, then digits up to the
/// first other character; no digits give 0. Saturates at +-decimalCap instead of overflowing.
std::int64_t decimalValue(const char* text) {
  while (hasClass(*text, classWhite)) ++text;
  bool negative = false;
  if (*text == '+' || *text == '-') negative = *text++ == '-';
  std::int64_t value = 0;
  for (; hasClass(*text, classDigit); ++text) {
    value = std::min(value * 10 + (*text - '0'), decimalCap);
  }
  return negative ? -value : value;
}

int saturatedInt(std::int64_t value) {
  return static_cast<int>(std::clamp<std::int64_t>(value, std::numeric_limits<int>::min(),
                                                   std::numeric_limits<int>::max()));
}

/// Past the rest of the line at `p` and the one NUL that ends it; never beyond `end`.
char* nextLine(char* p, const char* end) {
  while (p < end && *p != '\0') ++p;
  return p < end ? p + 1 : p;
}

/// Finds the next line "/<key>..." at or after `position`; returns what follows the key and
/// leaves `position` at the next line.
const char* findSection(char*& position, const char* end, const char* key) {
  const std::size_t keyLength = std::strlen(key);
  while (position < end) {
    char* line = position;
    position = nextLine(line, end);
    // Every line ends in a NUL at or before `end`, so the comparison stops inside the text.
    if (*line == '/' && std::strncmp(line + 1, key, keyLength) == 0) return line + 1 + keyLength;
  }
  return nullptr;
}

/// The next value line at or after `position`, without its leading blanks. Stops at a section
/// line and leaves `position` on it, so that the next section search meets it.
const char* readValue(char*& position, const char* end) {
  while (position < end) {
    if (*position == '\0') {
      ++position;
      continue;
    }
    if (*position == '/') return nullptr;
    char* value = position;
    position = nextLine(position, end);
    while (*value == ' ') ++value;
    return value;
  }
  return nullptr;
}

/// True for an optional sign and one or more digits, and nothing else.
bool isDecimal(const char* text) {
  if (*text == '+' || *text == '-') ++text;
  if (!hasClass(*text, classDigit)) return false;
  while (hasClass(*text, classDigit)) ++text;
  return *text == '\0';
}

/// "\n   WARNING - <what>:  <line>  (line N)": a mistake in the file, shown where it is.
void warnAt(const ResourceReader& reader, platform::Console& console, const char* what,
            const char* line) {
  console.print("\n   WARNING - %s:  %s  (line %d)", what, line, reader.lineOf(line));
}

bool fail(std::string* err, const char* message) {
  if (err != nullptr) *err = message;
  return false;
}

void readTitle(ResourceReader& reader, Settings& settings, platform::Console& console) {
  if (reader.readResource("", "TITLE") == nullptr) return;
  if (const char* title = reader.readResource(nullptr, nullptr)) {
    console.write("  :  ");
    console.write(title);
    settings.title = title;
  }
}

/// FORMAT: the tab width, then the line width whose sign gives the orientation. The values
/// are taken as read; clampSettings brings them into range later.
void readFormat(ResourceReader& reader, Settings& settings, platform::Console& console) {
  if (reader.readResource("", "FORMAT") == nullptr) return;
  console.write("\n.. format");
  const char* value = reader.readResource(nullptr, nullptr);
  if (value == nullptr) return;
  // A word where a number belongs still reads as its leading digits (or 0), as it always did,
  // but no longer silently.
  if (!isDecimal(value)) warnAt(reader, console, "FORMAT NOT A NUMBER", value);
  settings.tabWidth = saturatedInt(decimalValue(value));
  value = reader.readResource(nullptr, nullptr);
  if (value == nullptr) return;
  if (!isDecimal(value)) warnAt(reader, console, "FORMAT NOT A NUMBER", value);
  const std::int64_t width = decimalValue(value);
  settings.lineWidth = saturatedInt((width < 0 ? -width : width) + 6);
  settings.landscape = width < 0;
}

void foldToLower(char* text) {
  for (; *text != '\0'; ++text) {
    if (hasClass(*text, classUpper)) *text = static_cast<char>(*text - 'A' + 'a');
  }
}

/// Enters the values of one table section, folded in place, with their table number (-1 for
/// an excluded table); the classes of the emphasis get the table's own number either way.
bool enterNames(ResourceReader& reader, int number, bool listed, analysis::NameTables& names,
                analysis::EmphasisRules& emphasis, platform::Console& console, std::string* err) {
  while (const char* found = reader.readResource(nullptr, nullptr)) {
    // Values point into the reader's own, writable text; the names are folded right there.
    char* value = const_cast<char*>(found);
    foldToLower(value);
    const char* star = std::strchr(value, '*');
    if (star != nullptr && star[1] != '\0') {
      console.write("\n   WARNING - EXTRA CHARACTERS:  ");
      console.write(value);
    }
    analysis::NameTable& table = star != nullptr ? names.wildTable : names.exactTable;
    analysis::NameTable& classes = star != nullptr ? emphasis.wildClasses : emphasis.exactClasses;
    analysis::NameEntry* entry = table.enterName(value);
    analysis::NameEntry* classed = classes.enterName(value);
    if (entry == nullptr || classed == nullptr) return fail(err, noTableStorage);
    entry->tableNo = listed ? number : -1;
    classed->tableNo = number;
  }
  return true;
}

/// One resource table per "//title" section, in file order; "//-title" is excluded.
bool readTables(ResourceReader& reader, analysis::NameTables& names,
                analysis::EmphasisRules& emphasis, ResourceTables& tables,
                platform::Console& console, std::string* err) {
  const char* source = "";  // the first search starts at the top
  for (;;) {
    // Tested before every search, so a twentieth table is read and echoed in full before the
    // run ends here: it took the slot that the default table needs.
    if (tables.rscTableCnt >= ResourceTables::rscTableMax) return fail(err, tooManyTables);
    const char* title = reader.readResource(source, tableKey);
    source = nullptr;
    if (title == nullptr) return true;
    const bool listed = *title != '-';
    if (!listed) ++title;
    const int number = tables.addTable(title, listed, console);
    if (!enterNames(reader, number, listed, names, emphasis, console, err)) return false;
  }
}

/// The paper of an option's value: true when the name is known.
bool paperOf(std::string_view name, Paper* paper) {
  static constexpr std::pair<std::string_view, Paper> papers[] = {
      {"a4", Paper::a4}, {"letter", Paper::letter}, {"legal", Paper::legal}, {"a3", Paper::a3}};
  for (const auto& [known, value] : papers) {
    if (name == known) {
      *paper = value;
      return true;
    }
  }
  return false;
}

/// One option line, "key value": true when the key and the value are known.
bool applyOption(std::string_view line, const ResourceTables& tables, Settings& settings,
                 analysis::EmphasisRules& emphasis) {
  const std::size_t blank = line.find(' ');
  const std::string_view key = line.substr(0, blank);
  std::string_view value = blank == std::string_view::npos ? "" : line.substr(blank);
  while (!value.empty() && value[0] == ' ') value.remove_prefix(1);
  if (key == "utf8" && (value == "on" || value == "off")) {
    settings.utf8 = value == "on" ? Utf8::detect : Utf8::off;
  } else if (key == "links" && (value == "off" || value == "names" || value == "all")) {
    using Links = analysis::Navigation::Links;
    settings.navigation.links =
        value == "off" ? Links::off : value == "names" ? Links::names : Links::all;
  } else if (key == "outline" && (value == "files" || value == "units")) {
    settings.navigation.outline = value == "units";
  } else if (key == "index" && (value == "on" || value == "off")) {
    settings.index = value == "on" ? Index::on : Index::off;
  } else if (key == "wait" && (value == "on" || value == "off")) {
    settings.keyWait = value == "on";
  } else if (key == "record" && (value == "on" || value == "off")) {
    settings.record = value == "on" ? Record::on : Record::off;
  } else if (key == "author" && !value.empty()) {
    settings.author = value;
    settings.authorGiven = true;
  } else if (key == "paper") {
    return paperOf(value, &settings.paper);
  } else if (key == "oblique" && value == "comments") {
    emphasis.obliqueComments = true;
  } else if (key == "bold") {
    bool named = false;  // every table of that title
    for (int i = 0; i < tables.rscTableCnt && i < ResourceTables::rscTableMax; ++i) {
      if (tables.rscTable[i].name != nullptr && value == tables.rscTable[i].name) {
        emphasis.boldTable.resize(ResourceTables::rscTableMax);
        emphasis.boldTable[i] = true;
        named = true;
      }
    }
    return named;
  } else {
    return false;
  }
  return true;
}

/// OPTIONS, after the tables that `bold` names: one "key value" a line. An unknown key or
/// value is shown and passed over.
void readOptions(ResourceReader& reader, const ResourceTables& tables, Settings& settings,
                 analysis::EmphasisRules& emphasis, platform::Console& console) {
  if (reader.readResource("", "OPTIONS") == nullptr) return;
  while (const char* line = reader.readResource(nullptr, nullptr)) {
    if (applyOption(line, tables, settings, emphasis)) continue;
    warnAt(reader, console, "UNKNOWN OPTION", line);
  }
}

/// A misspelt section (/FORMT, /OPTION) would otherwise be passed over without a word. A known
/// section is matched by its start, as the section search does.
void reportUnknownSections(const ResourceReader& reader, platform::Console& console) {
  for (const char* line : reader.sectionLines()) {
    bool known = line[1] == '/';
    for (const char* key : {"TITLE", "FORMAT", "OPTIONS"}) {
      known = known || std::strncmp(line + 1, key, std::strlen(key)) == 0;
    }
    if (!known) warnAt(reader, console, "UNKNOWN SECTION", line);
  }
}

bool readSections(ResourceReader& reader, std::string_view origin, Settings& settings,
                  analysis::NameTables& names, analysis::EmphasisRules& emphasis,
                  ResourceTables& tables, platform::Console& console, std::string* err) {
  console.write("\n\nLoading resource file");
  readTitle(reader, settings, console);
  if (!origin.empty()) {
    // Found elsewhere than beside the program: say where, since that is no longer obvious.
    console.write("\n   from ");
    console.write(origin);
  }
  readFormat(reader, settings, console);
  console.write("\n.. tables ");
  if (!names.exactTable.setTableSize(exactTableSize) ||
      !names.wildTable.setTableSize(wildTableSize) ||
      !emphasis.exactClasses.setTableSize(exactTableSize) ||
      !emphasis.wildClasses.setTableSize(wildTableSize)) {
    return fail(err, noTableStorage);
  }
  if (!readTables(reader, names, emphasis, tables, console, err)) return false;
  readOptions(reader, tables, settings, emphasis, console);
  reportUnknownSections(reader, console);
  return true;
}

}  // namespace

ResourceReader::ResourceReader(std::vector<char> text) : text_(std::move(text)) {
  if (text_.empty() || text_.back() != '\0') text_.push_back('\0');
  char* const start = text_.data();
  end_ = start + std::strlen(start);
  lineStarts_.push_back(0);
  for (char* p = start; p != end_; ++p) {
    const bool lineEnd = *p == '\n' || (*p == '\r' && p[1] != '\n');
    if (lineEnd) lineStarts_.push_back(static_cast<std::size_t>(p + 1 - start));
    if (*p == '\n' || *p == '\r') {
      *p = '\0';
    } else if (*p == '\t') {
      *p = ' ';
    }
  }
  // Backwards, so that a run of trailing blanks is emptied from its end.
  for (char* p = end_; p != start; --p) {
    if (p[-1] == ' ' && *p == '\0') p[-1] = '\0';
  }
  position_ = start;
}

int ResourceReader::lineOf(const char* p) const {
  const auto offset = static_cast<std::size_t>(p - text_.data());
  return static_cast<int>(std::upper_bound(lineStarts_.begin(), lineStarts_.end(), offset) -
                          lineStarts_.begin());
}

std::vector<const char*> ResourceReader::sectionLines() const {
  std::vector<const char*> lines;
  for (std::size_t offset : lineStarts_) {
    if (text_[offset] == '/') lines.push_back(text_.data() + offset);
  }
  return lines;
}

const char* ResourceReader::readResource(const char* source, const char* key) {
  char* const start = text_.data();
  // A path: the text was loaded and prepared when this reader was made.
  if (source != nullptr && *source != '\0') {
    position_ = start;
    return start;
  }
  if (source != nullptr) position_ = start;
  if (key != nullptr && *key != '\0') return findSection(position_, end_, key);
  return readValue(position_, end_);
}

bool resourceStep(std::vector<char> text, std::string_view origin,
                  std::unique_ptr<ResourceReader>* reader, Settings& settings,
                  analysis::NameTables& names, analysis::EmphasisRules& emphasis,
                  ResourceTables& tables,
                  platform::Console& console, std::string* err) {
  reader->reset();
  try {
    if (!text.empty()) *reader = std::make_unique<ResourceReader>(std::move(text));
  } catch (const std::bad_alloc&) {
    // No storage for the text counts as no resource file.
  }
  if (*reader == nullptr) {
    console.write("\n\nNo resource file");
    return true;
  }
  try {
    return readSections(**reader, origin, settings, names, emphasis, tables, console, err);
  } catch (const std::bad_alloc&) {
    return fail(err, noTableStorage);
  }
}

std::string resourcePath(const std::string& directory, const std::string& baseName,
                         const std::string& executablePath) {
  try {
    std::string path = directory;
    if (path.empty()) {
      // Started through the search path: look beside the executable, or here without one.
      path.assign(executablePath, 0, platform::directoryLength(executablePath));
    }
    return path + baseName + ".rsc";
  } catch (const std::bad_alloc&) {
    return std::string();  // a path that opens nothing: no resource file
  }
}

}  // namespace mervik::config
