#include "pdf/listing_writer.hpp"
#include "pdf/haru_record.hpp"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <tuple>
#include <vector>

#include "support/pdf_reader.hpp"
#include "support/temp_dir.hpp"

namespace mervik::pdf {

// What follows the text shares its last page if the next baseline is at or above p*H/(p+1), p
// the pages it took; in two columns, the right one follows.
TEST(ListingWriter, SectionEndKeepsOrBreaksThePageOrColumn) {
  const std::tuple<const char*, int, const char*> cases[] = {
      {"100", 0, " / 1 (44.00, 790.89)"},  // a section end with no text before it does nothing
      {"100", 44, "1 (44.00, 434.61) / 1 (44.00, 409.76)"},  // H/2 is 420.9
      {"100", 45, "1 (44.00, 426.33) / 2 (44.00, 790.89)"},
      {"100", 116, "2 (44.00, 600.32) / 2 (44.00, 575.47)"},  // 2H/3 is 561.3
      {"100", 127, "2 (44.00, 509.18) / 3 (44.00, 790.89)"},
      {"100", 203, "3 (44.00, 641.75) / 3 (44.00, 616.89)"},  // 3H/4 is 631.4
      {"100", 204, "3 (44.00, 633.47) / 4 (44.00, 790.89)"},
      {"50", 10, "1 (44.00, 719.55) / 1 (308.64, 790.89)"},  // 96 lines a column
      {"50", 106, "1 (308.64, 719.55) / 2 (44.00, 790.89)"},
      // The 4051st baseline is exactly 30.0 in the library's float arithmetic: still on the page.
      {"-9697", 4051, "1 (44.00, 30.01) / 2 (44.00, 544.28)"},
  };
  for (const auto& [width, textLines, expected] : cases) {
    test::TempDir dir;
    dir.write("listing.pdf", "old listing");  // replaced
    ListingWriter writer;
    std::string err;
    const bool landscape = width[0] == '-';
    ASSERT_TRUE(writer.open(width + landscape, landscape ? Orientation::landscape
                                                         : Orientation::portrait, &err)) << err;
    writer.section("Mon Jan  1 10:00:00 2024   top.vhd");
    for (int i = 1; i <= textLines; ++i) writer.line("line " + std::to_string(i));
    writer.sectionEnd();
    writer.line("TEXT STATISTICS");
    ASSERT_EQ(writer.close(dir / "listing.pdf", "mervik", &err), CloseResult::saved) << err;
    test::Pdf pdf;
    ASSERT_TRUE(test::readPdf(dir / "listing.pdf", &pdf, &err)) << err;
    std::vector<std::string> at{""};  // "page (x, y)" of each listing line
    for (size_t p = 0; p < pdf.pages.size(); ++p)
      for (const test::TextRun& run : pdf.pages[p].runsIn("Courier")) {
        char text[48];
        std::snprintf(text, sizeof text, "%zu (%.2f, %.2f)", p + 1, run.x, run.y);
        at.push_back(text);
      }
    EXPECT_EQ(at[at.size() - 2] + " / " + at.back(), expected) << textLines;
  }
}

// As ShowText: a piece (65,535 bytes) ends at a zero byte; only control characters: not shown.
TEST(ListingWriter, ShowsLinesAsTheLibrarysShowText) {
  const std::pair<std::string, std::string> cases[] = {
      {"\f", ""}, {"\x01\x1f", ""}, {"a\x01", "a\x01|"}, {std::string("ab\0cd", 5), "ab|"},
      {std::string(65535, 'x') + "\f\f", std::string(65535, 'x') + "|"},
      {std::string(65535, '\t') + "y", "y|"},
  };
  test::TempDir dir;
  ListingWriter writer;
  std::string err, runs, expected;
  ASSERT_TRUE(writer.open("100", Orientation::portrait, &err)) << err;
  writer.section("Mon Jan  1 10:00:00 2024   top.vhd");
  for (const auto& [line, shown] : cases) {
    writer.line(line);
    writer.line("next");
    expected += shown + "next|";
  }
  ASSERT_EQ(writer.close(dir / "listing.pdf", "mervik", &err), CloseResult::saved) << err;
  test::Pdf pdf;
  ASSERT_TRUE(test::readPdf(dir / "listing.pdf", &pdf, &err)) << err;
  for (const test::TextRun& run : pdf.pages[0].runsIn("Courier")) runs += run.text + "|";
  EXPECT_EQ(runs, expected);
}

// UTC calendar dates of the record: leap days, before 1970, and the years a PDF date holds.
TEST(Record, UtcDatesOfSecondsSince1970) {
  const std::pair<std::int64_t, const char*> cases[] = {
      {0, "1970-01-01 00:00:00"},          {1700000000, "2023-11-14 22:13:20"},
      {1709164800, "2024-02-29 00:00:00"}, {951868799, "2000-02-29 23:59:59"},
      {-1, "1969-12-31 23:59:59"},         {-1000000000000000, "0000-01-01 00:00:00"},
      {1000000000000000, "9999-12-31 23:59:59"},
  };
  for (const auto& [seconds, expected] : cases) {
    const HPDF_Date d = haru::utcDate(seconds);
    char text[40];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d%c", d.year, d.month, d.day,
                  d.hour, d.minutes, d.seconds, d.ind);
    EXPECT_EQ(std::string(text), std::string(expected) + "Z") << seconds;
  }
}

}  // namespace mervik::pdf
