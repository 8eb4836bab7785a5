#include "driver/selection.hpp"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/recording.hpp"

namespace mervik::driver {
namespace {

namespace fs = std::filesystem;

constexpr std::int64_t march4th = 1709543107;  // Mon Mar  4 09:05:07 2024 UTC
const char* const promptText =
    "\n\nTo enter the names of the files to list:\n"
    "- Use spaces as separator.\n"
    "- Surround names with \" if they contain spaces.\n"
    "- The wildcard * are allowed.\n"
    "\nFiles to process ?\n";

// A directory of its own for each test, left behind only when the test fails.
class TempDir {
 public:
  TempDir() {
    std::string pattern = (fs::temp_directory_path() / "mervik-select-XXXXXX").string();
    path_ = mkdtemp(pattern.data()) ? pattern : "";
  }
  ~TempDir() {
    std::error_code ignored;
    if (!::testing::Test::HasFailure()) fs::remove_all(path_, ignored);
  }
  const std::string& path() const { return path_; }
  // Creates a file with fixed contents and last-write time.
  std::string file(const std::string& name, std::int64_t mtime = march4th) const {
    std::string full = path_ + "/" + name;
    std::ofstream(full) << "x";
    struct timespec times[2] = {{static_cast<time_t>(mtime), 0}, {static_cast<time_t>(mtime), 0}};
    utimensat(AT_FDCWD, full.c_str(), times, 0);
    return full;
  }

 private:
  std::string path_;
};

// Restores the working directory when a test that moved into its temp dir ends.
class InDirectory {
 public:
  explicit InDirectory(const std::string& path) : previous_(fs::current_path()) {
    fs::current_path(path);
  }
  ~InDirectory() { fs::current_path(previous_); }

 private:
  fs::path previous_;
};

// A FILE* reading `text`, as the standard input would.
std::FILE* inputOf(const std::string& text) {
  std::FILE* in = std::tmpfile();
  std::fwrite(text.data(), 1, text.size(), in);
  std::rewind(in);
  return in;
}

std::string contentsOf(std::FILE* file) {
  std::rewind(file);
  std::string text;
  for (int c; (c = std::getc(file)) != EOF;) text += static_cast<char>(c);
  return text;
}

std::string paths(std::vector<Source> sources, const std::string& strip = "") {
  sortSources(sources);
  std::string text;
  for (const Source& s : sources) text += "[" + s.path.substr(strip.size()) + "]";
  return text;
}

// One whole run of the selection: what it selected, the prompt and the console text.
struct Selection {
  bool ok = false;
  std::vector<Source> sources;
  std::string out;
  std::string console;
  std::string err;
};

Selection select(std::vector<std::string> args, const std::string& typed = "") {
  std::vector<char*> argv;
  args.insert(args.begin(), "mervik");
  for (std::string& a : args) argv.push_back(a.data());
  std::FILE* in = inputOf(typed);
  std::FILE* out = std::tmpfile();
  test::RecordingConsole console;
  Selection s;
  s.ok = selectSources(static_cast<int>(argv.size()), argv.data(), in, out, console, &s.sources,
                       &s.err);
  s.out = contentsOf(out);
  s.console = console.text();
  std::fclose(in);
  std::fclose(out);
  return s;
}

class SelectionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("TZ", "UTC", 1);
    tzset();
  }
};

TEST(PromptTokenizer, CutsTheTypedLineIntoNames) {
  struct Case {
    std::string line;
    std::string names;
  };
  const Case cases[] = {
      {"a.vhd b.vhd", "[a.vhd][b.vhd]"},
      {"a.vhd    b.vhd", "[a.vhd][b.vhd]"},
      {"   a.vhd b.vhd", "[a.vhd][b.vhd]"},
      {"a.vhd b.vhd   ", "[a.vhd][b.vhd]"},
      {"\"my file.vhd\" b.vhd", "[my file.vhd][b.vhd]"},
      {"ab\"c d\"", "[c d]"},
      {"\"a b\"c", "[a b][c]"},
      {"\"a b", "[a b]"},
      {"\"a b \"", "[a b ]"},
      {"a\"b\"c d", "[b][c][d]"},
      {"a.vhd \"\" b.vhd", "[a.vhd]"},
      {"a.vhd \"", "[a.vhd]"},
      {"a.vhd b\"", "[a.vhd]"},
      {"\"\"", ""},
      {"a.vhd\tb.vhd", "[a.vhd\tb.vhd]"},
      {"\xe9t\xe9.vhd \x80\xff", "[\xe9t\xe9.vhd][\x80\xff]"},
      {"a.vhd\r", "[a.vhd\r]"},
      {"x", "[x]"},
      {"", ""},
      {"     ", ""},
  };
  for (const Case& c : cases) {
    std::vector<char> buffer(c.line.begin(), c.line.end());
    buffer.push_back('\0');
    char* cursor = buffer.data();
    std::string names;
    while (const char* name = nextName(&cursor)) names += "[" + std::string(name) + "]";
    EXPECT_EQ(names, c.names) << "typed line: " << c.line;
  }
}

