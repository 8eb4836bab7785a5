#pragma once
// The command line: options anywhere among the names, as getopt_long reads them.

#include <string>
#include <string_view>
#include <vector>

namespace mervik::driver {

/// One thing to select from, in command-line order: a name, or a file that lists names.
struct NameSource {
  enum class Kind { name, fileList };
  Kind kind = Kind::name;
  std::string text;  // the name, or the list's path ("-" for standard input)
};

/// What the command line asks for besides the names.
struct Options {
  enum class Action { list, help, version, usageError };
  Action action = Action::list;
  std::string output;    // -o, --output: the listing's path (or its directory); empty: listing.pdf
                         // by the first name
  std::string resource;  // -r, --resource: the one resource file to read; empty: search for it
  bool noOpen = false;   // --no-open: leave the viewer alone
  bool batch = false;    // -b, --batch: no prompt, viewer or key wait; the report on stderr
  std::vector<NameSource> names;  // the names and -T lists; none: the prompt
  std::string error;     // usageError: the message, without the program's name
};

/// Reads argv[1] on with getopt_long: options may stand anywhere among the names, "--" ends
/// them, "-oFILE", "--output=FILE" and unambiguous abbreviations of long options work. Help
/// and version end the reading at once; an error (unknown option, missing or empty file name,
/// --batch without names) gives usageError with the message getopt tools give.
Options parseOptions(int argc, char* const* argv);

/// The synopsis and the list of options, each line ending in a line feed.
std::string usageText(std::string_view programName);

}  // namespace mervik::driver
