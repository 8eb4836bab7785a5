// End-to-end: the options, where the resource file is found, and which files a run lists.

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <tuple>
#include <string>

#include <gtest/gtest.h>

#include "support/workspace.hpp"

namespace mervik::test {

// The status, standard output's and the console's first two lines, and what was opened.
std::string answered(const RunResult& r) {
  const auto head = [](const std::string& s) {
    return s.substr(0, s.find('\n', s.find('\n') + 1) + 1);
  };
  return std::to_string(r.status) + "|" + head(r.out) + "|" + head(r.console) + "|" + r.opened;
}

TEST(CommandLine, OptionsOutputViewerAndWhereTheResourceFileIsFound) {
  Workspace f;
  f.source("-odd.vhd", "entity odd is end;\n");
  const std::string help = "Usage: mervik [OPTION]... [FILE]...\nPrint VHDL source files into one "
                           "PDF listing; with no FILE, ask for the names.\n||";
  const std::string usage = "\nTry 'mervik --help' for more information.\n|";
  const std::pair<std::vector<std::string>, std::string> cases[] = {  // the version: its start
      {{"--help"}, "0|" + help},
      {{"--no-open", "-h", "--bogus"}, "0|" + help},
      {{"--version"}, "0|mervik 1.0\nlibharu 2."},
      {{"--bogus", "--help"}, "2||mervik: unrecognized option '--bogus'" + usage},
      {{"--output-file", "x"}, "2||mervik: unrecognized option '--output-file'" + usage},
      {{"a.vhd", "-bx"}, "2||mervik: invalid option -- 'x'" + usage},
      {{"-r"}, "2||mervik: option requires an argument -- 'r'" + usage},
      {{"a.vhd", "--files-from"}, "2||mervik: option '--files-from' requires an argument" + usage},
      {{"--batch=1"}, "2||mervik: option '--batch' doesn't allow an argument" + usage},
      {{"--output=", "a.vhd"}, "2||mervik: option '--output' needs a file name" + usage},
      {{"--no-open", "-b"}, "2||mervik: no file named: --batch does not ask for names" + usage},
  };
  for (const auto& [args, expected] : cases)
    EXPECT_EQ(answered(f.run(args)).substr(0, expected.size()), expected);
  // After "--" every word is a name; a name that selects nothing makes the status 1.
  const RunResult odd = f.run({"--", "-odd.vhd", "--no-open"});
  EXPECT_NE(odd.console.find("\n\n--no-open : FILE NOT FOUND\n   --no-open: No such file"),
            std::string::npos);
  EXPECT_EQ(std::to_string(odd.status) + odd.opened + f.pdf().outlines.at(0).title,
            "1listing.pdf-odd.vhd");
  // Options without names: the prompt reads one typed line from standard input, or nothing.
  f.source("a.vhd", "entity a is end;\n");
  f.source("my file.vhd");
  const RunResult typed = f.run({"--no-open", "-o", "x.pdf"}, " -odd.vhd \"my file.vhd\" no.vhd\n");
  EXPECT_NE(typed.out.find("\nFiles to process ?\n"), std::string::npos);
  EXPECT_NE(typed.console.find("\n\nno.vhd : FILE NOT FOUND\n"), std::string::npos);
  EXPECT_EQ(answered(typed).substr(0, 2) + typed.opened + fileTitles(f.pdf("x.pdf")),
            "1|[-odd.vhd][my file.vhd]");
  const RunResult closed = f.run({});
  EXPECT_EQ(std::to_string(closed.status) + closed.opened + "|" + closed.console,
            "0|- MERVIK v1.0 -\n\nNo resource file\n   SYMBOL TABLE (default)"
            "\n\nPress a key to quit ");
  f.source("out/.keep", "");
  const RunResult r = f.run({"--no-open", "-o", "out/x.pdf", "a.vhd"});
  EXPECT_NE(r.console.find("\n\nListing file: out/x.pdf\n\nPress a key"), std::string::npos);
  EXPECT_EQ(std::to_string(r.status) + r.opened + f.pdf("out/x.pdf").listing().substr(0, 24),
            "0   1 | entity a is end;\n");
  // MERVIK_NO_OPEN: any value but 0 keeps the viewer closed.
  for (const std::string value : {"yes", "0"}) {
    f.environment = {{"MERVIK_NO_OPEN", value}};
    EXPECT_EQ(f.run({"--output=y.pdf", "a.vhd"}).opened, value == "0" ? "y.pdf" : "");
  }
  // A listing that cannot be created fails before any source is read.
  const RunResult no = f.run({"-o", "missing/x.pdf", "a.vhd"});  // as without -o
  EXPECT_EQ(no.console.substr(no.console.find("\n\n")) + std::to_string(no.status) + no.opened,
            "\n\nNo resource file\n   SYMBOL TABLE (default)\n\nCould not save the PDF file\n"
            "   missing/x.pdf: No such file or directory\n\nPress a key to quit 1");

  // The first place that holds a resource file (titled after it) wins; each run takes one away.
  const std::string places[] = {"chosen.rsc", "bin/mervik.rsc", "work/mervik.rsc",
                                "xdg/mervik/mervik.rsc", "home/.config/mervik/mervik.rsc"};
  for (const std::string& place : places) f.dir.write(place, "/TITLE\n" + place + "\n");
  f.environment = {{"XDG_CONFIG_HOME", f.dir / "xdg"}};
  std::string seen;
  const auto run = [&](std::vector<std::string> args) {
    args.push_back("a.vhd");
    const RunResult found = f.run(args);
    seen += std::to_string(found.status) +
            found.console.substr(16, found.console.find("\n   SYMBOL") - 16);
  };
  run({"-r", f.dir / "chosen.rsc"});
  for (int i = 1; i < 4; ++i) {
    run({});
    std::filesystem::remove(f.dir / places[i]);
    if (i == 2) std::filesystem::create_directory(f.dir / places[i]);  // no file: passed over
  }
  run({});  // XDG_CONFIG_HOME is set: ~/.config is not looked at
  f.environment = {{"XDG_CONFIG_HOME", "xdg"}};  // relative: ignored
  run({});
  // Told which file to read, mervik reads that one or none.
  f.dir.write("empty.rsc", "");
  run({"-r", "../empty.rsc"});
  run({"--resource", "../missing.rsc"});
  const std::string from = "\n   from " + f.dir.path(), loading = "0\nLoading resource file";
  const std::string tables = "\n.. tables ";
  EXPECT_EQ(seen, loading + "  :  chosen.rsc" + from + "/chosen.rsc" + tables + loading +
                      "  :  bin/mervik.rsc" + tables + loading +
                      "  :  work/mervik.rsc\n   from ./mervik.rsc" + tables + loading +
                      "  :  xdg/mervik/mervik.rsc" + from + "/xdg/mervik/mervik.rsc" + tables +
                      "0\nNo resource file" + loading + "  :  home/.config/mervik/mervik.rsc" +
                      from + "/home/.config/mervik/mervik.rsc" + tables + loading +
                      "\n   from ../empty.rsc" + tables +
                      "1\nCould not read the resource file ../missing.rsc\n   ../missing.rsc: No "
                      "such file or directory\n\nPress a key to quit ");
}

// A file named twice, or by two paths, is listed once under its first path; headers show the local date. (Patterns: SelectSources.)
TEST(Selection, PatternsAndNamesListEachFileOnceInPathOrderBesideTheFirstNamedSource) {
  Workspace f;
  f.source("lib/mem.vhd");
  f.source("core/cpu.vhd");
  ::setenv("TZ", "UTC", 1);  // the child inherits it; nothing else here shows a date
  std::filesystem::create_symlink("../lib", f.dir / "work/core/lib");
  const RunResult r = f.run({"lib/mem.vhd", "core/cpu.vhd", "lib/*.vhd", "core/lib/mem.vhd"});
  EXPECT_EQ(std::to_string(r.status) + r.opened, "0lib/listing.pdf");
  EXPECT_NE(r.console.find("Total lines: 2\n\nListing file: lib/listing.pdf"), std::string::npos);
  const Pdf pdf = f.pdf("lib/listing.pdf");
  EXPECT_EQ(fileTitles(pdf) + pdf.pages.at(0).runsIn("Helvetica").at(0).text,
            "[cpu.vhd][mem.vhd]Mon Mar  4 09:05:07 2024   cpu.vhd");
  // The first path in sorted order names the file.
  EXPECT_EQ(std::to_string(r.console.find("\n\ncore/lib/mem.vhd\n") != std::string::npos) +
                std::to_string(r.console.find("\n\nlib/mem.vhd\n") != std::string::npos), "10");
}

// The GNU habits of the command line, one run each: status, listing written, viewer, the
// console's end (or where the first mention of a file is), the sections.
TEST(CommandLine, GnuHabitsBatchListsPatternsAndExitStatus) {
  Workspace f;
  f.source("rtl/a.vhd");
  f.source("rtl/b.vhdl");
  f.source("rtl/sub/c.vhd");
  f.source("rtl/x y.vhd");
  f.source("empty.vhd", "");
  f.dir.write("work/list.txt", "rtl/a.vhd\r\n\n\nrtl/s*/*.vhd\n");
  f.dir.write("work/out/.keep", "");
  const auto run = [&f](std::vector<std::string> args, const std::string& pdf,
                        const std::optional<std::string>& input = std::nullopt) {
    const RunResult r = f.run(args, input);
    const bool written = fileExists(f.dir / ("work/" + pdf));
    std::string got = std::to_string(r.status) + "|" + r.opened + "|" +
                      r.console.substr(r.console.rfind("\n\n") + 2) + "|" + r.out.substr(0, 6);
    if (written) got += fileTitles(f.pdf(pdf));
    std::filesystem::remove(f.dir / ("work/" + pdf));
    return got;
  };
  const std::string key = "Press a key to quit ", batchEnd = "Listing file: listing.pdf\n";
  const std::tuple<std::vector<std::string>, std::string, std::string> cases[] = {
      {{"rtl/a.vhd", "-ox.pdf", "--no-open"}, "x.pdf", "0||" + key + "|[a.vhd]"},
      {{"rtl/a.vhd", "--output=out"}, "out/listing.pdf", "0|out/listing.pdf|" + key + "|[a.vhd]"},
      {{"rtl"}, "rtl/listing.pdf",
       "0|rtl/listing.pdf|" + key + "|[a.vhd][b.vhdl][c.vhd][x y.vhd]"},
      {{"rtl/[ab]*", "-b"}, "rtl/listing.pdf", "0||Listing file: rtl/listing.pdf\n|[a.vhd][b.vhdl]"},
      {{"--batch", "rtl/**/*.vhd", "rtl/nix.vhd"}, "rtl/listing.pdf",
       "1||Listing file: rtl/listing.pdf\n|[a.vhd][c.vhd][x y.vhd]"},
      {{"-b", "empty.vhd", "-T", "list.txt"}, "listing.pdf", "0||" + batchEnd + "|[a.vhd][c.vhd]"},
      {{"-b", "-T-", "-o", "s.pdf"}, "s.pdf", "0||Listing file: s.pdf\n|[c.vhd]"},
      {{"-b", "--files-from=none.txt", "-o", "n.pdf"}, "n.pdf",
       "1|||"},  // the console's end: its reason line, then the line ended
      {{"-b", "nothing"}, "listing.pdf", "1|||"},
  };
  for (const auto& [args, pdf, expected] : cases)
    EXPECT_EQ(run(args, pdf, args.back() == "s.pdf" ? std::optional<std::string>("rtl/sub/c.vhd\n")
                                                    : std::nullopt), expected) << args[0];
  // No display: no viewer. `wait off` in the resource file: no key wait, the line ended.
  f.environment = {{"DISPLAY", ""}};
  f.resource("/OPTIONS\nwait off\n");
  EXPECT_EQ(run({"rtl/a.vhd"}, "rtl/listing.pdf"), "0||Listing file: rtl/listing.pdf\n|[a.vhd]");
}

}  // namespace mervik::test
