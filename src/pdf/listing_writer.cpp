#include "pdf/listing_writer.hpp"

#include <hpdf.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdio>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "analysis/text_encoding.hpp"
#include "pdf/haru_raw.hpp"
#include "pdf/page_compressor.hpp"
#include "platform/files.hpp"

namespace mervik::pdf {
namespace {

constexpr float margin = 44;        // left and right margin of the text block
constexpr float columnGap = 22;     // between the two columns
constexpr float lowestLine = 30;    // no baseline below this
constexpr float headerDrop = 30;    // header baseline below the top edge
constexpr float ruleDrop = 34;      // rule below the top edge
constexpr float textDrop = 51;      // first baseline below the top edge
constexpr float twoColumnSize = 14.58f;
constexpr float charWidth = 0.6f;   // of every Courier glyph, in text space units per size
constexpr int lineWidthLimit = 1000000;  // saturates absurd texts instead of overflowing

// The library refuses a text longer than this in one piece, and then the whole document.
constexpr std::size_t stringMax = HPDF_LIMIT_MAX_STRING_LEN;
// Pages per node of the page tree: the root's kids array holds at most 32,767 entries, so a
// flat tree would end the listing there; two levels hold far more than memory ever will.
constexpr HPDF_UINT pagesPerNode = 256;

constexpr char saveFailure[] = "Could not save the PDF file";
constexpr char pageFailure[] = "CAN'T SET page";
constexpr char attachFailure[] = "CAN'T SET embedded file";
constexpr char infoFailure[] = "CAN'T SET info";

// A path as the text string a reader takes a file's name from: UTF-16BE behind its byte order
// mark. Empty for a path of ASCII alone or one that is not UTF-8: its bytes then serve as they
// are.
std::string unicodePath(std::string_view path) {
  if (!analysis::isUtf8Text(path.data(), path.size())) return {};
  std::string out = "\xFE\xFF";
  const auto put = [&out](char32_t unit) {
    out += static_cast<char>(unit >> 8);
    out += static_cast<char>(unit & 0xFF);
  };
  for (const char *p = path.data(), *end = p + path.size(); p < end;) {
    const analysis::Utf8Char c = analysis::decodeUtf8(p, end);
    p += c.length;
    if (c.codePoint < 0x10000) {
      put(c.codePoint);
    } else {
      put(0xD800 + ((c.codePoint - 0x10000) >> 10));
      put(0xDC00 + ((c.codePoint - 0x10000) & 0x3FF));
    }
  }
  return out;
}

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

// Title of a section's outline entry: the file name of a "date   name" header (24 characters
// of date and three blanks), blanks and all; any other header after its last blank, or whole.
std::string_view outlineTitle(std::string_view header) {
  constexpr size_t dateLength = 24;
  if (header.size() > dateLength + 3 && header.substr(dateLength, 3) == "   ") {
    return header.substr(dateLength + 3).substr(0, stringMax);
  }
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

// The library's error handler: keeps the first error it reports. Without a handler the library
// notes an error and goes on, and drawing into a document it has given up on can crash it.
void HPDF_STDCALL noteError(HPDF_STATUS error, HPDF_STATUS, void* first) {
  auto* status = static_cast<HPDF_STATUS*>(first);
  if (*status == HPDF_OK) *status = error;
}

// The library does not survive every failed allocation: a page whose cross-reference entry
// finds no memory is used after the library freed it. So its allocations draw on a reserve
// once memory runs out, which lets the call at hand finish; the document is then taken as
// failed, and the run ends through the fatal-error road at the next check.
constexpr std::size_t reserveSize = 1 << 20;
std::atomic<void*> reserve{nullptr};
std::atomic<bool> reserveUsed{false};

void* HPDF_STDCALL allocate(HPDF_UINT size) {
  void* block = std::malloc(size);
  if (block != nullptr) return block;
  reserveUsed = true;
  std::free(reserve.exchange(nullptr));
  return std::malloc(size);
}

void HPDF_STDCALL release(void* block) { std::free(block); }

// A document whose allocations fall back on the reserve; the reserve is set aside once.
HPDF_Doc newDocument(HPDF_STATUS* status) {
  if (reserve.load() == nullptr && !reserveUsed) reserve = std::malloc(reserveSize);
  return HPDF_NewEx(noteError, allocate, release, 0, status);
}

}  // namespace

struct ListingWriter::State {
  HPDF_Doc pdf = nullptr;
  HPDF_Page page = nullptr;
  HPDF_Font font = nullptr;   // Courier: the listing text
  HPDF_Font hfont = nullptr;  // Helvetica: the page header
  // Courier's bold and oblique siblings, by Face; taken from the library at their first use,
  // so a listing without emphasis holds no trace of them.
  HPDF_Font faceFont[3] = {};
  Face currentFace = regular;  // the font the open text object draws in
  std::string pageFontOperator[3];  // by Face, for the current page; empty until first used
  std::string raw;  // the content of one line, written past the library's operators
  std::string stepOperator;     // the move to the next line, "0 -9.8 Td\n"
  std::array<bool, 256> shown{};  // by byte: Courier gives it a width, so a text of it is shown
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
  HPDF_STATUS libraryError = HPDF_OK;  // the first error the library reported on `pdf`

