#pragma once
// The warning log of one source: the first 15 warnings kept with their lines, all counted.

#include <array>

#include "pdf/line_sink.hpp"
#include "platform/console.hpp"

namespace mervik::analysis {

/// Warning kinds that the layout and the scanner add.
enum WarningKind : int {
  unterminatedLiteral = 0,     // "end of line within character or string constant"
  unterminatedExtended = 1,    // "end of line within extended identifier"
  unterminatedComment = 2,     // "end of text within comment"
  controlCharacter = -1,       // "control character ignored"
};

class WarningLog {
 public:
  static constexpr int keptMax = 15;

  /// The report goes to `sink` (listing lines) and `console` (the count).
  WarningLog(pdf::LineSink& sink, platform::Console& console) : sink_(sink), console_(console) {}

  /// The one operation. line == 0 resets; otherwise kind >= -100 adds a warning of that kind at
  /// that line; kind < -100 writes the report ("WARNINGS" block and "\n%6d warnings"), nothing at
  /// all when there was no warning. A kind without a text reports as "unknown warning".
  void log(int kind, int line);

  /// Warnings added since the last reset, kept or not.
  int count() const { return count_; }

  /// With navigation: "WARNINGS" becomes an outline entry (outline) and each line number of
  /// the report links to its line (any links).
  void setNavigation(bool outline, bool links) {
    outline_ = outline;
    links_ = links;
  }

  /// The text of a kind; "unknown warning" for kinds no caller adds.
  static const char* text(int kind);

 private:
  pdf::LineSink& sink_;
  platform::Console& console_;
  int count_ = 0;
  bool outline_ = false;
  bool links_ = false;
  std::array<int, keptMax> kinds_{};
  std::array<int, keptMax> lines_{};
};

}  // namespace mervik::analysis
