#pragma once
// One end-to-end run in its own temporary directory: sources under work/, the program (and
// its resource file) under bin/.

#include <string>
#include <vector>

#include "support/pdf_reader.hpp"
#include "support/run_mervik.hpp"

namespace mervik::test {

class Workspace {
 public:
  Workspace();

  /// The resource file beside the program.
  void resource(const std::string& text);
  /// A source file under work/.
  void source(const std::string& name, const std::string& text = "entity e is end;\n");
  /// Runs mervik in work/ with `args`.
  RunResult run(const std::vector<std::string>& args);
  /// Reads work/<name> back; it must also pass qpdf's check.
  Pdf pdf(const std::string& name = "listing.pdf");

  TempDir dir;
  RunOptions options;
};

}  // namespace mervik::test