TEST(PromptTokenizer, GivesNoneForEverAfterTheLineEnd) {
  char line[] = "a b";
  char* cursor = line;
  ASSERT_STREQ(nextName(&cursor), "a");
  ASSERT_STREQ(nextName(&cursor), "b");
  EXPECT_EQ(nextName(&cursor), nullptr);
  EXPECT_EQ(cursor, nullptr);
  EXPECT_EQ(nextName(&cursor), nullptr);
}

TEST(ReadTypedLine, Takes1022BytesAndThrowsLongerLinesAway) {
  struct Case {
    std::string input;
    std::string line;
    std::string rest;  // what the next read gives: proves where the reading stopped
  };
  const std::string long1022(1022, 'a');
  const std::string long1023(1023, 'b');
  const Case cases[] = {
      {"a.vhd b.vhd\nnext\n", "a.vhd b.vhd", "next"},
      {long1022 + "\nnext\n", long1022, "next"},
      {long1023 + "\nnext\n", "", "next"},
      {long1023 + long1023 + "\nnext", "", "next"},
      {long1022, long1022, ""},
      {long1023, "", ""},
      {"last", "last", ""},
      {"crlf\r\n", "crlf\r", ""},
      {"\n", "", ""},
      {"", "", ""},
  };
  for (const Case& c : cases) {
    std::FILE* in = inputOf(c.input);
    std::string line = readTypedLine(in);
    std::string rest = readTypedLine(in);
    std::fclose(in);
    EXPECT_EQ(line, c.line) << "input of " << c.input.size() << " bytes";
    EXPECT_EQ(rest, c.rest) << "input of " << c.input.size() << " bytes";
  }
}

TEST_F(SelectionTest, ArgumentModeExpandsEachArgumentWhole) {
  TempDir dir;
  dir.file("b.vhd");
  dir.file("a.vhd");
  dir.file("notes.txt");
  dir.file("my file.vhd");
  fs::create_directory(dir.path() + "/x.vhd");
  const std::string d = dir.path() + "/";
  Selection s = select({d + "*.vhd", d + "none*.vhd", d + "x.vhd", d + "my file.vhd"});
  ASSERT_TRUE(s.ok);
  EXPECT_EQ(paths(s.sources, d), "[a.vhd][b.vhd][my file.vhd][my file.vhd]");
  EXPECT_EQ(s.console, "\n\n" + d + "none*.vhd : FILE NOT FOUND\n");
  EXPECT_EQ(s.out, "");  // no prompt when there are arguments
  // The last argument names one file: its record comes last, in the order given.
  EXPECT_EQ(s.sources.back().path, d + "my file.vhd");
  EXPECT_EQ(s.sources.back().header, "Mon Mar  4 09:05:07 2024   my file.vhd");
}

TEST_F(SelectionTest, ArgumentsThatMatchNothingShowNoPrompt) {
  TempDir dir;
  const std::string d = dir.path() + "/";
  Selection s = select({d + "a.vhd", d + "missing/b.vhd"});
  ASSERT_TRUE(s.ok);
  EXPECT_TRUE(s.sources.empty());
  EXPECT_EQ(s.out, "");
  EXPECT_EQ(s.console, "\n\n" + d + "a.vhd : FILE NOT FOUND\n\n\n" + d +
                           "missing/b.vhd : FILE NOT FOUND\n");
}

TEST_F(SelectionTest, RelativeNamesGiveRelativePaths) {
  TempDir dir;
  dir.file("a.vhd");
  fs::create_directory(dir.path() + "/lib");
  dir.file("lib/mem.vhd");
  InDirectory inside(dir.path());
  Selection s = select({"*.vhd", "lib/*", "./a.vhd", "lib"});
  ASSERT_TRUE(s.ok);
  // 'lib' is a directory: nothing added and nothing said.
  EXPECT_EQ(paths(s.sources), "[./a.vhd][a.vhd][lib/mem.vhd]");
  EXPECT_EQ(s.console, "");
  EXPECT_EQ(s.sources[1].header, "Mon Mar  4 09:05:07 2024   mem.vhd");
}

TEST_F(SelectionTest, PromptModeReadsNamesFromTheTypedLine) {
  TempDir dir;
  dir.file("a.vhd");
  dir.file("my file.vhd", march4th + 86400 * 3);
  const std::string d = dir.path() + "/";
  Selection s = select({}, "  \"" + d + "my file.vhd\" " + d + "a.vhd  " + d + "none.vhd\nrest\n");
  ASSERT_TRUE(s.ok);
  EXPECT_EQ(s.out, promptText);
  ASSERT_EQ(s.sources.size(), 2u);
  EXPECT_EQ(s.sources[0].path + "|" + s.sources[0].header,
            d + "my file.vhd|Thu Mar  7 09:05:07 2024   my file.vhd");
  EXPECT_EQ(s.sources[1].path, d + "a.vhd");
  EXPECT_EQ(s.console, "\n\n" + d + "none.vhd : FILE NOT FOUND\n");
}

