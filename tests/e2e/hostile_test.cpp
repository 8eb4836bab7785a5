// End-to-end: hostile inputs and faults. Whatever it is given, mervik ends, with a sound
// listing or with its fatal message, and never runs anything a name holds.

#include <sys/mount.h>

#include <filesystem>
#include <functional>
#include <random>
#include <string>

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
  text.reserve(size + piece.size());
  while (text.size() < size) text += piece;
  return text;
}

struct HostileSource {
  const char* name;
  std::function<std::string()> text;
  const char* expected;  // a piece of the listing text, or of the console for large inputs
  bool large = false;    // too large to read back whole: console and qpdf's check only
};

TEST(Hostile, SourcesOfAnyBytesGiveASoundListing) {
  const HostileSource cases[] = {
      {"binary", [] { return randomBytes(50 << 20, 1, 1, 255); }, "warnings\n\nTotal lines: ",
       true},
      {"one 10 MB line", [] { return repeated("signal s : bit; ", 10 << 20); },
       "\n\nTotal lines: 1\n", true},
      {"100,000 one-character lines", [] { return repeated("a\n", 200000); },
       "\n\nTotal lines: 100000\n", true},
      {"control bytes only", [] { return repeated("\x01\x02\x0b\x0c\x0d\x1a\x1f", 7000); },
       "TEXT STATISTICS\n\n  7000 characters\n     0 lines\n"},
      {"zero bytes", [] { return std::string("entity a\0is\0end", 15); },
       "   1 | entity a\n\n\nTEXT STATISTICS\n\n     8 characters\n"},
      {"high bytes", [] { return randomBytes(1 << 20, 2, 0x80, 0xff) + "\n"; },
       "\n     1 lines\n"},
      {"unterminated string", [] { return "x <= \"abc\n" + repeated("more\n", 5000); },
       "end of line within character or string constant\n"},
      {"unterminated extended identifier", [] { return "\\ext\n" + repeated("x\n", 5000); },
       "end of line within extended identifier\n"},
      {"trailing backslash", [] { return std::string("a \\"); }, "     1 lines\n"},
  };
  for (const HostileSource& c : cases) {
    SCOPED_TRACE(c.name);
    Workspace f;
    f.dir.write("work/hostile.vhd", c.text());
    const RunResult r = f.run({"hostile.vhd"});
    ASSERT_EQ(r.status, 0) << r.console;
    if (c.large) {
      EXPECT_NE(r.console.find(c.expected), std::string::npos) << r.console;
      EXPECT_TRUE(qpdfCheckPasses(f.dir / "work/listing.pdf"));
    } else {
      EXPECT_NE(f.pdf().listing().find(c.expected), std::string::npos);
    }
  }
}

TEST(Hostile, FiveThousandSourcesInOneRun) {
  Workspace f;
  for (int i = 4999; i >= 0; --i) {
    f.source("f" + std::to_string(10000 + i).substr(1) + ".vhd", "entity e is end;\n");
  }
  const RunResult r = f.run({"*.vhd"});
  ASSERT_EQ(r.status, 0);
  EXPECT_NE(r.console.find("\n\nTotal lines: 5000\n"), std::string::npos);
  const Pdf pdf = f.pdf();
  ASSERT_EQ(pdf.outlines.size(), 5000u);
  EXPECT_EQ(pdf.outlines.front().title, "f0000.vhd");
  EXPECT_EQ(pdf.outlines.back().title, "f4999.vhd");
}

TEST(Hostile, OddNamesAreListedAndNeverReachAShell) {
  Workspace f;
  const std::string dir = "we\"ird 'dir' $(touch pwned1) `touch pwned2`; touch pwned3";
  f.source(dir + "/a $(touch pwned4).vhd", "entity a is end;\n");
  const RunResult r = f.run({dir + "/a $(touch pwned4).vhd"});
  EXPECT_EQ(r.status, 0) << r.console;
  EXPECT_EQ(r.opened, dir + "/listing.pdf");
  const Pdf pdf = f.pdf(dir + "/listing.pdf");
  ASSERT_EQ(pdf.outlines.size(), 1u);
  EXPECT_EQ(pdf.outlines[0].title, "pwned4).vhd");  // after the last blank

  const std::string name = "a\n$(touch pwned1);`touch pwned2`|touch pwned3 'x\" .vhd";
  f.dir.write("work/" + name, "entity a is end;\n");
  const RunResult quoted = f.run({"a*.vhd"});
  ASSERT_EQ(quoted.status, 0) << quoted.console;
  EXPECT_NE(quoted.console.find("\n\n" + name + "\n"), std::string::npos);
  EXPECT_EQ(quoted.opened, "listing.pdf");
  EXPECT_EQ(f.pdf().outlines.at(0).title, ".vhd");
  for (const char* pwned : {"pwned1", "pwned2", "pwned3", "pwned4"}) {
    EXPECT_FALSE(fileExists(f.dir / ("work/" + std::string(pwned))));
    EXPECT_FALSE(fileExists(f.dir / ("bin/" + std::string(pwned))));
  }
}

