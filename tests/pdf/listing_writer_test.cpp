#include "pdf/listing_writer.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/pdf_reader.hpp"
#include "support/run_mervik.hpp"

namespace mervik::pdf {
namespace {

namespace fs = std::filesystem;
using test::Pdf;
using test::TextRun;

constexpr double tolerance = 0.01;
constexpr double top = 790.89;  // first baseline of a portrait page
constexpr char header[] = "Mon Jan  1 10:00:00 2024   top.vhd";
constexpr auto portrait = Orientation::portrait;
constexpr auto landscape = Orientation::landscape;

// An opened writer in a directory of its own, its first section begun with `header`.
struct Listing {
  explicit Listing(const char* width = "100", Orientation orientation = portrait) {
    std::string err;
    EXPECT_TRUE(writer.open(width, orientation, &err)) << err;
    writer.section(header);
  }
  void lines(int count) {
    for (int i = 1; i <= count; ++i) writer.line("line " + std::to_string(i));
  }
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

// A full page, then one line on the next page; a column starts at the top.
TEST(ListingWriter, FitsTheFontAndFillsEveryColumn) {
  struct Case {
    const char* width;
    Orientation orientation;
    double fontSize, lastColumnX, firstY;
    int columns, perColumn;
  } const cases[] = {
      {"100", portrait, 8.4546, 44, top, 1, 92},
      {"57", portrait, 7.0947, 308.638, top, 2, 110},
      {"58", portrait, 14.5769, 44, top, 1, 54},
      {"86", landscape, 7.0920, 431.945, 544.276, 2, 74},
      {"87", landscape, 14.4423, 44, 544.276, 1, 37},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.width);
    Listing f(c.width, c.orientation);
    EXPECT_NEAR(f.writer.fontSize(), c.fontSize, 0.0001);
    EXPECT_EQ(f.writer.columnCount(), c.columns);
    f.lines(c.columns * c.perColumn + 1);
    const Pdf pdf = f.read();
    ASSERT_EQ(pdf.pages.size(), 2u);
    ASSERT_EQ(pdf.pages[0].lines().size(), static_cast<size_t>(c.columns * c.perColumn));
    ASSERT_EQ(pdf.pages[1].lines().size(), 1u);
    const TextRun lastColumn = pdf.pages[0].runsIn("Courier")[(c.columns - 1) * c.perColumn];
    EXPECT_EQ(lastColumn.text, "line " + std::to_string((c.columns - 1) * c.perColumn + 1));
    EXPECT_NEAR(lastColumn.x, c.lastColumnX, tolerance);
    EXPECT_NEAR(lastColumn.y, c.firstY, tolerance);
    EXPECT_NEAR(pdf.pages[1].runsIn("Courier")[0].y, c.firstY, tolerance);
  }
}

// One column: what follows the text shares its last page when the next baseline is at or
// above p*H/(p+1), p being the pages the text took; otherwise it starts the next page. Two
// columns: a text ended in the left column goes on in the right one, else on a new page.
TEST(ListingWriter, SectionEndKeepsOrBreaksThePageOrColumn) {
  struct Case {
    const char* width;
    int textLines;
    size_t page;
    double x, y;
  } const cases[] = {
      {"100", 44, 0, 44, 409.757},       {"100", 45, 1, 44, top},  // H/2: 426.3 stays, 418.0 not
      {"100", 92 + 24, 1, 44, 575.467},  {"100", 92 + 35, 2, 44, top},  // 0.7 H stays, 0.6 H not
      {"100", 184 + 19, 2, 44, 616.894}, {"100", 184 + 20, 3, 44, top},  // 3H/4: 633.5 / 625.2
      {"50", 10, 0, 308.638, top},       {"50", 96 + 10, 1, 44, top},  // 96 lines per column
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.width) + " " + std::to_string(c.textLines));
    Listing f(c.width);
    f.lines(c.textLines);
    f.writer.sectionEnd();
    f.writer.line("TEXT STATISTICS");
    const Pdf pdf = f.read();
    ASSERT_EQ(pdf.pages.size(), c.page + 1);
    EXPECT_EQ(pdf.pages[c.page].runsIn("Helvetica")[1].text, "page " + std::to_string(c.page + 1));
    const TextRun last = pdf.pages[c.page].runsIn("Courier").back();
    EXPECT_EQ(last.text, "TEXT STATISTICS");
    EXPECT_NEAR(last.x, c.x, tolerance);
    EXPECT_NEAR(last.y, c.y, tolerance);
  }
}

