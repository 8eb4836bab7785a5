#pragma once
// One end-to-end run of the real binary in its own temporary directory: sources under work/,
// the program (a link to the built binary, or a copy of mervik.exe) and its resource file
// under bin/.

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "support/pdf_reader.hpp"
#include "support/temp_dir.hpp"

namespace mervik::test {

/// Source files: name, text.
using Sources = std::vector<std::pair<std::string, std::string>>;
/// The bundled examples, then ghdl-common's VHDL sources under flat names (at least 50).
Sources realSources();
/// examples/mervik.rsc, the resource file that is shipped.
std::string shippedResource();

/// The build that a workspace runs: the native binary, or mervik.exe under Wine, started by
/// its path or (windowsByName) by its bare name through cmd and the search path.
enum class Build { native, windows, windowsByName };

struct RunResult {
  int status = -1;      // exit status, or -1 when killed / did not end in time
  std::string console;  // what went to standard error (no terminal: the console)
  std::string out;      // standard output
  std::string opened;   // the argument the fake viewer received ("" when not called)
};

/// Sets, in this process, what mervik.exe runs with under Wine: the tests' prefix, no
/// display, the file where the fake viewer records its argument and the search path for
/// commands (both as Windows sees them, e.g. "Z:/tmp/...").
void setWineEnvironment(const std::string& record, const std::string& searchPath);

class Workspace {
 public:
  explicit Workspace(Build build = Build::native);

  /// The resource file beside the program.
  void resource(const std::string& text);
  /// A source file under work/, last written at 2024-03-04 09:05:07 UTC.
  void source(const std::string& name, const std::string& text = "entity e is end;\n");
  void sources(const Sources& files);
  /// Runs mervik in work/ with `args`, in a new session (no controlling terminal, so the key
  /// wait returns at once), with `input` on standard input (/dev/null without one) and a fake
  /// viewer that records its argument: xdg-open first in PATH, or under Wine the application
  /// that the test prefix associates with .pdf files (tests/e2e/wine_prefix.sh). HOME is home/
  /// and XDG_CONFIG_HOME and MERVIK_NO_OPEN are unset, so no settings of this machine's user
  /// are read; `environment` is set on top.
  RunResult run(const std::vector<std::string>& args,
                const std::optional<std::string>& input = std::nullopt);
  /// Reads work/<name> back; it must also pass qpdf's check.
  Pdf pdf(const std::string& name = "listing.pdf");

  TempDir dir;
  std::vector<std::pair<std::string, std::string>> environment;

 private:
  Build build_;
};

}  // namespace mervik::test
