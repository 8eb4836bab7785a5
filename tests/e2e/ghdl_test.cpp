// End-to-end: a ghdl-common file's reports, checked by hand once and pinned (rewritten when
// MERVIK_UPDATE_GOLDEN is set).

#include <cstdlib>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "support/workspace.hpp"

namespace mervik::test {

TEST(Ghdl, EnvBodyStatisticsAndCrossReferenceArePinned) {
  const std::string source = "/usr/lib/ghdl/src/std/env-body.vhdl";
  const std::string golden = std::string(MERVIK_SOURCE_DIR) + "/tests/e2e/data/env-body.xref";
  if (!fileExists(source)) GTEST_SKIP() << source << " missing: install ghdl-common";
  Workspace f;
  f.source("env-body.vhdl", readFile(source));
  ASSERT_EQ(f.run({"env-body.vhdl"}).status, 0);
  const std::string listing = f.pdf().listing();
  const size_t statistics = listing.find("TEXT STATISTICS\n");  // the file's own text is not pinned
  const std::string made = statistics == std::string::npos ? listing : listing.substr(statistics);
  if (std::getenv("MERVIK_UPDATE_GOLDEN")) std::ofstream(golden, std::ios::binary) << made;
  EXPECT_EQ(made, readFile(golden));
}

}  // namespace mervik::test
