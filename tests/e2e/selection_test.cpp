// End-to-end: which files a run lists, in which order, and where the listing goes.

#include <fcntl.h>
#include <sys/stat.h>

#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include "support/workspace.hpp"

namespace mervik::test {
namespace {

std::string titles(const Pdf& pdf) {
  std::string out;
  for (const auto& entry : pdf.outlines) out += "[" + entry.title + "]";
  return out;
}

TEST(Selection, PatternMatchesFilesNotDirectoriesAndEqualsTheShellsExpansion) {
  Workspace f;
  f.source("c.vhd");
  f.source("a.vhd", "entity a is end;\n");
  f.source("b.vhd", "signal b;\n");
  f.source("x.vhd/inner.vhd");  // a directory whose name matches
  f.source("notes.txt");
  const RunResult quoted = f.run({"*.vhd"});
  ASSERT_EQ(quoted.status, 0) << quoted.console;
  EXPECT_EQ(quoted.console.find("x.vhd"), std::string::npos);
  const Pdf byPattern = f.pdf();
  EXPECT_EQ(titles(byPattern), "[a.vhd][b.vhd][c.vhd]");
  ASSERT_EQ(f.run({"c.vhd", "b.vhd", "a.vhd"}).status, 0);
  EXPECT_EQ(f.pdf().listing(), byPattern.listing());
}

// A file named twice is listed once; its header shows the local date of its last write.
TEST(Selection, ListingGoesBesideTheFirstNamedSourceWithEachFileOnceInPathOrder) {
  Workspace f;
  f.source("lib/mem.vhd");
  f.source("core/cpu.vhd");
  const timespec times[2] = {{1709543107, 0}, {1709543107, 0}};  // 2024-03-04 09:05:07 UTC
  ASSERT_EQ(::utimensat(AT_FDCWD, (f.dir / "work/core/cpu.vhd").c_str(), times, 0), 0);
  ::setenv("TZ", "UTC", 1);  // the child inherits it; nothing else here shows a date
  const RunResult r = f.run({"lib/mem.vhd", "core/cpu.vhd", "lib/*.vhd"});
  ASSERT_EQ(r.status, 0);
  EXPECT_NE(r.console.find("Total lines: 2\n\nListing file: lib/listing.pdf"), std::string::npos);
  EXPECT_EQ(r.opened, "lib/listing.pdf");
  const Pdf pdf = f.pdf("lib/listing.pdf");
  EXPECT_EQ(titles(pdf), "[cpu.vhd][mem.vhd]");
  EXPECT_EQ(pdf.pages.at(0).runsIn("Helvetica").at(0).text, "Mon Mar  4 09:05:07 2024   cpu.vhd");
}

TEST(Selection, PromptModeReadsOneTypedLine) {
  Workspace f;
  f.source("a.vhd");
  f.source("my file.vhd");
  f.options.stdinIsNull = false;
  f.options.stdinText = "  a.vhd \"my file.vhd\" missing.vhd\n";
  const RunResult r = f.run({});
  ASSERT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("\nFiles to process ?\n"), std::string::npos);  // standard output
  EXPECT_NE(r.console.find("\n\nmissing.vhd : FILE NOT FOUND\n"), std::string::npos);
  EXPECT_EQ(titles(f.pdf()), "[a.vhd][file.vhd]");
}

TEST(Selection, ClosedInputSelectsNothingAndEndsNormally) {
  for (bool closed : {true, false}) {
    Workspace f;
    f.options.stdinIsNull = closed;
    f.options.stdinText = std::string(1023, 'a') + "\n";  // too long: thrown away
    const RunResult r = f.run({});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.console,
              "- MERVIK v1.0 -\n\nNo resource file\n   SYMBOL TABLE (default)"
              "\n\nPress a key to quit ");
    EXPECT_FALSE(fileExists(f.dir / "work/listing.pdf"));
  }
}

}  // namespace
}  // namespace mervik::test
