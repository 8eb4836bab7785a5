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

TEST(Listing, ConsoleTranscriptOfARun) {
  Workspace f;
  f.source("b.vhd", "entity b is\nend b;\n");
  f.source("a.vhd", "entity a is\nend a;\n");
  const RunResult r = f.run({"b.vhd", "a.vhd"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.console,
            "- MERVIK v1.0 -\n\nNo resource file\n   SYMBOL TABLE (default)"
            "\n\na.vhd\n     4 different symbol names\n     5 symbol occurrences"
            "\n\nb.vhd\n     4 different symbol names\n     5 symbol occurrences"
            "\n\nTotal lines: 4\n\nListing file: listing.pdf\n\nPress a key to quit ");
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.opened, "listing.pdf");
}

TEST(Listing, WholeSectionOfOneSource) {
  Workspace f;
  f.source("top.vhd", "-- top\nentity top is\nend top;\n");
  ASSERT_EQ(f.run({"top.vhd"}).status, 0);
  const Pdf pdf = f.pdf();
  EXPECT_EQ(pdf.listing(),
            "   1 | -- top\n   2 | entity top is\n   3 | end top;\n"
            "\n\nTEXT STATISTICS\n\n    30 characters\n     3 lines\n"
            "\nLEXICAL STATISTICS\n\n     1 comments\n"
            "\nSYMBOL TABLE\n\n"
            "    end              3 \n    entity           2 \n"
            "    is               2 \n    top              2       3 \n");
  EXPECT_EQ(pdf.author + "|" + pdf.creator, "Talmeric|mervik");
}

TEST(Listing, DefaultPageGeometry) {
  Workspace f;
  f.source("long.vhd", numberedLines(200));
  ASSERT_EQ(f.run({"long.vhd"}).status, 0);
  const Pdf pdf = f.pdf();
  const Page& page = pdf.pages.at(0);
  const auto text = page.runsIn("Courier");
  const auto head = page.runsIn("Helvetica");
  ASSERT_TRUE(text.size() > 1 && head.size() == 2 && page.segments.size() == 1);
  EXPECT_EQ(format("%.3f x %.3f: %zu lines in %.4f at (%.2f, %.2f), (%.2f, %.2f) ... (%.2f, %.2f)",
                   page.width, page.height, text.size(), text[0].size, text[0].x, text[0].y,
                   text[1].x, text[1].y, text.back().x, text.back().y),
            "595.276 x 841.890: 92 lines in 8.4546 at (44.00, 790.89), (44.00, 782.60) ... "
            "(44.00, 36.91)");
  // "page 1" in Helvetica is 3.058 em wide: 'p', 'a', 'g', 'e', '1' 0.556 each, the blank 0.278.
  EXPECT_EQ(format("[%s] in %.3f at (%.2f, %.2f), [%s] ending at (%.2f, %.2f)",
                   head[0].text.substr(24).c_str(), head[0].size, head[0].x, head[0].y,
                   head[1].text.c_str(), head[1].x + 3.058 * head[1].size, head[1].y),
            "[   long.vhd] in 10.991 at (44.00, 811.89), [page 1] ending at (551.28, 811.89)");
  const Segment& rule = page.segments[0];
  EXPECT_EQ(format("(%.2f, %.2f) to (%.2f, %.2f), %.2f wide", rule.x0, rule.y0, rule.x1, rule.y1,
                   rule.width),
            "(44.00, 807.89) to (551.28, 807.89), 1.00 wide");
  EXPECT_EQ(pdf.pages.at(1).runsIn("Helvetica").at(1).text + "|" + pdf.pages[1].lines().at(0),
            "page 2|  93 | xyyyyyyyyy");
}

