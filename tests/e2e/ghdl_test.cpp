// End-to-end: a real VHDL file from Debian's ghdl-common, its statistics and cross-reference
// checked by hand once and pinned. MERVIK_UPDATE_GOLDEN=1 rewrites the pinned text.

#include <cstdlib>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "support/workspace.hpp"

namespace mervik::test {
namespace {

constexpr const char* ghdlSource = "/usr/lib/ghdl/src/std/env-body.vhdl";
const std::string golden = std::string(MERVIK_SOURCE_DIR) + "/tests/e2e/data/env-body.xref";

TEST(Ghdl, EnvBodyStatisticsAndCrossReferenceArePinned) {
  if (!fileExists(ghdlSource)) GTEST_SKIP() << ghdlSource << " missing: install ghdl-common";
  Workspace f;
  f.source("env-body.vhdl", readFile(ghdlSource));
  const RunResult r = f.run({"env-body.vhdl"});
  ASSERT_EQ(r.status, 0) << r.console;
  EXPECT_NE(r.console.find("\n    29 different symbol names\n   114 symbol occurrences"),
            std::string::npos)
      << r.console;
  const std::string listing = f.pdf().listing();
  const size_t statistics = listing.find("TEXT STATISTICS\n");
  ASSERT_NE(statistics, std::string::npos);
  // Only what mervik made of the file is pinned, not the file's own text.
  const std::string made = listing.substr(statistics);
  if (std::getenv("MERVIK_UPDATE_GOLDEN")) std::ofstream(golden, std::ios::binary) << made;
  EXPECT_EQ(made, readFile(golden));
}

}  // namespace
}  // namespace mervik::test
