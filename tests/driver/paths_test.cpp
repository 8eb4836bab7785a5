#include "driver/paths.hpp"

#include <gtest/gtest.h>

namespace mervik::driver {
namespace {

TEST(PathSplit, SplitsAtTheLastSlashAndTheLastDotOfTheName) {
  struct Case {
    const char* path;
    const char* directory;
    const char* baseName;
  };
  const Case cases[] = {
      {"/usr/bin/mervik", "/usr/bin/", "mervik"},
      {"src/cpu.vhd", "src/", "cpu"},
      {"src/cpu.tb.vhd", "src/", "cpu.tb"},
      {"prog", "", "prog"},
      {"prog.exe", "", "prog"},
      {"my.dir/prog", "my.dir/", "prog"},  // a dot in the directory does not count
      {"dir/.hidden", "dir/", ""},
      {"dir/name.", "dir/", "name"},
      {"dir/", "dir/", ""},
      {"/", "/", ""},
      {"", "", ""},
      {"./mervik", "./", "mervik"},
      {"a//b.c", "a//", "b"},
      {"C:\\tools\\prog.exe", "", "C:\\tools\\prog"},  // only '/' separates here
  };
  for (const Case& c : cases) {
    std::string directory = "old";
    std::string baseName = "old";
    pathSplit(c.path, &directory, &baseName);
    EXPECT_EQ(directory + "|" + baseName, std::string(c.directory) + "|" + c.baseName)
        << "path: " << c.path;
  }
}

TEST(PathSplit, LongPathsAreNotCut) {
  std::string directory(400, 'd');
  directory += '/';
  std::string name(300, 'n');
  std::string gotDirectory;
  std::string gotBase;
  pathSplit(directory + name + ".vhd", &gotDirectory, &gotBase);
  EXPECT_EQ(gotDirectory, directory);
  EXPECT_EQ(gotBase, name);
}

TEST(PathSplit, EitherOutputMayBeLeftOut) {
  std::string directory;
  std::string baseName;
  pathSplit("lib/mem.vhd", &directory, nullptr);
  pathSplit("lib/mem.vhd", nullptr, &baseName);
  pathSplit("lib/mem.vhd", nullptr, nullptr);
  EXPECT_EQ(directory + "|" + baseName, "lib/|mem");
}

}  // namespace
}  // namespace mervik::driver
