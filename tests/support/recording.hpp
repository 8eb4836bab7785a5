#pragma once
// Fakes that record what the code under test writes.

#include <string>
#include <string_view>
#include <vector>

#include "pdf/line_sink.hpp"
#include "platform/console.hpp"

namespace mervik::test {

/// Records listing lines; a section end is recorded as the line "<section end>".
class RecordingSink : public pdf::LineSink {
 public:
  void line(std::string_view text) override { lines.emplace_back(text); }
  void sectionEnd() override { lines.emplace_back("<section end>"); }
  /// All lines joined with '\n', for whole-result comparisons.
  std::string joined() const {
    std::string out;
    for (const auto& l : lines) out += l + '\n';
    return out;
  }
  std::vector<std::string> lines;
};

/// Records console text as one string.
class RecordingConsole : public platform::Console {
 public:
  void write(std::string_view text) override { text_ += text; }
  const std::string& text() const { return text_; }

 private:
  std::string text_;
};

}  // namespace mervik::test
