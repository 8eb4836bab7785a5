// End-to-end: the options, and where the resource file is found.

#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "support/workspace.hpp"

namespace mervik::test {
namespace {

const std::string usage = "Usage: mervik [OPTION]... [FILE]...\n";

TEST(CommandLine, HelpVersionAndMistakesAnswerOnTheStandardStreamsWithoutARun) {
  Workspace f;
  f.source("-odd.vhd", "entity odd is end;\n");
  // Exit status, standard output's first line, the console (standard error here), what opened.
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{"--help"}, "0|" + usage + "||"},
      {{"--no-open", "-h", "x.vhd"}, "0|" + usage + "||"},
      {{"--bogus", "a.vhd"}, "2||mervik: unknown option '--bogus'\n" + usage + "|"},
      {{"-o"}, "2||mervik: option '-o' needs a file name\n" + usage + "|"},
  };
  for (const auto& [args, expected] : cases) {
    const RunResult r = f.run(args);
    EXPECT_EQ(std::to_string(r.status) + "|" + r.out.substr(0, r.out.find('\n') + 1) + "|" +
                  r.console.substr(0, r.console.find('\n', r.console.find('\n') + 1) + 1) + "|" +
                  r.opened,
              expected);
  }
  const RunResult version = f.run({"--version"});
  EXPECT_EQ(version.out.substr(0, 19), "mervik 1.0\nlibharu ");
  // After "--", and after the first name, every word is a name.
  const RunResult odd = f.run({"--", "-odd.vhd", "--no-open"});
  EXPECT_NE(odd.console.find("\n\n--no-open : FILE NOT FOUND\n"), std::string::npos);
  EXPECT_EQ(std::to_string(odd.status) + odd.opened + f.pdf().outlines.at(0).title,
            "0listing.pdf-odd.vhd");
  // Options without names: the prompt, as without options.
  const RunResult prompted = f.run({"--no-open", "-o", "x.pdf"}, "-odd.vhd\n");
  EXPECT_EQ(std::to_string(prompted.status) + prompted.opened + f.pdf("x.pdf").outlines.at(0).title,
            "0-odd.vhd");
}

TEST(CommandLine, OutputAndNoOpen) {
  Workspace f;
  f.source("a.vhd", "entity a is end;\n");
  f.source("out/.keep", "");
  const RunResult r = f.run({"--no-open", "-o", "out/x.pdf", "a.vhd"});
  EXPECT_NE(r.console.find("\n\nListing file: out/x.pdf\n\nPress a key"), std::string::npos);
  EXPECT_EQ(std::to_string(r.status) + r.opened + f.pdf("out/x.pdf").listing().substr(0, 24),
            "0   1 | entity a is end;\n");
  // MERVIK_NO_OPEN for scripts: any value but 0 and empty keeps the viewer closed.
  for (const char* value : {"yes", "0"}) {
    f.environment = {{"MERVIK_NO_OPEN", value}};
    EXPECT_EQ(f.run({"--output=y.pdf", "a.vhd"}).opened, value == std::string("0") ? "y.pdf" : "");
  }
  // Where nothing can be written, as without -o.
  for (const char* path : {"missing/x.pdf", "/proc/mervik.pdf"}) {
    const RunResult failed = f.run({"-o", path, "a.vhd"});
    EXPECT_EQ(std::to_string(failed.status) + failed.opened, "1");
    EXPECT_NE(failed.console.find("\n\nCould not save the PDF file\n\nPress a key to quit "),
              std::string::npos) << failed.console;
  }
}

// Every place holds a file titled after it; each run takes one away. The console up to the
// tables shows which one was read.
TEST(CommandLine, TheFirstPlaceThatHoldsAResourceFileWins) {
  Workspace f;
  f.source("a.vhd");
  const std::string places[] = {"chosen.rsc", "bin/mervik.rsc", "work/mervik.rsc",
                                "xdg/mervik/mervik.rsc", "home/.config/mervik/mervik.rsc"};
  for (const std::string& place : places) f.dir.write(place, "/TITLE\n" + place + "\n");
  f.environment = {{"XDG_CONFIG_HOME", f.dir / "xdg"}};
  std::string seen;
  const auto run = [&](std::vector<std::string> args) {
    args.push_back("a.vhd");
    const RunResult r = f.run(args);
    seen += std::to_string(r.status) + r.console.substr(16, r.console.find("\n   SYMBOL") - 16);
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
  const std::string from = "\n   from " + f.dir.path(), tables = "\n.. tables ";
  EXPECT_EQ(seen, "0\nLoading resource file  :  chosen.rsc" + from + "/chosen.rsc" + tables +
                      "0\nLoading resource file  :  bin/mervik.rsc" + tables +
                      "0\nLoading resource file  :  work/mervik.rsc\n   from ./mervik.rsc" + tables +
                      "0\nLoading resource file  :  xdg/mervik/mervik.rsc" + from +
                      "/xdg/mervik/mervik.rsc" + tables + "0\nNo resource file" +
                      "0\nLoading resource file  :  home/.config/mervik/mervik.rsc" + from +
                      "/home/.config/mervik/mervik.rsc" + tables);
  // Told which file to read, mervik reads that one or none: not the defaults, not another.
  f.dir.write("empty.rsc", "");
  run({"-r", "../empty.rsc"});
  run({"--resource", "../missing.rsc"});
  EXPECT_EQ(seen.substr(seen.find("0\nLoading resource file\n   from ../empty")),
            "0\nLoading resource file\n   from ../empty.rsc" + tables +
                "1\nCould not read the resource file ../missing.rsc\n\nPress a key to quit ");
}

}  // namespace
}  // namespace mervik::test
