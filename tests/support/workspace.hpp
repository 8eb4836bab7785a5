#pragma once
// End-to-end runs of the real binary (or mervik.exe under Wine) in a temporary directory.

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

/// The native binary, or mervik.exe under Wine started by its path or by its bare name via cmd.
enum class Build { native, windows, windowsByName };

struct RunResult {
  int status = -1;      // exit status, or -1 when killed / did not end in time
  std::string console;  // what went to standard error (no terminal: the console)
  std::string out;      // standard output
  std::string opened;   // the argument the fake viewer received ("" when not called)
};

/// Sets, in this process, Wine's environment for mervik.exe: the tests' prefix, the fake viewer's
/// record file and the command search path (both as Windows sees them, e.g. "Z:/tmp/...").
void setWineEnvironment(const std::string& record, const std::string& searchPath);

/// Sources under work/, the program and its resource file under bin/.
class Workspace {
 public:
  explicit Workspace(Build build = Build::native);

  /// The resource file beside the program.
  void resource(const std::string& text);
  /// A source file under work/, last written at 2024-03-04 09:05:07 UTC.
  void source(const std::string& name, const std::string& text = "entity e is end;\n");
  void sources(const Sources& files);
  /// Runs mervik in work/ in a new session (no terminal: no key wait), `input` (or /dev/null) on
  /// standard input, a fake viewer recording its argument, HOME home/ and none of this user's
  /// settings (XDG_CONFIG_HOME, MERVIK_NO_OPEN unset), DISPLAY set; `environment` is set on
  /// top (an empty DISPLAY is no display).
  RunResult run(const std::vector<std::string>& args,
                const std::optional<std::string>& input = std::nullopt);
  /// Reads work/<name> back; it must also pass qpdf's check.
  Pdf pdf(const std::string& name = "listing.pdf");

  TempDir dir;
  std::vector<std::pair<std::string, std::string>> environment;
  int timeoutMs = 120000;       // a run still going after this is killed (status -1)
  unsigned long long addressLimit = 0;  // bytes of address space for the run (ulimit -v); 0: any

 private:
  Build build_;
};

}  // namespace mervik::test
