// End-to-end: whatever it is given, mervik ends with a sound listing or its fatal message.

#include <sys/mount.h>
#include <sys/stat.h>

#include <filesystem>
#include <random>
#include <string>
#include <tuple>

#include <gtest/gtest.h>

#include "support/workspace.hpp"

namespace mervik::test {

std::string randomBytes(size_t size, int low) {
  std::mt19937 random(low);
  std::string text(size, '\0');
  for (char& c : text) c = static_cast<char>(std::uniform_int_distribution<int>(low, 255)(random));
  return text;
}

std::string repeated(const std::string& piece, size_t times) {
  std::string text;
  while (times-- > 0) text += piece;
  return text;
}

// Each source lies in a directory whose name a shell would run; its listing is opened there.
TEST(Hostile, SourcesOfAnyBytesAndResourcesOfAnyValuesGiveASoundListingOrTheFatalMessage) {
  const std::string dir = "we\"ird 'dir' $(touch pwned1) `touch pwned2`; touch pwned3";
  const std::string tabbed = "\tentity a is\n\t\tport (x : in bit);\nend a;\n";
  std::string tables = "/TITLE\nmany\n";  // 19 tables of 5263 names
  for (int n = 0; n < 19 * 5263; ++n)
    tables += (n % 5263 ? "" : "//T" + std::to_string(n / 5263) + "\n") + "e" +
              std::to_string(n) + "\n";
  const std::string huge(1000000, 'x');  // past the library's string limit, drawn in pieces
  // Name, resource, source, a piece of its listing and page count (or console and status).
  const std::tuple<const char*, std::string, std::string, std::string> cases[] = {
      {"binary", "", randomBytes(1 << 20, 1), "\nLEXICAL STATISTICS\n"},
      {"one 4 MB line", "", repeated("signal s : bit; ", 1 << 18), "\n     1 lines\n"},
      {"100,000 lines", "", repeated("a\n", 100000), "\n100000 lines\n"},
      {"controls", "", repeated("\x01\x02\x0b\x0c\x0d\x1a\x1f", 1000), "7000 characters\n"},
      {"zero bytes", "", std::string("entity a\0is\0end", 15), "\n     8 characters\n"},
      {"huge name", "", huge + " <= y;\n", "\n    " + huge + "   \n             1 \n"},
      {"huge format", "/FORMAT\n99999999999\n-2147483648\n", tabbed, "     3 lines\n"},
      {"19 tables", tables, "entity e99996 is end;\n", "\nT18\n\n    e99996 "},
      {"20 tables", tables + "//T19\n", "a", "TOO MANY RESOURCE TABLES\n\nPress a key to quit |1"},
      // Two large columns of 24 lines a page: more pages than one array of the library holds.
      {"33334 pages", "/FORMAT\n1\n0\n", std::string(800000, '\n'),
       "800000 lines\n\nLEXICAL STATISTICS\n\n     0 comments\n|33334"},
  };
  for (const auto& [name, resource, text, expected] : cases) {
    SCOPED_TRACE(name);
    Workspace f;
    if (!resource.empty()) f.resource(resource);
    f.source(dir + "/a $(touch pwned4).vhd", text);
    const RunResult r = f.run({dir + "/a $(touch pwned4).vhd"});
    EXPECT_EQ(r.opened, r.status == 0 ? dir + "/listing.pdf" : "");
    std::string seen = r.console + "|" + std::to_string(r.status);
    if (r.status == 0) {
      const Pdf pdf = f.pdf(dir + "/listing.pdf");
      seen = pdf.listing() + "|" + std::to_string(pdf.pages.size());
    }
    EXPECT_NE(seen.find(expected), std::string::npos) << seen.substr(0, 4000);
    for (const auto& entry : std::filesystem::recursive_directory_iterator(f.dir.path()))
      EXPECT_NE(entry.path().filename().string().rfind("pwned", 0), 0u) << entry.path();
  }
}

TEST(Hostile, ListingThatCannotBeWrittenIsFatalAndLeavesNoFile) {
  Workspace f;
  const auto failsToSave = [&f](const std::string& source, const std::string& pdf,
                                const std::string& why) {
    const RunResult r = f.run({source});
    const std::string path = f.dir / ("work/" + pdf);
    bool left = std::filesystem::is_regular_file(path);
    for (const auto& entry : std::filesystem::directory_iterator(f.dir / "work"))
      left = left || entry.path().string().find(".part") != std::string::npos;
    EXPECT_EQ(std::to_string(r.status) + "|" + r.opened + "|" + std::to_string(left), "1||0");
    EXPECT_NE(r.console.find("\n\nCould not save the PDF file" + why + "\n\nPress a key to quit "),
              std::string::npos) << r.console;
  };
  f.source("a.vhd");
  f.dir.write("work/listing.pdf/keep", "");
  failsToSave("a.vhd", "listing.pdf", "\n   listing.pdf: Is a directory");
  // A full disk: a small tmpfs, where mounting is allowed.
  const std::string disk = f.dir / "work/disk";
  std::filesystem::create_directories(disk);
  if (::mount("tmpfs", disk.c_str(), "tmpfs", 0, "size=256k") != 0) GTEST_SKIP() << "no mount";
  f.source("disk/a.vhd");
  f.source("disk/filler", std::string(256 << 10, 'x'));  // fills what is left
  // Found only while libharu writes: its failure keeps the bare message.
  failsToSave("disk/a.vhd", "disk/listing.pdf", "");
  ::umount2(disk.c_str(), MNT_DETACH);
}

// Links planted where the listing or its temporary file would go are replaced, never followed.
TEST(Hostile, PlantedLinksAreReplacedAndTheirTargetsLeftAlone) {
  Workspace f;
  f.source("a.vhd");
  f.dir.write("victim", "precious");
  std::filesystem::create_symlink(f.dir / "victim", f.dir / "work/listing.pdf");
  std::filesystem::create_symlink(f.dir / "victim", f.dir / "work/listing.pdf.part");
  const mode_t mask = ::umask(027);
  const RunResult r = f.run({"a.vhd"});
  ::umask(mask);
  ASSERT_EQ(r.status, 0) << r.console;
  std::string names;
  for (const auto& entry : std::filesystem::directory_iterator(f.dir / "work"))
    names += entry.path().filename().string() + (entry.is_symlink() ? "@ " : " ");
  const auto mode = std::filesystem::status(f.dir / "work/listing.pdf").permissions();
  EXPECT_EQ(readFile(f.dir / "victim") + "|" + std::to_string(static_cast<int>(mode)),
            "precious|" + std::to_string(0640));
  EXPECT_EQ(names.size(), std::string("a.vhd listing.pdf listing.pdf.part@ .keep ").size());
  EXPECT_NE(names.find("listing.pdf "), std::string::npos) << names;
  EXPECT_NE(f.pdf().listing().find("   1 | entity e is end;\n"), std::string::npos);
}

}  // namespace mervik::test
