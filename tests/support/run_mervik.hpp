#pragma once
// Running the real mervik binary in a temporary directory, as end-to-end tests do.

#include <string>
#include <vector>

namespace mervik::test {

/// A fresh directory under the system's temporary directory. It is removed when the test
/// passed and left behind (its path printed) when the test failed.
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

struct RunOptions {
  std::string cwd;               // working directory of the run (default: the program's dir)
  std::string programDir;        // where the binary is linked and the resource file lives
  std::string resource;          // content of <programDir>/mervik.rsc; none when unset
  bool withResource = false;
  std::string stdinText;         // fed on standard input; closed input when stdinIsNull
  bool stdinIsNull = true;
};

struct RunResult {
  int status = -1;         // exit status, or -1 when killed / did not end in time
  std::string console;     // what went to standard error (no terminal: the console)
  std::string out;         // standard output
  std::string opened;      // the argument the fake viewer received ("" when not called)
};

/// Runs mervik with `args` in a new session (no controlling terminal, so the key wait returns
/// at once), with a fake xdg-open first in PATH that records its argument.
RunResult runMervik(const std::vector<std::string>& args, const RunOptions& options);

}  // namespace mervik::test
