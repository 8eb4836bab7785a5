#include "platform/viewer.hpp"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <string>

#include "support/run_mervik.hpp"

namespace mervik::platform {
namespace {

// True when this process has no child left, running or finished and unreaped.
bool noChildLeft() { return waitpid(-1, nullptr, WNOHANG) < 0 && errno == ECHILD; }

// The fake viewer records its argument count, first argument and standard input, then stays
// open like a real viewer; openDocument must not wait for it. Without a viewer nothing happens.
TEST(OpenDocument, PassesThePathAsOneArgumentThatNoShellSeesAndIgnoresAMissingViewer) {
  test::TempDir dir;
  const std::string d = dir.path(), record = dir / "bin/xdg-open.rec";
  dir.write("bin/xdg-open",
            "#!/bin/sh\nprintf '%s|%s|%s\\n' $# \"$1\" $(readlink /proc/$$/fd/0) >\"$0.t\"\n"
            "mv \"$0.t\" \"$0.rec\"\nsleep 3\n");
  std::filesystem::permissions(dir / "bin/xdg-open", std::filesystem::perms::owner_all);
  const std::string path = d + "/my listing \"q\" 'x' $(touch " + d + "/pwned) `touch " + d +
                           "/pwned2`; touch " + d + "/pwned3 & .pdf";
  setenv("PATH", (d + "/bin:/usr/bin:/bin").c_str(), 1);
  const auto start = std::chrono::steady_clock::now();
  openDocument(path);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
  EXPECT_TRUE(noChildLeft());  // the viewer is not our child: no zombie, no wait
  for (int i = 0; i < 500 && !test::fileExists(record); ++i) usleep(20000);
  EXPECT_EQ(test::readFile(record), "1|" + path + "|/dev/null\n");
  for (const char* trap : {"pwned", "pwned2", "pwned3"}) EXPECT_FALSE(test::fileExists(dir / trap));
  setenv("PATH", d.c_str(), 1);
  openDocument(dir / "listing.pdf");
  EXPECT_TRUE(noChildLeft());
}

}  // namespace
}  // namespace mervik::platform
