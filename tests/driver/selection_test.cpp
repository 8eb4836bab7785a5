#include "driver/selection.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

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
std::string select(std::vector<std::string> args, const std::string& d, std::string typed = "",
                   bool dropSame = false) {
  std::vector<NameSource> names;
  for (size_t i = 1; i < args.size(); ++i) {  // args[0] is the program's path
    const bool list = args[i].compare(0, 3, "-T=") == 0;
    names.push_back({list ? NameSource::Kind::fileList : NameSource::Kind::name,
                     list ? args[i].substr(3) : args[i]});
  }
  std::FILE *in = inputOf(typed), *out = std::tmpfile();
  test::RecordingConsole console;
  Selection selection;
  std::string text;
  EXPECT_TRUE(selectSources(names, in, out, console, &selection, &text)) << text;
  std::vector<Source>& sources = selection.sources;
  text = (std::ftell(out) > 0 ? "prompt|" : "|") + console.text() + "|" +
         sources.at(0).path.substr(d.size()) + "|" + sources.back().header.substr(24) + "|";
  std::fclose(in);
  std::fclose(out);
  sortSources(sources);
  if (dropSame) dropSameFiles(sources);
  for (const Source& s : sources) text += "[" + s.path.substr(d.size()) + "]";
  return text + "|" + std::to_string(selection.unmatched) + "|" +
         selection.listingDirectory.substr(std::min(d.size(), selection.listingDirectory.size()));
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
  // A directory named whole without VHDL files (x.vhd) selects nothing and says why; those a
  // pattern matches are passed over without a word. '/' sorts before '2', 0xFF last. Only '/'
  // separates: "a?b" is a pattern in d.
  EXPECT_EQ(select({"mervik", d + "my file.vhd", d + "*", missing, d + "x.vhd", d + "many/*",
                    d + "src/n*", d + "a?b"}, d),
            "|\n\n" + missing + " : FILE NOT FOUND\n   " + d + "src/" + name +
                "/: Not a directory\n\n\n" + d + "x.vhd : FILE NOT FOUND\n   " + d +
                "x.vhd: no .vhd or .vhdl file in it\n|my file.vhd|   a\\b|[B.vhd][a][a.vhd]" +
                "[a\\b][a\\b]" + many + "[my file.vhd][my file.vhd][src/" + name +
                "][src2.vhd][\xff]|2|");
  // The typed line is used whole: B.vhd ends at its 1022nd byte.
  std::string typed = "  \"" + d + "my file.vhd\" " + d + "a.vhd  " + d + "none " + d + "x.vhd";
  typed += std::string(1022 - typed.size() - d.size() - 5, ' ') + d + "B.vhd\nrest\n";
  const std::string prompted = "prompt|\n\n" + d + "none : FILE NOT FOUND\n   " + d +
                               "none: No such file or directory\n\n\n" + d +
                               "x.vhd : FILE NOT FOUND\n   " + d +
                               "x.vhd: no .vhd or .vhdl file in it\n|my file.vhd|   B.vhd|"
                               "[B.vhd][a.vhd][my file.vhd]|2|";
  EXPECT_EQ(select({"mervik"}, d, typed).substr(0, prompted.size()), prompted);
}

// Directories, classes, wildcards in any component and **, file lists; one section a file.
TEST(SelectSources, ShellPatternsDirectoriesListsAndOneRecordPerFile) {
  test::TempDir dir;
  for (const char* file : {"rtl/b.vhd", "rtl/c.vhdl", "rtl/d.vhd", "rtl/x/hdl/e.vhd",
                           "rtl/y/hdl/f.vhd", "rtl/y/deep/er/g.vhd", "rtl/.h/h.vhd",
                           "rtl/.i.vhd", "rtl/[1].vhd", "rtl/x/notes.txt"})
    dir.write(file, "x");
  const std::string d = dir.path() + "/";
  dir.write("list.txt", d + "rtl/b.vhd\r\n\n  \t\n" + d + "rtl/*/hdl/*.vhd\n");
  ASSERT_EQ(::symlink((d + "rtl").c_str(), (d + "rtl/y/loop").c_str()), 0);  // ** skips links
  ASSERT_EQ(::symlink("b.vhd", (d + "rtl/link.vhd").c_str()), 0);
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{d + "rtl/[bc]*"}, "[rtl/b.vhd][rtl/c.vhdl]|0|rtl/"},
      {{d + "rtl/[!b-c]*.vhd"}, "[rtl/[1].vhd][rtl/d.vhd][rtl/link.vhd]|0|rtl/"},
      {{d + "rtl/*/hdl/*.vhd"}, "[rtl/x/hdl/e.vhd][rtl/y/hdl/f.vhd]|0|rtl/"},
      {{d + "rtl/**/*.vhd"}, "[rtl/[1].vhd][rtl/b.vhd][rtl/d.vhd]"
                             "[rtl/x/hdl/e.vhd][rtl/y/deep/er/g.vhd][rtl/y/hdl/f.vhd]|0|rtl/"},
      {{d + "rtl/y/**"}, "[rtl/y/deep/er/g.vhd][rtl/y/hdl/f.vhd]|0|rtl/y/"},
      {{d + "rtl/.*"}, "[rtl/.i.vhd]|0|rtl/"},
      {{d + "rtl/.*/*"}, "[rtl/.h/h.vhd]|0|rtl/"},
      {{d + "rtl/x", d + "rtl/y/"}, "[rtl/x/hdl/e.vhd][rtl/y/deep/er/g.vhd][rtl/y/hdl/f.vhd]|0|"
                                     "rtl/x/"},
      {{d + "rtl/[1].vhd"}, "[rtl/[1].vhd]|0|rtl/"},  // matches nothing as a pattern: itself
      {{d + "rtl/b.vhd", d + "rtl/./b.vhd", d + "rtl/link.vhd", d + "rtl/*.vhd"},
       "[rtl/./b.vhd][rtl/[1].vhd][rtl/d.vhd]|0|rtl/"},  // one record per file, first path
  };
  for (const auto& [names, expected] : cases) {
    std::vector<std::string> args{"mervik"};
    args.insert(args.end(), names.begin(), names.end());
    const std::string got = select(args, d, "", true);
    EXPECT_EQ(got.substr(got.find("|[") + 1), expected) << got;
  }
  const std::string listed = select({"mervik", "-T=" + d + "list.txt", "-T=" + d + "no.txt"}, d);
  EXPECT_EQ(listed.substr(listed.find("|[") + 1),
            "[rtl/b.vhd][rtl/x/hdl/e.vhd][rtl/y/hdl/f.vhd]|1|rtl/") << listed;
}

}  // namespace mervik::driver