  // Navigation within the current section. A place is where a drawn line went: the page (an
  // index into sectionPages), the line's number among the section's drawn lines (0: none), and
  // its baseline's start.
  struct Place {
    std::uint32_t page = 0;
    std::uint32_t drawn = 0;
    float x = 0;
    float y = 0;
  };
  struct Entry {
    std::string title;
    Place place;
  };
  struct Link {
    std::size_t from, to;
    int line;
    int section = -1;  // an earlier section's number, or -1: the current section
  };
  // Where an earlier section's numbered lines went, kept for links from a later section: a
  // page index and a baseline a line, half a place, as every line of every file is kept.
  struct Target {
    std::uint32_t page = std::numeric_limits<std::uint32_t>::max();  // none: not drawn
    float y = 0;
  };
  struct Earlier {
    std::vector<HPDF_Page> pages;
    std::vector<Target> numbered;
  };
  HPDF_Outline sectionOutline = nullptr;
  std::vector<HPDF_Page> sectionPages;
  std::vector<Place> numbered;  // by source line
  std::uint32_t drawnCnt = 0;
  int anchorPending = 0;
  std::vector<std::string> entriesPending;  // for the next line
  std::vector<Link> linksPending;           // on the next line
  std::vector<Entry> entries;
  std::unordered_map<std::uint32_t, HPDF_Destination> destinations;  // by Place::drawn
  haru::LinkObjects links;  // in pdf's cross-reference table: taken out before it is freed
  int pageCnt = 0;           // of the document
  int linksLeftOutAt = 0;    // the page of the document from which on links are left out, or 0
  haru::LinkObjects::Attached linksLeftOutFor{};
  int sectionCnt = 0;            // section commands so far
  bool keepEarlier = false;
  std::vector<Earlier> earlier;  // by section number, while links can still be made
  haru::Attachments attachments;
  PageCompressor compressor;  // reads pages of pdf and attachments: stopped before either goes
  DocumentInfo info;

  ~State() {
    try {
      freeDocument();
    } catch (...) {
      // Only stopping the compressor can throw; the document then stays to the process's end.
    }
  }

  /// True when the library has reported or recorded an error on the document: it takes no
  /// further call but HPDF_Free. Some of its failures are only recorded, never reported.
  bool libraryFailed() const {
    return libraryError != HPDF_OK || reserveUsed || (pdf && HPDF_GetError(pdf) != HPDF_OK);
  }
  /// Sets `message` as the failure when the library failed; true when all is well.
  bool libraryOk(const char* message) {
    if (!failure.empty()) return false;
    if (!libraryFailed()) return true;
    failure = message;
    return false;
  }
  /// The document can take a command: it exists and nothing has failed.
  bool usable() const { return pdf && failure.empty(); }

