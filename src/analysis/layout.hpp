#pragma once
// Source text layout: numbered, wrapped listing lines, the line-start index, text statistics.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/emphasis.hpp"
#include "analysis/text_encoding.hpp"
#include "analysis/units.hpp"
#include "analysis/warning_log.hpp"
#include "pdf/line_sink.hpp"

namespace mervik::analysis {

/// Where each source line starts in the text buffer, for the scanner's line lookups.
class LineIndex {
 public:
  /// n >= 0 with a position: store it as the start of line n (returns 0, or -1 when the index
  /// cannot grow: "CAN'T SET lStart"). n >= 0 without a position: set lStartCnt to n (returns 0).
  /// n < 0: the number of the last line whose start is at or before `position` (0 when none).
  int lineIndex(int n, const char* position);

  int lStartCnt() const { return lStartCnt_; }
  int lStartMax() const { return lStartMax_; }

 private:
  bool answers(int line, int cnt, const char* position) const;

  std::vector<const char*> lStart_;
  int lStartMax_ = 0;
  int lStartCnt_ = 0;
  int last_ = 0;  // the last answer: the scan asks in text order
};

/// Writes one statistics line "%6d %s".
void writeStatistic(pdf::LineSink& sink, std::string_view label, int value);

/// The line widths the layout can use: a listing line holds lineWidth + 1 bytes and a
/// terminator in its 1024-byte buffer.
constexpr int lineWidthMin = 6;
constexpr int lineWidthMax = 1022;

/// The settings the layout reads. The caller guarantees 6 <= lineWidth <= 1022 and a tab width
/// that leaves a tab stop in every line (see config::clampSettings).
struct LayoutSettings {
  int tabWidth = 4;
  int lineWidth = 100;
  EmphasisRules* emphasis = nullptr;  // the faces of the source bytes; none: all regular
  Navigation navigation{};            // anchors for the numbered lines, an outline entry
  // utf8: the caller found the text valid UTF-8 (isUtf8Text). Each character then takes one
  // column and is drawn as its code page 1252 byte or '?'; a byte order mark is not drawn.
  TextEncoding encoding = TextEncoding::eightBit;
};

/// Lays out one loaded, non-empty source: `text` holds the file's `size` bytes followed by one
/// zero byte, and is only read. Control characters (the zero byte too) are dropped and
/// reported to `warnings`; every source line goes to `sink` as a numbered line plus its
/// continuation lines, in the faces that settings.emphasis gives its bytes (a line with a byte
/// in another face than regular goes to the faces' line command); `lines` is filled; then the
/// section end, "TEXT STATISTICS" (an outline entry with navigation.outline), "",
/// "characters" and "lines". Adds the line count to *totalLines.
/// The caller resets the name tables and the warning log before.
/// False with "CAN'T SET lStart" when the index cannot grow.
bool layoutSource(const char* text, std::size_t size, const LayoutSettings& settings,
                  LineIndex& lines, WarningLog& warnings, pdf::LineSink& sink, int* totalLines,
                  std::string* err);

}  // namespace mervik::analysis
