#pragma once
// The line commands through which a source's listing is written.

#include <string_view>

namespace mervik::pdf {

/// What the analysis writes a section through. The listing writer is the real one; tests
/// record the lines.
class LineSink {
 public:
  virtual ~LineSink() = default;
  /// Line command: one listing line of single bytes, no line end; the empty text is an empty
  /// line. Layout lines stay within 1023 bytes; a cross-reference line for a name longer than
  /// that is passed whole rather than cut.
  virtual void line(std::string_view text) = 0;
  /// Section end (section command without text): the source's own text is complete.
  virtual void sectionEnd() = 0;
};

}  // namespace mervik::pdf
