#include "driver/paths.hpp"

#include <gtest/gtest.h>

#include <string>

namespace mervik::driver {
namespace {

TEST(PathSplit, SplitsAtTheLastSlashAndTheLastDotOfTheName) {
  const std::string longDirectory = std::string(400, 'd') + "/", longName(300, 'n');
  const std::string cases[][3] = {  // path, directory, base name
      {"C:/tools/prog.exe", "C:/tools/", "prog"}, {"src/cpu.tb.vhd", "src/", "cpu.tb"},
      {"prog", "", "prog"}, {"my.dir/prog", "my.dir/", "prog"}, {"dir/.hidden", "dir/", ""},
      {"", "", ""}, {"C:\\tools\\prog.exe", "", "C:\\tools\\prog"},  // only '/' separates here
      {longDirectory + longName + ".vhd", longDirectory, longName},  // long paths are not cut
  };
  for (const auto& [path, directory, baseName] : cases) {
    std::string got[2] = {"old", "old"};
    pathSplit(path, &got[0], nullptr);  // either output may be left out
    pathSplit(path, nullptr, &got[1]);
    EXPECT_EQ(got[0] + "|" + got[1], directory + "|" + baseName) << path.substr(0, 40);
  }
}

}  // namespace
}  // namespace mervik::driver
