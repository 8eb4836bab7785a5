#include "pdf/listing_writer.hpp"

#include <hpdf.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <utility>

namespace mervik::pdf {
namespace {

// A4 portrait. The library's own default page is rounded to whole points, so the measuring
// page gets this size explicitly.
constexpr HPDF_REAL a4Width = 595.276f;
constexpr HPDF_REAL a4Height = 841.89f;

constexpr float margin = 44;        // left and right margin of the text block
constexpr float columnGap = 22;     // between the two columns
constexpr float lowestLine = 30;    // no baseline below this
constexpr float headerDrop = 30;    // header baseline below the top edge
constexpr float ruleDrop = 34;      // rule below the top edge
constexpr float textDrop = 51;      // first baseline below the top edge
constexpr float twoColumnSize = 14.58f;
constexpr int lineWidthLimit = 1000000;  // saturates absurd texts instead of overflowing

// The library refuses a text longer than this in one piece, and then the whole document.
constexpr std::size_t stringMax = HPDF_LIMIT_MAX_STRING_LEN;
// Pages per node of the page tree: the root's kids array holds at most 32,767 entries, so a
// flat tree would end the listing there; two levels hold far more than memory ever will.
constexpr HPDF_UINT pagesPerNode = 256;

constexpr char saveFailure[] = "Could not save the PDF file";
constexpr char pageFailure[] = "CAN'T SET page";

bool isBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Reads the line width like the C library's atoi: leading blanks, an optional sign, digits up
// to the first other character. A width below 1 would divide by zero or mirror the text, so it
// becomes 1.
int parseLineWidth(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && isBlank(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  int n = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    n = n * 10 + (text[i] - '0');
    if (n > lineWidthLimit) n = lineWidthLimit;
  }
  return negative || n < 1 ? 1 : n;
}

bool fail(std::string* err, const char* message) {
  if (err) *err = message;
  return false;
}

// Title of a section's outline entry: the header after its last blank (the file name of a
// "date   name" header), or the whole header when it holds none.
std::string_view outlineTitle(std::string_view header) {
  size_t blank = header.rfind(' ');
  std::string_view title = blank == std::string_view::npos ? header : header.substr(blank + 1);
  return title.substr(0, stringMax);
}

// Shows `text` at the current text position in pieces the library accepts; consecutive
// pieces continue on the same baseline, so the result looks exactly like one piece.
// `piece` is scratch space for the NUL-terminated copies.
void showPieces(HPDF_Page page, std::string_view text, std::string& piece) {
  do {
    piece.assign(text.substr(0, stringMax));
    HPDF_Page_ShowText(page, piece.c_str());
    text.remove_prefix(std::min(text.size(), stringMax));
  } while (!text.empty());
}

}  // namespace

struct ListingWriter::State {
  HPDF_Doc pdf = nullptr;
  HPDF_Page page = nullptr;
  HPDF_Font font = nullptr;   // Courier: the listing text
  HPDF_Font hfont = nullptr;  // Helvetica: the page header
  float pageWidth = 0;
  float pageHeight = 0;
  float fontSize = 10.0f;
  HPDF_REAL lineStep = 0;     // move of one line, negative
  HPDF_REAL sectionGap = 0;   // extra move at a section end, negative
  HPDF_REAL headerSize = 0;
  int columnCnt = 1;
  int columnIndex = 0;
  int sectionPageNumber = 0;
  bool pageBreak = true;  // the next line starts a new page
  bool anyPage = false;   // the real document holds a page
  std::string sectionTitle;
  std::string text;  // NUL-terminated copy of the current line or title, reused
  std::string failure;

  ~State() { freeDocument(); }

  void freeDocument() {
    if (pdf) HPDF_Free(pdf);
    pdf = nullptr;
    page = nullptr;
  }

