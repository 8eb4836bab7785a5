// End-to-end: which files a run lists, in which order, and where the listing goes.

#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include "support/workspace.hpp"

namespace mervik::test {
namespace {

// A pattern passes over directories; a file named twice is listed once; a header shows the
// local date of the file's last write.
TEST(Selection, PatternsAndNamesListEachFileOnceInPathOrderBesideTheFirstNamedSource) {
  Workspace f;
  for (auto name : {"c.vhd", "b.vhd", "x.vhd/y", "lib/mem.vhd", "core/cpu.vhd"}) f.source(name);
  f.source("a.vhd", "signal a;\n");  // a text of its own, so that the order shows in the listing
  const RunResult quoted = f.run({"*.vhd"});
  EXPECT_EQ(quoted.console.find("x.vhd"), std::string::npos) << quoted.console;
  const Pdf byPattern = f.pdf();
  EXPECT_EQ(std::to_string(quoted.status) + fileTitles(byPattern), "0[a.vhd][b.vhd][c.vhd]");
  ASSERT_EQ(f.run({"c.vhd", "b.vhd", "a.vhd"}).status, 0);
  EXPECT_EQ(f.pdf().listing(), byPattern.listing());

  ::setenv("TZ", "UTC", 1);  // the child inherits it; nothing else here shows a date
  const RunResult r = f.run({"lib/mem.vhd", "core/cpu.vhd", "lib/*.vhd"});
  EXPECT_EQ(std::to_string(r.status) + r.opened, "0lib/listing.pdf");
  EXPECT_NE(r.console.find("Total lines: 2\n\nListing file: lib/listing.pdf"), std::string::npos);
  const Pdf pdf = f.pdf("lib/listing.pdf");
  EXPECT_EQ(fileTitles(pdf) + pdf.pages.at(0).runsIn("Helvetica").at(0).text,
            "[cpu.vhd][mem.vhd]Mon Mar  4 09:05:07 2024   cpu.vhd");
}

// A typed line is read from standard input; closed input selects nothing and ends normally.
TEST(Selection, PromptModeReadsOneTypedLineOrNothing) {
  Workspace f;
  f.source("a.vhd");
  f.source("my file.vhd");
  const RunResult r = f.run({}, "  a.vhd \"my file.vhd\" missing.vhd\n");
  EXPECT_NE(r.out.find("\nFiles to process ?\n"), std::string::npos);  // standard output
  EXPECT_NE(r.console.find("\n\nmissing.vhd : FILE NOT FOUND\n"), std::string::npos);
  EXPECT_EQ(std::to_string(r.status) + fileTitles(f.pdf()), "0[a.vhd][file.vhd]");
  const RunResult closed = f.run({});
  EXPECT_EQ(std::to_string(closed.status) + closed.opened + "|" + closed.console,
            "0|- MERVIK v1.0 -\n\nNo resource file\n   SYMBOL TABLE (default)"
            "\n\nPress a key to quit ");
}

}  // namespace
}  // namespace mervik::test
