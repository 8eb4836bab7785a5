// Source text layout: numbered, wrapped listing lines, the line-start index, text statistics.

#include "analysis/layout.hpp"

#include <algorithm>
#include <array>
#include <climits>
#include <cstdio>
#include <cstring>
#include <functional>
#include <new>
#include <optional>
#include <stdexcept>

namespace mervik::analysis {

namespace {

enum ByteClass : unsigned char { ordinary = 0, zeroByte, control, carriageReturn, tab, lineFeed };

constexpr std::array<unsigned char, 256> makeByteClasses() {
  std::array<unsigned char, 256> classes{};
  for (int b = 1; b < 0x20; ++b) classes[b] = control;
  classes[0x00] = zeroByte;  // a control character, or the one behind the text
  classes[0x09] = tab;
  classes[0x0A] = lineFeed;
  classes[0x0D] = carriageReturn;
  return classes;
}

constexpr std::array<unsigned char, 256> byteClass = makeByteClasses();

constexpr int lineBufferSize = lineWidthMax + 2;
constexpr int indexFirstMax = 1000;
constexpr char continuationPrefix[] = "     | ";
constexpr int continuationPrefixLength = sizeof continuationPrefix - 1;

int saturatedInt(long long value) { return static_cast<int>(std::min<long long>(value, INT_MAX)); }

// "%*d | " with width 4, for a positive line number; returns the length written.
int formatLinePrefix(char* out, int lineNumber) {
  char digits[16];
  int digitCnt = 0;
  for (unsigned n = static_cast<unsigned>(lineNumber); n != 0 || digitCnt == 0; n /= 10)
    digits[digitCnt++] = static_cast<char>('0' + n % 10);
  int len = 0;
  for (int pad = 4 - digitCnt; pad > 0; --pad) out[len++] = ' ';
  while (digitCnt > 0) out[len++] = digits[--digitCnt];
  out[len++] = ' ';
  out[len++] = '|';
  out[len++] = ' ';
  return len;
}

// The walk over one text: the listing line being built and the line counter.
class Layout {
 public:
  Layout(const LayoutSettings& settings, LineIndex& lines, WarningLog& warnings,
         pdf::LineSink& sink)
      : tabWidth_(settings.tabWidth == 0 ? 1 : settings.tabWidth),
        lineWidth_(std::clamp(settings.lineWidth, lineWidthMin, lineWidthMax)),
        emphasis_(settings.emphasis != nullptr && settings.emphasis->active() ? settings.emphasis
                                                                              : nullptr),
        anchors_(settings.navigation.anchors()),
        lines_(lines),
        warnings_(warnings),
        sink_(sink) {}

  /// Lays out the `size` bytes of `text` and returns the end of the text, or nullptr when the
  /// line-start index cannot grow. One instance per encoding, so that reading UTF-8 costs an
  /// 8-bit text nothing.
  template <TextEncoding encoding>
  const char* walk(const char* text, std::size_t size);

  int lineCnt() const { return lineCnt_; }

 private:
  bool beginLine(const char* position);
  void writeLine();
  void beginContinuation();
  // Appends one character drawn for the text byte at `from`.
  void append(char c, const char* from) {
    if (faces_) {
      const pdf::Face face = faces_->faceAt(from);
      face_[len_] = face;
      styled_ = styled_ || face != pdf::regular;
    }
    buf_[len_++] = c;
  }

  // A new line's prefix is regular; without emphasis there are no faces to clear.
  void clearFaces() {
    if (!faces_) return;
    std::memset(face_, pdf::regular, static_cast<size_t>(len_));
    styled_ = false;
  }

