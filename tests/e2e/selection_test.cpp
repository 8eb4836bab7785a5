// End-to-end: which files a run lists, in which order, and where the listing goes.

#include <fcntl.h>
#include <sys/stat.h>

#include <cstdlib>
#include <ctime>
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
  const Pdf byPattern = f.pdf();
  EXPECT_EQ(titles(byPattern), "[a.vhd][b.vhd][c.vhd]");
  EXPECT_EQ(quoted.console.find("x.vhd"), std::string::npos);

  const RunResult expanded = f.run({"c.vhd", "b.vhd", "a.vhd"});
  ASSERT_EQ(expanded.status, 0);
  const Pdf byNames = f.pdf();
  EXPECT_EQ(titles(byNames), titles(byPattern));
  EXPECT_EQ(byNames.listing(), byPattern.listing());
}

TEST(Selection, ListingGoesBesideTheFirstNamedSourceAndNamesThatMatchNothingAreReported) {
  Workspace f;
  f.source("lib/mem.vhd");
  f.source("core/cpu.vhd");
  f.source("src/a.vhd");
  RunResult r = f.run({"lib/mem.vhd", "core/cpu.vhd"});
  ASSERT_EQ(r.status, 0);
  EXPECT_NE(r.console.find("\n\nListing file: lib/listing.pdf"), std::string::npos);
  EXPECT_EQ(r.opened, "lib/listing.pdf");
  EXPECT_FALSE(fileExists(f.dir / "work/listing.pdf"));
  EXPECT_EQ(titles(f.pdf("lib/listing.pdf")), "[cpu.vhd][mem.vhd]");  // in path order

  r = f.run({"none*.vhd", "nodir/*.vhd", "src", "src/a.vhd"});
  ASSERT_EQ(r.status, 0);
  EXPECT_NE(r.console.find("\n\nnone*.vhd : FILE NOT FOUND\n"
                           "\n\nnodir/*.vhd : FILE NOT FOUND\n"
                           "\n\nsrc/a.vhd"),
            std::string::npos)
      << r.console;
  EXPECT_EQ(titles(f.pdf("src/listing.pdf")), "[a.vhd]");
}

TEST(Selection, PromptModeReadsOneTypedLine) {
  Workspace f;
  f.source("a.vhd");
  f.source("my file.vhd");
  f.options.stdinIsNull = false;
  f.options.stdinText = "  a.vhd \"my file.vhd\" missing.vhd\n";
  const RunResult r = f.run({});
  ASSERT_EQ(r.status, 0);
  EXPECT_EQ(r.out,
            "\n\nTo enter the names of the files to list:\n- Use spaces as separator.\n"
            "- Surround names with \" if they contain spaces.\n- The wildcard * are allowed.\n"
            "\nFiles to process ?\n");
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

TEST(Selection, AFileNamedTwiceIsListedOnceUnderTheLocalDateOfItsLastWrite) {
  Workspace f;
  f.source("a.vhd");
  const std::time_t when = 1709543107;  // Mon Mar  4 09:05:07 2024 UTC
  const timespec times[2] = {{when, 0}, {when, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, (f.dir / "work/a.vhd").c_str(), times, 0), 0);
  const char* oldTz = std::getenv("TZ");
  const std::string saved = oldTz ? oldTz : "";
  ::setenv("TZ", "UTC", 1);  // the child inherits it
  const RunResult r = f.run({"a.vhd", "*.vhd", "a.vhd"});
  oldTz ? ::setenv("TZ", saved.c_str(), 1) : ::unsetenv("TZ");
  ASSERT_EQ(r.status, 0);
  EXPECT_NE(r.console.find("\n\nTotal lines: 1\n"), std::string::npos) << r.console;
  const Pdf pdf = f.pdf();
  EXPECT_EQ(titles(pdf), "[a.vhd]");
  EXPECT_EQ(pdf.pages[0].runsIn("Helvetica")[0].text, "Mon Mar  4 09:05:07 2024   a.vhd");
}

}  // namespace
}  // namespace mervik::test
