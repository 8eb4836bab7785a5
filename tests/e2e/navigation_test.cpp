// End-to-end: the outline's units and report blocks, and the reports' links to source lines.

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/workspace.hpp"

namespace mervik::test {

const char* const units =
    "-- entity notme is\nlibrary ieee; use ieee.std_logic_1164.all;\nentity Top is\n"
    "  port (a : in bit);\nend entity Top;\narchitecture RTL of Top is\n"
    "  constant s : string := \"entity nope is\";\nbegin\n  u1 : entity work.x port map (a);\n"
    "end architecture;\npackage P is end; package body P is end package body;\n"
    "configuration cfg of Top is for RTL end for; end;\n"
    "context ctx is library ieee; end context;\nentity \\Ext Name\\ is end; \"open\n";

// The text of the line with its baseline at y (to a tenth of a point) on page p ("?" when there
// is none).
std::string lineAt(const std::vector<DrawnLine>& lines, int p, double y) {
  for (const DrawnLine& line : lines)
    if (line.page == p && std::fabs(line.y - y) < 0.1) return line.text;
  return "?";
}

// Names link to their first line, warnings (and with "links all" numbers) to theirs, borderless.
TEST(Navigation, OutlineAndLinksPointAtTheirLinesWithoutChangingThePages) {
  const char* const modes[] = {"", "links all\n", "links off\noutline files\n"};
  std::vector<Pdf> pdfs;
  for (const char* mode : modes) {
    Workspace f;
    if (*mode) f.resource(std::string("/OPTIONS\n") + mode);
    f.source("units.vhd", units);
    f.source("g.vhd", "package gp is generic (\n  package fp is new work.g generic map (<>));\n"
                      "end;");
    ASSERT_EQ(f.run({"units.vhd", "g.vhd"}).status, 0);
    pdfs.push_back(f.pdf());
  }
  const double size = pdfs[0].pages[0].runsIn("Courier").at(0).size;
  std::string outline;
  for (const OutlineEntry& e : pdfs[0].outlines)
    outline += std::string(e.depth, '>') + e.title + (e.open ? "" : " (closed)") +
               (e.depth ? " -> " + lineAt(pdfs[0].lines(), e.page, e.top - size).substr(0, 7)
                        : "") + "\n";
  EXPECT_EQ(outline,  // no unit in g.vhd's interface list
            "g.vhd (closed)\n>package gp ->    1 | \n>TEXT STATISTICS -> TEXT ST\n"
            ">SYMBOL TABLE -> SYMBOL \nunits.vhd (closed)\n>entity Top ->    3 | \n"
            ">architecture RTL of Top ->    6 | \n>package P ->   11 | \n"
            ">package body P ->   11 | \n>configuration cfg of Top ->   12 | \n"
            ">context ctx ->   13 | \n>entity \\Ext Name\\ ->   14 | \n"
            ">TEXT STATISTICS -> TEXT ST\n>WARNINGS -> WARNING\n>SYMBOL TABLE -> SYMBOL \n");
  const auto listing = [](const Pdf& pdf) {  // the listing lines and where they stand
    std::string text;
    for (const Page& page : pdf.pages)
      for (const TextRun& run : page.runsIn("Courier"))
        text += run.text + "@" + std::to_string(run.x) + "," + std::to_string(run.y) + " ";
    return text;
  };
  for (const Pdf& pdf : pdfs) EXPECT_EQ(listing(pdf), listing(pdfs.back()));
  const size_t expected[] = {45, 114, 0};  // names and warnings; with "links all" numbers too
  for (size_t mode = 0; mode < pdfs.size(); ++mode) {
    const auto at = pdfs[mode].lines();
    size_t sound = 0;
    std::string wrong;
    for (size_t p = 0; p < pdfs[mode].pages.size(); ++p)
      for (const Link& link : pdfs[mode].pages[p].links) {
        // A number points at its own line, a name at the first line its entry lists.
        const std::string line = lineAt(at, static_cast<int>(p), link.y0 + 0.25 * size);
        const auto column = [&](double x) {
          return std::min<size_t>(std::lround((x - 44) / (0.6 * size)), line.size());
        };
        const std::string linked = line.substr(column(link.x0), column(link.x1) - column(link.x0));
        const bool number = linked.find_first_not_of(" 0123456789") == std::string::npos;
        const int expectedLine = std::atoi(line.c_str() + column(number ? link.x0 : link.x1));
        const std::string target = lineAt(at, link.target.page, link.target.top - size);
        const bool ok = link.border == 0 && std::atoi(target.c_str()) == expectedLine;
        sound += ok && expectedLine > 0;
        wrong += ok && expectedLine > 0 ? "" : linked + " -> " + target + "\n";
      }
    EXPECT_EQ(std::to_string(sound) + "\n" + wrong, std::to_string(expected[mode]) + "\n") << mode;
  }
}

// Every name of every cross-reference links to its first line, however many: a file of 2,601
// names in a listing of three files. Each row's link lies over its name, borderless, and puts
// at the top of the window the numbered line its row lists first, which holds the name; no
// other link is made.
TEST(Navigation, EveryNameLinksToItsFirstLineAtAnySize) {
  Workspace f;
  f.resource(shippedResource());
  std::string many = "package many is\n";
  for (int i = 1; i <= 2600; ++i)
    many += "  constant n" + std::to_string(i) + " : Integer := n" + std::to_string(i - 1) + ";\n";
  f.source("many.vhd", many + "end;\n");
  f.source("a.vhd", "entity a is\n  port (clk : in bit);\nend;\narchitecture rtl of a is\nbegin\n"
                    "  clk_copy <= clk;\nend;\n");
  f.source("b.vhd", "package b is\n  constant Width : natural := 8;\nend;\n");
  ASSERT_EQ(f.run({"many.vhd", "a.vhd", "b.vhd"}).status, 0);
  const Pdf pdf = f.pdf();
  const std::vector<DrawnLine> lines = pdf.lines();
  const double size = lines.at(0).size, column = 0.6 * size;
  std::size_t rows = 0, manyRows = 0, links = 0;
  std::string wrong;
  for (const DrawnLine& row : lines) {
    // A cross-reference row: four blanks, the name, its line numbers.
    if (row.text.rfind("    ", 0) != 0 || row.text.size() < 5 || row.text[4] == ' ' ||
        (row.text[4] >= '0' && row.text[4] <= '9'))
      continue;
    const std::string name = row.text.substr(4, row.text.find(' ', 4) - 4);
    const int first = std::atoi(row.text.c_str() + 4 + name.size());
    ++rows;
    manyRows += name[0] == 'n' && name.find_first_not_of("0123456789", 1) == std::string::npos;
    std::size_t found = 0;
    for (const Link& link : pdf.pages[row.page].links) {
      if (std::fabs(link.y0 + 0.25 * size - row.y) > 0.2) continue;
      ++found;
      const std::string target = lineAt(lines, link.target.page, link.target.top - size);
      std::string lower = target;
      for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      const bool ok = std::fabs(link.x0 - (row.x + 4 * column)) < 0.1 &&
                      std::fabs(link.x1 - (row.x + (4 + name.size()) * column)) < 0.1 &&
                      std::fabs(link.y1 - link.y0 - size) < 0.2 && link.border == 0 &&
                      std::atoi(target.c_str()) == first && lower.find(name) != std::string::npos;
      if (!ok) wrong += name + " -> " + target + "\n";
    }
    if (found != 1) wrong += name + ": " + std::to_string(found) + " links\n";
  }
  for (const Page& page : pdf.pages) links += page.links.size();
  EXPECT_EQ(wrong, "");
  EXPECT_EQ(manyRows, 2601u);
  EXPECT_EQ(links, rows);
}

}  // namespace mervik::test
