// End-to-end: a UTF-8 source is drawn one code page 1252 glyph per character, in the columns its
// characters give; any other source, and every source with `utf8 off`, byte for byte.

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/workspace.hpp"

namespace mervik::test {
namespace {

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
    // The listing, the console, the oblique runs by the column they begin in and the links by
    // the columns they span.
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

}  // namespace
}  // namespace mervik::test
