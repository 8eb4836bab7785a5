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

TEST(MatchesPattern, StarAndQuestionMarkOverBytes) {
  const std::tuple<const char*, const char*, bool> cases[] = {
      {"*", "", true}, {"", "a", false}, {"a?c", "ac", false}, {"?", "\xe9", true},
      {"*.vhd", "cpu.vhdl", false}, {"*a*b", "aaba", false}, {"a*b*c", "abcbc", true},
      {"*x", "\xe9x", true}, {"CPU.vhd", "cpu.vhd", false},  // the last must end at once
      {"a*a*a*a*a*a*a*a*b", "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa", false},
  };
  for (const auto& [pattern, name, matches] : cases)
    EXPECT_EQ(matchesPattern(pattern, name), matches) << pattern << " " << name;
}

TEST(FindFiles, MatchesTheLastComponentInTheNamedDirectory) {
  test::TempDir dir;
  for (const char* name : {"a.vhd", "b.vhd", "c.txt", ".h.vhd", "x.vhd/in"}) dir.write(name, "");
  std::filesystem::create_symlink(dir / "gone", dir / "dangling.vhd");
  const std::pair<std::string, std::set<std::string>> cases[] = {
      {"*.vhd", {"a.vhd", "b.vhd", "dangling.vhd", "x.vhd/"}},
      {"?.vhd", {"a.vhd", "b.vhd", "x.vhd/"}}, {".*", {"./", "../", ".h.vhd"}},
      {"c.txt", {"c.txt"}}, {"x.vhd", {"x.vhd/"}}, {"missing/*", {}}, {"c.txt/*", {}}, {"", {}},
  };
  for (const auto& [pattern, expected] : cases) {
    std::set<std::string> got;  // sorted: the search keeps the directory's order
    for (const auto& e : findFiles(dir / pattern)) got.insert(e.name + (e.isDirectory ? "/" : ""));
    EXPECT_EQ(got, expected) << pattern;
  }
}

TEST(LoadFile, ReadsTheBytesWithOneZeroAfterOrSaysWhyNot) {
  test::TempDir dir;
  const std::string bytes("line 1\r\nnul\0here\xff\n", 19);
  dir.write("a.vhd", bytes);
  dir.write("empty.vhd", "");
  ASSERT_EQ(mkfifo((dir / "pipe.vhd").c_str(), 0600), 0);  // must not wait for a writer
  std::vector<char> text;
  ASSERT_EQ(loadFile(dir / "a.vhd", &text), LoadStatus::loaded);
  EXPECT_EQ(std::string(text.begin(), text.end()), bytes + '\0');
  EXPECT_EQ(loadFile(dir / "empty.vhd", &text), LoadStatus::empty);
  for (const char* name : {"missing.vhd", ".", "pipe.vhd"})
    EXPECT_EQ(loadFile(dir / name, &text), LoadStatus::notOpened) << name;
}

// Local time in 24 characters, here two hours east; years it cannot hold are held at 0 and 9999.
TEST(DateText, FormatsTheLocalTimeIn24Characters) {
  setenv("TZ", "XYZ-2", 1);
  tzset();
  const std::pair<std::int64_t, const char*> cases[] = {
      {1709543107, "Mon Mar  4 11:05:07 2024"},   {-7201, "Wed Dec 31 23:59:59 1969"},
      {253402293600, "Sat Jan  1 00:00:00 9999"}, {-62167226401, "Fri Dec 31 23:59:59 0000"},
      {100000000000000000, "??? ???  ? ??:??:?? ????"},  // beyond the calendar
  };
  for (const auto& [when, text] : cases) EXPECT_EQ(dateText(when), text) << when;
}

TEST(ExecutablePath, NamesThisTestProgram) {
  EXPECT_EQ(executablePath(), std::filesystem::canonical("/proc/self/exe").string());
}

}  // namespace
}  // namespace mervik::platform