  void freeDocument() {
    compressor.cancel();
    links.detach(pdf);
    if (pdf) HPDF_Free(pdf);
    attachments.clear();
    pdf = nullptr;
    page = nullptr;
  }

  bool measure(int n, Orientation orientation, PaperSize paper, std::string* err);
  void chooseColumns();
  bool createDocument(std::string* err);
  void startRightColumn();
  bool startPage();
  void leavePage();
  void adopt(const std::vector<PageCompressor::Done>& results);
  void drawHeader();
  void show(std::string_view line);
  void nextLine();
  void writeRaw(std::string_view bytes);
  void showFaces(std::string_view line, std::string_view faces);
  const std::string& fontOperator(Face face);
  void useFace(Face face);
  void place(const Place& where);
  HPDF_Destination destinationAt(const Place& where);
  void addLink(const Link& link, const Place& from);
  void addLink(const Link& link, const Place& from, HPDF_Destination target);
  void finishSection();
  bool writeInformation(std::string_view creator);
};

// Measuring pass: the width of ten Courier characters in a throw-away document fits the size
// at which n characters fill the text width between the margins.
bool ListingWriter::State::measure(int n, Orientation orientation, PaperSize paper,
                                   std::string* err) {
  HPDF_STATUS status = HPDF_OK;
  HPDF_Doc doc = newDocument(&status);
  if (!doc) return fail(err, "CAN'T SET pdf");
  HPDF_Font courier = HPDF_GetFont(doc, "Courier", nullptr);
  HPDF_Page sheet = courier ? HPDF_AddPage(doc) : nullptr;
  if (!sheet) {
    HPDF_Free(doc);
    return fail(err, courier ? pageFailure : "CAN'T SET font");
  }
  // The library's own default page is rounded to whole points: the size is set explicitly.
  HPDF_Page_SetWidth(sheet, paper.width);
  HPDF_Page_SetHeight(sheet, paper.height);
  HPDF_Page_SetFontAndSize(sheet, courier, fontSize);
  HPDF_Page_BeginText(sheet);
  pageHeight = HPDF_Page_GetHeight(sheet);
  pageWidth = HPDF_Page_GetWidth(sheet);
  if (orientation == Orientation::landscape) std::swap(pageWidth, pageHeight);
  float t = HPDF_Page_TextWidth(sheet, "1234567890");
  fontSize = (pageWidth - 88) * 10 / (n * t) * fontSize;
  HPDF_Page_EndText(sheet);
  const bool measured =
      status == HPDF_OK && !reserveUsed && HPDF_GetError(doc) == HPDF_OK && t > 0;
  HPDF_Free(doc);
  return measured || fail(err, pageFailure);
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
  stepOperator.assign("0 ");
  haru::appendReal(stepOperator, lineStep);
  stepOperator.append(" Td\012");
}

bool ListingWriter::State::createDocument(std::string* err) {
  pdf = newDocument(&libraryError);
  if (!pdf) return fail(err, "CAN'T SET pdf");
  const bool set = HPDF_SetCompressionMode(pdf, HPDF_COMP_TEXT) == HPDF_OK &&
                   HPDF_SetPageLayout(pdf, HPDF_PAGE_LAYOUT_SINGLE) == HPDF_OK &&
                   HPDF_SetPagesConfiguration(pdf, pagesPerNode) == HPDF_OK;
  if (!set) {
    freeDocument();
    return fail(err, "CAN'T SET pdf");
  }
  hfont = HPDF_GetFont(pdf, "Helvetica", "WinAnsiEncoding");
  font = hfont ? HPDF_GetFont(pdf, "Courier", "WinAnsiEncoding") : nullptr;
  if (!font || libraryFailed()) {
    freeDocument();
    return fail(err, hfont ? "CAN'T SET font" : "CAN'T SET hfont");
  }
  for (int c = 1; c < 256; ++c) {
    const auto byte = static_cast<HPDF_BYTE>(c);
    shown[static_cast<std::size_t>(c)] = HPDF_Font_TextWidth(font, &byte, 1).width != 0;
  }
  if (libraryFailed()) {
    freeDocument();
    return fail(err, "CAN'T SET font");
  }
  return true;
}

void ListingWriter::State::startRightColumn() {
  HPDF_Page_EndText(page);
  HPDF_Page_BeginText(page);
  HPDF_Page_SetFontAndSize(page, font, fontSize);
  currentFace = regular;
  HPDF_Page_MoveTextPos(page, (pageWidth + columnGap) * 0.5f, pageHeight - textDrop);
}

// A new page of the current section: its size, the section's outline entry on its first page,
// the header and rule, and an open text object at the first baseline of the left column.
bool ListingWriter::State::startPage() {
  if (page) leavePage();
  HPDF_Page added = libraryOk(pageFailure) ? HPDF_AddPage(pdf) : nullptr;
  if (!added) {
    failure = pageFailure;
    return false;
  }
  page = added;
  anyPage = true;
  ++pageCnt;
  for (std::string& op : pageFontOperator) op.clear();
  ++sectionPageNumber;
  columnIndex = 0;
  HPDF_Page_SetWidth(page, pageWidth);
  HPDF_Page_SetHeight(page, pageHeight);
  if (sectionPageNumber == 1) {
    text.assign(outlineTitle(sectionTitle));
    HPDF_Outline outline = HPDF_CreateOutline(pdf, nullptr, text.c_str(), nullptr);
    HPDF_Destination destination = HPDF_Page_CreateDestination(page);
    if (outline && destination) HPDF_Outline_SetDestination(outline, destination);
    sectionOutline = outline;
  }
  if (!libraryOk(pageFailure)) return false;
  sectionPages.push_back(page);
  drawHeader();
  if (!libraryOk(pageFailure)) return false;
  HPDF_Page_SetLineWidth(page, 1);
  HPDF_Page_MoveTo(page, margin, pageHeight - ruleDrop);
  HPDF_Page_LineTo(page, pageWidth - margin, pageHeight - ruleDrop);
  HPDF_Page_Stroke(page);
  HPDF_Page_BeginText(page);
  HPDF_Page_SetFontAndSize(page, font, fontSize);
  currentFace = regular;
  HPDF_Page_MoveTextPos(page, margin, pageHeight - textDrop);
  return libraryOk(pageFailure);
}

// Nothing more is drawn on the current page: its text object ends, as the library would end it
// when saving, and its content goes to the compressor. A page in any other state is left for
// the library to finish and deflate.
void ListingWriter::State::leavePage() {
  if (HPDF_Page_GetGMode(page) == HPDF_GMODE_TEXT_OBJECT) HPDF_Page_EndText(page);
  const HPDF_STATUS before = libraryError;
  const haru::LinkObjects::Attached attached = links.attach(pdf, page);
  // Links left out are no failure of the listing: the error the library reported is forgotten.
  if (attached != haru::LinkObjects::Attached::yes) libraryError = before;
  if (attached != haru::LinkObjects::Attached::yes && linksLeftOutAt == 0) {
    linksLeftOutAt = pageCnt;
    linksLeftOutFor = attached;
  }
  std::vector<PageCompressor::Chunk> chunks = haru::contentToDeflate(page);
  if (!chunks.empty()) compressor.submit(page, std::move(chunks));
  adopt(compressor.collect());
}

// Deflated contents replace their pages' own, which frees the larger part of a page's memory.
void ListingWriter::State::adopt(const std::vector<PageCompressor::Done>& results) {
  for (const PageCompressor::Done& done : results) {
    if (done.bytes.empty()) continue;
    if (!haru::adoptDeflated(static_cast<HPDF_Page>(done.tag), done.bytes)) {
      failure = pageFailure;  // the page's content is lost
      return;
    }
  }
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

// A plain line is one run in the regular face.
void ListingWriter::State::show(std::string_view line) {
  useFace(regular);
  if (failure.empty()) showFaces(line, {});
}

// The text position after the move of stepOperator, computed as the library's MoveTextPos does.
void ListingWriter::State::nextLine() { haru::advanceTextPos(page, lineStep); }

// One run per stretch of bytes in one face: each run and each change of font costs, so never
// one per byte, and a blank, which looks the same in every face, joins the run it is in.
//
// The runs, their changes of font and the move to the next line go into the page's content
// stream as one write, as the same bytes the library's Tf, Tj and Td operators write: those
// spend a 512-byte clear, a number conversion and a width measurement on every call, more than
// the line itself costs. The library's text state keeps Courier, whose widths every face shares.
void ListingWriter::State::showFaces(std::string_view line, std::string_view faces) {
  const auto faceAt = [faces](std::size_t i) {
    const char face = i < faces.size() ? faces[i] : char{regular};
    return face == bold || face == oblique ? static_cast<Face>(face) : regular;
  };
  raw.clear();
  std::size_t start = 0;
  while (start < line.size()) {
    std::size_t end = start;
    while (end < line.size() && (line[end] == ' ' || faceAt(end) == currentFace)) ++end;
    if (end == start) {
      raw += fontOperator(faceAt(start));
      if (!failure.empty()) return;
      currentFace = faceAt(start);
      continue;
    }
    haru::appendShowText(raw, line.substr(start, end - start), shown);
    start = end;
  }
  raw += stepOperator;
  writeRaw(raw);
  nextLine();
}

// Content bytes straight into the current page's stream, past the library's operators.
void ListingWriter::State::writeRaw(std::string_view bytes) {
  if (!haru::writeContent(page, bytes) && failure.empty()) failure = pageFailure;
}

// "/F2 8.4546 Tf\n" for a face on the current page: its font is taken from the library at its
// first use and entered into the page's resources under the local name the library gives it.
const std::string& ListingWriter::State::fontOperator(Face face) {
  std::string& op = pageFontOperator[face];
  if (!op.empty()) return op;
  static const char* const names[] = {"Courier", "Courier-Bold", "Courier-Oblique"};
  HPDF_Font& chosen = face == regular ? font : faceFont[face];
  if (chosen == nullptr) chosen = HPDF_GetFont(pdf, names[face], "WinAnsiEncoding");
  // Without the sibling the text stays in Courier: same widths, so nothing moves.
  const char* local = libraryOk(pageFailure)
                          ? HPDF_Page_GetLocalFontName(page, chosen != nullptr ? chosen : font)
                          : nullptr;
  if (local == nullptr || !libraryOk(pageFailure)) {
    if (failure.empty()) failure = pageFailure;
    return op;  // empty: the line command ends at the failure
  }
  op.assign("/").append(local).append(" ");
  haru::appendReal(op, fontSize);
  op.append(" Tf\012");
  return op;
}

void ListingWriter::State::useFace(Face face) {
  if (face == currentFace) return;
  const std::string& op = fontOperator(face);
  if (!failure.empty()) return;
  writeRaw(op);
  currentFace = face;
}

// The line about to be drawn is at `where`: it takes the anchor, entries and links that wait
// for it. Nothing here draws, so the page looks the same with navigation or without.
void ListingWriter::State::place(const Place& where) {
  if (anchorPending > 0) {
    const auto n = static_cast<std::size_t>(anchorPending);
    if (numbered.size() <= n) numbered.resize(std::max(n + 1, numbered.size() * 3 / 2));
    numbered[n] = where;
    anchorPending = 0;
  }
  for (std::string& title : entriesPending) entries.push_back({std::move(title), where});
  entriesPending.clear();
  for (const Link& link : linksPending) addLink(link, where);
  linksPending.clear();
}

// One destination per line, shared by every entry and link that points there: the line at the
// top of the window, the page as wide as the window.
HPDF_Destination ListingWriter::State::destinationAt(const Place& where) {
  auto [known, added] = destinations.try_emplace(where.drawn, nullptr);
  if (added) {
    known->second = HPDF_Page_CreateDestination(sectionPages[where.page]);
    if (known->second) HPDF_Destination_SetFitH(known->second, where.y + fontSize);
  }
  return known->second;
}

// A link over bytes [from, to) of the line at `from` to its source line's numbered line, at the
// top of the window: no border and no colour, so the printed page is unchanged. Its object is
// made when its page is left.
void ListingWriter::State::addLink(const Link& link, const Place& from) {
  const auto n = static_cast<std::size_t>(link.line);
  if (linksLeftOutAt > 0 || link.line <= 0) return;
  HPDF_Page targetPage;
  float targetY;
  if (link.section >= 0) {
    // An earlier section's line, through the places kept when it ended.
    const auto s = static_cast<std::size_t>(link.section);
    if (s >= earlier.size() || n >= earlier[s].numbered.size()) return;
    const Target& to = earlier[s].numbered[n];
    if (to.page >= earlier[s].pages.size()) return;
    targetPage = earlier[s].pages[to.page];
    targetY = to.y;
  } else {
    if (n >= numbered.size() || numbered[n].drawn == 0) return;
    targetPage = sectionPages[numbered[n].page];
    targetY = numbered[n].y;
  }
  // Within the page: a longer name's line runs off the page anyway.
  const auto at = [&](std::size_t offset) {
    return std::min(from.x + charWidth * fontSize * static_cast<float>(offset), pageWidth);
  };
  if (!links.add(at(link.from), from.y - 0.25f * fontSize, at(link.to), from.y + 0.75f * fontSize,
                 targetPage, targetY + fontSize)) {
    linksLeftOutAt = pageCnt;
    linksLeftOutFor = haru::LinkObjects::Attached::outOfMemory;
  }
}

// A section's entries go under its own, in the order of the places they point at, and start
// closed, so the outline first looks as one entry per file.
void ListingWriter::State::finishSection() {
  std::stable_sort(entries.begin(), entries.end(),
                   [](const Entry& a, const Entry& b) { return a.place.drawn < b.place.drawn; });
  for (const Entry& entry : entries) {
    if (!sectionOutline) break;
    text.assign(std::string_view(entry.title).substr(0, stringMax));
    HPDF_Outline child = HPDF_CreateOutline(pdf, sectionOutline, text.c_str(), nullptr);
    HPDF_Destination target = destinationAt(entry.place);
    if (child && target) HPDF_Outline_SetDestination(child, target);
  }
  if (sectionOutline && !entries.empty()) HPDF_Outline_SetOpened(sectionOutline, HPDF_FALSE);
  sectionOutline = nullptr;
  if (keepEarlier && linksLeftOutAt == 0 && sectionCnt > 0) {
    earlier.resize(static_cast<std::size_t>(sectionCnt));
    Earlier& kept = earlier.back();
    kept.pages.assign(sectionPages.begin(), sectionPages.end());
    std::size_t used = numbered.size();  // the places grow ahead of the lines
    while (used > 0 && numbered[used - 1].drawn == 0) --used;
    kept.numbered.resize(used);
    for (std::size_t i = 0; i < used; ++i) {
      if (numbered[i].drawn > 0) kept.numbered[i] = {numbered[i].page, numbered[i].y};
    }
  } else if (linksLeftOutAt > 0) {
    std::vector<Earlier>().swap(earlier);  // no link will ever be made again
  }
  sectionPages.clear();
  std::vector<Place>().swap(numbered);
  drawnCnt = 0;
  anchorPending = 0;
  entriesPending.clear();
  linksPending.clear();
  entries.clear();
  destinations.clear();
}

ListingWriter::ListingWriter() = default;
ListingWriter::~ListingWriter() = default;

bool ListingWriter::open(std::string_view lineWidthText, Orientation orientation,
                         std::string* err) {
  return open(lineWidthText, orientation, a4Paper, err);
}

bool ListingWriter::open(std::string_view lineWidthText, Orientation orientation,
                         PaperSize paper, std::string* err) {
  try {
    state_ = std::make_unique<State>();
    // Layout lines and titles hold at most 1023 bytes: only a long cross-reference line allocates.
    state_->text.reserve(1024);
    state_->sectionTitle.reserve(1024);
    if (!state_->measure(parseLineWidth(lineWidthText), orientation, paper, err)) return false;
    state_->chooseColumns();
    return state_->createDocument(err);
  } catch (const std::bad_alloc&) {
    state_.reset();
    return fail(err, "CAN'T SET pdf");
  }
}

void ListingWriter::anchor(int n) {
  if (state_) state_->anchorPending = n;
}

void ListingWriter::outlineEntry(std::string_view title, int n) {
  State* s = state_.get();
  if (!s || !s->usable()) return;
  try {
    const auto line = static_cast<std::size_t>(n);
    if (n == 0) {
      s->entriesPending.emplace_back(title);
    } else if (n > 0 && line < s->numbered.size() && s->numbered[line].drawn > 0) {
      s->entries.push_back({std::string(title), s->numbered[line]});
    }
  } catch (const std::bad_alloc&) {
    s->failure = pageFailure;
  }
}

void ListingWriter::link(std::size_t from, std::size_t to, int n) {
  State* s = state_.get();
  if (!s || !s->usable()) return;
  try {
    s->linksPending.push_back({from, to, n});
  } catch (const std::bad_alloc&) {
    s->failure = pageFailure;
  }
}

void ListingWriter::linkToSection(std::size_t from, std::size_t to, int section, int n) {
  State* s = state_.get();
  if (!s || !s->usable() || section < 0) return;
  try {
    s->linksPending.push_back({from, to, n, section});
  } catch (const std::bad_alloc&) {
    s->failure = pageFailure;
  }
}

void ListingWriter::keepSectionPlaces() {
  if (state_) state_->keepEarlier = true;
}

int ListingWriter::linesPerPage() const {
  const State* s = state_.get();
  if (!s || !s->pdf) return 0;
  // The baselines a column takes, stepped as the drawing steps them.
  HPDF_REAL y = s->pageHeight - textDrop;
  int rows = 0;
  for (; y >= lowestLine && rows < 1000000; y += s->lineStep) ++rows;
  return rows * s->columnCnt;
}

// Links never cost the listing: when memory or the document's objects run short, the links of
// that page and the later ones are left out, and the console says so once.
std::string ListingWriter::linksLeftOut() const {
  if (!state_ || state_->linksLeftOutAt == 0) return "";
  const bool memory = state_->linksLeftOutFor == haru::LinkObjects::Attached::outOfMemory;
  return std::string("links: ") + (memory ? "memory ran short" : "the PDF's objects ran short") +
         "; the links of page " + std::to_string(state_->linksLeftOutAt) +
         " of the listing and after it are left out";
}

void ListingWriter::section(std::string_view header) {
  if (!state_ || !state_->usable()) return;
  try {
    state_->finishSection();
    ++state_->sectionCnt;
    state_->sectionTitle.assign(header);
  } catch (const std::bad_alloc&) {
    state_->failure = pageFailure;
    return;
  }
  if (!state_->libraryOk(pageFailure)) return;
  state_->sectionPageNumber = 0;
  state_->pageBreak = true;
}

void ListingWriter::sectionEnd() {
  State* s = state_.get();
  // With the page-break flag still set no line came since the section began: nothing to end.
  if (!s || !s->usable() || s->pageBreak) return;
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
  s->libraryOk(pageFailure);
}

void ListingWriter::line(std::string_view text) { line(text, std::string_view()); }

void ListingWriter::line(std::string_view text, std::string_view faces) {
  State* s = state_.get();
  if (!s || !s->usable()) return;
  float y = s->pageBreak ? lowestLine : HPDF_Page_GetCurrentTextPos(s->page).y;
  if (y < lowestLine) {
    if (++s->columnIndex >= s->columnCnt) {
      s->pageBreak = true;
    } else {
      s->startRightColumn();
      if (!s->libraryOk(pageFailure)) return;
    }
  }
  try {
    if (s->pageBreak && !s->startPage()) return;
    s->pageBreak = false;
    ++s->drawnCnt;
    if (s->anchorPending > 0 || !s->entriesPending.empty() || !s->linksPending.empty()) {
      const float x = s->columnIndex == 0 ? margin : (s->pageWidth + columnGap) * 0.5f;
      s->place({static_cast<std::uint32_t>(s->sectionPages.size() - 1), s->drawnCnt, x,
                HPDF_Page_GetCurrentTextPos(s->page).y});
    }
    if (faces.empty()) {
      s->show(text);
    } else {
      s->showFaces(text, faces);
    }
  } catch (const std::bad_alloc&) {
    s->failure = pageFailure;
  }
  s->libraryOk(pageFailure);
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
    s->finishSection();
    s->leavePage();
    s->adopt(s->compressor.finish());
    s->libraryOk(pageFailure);
    if (!s->failure.empty()) {
      s->freeDocument();
      if (err) *err = s->failure;
      return CloseResult::failed;
    }
    if (!s->writeInformation(creator)) {
      s->freeDocument();
      if (err) *err = infoFailure;
      return CloseResult::failed;
    }
    if (!s->attachments.enter(s->pdf, s->compressor) || !s->libraryOk(attachFailure)) {
      s->freeDocument();
      if (err) *err = attachFailure;
      return CloseResult::failed;
    }
    const bool written = HPDF_SaveToFile(s->pdf, path.c_str()) == HPDF_OK && wellEnded(path);
    s->freeDocument();
    if (written) return CloseResult::saved;
  } catch (const std::bad_alloc&) {
    s->freeDocument();
  }
  if (err) *err = saveFailure;
  return CloseResult::failed;
}

void ListingWriter::abandon() noexcept {
  try {
    if (state_) state_->freeDocument();
  } catch (...) {
    // The compressor could not be stopped: the document stays to the end of the process.
  }
}

void ListingWriter::attach(std::string_view path, std::string_view bytes,
                           std::int64_t lastWrite) {
  State* s = state_.get();
  if (!s || !s->usable()) return;
  try {
    if (!s->attachments.add(path, unicodePath(path), bytes, lastWrite)) s->failure = attachFailure;
  } catch (const std::bad_alloc&) {
    s->failure = attachFailure;
  }
}

void ListingWriter::describe(const DocumentInfo& info) {
  if (!state_) return;
  try {
    state_->info = info;
  } catch (const std::bad_alloc&) {
    state_->failure = infoFailure;
  }
}

// The document information: the author and creator every listing has, and for a record its
// title, subject, dates and the viewer's title bar. False when the library has no memory.
bool ListingWriter::State::writeInformation(std::string_view creator) {
  const auto setText = [this](HPDF_InfoType type, std::string_view value) {
    text.assign(value.substr(0, stringMax));
    return value.empty() || HPDF_SetInfoAttr(pdf, type, text.c_str()) == HPDF_OK;
  };
  bool good = setText(HPDF_INFO_AUTHOR, info.author);
  text.assign(creator);
  good = HPDF_SetInfoAttr(pdf, HPDF_INFO_CREATOR, text.c_str()) == HPDF_OK && good;
  good = good && setText(HPDF_INFO_TITLE, info.title) && setText(HPDF_INFO_SUBJECT, info.subject);
  if (good && info.dated) {
    const HPDF_Date date = haru::utcDate(info.date);
    good = HPDF_SetInfoDateAttr(pdf, HPDF_INFO_CREATION_DATE, date) == HPDF_OK &&
           HPDF_SetInfoDateAttr(pdf, HPDF_INFO_MOD_DATE, date) == HPDF_OK;
  }
  return good && (!info.displayTitle || haru::displayDocTitle(pdf));
}

std::string libraryVersion() { return HPDF_GetVersion(); }

}  // namespace mervik::pdf
