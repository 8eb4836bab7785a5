#include "pdf/listing_writer.hpp"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "support/pdf_reader.hpp"

namespace mervik::pdf {
namespace {

namespace fs = std::filesystem;
using test::Page;
using test::Pdf;
using test::TextRun;

constexpr double tolerance = 0.01;
constexpr char header[] = "Mon Jan  1 10:00:00 2024   top.vhd";
constexpr int defaultLinesPerPage = 92;

std::string numbered(int i) { return "line " + std::to_string(i); }

// Width of a page label in Helvetica: 'p', 'a', 'g', 'e' and the digits are 556/1000 of the
// size wide, the blank 278/1000.
double labelWidth(const std::string& label, double size) {
  double units = 0;
  for (char c : label) units += c == ' ' ? 278 : 556;
  return units * size / 1000;
}

// One line per page: "[label] first..last (count)" of its Courier lines.
std::string describe(const Pdf& pdf) {
  std::string out;
  for (const Page& page : pdf.pages) {
    std::vector<TextRun> head = page.runsIn("Helvetica");
    std::vector<std::string> lines = page.lines();
    out += "[" + (head.size() == 2 ? head[1].text : std::string("?")) + "] ";
    if (!lines.empty()) out += lines.front() + ".." + lines.back();
    out += " (" + std::to_string(lines.size()) + ")\n";
  }
  return out;
}

std::vector<TextRun> courierRuns(const Page& page) { return page.runsIn("Courier"); }

class ListingWriterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::random_device random;
    for (int attempt = 0; attempt < 100 && dir_.empty(); ++attempt) {
      fs::path candidate = fs::temp_directory_path() / ("pdf_test_" + std::to_string(random()));
      if (fs::create_directory(candidate)) dir_ = candidate;
    }
    ASSERT_FALSE(dir_.empty());
  }
  void TearDown() override {
    if (!HasFailure()) fs::remove_all(dir_);
  }

  std::string path(const std::string& name = "listing.pdf") const { return (dir_ / name).string(); }

  static void open(ListingWriter& writer, const char* width = "100",
                   Orientation orientation = Orientation::portrait) {
    std::string err;
    ASSERT_TRUE(writer.open(width, orientation, &err)) << err;
  }

  static void writeLines(ListingWriter& writer, int count) {
    for (int i = 1; i <= count; ++i) writer.line(numbered(i));
  }

  // Closes `writer` into the test directory and reads the document back.
  Pdf closeAndRead(ListingWriter& writer, const std::string& name = "listing.pdf") {
    std::string err;
    EXPECT_EQ(writer.close(path(name), "mervik", &err), CloseResult::saved) << err;
    Pdf pdf;
    EXPECT_TRUE(test::readPdf(path(name), &pdf, &err)) << err;
    return pdf;
  }

  fs::path dir_;
};

struct GeometryCase {
  const char* width;
  Orientation orientation;
  double fontSize;
  int columns;
  double pageWidth, pageHeight;
  double headerY, ruleY, firstY, rightX;
  int linesPerColumn;
};

// Header (title, label ending at the right margin) and rule of one page.
void expectPageFrame(const Page& page, const GeometryCase& c) {
  EXPECT_NEAR(page.width, c.pageWidth, 0.001);
  EXPECT_NEAR(page.height, c.pageHeight, 0.001);
  std::vector<TextRun> head = page.runsIn("Helvetica");
  ASSERT_EQ(head.size(), 2u);
  EXPECT_EQ(head[0].text, header);
  EXPECT_NEAR(head[0].size, 1.3 * c.fontSize, tolerance);
  EXPECT_NEAR(head[0].x, 44, tolerance);
  EXPECT_NEAR(head[0].y, c.headerY, tolerance);
  EXPECT_NEAR(head[1].x + labelWidth(head[1].text, head[1].size), c.pageWidth - 44, tolerance);
  EXPECT_NEAR(head[1].y, c.headerY, tolerance);
  ASSERT_EQ(page.segments.size(), 1u);
  const test::Segment& rule = page.segments[0];
  EXPECT_NEAR(rule.x0, 44, tolerance);
  EXPECT_NEAR(rule.x1, c.pageWidth - 44, tolerance);
  EXPECT_NEAR(rule.y0, c.ruleY, tolerance);
  EXPECT_NEAR(rule.y1, c.ruleY, tolerance);
  EXPECT_EQ(rule.width, 1);
}