  char buf_[lineBufferSize] = {};
  char face_[lineBufferSize] = {};  // the face of each character, with emphasis
  int len_ = 0;  // 0: no listing line begun
  int lineCnt_ = 0;
  bool styled_ = false;  // a character of the line is not regular
  bool numbered_ = false;  // the line being built is a numbered one
  const int tabWidth_;
  const int lineWidth_;
  EmphasisRules* const emphasis_;
  const bool anchors_;  // the writer learns which line is each source line's numbered line
  std::optional<FaceWalker> faces_;  // with emphasis, for the text being walked
  LineIndex& lines_;
  WarningLog& warnings_;
  pdf::LineSink& sink_;
};

void Layout::writeLine() {
  const std::string_view text(buf_, static_cast<size_t>(len_));
  if (numbered_ && anchors_) sink_.anchor(lineCnt_);
  numbered_ = false;
  if (styled_) {
    sink_.line(text, std::string_view(face_, static_cast<size_t>(len_)));
  } else {
    sink_.line(text);
  }
}

template <TextEncoding encoding>
const char* Layout::walk(const char* text, std::size_t size) {
  if (emphasis_ != nullptr) faces_.emplace(*emphasis_, text, size, encoding);
  const char* p = text;
  const char* const end = text + size;
  if constexpr (encoding == TextEncoding::utf8) p += byteOrderMarkLength(text);
  bool tabWrapped = false;  // the tab at p has already started a continuation line
  for (;;) {
    const unsigned char cls = byteClass[static_cast<unsigned char>(*p)];
    if (cls == zeroByte && p == end) break;
    if (cls >= zeroByte && cls <= carriageReturn) {  // dropped: a control character
      if (cls != carriageReturn && lineCnt_ > 0) warnings_.log(controlCharacter, lineCnt_);
      ++p;
      continue;
    }
    if (len_ == 0 && !beginLine(p)) return nullptr;
    if (cls == lineFeed) {
      writeLine();
      len_ = 0;
      ++p;
      continue;
    }
    char c = *p;
    bool advance = true;
    int step = 1;  // the bytes of the character at p
    if constexpr (encoding == TextEncoding::utf8) {
      if (static_cast<unsigned char>(c) >= 0x80) {
        const Utf8Char u = decodeUtf8(p, end);
        c = u.length == 0 ? '?' : cp1252Of(u.codePoint);
        step = u.length == 0 ? 1 : u.length;
      }
    }
    if (cls == tab) {
      c = ' ';
      advance = (len_ - 6) % tabWidth_ == 0;
      // A tab that already filled a whole continuation line without a stop would never find
      // one: end it instead of wrapping forever.
      if (!advance && tabWrapped && len_ > lineWidth_) advance = true;
    }
    if (len_ > lineWidth_) {
      writeLine();
      beginContinuation();
      tabWrapped = true;
    }
    append(c, p);  // a character takes the face of its first byte
    if (advance) {
      p += step;
      tabWrapped = false;
    }
  }
  if (len_ > 0) writeLine();
  return p;
}

bool Layout::beginLine(const char* position) {
  if (lineCnt_ == INT_MAX) return false;
  ++lineCnt_;
  numbered_ = true;
  len_ = formatLinePrefix(buf_, lineCnt_);
  clearFaces();
  return lines_.lineIndex(lineCnt_, position) == 0;
}

// The continuation prefix goes over the start of the line just written; the indent then
// follows the blanks of that line still in the buffer, up to a third of the line width.
void Layout::beginContinuation() {
  std::memcpy(buf_, continuationPrefix, continuationPrefixLength);
  len_ = continuationPrefixLength;
  const int indentMax = lineWidth_ / 3;
  while (len_ < indentMax && buf_[len_ + 1] == ' ') buf_[len_++] = ' ';
  buf_[len_++] = ' ';
  clearFaces();
}

}  // namespace

// True when `line` is the bisection's answer for `position`: it starts at or before it, the next
// line starts after it, and no earlier line starts at the same place.
bool LineIndex::answers(int line, int cnt, const char* position) const {
  const std::less<const char*> before;
  if (line > cnt || (line < cnt && !before(position, lStart_[line + 1]))) return false;
  if (line == 0) return true;
  if (before(position, lStart_[line])) return false;
  return line == 1 || position != lStart_[line] || before(lStart_[line - 1], lStart_[line]);
}

int LineIndex::lineIndex(int n, const char* position) {
  if (n < 0) {
    // Never look past what was stored, whatever count was set.
    const size_t stored = lStart_.empty() ? 0 : lStart_.size() - 1;
    const int cnt = static_cast<int>(std::min<size_t>(static_cast<size_t>(lStartCnt_), stored));
    // Most questions are about the line of the last answer or the one after it.
    if (answers(last_, cnt, position)) return last_;
    if (answers(last_ + 1, cnt, position)) return ++last_;
    int lo = 0;
    int hi = cnt + 1;
    while (hi - lo > 1) {
      const int mid = lo + (hi - lo) / 2;
      if (position == lStart_[mid]) return last_ = mid;
      if (std::less<const char*>()(lStart_[mid], position)) lo = mid;
      else hi = mid;
    }
    return last_ = lo;
  }
  if (position == nullptr) {
    lStartCnt_ = n;
    return 0;
  }
  if (n >= lStartMax_) {
    const int newMax = lStartMax_ == 0 && n < indexFirstMax ? indexFirstMax
                                                           : saturatedInt(n + n / 2LL);
    if (newMax <= n) return -1;
    try {
      lStart_.reserve(static_cast<size_t>(newMax));
      lStart_.resize(static_cast<size_t>(newMax));
    } catch (const std::bad_alloc&) {
      return -1;
    } catch (const std::length_error&) {
      return -1;
    }
    lStartMax_ = newMax;
  }
  lStart_[static_cast<size_t>(n)] = position;
  return 0;
}

void writeStatistic(pdf::LineSink& sink, std::string_view label, int value) {
  char line[lineBufferSize];
  const int len = std::snprintf(line, sizeof line, "%6d %.*s", value,
                                static_cast<int>(std::min<size_t>(label.size(), sizeof line)),
                                label.data());
  sink.line(std::string_view(line, static_cast<size_t>(std::clamp(len, 0, lineBufferSize - 1))));
}

// GCC 12 with the sanitizers takes the face walker inside a disengaged std::optional for
// uninitialised where the layout is inlined here.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
bool layoutSource(const char* text, std::size_t size, const LayoutSettings& settings,
                  LineIndex& lines, WarningLog& warnings, pdf::LineSink& sink, int* totalLines,
                  std::string* err) {
  Layout layout(settings, lines, warnings, sink);
  const char* end = settings.encoding == TextEncoding::utf8
                        ? layout.walk<TextEncoding::utf8>(text, size)
                        : layout.walk<TextEncoding::eightBit>(text, size);
  if (end == nullptr) {
    try {
      if (err != nullptr) *err = "CAN'T SET lStart";
    } catch (const std::bad_alloc&) {
    }
    return false;
  }
  lines.lineIndex(layout.lineCnt(), nullptr);
  sink.sectionEnd();
  if (settings.navigation.outline) sink.outlineEntry("TEXT STATISTICS", 0);
  sink.line("TEXT STATISTICS");
  sink.line("");
  writeStatistic(sink, "characters", saturatedInt(end - text));
  writeStatistic(sink, "lines", layout.lineCnt());
  if (totalLines != nullptr) *totalLines = saturatedInt(*totalLines + 0LL + layout.lineCnt());
  return true;
}
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

}  // namespace mervik::analysis
