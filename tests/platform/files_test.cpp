#include "platform/files.hpp"
#include "platform/digest.hpp"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <fnmatch.h>

#include <ctime>
#include <set>
#include <string>
#include <vector>

#include "support/temp_dir.hpp"

namespace mervik::platform {

TEST(Files, SearchMatchesTheLastComponentAndLoadingTakesRegularFilesOnly) {
  test::TempDir dir;
  const std::string bytes("line 1\r\nnul\0here\xff\n", 19), aaa(52, 'a');
  for (const char* name : {"a.vhd", "a.vhdl", ".h.vhd", "x.vhd/in", "\xe9x", "abcbc", aaa.c_str()})
    dir.write(name, bytes);
  ASSERT_EQ(mkfifo((dir / "pipe.vhd").c_str(), 0600), 0);  // loading must not wait for a writer
  const std::pair<std::string, std::string> cases[] = {  // files only, in path order
      {"*.vhd", "[a.vhd][pipe.vhd]"}, {"missing/*", "|missing/: No such file or directory"},
      {".*", "[.h.vhd]"}, {"?x", "[\xe9x]"}, {"a*b*c", "[abcbc]"}, {"[ab]*l", "[a.vhdl]"},
      {"a*a*a*a*a*a*a*a*b", "|a*a*a*a*a*a*a*a*b: no file matches"},  // not exponential
      {"*/in", "[x.vhd/in]"}, {"**/in", "[x.vhd/in]"}, {"x.vhd", "|x.vhd: Is a directory"},
  };
  for (const auto& [pattern, expected] : cases) {
    std::string got, reason;
    for (const auto& e : findFiles(dir / pattern, &reason)) got += "[" + e.path.substr(dir.path().size() + 1) + "]";
    if (got.empty()) got = "|" + reason.substr(std::min(reason.size(), dir.path().size() + 1));
    EXPECT_EQ(got, expected) << pattern;
  }
  std::vector<char> text;
  ASSERT_EQ(loadFile(dir / "a.vhd", &text), LoadStatus::loaded);
  EXPECT_EQ(std::string(text.begin(), text.end()), bytes + '\0');
  for (const char* name : {"missing.vhd", "x.vhd", "pipe.vhd"})
    EXPECT_EQ(loadFile(dir / name, &text), LoadStatus::notOpened) << name;
}

// The own matcher (Windows' patterns) against the C library's fnmatch, on random patterns and
// names over a small alphabet; classes, ranges and negation included.
TEST(MatchesPattern, AgreesWithFnmatch) {
  const char alphabet[] = "ab-*?[]!^";
  unsigned seed = 12345;
  const auto next = [&seed](unsigned n) { return (seed = seed * 1103515245 + 12345) / 65536 % n; };
  for (int i = 0; i < 200000; ++i) {
    std::string pattern, name;
    for (unsigned k = next(7); k > 0; --k) pattern += alphabet[next(sizeof alphabet - 1)];
    for (unsigned k = next(6); k > 0; --k) name += "ab-]!"[next(5)];
    const bool expected = fnmatch(pattern.c_str(), name.c_str(), FNM_NOESCAPE) == 0;
    ASSERT_EQ(matchesPattern(pattern, name), expected) << pattern << " " << name;
  }
}

// Local time in 24 characters, here two hours east; years it cannot hold are held at 0 and 9999.
TEST(DateText, FormatsTheLocalTimeIn24Characters) {
  setenv("TZ", "XYZ-2", 1);
  tzset();
  const std::pair<std::int64_t, const char*> cases[] = {
      {1709543107, "Mon Mar  4 11:05:07 2024"},   {-62167226401, "Fri Dec 31 23:59:59 0000"},
      {253402293600, "Sat Jan  1 00:00:00 9999"}, {100000000000000000, "??? ???  ? ??:??:?? ????"},
  };
  for (const auto& [when, text] : cases) EXPECT_EQ(dateText(when), text) << when;
}

// The system library's SHA-256 on the standard's test texts, one of them past a piece size.
TEST(Digest, Sha256IsThatOfTheStandardsTestTexts) {
  const std::pair<std::string, const char*> cases[] = {
      {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
  };
  for (const auto& [text, sum] : cases) EXPECT_EQ(sha256Hex(text), sum) << text.size();
}

}  // namespace mervik::platform