// Every column of a full page starts at the top and ends at the lowest baseline >= 30.
void expectFullColumns(const Page& page, const GeometryCase& c) {
  std::vector<TextRun> text = courierRuns(page);
  ASSERT_EQ(text.size(), static_cast<size_t>(c.columns * c.linesPerColumn));
  const double step = 0.98 * c.fontSize;
  for (int column = 0; column < c.columns; ++column) {
    const TextRun& top = text[column * c.linesPerColumn];
    const TextRun& bottom = text[(column + 1) * c.linesPerColumn - 1];
    EXPECT_NEAR(top.x, column == 0 ? 44 : c.rightX, tolerance);
    EXPECT_NEAR(top.y, c.firstY, tolerance);
    EXPECT_NEAR(top.size, c.fontSize, tolerance);
    EXPECT_NEAR(bottom.y, c.firstY - (c.linesPerColumn - 1) * step, tolerance);
    EXPECT_GE(bottom.y, 30);
    EXPECT_LT(bottom.y - step, 30);
  }
}

TEST_F(ListingWriterTest, FitsTheFontAndPlacesEveryElement) {
  const auto portrait = Orientation::portrait;
  const auto landscape = Orientation::landscape;
  const GeometryCase cases[] = {
      {"100", portrait, 8.4546, 1, 595.276, 841.89, 811.89, 807.89, 790.89, 0, 92},
      {"57", portrait, 7.0947, 2, 595.276, 841.89, 811.89, 807.89, 790.89, 308.638, 110},
      {"58", portrait, 14.5769, 1, 595.276, 841.89, 811.89, 807.89, 790.89, 0, 54},
      {"50", portrait, 8.0879, 2, 595.276, 841.89, 811.89, 807.89, 790.89, 308.638, 96},
      {"100", landscape, 12.5648, 1, 841.89, 595.276, 565.276, 561.276, 544.276, 0, 42},
      {"86", landscape, 7.0920, 2, 841.89, 595.276, 565.276, 561.276, 544.276, 431.945, 74},
      {"87", landscape, 14.4423, 1, 841.89, 595.276, 565.276, 561.276, 544.276, 0, 37},
  };
  for (const GeometryCase& c : cases) {
    SCOPED_TRACE(std::string(c.width) + (c.orientation == landscape ? " landscape" : ""));
    ListingWriter writer;
    open(writer, c.width, c.orientation);
    EXPECT_NEAR(writer.fontSize(), c.fontSize, 0.0001);
    EXPECT_EQ(writer.columnCount(), c.columns);
    writer.section(header);
    const int pageLines = c.columns * c.linesPerColumn;
    writeLines(writer, pageLines + 1);
    Pdf pdf = closeAndRead(writer, std::string(c.width) + ".pdf");
    ASSERT_EQ(pdf.pages.size(), 2u);
    for (const Page& page : pdf.pages) expectPageFrame(page, c);
    expectFullColumns(pdf.pages[0], c);
    const std::string full = std::to_string(pageLines);
    const std::string next = std::to_string(pageLines + 1);
    EXPECT_EQ(describe(pdf), "[page 1] line 1..line " + full + " (" + full + ")\n[page 2] line " +
                                 next + "..line " + next + " (1)\n");
    EXPECT_NEAR(courierRuns(pdf.pages[1])[0].y, c.firstY, tolerance);
  }
}

TEST_F(ListingWriterTest, ReadsTheLineWidthLikeADecimalNumber) {
  const char* same[] = {" +100", "100 characters", "\t100"};
  for (const char* width : same) {
    ListingWriter writer;
    open(writer, width);
    EXPECT_NEAR(writer.fontSize(), 8.4546, 0.0001) << width;
  }
  // No width below one character: the size stays finite and positive.
  ListingWriter one;
  open(one, "1");
  for (const char* width : {"0", "-7", "", "x"}) {
    ListingWriter writer;
    open(writer, width);
    EXPECT_EQ(writer.fontSize(), one.fontSize()) << width;
    EXPECT_EQ(writer.columnCount(), 2) << width;
  }
}

struct SectionEndCase {
  int fullPages;   // pages the text filled before its last page
  int lastLines;   // lines of the text on its last page
  bool staysOnPage;
};