// Also: a section end right after the section command does nothing; the information entries,
// a valid file, and an old file replaced with no temporary left.
TEST(ListingWriter, SavesOneOutlineEntryPerSectionAndTheDocumentInformation) {
  Listing f;
  f.dir.write("listing.pdf", "old listing");
  const std::string headers[] = {header, "Tue Jan  2 10:00:00 2024   dir/b.vhd",
                                 "Wed Jan  3 10:00:00 2024   my top.vhd", "plain"};
  for (int s = 0; s < 4; ++s) {
    if (s > 0) f.writer.section(headers[s]);
    f.lines(s == 0 ? 100 : s == 3 ? 0 : 1);
    f.writer.sectionEnd();
    if (s == 3) f.writer.sectionEnd();
    f.writer.line("TEXT STATISTICS");
  }
  const Pdf pdf = f.read();
  std::string outline, heads;
  for (const test::OutlineEntry& e : pdf.outlines) {
    outline += e.title + "@" + std::to_string(e.page) + ":" + std::to_string(e.depth) + "\n";
  }
  for (const test::Page& page : pdf.pages) {
    for (const TextRun& run : page.runsIn("Helvetica")) heads += run.text + "|";
  }
  EXPECT_EQ(outline, "top.vhd@0:0\ndir/b.vhd@2:0\ntop.vhd@3:0\nplain@4:0\n");
  ASSERT_EQ(heads, headers[0] + "|page 1|" + headers[0] + "|page 2|" + headers[1] + "|page 1|" +
                       headers[2] + "|page 1|plain|page 1|");
  EXPECT_EQ(pdf.author + "|" + pdf.creator, "Talmeric|mervik");
  EXPECT_TRUE(test::qpdfCheckPasses(f.path));
  EXPECT_NEAR(pdf.pages[4].runsIn("Courier")[0].y, top, tolerance);  // no gap, no extra page
  EXPECT_TRUE(fs::remove(f.path) && fs::is_empty(f.dir.path()));
}

// Landscape at line width 9697 puts the 4051st baseline at exactly 30.0 in the library's
// single-precision arithmetic: that line still belongs to the page, the next one does not.
TEST(ListingWriter, ALineExactlyAtThirtyStaysOnThePage) {
  Listing f("9697", landscape);
  f.lines(4052);
  const Pdf pdf = f.read();
  ASSERT_EQ(pdf.pages.size(), 2u);
  EXPECT_EQ(pdf.pages[1].lines(), std::vector<std::string>{"line 4052"});
  // The file holds each step rounded to five decimals; 4050 of them add up to at most 0.02.
  EXPECT_NEAR(pdf.pages[0].runsIn("Courier").back().y, 30, 0.03);
}

TEST(ListingWriter, EmptyAndNullLinesStillStepDown) {
  Listing f;
  for (std::string_view text : {std::string_view("first"), std::string_view(""), std::string_view(),
                                std::string_view("(last) \\ \xE9\x80")}) {
    f.writer.line(text);
  }
  // The reader puts back one blank per extra baseline step between two shown lines.
  EXPECT_EQ(f.read().listing(), "first\n\n\n(last) \\ \xE9\x80\n");
}

TEST(ListingWriter, ClosingWithoutAnyLineSavesNothing) {
  Listing f;
  f.writer.sectionEnd();
  std::string err;
  EXPECT_EQ(f.writer.close(f.path, "mervik", &err), CloseResult::nothingToSave);
  ListingWriter never;  // commands before the open command are ignored
  never.line("lost");
  EXPECT_EQ(never.close(f.path, "mervik", &err), CloseResult::nothingToSave);
  EXPECT_EQ(err, "");
  EXPECT_TRUE(fs::is_empty(f.dir.path()));
}

TEST(ListingWriter, AFailedSaveLeavesNoFile) {
  Listing f;
  f.lines(3);
  std::string err;
  EXPECT_EQ(f.writer.close(f.dir / "missing/listing.pdf", "mervik", &err), CloseResult::failed);
  EXPECT_EQ(err + "|" + f.writer.failure(), "Could not save the PDF file|");
  EXPECT_TRUE(fs::is_empty(f.dir.path()));
}

}  // namespace
}  // namespace mervik::pdf
