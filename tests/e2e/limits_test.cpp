// End-to-end: listings that are merely large reach past the PDF library's own limits whole.

#include <algorithm>
#include <string>

#include <gtest/gtest.h>

#include "support/workspace.hpp"

namespace mervik::test {
namespace {

// Two columns of a large font hold 24 lines a page and an empty source line is one listing
// line: more pages than one array of the library can hold.
TEST(Limits, MorePagesThanOneLibraryArrayHolds) {
  Workspace f;
  f.resource("/FORMAT\n1\n0\n");
  f.source("e.vhd", std::string(800000, '\n'));
  ASSERT_EQ(f.run({"e.vhd"}).status, 0);
  const Pdf pdf = f.pdf();
  std::string last;  // the last page: the last text lines, the statistics in the right column
  for (const std::string& line : pdf.pages.back().linesWithBlanks()) last += line + "\n";
  const std::string tail = "800000 characters\n800000 lines\n\nLEXICAL STATISTICS\n\n     0 comments\n";
  EXPECT_EQ(std::to_string(pdf.pages.size()) + " " + std::to_string(pdf.outlines.size()) + " " +
                pdf.outlines[0].title + "\n" + last.substr(0, 20) +
                last.substr(last.size() - std::min(last.size(), tail.size())),
            "33334 1 e.vhd\n799993 | \n799994 | \n" + tail);
}

// A name past the library's string limit is drawn in pieces that continue one baseline.
TEST(Limits, NamesLongerThanTheLibrarysStringLimitAreShownWhole) {
  Workspace f;
  const std::string huge(1000000, 'x'), large(70000, 'y');
  f.source("a.vhd", huge + " <= " + large + ";\n");
  ASSERT_EQ(f.run({"a.vhd"}).status, 0);
  const std::string text = f.pdf().listing();
  // Each name field outgrows the line: its line number follows on a continuation line.
  for (const std::string& name : {huge, large}) {
    const std::string entry = "\n    " + name + "   \n" + std::string(13, ' ') + "1 \n";
    EXPECT_NE(text.find(entry), std::string::npos) << name.size();
  }
}

}  // namespace
}  // namespace mervik::test
