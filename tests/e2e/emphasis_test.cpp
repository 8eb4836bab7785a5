// End-to-end: with the shipped resource file the reserved words of the source lines are bold and
// the comments oblique, and every character stays where it is without emphasis.

#include <cmath>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/workspace.hpp"

namespace mervik::test {
namespace {

// One drawn line: its runs joined, the face of each byte ('.', 'b' bold, 'o' oblique; a blank,
// which looks alike in every face, ' '), where its first run starts.
struct Drawn {
  std::string text, faces;
  double x = 0, y = 0;
};

std::vector<Drawn> drawnLines(const Pdf& pdf) {
  std::vector<Drawn> lines;
  for (const Page& page : pdf.pages) {
    const size_t first = lines.size();
    for (const TextRun& run : page.runs) {
      if (run.font.rfind("Courier", 0) != 0) continue;
      const char face = run.font == "Courier-Bold" ? 'b' : run.font == "Courier-Oblique" ? 'o' : '.';
      if (lines.size() == first || std::fabs(lines.back().y - run.y) > 0.01 ||
          run.x <= lines.back().x + 0.01)
        lines.push_back({"", "", run.x, run.y});
      lines.back().text += run.text;
      for (char c : run.text) lines.back().faces += c == ' ' ? ' ' : face;  // a blank has no face
    }
  }
  return lines;
}

std::string shippedOptions() {
  return readFile(std::string(MERVIK_SOURCE_DIR) + "/examples/mervik.rsc");
}

TEST(Emphasis, WrappedCommentsAndWordsKeepTheirFaceAndNothingElseIsEmphasised) {
  Workspace f;
  std::string options = shippedOptions();
  const size_t format = options.find("/FORMAT\n");
  ASSERT_NE(format, std::string::npos);
  f.resource(options.replace(format, 12, "/FORMAT\n4\n24"));  // 24 characters a line: wraps
  f.source("t.vhd",
           "-- a comment wraps onto its next line\n"
           "s <= \"-- no\" & \\entity\\; -- is\n"
           "signal xyz : bit_vector(ARCHITECTURE_x);\n"
           "aa bb cc dd ee ff gg architecture\n");
  ASSERT_EQ(f.run({"t.vhd"}).status, 0);
  std::string shown;
  for (const Drawn& d : drawnLines(f.pdf())) {
    if (d.text.rfind("TEXT", 0) == 0) break;
    shown += d.text + "\n" + d.faces + "\n";
  }
  EXPECT_EQ(shown,
            "   1 | -- a comment wraps onto \n"
            "   . . oo o ooooooo ooooo oooo \n"
            "     |  its next line\n"
            "     .  ooo oooo oooo\n"
            "   2 | s <= \"-- no\" & \\entity\\;\n"
            "   . . . .. ... ... . .........\n"
            "     |    -- is\n"
            "     .    oo oo\n"
            "   3 | signal xyz : bit_vector(\n"
            "   . . bbbbbb ... . ...........\n"
            "     |  ARCHITECTURE_x);\n"
            "     .  ................\n"
            "   4 | aa bb cc dd ee ff gg arc\n"
            "   . . .. .. .. .. .. .. .. bbb\n"
            "     |  hitecture\n"
            "     .  bbbbbbbbb\n");
}

// Where the source text of a listing line begins: after the number prefix, and on a
// continuation line after its indent too; npos for the lines of the reports.
size_t textStart(const std::string& line) {
  const size_t bar = line.find(" | ");
  if (bar == std::string::npos || line.find_first_not_of(" 0123456789") != bar + 1) return bar;
  const size_t start = bar + 3;
  return line[0] == ' ' && line[bar - 1] == ' ' ? line.find_first_not_of(' ', start) : start;
}

// The bundled examples and ghdl's sources: the bold words of each source line are the reserved
// words the cross-reference lists for it, the oblique text of a line is its comment, and text
// and positions are those of the listing without emphasis.
TEST(Emphasis, ExamplesAndGhdlSourcesMatchTheirCrossReferenceAndPlainListing) {
  Workspace plain, emphasised;
  const std::string options = shippedOptions();
  plain.resource(options.substr(0, options.find("/OPTIONS")));
  emphasised.resource(options);
  std::vector<std::string> names;
  auto add = [&](const std::filesystem::path& path, const std::string& name) {
    for (Workspace* w : {&plain, &emphasised}) w->source(name, readFile(path.string()));
    names.push_back(name);
  };
  for (const auto& entry : std::filesystem::directory_iterator(MERVIK_SOURCE_DIR "/examples"))
    if (entry.path().extension() == ".vhd") add(entry.path(), entry.path().filename().string());
  if (std::filesystem::is_directory("/usr/lib/ghdl/src"))
    for (const auto& entry : std::filesystem::recursive_directory_iterator("/usr/lib/ghdl/src"))
      if (entry.path().extension() == ".vhdl")
        add(entry.path(), std::to_string(names.size()) + entry.path().filename().string());
  ASSERT_EQ(plain.run(names).status, 0);
  ASSERT_EQ(emphasised.run(names).status, 0);
  const std::vector<Drawn> before = drawnLines(plain.pdf()), after = drawnLines(emphasised.pdf());
  ASSERT_EQ(before.size(), after.size());

  // (source line, word) drawn bold, and as the cross-reference lists its reserved words; the
  // empty lines are not drawn, so a report block ends at the first line of another kind.
  std::set<std::pair<int, std::string>> bold, listed;
  int sourceLine = 0, commentLines = 0, comments = 0;
  bool inReserved = false, inComment = false;
  std::string word, name;  // a bold word, perhaps broken by a wrap; the entry being read
  for (size_t i = 0; i < after.size(); ++i) {
    const Drawn& a = after[i];
    ASSERT_EQ(a.text + " @" + std::to_string(a.x) + "," + std::to_string(a.y),
              before[i].text + " @" + std::to_string(before[i].x) + "," + std::to_string(before[i].y));
    const size_t start = textStart(a.text);
    if (start == std::string::npos) {
      EXPECT_EQ(a.faces.find_first_not_of(". "), std::string::npos) << a.text;
      if (!word.empty()) bold.insert({sourceLine, word});
      word.clear();
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
    if (a.text[0] != ' ' || a.text.rfind("     | ", 0) != 0) {  // a numbered line
      if (!word.empty()) bold.insert({sourceLine, word});
      word.clear();
      if (std::stoi(a.text) == 1) {  // a new section
        EXPECT_EQ(bold, listed) << a.text;
        bold.clear(), listed.clear();
      }
      sourceLine = std::stoi(a.text);
      inComment = false;
    }
    for (size_t c = start; c < a.text.size(); ++c) {
      if (a.faces[c] == 'b') word += static_cast<char>(std::tolower(a.text[c]));
      if (a.faces[c] != 'b' && !word.empty()) bold.insert({sourceLine, word}), word.clear();
      if (a.faces[c] == 'o' && !inComment) {
        EXPECT_EQ(a.text.substr(c, 2), "--") << a.text;
        inComment = true;
        ++commentLines;
      }
      EXPECT_TRUE(!inComment || a.faces[c] == 'o' || a.faces[c] == ' ') << a.text;
    }
  }
  if (!word.empty()) bold.insert({sourceLine, word});
  EXPECT_EQ(bold, listed);
  EXPECT_EQ(commentLines, comments);
  EXPECT_GT(names.size(), 60u);
}

}  // namespace
}  // namespace mervik::test
