#pragma once
// The command line: options before the first name, then the names.

#include <string>
#include <string_view>

namespace mervik::driver {

/// What the command line asks for besides the names.
struct Options {
  enum class Action { list, help, version, usageError };
  Action action = Action::list;
  std::string output;    // -o, --output: the listing's path; empty: listing.pdf by the first name
  std::string resource;  // -r, --resource: the one resource file to read; empty: search for it
  bool noOpen = false;   // --no-open: leave the viewer alone
  int firstName = 1;     // argv index of the first name; argc when there is none
  std::string error;     // usageError: one line naming the offending word
};

/// Reads the options from argv[1] on. Options are recognised only before the first name and
/// end at "--"; a word that does not begin with '-', and "-" alone, is the first name. Help,
/// version and an error end the reading at once.
Options parseOptions(int argc, char* const* argv);

/// The synopsis and the list of options, each line ending in a line feed.
std::string usageText(std::string_view programName);

}  // namespace mervik::driver