  bool measure(int n, Orientation orientation, std::string* err);
  void chooseColumns();
  bool createDocument(std::string* err);
  void startRightColumn();
  bool startPage();
  void drawHeader();
  void show(std::string_view line);
};

// Measuring pass: the width of ten Courier characters in a throw-away document fits the size
// at which n characters fill the text width between the margins.
bool ListingWriter::State::measure(int n, Orientation orientation, std::string* err) {
  HPDF_Doc doc = HPDF_New(nullptr, nullptr);
  if (!doc) return fail(err, "CAN'T SET pdf");
  HPDF_Font courier = HPDF_GetFont(doc, "Courier", nullptr);
  HPDF_Page sheet = courier ? HPDF_AddPage(doc) : nullptr;
  if (!sheet) {
    HPDF_Free(doc);
    return fail(err, courier ? pageFailure : "CAN'T SET font");
  }
  HPDF_Page_SetWidth(sheet, a4Width);
  HPDF_Page_SetHeight(sheet, a4Height);
  HPDF_Page_SetFontAndSize(sheet, courier, fontSize);
  HPDF_Page_BeginText(sheet);
  pageHeight = HPDF_Page_GetHeight(sheet);
  pageWidth = HPDF_Page_GetWidth(sheet);
  if (orientation == Orientation::landscape) std::swap(pageWidth, pageHeight);
  float t = HPDF_Page_TextWidth(sheet, "1234567890");
  fontSize = (pageWidth - 88) * 10 / (n * t) * fontSize;
  HPDF_Page_EndText(sheet);
  HPDF_Free(doc);
  return true;
}

// Two columns, each holding the same n characters, when one column would set the text large.
void ListingWriter::State::chooseColumns() {
  columnCnt = 1;
  if (static_cast<double>(fontSize) > static_cast<double>(twoColumnSize)) {
    fontSize = static_cast<float>(fontSize * (pageWidth - 110) * 0.5 / (pageWidth - 88));
    columnCnt = 2;
  }
  lineStep = static_cast<HPDF_REAL>(-0.98 * fontSize);
  sectionGap = static_cast<HPDF_REAL>(-1.96 * fontSize);
  headerSize = static_cast<HPDF_REAL>(1.3 * fontSize);
}

bool ListingWriter::State::createDocument(std::string* err) {
  pdf = HPDF_New(nullptr, nullptr);
  if (!pdf) return fail(err, "CAN'T SET pdf");
  HPDF_SetCompressionMode(pdf, HPDF_COMP_TEXT);
  HPDF_SetPageLayout(pdf, HPDF_PAGE_LAYOUT_SINGLE);
  HPDF_SetPagesConfiguration(pdf, pagesPerNode);
  hfont = HPDF_GetFont(pdf, "Helvetica", "WinAnsiEncoding");
  font = hfont ? HPDF_GetFont(pdf, "Courier", "WinAnsiEncoding") : nullptr;
  if (!font) {
    freeDocument();
    return fail(err, hfont ? "CAN'T SET font" : "CAN'T SET hfont");
  }
  return true;
}

void ListingWriter::State::startRightColumn() {
  HPDF_Page_EndText(page);
  HPDF_Page_BeginText(page);
  HPDF_Page_SetFontAndSize(page, font, fontSize);
  HPDF_Page_MoveTextPos(page, (pageWidth + columnGap) * 0.5f, pageHeight - textDrop);
}

// A new page of the current section: its size, the section's outline entry on its first page,
// the header and rule, and an open text object at the first baseline of the left column.
bool ListingWriter::State::startPage() {
  HPDF_Page added = HPDF_AddPage(pdf);
  if (!added) {
    failure = pageFailure;
    return false;
  }
  page = added;
  anyPage = true;
  ++sectionPageNumber;
  columnIndex = 0;
  HPDF_Page_SetWidth(page, pageWidth);
  HPDF_Page_SetHeight(page, pageHeight);
  if (sectionPageNumber == 1) {
    text.assign(outlineTitle(sectionTitle));
    HPDF_Outline outline = HPDF_CreateOutline(pdf, nullptr, text.c_str(), nullptr);
    HPDF_Destination destination = HPDF_Page_CreateDestination(page);
    if (outline && destination) HPDF_Outline_SetDestination(outline, destination);
  }
  drawHeader();
  HPDF_Page_SetLineWidth(page, 1);
  HPDF_Page_MoveTo(page, margin, pageHeight - ruleDrop);
  HPDF_Page_LineTo(page, pageWidth - margin, pageHeight - ruleDrop);
  HPDF_Page_Stroke(page);
  HPDF_Page_BeginText(page);
  HPDF_Page_SetFontAndSize(page, font, fontSize);
  HPDF_Page_MoveTextPos(page, margin, pageHeight - textDrop);
  return true;
}

// Section title at the left, "page %d" ending at the right margin.
void ListingWriter::State::drawHeader() {
  char label[32];
  std::snprintf(label, sizeof label, "page %d", sectionPageNumber);
  HPDF_Page_SetFontAndSize(page, hfont, headerSize);
  HPDF_Page_BeginText(page);
  const std::string_view title = sectionTitle;
  text.assign(title.substr(0, stringMax));
  HPDF_Page_TextOut(page, margin, pageHeight - headerDrop, text.c_str());
  if (title.size() > stringMax) showPieces(page, title.substr(stringMax), text);
  float labelWidth = HPDF_Page_TextWidth(page, label);
  HPDF_Page_TextOut(page, pageWidth - labelWidth - margin, pageHeight - headerDrop, label);
  HPDF_Page_EndText(page);
}

void ListingWriter::State::show(std::string_view line) {
  showPieces(page, line, text);
  HPDF_Page_MoveTextPos(page, 0, lineStep);
}

ListingWriter::ListingWriter() = default;
ListingWriter::~ListingWriter() = default;

bool ListingWriter::open(std::string_view lineWidthText, Orientation orientation,
                         std::string* err) {
  try {
    state_ = std::make_unique<State>();
    // Layout lines and titles hold at most 1023 bytes: only a long cross-reference line allocates.
    state_->text.reserve(1024);
    state_->sectionTitle.reserve(1024);
    if (!state_->measure(parseLineWidth(lineWidthText), orientation, err)) return false;
    state_->chooseColumns();
    return state_->createDocument(err);
  } catch (const std::bad_alloc&) {
    state_.reset();
    return fail(err, "CAN'T SET pdf");
  }
}

void ListingWriter::section(std::string_view header) {
  if (!state_ || !state_->pdf || !state_->failure.empty()) return;
  try {
    state_->sectionTitle.assign(header);
  } catch (const std::bad_alloc&) {
    state_->failure = pageFailure;
    return;
  }
  state_->sectionPageNumber = 0;
  state_->pageBreak = true;
}

void ListingWriter::sectionEnd() {
  State* s = state_.get();
  // With the page-break flag still set no line came since the section began: nothing to end.
  if (!s || !s->pdf || !s->failure.empty() || s->pageBreak) return;
  float y = HPDF_Page_GetCurrentTextPos(s->page).y;
  if (s->columnCnt == 1) {
    // The more pages the text took, the higher on its last page it must end for what
    // follows to share that page.
    int p = s->sectionPageNumber;
    if (y < p * s->pageHeight / (p + 1)) {
      s->pageBreak = true;
    } else {
      HPDF_Page_MoveTextPos(s->page, 0, s->sectionGap);
    }
  } else if (s->columnIndex == 0) {
    HPDF_Page_MoveTextPos(s->page, 0, -y);  // to the bottom: the next line opens the right column
  } else {
    s->pageBreak = true;
  }
}

void ListingWriter::line(std::string_view text) {
  State* s = state_.get();
  if (!s || !s->pdf || !s->failure.empty()) return;
  float y = s->pageBreak ? lowestLine : HPDF_Page_GetCurrentTextPos(s->page).y;
  if (y < lowestLine) {
    if (++s->columnIndex >= s->columnCnt) {
      s->pageBreak = true;
    } else {
      s->startRightColumn();
    }
  }
  try {
    if (s->pageBreak && !s->startPage()) return;
    s->pageBreak = false;
    s->show(text);
  } catch (const std::bad_alloc&) {
    s->failure = pageFailure;
  }
}

const std::string& ListingWriter::failure() const {
  static const std::string none;
  return state_ ? state_->failure : none;
}

namespace {

/// True when the file at `path` ends the way a complete save ends it: "startxref", the offset
/// of a cross-reference table that is really there, and "%%EOF". The library's file writer
/// does not report a failed final flush (a full disk), which would cut the file short.
bool wellEnded(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) return false;
  char tail[64] = {};
  long offset = -1;
  bool good = std::fseek(file, 0, SEEK_END) == 0;
  const long size = good ? std::ftell(file) : -1;
  const long tailSize = size < 63 ? size : 63;
  good = good && size > 0 && std::fseek(file, size - tailSize, SEEK_SET) == 0 &&
         std::fread(tail, 1, static_cast<size_t>(tailSize), file) == static_cast<size_t>(tailSize);
  const char* start = good ? std::strstr(tail, "startxref\n") : nullptr;
  good = start && std::sscanf(start, "startxref\n%ld\n%%%%EOF", &offset) == 1 &&
         std::strcmp(tail + tailSize - 6, "%%EOF\n") == 0 && offset >= 0 && offset < size;
  char xref[5] = {};
  good = good && std::fseek(file, offset, SEEK_SET) == 0 && std::fread(xref, 1, 4, file) == 4 &&
         std::strcmp(xref, "xref") == 0;
  std::fclose(file);
  return good;
}

/// Saves the document at `path` and checks what arrived there.
bool saveChecked(HPDF_Doc pdf, const std::string& path) {
  return HPDF_SaveToFile(pdf, path.c_str()) == HPDF_OK && wellEnded(path);
}

}  // namespace

bool ListingWriter::hasPages() const { return state_ && state_->pdf && state_->anyPage; }

CloseResult ListingWriter::close(const std::string& path, std::string_view creator,
                                 std::string* err) {
  State* s = state_.get();
  if (!s || !s->pdf) return CloseResult::nothingToSave;
  if (!s->failure.empty()) {
    s->freeDocument();
    if (err) *err = s->failure;
    return CloseResult::failed;
  }
  // Without a line the current page would be the discarded measuring page.
  if (!s->anyPage) {
    s->freeDocument();
    return CloseResult::nothingToSave;
  }
  try {
    HPDF_Page_EndText(s->page);
    HPDF_SetInfoAttr(s->pdf, HPDF_INFO_AUTHOR, "Talmeric");
    s->text.assign(creator);
    HPDF_SetInfoAttr(s->pdf, HPDF_INFO_CREATOR, s->text.c_str());
    const bool written = saveChecked(s->pdf, path);
    s->freeDocument();
    if (written) return CloseResult::saved;
  } catch (const std::bad_alloc&) {
    s->freeDocument();
  }
  if (err) *err = saveFailure;
  return CloseResult::failed;
}

}  // namespace mervik::pdf
