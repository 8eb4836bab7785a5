#include "driver/selection.hpp"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "support/recording.hpp"
#include "support/run_mervik.hpp"

namespace mervik::driver {
namespace {

std::FILE* inputOf(const std::string& text) {
  std::FILE* in = std::tmpfile();
  std::fwrite(text.data(), 1, text.size(), in);
  std::rewind(in);
  return in;
}

// The records' paths in their order, each without the leading `strip`: "[a][b]".
std::string paths(const std::vector<Source>& sources, const std::string& strip) {
  std::string text;
  for (const Source& s : sources) text += "[" + s.path.substr(strip.size()) + "]";
  return text;
}

// A selection that must succeed: the records; "prompt" if it was shown, '|', the console text.
std::pair<std::vector<Source>, std::string> select(std::vector<std::string> args,
                                                   const std::string& typed = "") {
  std::vector<char*> argv;
  args.insert(args.begin(), "mervik");
  for (std::string& a : args) argv.push_back(a.data());
  std::FILE *in = inputOf(typed), *out = std::tmpfile();
  test::RecordingConsole console;
  std::vector<Source> sources;
  std::string err;
  const int argc = static_cast<int>(argv.size());
  EXPECT_TRUE(selectSources(argc, argv.data(), in, out, console, &sources, &err)) << err;
  const bool prompted = std::ftell(out) > 0;
  std::fclose(in);
  std::fclose(out);
  return {std::move(sources), (prompted ? "prompt|" : "|") + console.text()};
}

TEST(PromptTokenizer, CutsTheTypedLineIntoNames) {
  const std::pair<std::string, std::string> cases[] = {
      {"   a.vhd    b.vhd   ", "[a.vhd][b.vhd]"}, {"\"my file.vhd\" b", "[my file.vhd][b]"},
      {"ab\"c d\"", "[c d]"}, {"\"a b\"c", "[a b][c]"}, {"\"a b", "[a b]"}, {"a \"\" b", "[a]"},
      {"a\"b\"c d", "[b][c][d]"}, {"a b\"", "[a]"}, {"a\tb", "[a\tb]"}, {"a\r", "[a\r]"},
      {"\xe9t\xe9.vhd \x80\xff", "[\xe9t\xe9.vhd][\x80\xff]"},
  };
  for (const auto& [line, expected] : cases) {
    std::string buffer = line, names;
    char* cursor = buffer.data();
    while (const char* name = nextName(&cursor)) names += "[" + std::string(name) + "]";
    EXPECT_EQ(names, expected) << "typed line: " << line;
  }
}

TEST(ReadTypedLine, Takes1022BytesAndThrowsLongerLinesAway) {
  const std::string long1022(1022, 'a'), long1023(1023, 'b');
  // Input, then the first and the second line read: the second proves where reading stopped.
  const std::pair<std::string, std::string> cases[] = {
      {long1022 + "\nnext\n", long1022 + "|next"}, {long1023 + "\nnext\n", "|next"},
      {long1023 + long1023 + "\nnext", "|next"},   {long1022, long1022 + "|"},
      {long1023, "|"}, {"last", "last|"}, {"crlf\r\n", "crlf\r|"}, {"", "|"},
  };
  for (const auto& [input, expected] : cases) {
    std::FILE* in = inputOf(input);
    const std::string first = readTypedLine(in);
    EXPECT_EQ(first + "|" + readTypedLine(in), expected) << "input of " << input.size() << " bytes";
    std::fclose(in);
  }
}

TEST(SelectSources, ExpandsArgumentsOrTheTypedLineWholeAndSortsByUnsignedBytes) {
  test::TempDir dir;
  const std::string name = std::string(250, 'n') + ".vhd";
  for (const char* file : {"a", "a.vhd", "B.vhd", "my file.vhd", "src2.vhd", "\xff", "x.vhd/in"})
    dir.write(file, "x");
  dir.write("src/" + name, "x");
  const std::string d = dir.path() + "/", missing = d + "src/" + name + "/*";
  // x.vhd and src are directories: by pattern or by name, they are passed over without a word.
  auto [sources, text] = select({d + "*", missing, d + "x.vhd", d + "my file.vhd", d + "src/n*"});
  EXPECT_EQ(text, "|\n\n" + missing + " : FILE NOT FOUND\n");  // no prompt; the name whole
  // The last argument comes last; paths past 259 bytes and their headers are kept whole.
  EXPECT_EQ(sources.back().path + "|" + sources.back().header.substr(24),
            d + "src/" + name + "|   " + name);
  sortSources(sources);  // '/' (0x2F) before '2' (0x32), a prefix first, 0x80-0xFF after ASCII
  EXPECT_EQ(paths(sources, d), "[B.vhd][a][a.vhd][my file.vhd][my file.vhd][src/" + name +
                                   "][src2.vhd][\xff]");
  // The typed line is used whole: B.vhd ends at its 1022nd byte.
  std::string typed = "  \"" + d + "my file.vhd\" " + d + "a.vhd  " + d + "none " + d + "x.vhd";
  typed += std::string(1022 - typed.size() - d.size() - 5, ' ') + d + "B.vhd\nrest\n";
  const auto [typedSources, typedText] = select({}, typed);
  EXPECT_EQ(typedText, "prompt|\n\n" + d + "none : FILE NOT FOUND\n");
  EXPECT_EQ(paths(typedSources, d), "[my file.vhd][a.vhd][B.vhd]");
}

TEST(SelectSources, CapacityStartsAt100AndDoubles) {
  test::TempDir dir;
  for (int i = 0; i <= 200; ++i) dir.write("f" + std::to_string(1000 + i).substr(1), "");
  const std::string d = dir.path() + "/";
  const std::pair<std::vector<std::string>, std::string> cases[] = {  // record count/capacity
      {{d + "f0*"}, "100/100"}, {{d + "f0*", d + "f100"}, "101/200"}, {{d + "f*"}, "201/400"},
  };
  for (const auto& [args, expected] : cases) {
    const std::vector<Source> got = select(args).first;
    EXPECT_EQ(std::to_string(got.size()) + "/" + std::to_string(got.capacity()), expected);
  }
}

}  // namespace
}  // namespace mervik::driver
