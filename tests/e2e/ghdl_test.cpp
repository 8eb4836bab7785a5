// End-to-end: a real VHDL file from Debian's ghdl-common; what mervik made of it was checked by
// hand once and is pinned. MERVIK_UPDATE_GOLDEN=1 rewrites the pinned text.

#include <cstdlib>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "support/workspace.hpp"

namespace mervik::test {
namespace {

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

}  // namespace
}  // namespace mervik::test
