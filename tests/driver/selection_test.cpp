#include "driver/selection.hpp"

#include <gtest/gtest.h>

#include <utility>

#include "support/recording.hpp"
#include "support/run_mervik.hpp"

namespace mervik::driver {
namespace {

const char* const promptText =
    "\n\nTo enter the names of the files to list:\n- Use spaces as separator.\n"
    "- Surround names with \" if they contain spaces.\n- The wildcard * are allowed.\n"
    "\nFiles to process ?\n";

// A FILE* reading `text`, as the standard input would.
std::FILE* inputOf(const std::string& text) {
  std::FILE* in = std::tmpfile();
  std::fwrite(text.data(), 1, text.size(), in);
  std::rewind(in);
  return in;
}

// The records' paths in their order, each without the leading `strip`: "[a][b]".
std::string paths(const std::vector<Source>& sources, const std::string& strip = "") {
  std::string text;
  for (const Source& s : sources) text += "[" + s.path.substr(strip.size()) + "]";
  return text;
}

// One whole run of the selection, which must succeed: the records, and the prompt and the
// console text joined by '|'.
struct Selection {
  std::vector<Source> sources;
  std::string text;
};

Selection select(std::vector<std::string> args, const std::string& typed = "") {
  std::vector<char*> argv;
  args.insert(args.begin(), "mervik");
  for (std::string& a : args) argv.push_back(a.data());
  std::FILE* in = inputOf(typed);
  std::FILE* out = std::tmpfile();
  test::RecordingConsole console;
  Selection s;
  std::string err;
  EXPECT_TRUE(
      selectSources(static_cast<int>(argv.size()), argv.data(), in, out, console, &s.sources, &err))
      << err;
  std::rewind(out);
  for (int c; (c = std::getc(out)) != EOF;) s.text += static_cast<char>(c);
  s.text += "|" + console.text();
  std::fclose(in);
  std::fclose(out);
  return s;
}

TEST(PromptTokenizer, CutsTheTypedLineIntoNames) {
  const std::pair<std::string, std::string> cases[] = {
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
      {"a.vhd b\"", "[a.vhd]"},
      {"a.vhd\tb.vhd", "[a.vhd\tb.vhd]"},
      {"\xe9t\xe9.vhd \x80\xff", "[\xe9t\xe9.vhd][\x80\xff]"},
      {"a.vhd\r", "[a.vhd\r]"},
  };
  for (const auto& [line, expected] : cases) {
    std::string buffer = line;
    char* cursor = buffer.data();
    std::string names;
    while (const char* name = nextName(&cursor)) names += "[" + std::string(name) + "]";
    EXPECT_EQ(names, expected) << "typed line: " << line;
  }
}

TEST(ReadTypedLine, Takes1022BytesAndThrowsLongerLinesAway) {
  const std::string long1022(1022, 'a'), long1023(1023, 'b');
  // Input, then the first and the second line read: the second proves where reading stopped.
  const std::pair<std::string, std::string> cases[] = {
      {long1022 + "\nnext\n", long1022 + "|next"},
      {long1023 + "\nnext\n", "|next"},
      {long1023 + long1023 + "\nnext", "|next"},
      {long1022, long1022 + "|"},
      {long1023, "|"},
      {"last", "last|"},
      {"crlf\r\n", "crlf\r|"},
      {"", "|"},
  };
  for (const auto& [input, expected] : cases) {
    std::FILE* in = inputOf(input);
    const std::string first = readTypedLine(in);
    EXPECT_EQ(first + "|" + readTypedLine(in), expected) << "input of " << input.size() << " bytes";
    std::fclose(in);
  }
}

TEST(SelectSources, ArgumentModeExpandsEachArgumentWhole) {
  test::TempDir dir;
  const std::string name = std::string(250, 'n') + ".vhd", sub = std::string(200, 'd') + "/";
  for (const char* file : {"b.vhd", "a.vhd", "my file.vhd", "x.vhd/in.txt"}) dir.write(file, "x");
  dir.write(sub + name, "x");
  const std::string d = dir.path() + "/";
  // x.vhd is a directory: by pattern or by name, it is passed over without a word.
  Selection s =
      select({d + "*.vhd", d + "none*.vhd", d + "x.vhd", d + "my file.vhd", d + sub + "n*"});
  EXPECT_EQ(s.text, "|\n\n" + d + "none*.vhd : FILE NOT FOUND\n");  // no prompt with arguments
  // The last argument comes last, in the order given; paths past 259 bytes are kept whole.
  EXPECT_EQ(s.sources.back().path + "|" + s.sources.back().header.substr(24),
            d + sub + name + "|   " + name);
  sortSources(s.sources);
  EXPECT_EQ(paths(s.sources, d), "[a.vhd][b.vhd][" + sub + name + "][my file.vhd][my file.vhd]");

  // Nothing matched: still no prompt.
  EXPECT_EQ(select({d + "missing/b.vhd"}).text, "|\n\n" + d + "missing/b.vhd : FILE NOT FOUND\n");
}

TEST(SelectSources, PromptModeReadsNamesFromTheTypedLine) {
  test::TempDir dir;
  for (const char* name : {"a.vhd", "b.vhd", "my file.vhd", "lib/x"}) dir.write(name, "x");
  const std::string d = dir.path() + "/";
  // A directory passed over silently; empty quotes end the selection; a full 1022-byte line.
  std::string typed = "  \"" + d + "my file.vhd\" " + d + "a.vhd  " + d + "none.vhd " + d +
                      "lib \"\" " + d + "b.vhd";
  typed += std::string(1022 - typed.size(), ' ') + "\nrest\n";
  Selection s = select({}, typed);
  EXPECT_EQ(s.text, promptText + ("|\n\n" + d + "none.vhd : FILE NOT FOUND\n"));
  EXPECT_EQ(paths(s.sources, d), "[my file.vhd][a.vhd]");
}

TEST(SelectSources, CapacityStartsAt100AndDoubles) {
  test::TempDir dir;
  for (int i = 0; i <= 200; ++i) dir.write("f" + std::to_string(1000 + i).substr(1), "");
  const std::string d = dir.path() + "/";
  // Arguments, then the record count and the capacity.
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{d + "f0*"}, "100/100"},
      {{d + "f0*", d + "f100"}, "101/200"},
      {{d + "f*"}, "201/400"},
  };
  for (const auto& [args, expected] : cases) {
    const std::vector<Source> got = select(args).sources;
    EXPECT_EQ(std::to_string(got.size()) + "/" + std::to_string(got.capacity()), expected);
  }
}

TEST(SourceSort, OrdersPathsAsUnsignedBytesWithAPrefixFirst) {
  // In order: '/' (0x2F) before '2' (0x32), a prefix first, bytes from 0x80 on after ASCII.
  const std::vector<std::string> sorted = {
      "B.vhd", "a", "a.vhd", "src/cpu.vhd", "src2.vhd", "z.vhd", "\x80", "\xe9t\xe9.vhd", "\xff"};
  for (size_t i = 0; i < sorted.size(); ++i) {
    for (size_t j = 0; j < sorted.size(); ++j) {
      const int got = compareSources({sorted[i], ""}, {sorted[j], ""});
      EXPECT_EQ((got > 0) - (got < 0), (i > j) - (i < j)) << sorted[i] << " vs " << sorted[j];
    }
  }
}

}  // namespace
}  // namespace mervik::driver