TEST(Listing, FontSizeAndColumnsFollowTheLineWidth) {
  // FORMAT's second value is the line width less 6, negative for landscape. Expected: page
  // width, font size, lines on page 1, where the last column starts, where page 2 starts.
  const std::pair<const char*, const char*> cases[] = {
      {"51", "595.28: 7.0947, 220 lines, column at 111 (308.64, 790.89), then (44.00, 790.89)"},
      {"52", "595.28: 14.5769, 54 lines, column at 1 (44.00, 790.89), then (44.00, 790.89)"},
      {"-80", "841.89: 7.0920, 148 lines, column at 75 (431.95, 544.28), then (44.00, 544.28)"},
      {"-81", "841.89: 14.4423, 37 lines, column at 1 (44.00, 544.28), then (44.00, 544.28)"},
  };
  for (const auto& [lineWidth, expected] : cases) {
    Workspace f;
    f.resource(std::string("/FORMAT\n4\n") + lineWidth + "\n");
    f.source("a.vhd", numberedLines(300, 5));
    ASSERT_EQ(f.run({"a.vhd"}).status, 0);
    const Pdf pdf = f.pdf();
    const auto text = pdf.pages.at(0).runsIn("Courier");
    const auto next = pdf.pages.at(1).runsIn("Courier");
    ASSERT_FALSE(text.empty() || next.empty());
    size_t last = 0;  // the first line of the rightmost column
    for (size_t i = 0; i < text.size(); ++i) last = text[i].x > text[last].x ? i : last;
    EXPECT_EQ(format("%.2f: %.4f, %zu lines, column at %zu (%.2f, %.2f), then (%.2f, %.2f)",
                     pdf.pages[0].width, text[0].size, text.size(), last + 1, text[last].x,
                     text[last].y, next[0].x, next[0].y),
              expected);
  }
}

TEST(Listing, WorkedLayoutExamples) {
  Workspace f;
  f.resource("/FORMAT\n4\n24\n");  // line width 30
  f.source("e.vhd", "entity e is\n\tport (a, b : in bit; y : out bit);\nend e;\n");
  f.source("x.vhd", "x <= a and b and c and d and e and f and g;\n");
  ASSERT_EQ(f.run({"e.vhd", "x.vhd"}).status, 0);
  const std::string text = f.pdf().listing();
  // At this line width two columns: what follows the text heads the right one.
  EXPECT_NE(text.find("   1 | entity e is\n   2 |     port (a, b : in bit;\n"
                      "     |      y : out bit);\n   3 | end e;\n"
                      "TEXT STATISTICS\n\n    55 characters\n     3 lines\n"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("   1 | x <= a and b and c and d\n     |    and e and f and g;\n"),
            std::string::npos)
      << text;
}

TEST(Listing, OutlineEntriesAndPageLabelsCountPerSection) {
  Workspace f;
  f.source("one.vhd", numberedLines(150));  // 58 lines end too low: statistics on a third page
  f.source("my two.vhd", "entity two is end;\n");
  f.source("three.vhd", numberedLines(10));
  ASSERT_EQ(f.run({"three.vhd", "one.vhd", "my two.vhd"}).status, 0);
  const Pdf pdf = f.pdf();
  std::string outline, labels;
  for (const OutlineEntry& e : pdf.outlines) {
    outline += format("[%s %d:%d]", e.title.c_str(), e.page, e.depth);
  }
  for (const Page& page : pdf.pages) labels += "[" + page.runsIn("Helvetica").at(1).text + "]";
  // In path order; a title is the text after the header's last blank.
  EXPECT_EQ(outline, "[two.vhd 0:0][one.vhd 1:0][three.vhd 4:0]");
  EXPECT_EQ(labels, "[page 1][page 1][page 2][page 3][page 1]");
}

TEST(Listing, UnreadableAndEmptySourcesAreSkippedAndNothingListableWritesNoFile) {
  Workspace f;
  f.source("empty.vhd", "");
  f.source("nul.vhd", std::string("\0entity", 7));
  const RunResult none = f.run({"empty.vhd", "nul.vhd"});
  EXPECT_EQ(none.status, 0);
  EXPECT_EQ(none.console.substr(none.console.find("\n\nempty.vhd")),
            "\n\nempty.vhd\n\nempty.vhd : FILE IS EMPTY\n\n\nnul.vhd\n\nnul.vhd : FILE IS EMPTY\n"
            "\n\nTotal lines: 0\n\nNo listing file: no source could be listed"
            "\n\nPress a key to quit ");
  EXPECT_FALSE(fileExists(f.dir / "work/listing.pdf"));
  EXPECT_EQ(none.opened, "");

  // A dangling link is found like a file but cannot be opened, even by root.
  std::filesystem::create_symlink("missing", f.dir / "work/gone.vhd");
  f.source("good.vhd");
  const RunResult r = f.run({"gone.vhd", "good.vhd"});
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.console.find("\n\ngone.vhd\n\ngone.vhd : FILE COULD NOT BE OPENED\n\n\ngood.vhd\n"),
            std::string::npos)
      << r.console;
  EXPECT_EQ(r.opened, "listing.pdf");
  const Pdf pdf = f.pdf();
  EXPECT_EQ(pdf.outlines.at(0).title + "|" + std::to_string(pdf.outlines.size()), "good.vhd|1");
}

}  // namespace
}  // namespace mervik::test
