#include "support/temp_dir.hpp"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>

#include <gtest/gtest.h>

namespace fs = std::filesystem;

namespace mervik::test {

TempDir::TempDir() {
  std::string pattern = (fs::temp_directory_path() / "mervik-test-XXXXXX").string();
  if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempDir::~TempDir() {
  if (::testing::Test::HasFailure()) {
    std::cerr << "test files left in " << path_ << "\n";
    return;
  }
  std::error_code ec;
  // Tests may leave read-only directories behind; make them writable so they can go.
  for (auto it = fs::recursive_directory_iterator(path_, ec); !ec && it != fs::end(it);
       it.increment(ec))
    fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
  fs::remove_all(path_, ec);
}

void TempDir::write(const std::string& relative, const std::string& bytes) const {
  const fs::path target = fs::path(path_) / relative;
  fs::create_directories(target.parent_path());
  std::ofstream(target, std::ios::binary) << bytes;
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

bool fileExists(const std::string& path) {
  std::error_code ec;
  return fs::exists(path, ec);  // follows links, as stat does
}

}  // namespace mervik::test
