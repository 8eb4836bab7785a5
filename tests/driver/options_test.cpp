#include "driver/options.hpp"

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace mervik::driver {
namespace {

// The options of `words` (after the program's own path) as one text: when listing, output,
// resource, no-open and the first name ("none" without one); otherwise the action and the error.
std::string parsed(std::vector<std::string> words) {
  words.insert(words.begin(), "mervik");
  std::vector<char*> argv;
  for (auto& w : words) argv.push_back(w.data());
  const Options o = parseOptions(static_cast<int>(argv.size()), argv.data());
  const char* actions[] = {"list", "help", "version", "error"};
  if (o.action != Options::Action::list) return actions[static_cast<int>(o.action)] + o.error;
  return o.output + "|" + o.resource + "|" + (o.noOpen ? "no-open" : "") + "|" +
         (o.firstName < static_cast<int>(words.size()) ? words[o.firstName] : "none");
}

TEST(Options, RecognisedOnlyBeforeTheFirstNameAndEndedByDashDash) {
  const std::pair<std::vector<std::string>, const char*> cases[] = {
      {{}, "|||none"},
      {{"--no-open", "-o", "x.pdf", "-r", "r", "a.vhd", "-o", "b"}, "x.pdf|r|no-open|a.vhd"},
      {{"--output=x.pdf", "--resource=r", "--"}, "x.pdf|r||none"},
      {{"-o", "a", "--output", "b", "--", "-odd.vhd", "--help"}, "b|||-odd.vhd"},
      {{"-", "--help"}, "|||-"},
      {{"a.vhd", "-o"}, "|||a.vhd"},
      {{"--no-open", "-h", "--bogus"}, "help"},
      {{"--version"}, "version"},
      {{"--bogus", "--help"}, "errorunknown option '--bogus'"},
      {{"--output-file", "x"}, "errorunknown option '--output-file'"},
      {{"-odd.vhd"}, "errorunknown option '-odd.vhd'"},
      {{"-r"}, "erroroption '-r' needs a file name"},
      {{"--output=", "a.vhd"}, "erroroption '--output=' needs a file name"},
      {{"-o", "", "a.vhd"}, "erroroption '-o' needs a file name"},
  };
  for (const auto& [words, expected] : cases) EXPECT_EQ(parsed(words), expected);
}

}  // namespace
}  // namespace mervik::driver
