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
  std::string wide = "-- ", wideShown = "-- ";  // 94 characters, 114 bytes
  for (int i = 0; i < 20; ++i) wide += "\xC3\xA9", wideShown += '\xE9';
  wide += std::string(71, 'x'), wideShown += std::string(71, 'x');
  const std::string bad[] = {"\xC0\xAF", "\xE0\x9F\xBF", "\xED\xA0\x80", "\xF4\x90\x80\x80",
                             "\x80", "\xFF", "\xE2\x82"};  // the last one cut by the text's end
  for (const bool detect : {true, false}) {
    Workspace f;
    f.resource(detect ? "/OPTIONS\noblique comments\n" : "/OPTIONS\nutf8 off\n");
    f.source("a.vhd", comment + "\n" + wide + "\n\xC3\xA9\tx\na\tx\n\xE4\xB8\xAD\xF0\x9F\x98\x80|\n"
                      "signal \\Z\xC3\xA4hler\\ : bit;\n");
    f.source("b.vhd", "\xEF\xBB\xBF" "entity e is end; -- \xC3\xA9\n");
    std::vector<std::string> names{"a.vhd", "b.vhd"};
    for (const std::string& b : bad) f.source(names.emplace_back("c" + std::to_string(names.size()) + ".vhd"), "x\xC3\xA9" + b);
    const RunResult r = f.run(names);
    ASSERT_EQ(r.status, 0);
    const Pdf pdf = f.pdf();
    const std::string listing = "\n" + pdf.listing();
    auto has = [&](const std::string& line) { return listing.find("\n" + line + "\n") != std::string::npos; };
    for (const std::string& b : bad) EXPECT_TRUE(has("   1 | x\xC3\xA9" + b)) << b;
    const double w = 0.6 * pdf.pages.at(0).runsIn("Courier").at(0).size;
    std::vector<std::string> seen;  // the oblique comments with their columns; links' columns
    for (const Page& page : pdf.pages) {
      for (const TextRun& run : page.runsIn("Courier-Oblique"))
        seen.push_back(std::to_string(std::lround((run.x - 44) / w)) + " " + run.text);
      for (const Link& link : page.links)
        seen.push_back(std::to_string(std::lround((link.x0 - 44) / w)) + "-" + std::to_string(std::lround((link.x1 - 44) / w)));
    }
    const auto saw = [&](const std::string& s) { return std::count(seen.begin(), seen.end(), s); };
    if (detect) {
      EXPECT_TRUE(has("   1 | -- Z\xE4hler f\xFCr die Ampel \x96 \xA9 2024 \x93quoted\x94 \x80" "5") &&
                  has("   2 | " + wideShown) && has("   3 | \xE9   x") && has("   4 | a   x") &&
                  has("   5 | ??|") && has("   1 | entity e is end; -- \xE9") &&
                  has("    \\Z\xE4hler\\         6 ") && has("    26 characters"))
          << listing;
      EXPECT_EQ((std::vector<long>{saw("7 -- Z\xE4hler f\xFCr die Ampel \x96 \xA9 2024 \x93quoted\x94 \x80" "5"),
                                   saw("7 " + wideShown), saw("24 -- \xE9"), saw("4-12"), saw("4-13")}),
                (std::vector<long>{1, 1, 1, 1, 0}));
      EXPECT_EQ(r.console.find("\n\na.vhd\n   read as UTF-8\n"), r.console.find("\n\na.vhd"));
      EXPECT_NE(r.console.find("\n\nb.vhd\n   read as UTF-8\n"), std::string::npos);
      int units = 0;
      for (const OutlineEntry& e : pdf.outlines) units += e.title == "entity e";
      EXPECT_EQ(units, 1);
    } else {
      EXPECT_TRUE(has("   1 | " + comment) && has("   2 | " + wide.substr(0, 94)) &&
                  has("     |  " + wide.substr(94)) && has("   3 | \xC3\xA9  x") && saw("4-13") == 1)
          << listing;
    }
    size_t utf8Lines = 0;
    for (size_t at = 0; (at = r.console.find("read as UTF-8", at)) != std::string::npos; ++at) ++utf8Lines;
    EXPECT_EQ(utf8Lines, detect ? 2u : 0u) << r.console;
  }
}

}  // namespace
}  // namespace mervik::test
