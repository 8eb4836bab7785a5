#pragma once
// Temporary directories and whole files, for tests that work on real files.

#include <string>

namespace mervik::test {

/// A fresh temporary directory, removed when the test passed, left (and named) when it failed.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  /// path() + "/" + relative.
  std::string operator/(const std::string& relative) const { return path_ + "/" + relative; }
  /// Writes a file (creating its directories) with exactly `bytes`.
  void write(const std::string& relative, const std::string& bytes) const;

 private:
  std::string path_;
};

/// Reads a whole file; empty when it cannot be read.
std::string readFile(const std::string& path);
bool fileExists(const std::string& path);

}  // namespace mervik::test
