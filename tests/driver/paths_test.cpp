#include "driver/paths.hpp"

#include <gtest/gtest.h>

#include <string>
#include <tuple>

namespace mervik::driver {
namespace {

TEST(PathSplit, SplitsAtTheLastSlashAndTheLastDotOfTheName) {
  const std::string longDirectory = std::string(400, 'd') + "/", longName(300, 'n');
  const std::tuple<std::string, std::string, std::string> cases[] = {
      {"C:/tools/prog.exe", "C:/tools/", "prog"},
      {"src/cpu.vhd", "src/", "cpu"},
      {"src/cpu.tb.vhd", "src/", "cpu.tb"},
      {"prog", "", "prog"},
      {"my.dir/prog", "my.dir/", "prog"},  // a dot in the directory does not count
      {"dir/.hidden", "dir/", ""},
      {"", "", ""},
      {"C:\\tools\\prog.exe", "", "C:\\tools\\prog"},                // only '/' separates here
      {longDirectory + longName + ".vhd", longDirectory, longName},  // long paths are not cut
  };
  for (const auto& [path, directory, baseName] : cases) {
    std::string both[2] = {"old", "old"}, alone[2] = {"old", "old"};
    pathSplit(path, &both[0], &both[1]);  // either output may be left out
    pathSplit(path, &alone[0], nullptr);
    pathSplit(path, nullptr, &alone[1]);
    pathSplit(path, nullptr, nullptr);
    EXPECT_EQ(both[0] + "|" + both[1] + "|" + alone[0] + "|" + alone[1],
              directory + "|" + baseName + "|" + directory + "|" + baseName)
        << "path: " << path.substr(0, 40);
  }
}

}  // namespace
}  // namespace mervik::driver
