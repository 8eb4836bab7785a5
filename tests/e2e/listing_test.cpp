// End-to-end: the real binary lists real files, and the PDF it wrote is read back.

#include <cstdio>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "support/workspace.hpp"

namespace mervik::test {
namespace {

std::string numberedLines(int count, int width = 10) {
  std::string text;
  for (int i = 1; i <= count; ++i) text += "x" + std::string(width - 1, 'y') + "\n";
  return text;
}

// printf into a string, so that a page's geometry compares as one text.
template <typename... Values>
std::string format(const char* pattern, Values... values) {
  char text[512];
  std::snprintf(text, sizeof text, pattern, values...);
  return text;
}

TEST(Listing, PageHeadersOutlineAndPageLabels) {
  Workspace f;
  f.source("long.vhd", numberedLines(200));
  f.source("my two.vhd");
  f.source("three.vhd");
  ASSERT_EQ(f.run({"three.vhd", "long.vhd", "my two.vhd"}).status, 0);
  const Pdf pdf = f.pdf();
  const auto head = pdf.pages.at(0).runsIn("Helvetica");
  ASSERT_TRUE(head.size() == 2 && pdf.pages[0].segments.size() == 1);
  const Segment& rule = pdf.pages[0].segments[0];
  // "page 1" in Helvetica is 3.058 em wide: 'p', 'a', 'g', 'e', '1' 0.556 each, the blank 0.278.
  EXPECT_EQ(format("%.3f at (%.2f, %.2f), label to (%.2f, %.2f); rule (%.2f, %.2f) to (%.2f, "
                   "%.2f) %.2f wide", head[0].size, head[0].x, head[0].y,
                   head[1].x + 3.058 * head[1].size, head[1].y, rule.x0, rule.y0, rule.x1,
                   rule.y1, rule.width),
            "10.991 at (44.00, 811.89), label to (551.28, 811.89); rule (44.00, 807.89) to "
            "(551.28, 807.89) 1.00 wide");
  std::string outline, heads;
  for (const OutlineEntry& e : pdf.outlines)
    if (e.depth == 0) outline += format("[%s %d:%d]", e.title.c_str(), e.page, e.depth);
  for (const Page& p : pdf.pages)
    heads += "[" + p.runsIn("Helvetica").at(0).text.substr(27) + " " +
             p.runsIn("Helvetica").at(1).text + "]";
  // In path order; a title is the text after the header's last blank.
  EXPECT_EQ(outline + heads, "[long.vhd 0:0][two.vhd 3:0][three.vhd 4:0][long.vhd page 1]"
                             "[long.vhd page 2][long.vhd page 3][my two.vhd page 1]"
                             "[three.vhd page 1]");
}

TEST(Listing, FontSizeAndColumnsFollowTheLineWidth) {
  // FORMAT's second value is the line width less 6, negative for landscape. Expected: page
  // width, font size, lines on page 1, where the last column starts, the last line on page 1.
  const std::pair<const char*, const char*> cases[] = {
      {nullptr, "595.28: 8.4546, 92 lines, column at 1 (44.00, 790.89), last (44.00, 36.91)"},
      {"51", "595.28: 7.0947, 220 lines, column at 111 (308.64, 790.89), last (308.64, 33.04)"},
      {"52", "595.28: 14.5769, 54 lines, column at 1 (44.00, 790.89), last (44.00, 33.77)"},
      {"-80", "841.89: 7.0920, 148 lines, column at 75 (431.95, 544.28), last (431.95, 36.92)"},
      {"-81", "841.89: 14.4423, 37 lines, column at 1 (44.00, 544.28), last (44.00, 34.75)"},
  };
  for (const auto& [lineWidth, expected] : cases) {
    Workspace f;
    if (lineWidth) f.resource(std::string("/FORMAT\n4\n") + lineWidth + "\n");
    f.source("a.vhd", numberedLines(300, 5));
    ASSERT_EQ(f.run({"a.vhd"}).status, 0);
    const Pdf pdf = f.pdf();
    const auto text = pdf.pages.at(0).runsIn("Courier");
    ASSERT_FALSE(text.empty());
    size_t last = 0;  // the first line of the rightmost column
    for (size_t i = 0; i < text.size(); ++i) last = text[i].x > text[last].x ? i : last;
    EXPECT_EQ(format("%.2f: %.4f, %zu lines, column at %zu (%.2f, %.2f), last (%.2f, %.2f)",
                     pdf.pages[0].width, text[0].size, text.size(), last + 1, text[last].x,
                     text[last].y, text.back().x, text.back().y),
              expected);
  }
}

TEST(Listing, WorkedLayoutExamples) {
  Workspace f;
  f.resource("/FORMAT\n4\n24\n");  // line width 30: two columns, the statistics head the right
  f.source("e.vhd", "entity e is\n\tport (a, b : in bit; y : out bit);\nend e;\n");
  f.source("x.vhd", "x <= a and b and c and d and e and f and g;\n");
  ASSERT_EQ(f.run({"e.vhd", "x.vhd"}).status, 0);
  const std::string text = f.pdf().listing();
  for (const char* piece : {"   1 | entity e is\n   2 |     port (a, b : in bit;\n     |      y : "
                            "out bit);\n   3 | end e;\nTEXT STATISTICS\n\n    55 characters\n",
                            "   1 | x <= a and b and c and d\n     |    and e and f and g;\n"})
    EXPECT_NE(text.find(piece), std::string::npos) << text;
}

TEST(Listing, SourcesThatCannotBeReadAreSkippedAndNothingListableWritesNoFile) {
  const std::string banner = "- MERVIK v1.0 -\n\nNo resource file\n   SYMBOL TABLE (default)";
  Workspace f;
  f.source("empty.vhd", "");
  f.source("nul.vhd", std::string("\0entity", 7));
  // A dangling link is found like a file but cannot be opened, even by root.
  std::filesystem::create_symlink("missing", f.dir / "work/gone.vhd");
  const RunResult none = f.run({"nul.vhd", "gone.vhd", "empty.vhd"});
  EXPECT_EQ(none.status, 0);
  EXPECT_EQ(none.console, banner + "\n\nempty.vhd\n\nempty.vhd : FILE IS EMPTY\n\n\ngone.vhd\n\n"
                          "gone.vhd : FILE COULD NOT BE OPENED\n\n\nnul.vhd\n\nnul.vhd : FILE IS "
                          "EMPTY\n\n\nTotal lines: 0\n\nNo listing file: no source could be "
                          "listed\n\nPress a key to quit ");
  EXPECT_EQ(none.opened + std::to_string(fileExists(f.dir / "work/listing.pdf")), "0");

  f.source("top.vhd", "-- top\nentity top is\nend top;\n");
  const RunResult r = f.run({"gone.vhd", "top.vhd"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.console + "|" + r.out + "|" + r.opened,
            banner + "\n\ngone.vhd\n\ngone.vhd : FILE COULD NOT BE OPENED\n\n\ntop.vhd\n     4 "
                     "different symbol names\n     5 symbol occurrences\n\nTotal lines: 3\n\n"
                     "Listing file: listing.pdf\n\nPress a key to quit ||listing.pdf");
  const Pdf pdf = f.pdf();
  EXPECT_EQ(pdf.author + "|" + pdf.creator + "|" + pdf.listing(),
            "Talmeric|mervik|   1 | -- top\n   2 | entity top is\n   3 | end top;\n"
            "\n\nTEXT STATISTICS\n\n    30 characters\n     3 lines\n"
            "\nLEXICAL STATISTICS\n\n     1 comments\n\nSYMBOL TABLE\n\n"
            "    end              3 \n    entity           2 \n"
            "    is               2 \n    top              2       3 \n");
}

}  // namespace
}  // namespace mervik::test
