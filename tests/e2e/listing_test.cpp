// End-to-end: the real binary lists files and its PDF is read back.

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/workspace.hpp"

namespace mervik::test {

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

// Sources that cannot be read are skipped, and with nothing listable no file is written.
TEST(Listing, SkipsUnreadableSourcesAndDrawsPageHeadersOutlineAndPageLabels) {
  Workspace f;
  const std::string banner = "- MERVIK v1.0 -\n\nNo resource file\n   SYMBOL TABLE (default)";
  f.source("empty.vhd", "");
  f.source("nul.vhd", std::string("\0entity", 7));
  // A dangling link is found like a file but cannot be opened, even by root.
  std::filesystem::create_symlink("missing", f.dir / "work/gone.vhd");
  const RunResult none = f.run({"nul.vhd", "gone.vhd", "empty.vhd"});
  EXPECT_EQ(none.console, banner + "\n\nempty.vhd\n\nempty.vhd : FILE IS EMPTY\n\n\ngone.vhd\n\n"
                          "gone.vhd : FILE COULD NOT BE OPENED\n   gone.vhd: No such file or directory\n\n\nnul.vhd\n\nnul.vhd : FILE IS "
                          "EMPTY\n\n\nTotal lines: 0\n\nNo listing file: no source could be "
                          "listed\n\nPress a key to quit ");
  EXPECT_EQ(std::to_string(none.status) + none.opened +
                std::to_string(fileExists(f.dir / "work/listing.pdf")), "10");

  f.source("top.vhd", "-- top\nentity top is\nend top;\n");
  const RunResult r = f.run({"gone.vhd", "top.vhd"});
  EXPECT_EQ(std::to_string(r.status) + r.console + "|" + r.out + "|" + r.opened,
            "1" + banner + "\n\ngone.vhd\n\ngone.vhd : FILE COULD NOT BE OPENED\n   gone.vhd: "
                "No such file or directory\n\n\ntop.vhd\n"
                "     4 different symbol names\n     5 symbol occurrences\n\nTotal lines: 3\n\n"
                "Listing file: listing.pdf\n\nPress a key to quit ||listing.pdf");
  const Pdf top = f.pdf();
  EXPECT_EQ(top.author + "|" + top.creator + "|" + top.listing(),
            "Talmeric|mervik|   1 | -- top\n   2 | entity top is\n   3 | end top;\n\n\nTEXT "
            "STATISTICS\n\n    30 characters\n     3 lines\n\nLEXICAL STATISTICS\n\n     1 comments"
            "\n\nSYMBOL TABLE\n\n    end              3 \n    entity           2 \n    is       "
            "        2 \n    top              2       3 \n");

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
  EXPECT_EQ(outline + heads, "[long.vhd 0:0][my two.vhd 3:0][three.vhd 4:0][long.vhd page 1]"
                             "[long.vhd page 2][long.vhd page 3][my two.vhd page 1]"
                             "[three.vhd page 1]");
}

TEST(Listing, FontSizeAndColumnsFollowTheLineWidth) {
  // FORMAT's line width less 6 (negative: landscape); page width, font size, lines on page 1,
  // where its last column starts, its last line.
  const std::pair<const char*, const char*> cases[] = {
      {nullptr, "595.28: 8.4546, 92 lines, column at 1 (44.00, 790.89), last (44.00, 36.91)"},
      {"51", "595.28: 7.0947, 220 lines, column at 111 (308.64, 790.89), last (308.64, 33.04)"},
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

TEST(Utf8, SourcesAreShownAsWrittenInTheirColumnsAndOthersByteForByte) {
  const std::string comment = "-- Z\xC3\xA4hler f\xC3\xBCr die Ampel \xE2\x80\x93 \xC2\xA9 2024 "
                              "\xE2\x80\x9Cquoted\xE2\x80\x9D \xE2\x82\xAC" "5";
  const std::string shown = "-- Z\xE4hler f\xFCr die Ampel \x96 \xA9 2024 \x93quoted\x94 \x80" "5";
  std::string wide = "-- ";  // 94 characters in 114 bytes
  for (int i = 0; i < 20; ++i) wide += "\xC3\xA9";
  wide += std::string(71, 'x');
  for (const bool detect : {true, false}) {
    Workspace f;
    f.resource(detect ? "/OPTIONS\noblique comments\n" : "/OPTIONS\nutf8 off\n");
    f.source("a.vhd", comment + "\n" + wide + "\nsignal \\Z\xC3\xA4hler\\ : bit;\n");
    f.source("b.vhd", "\xEF\xBB\xBF" "entity e is end; -- \xC3\xA9\n");
    f.source("c.vhd", "x\xC3\xA9\xED\xA0\x80");  // a surrogate: no UTF-8
    const std::string console = f.run({"a.vhd", "b.vhd", "c.vhd"}).console;
    // The listing, the console, oblique runs by their first column, links by the columns spanned.
    const Pdf pdf = f.pdf();
    std::string seen = "\n" + pdf.listing() + console + "\n";
    const double w = 0.6 * pdf.pages.at(0).runsIn("Courier").at(0).size;
    auto column = [&](double x) { return std::to_string(std::lround((x - 44) / w)); };
    for (const Page& page : pdf.pages) {
      for (const TextRun& run : page.runsIn("Courier-Oblique"))
        seen += column(run.x) + " " + run.text + "\n";
      for (const Link& link : page.links) seen += column(link.x0) + "-" + column(link.x1) + "\n";
    }
    std::vector<std::string> expected = detect ? std::vector<std::string>{"   1 | " + shown,
        "   2 | -- " + std::string(20, '\xE9') + std::string(71, 'x'),
        "   1 | entity e is end; -- \xE9", "    \\Z\xE4hler\\         3 ",
        "    26 characters", "7 " + shown, "24 -- \xE9", "4-12", "a.vhd\n   read as UTF-8",
        "b.vhd\n   read as UTF-8"} : std::vector<std::string>{"   1 | " + comment,
        "   2 | " + wide.substr(0, 94), "     |  " + wide.substr(94),
        "4-13", "a.vhd\n     3 different symbol names", "b.vhd\n     4 different symbol names"};
    expected.insert(expected.end(),
                    {"   1 | x\xC3\xA9\xED\xA0\x80", "c.vhd\n     1 different symbol names"});
    for (const std::string& line : expected)
      EXPECT_NE(seen.find("\n" + line + "\n"), seen.npos) << line;
    EXPECT_EQ(std::count_if(pdf.outlines.begin(), pdf.outlines.end(),
                            [](const OutlineEntry& e) { return e.title == "entity e"; }),
              detect ? 1 : 0);
  }
}

}  // namespace mervik::test
