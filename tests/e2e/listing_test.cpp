// End-to-end: the real binary lists real files, and the PDF it wrote is read back.

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <string>

#include <gtest/gtest.h>

#include "support/workspace.hpp"

namespace mervik::test {
namespace {

constexpr double pageWidth = 595.276;
constexpr double pageHeight = 841.89;

std::string numberedLines(int count, int width = 10) {
  std::string text;
  for (int i = 1; i <= count; ++i) text += "x" + std::string(width - 1, 'y') + "\n";
  return text;
}

TEST(Listing, ConsoleTranscriptOfARun) {
  Workspace f;
  f.source("b.vhd", "entity b is\nend b;\n");
  f.source("a.vhd", "entity a is\nend a;\n");
  const RunResult r = f.run({"b.vhd", "a.vhd"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.console,
            "- MERVIK v1.0 -"
            "\n\nNo resource file"
            "\n   SYMBOL TABLE (default)"
            "\n\na.vhd"
            "\n     4 different symbol names"
            "\n     5 symbol occurrences"
            "\n\nb.vhd"
            "\n     4 different symbol names"
            "\n     5 symbol occurrences"
            "\n\nTotal lines: 4"
            "\n\nListing file: listing.pdf"
            "\n\nPress a key to quit ");
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.opened, "listing.pdf");
}

TEST(Listing, WholeSectionOfOneSource) {
  Workspace f;
  f.source("top.vhd", "-- top\nentity top is\nend top;\n");
  ASSERT_EQ(f.run({"top.vhd"}).status, 0);
  const Pdf pdf = f.pdf();
  EXPECT_EQ(pdf.listing(),
            std::string("   1 | -- top\n")
            + "   2 | entity top is\n"
            "   3 | end top;\n"
            "\n"  // the gap after the text: two empty line steps
            "\n"
            "TEXT STATISTICS\n"
            "\n"
            "    30 characters\n"
            "     3 lines\n"
            "\n"
            "LEXICAL STATISTICS\n"
            "\n"
            "     1 comments\n"
            "\n"
            "SYMBOL TABLE\n"
            "\n" +
            "    end" + std::string(14, ' ') + "3 \n" +
            "    entity" + std::string(11, ' ') + "2 \n" +
            "    is" + std::string(15, ' ') + "2 \n" +
            "    top" + std::string(14, ' ') + "2       3 \n");
  EXPECT_EQ(pdf.author, "Talmeric");
  EXPECT_EQ(pdf.creator, "mervik");
}

TEST(Listing, DefaultPageGeometry) {
  Workspace f;
  f.source("long.vhd", numberedLines(200));
  ASSERT_EQ(f.run({"long.vhd"}).status, 0);
  const Pdf pdf = f.pdf();
  ASSERT_GE(pdf.pages.size(), 3u);
  const Page& page = pdf.pages[0];
  EXPECT_NEAR(page.width, pageWidth, 0.001);
  EXPECT_NEAR(page.height, pageHeight, 0.001);

  const auto text = page.runsIn("Courier");
  ASSERT_EQ(text.size(), 92u) << "a page holds 92 lines";
  EXPECT_NEAR(text[0].size, 8.4546, 0.0001);
  EXPECT_NEAR(text[0].x, 44, 0.01);
  EXPECT_NEAR(text[0].y, 790.89, 0.01);
  EXPECT_NEAR(text[1].y, 790.89 - 8.2855, 0.01);
  EXPECT_NEAR(text[91].y, 36.9, 0.05);

  const auto header = page.runsIn("Helvetica");
  ASSERT_EQ(header.size(), 2u);
  EXPECT_EQ(header[0].text.substr(24), "   long.vhd");
  EXPECT_NEAR(header[0].size, 1.3 * 8.4546, 0.001);
  EXPECT_NEAR(header[0].x, 44, 0.01);
  EXPECT_NEAR(header[0].y, 811.89, 0.01);
  EXPECT_EQ(header[1].text, "page 1");
  // "page 1" in Helvetica is 3.058 em wide: 'p', 'a', 'g', 'e', '1' 0.556 each, the blank 0.278.
  EXPECT_NEAR(header[1].x + 3.058 * header[1].size, pageWidth - 44, 0.01);
  EXPECT_NEAR(header[1].y, 811.89, 0.01);

  ASSERT_EQ(page.segments.size(), 1u);
  const Segment& rule = page.segments[0];
  EXPECT_NEAR(rule.x0, 44, 0.01);
  EXPECT_NEAR(rule.x1, pageWidth - 44, 0.01);
  EXPECT_NEAR(rule.y0, 807.89, 0.01);
  EXPECT_NEAR(rule.y1, 807.89, 0.01);
  EXPECT_NEAR(rule.width, 1, 0.001);

  EXPECT_EQ(pdf.pages[1].runsIn("Helvetica")[1].text, "page 2");
  EXPECT_EQ(pdf.pages[1].lines()[0], "  93 | xyyyyyyyyy");
}

struct ColumnCase {
  const char* format;  // the FORMAT section's second value
  double fontSize;
  int columns;
  bool landscape;
};

TEST(Listing, FontSizeAndColumnsFollowTheLineWidth) {
  const ColumnCase cases[] = {
      {"51", 7.0947, 2, false},   // line width 57
      {"52", 14.5769, 1, false},  // 58
      {"-80", 0, 2, true},        // 86, landscape
      {"-81", 14.4423, 1, true},  // 87, landscape
      {"94", 8.4546, 1, false},   // 100
  };
  for (const ColumnCase& c : cases) {
    SCOPED_TRACE(c.format);
    Workspace f;
    f.resource(std::string("/FORMAT\n4\n") + c.format + "\n");
    f.source("a.vhd", numberedLines(300, 5));
    ASSERT_EQ(f.run({"a.vhd"}).status, 0);
    const Pdf pdf = f.pdf();
    const Page& page = pdf.pages[0];
    EXPECT_NEAR(page.width, c.landscape ? pageHeight : pageWidth, 0.001);
    const auto text = page.runsIn("Courier");
    ASSERT_FALSE(text.empty());
    if (c.fontSize > 0) {
      EXPECT_NEAR(text[0].size, c.fontSize, 0.0001);
    }
    double rightColumn = 0;
    for (const TextRun& run : text) rightColumn = std::max(rightColumn, run.x);
    EXPECT_NEAR(rightColumn, c.columns == 2 ? (page.width + 22) / 2 : 44, 0.01);
  }
}

TEST(Listing, WorkedLayoutExamples) {
  Workspace f;
  f.resource("/FORMAT\n4\n24\n");  // line width 30
  f.source("e.vhd", "entity e is\n\tport (a, b : in bit; y : out bit);\nend e;\n");
  f.source("x.vhd", "x <= a and b and c and d and e and f and g;\n");
  ASSERT_EQ(f.run({"e.vhd", "x.vhd"}).status, 0);
  const std::string text = f.pdf().listing();
  EXPECT_NE(text.find("   1 | entity e is\n"
                      "   2 |     port (a, b : in bit;\n"
                      "     |      y : out bit);\n"
                      "   3 | end e;\n"
                      // at this line width two columns: what follows heads the right one
                      "TEXT STATISTICS\n"
                      "\n"
                      "    55 characters\n"
                      "     3 lines\n"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("   1 | x <= a and b and c and d\n"
                      "     |    and e and f and g;\n"),
            std::string::npos)
      << text;
}

TEST(Listing, OneOutlineEntryPerSectionAndPageLabelsCountPerSection) {
  Workspace f;
  f.source("one.vhd", numberedLines(150));
  f.source("my two.vhd", "entity two is end;\n");
  f.source("three.vhd", numberedLines(10));
  ASSERT_EQ(f.run({"three.vhd", "one.vhd", "my two.vhd"}).status, 0);
  const Pdf pdf = f.pdf();
  ASSERT_EQ(pdf.outlines.size(), 3u);
  // Sorted paths: "my two.vhd" < "one.vhd" < "three.vhd"; a title is the text after the
  // header's last blank.
  EXPECT_EQ(pdf.outlines[0].title, "two.vhd");
  EXPECT_EQ(pdf.outlines[1].title, "one.vhd");
  EXPECT_EQ(pdf.outlines[2].title, "three.vhd");
  for (const OutlineEntry& entry : pdf.outlines) {
    EXPECT_EQ(entry.depth, 0);
    ASSERT_GE(entry.page, 0);
    EXPECT_EQ(pdf.pages[entry.page].runsIn("Helvetica")[1].text, "page 1") << entry.title;
  }
  EXPECT_EQ(pdf.outlines[0].page, 0);
  EXPECT_EQ(pdf.outlines[1].page, 1);
  EXPECT_EQ(pdf.outlines[2].page, 4);  // one.vhd: two pages of text, its statistics on a third
}

TEST(Listing, StatisticsShareThePageOnlyWhenTheTextEndedHighEnough) {
  // 42 lines end above half the page: what follows stays; 60 lines end below it.
  for (const auto& [lines, pages] : {std::pair{42, 1u}, std::pair{60, 2u}}) {
    Workspace f;
    f.source("a.vhd", numberedLines(lines));
    ASSERT_EQ(f.run({"a.vhd"}).status, 0);
    const Pdf pdf = f.pdf();
    ASSERT_EQ(pdf.pages.size(), pages) << lines;
    const Page& last = pdf.pages.back();
    EXPECT_EQ(last.lines().front(), pages == 1 ? "   1 | xyyyyyyyyy" : "TEXT STATISTICS");
    if (pages == 2) {
      EXPECT_EQ(last.runsIn("Helvetica")[1].text, "page 2");
    }
  }
}

TEST(Listing, UnreadableAndEmptySourcesAreSkippedAndNothingListableWritesNoFile) {
  Workspace f;
  f.source("empty.vhd", "");
  const RunResult none = f.run({"empty.vhd"});
  EXPECT_EQ(none.status, 0);
  EXPECT_NE(none.console.find("\n\nTotal lines: 0\n\nNo listing file"), std::string::npos)
      << none.console;
  EXPECT_EQ(none.console.find("Listing file:"), std::string::npos);
  EXPECT_FALSE(fileExists(f.dir / "work/listing.pdf"));
  EXPECT_EQ(none.opened, "");

  f.source("nul.vhd", std::string("\0entity", 7));
  f.source("good.vhd", "entity good is end;\n");
  // A socket can be found like a file but not opened, even by root.
  const std::string socketPath = f.dir / "work/sock.vhd";
  const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  ASSERT_LT(socketPath.size(), sizeof address.sun_path);
  socketPath.copy(address.sun_path, socketPath.size());
  ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);

  const RunResult r = f.run({"empty.vhd", "nul.vhd", "sock.vhd", "good.vhd"});
  ::close(fd);
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.console.find("\n\nempty.vhd\n\nempty.vhd : FILE IS EMPTY\n"), std::string::npos)
      << r.console;
  EXPECT_NE(r.console.find("\n\nnul.vhd\n\nnul.vhd : FILE IS EMPTY\n"), std::string::npos);
  EXPECT_NE(r.console.find("\n\nsock.vhd\n\nsock.vhd : FILE COULD NOT BE OPENED\n"),
            std::string::npos);
  const Pdf pdf = f.pdf();
  ASSERT_EQ(pdf.outlines.size(), 1u);
  EXPECT_EQ(pdf.outlines[0].title, "good.vhd");
}

}  // namespace
}  // namespace mervik::test
