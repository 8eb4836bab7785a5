// End-to-end: reserved words bold and comments oblique, every character where it is without.

#include <cctype>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/workspace.hpp"

namespace mervik::test {

// Where a listing line's source text begins (after a continuation's indent); npos in reports.
size_t textStart(const std::string& line) {
  const size_t bar = line.find(" | ");
  if (bar == std::string::npos || line.find_first_not_of(" 0123456789") != bar + 1) return bar;
  const size_t start = bar + 3;
  return line[0] == ' ' && line[bar - 1] == ' ' ? line.find_first_not_of(' ', start) : start;
}

// On real sources each line's bold words are the reserved words the cross-reference lists for it.
TEST(Emphasis, ExamplesAndGhdlSourcesMatchTheirCrossReferenceAndPlainListing) {
  Workspace plain, emphasised;
  std::string options = shippedResource();
  options.erase(options.find("record on\n"), 10);  // its checksum lines are no emphasis
  options.erase(options.find("index on\n"), 9);    // nor is the index
  plain.resource(options.substr(0, options.find("/OPTIONS")));
  emphasised.resource(options);
  plain.sources(realSources()), emphasised.sources(realSources());
  ASSERT_EQ(plain.run({"*.vhd*"}).status + emphasised.run({"*.vhd*"}).status, 0);
  const std::vector<DrawnLine> before = plain.pdf().lines(), after = emphasised.pdf().lines();
  ASSERT_EQ(before.size(), after.size());
  const auto placed = [](const DrawnLine& d) {
    return d.text + " @" + std::to_string(d.x) + "," + std::to_string(d.y);
  };
  // (source line, word) drawn bold, and as the cross-reference lists its reserved words.
  std::set<std::pair<int, std::string>> bold, listed;
  int line = 0, commentLines = 0, comments = 0;
  bool inReserved = false, inComment = false;
  std::string word, name;  // a bold word, perhaps broken by a wrap; the entry being read
  const auto endWord = [&] {
    if (!word.empty()) bold.insert({line, word});
    word.clear();
  };
  for (size_t i = 0; i < after.size(); ++i) {
    const DrawnLine& a = after[i];
    ASSERT_EQ(placed(a), placed(before[i]));
    const size_t start = textStart(a.text);
    const bool numbered = start != std::string::npos && a.text.rfind("     | ", 0) != 0;
    if (start == std::string::npos || numbered) endWord();
    if (start == std::string::npos) {  // a report line: no emphasis
      EXPECT_EQ(a.faces.find_first_not_of(". "), std::string::npos) << a.text;
      if (a.text.size() > 7 && a.text.substr(6) == " comments") comments += std::stoi(a.text);
      if (inReserved && a.text.rfind("    ", 0) == 0) {
        std::istringstream entry(a.text);
        if (a.text[4] != ' ') entry >> name;
        for (std::string number; entry >> number;) listed.insert({std::stoi(number), name});
      } else {
        inReserved = a.text == "Reserved words";
      }
      continue;
    }
    if (numbered && std::stoi(a.text) == 1) {  // a new file
      EXPECT_EQ(bold, listed) << a.text;
      bold.clear(), listed.clear();
    }
    if (numbered) line = std::stoi(a.text), inComment = false;
    for (size_t c = start; c < a.text.size(); ++c) {
      if (a.faces[c] == 'b') word += static_cast<char>(std::tolower(a.text[c]));
      if (a.faces[c] != 'b') endWord();
      if (a.faces[c] == 'o' && !inComment) {
        EXPECT_EQ(a.text.substr(c, 2), "--") << a.text;
        inComment = true, ++commentLines;
      }
      EXPECT_TRUE(!inComment || a.faces[c] == 'o' || a.faces[c] == ' ') << a.text;
    }
  }
  endWord();
  EXPECT_EQ(bold, listed);
  EXPECT_EQ(commentLines, comments);
}

}  // namespace mervik::test