std::string tables(int count, int namesEach) {
  std::string text = "/TITLE\nmany\n";
  for (int t = 0; t < count; ++t) {
    text += "//T" + std::to_string(t) + "\n";
    for (int n = 0; n < namesEach; ++n) text += "n" + std::to_string(t) + "_" + std::to_string(n) + "\n";
  }
  return text;
}

TEST(Hostile, ResourceFilesAtTheLimits) {
  Workspace f;
  f.resource(tables(20, 2));
  f.source("a.vhd", "entity a is end;\n");
  RunResult r = f.run({"a.vhd"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.console.find("TOO MANY RESOURCE TABLES\n\nPress a key to quit "), std::string::npos)
      << r.console;
  EXPECT_FALSE(fileExists(f.dir / "work/listing.pdf"));

  f.resource(tables(19, 100000 / 19));
  f.source("a.vhd", "entity n3_77 is end n18_5;\n");
  r = f.run({"a.vhd"});
  ASSERT_EQ(r.status, 0) << r.console;
  const std::string text = f.pdf().listing();
  EXPECT_NE(text.find("\nT3\n\n    n3_77"), std::string::npos) << text;
  EXPECT_NE(text.find("\nT18\n\n    n18_5"), std::string::npos);

  f.source("a.vhd", "\tentity a is\n\t\tport (x : in bit);\nend a;\n");
  for (const char* format : {"99999999999\n99999999999\n", "-2147483648\n-2147483648\n",
                             "0\n0\n", "x\ny\n", "-5\n2000\n", "1000\n3\n"}) {
    SCOPED_TRACE(format);
    f.resource(std::string("/FORMAT\n") + format);
    r = f.run({"a.vhd"});
    ASSERT_EQ(r.status, 0) << r.console;
    EXPECT_NE(f.pdf().listing().find("     3 lines\n"), std::string::npos);
  }
}

/// A small tmpfs mounted on `path` for a fault test; skipped where mounting is not allowed.
class Mount {
 public:
  Mount(const std::string& path, const char* options) : path_(path) {
    std::filesystem::create_directories(path);
    mounted_ = ::mount("tmpfs", path.c_str(), "tmpfs", 0, options) == 0;
  }
  ~Mount() {
    if (mounted_) ::umount2(path_.c_str(), MNT_DETACH);
  }
  bool mounted() const { return mounted_; }
  bool remountReadOnly() {
    return ::mount("tmpfs", path_.c_str(), "tmpfs", MS_REMOUNT | MS_RDONLY, nullptr) == 0;
  }

 private:
  std::string path_;
  bool mounted_ = false;
};

// The run ended with the fatal save message, opened nothing and left no listing file.
void expectFailedSave(Workspace& f, const RunResult& r, const std::string& listing) {
  EXPECT_EQ(r.status, 1);
  const std::string tail = "\n\nCould not save the PDF file\n\nPress a key to quit ";
  ASSERT_GE(r.console.size(), tail.size()) << r.console;
  EXPECT_EQ(r.console.substr(r.console.size() - tail.size()), tail);
  EXPECT_EQ(r.opened, "");
  EXPECT_FALSE(std::filesystem::is_regular_file(f.dir / ("work/" + listing)));
  EXPECT_FALSE(fileExists(f.dir / ("work/" + listing + ".part")));
}

TEST(Hostile, ReadOnlyAndFullOutputDirectories) {
  Workspace f;
  Mount ro(f.dir / "work/ro", "size=1m");
  Mount full(f.dir / "work/full", "size=256k");
  if (!ro.mounted() || !full.mounted()) GTEST_SKIP() << "no tmpfs mount here (needs CAP_SYS_ADMIN)";
  f.source("ro/a.vhd", "entity a is end;\n");
  ASSERT_TRUE(ro.remountReadOnly());
  expectFailedSave(f, f.run({"ro/a.vhd"}), "ro/listing.pdf");
  f.source("full/a.vhd", repeated("signal s : bit;\n", 2000));
  // Fill what is left, so the listing cannot be written.
  f.source("full/filler", std::string(256 << 10, 'x'));
  expectFailedSave(f, f.run({"full/a.vhd"}), "full/listing.pdf");
}

TEST(Hostile, ListingPathIsADirectoryOrVanishesDuringTheRun) {
  Workspace f;
  f.source("a.vhd", "entity a is end;\n");
  f.dir.write("work/listing.pdf/keep", "");
  expectFailedSave(f, f.run({"a.vhd"}), "listing.pdf");

  f.dir.write("work/a/x.vhd", "entity x is end;\n");
  f.dir.write("work/b/big.vhd", repeated("signal s : bit; -- a comment\n", 300000));
  f.options.trigger = "\n\nb/big.vhd";
  f.options.onTrigger = [&] { std::filesystem::remove_all(f.dir / "work/a"); };
  expectFailedSave(f, f.run({"a/x.vhd", "b/big.vhd"}), "a/listing.pdf");
}

}  // namespace
}  // namespace mervik::test
