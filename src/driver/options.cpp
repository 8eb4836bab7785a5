#include "driver/options.hpp"

#include <getopt.h>

namespace mervik::driver {
namespace {

// Codes of the long options that have no short form.
enum : int { noOpenCode = 256, versionCode };

const struct option longOptions[] = {
    {"output", required_argument, nullptr, 'o'},
    {"resource", required_argument, nullptr, 'r'},
    {"files-from", required_argument, nullptr, 'T'},
    {"batch", no_argument, nullptr, 'b'},
    {"no-open", no_argument, nullptr, noOpenCode},
    {"help", no_argument, nullptr, 'h'},
    {"version", no_argument, nullptr, versionCode},
    {nullptr, 0, nullptr, 0},
};

// '-': names are returned in place (code 1), so names and -T lists keep their order.
// ':': a missing argument is told apart from an unknown option, and getopt prints nothing.
constexpr char shortOptions[] = "-:o:r:T:bh";

// The option's name as a user would write it, for messages.
std::string spelled(int code) {
  for (const struct option& o : longOptions) {
    if (o.name != nullptr && o.val == code) return "--" + std::string(o.name);
  }
  return "";
}

// The message for what getopt_long refused; `word` is the command-line word it stopped at.
std::string refusal(int result, int code, const std::string& word) {
  // The word is the one before optind, which for a short option inside a group of them may
  // still be an earlier word: it is the long option only when it spells this one.
  const std::string typed = word.substr(0, word.find('='));
  const bool isLong = typed.compare(0, 2, "--") == 0 && typed.size() > 2 &&
                      (code == 0 || spelled(code).compare(0, typed.size(), typed) == 0);
  if (result == ':') {
    return isLong ? "option '" + spelled(code) + "' requires an argument"
                  : "option requires an argument -- '" + std::string(1, char(code)) + "'";
  }
  if (isLong) {
    return code != 0 ? "option '" + spelled(code) + "' doesn't allow an argument"
                     : "unrecognized option '" + word + "'";
  }
  return "invalid option -- '" + std::string(1, char(code)) + "'";
}

}  // namespace

Options parseOptions(int argc, char* const* argv) {
  Options options;
  // getopt_long permutes its vector: give it a copy, so argv stays as the system passed it.
  std::vector<char*> words(argv, argv + argc);
  words.push_back(nullptr);
  optind = 0;  // a fresh scan, also for a second call in one process
  opterr = 0;
  int result;
  while ((result = getopt_long(argc, words.data(), shortOptions, longOptions, nullptr)) != -1) {
    std::string value = optarg != nullptr ? optarg : "";
    if ((result == 'o' || result == 'r' || result == 'T') && value.empty()) {
      options.action = Options::Action::usageError;
      options.error = "option '" + spelled(result) + "' needs a file name";
      return options;
    }
    switch (result) {
      case 1:
        options.names.push_back({NameSource::Kind::name, std::move(value)});
        break;
      case 'T':
        options.names.push_back({NameSource::Kind::fileList, std::move(value)});
        break;
      case 'o':
        options.output = std::move(value);
        break;
      case 'r':
        options.resource = std::move(value);
        break;
      case 'b':
        options.batch = true;
        break;
      case noOpenCode:
        options.noOpen = true;
        break;
      case 'h':
        options.action = Options::Action::help;
        return options;
      case versionCode:
        options.action = Options::Action::version;
        return options;
      default: {
        const int at = optind > 1 && optind - 1 < argc ? optind - 1 : 0;
        options.action = Options::Action::usageError;
        options.error = refusal(result, optopt, at > 0 ? words[static_cast<size_t>(at)] : "");
        return options;
      }
    }
  }
  for (int i = optind; i < argc; ++i) {  // after "--"
    options.names.push_back({NameSource::Kind::name, words[static_cast<size_t>(i)]});
  }
  if (options.batch && options.names.empty()) {
    options.action = Options::Action::usageError;
    options.error = "no file named: --batch does not ask for names";
  }
  return options;
}

std::string usageText(std::string_view programName) {
  const std::string name(programName);
  return "Usage: " + name + " [OPTION]... [FILE]...\n" +
         "Print VHDL source files into one PDF listing; with no FILE, ask for the names.\n"
         "A FILE may be a pattern (*, ?, [a-z], ** for any depth of directories) or a\n"
         "directory, which stands for every .vhd and .vhdl file under it.\n"
         "\n"
         "  -o, --output=FILE      write the listing to FILE (into FILE/listing.pdf when it\n"
         "                         is a directory), not listing.pdf by the first FILE\n"
         "  -r, --resource=FILE    read this resource file and no other\n"
         "  -T, --files-from=FILE  read more FILE names from FILE, one a line ('-': standard\n"
         "                         input)\n"
         "  -b, --batch            no prompt, no viewer, no key wait; the report on standard\n"
         "                         error\n"
         "      --no-open          do not open the listing in the PDF viewer\n"
         "                         (also when MERVIK_NO_OPEN is set, other than to 0)\n"
         "  -h, --help             show this help and exit\n"
         "      --version          show the version and exit\n"
         "      --                 end the options: every word after it is a FILE\n"
         "\n"
         "Exit status: 0 when every FILE was listed, 1 when a FILE selected nothing or could\n"
         "not be read or the run failed, 2 for a wrong command line.\n";
}

}  // namespace mervik::driver
