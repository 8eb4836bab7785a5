#include "driver/selection.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/recording.hpp"
#include "support/temp_dir.hpp"

namespace mervik::driver {

std::FILE* inputOf(const std::string& text) {
  std::FILE* in = std::tmpfile();
  std::fwrite(text.data(), 1, text.size(), in);
  std::rewind(in);
  return in;
}

// The typed line cut into names, "[a][b]", then '|' and the next line: where reading stopped.
TEST(PromptInput, TakesALineOfUpTo1022BytesAndCutsItIntoNames) {
  const std::string long1022(1022, 'a'), long1023(1023, 'b');
  const std::string cases[][2] = {
      {"   a.vhd    b.vhd   ", "[a.vhd][b.vhd]|"}, {"\"my file.vhd\" b", "[my file.vhd][b]|"},
      {"\"a b\"c", "[a b][c]|"}, {"\"a b", "[a b]|"}, {"a \"\" b", "[a]|"}, {"a b\"", "[a]|"},
      {"a\"b\"c d", "[b][c][d]|"}, {"a\tb\r\nnext", "[a\tb\r]|next"}, {"", "|"}, {long1023, "|"},
      {"\xe9t\xe9.vhd \x80\xff", "[\xe9t\xe9.vhd][\x80\xff]|"},
      {long1022 + "\nnext\n", "[" + long1022 + "]|next"}, {long1023 + long1023 + "\nnext", "|next"},
  };
  for (const auto& [input, expected] : cases) {
    std::FILE* in = inputOf(input);
    std::string line = readTypedLine(in), names;
    char* cursor = line.data();
    while (const char* name = nextName(&cursor)) names += "[" + std::string(name) + "]";
    EXPECT_EQ(names + "|" + readTypedLine(in), expected) << input.substr(0, 40);
    std::fclose(in);
  }
}

// "prompt" if shown, console, first path, last header after its date, all paths sorted.
std::string select(std::vector<std::string> args, const std::string& d, std::string typed = "") {
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  std::FILE *in = inputOf(typed), *out = std::tmpfile();
  test::RecordingConsole console;
  std::vector<Source> sources;
  std::string text;
  const int argc = static_cast<int>(argv.size());
  EXPECT_TRUE(selectSources(argc, argv.data(), in, out, console, &sources, &text)) << text;
  text = (std::ftell(out) > 0 ? "prompt|" : "|") + console.text() + "|" +
         sources.at(0).path.substr(d.size()) + "|" + sources.back().header.substr(24) + "|";
  std::fclose(in);
  std::fclose(out);
  sortSources(sources);
  for (const Source& s : sources) text += "[" + s.path.substr(d.size()) + "]";
  return text;
}

TEST(SelectSources, ExpandsArgumentsOrTheTypedLineWholeAndSortsByUnsignedBytes) {
  test::TempDir dir;
  const std::string name = std::string(250, 'n') + ".vhd";  // its path is past 259 bytes
  for (const std::string& file : std::vector<std::string>{
           "a", "a.vhd", "a\\b", "B.vhd", "my file.vhd", "src2.vhd", "\xff", "x.vhd/in",
           "src/" + name})
    dir.write(file, "x");
  std::string many;  // the record list grows from 100 by doubling: none may be lost or moved
  for (int i = 1000; i < 1250; ++i) dir.write("many/" + std::to_string(i), "x");
  for (int i = 1000; i < 1250; ++i) many += "[many/" + std::to_string(i) + "]";
  const std::string d = dir.path() + "/", missing = d + "src/" + name + "/*";
  // Directories (x.vhd, src) are passed over without a word; '/' sorts before '2', 0xFF last.
  // Only '/' separates: "a\\*" is a pattern in d.
  EXPECT_EQ(select({"mervik", d + "my file.vhd", d + "*", missing, d + "x.vhd", d + "many/*",
                    d + "src/n*", d + "a\\*"}, d),
            "|\n\n" + missing + " : FILE NOT FOUND\n|my file.vhd|   a\\b|[B.vhd][a][a.vhd]" +
                "[a\\b][a\\b]" + many + "[my file.vhd][my file.vhd][src/" + name +
                "][src2.vhd][\xff]");
  // The typed line is used whole: B.vhd ends at its 1022nd byte.
  std::string typed = "  \"" + d + "my file.vhd\" " + d + "a.vhd  " + d + "none " + d + "x.vhd";
  typed += std::string(1022 - typed.size() - d.size() - 5, ' ') + d + "B.vhd\nrest\n";
  EXPECT_EQ(select({"mervik"}, d, typed),
            "prompt|\n\n" + d + "none : FILE NOT FOUND\n|my file.vhd|   B.vhd|"
            "[B.vhd][a.vhd][my file.vhd]");
}

}  // namespace mervik::driver
