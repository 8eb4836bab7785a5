#include "support/workspace.hpp"

#include <gtest/gtest.h>

namespace mervik::test {

Workspace::Workspace() {
  options.programDir = dir / "bin";
  options.cwd = dir / "work";
  dir.write("work/.keep", "");
}

void Workspace::resource(const std::string& text) {
  options.withResource = true;
  options.resource = text;
}

void Workspace::source(const std::string& name, const std::string& text) {
  dir.write("work/" + name, text);
}

RunResult Workspace::run(const std::vector<std::string>& args) { return runMervik(args, options); }

Pdf Workspace::pdf(const std::string& name) {
  Pdf out;
  std::string err;
  EXPECT_TRUE(readPdf(dir / ("work/" + name), &out, &err)) << err;
  EXPECT_TRUE(qpdfCheckPasses(dir / ("work/" + name)));
  return out;
}

}  // namespace mervik::test
