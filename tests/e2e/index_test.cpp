// End-to-end: the index of the names used in more than one file, after the last section.

#include <algorithm>
#include <cmath>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/workspace.hpp"

namespace mervik::test {
namespace {

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
    "  u1 : counter port map ('0', s);\n  u2 : entity work.counter port map ('1', t);\n"
    "end;\n";

}  // namespace

// Three files sharing a package constant, a component and an entity: the whole index, its
// header, its outline entry and where each of its links leads.
TEST(Index, ThreeFilesSharingAConstantAComponentAndAnEntity) {
  Workspace f;
  f.resource(shippedResource() + "links all\n");  // index on
  f.sources({{"pkg.vhd", pkg}, {"counter.vhd", counter}, {"top.vhd", top}});
  const RunResult run = f.run({"top.vhd", "pkg.vhd", "counter.vhd"});
  ASSERT_EQ(run.status, 0);
  EXPECT_NE(run.console.find("\n\nIndex: 5 names used in more than one file\n\nTotal lines: 18"),
            std::string::npos) << run.console;
  const Pdf pdf = f.pdf();
  const auto lines = pdf.lines();
  const int lastPage = static_cast<int>(pdf.pages.size()) - 1;
  std::string index;
  for (const DrawnLine& line : lines)
    if (line.page == lastPage) index += line.text + "\n";
  EXPECT_EQ(index,
            "NAMES USED IN MORE THAN ONE FILE\n"
            "    clk\n"
            "        counter.vhd          3 \n"
            "        pkg.vhd              4 \n"
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
  const double size = last.runsIn("Courier").at(0).size;
  std::string links;  // "text>page:line" per link, a line per name (its first file: counter.vhd)
  for (const Link& link : last.links) {
    const std::string line = lineAt(lines, lastPage, link.y0 + 0.25 * size);
    const auto column = [&](double x) { return std::lround((x - 44) / (0.6 * size)); };
    const std::string text = line.substr(column(link.x0), column(link.x1) - column(link.x0));
    if (text == "counter.vhd") links += "\n";
    links += " " + text + ">" + std::to_string(link.target.page) + ":" +
             std::to_string(std::stoi(lineAt(lines, link.target.page, link.target.top - size)));
  }
  // Each path to the name's first line in its file, each number to its line (page = file).
  EXPECT_EQ(links,
            "\n counter.vhd>0:3 3>0:3 pkg.vhd>1:4 4>1:4"
            "\n counter.vhd>0:2 2>0:2 4>0:4 pkg.vhd>1:3 3>1:3 top.vhd>2:6 6>2:6 7>2:7"
            "\n counter.vhd>0:1 1>0:1 pkg.vhd>1:1 1>1:1 6>1:6 top.vhd>2:1 1>2:1"
            "\n counter.vhd>0:3 3>0:3 pkg.vhd>1:4 4>1:4"
            "\n counter.vhd>0:3 3>0:3 pkg.vhd>1:2 2>1:2 4>1:4 top.vhd>2:4 4>2:4");
}

// An index of several pages has an outline entry per initial letter, each at its first name; one
// that fits a page has none, and one file alone no index at all.
TEST(Index, LettersForSeveralPagesAndNoIndexWithoutTwoFiles) {
  std::string names;
  for (char initial : {'x', 'y', 'z'})
    for (int i = 0; i < 40; ++i) names += std::string(1, initial) + std::to_string(i) + " ";
  const struct { int files; std::string source, expected; } cases[] = {
      {2, names, "[INDEX][X     x0][Y     y0][Z     z0]"}, {2, "x y z", "[INDEX]"}, {1, names, ""}};
  for (const auto& c : cases) {
    Workspace f;
    f.resource(shippedResource());
    f.source("a.vhd", c.source), f.source("b.vhd", c.source);
    ASSERT_EQ(f.run({"a.vhd", c.files == 2 ? "b.vhd" : "a.vhd"}).status, 0);
    const Pdf pdf = f.pdf();
    const auto lines = pdf.lines();
    std::string outline;  // the index's entries, a letter's with the line it leads to
    for (const OutlineEntry& e : pdf.outlines) {
      if (e.title == "INDEX") outline += "[INDEX]";
      if (e.depth == 1 && e.title.size() == 1)
        outline += "[" + e.title + " " + lineAt(lines, e.page, e.top - lines[0].size) + "]";
    }
    EXPECT_EQ(outline, c.expected) << c.source.size();
  }
}

// The examples and ghdl's sources under the shipped resource file: the index is exactly what
// the files' own SYMBOL TABLEs give, read back from the same PDF.
TEST(Index, RealSourcesAgreeWithTheirCrossReferences) {
  Workspace f;
  f.resource(shippedResource());
  f.sources(realSources());
  ASSERT_EQ(f.run({"*.vhd*"}).status, 0);
  const Pdf pdf = f.pdf();
  // name -> its files' entries "\npath: numbers", in the sections' order.
  std::map<std::string, std::string> fromCrossReferences, fromIndex;
  std::string section, name, word, *entry = nullptr;
  bool symbols = false;
  for (const DrawnLine& line : pdf.lines()) {
    const std::string header = pdf.pages[line.page].runsIn("Helvetica").at(0).text;
    if (header.substr(header.rfind(' ') + 1) != section)
      section = header.substr(header.rfind(' ') + 1), symbols = false, entry = nullptr;
    std::istringstream words(line.text);
    const size_t indent = line.text.find_first_not_of(' ');
    if (section == "INDEX" && indent == 4) {
      name = line.text.substr(4);
      continue;
    }
    if (section == "INDEX" && indent == 8) {
      words >> word;
      entry = &fromIndex[name].append("\n" + word + ":");
    } else if (section != "INDEX" && indent == 4 && symbols) {
      // The name, blanks included (an extended identifier), up to its first number.
      words >> name;
      while (words >> word && word.find_first_not_of("0123456789+") != std::string::npos)
        name += " " + word;
      entry = &fromCrossReferences[name].append("\n" + section + ":");
      if (words) *entry += " " + word;
    }
    symbols = symbols || line.text == "SYMBOL TABLE";
    if (entry && indent != std::string::npos && (symbols || section == "INDEX"))
      while (words >> word) *entry += " " + word;
  }
  for (auto it = fromCrossReferences.begin(); it != fromCrossReferences.end();)
    it = std::count(it->second.begin(), it->second.end(), '\n') < 2 ? fromCrossReferences.erase(it)
                                                                   : std::next(it);
  EXPECT_EQ(fromIndex, fromCrossReferences);
}

}  // namespace mervik::test
