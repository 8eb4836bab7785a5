#include "driver/options.hpp"

namespace mervik::driver {
namespace {

/// The value of an option that takes a file name: "--output=FILE" or the next word. False
/// (with the message) when there is none or it is empty.
bool takeValue(std::string_view word, std::string_view longName, int argc, char* const* argv,
               int* i, std::string* value, std::string* error) {
  if (word.size() > longName.size() && word.substr(0, longName.size()) == longName) {
    *value = std::string(word.substr(longName.size() + 1));  // past "="
  } else if (*i + 1 < argc) {
    *value = argv[++*i];
  } else {
    value->clear();
  }
  if (!value->empty()) return true;
  *error = "option '" + std::string(word) + "' needs a file name";
  return false;
}

/// True when `word` is `longName` or `longName=...`.
bool isLong(std::string_view word, std::string_view longName) {
  return word.substr(0, longName.size()) == longName &&
         (word.size() == longName.size() || word[longName.size()] == '=');
}

}  // namespace

Options parseOptions(int argc, char* const* argv) {
  Options options;
  int i = 1;
  for (; i < argc; ++i) {
    const std::string_view word = argv[i];
    if (word == "--") {
      ++i;
      break;
    }
    if (word.size() < 2 || word[0] != '-') break;  // the first name
    bool good = true;
    if (word == "-h" || word == "--help") {
      options.action = Options::Action::help;
      return options;
    } else if (word == "--version") {
      options.action = Options::Action::version;
      return options;
    } else if (word == "--no-open") {
      options.noOpen = true;
    } else if (word == "-o" || isLong(word, "--output")) {
      good = takeValue(word, "--output", argc, argv, &i, &options.output, &options.error);
    } else if (word == "-r" || isLong(word, "--resource")) {
      good = takeValue(word, "--resource", argc, argv, &i, &options.resource, &options.error);
    } else {
      options.error = "unknown option '" + std::string(word) + "'";
      good = false;
    }
    if (!good) {
      options.action = Options::Action::usageError;
      return options;
    }
  }
  options.firstName = i;
  return options;
}

std::string usageText(std::string_view programName) {
  const std::string name(programName);
  return "Usage: " + name + " [OPTION]... [FILE]...\n" +
         "Print VHDL source files into one PDF listing; with no FILE, ask for the names.\n"
         "\n"
         "  -o, --output FILE     write the listing to FILE, not listing.pdf by the first file\n"
         "  -r, --resource FILE   read this resource file and no other\n"
         "      --no-open         do not open the listing in the PDF viewer\n"
         "                        (also when MERVIK_NO_OPEN is set, other than to 0)\n"
         "  -h, --help            show this help and exit\n"
         "      --version         show the version and exit\n"
         "      --                end the options: every word after it is a FILE\n";
}

}  // namespace mervik::driver
