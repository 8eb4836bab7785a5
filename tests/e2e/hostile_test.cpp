// End-to-end: hostile inputs and faults. Whatever it is given, mervik ends, with a sound
// listing or with its fatal message, and never runs anything a name holds.

#include <sys/mount.h>

#include <algorithm>
#include <filesystem>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "support/workspace.hpp"

namespace mervik::test {
namespace {

std::string randomBytes(size_t size, unsigned seed, int low, int high) {
  std::mt19937 random(seed);
  std::uniform_int_distribution<int> byte(low, high);
  std::string text(size, '\0');
  for (char& c : text) c = static_cast<char>(byte(random));
  return text;
}

std::string repeated(const std::string& piece, size_t size) {
  std::string text;
  while (text.size() < size) text += piece;
  return text;
}

TEST(Hostile, SourcesOfAnyBytesGiveASoundListing) {
  // Name, text, a piece of its listing.
  const std::tuple<const char*, std::string, const char*> cases[] = {
      {"binary", randomBytes(1 << 20, 1, 1, 255), "\nLEXICAL STATISTICS\n"},
      {"one 4 MB line", repeated("signal s : bit; ", 4 << 20), "\n     1 lines\n"},
      {"100,000 lines", repeated("a\n", 200000), "\n100000 lines\n"},
      {"controls", repeated("\x01\x02\x0b\x0c\x0d\x1a\x1f", 7000), "7000 characters\n     0 lines"},
      {"zero bytes", std::string("entity a\0is\0end", 15), "\n     8 characters\n     1 lines\n"},
      {"high bytes", randomBytes(1 << 18, 2, 0x80, 0xff) + "\n", "\n     1 lines\n"},
      {"open string", "\"a\nb\n", "end of line within character or string constant\n"},
      {"open identifier", "\\ext\nb\n", "end of line within extended identifier\n"},
      {"trailing backslash", "a \\", "     1 lines\n"},
  };
  for (const auto& [name, text, expected] : cases) {
    SCOPED_TRACE(name);
    Workspace f;
    f.source("hostile.vhd", text);
    const RunResult r = f.run({"hostile.vhd"});
    ASSERT_EQ(r.status, 0) << r.console;
    EXPECT_NE(f.pdf().listing().find(expected), std::string::npos) << expected;
  }
}

TEST(Hostile, ThousandsOfSourcesAndResourceNames) {
  Workspace f;
  for (int i = 1999; i >= 0; --i) f.source("f" + std::to_string(10000 + i).substr(1) + ".vhd");
  std::string resource = "/TITLE\nmany\n";  // 19 tables of 5263 names
  for (int t = 0; t < 19; ++t) {
    resource += "//T" + std::to_string(t) + "\n";
    for (int n = 0; n < 5263; ++n) resource += "e" + std::to_string(t * 10000 + n) + "\n";
  }
  f.resource(resource);
  f.source("f0000.vhd", "entity e30077 is end e180005;\n");
  const RunResult r = f.run({"*.vhd"});
  ASSERT_EQ(r.status, 0);
  const Pdf pdf = f.pdf();
  EXPECT_EQ(std::to_string(pdf.outlines.size()) + " " + pdf.outlines.at(0).title + " " +
                pdf.outlines.back().title, "2000 f0000.vhd f1999.vhd");
  EXPECT_NE(pdf.listing().find("\nT3\n\n    e30077"), std::string::npos);
  EXPECT_NE(pdf.listing().find("\nT18\n\n    e180005"), std::string::npos);

  f.resource(resource + "//T19\n");  // a twentieth table
  const RunResult tooMany = f.run({"*.vhd"});
  EXPECT_EQ(tooMany.status, 1);
  EXPECT_NE(tooMany.console.find("TOO MANY RESOURCE TABLES\n\nPress a key to quit "),
            std::string::npos);
}

TEST(Hostile, ResourceFormatOfAnyValue) {
  Workspace f;
  f.source("a.vhd", "\tentity a is\n\t\tport (x : in bit);\nend a;\n");
  for (const char* format : {"99999999999\n99999999999\n", "-2147483648\n-2147483648\n", "x\n"}) {
    f.resource(std::string("/FORMAT\n") + format);
    ASSERT_EQ(f.run({"a.vhd"}).status, 0) << format;
    EXPECT_NE(f.pdf().listing().find("     3 lines\n"), std::string::npos) << format;
  }
}

TEST(Hostile, OddNamesAreListedAndNeverReachAShell) {
  Workspace f;
  const std::string dir = "we\"ird 'dir' $(touch pwned1) `touch pwned2`; touch pwned3";
  f.source(dir + "/a $(touch pwned4).vhd");
  const RunResult r = f.run({dir + "/a $(touch pwned4).vhd"});
  EXPECT_EQ(r.status, 0) << r.console;
  EXPECT_EQ(r.opened, dir + "/listing.pdf");
  // The title is what follows the header's last blank.
  EXPECT_EQ(f.pdf(dir + "/listing.pdf").outlines.at(0).title, "pwned4).vhd");

  const std::string name = "a\n$(touch pwned1);`touch pwned2`|touch pwned3 'x\" .vhd";
  f.source(name);
  const RunResult quoted = f.run({"a*.vhd"});
  ASSERT_EQ(quoted.status, 0) << quoted.console;
  EXPECT_NE(quoted.console.find("\n\n" + name + "\n"), std::string::npos);
  EXPECT_EQ(quoted.opened, "listing.pdf");
  EXPECT_EQ(f.pdf().outlines.at(0).title, ".vhd");
  for (const std::string pwned : {"pwned1", "pwned2", "pwned3", "pwned4"})
    EXPECT_FALSE(fileExists(f.dir / ("work/" + pwned)) || fileExists(f.dir / ("bin/" + pwned)));
}

// The run ended with the fatal save message, opened nothing and left no listing file.
void expectFailedSave(Workspace& f, const std::vector<std::string>& args, const std::string& pdf) {
  const RunResult r = f.run(args);
  EXPECT_EQ(std::to_string(r.status) + "|" + r.opened, "1|");
  const std::string tail = "\n\nCould not save the PDF file\n\nPress a key to quit ";
  EXPECT_EQ(r.console.substr(r.console.size() - std::min(r.console.size(), tail.size())), tail);
  EXPECT_FALSE(std::filesystem::is_regular_file(f.dir / ("work/" + pdf)));
  EXPECT_FALSE(fileExists(f.dir / ("work/" + pdf + ".part")));
}

TEST(Hostile, ListingThatCannotBeWrittenIsFatal) {
  Workspace f;
  f.source("a.vhd");
  f.dir.write("work/listing.pdf/keep", "");
  expectFailedSave(f, {"a.vhd"}, "listing.pdf");

  // A full disk, then a read-only one: a small tmpfs, where mounting is allowed.
  const std::string disk = f.dir / "work/disk";
  std::filesystem::create_directories(disk);
  if (::mount("tmpfs", disk.c_str(), "tmpfs", 0, "size=256k") != 0) GTEST_SKIP() << "no mount";
  f.source("disk/a.vhd", repeated("signal s : bit;\n", 2000));
  f.source("disk/filler", std::string(256 << 10, 'x'));  // fills what is left
  expectFailedSave(f, {"disk/a.vhd"}, "disk/listing.pdf");
  std::filesystem::remove(disk + "/filler");
  EXPECT_EQ(::mount("tmpfs", disk.c_str(), "tmpfs", MS_REMOUNT | MS_RDONLY, nullptr), 0);
  expectFailedSave(f, {"disk/a.vhd"}, "disk/listing.pdf");
  ::umount2(disk.c_str(), MNT_DETACH);
}

}  // namespace
}  // namespace mervik::test