TEST_F(SelectionTest, PromptModeEdgeLines) {
  TempDir dir;
  dir.file("a.vhd");
  dir.file("b.vhd");
  const std::string d = dir.path() + "/";
  const std::string padded1022 = d + "a.vhd" + std::string(1022 - d.size() - 5, ' ');
  struct Case {
    std::string typed;
    std::string selected;
    std::string console;
  };
  const Case cases[] = {
      {d + "a.vhd \"\" " + d + "b.vhd\n", "[a.vhd]", ""},  // empty quotes end the selection
      {d + "a.vhd\t" + d + "b.vhd\n", "",
       "\n\n" + d + "a.vhd\t" + d + "b.vhd : FILE NOT FOUND\n"},
      {padded1022 + "\n", "[a.vhd]", ""},
      {padded1022 + " \n", "", ""},  // 1023 bytes: nothing, silently
      {"", "", ""},
      {d + "*.vhd", "[a.vhd][b.vhd]", ""},  // no final line end
  };
  for (const Case& c : cases) {
    Selection s = select({}, c.typed);
    EXPECT_TRUE(s.ok);
    EXPECT_EQ(s.out, promptText);
    EXPECT_EQ(paths(s.sources, d), c.selected) << "typed: " << c.typed;
    EXPECT_EQ(s.console, c.console) << "typed: " << c.typed;
  }
}

TEST_F(SelectionTest, LongNamesAreKeptWhole) {
  TempDir dir;
  const std::string name = std::string(250, 'n') + ".vhd";  // path well past 259 bytes
  dir.file(name);
  fs::create_directory(dir.path() + "/" + std::string(200, 'd'));
  dir.file(std::string(200, 'd') + "/" + name);
  const std::string d = dir.path() + "/";
  Selection s = select({d + "*.vhd", d + std::string(200, 'd') + "/n*"});
  ASSERT_TRUE(s.ok);
  EXPECT_EQ(paths(s.sources, d), "[" + std::string(200, 'd') + "/" + name + "][" + name + "]");
  EXPECT_EQ(s.sources[0].header, "Mon Mar  4 09:05:07 2024   " + name);
}

TEST_F(SelectionTest, CapacityStartsAt100AndDoubles) {
  TempDir dir;
  char name[16];
  for (int i = 0; i <= 400; ++i) {
    std::snprintf(name, sizeof name, "f%03d", i);
    dir.file(name);
  }
  const std::string d = dir.path() + "/";
  struct Case {
    std::vector<std::string> args;
    size_t count;
    size_t capacity;
  };
  const Case cases[] = {
      {{d + "f0*"}, 100, 100},
      {{d + "f0*", d + "f100"}, 101, 200},
      {{d + "f0*", d + "f1*"}, 200, 200},
      {{d + "f0*", d + "f1*", d + "f200"}, 201, 400},
      {{d + "f*"}, 401, 800},
  };
  for (const Case& c : cases) {
    Selection s = select(c.args);
    EXPECT_EQ(s.sources.size(), c.count);
    EXPECT_EQ(s.sources.capacity(), c.capacity) << c.count << " records";
  }
}

TEST(SourceSort, ComparesPathsAsUnsignedBytes) {
  struct Case {
    const char* a;
    const char* b;
    int sign;
  };
  const Case cases[] = {
      {"src/cpu.vhd", "src2.vhd", -1},  // '/' is 0x2F, '2' is 0x32
      {"a.vhd", "a.vhd", 0},
      {"a", "a.vhd", -1},  // a prefix sorts first
      {"B.vhd", "a.vhd", -1},
      {"z.vhd", "\xe9.vhd", -1},  // bytes from 0x80 on sort after ASCII
      {"\xff", "\x80", 1},
  };
  for (const Case& c : cases) {
    int got = compareSources({c.a, ""}, {c.b, ""});
    int back = compareSources({c.b, ""}, {c.a, ""});
    EXPECT_EQ((got > 0) - (got < 0), c.sign) << c.a << " vs " << c.b;
    EXPECT_EQ((back > 0) - (back < 0), -c.sign) << c.b << " vs " << c.a;
  }
}

TEST(SourceSort, OrdersRecordsByPath) {
  std::vector<Source> sources = {{"src2.vhd", ""}, {"\xe9t\xe9.vhd", ""}, {"src/cpu.vhd", ""},
                                 {"a.vhd", ""},    {"B.vhd", ""},         {"a.vhd", ""}};
  EXPECT_EQ(paths(sources), "[B.vhd][a.vhd][a.vhd][src/cpu.vhd][src2.vhd][\xe9t\xe9.vhd]");
  std::vector<Source> none;
  sortSources(none);
  EXPECT_TRUE(none.empty());
}

}  // namespace
}  // namespace mervik::driver