// One column: what follows the text shares its last page when the next baseline is at or
// above p*H/(p+1), p being the pages the text took; otherwise it starts the next page.
TEST_F(ListingWriterTest, SectionEndKeepsOrBreaksThePageByTheThreshold) {
  const SectionEndCase cases[] = {
      {0, 44, true},   // next baseline 426.3, H/2 is 420.9
      {0, 45, false},  // 418.0
      {1, 24, true},   // about 0.7 H
      {1, 35, false},  // about 0.6 H
      {1, 27, true},   // 567.2, 2H/3 is 561.3
      {1, 28, false},  // 558.9
      {2, 19, true},   // 633.5, 3H/4 is 631.4
      {2, 20, false},  // 625.2
  };
  for (const SectionEndCase& c : cases) {
    SCOPED_TRACE(std::to_string(c.fullPages) + "+" + std::to_string(c.lastLines));
    ListingWriter writer;
    open(writer);
    writer.section(header);
    int textLines = c.fullPages * defaultLinesPerPage + c.lastLines;
    writeLines(writer, textLines);
    writer.sectionEnd();
    writer.line("TEXT STATISTICS");
    const double step = 0.98 * writer.fontSize();
    const double gap = 1.96 * writer.fontSize();
    Pdf pdf = closeAndRead(writer);
    size_t statisticsPage = c.fullPages + (c.staysOnPage ? 0 : 1);
    ASSERT_EQ(pdf.pages.size(), statisticsPage + 1);
    std::vector<TextRun> last = courierRuns(pdf.pages.back());
    ASSERT_FALSE(last.empty());
    EXPECT_EQ(last.back().text, "TEXT STATISTICS");
    EXPECT_NEAR(last.back().x, 44, tolerance);
    double expectedY = c.staysOnPage ? 790.89 - c.lastLines * step - gap : 790.89;
    EXPECT_NEAR(last.back().y, expectedY, tolerance);
    std::vector<TextRun> head = pdf.pages.back().runsIn("Helvetica");
    ASSERT_EQ(head.size(), 2u);
    EXPECT_EQ(head[0].text, header);
    EXPECT_EQ(head[1].text, "page " + std::to_string(statisticsPage + 1));
  }
}

TEST_F(ListingWriterTest, TwoColumnsContinueInTheRightColumnOrOnANewPage) {
  constexpr int linesPerColumn = 96;  // line width 50
  for (int textLines : {10, linesPerColumn + 10}) {
    SCOPED_TRACE(textLines);
    ListingWriter writer;
    open(writer, "50");
    ASSERT_EQ(writer.columnCount(), 2);
    writer.section(header);
    writeLines(writer, textLines);
    writer.sectionEnd();
    writer.line("TEXT STATISTICS");
    writer.line("after");
    Pdf pdf = closeAndRead(writer);
    bool endedLeft = textLines < linesPerColumn;
    ASSERT_EQ(pdf.pages.size(), endedLeft ? 1u : 2u);
    std::vector<TextRun> last = courierRuns(pdf.pages.back());
    ASSERT_GE(last.size(), 2u);
    const TextRun& statistics = last[last.size() - 2];
    EXPECT_EQ(statistics.text, "TEXT STATISTICS");
    EXPECT_NEAR(statistics.x, endedLeft ? 308.638 : 44, tolerance);
    EXPECT_NEAR(statistics.y, 790.89, tolerance);
    EXPECT_NEAR(last.back().y, 790.89 - 0.98 * writer.fontSize(), tolerance);
    EXPECT_EQ(pdf.pages.back().runsIn("Helvetica")[1].text, endedLeft ? "page 1" : "page 2");
  }
}

TEST_F(ListingWriterTest, SectionEndWithoutTextChangesNothing) {
  ListingWriter writer;
  open(writer);
  writer.section("Mon Jan  1 10:00:00 2024   a.vhd");
  writeLines(writer, 3);
  writer.sectionEnd();
  writer.line("after a");
  writer.section("Mon Jan  1 10:00:00 2024   empty.vhd");
  writer.sectionEnd();
  writer.sectionEnd();
  writer.line("after empty");
  Pdf pdf = closeAndRead(writer);
  EXPECT_EQ(describe(pdf), "[page 1] line 1..after a (4)\n[page 1] after empty..after empty (1)\n");
  EXPECT_EQ(pdf.listing(), "line 1\nline 2\nline 3\n\n\nafter a\nafter empty\n");
  ASSERT_EQ(pdf.pages.size(), 2u);
  EXPECT_NEAR(courierRuns(pdf.pages[1])[0].y, 790.89, tolerance);
}

