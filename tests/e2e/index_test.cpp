// End-to-end: the index of the names used in more than one file, after the last section.

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/workspace.hpp"

namespace mervik::test {
namespace {

// The shipped classes with these /OPTIONS.
std::string resourceWith(const std::string& options) {
  const std::string shipped = shippedResource();
  return shipped.substr(0, shipped.find("/OPTIONS")) + "/OPTIONS\n" + options;
}

// The text of the line with its baseline at y on page p ("?" when there is none).
std::string lineAt(const std::vector<DrawnLine>& lines, int p, double y) {
  for (const DrawnLine& line : lines)
    if (line.page == p && std::fabs(line.y - y) < 0.05) return line.text;
  return "?";
}

const char* const pkg =
    "package pkg is\n  constant width_c : natural := 8;\n  component counter is\n"
    "    port (clk : in bit; q : out bit_vector(width_c - 1 downto 0));\n  end component;\n"
    "end package pkg;\n";
const char* const counter =
    "use work.pkg.all;\nentity counter is\n"
    "  port (clk : in bit; q : out bit_vector(width_c - 1 downto 0));\nend entity counter;\n";
const char* const top =
    "use work.pkg.all;\nentity top is end;\narchitecture a of top is\n"
    "  signal s, t : bit_vector(width_c - 1 downto width_c - width_c);\nbegin\n"
    "  u1 : counter port map (clk => '0', q => s);\n  u2 : entity work.counter port map ('1', t);\n"
    "end;\n";

}  // namespace

// Three files sharing a package constant, a component and an entity: the whole index, its
// header, its outline entry and where each of its links leads.
TEST(Index, ThreeFilesSharingAConstantAComponentAndAnEntity) {
  Workspace f;
  f.resource(resourceWith("index on\nlinks all\n"));
  f.sources({{"pkg.vhd", pkg}, {"counter.vhd", counter}, {"top.vhd", top}});
  const RunResult run = f.run({"top.vhd", "pkg.vhd", "counter.vhd"});
  ASSERT_EQ(run.status, 0);
  EXPECT_NE(run.console.find("\n\nIndex: 5 names used in more than one file\n\nTotal lines: 18"),
            std::string::npos) << run.console;
  const Pdf pdf = f.pdf();
  std::string index;  // the last page's lines
  for (const DrawnLine& line : pdf.lines())
    if (line.page + 1 == static_cast<int>(pdf.pages.size())) index += line.text + "\n";
  EXPECT_EQ(index,
            "NAMES USED IN MORE THAN ONE FILE\n"
            "    clk\n"
            "        counter.vhd          3 \n"
            "        pkg.vhd              4 \n"
            "        top.vhd              6 \n"
            "    counter\n"
            "        counter.vhd          2       4 \n"
            "        pkg.vhd              3 \n"
            "        top.vhd              6       7 \n"
            "    pkg\n"
            "        counter.vhd          1 \n"
            "        pkg.vhd              1       6 \n"
            "        top.vhd              1 \n"
            "    q\n"
            "        counter.vhd          3 \n"
            "        pkg.vhd              4 \n"
            "        top.vhd              6 \n"
            "    width_c\n"
            "        counter.vhd          3 \n"
            "        pkg.vhd              2       4 \n"
            "        top.vhd              4+\n");
  const Page& last = pdf.pages.back();
  std::string header;
  for (const TextRun& r : last.runsIn("Helvetica")) header += "[" + r.text + "]";
  EXPECT_EQ(header, "[Mon Mar  4 09:05:07 2024   INDEX][page 1]");
  std::string outline;
  for (const OutlineEntry& e : pdf.outlines)
    if (e.depth == 0) outline += "[" + e.title + " " + std::to_string(e.page) + "]";
  EXPECT_EQ(outline, "[counter.vhd 0][pkg.vhd 1][top.vhd 2][INDEX 3]");
  const auto lines = pdf.lines();
  const double size = last.runsIn("Courier").at(0).size;
  std::string links;
  for (const Link& link : last.links) {
    const std::string line = lineAt(lines, static_cast<int>(pdf.pages.size() - 1),
                                    link.y0 + 0.25 * size);
    const auto column = [&](double x) {
      return std::min<size_t>(std::lround((x - 44) / (0.6 * size)), line.size());
    };
    links += line.substr(column(link.x0), column(link.x1) - column(link.x0)) + " -> " +
             std::to_string(link.target.page) + ":" +
             lineAt(lines, link.target.page, link.target.top - size).substr(0, 4) + "\n";
  }
  // Each path to the name's first line in its file, each number to its line (page = file).
  EXPECT_EQ(links,
            "counter.vhd -> 0:   3\n3 -> 0:   3\npkg.vhd -> 1:   4\n4 -> 1:   4\n"
            "top.vhd -> 2:   6\n6 -> 2:   6\n"
            "counter.vhd -> 0:   2\n2 -> 0:   2\n4 -> 0:   4\npkg.vhd -> 1:   3\n3 -> 1:   3\n"
            "top.vhd -> 2:   6\n6 -> 2:   6\n7 -> 2:   7\n"
            "counter.vhd -> 0:   1\n1 -> 0:   1\npkg.vhd -> 1:   1\n1 -> 1:   1\n6 -> 1:   6\n"
            "top.vhd -> 2:   1\n1 -> 2:   1\n"
            "counter.vhd -> 0:   3\n3 -> 0:   3\npkg.vhd -> 1:   4\n4 -> 1:   4\n"
            "top.vhd -> 2:   6\n6 -> 2:   6\n"
            "counter.vhd -> 0:   3\n3 -> 0:   3\npkg.vhd -> 1:   2\n2 -> 1:   2\n4 -> 1:   4\n"
            "top.vhd -> 2:   4\n4 -> 2:   4\n");
}

// An index of several pages has an outline entry per initial letter, each at its first name; one
// that fits a page, or a listing with the files alone in the outline, has none. One file alone
// has no index, nor does an index that is off.
TEST(Index, LettersForSeveralPagesAndNoIndexWithoutTwoFiles) {
  const auto outline = [](const Pdf& pdf) {
    std::string text;
    const auto lines = pdf.lines();
    const double size = pdf.pages.at(0).runsIn("Courier").at(0).size;
    bool index = false;
    for (const OutlineEntry& e : pdf.outlines) {
      index = e.depth == 0 ? e.title == "INDEX" : index;
      if (index) text += "[" + e.title + (e.depth ? " " + lineAt(lines, e.page, e.top - size) : "") + "]";
    }
    return text;
  };
  std::string names;
  for (char initial : {'x', 'y', 'z'})
    for (int i = 0; i < 40; ++i) names += std::string(1, initial) + std::to_string(i) + " ";
  const struct { std::string options; int files; std::string source, expected; } cases[] = {
      {"index on\n", 2, names, "[INDEX][X     x0][Y     y0][Z     z0]"},
      {"index on\noutline files\n", 2, names, "[INDEX]"},
      {"index on\n", 2, "x y z", "[INDEX]"},
      {"index on\n", 1, names, ""},
      {"index off\n", 2, names, ""},
  };
  for (const auto& c : cases) {
    Workspace f;
    f.resource(resourceWith(c.options));
    f.source("a.vhd", c.source);
    f.source("b.vhd", c.source);
    ASSERT_EQ(f.run(c.files == 2 ? std::vector<std::string>{"a.vhd", "b.vhd"}
                                 : std::vector<std::string>{"a.vhd"}).status, 0);
    EXPECT_EQ(outline(f.pdf()), c.expected) << c.options;
  }
}

// The examples and ghdl's sources under the shipped resource file: the index is exactly what
// the files' own SYMBOL TABLEs give, read back from the same PDF.
TEST(Index, RealSourcesAgreeWithTheirCrossReferences) {
  Workspace f;
  f.resource(shippedResource());
  const Sources sources = realSources();
  f.sources(sources);
  const RunResult run = f.run({"*.vhd*"});
  ASSERT_EQ(run.status, 0);
  const Pdf pdf = f.pdf();
  // name -> the files' entries "path: numbers", in the sections' order.
  std::map<std::string, std::vector<std::string>> fromCrossReferences, fromIndex;
  std::string section, name, *entry = nullptr;
  bool symbols = false;
  for (const DrawnLine& line : pdf.lines()) {
    const std::string header = pdf.pages[line.page].runsIn("Helvetica").at(0).text;
    const std::string title = header.substr(header.rfind(' ') + 1);
    if (title != section) section = title, symbols = false, entry = nullptr;
    std::istringstream words(line.text);
    std::string word, numbers;
    const size_t indent = line.text.find_first_not_of(' ');
    if (section != "INDEX") {
      if (line.text == "SYMBOL TABLE") symbols = true;
      if (!symbols || indent == std::string::npos || line.text == "SYMBOL TABLE") continue;
      if (indent == 4) {
        // The name, blanks included (an extended identifier), up to its first number.
        words >> name;
        while (words >> word && word.find_first_not_of("0123456789+") != std::string::npos)
          name += " " + word;
        entry = &fromCrossReferences[name].emplace_back(section + ":");
        if (words) *entry += " " + word;
      }
      while (words >> word) *entry += " " + word;
    } else if (indent == 4) {
      name = line.text.substr(4);
    } else if (indent == 8) {
      words >> word;
      entry = &fromIndex[name].emplace_back(word + ":");
      while (words >> word) *entry += " " + word;
    } else if (indent != std::string::npos && entry) {
      while (words >> word) *entry += " " + word;
    }
  }
  for (auto it = fromCrossReferences.begin(); it != fromCrossReferences.end();)
    it = it->second.size() < 2 ? fromCrossReferences.erase(it) : std::next(it);
  const auto joined = [](const std::map<std::string, std::vector<std::string>>& index) {
    std::string text;
    for (const auto& [n, files] : index)
      for (const std::string& file : files) text += n + " " + file + "\n";
    return text;
  };
  EXPECT_GT(fromIndex.size(), 200u);
  EXPECT_EQ(joined(fromIndex), joined(fromCrossReferences));
  EXPECT_NE(run.console.find("\n\nIndex: " + std::to_string(fromIndex.size()) +
                             " names used in more than one file\n"),
            std::string::npos);
}

}  // namespace mervik::test
