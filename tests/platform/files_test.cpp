#include "platform/files.hpp"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <ctime>
#include <filesystem>
#include <set>
#include <string>
#include <tuple>

#include "support/run_mervik.hpp"

namespace mervik::platform {
namespace {

namespace fs = std::filesystem;

constexpr std::int64_t march4th = 1709543107;  // Mon Mar  4 09:05:07 2024 UTC

TEST(MatchesPattern, StarAndQuestionMarkOverBytes) {
  const std::tuple<const char*, const char*, bool> cases[] = {
      {"*", "abc", true},          {"*", "", true},           {"", "", true},
      {"", "a", false},            {"a?c", "abc", true},      {"a?c", "ac", false},
      {"?", "", false},            {"?", "\xe9", true},       {"*.vhd", "cpu.vhd", true},
      {"*.vhd", "cpu.vhdl", false}, {"*.vhd*", "cpu.vhdl", true}, {"c*u*.vhd", "cpu.tb.vhd", true},
      {"*a*b", "aaab", true},      {"*a*b", "aaba", false},   {"a*b*c", "abcbc", true},
      {"**", "x", true},           {"*x", "\xe9x", true},     {"CPU.vhd", "cpu.vhd", false},
      {"a*a*a*a*a*a*a*a*b", "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa", false},
  };
  for (const auto& [pattern, name, matches] : cases) {
    EXPECT_EQ(matchesPattern(pattern, name), matches) << pattern << " " << name;
  }
}

// The entries in sorted order (the search keeps the directory's), e.g. "[a.vhd][x.vhd d]".
std::string found(const std::string& pattern) {
  std::set<std::string> entries;
  for (const DirEntry& e : findFiles(pattern)) entries.insert(e.name + (e.isDirectory ? " d" : ""));
  std::string text;
  for (const std::string& entry : entries) text += "[" + entry + "]";
  return text;
}

// Patterns without a directory search the current one; plain names are looked up directly.
TEST(FindFiles, MatchesTheLastComponentInTheNamedDirectory) {
  test::TempDir dir;
  for (const char* name : {"a.vhd", "b.vhd", "c.txt", ".hidden.vhd"}) dir.write(name, "x");
  fs::create_directory(dir / "x.vhd");
  fs::create_symlink(dir / "a.vhd", dir / "link.vhd");
  fs::create_symlink(dir / "gone", dir / "dangling.vhd");
  const fs::path previous = fs::current_path();
  fs::current_path(dir.path());
  const std::string cases[][2] = {
      {"*.vhd", "[a.vhd][b.vhd][dangling.vhd][link.vhd][x.vhd d]"},
      {dir / "?.vhd", "[a.vhd][b.vhd][x.vhd d]"},
      {".*", "[. d][.. d][.hidden.vhd]"}, {"*hidden*", ""}, {"A.VHD", ""},
      {dir / "c.txt", "[c.txt]"}, {"x.vhd", "[x.vhd d]"}, {"missing/*", ""},
      {"c.txt/*", ""}, {dir.path() + "/", ""},
  };
  for (const auto& [pattern, entries] : cases) EXPECT_EQ(found(pattern), entries) << pattern;
  fs::current_path(previous);
}

TEST(LoadFile, ReadsTheBytesWithOneZeroAfterOrSaysWhyNot) {
  test::TempDir dir;
  const std::string bytes("line 1\r\nnul\0here\xff\n", 19);
  dir.write("a.vhd", bytes);
  dir.write("empty.vhd", "");
  ASSERT_EQ(mkfifo((dir / "pipe.vhd").c_str(), 0600), 0);
  std::vector<char> text;
  ASSERT_EQ(loadFile(dir / "a.vhd", &text), LoadStatus::loaded);
  EXPECT_EQ(std::string(text.data(), text.size()), bytes + std::string(1, '\0'));
  const std::pair<const char*, LoadStatus> cases[] = {
      {"empty.vhd", LoadStatus::empty}, {"missing.vhd", LoadStatus::notOpened},
      {".", LoadStatus::notOpened}, {"pipe.vhd", LoadStatus::notOpened},  // must not wait
  };
  for (const auto& [name, status] : cases) EXPECT_EQ(loadFile(dir / name, &text), status) << name;
}

TEST(DateText, FormatsTheLocalTimeIn24Characters) {
  setenv("TZ", "UTC", 1);
  tzset();
  const std::pair<std::int64_t, const char*> cases[] = {
      {march4th, "Mon Mar  4 09:05:07 2024"},
      {-1, "Wed Dec 31 23:59:59 1969"},
      {253402300799, "Fri Dec 31 23:59:59 9999"},
      {253402300800, "Sat Jan  1 00:00:00 9999"},        // year 10000 does not fit: held at 9999
      {-62167219201, "Fri Dec 31 23:59:59 0000"},        // before year 0: held at 0
      {100000000000000000, "??? ???  ? ??:??:?? ????"},  // beyond the calendar
  };
  for (const auto& [when, text] : cases) EXPECT_EQ(dateText(when), text) << when;
  setenv("TZ", "XYZ-2", 1);  // two hours east: the text is local time
  tzset();
  EXPECT_EQ(dateText(march4th), "Mon Mar  4 11:05:07 2024");
}

TEST(ExecutablePath, NamesThisTestProgram) {
  const std::string path = executablePath();
  EXPECT_TRUE(!path.empty() && path[0] == '/' && fs::equivalent(path, "/proc/self/exe")) << path;
}

}  // namespace
}  // namespace mervik::platform
