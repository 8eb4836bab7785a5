#include "platform/viewer.hpp"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

namespace mervik::platform {
namespace {

namespace fs = std::filesystem;

// A directory of its own for each test, left behind only when the test fails.
class TempDir {
 public:
  TempDir() {
    std::string pattern = (fs::temp_directory_path() / "mervik-viewer-XXXXXX").string();
    path_ = mkdtemp(pattern.data()) ? pattern : "";
  }
  ~TempDir() {
    std::error_code ignored;
    if (!::testing::Test::HasFailure()) fs::remove_all(path_, ignored);
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// Puts `directory` alone in PATH for the test's duration (the fake viewer lives there).
class PathOnly {
 public:
  explicit PathOnly(const std::string& directory) : previous_(getenv("PATH") ? getenv("PATH") : "") {
    setenv("PATH", (directory + ":/usr/bin:/bin").c_str(), 1);
  }
  ~PathOnly() { setenv("PATH", previous_.c_str(), 1); }

 private:
  std::string previous_;
};

// True when this process has no child left, running or finished and unreaped.
bool noChildLeft() { return waitpid(-1, nullptr, WNOHANG) < 0 && errno == ECHILD; }

TEST(OpenDocument, PassesThePathAsOneArgumentThatNoShellSees) {
  TempDir dir;
  const std::string bin = dir.path() + "/bin";
  const std::string record = dir.path() + "/record";
  fs::create_directory(bin);
  // The fake viewer records its argument count, its first argument and its standard input.
  std::ofstream(bin + "/xdg-open")
      << "#!/bin/sh\n"
      << "{ printf '%s|%s|' \"$#\" \"$1\"; readlink /proc/$$/fd/0; } > '" << record << ".tmp'\n"
      << "mv '" << record << ".tmp' '" << record << "'\n"
      << "sleep 3\n";  // a viewer stays open: openDocument must not wait for it
  fs::permissions(bin + "/xdg-open", fs::perms::owner_all);
  const std::string d = dir.path();
  const std::string path = d + "/my listing \"q\" 'x' $(touch " + d + "/pwned) `touch " + d +
                           "/pwned2`; touch " + d + "/pwned3 & .pdf";
  PathOnly fakeFirst(bin);
  auto start = std::chrono::steady_clock::now();
  openDocument(path);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
  EXPECT_TRUE(noChildLeft());  // the viewer is not our child: no zombie, no wait
  auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!fs::exists(record) && std::chrono::steady_clock::now() < end)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  std::stringstream recorded;
  recorded << std::ifstream(record).rdbuf();
  EXPECT_EQ(recorded.str(), "1|" + path + "|/dev/null\n");
  for (const char* trap : {"/pwned", "/pwned2", "/pwned3"}) EXPECT_FALSE(fs::exists(d + trap));
}

TEST(OpenDocument, AMissingViewerIsIgnored) {
  TempDir dir;
  PathOnly nothingThere(dir.path());
  setenv("PATH", dir.path().c_str(), 1);
  openDocument(dir.path() + "/listing.pdf");
  EXPECT_TRUE(noChildLeft());
}

}  // namespace
}  // namespace mervik::platform
