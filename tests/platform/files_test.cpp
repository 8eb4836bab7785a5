#include "platform/files.hpp"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>

namespace mervik::platform {
namespace {

namespace fs = std::filesystem;

constexpr std::int64_t march4th = 1709543107;  // Mon Mar  4 09:05:07 2024 UTC

// A directory of its own for each test, left behind only when the test fails.
class TempDir {
 public:
  TempDir() {
    std::string pattern = (fs::temp_directory_path() / "mervik-files-XXXXXX").string();
    path_ = mkdtemp(pattern.data()) ? pattern : "";
  }
  ~TempDir() {
    std::error_code ignored;
    if (!::testing::Test::HasFailure()) fs::remove_all(path_, ignored);
  }
  std::string file(const std::string& name, const std::string& bytes = "x",
                   std::int64_t mtime = march4th) const {
    std::string full = path_ + "/" + name;
    std::ofstream(full, std::ios::binary) << bytes;
    struct timespec times[2] = {{static_cast<time_t>(mtime), 0}, {static_cast<time_t>(mtime), 0}};
    utimensat(AT_FDCWD, full.c_str(), times, 0);
    return full;
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

TEST(MatchesPattern, StarAndQuestionMarkOverBytes) {
  struct Case {
    const char* pattern;
    const char* name;
    bool matches;
  };
  const Case cases[] = {
      {"*", "abc", true},
      {"*", "", true},
      {"", "", true},
      {"", "a", false},
      {"a?c", "abc", true},
      {"a?c", "ac", false},
      {"?", "", false},
      {"?", "\xe9", true},  // one byte, whatever its value
      {"*.vhd", "cpu.vhd", true},
      {"*.vhd", "cpu.vhdl", false},
      {"*.vhd*", "cpu.vhdl", true},
      {"c*u*.vhd", "cpu.tb.vhd", true},
      {"*a*b", "aaab", true},
      {"*a*b", "aaba", false},
      {"a*b*c", "abcbc", true},
      {"**", "x", true},
      {"*x", "\xe9x", true},
      {"CPU.vhd", "cpu.vhd", false},  // letter case counts
      {"cpu.vhd", "cpu.vhd", true},
      {"a*a*a*a*a*a*a*a*b", "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(matchesPattern(c.pattern, c.name), c.matches)
        << "pattern " << c.pattern << " name " << c.name;
  }
}

// Found entries as one sorted string "[name d|f]"; the search order is the directory's own.
std::string found(const std::string& pattern) {
  std::vector<DirEntry> entries = findFiles(pattern);
  std::sort(entries.begin(), entries.end(),
            [](const DirEntry& a, const DirEntry& b) { return a.name < b.name; });
  std::string text;
  for (const DirEntry& e : entries) text += "[" + e.name + (e.isDirectory ? " d]" : " f]");
  return text;
}

TEST(FindFiles, MatchesTheLastComponentInTheNamedDirectory) {
  TempDir dir;
  dir.file("a.vhd");
  dir.file("b.vhd");
  dir.file("c.txt");
  dir.file(".hidden.vhd");
  fs::create_directory(dir.path() + "/x.vhd");
  fs::create_symlink(dir.path() + "/a.vhd", dir.path() + "/link.vhd");
  fs::create_symlink(dir.path() + "/gone", dir.path() + "/dangling.vhd");
  fs::create_directory_symlink(dir.path() + "/x.vhd", dir.path() + "/linkdir.vhd");
  const std::string d = dir.path() + "/";
  struct Case {
    std::string pattern;
    std::string entries;
  };
  const Case cases[] = {
      {d + "*.vhd", "[a.vhd f][b.vhd f][dangling.vhd f][link.vhd f][linkdir.vhd d][x.vhd d]"},
      {d + "?.vhd", "[a.vhd f][b.vhd f][x.vhd d]"},
      {d + ".*", "[. d][.. d][.hidden.vhd f]"},
      {d + "*hidden*", ""},
      {d + "A.VHD", ""},
      {d + "c.txt", "[c.txt f]"},
      {d + "x.vhd", "[x.vhd d]"},
      {d + "missing/*", ""},
      {d + "c.txt/*", ""},
      {d, ""},
  };
  for (const Case& c : cases) EXPECT_EQ(found(c.pattern), c.entries) << c.pattern;
}

TEST(FindFiles, GivesTheLastWriteTime) {
  TempDir dir;
  dir.file("a.vhd", "x", march4th);
  fs::create_symlink(dir.path() + "/a.vhd", dir.path() + "/link.vhd");
  std::vector<DirEntry> entries = findFiles(dir.path() + "/*.vhd");
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].lastWrite, march4th);  // a link tells its target's time
  EXPECT_EQ(entries[1].lastWrite, march4th);
}

TEST(FindFiles, ANameWithoutDirectorySearchesTheCurrentOne) {
  TempDir dir;
  dir.file("only.vhd");
  fs::path previous = fs::current_path();
  fs::current_path(dir.path());
  std::string entries = found("*.vhd");
  fs::current_path(previous);
  EXPECT_EQ(entries, "[only.vhd f]");
}

TEST(LoadFile, ReadsTheBytesExactlyWithOneZeroAfter) {
  TempDir dir;
  const std::string bytes("line 1\r\nnul\0here\xff\n", 19);
  std::vector<char> text;
  ASSERT_EQ(loadFile(dir.file("a.vhd", bytes), &text), LoadStatus::loaded);
  EXPECT_EQ(std::string(text.data(), text.size()), bytes + std::string(1, '\0'));
}

TEST(LoadFile, ReportsWhatCannotBeRead) {
  TempDir dir;
  std::string fifo = dir.path() + "/pipe.vhd";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  struct Case {
    std::string path;
    LoadStatus status;
  };
  const Case cases[] = {
      {dir.file("empty.vhd", ""), LoadStatus::empty},
      {dir.path() + "/missing.vhd", LoadStatus::notOpened},
      {dir.path(), LoadStatus::notOpened},  // a directory
      {fifo, LoadStatus::notOpened},        // must not wait for a writer
  };
  for (const Case& c : cases) {
    std::vector<char> text;
    EXPECT_EQ(loadFile(c.path, &text), c.status) << c.path;
  }
}

TEST(DateText, FormatsTheLocalTimeIn24Characters) {
  setenv("TZ", "UTC", 1);
  tzset();
  struct Case {
    std::int64_t when;
    const char* text;
  };
  const Case cases[] = {
      {march4th, "Mon Mar  4 09:05:07 2024"},
      {1700000000, "Tue Nov 14 22:13:20 2023"},
      {0, "Thu Jan  1 00:00:00 1970"},
      {-1, "Wed Dec 31 23:59:59 1969"},
      {253402300799, "Fri Dec 31 23:59:59 9999"},
      {253402300800, "Sat Jan  1 00:00:00 9999"},      // year 10000 does not fit: held at 9999
      {-62167219201, "Fri Dec 31 23:59:59 0000"},      // before year 0: held at 0
      {100000000000000000, "??? ???  ? ??:??:?? ????"},  // beyond the calendar
  };
  for (const Case& c : cases) EXPECT_EQ(dateText(c.when), c.text) << c.when;
  setenv("TZ", "XYZ-2", 1);  // two hours east: the text is local time
  tzset();
  EXPECT_EQ(dateText(march4th), "Mon Mar  4 11:05:07 2024");
  setenv("TZ", "UTC", 1);
  tzset();
}

TEST(ExecutablePath, NamesThisTestProgram) {
  std::string path = executablePath();
  ASSERT_FALSE(path.empty());
  EXPECT_EQ(path[0], '/');
  EXPECT_TRUE(fs::equivalent(path, "/proc/self/exe"));
}

}  // namespace
}  // namespace mervik::platform
