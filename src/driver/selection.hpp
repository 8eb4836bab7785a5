#pragma once
// Source selection: names from the command line or the prompt, expanded into source records.

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "driver/options.hpp"
#include "platform/console.hpp"
#include "platform/files.hpp"

namespace mervik::driver {

/// One selected file.
struct Source {
  std::string path;    // the pattern's directory as written, then the entry's own name
  std::string header;  // 24-character date of the last write, three blanks, the entry's name
  platform::FileIdentity identity;  // the same file under two names is listed once
  std::int64_t lastWrite = 0;  // seconds since 1970
};

/// What the selection found.
struct Selection {
  std::vector<Source> sources;
  /// Where the listing goes by default: the directory part before any wildcard of the first
  /// name that selected a file (a directory named whole: that directory).
  std::string listingDirectory;
  int unmatched = 0;  // names (and file lists) that selected nothing
};

/// The prompt tokenizer: cuts the next name out of the typed line that *cursor points into,
/// writing string ends into the line, and moves *cursor on (nullptr once the line's end was
/// read). Returns nullptr for no name, which ends the selection.
char* nextName(char** cursor);

/// Reads the typed line from `in`: up to 1022 bytes before the line end are taken whole; a
/// longer line, or end of input before the first byte, gives the empty line.
std::string readTypedLine(std::FILE* in);

/// Source selection: the names and file lists in order (a list: one name a line, a trailing
/// CR dropped, blank lines skipped; "-" is `in`), or with none of them the prompt on `out` and
/// one line from `in`. Each name is expanded as a pattern (findFiles); a directory named whole
/// stands for DIR/**/*.vhd and DIR/**/*.vhdl. The files of one name are appended in path
/// order. A name that selects nothing gives "\n\n%s : FILE NOT FOUND\n" and a line with the
/// reason. False with the fatal message when memory for the records cannot be had.
bool selectSources(const std::vector<NameSource>& names, std::FILE* in, std::FILE* out,
                   platform::Console& console, Selection* selection, std::string* err);

/// Sorts the records by path, as unsigned bytes; a prefix sorts first.
void sortSources(std::vector<Source>& sources);

/// Keeps, of the sorted records, the first of each file: the same path, or the same identity.
void dropSameFiles(std::vector<Source>& sources);

}  // namespace mervik::driver