TEST_F(ListingWriterTest, EachSectionHasOneOutlineEntryAndCountsItsPagesFromOne) {
  ListingWriter writer;
  open(writer);
  const char* headers[] = {"Mon Jan  1 10:00:00 2024   a.vhd", "Tue Jan  2 10:00:00 2024   dir/b.vhd",
                           "Wed Jan  3 10:00:00 2024   my top.vhd", "plain"};
  const int textLines[] = {100, 5, 1, 1};
  for (int s = 0; s < 4; ++s) {
    writer.section(headers[s]);
    writeLines(writer, textLines[s]);
    writer.sectionEnd();
    writer.line("TEXT STATISTICS");
  }
  Pdf pdf = closeAndRead(writer);
  std::string outline;
  for (const test::OutlineEntry& entry : pdf.outlines) {
    outline += entry.title + "@" + std::to_string(entry.page) + ":" + std::to_string(entry.depth) + "\n";
  }
  EXPECT_EQ(outline, "a.vhd@0:0\ndir/b.vhd@2:0\ntop.vhd@3:0\nplain@4:0\n");
  std::string heads;
  for (const Page& page : pdf.pages) {
    for (const TextRun& run : page.runsIn("Helvetica")) heads += run.text + "|";
    heads += "\n";
  }
  EXPECT_EQ(heads,
            "Mon Jan  1 10:00:00 2024   a.vhd|page 1|\n"
            "Mon Jan  1 10:00:00 2024   a.vhd|page 2|\n"
            "Tue Jan  2 10:00:00 2024   dir/b.vhd|page 1|\n"
            "Wed Jan  3 10:00:00 2024   my top.vhd|page 1|\n"
            "plain|page 1|\n");
}

// Landscape at line width 9697 puts the 4051st baseline at exactly 30.0 in the library's
// single-precision arithmetic: that line still belongs to the page, the next one does not.
TEST_F(ListingWriterTest, ALineExactlyAtThirtyStaysOnThePage) {
  ListingWriter writer;
  open(writer, "9697", Orientation::landscape);
  writer.section(header);
  writeLines(writer, 4052);
  Pdf pdf = closeAndRead(writer);
  EXPECT_EQ(describe(pdf), "[page 1] line 1..line 4051 (4051)\n[page 2] line 4052..line 4052 (1)\n");
  ASSERT_EQ(pdf.pages.size(), 2u);
  // The file holds each step rounded to five decimals; 4050 of them add up to at most 0.02.
  EXPECT_NEAR(courierRuns(pdf.pages[0]).back().y, 30, 0.03);
}

TEST_F(ListingWriterTest, EmptyAndNullLinesStillStepDown) {
  ListingWriter writer;
  open(writer);
  writer.section(header);
  writer.line("first");
  writer.line("");
  writer.line(std::string_view());
  writer.line("(last) \\ \xE9\x80");
  Pdf pdf = closeAndRead(writer);
  ASSERT_EQ(pdf.pages.size(), 1u);
  std::vector<TextRun> text;
  for (const TextRun& run : courierRuns(pdf.pages[0])) {
    if (!run.text.empty()) text.push_back(run);
  }
  ASSERT_EQ(text.size(), 2u);
  EXPECT_EQ(pdf.listing(), "first\n\n\n(last) \\ \xE9\x80\n");
  EXPECT_NEAR(text[0].y - text[1].y, 3 * 0.98 * writer.fontSize(), tolerance);
}

TEST_F(ListingWriterTest, SavesTheDocumentInformationAndReplacesAnOldFile) {
  std::FILE* old = std::fopen(path().c_str(), "wb");
  ASSERT_NE(old, nullptr);
  std::fputs("old listing", old);
  std::fclose(old);
  ListingWriter writer;
  open(writer);
  writer.section(header);
  writeLines(writer, 200);
  Pdf pdf = closeAndRead(writer);
  EXPECT_EQ(pdf.author, "Talmeric");
  EXPECT_EQ(pdf.creator, "mervik");
  EXPECT_EQ(pdf.pages.size(), 3u);
  EXPECT_TRUE(test::qpdfCheckPasses(path()));
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir_)) names.push_back(entry.path().filename().string());
  EXPECT_EQ(names, std::vector<std::string>{"listing.pdf"});
}

TEST_F(ListingWriterTest, ClosingWithoutAnyLineSavesNothing) {
  ListingWriter never;  // commands before the open command are ignored
  never.line("lost");
  never.sectionEnd();
  std::string err;
  EXPECT_EQ(never.close(path(), "mervik", &err), CloseResult::nothingToSave);

  ListingWriter writer;
  open(writer);
  writer.section(header);
  writer.sectionEnd();
  EXPECT_EQ(writer.close(path(), "mervik", &err), CloseResult::nothingToSave);
  EXPECT_EQ(err, "");
  EXPECT_TRUE(fs::is_empty(dir_));
}

TEST_F(ListingWriterTest, AFailedSaveLeavesNoFile) {
  ListingWriter writer;
  open(writer);
  writer.section(header);
  writeLines(writer, 3);
  std::string err;
  std::string missing = path("missing/listing.pdf");
  EXPECT_EQ(writer.close(missing, "mervik", &err), CloseResult::failed);
  EXPECT_EQ(err, "Could not save the PDF file");
  EXPECT_EQ(writer.failure(), "");
  EXPECT_TRUE(fs::is_empty(dir_));
}

}  // namespace
}  // namespace mervik::pdf
