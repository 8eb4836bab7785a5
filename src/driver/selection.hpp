#pragma once
// Source selection: names from the command line or the prompt, expanded into source records.

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/console.hpp"

namespace mervik::driver {

/// One selected file.
struct Source {
  std::string path;    // the pattern's directory as written, then the entry's own name
  std::string header;  // 24-character date of the last write, three blanks, the entry's name
  std::int64_t lastWrite = 0;  // seconds since 1970, the date in the header
};

/// The prompt tokenizer: cuts the next name out of the typed line that *cursor points into,
/// writing string ends into the line, and moves *cursor on (nullptr once the line's end was
/// read). Returns nullptr for no name, which ends the selection.
char* nextName(char** cursor);

/// Reads the typed line from `in`: up to 1022 bytes before the line end are taken whole; a
/// longer line, or end of input before the first byte, gives the empty line.
std::string readTypedLine(std::FILE* in);

/// Source selection: argument mode when argc >= 2, otherwise the prompt on `out` and one line
/// from `in`. Each name is expanded by directory search; matched files (not directories) are
/// appended to *sources in the order found; "\n\n%s : FILE NOT FOUND\n" for a name that matches
/// nothing. False with the fatal message when memory for the records cannot be had.
bool selectSources(int argc, char** argv, std::FILE* in, std::FILE* out,
                   platform::Console& console, std::vector<Source>* sources, std::string* err);

/// Sorts the records by path, as unsigned bytes; a prefix sorts first.
void sortSources(std::vector<Source>& sources);

}  // namespace mervik::driver
