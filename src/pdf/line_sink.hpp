#pragma once
// The line commands through which a source's listing is written.

#include <cstddef>
#include <string_view>

namespace mervik::pdf {

/// The face a byte of a listing line is drawn in: Courier, or its bold or oblique sibling,
/// all of the same widths.
enum Face : char { regular = 0, bold = 1, oblique = 2 };

/// What the analysis writes a section through. The listing writer is the real one; tests
/// record the lines.
class LineSink {
 public:
  virtual ~LineSink() = default;
  /// Line command: one listing line of single bytes, no line end; the empty text is an empty
  /// line. Layout lines stay within 1023 bytes; a cross-reference line for a name longer than
  /// that is passed whole rather than cut.
  virtual void line(std::string_view text) = 0;
  /// A line whose bytes are drawn in faces: faces[i] (a Face) for text[i]. A sink that draws
  /// no faces shows the text as line() does.
  virtual void line(std::string_view text, std::string_view faces) {
    static_cast<void>(faces);
    line(text);
  }
  /// Section end (section command without text): the source's own text is complete.
  virtual void sectionEnd() = 0;

  // Navigation on screen; a sink that offers none passes over these.
  /// The next line is the numbered line of source line `n`: entries and links may point at it.
  virtual void anchor(int n) { static_cast<void>(n); }
  /// An outline entry under the current section's own, pointing at the numbered line of source
  /// line `n`, or at the next line when `n` is 0. A section's entries stand in the order of
  /// the places they point at.
  virtual void outlineEntry(std::string_view title, int n) {
    static_cast<void>(title);
    static_cast<void>(n);
  }
  /// A link over the bytes [from, to) of the next line to the numbered line of source line `n`.
  virtual void link(std::size_t from, std::size_t to, int n) {
    static_cast<void>(from);
    static_cast<void>(to);
    static_cast<void>(n);
  }
  /// A link over the bytes [from, to) of the next line to the numbered line of source line `n`
  /// in an earlier section, sections counted from 0 in the order they were begun.
  virtual void linkToSection(std::size_t from, std::size_t to, int section, int n) {
    static_cast<void>(from);
    static_cast<void>(to);
    static_cast<void>(section);
    static_cast<void>(n);
  }
};

}  // namespace mervik::pdf
