#include "pdf/listing_writer.hpp"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

#include "support/pdf_reader.hpp"
#include "support/run_mervik.hpp"

namespace mervik::pdf {
namespace {

using test::Pdf;

constexpr char header[] = "Mon Jan  1 10:00:00 2024   top.vhd";

// An opened writer in a directory of its own, its first section begun with `header`.
struct Listing {
  explicit Listing(const char* width = "100", Orientation orientation = Orientation::portrait) {
    std::string err;
    EXPECT_TRUE(writer.open(width, orientation, &err)) << err;
    writer.section(header);
  }
  void lines(int n) { for (int i = 1; i <= n; ++i) writer.line("line " + std::to_string(i)); }
  Pdf read() {
    std::string err;
    EXPECT_EQ(writer.close(path, "mervik", &err), CloseResult::saved) << err;
    Pdf pdf;
    EXPECT_TRUE(test::readPdf(path, &pdf, &err)) << err;
    return pdf;
  }
  test::TempDir dir;
  std::string path = dir / "listing.pdf";
  ListingWriter writer;
};

// One column: what follows the text shares its last page when the next baseline is at or
// above p*H/(p+1), p being the pages the text took; otherwise it starts the next page. Two
// columns: a text ended in the left column goes on in the right one, else on a new page.
TEST(ListingWriter, SectionEndKeepsOrBreaksThePageOrColumn) {
  // Line width, text lines, then the pages and where the line after the section end went.
  const std::tuple<const char*, int, const char*> cases[] = {
      {"100", 44, "1 (44.00, 409.76)"},  {"100", 45, "2 (44.00, 790.89)"},  // H/2: 426.3 / 418.0
      {"100", 116, "2 (44.00, 575.47)"}, {"100", 127, "3 (44.00, 790.89)"},  // 2H/3: 0.7 H / 0.6 H
      {"100", 203, "3 (44.00, 616.89)"}, {"100", 204, "4 (44.00, 790.89)"},  // 3H/4: 633.5 / 625.2
      {"50", 10, "1 (308.64, 790.89)"},  {"50", 106, "2 (44.00, 790.89)"},  // 96 lines a column
  };
  for (const auto& [width, textLines, expected] : cases) {
    Listing f(width);
    f.lines(textLines);
    f.writer.sectionEnd();
    f.writer.line("TEXT STATISTICS");
    const Pdf pdf = f.read();
    const test::TextRun last = pdf.pages.back().runsIn("Courier").back();
    char got[64];
    std::snprintf(got, sizeof got, "%zu (%.2f, %.2f)", pdf.pages.size(), last.x, last.y);
    EXPECT_EQ(last.text + " " + got, std::string("TEXT STATISTICS ") + expected) << textLines;
  }
}

// A section end right after the section command does nothing; an old file is replaced and no
// temporary is left.
TEST(ListingWriter, EachSectionHasAnOutlineEntryAndItsHeaderOnEveryPage) {
  Listing f;
  f.dir.write("listing.pdf", "old listing");
  const std::string headers[] = {header, "Tue Jan  2 10:00:00 2024   dir/b.vhd", "plain"};
  for (int s = 0; s < 3; ++s) {
    if (s > 0) f.writer.section(headers[s]);
    f.lines(s == 0 ? 100 : s == 1 ? 1 : 0);
    f.writer.sectionEnd();
    if (s == 2) f.writer.sectionEnd();
    f.writer.line("TEXT STATISTICS");
  }
  const Pdf pdf = f.read();
  std::string outline, heads;
  for (const auto& e : pdf.outlines) outline += e.title + "@" + std::to_string(e.page) + " ";
  for (const test::Page& page : pdf.pages)
    for (const test::TextRun& run : page.runsIn("Helvetica")) heads += run.text + "|";
  EXPECT_EQ(outline, "top.vhd@0 dir/b.vhd@2 plain@3 ");
  EXPECT_EQ(heads, headers[0] + "|page 1|" + headers[0] + "|page 2|" + headers[1] +
                       "|page 1|plain|page 1|");
  EXPECT_NEAR(pdf.pages.at(3).runsIn("Courier").at(0).y, 790.89, 0.01);  // no gap, no extra page
  EXPECT_TRUE(std::filesystem::remove(f.path) && std::filesystem::is_empty(f.dir.path()));
}

// Landscape at line width 9697 puts the 4051st baseline at exactly 30.0 in the library's
// single-precision arithmetic: that line still belongs to the page, the next one does not.
TEST(ListingWriter, ALineExactlyAtThirtyStaysOnThePage) {
  Listing f("9697", Orientation::landscape);
  f.lines(4052);
  const Pdf pdf = f.read();
  ASSERT_EQ(pdf.pages.size(), 2u);
  EXPECT_EQ(pdf.pages[1].lines(), std::vector<std::string>{"line 4052"});
  // The file holds each step rounded to five decimals; 4050 of them add up to at most 0.02.
  EXPECT_NEAR(pdf.pages[0].runsIn("Courier").back().y, 30, 0.03);
}

TEST(ListingWriter, EmptyAndNullLinesStillStepDown) {
  Listing f;
  using namespace std::literals;
  for (auto text : {"first"sv, ""sv, std::string_view(), "(last) \\ \xE9\x80"sv})
    f.writer.line(text);
  // The reader puts back one blank per extra baseline step between two shown lines.
  EXPECT_EQ(f.read().listing(), "first\n\n\n(last) \\ \xE9\x80\n");
}

TEST(ListingWriter, ClosingWithoutAnyLineSavesNothing) {
  Listing f;
  f.writer.sectionEnd();
  std::string err;
  EXPECT_EQ(f.writer.close(f.path, "mervik", &err), CloseResult::nothingToSave);
  EXPECT_EQ(err, "");
  EXPECT_TRUE(std::filesystem::is_empty(f.dir.path()));
}

}  // namespace
}  // namespace mervik::pdf
