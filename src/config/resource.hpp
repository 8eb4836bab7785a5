#pragma once
// The resource file: title, format and the resource tables' names.

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/emphasis.hpp"
#include "analysis/names.hpp"
#include "config/resource_tables.hpp"
#include "config/settings.hpp"
#include "platform/console.hpp"

namespace mervik::config {

/// The prepared resource text and its line reader. The text lives as long as this object:
/// table titles and the names in the name tables point into it.
class ResourceReader {
 public:
  /// Takes the file's bytes followed by one zero byte and prepares them: every CR and LF
  /// becomes NUL, every tab a blank, trailing blanks of each line are removed.
  explicit ResourceReader(std::vector<char> text);
  ResourceReader(const ResourceReader&) = delete;  // names point into this very text
  ResourceReader& operator=(const ResourceReader&) = delete;

  /// The reader's modes. source "" or nullptr, key non-empty: section search from the start
  /// ("") or the current position (nullptr); returns the rest of the section line after the
  /// key, or nullptr. key nullptr or "": value read from the start ("") or current position
  /// (nullptr); returns the value without leading blanks, or nullptr at a section line or end.
  const char* readResource(const char* source, const char* key);

  /// The line number (from 1) of the line that `p`, a pointer into the text, lies on; a CR LF
  /// pair ends one line.
  int lineOf(const char* p) const;
  /// Every section line (a '/' in its first column), in file order.
  std::vector<const char*> sectionLines() const;

 private:
  std::vector<char> text_;
  std::vector<std::size_t> lineStarts_;  // offset of each line's first byte
  char* end_ = nullptr;
  char* position_ = nullptr;
};

/// The resource step. `text` is the loaded resource file (bytes and one zero byte), or empty
/// when there is none, or it is empty or unreadable; `origin`, when not empty, is where it came
/// from, named on the console after the title. Prints the console lines, sets `settings`
/// (unchecked: the caller clamps them), fills exactTable and wildTable of `names` and the
/// classes of `emphasis`, and appends the file's tables to `tables`. Then reads the OPTIONS
/// section: "key value" lines that set the options of `settings` and `emphasis`; any other line
/// there is shown as "\n   WARNING - UNKNOWN OPTION:  <line>  (line N)". A section line of no
/// known section and a FORMAT value that is not a decimal number are shown the same way.
/// Keeps the prepared text in
/// `*reader`. False with "TOO MANY RESOURCE TABLES" or "CAN'T SET table->symbol".
bool resourceStep(std::vector<char> text, std::string_view origin,
                  std::unique_ptr<ResourceReader>* reader, Settings& settings,
                  analysis::NameTables& names, analysis::EmphasisRules& emphasis,
                  ResourceTables& tables,
                  platform::Console& console, std::string* err);

/// Where the resource file of a program lives: "<directory>/<base name>.rsc". When the program
/// was started by a bare name, `directory` is empty and `executablePath` (its real location)
/// supplies the directory.
std::string resourcePath(const std::string& directory, const std::string& baseName,
                         const std::string& executablePath);

}  // namespace mervik::config
