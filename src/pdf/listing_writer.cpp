#include "pdf/listing_writer.hpp"

#include <hpdf.h>
#include <hpdf_utils.h>  // HPDF_FToA: numbers written as the library writes them

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdint>
#include <cstring>
#include <new>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "pdf/page_compressor.hpp"
#include "platform/files.hpp"

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
constexpr float charWidth = 0.6f;   // of every Courier glyph, in text space units per size
// Links a document takes: even the smallest costs the library some 1.8 KB of memory while the
// document is built and 130 bytes in the file, and some 15 microseconds. This many keep a
// listing of 65,000 lines within a quarter more time and memory than without links.
constexpr long linksMax = 2000;
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

// Appends `text` as a PDF string the way the library writes one: octal escapes for the bytes
// that a string or a content stream could misread.
void appendString(std::string& out, std::string_view text) {
  static constexpr auto escaped = [] {
    std::array<bool, 256> table{};
    for (int c = 0; c < 256; ++c) table[c] = c < 0x20 || c > 0x7e;
    for (unsigned char c : std::string_view("\\%#/()<>[]{}")) table[c] = true;
    return table;
  }();
  out += '(';
  for (char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    if (escaped[c]) {
      const char octal[] = {'\\', static_cast<char>('0' + (c >> 6)),
                            static_cast<char>('0' + ((c >> 3) & 7)), static_cast<char>('0' + (c & 7))};
      out.append(octal, sizeof octal);
    } else {
      out += ch;
    }
  }
  out += ')';
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

// A content stream deflated ahead of the save keeps no filter of its own, so the library copies
// it as it stands; this names the filter where the library would have, after /Length.
HPDF_STATUS writeFlateFilter(HPDF_Dict, HPDF_Stream stream) {
  return HPDF_Stream_WriteStr(stream, "/Filter [ /FlateDecode ]\012");
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
  // Where an earlier section's numbered lines went, kept for links from a later section.
  struct Earlier {
    std::vector<HPDF_Page> pages;
    std::vector<Place> numbered;
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
  long linkCnt = 0;
  bool linkBudgetReached = false;
  HPDF_Array noBorder = nullptr;  // [0 0 0], shared by the links of the document
  int sectionCnt = 0;               // section commands so far
  bool keepEarlier = false;
  std::vector<Earlier> earlier;     // by section number, while links can still be made
  PageCompressor compressor;  // reads pages of pdf: stopped before the document is freed

  ~State() { freeDocument(); }

  void freeDocument() {
    compressor.cancel();
    if (pdf) HPDF_Free(pdf);
    pdf = nullptr;
    page = nullptr;
  }

  bool measure(int n, Orientation orientation, std::string* err);
  void chooseColumns();
  bool createDocument(std::string* err);
  void startRightColumn();
  bool startPage();
  void leavePage();
  void adopt(const std::vector<PageCompressor::Done>& results);
  void drawHeader();
  void show(std::string_view line);
  void appendShown(std::string_view run);
  void nextLine();
  void showFaces(std::string_view line, std::string_view faces);
  const std::string& fontOperator(Face face);
  void useFace(Face face);
  void writeRaw(std::string_view bytes);
  void place(const Place& where);
  HPDF_Destination destinationAt(const Place& where);
  void addLink(const Link& link, const Place& from);
  void addLink(const Link& link, const Place& from, HPDF_Destination target);
  void finishSection();
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
  char number[32] = {};
  HPDF_FToA(number, lineStep, number + sizeof number - 1);
  stepOperator.assign("0 ").append(number).append(" Td\012");
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
  for (int c = 1; c < 256; ++c) {
    const auto byte = static_cast<HPDF_BYTE>(c);
    shown[static_cast<std::size_t>(c)] = HPDF_Font_TextWidth(font, &byte, 1).width != 0;
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
  HPDF_Page added = HPDF_AddPage(pdf);
  if (!added) {
    failure = pageFailure;
    return false;
  }
  page = added;
  anyPage = true;
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
  sectionPages.push_back(page);
  drawHeader();
  HPDF_Page_SetLineWidth(page, 1);
  HPDF_Page_MoveTo(page, margin, pageHeight - ruleDrop);
  HPDF_Page_LineTo(page, pageWidth - margin, pageHeight - ruleDrop);
  HPDF_Page_Stroke(page);
  HPDF_Page_BeginText(page);
  HPDF_Page_SetFontAndSize(page, font, fontSize);
  currentFace = regular;
  HPDF_Page_MoveTextPos(page, margin, pageHeight - textDrop);
  return true;
}

// Nothing more is drawn on the current page: its text object ends, as the library would end it
// when saving, and its content goes to the compressor. A page in any other state is left for
// the library to finish and deflate.
void ListingWriter::State::leavePage() {
  if (HPDF_Page_GetGMode(page) == HPDF_GMODE_TEXT_OBJECT) HPDF_Page_EndText(page);
  const auto attr = static_cast<HPDF_PageAttr>(page->attr);
  if (HPDF_Page_GetGMode(page) == HPDF_GMODE_PAGE_DESCRIPTION && !attr->gstate->prev &&
      attr->contents->filter == HPDF_STREAM_FILTER_FLATE_DECODE && attr->stream->size > 0) {
    std::vector<PageCompressor::Chunk> chunks(HPDF_MemStream_GetBufCount(attr->stream));
    for (std::size_t i = 0; i < chunks.size(); ++i) {
      HPDF_UINT size = 0;
      chunks[i].data = HPDF_MemStream_GetBufPtr(attr->stream, static_cast<HPDF_UINT>(i), &size);
      chunks[i].size = size;
    }
    compressor.submit(page, std::move(chunks));
  }
  adopt(compressor.collect());
}

// Deflated contents replace their pages' own, which frees the larger part of a page's memory.
void ListingWriter::State::adopt(const std::vector<PageCompressor::Done>& results) {
  for (const PageCompressor::Done& done : results) {
    if (done.bytes.empty()) continue;
    const auto deflated = static_cast<HPDF_Page>(done.tag);
    const auto attr = static_cast<HPDF_PageAttr>(deflated->attr);
    HPDF_MemStream_FreeData(attr->stream);
    const auto size = static_cast<HPDF_UINT>(done.bytes.size());
    if (HPDF_Stream_Write(attr->stream, done.bytes.data(), size) != HPDF_OK) {
      failure = pageFailure;  // the page's content is lost
      return;
    }
    attr->contents->filter = HPDF_STREAM_FILTER_NONE;
    attr->contents->write_fn = writeFlateFilter;
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
  showFaces(line, {});
}

// Appends the bytes the library's ShowText writes for `run`: one piece per 65,535 bytes, each
// ending at a zero byte, and nothing for a piece without a glyph of any width.
void ListingWriter::State::appendShown(std::string_view run) {
  const auto hasWidth = [this](char c) { return shown[static_cast<unsigned char>(c)]; };
  for (std::string_view rest = run; !rest.empty();) {
    std::string_view piece = rest.substr(0, stringMax);
    rest.remove_prefix(piece.size());
    piece = piece.substr(0, piece.find('\0'));
    if (std::any_of(piece.begin(), piece.end(), hasWidth)) {
      appendString(raw, piece);
      raw += " Tj\012";
    }
  }
}

// The text position after the move of stepOperator, computed as the library's MoveTextPos does.
void ListingWriter::State::nextLine() {
  const auto attr = static_cast<HPDF_PageAttr>(page->attr);
  const HPDF_REAL x = 0;
  const HPDF_REAL y = lineStep;
  attr->text_matrix.x += x * attr->text_matrix.a + y * attr->text_matrix.c;
  attr->text_matrix.y += y * attr->text_matrix.d + x * attr->text_matrix.b;
  attr->text_pos.x = attr->text_matrix.x;
  attr->text_pos.y = attr->text_matrix.y;
}

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
      currentFace = faceAt(start);
      continue;
    }
    appendShown(line.substr(start, end - start));
    start = end;
  }
  raw += stepOperator;
  writeRaw(raw);
  nextLine();
}

// Content bytes straight into the current page's stream, past the library's operators.
void ListingWriter::State::writeRaw(std::string_view bytes) {
  HPDF_Stream_Write(static_cast<HPDF_PageAttr>(page->attr)->stream,
                    reinterpret_cast<const HPDF_BYTE*>(bytes.data()),
                    static_cast<HPDF_UINT>(bytes.size()));
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
  const char* local = HPDF_Page_GetLocalFontName(page, chosen != nullptr ? chosen : font);
  char size[32] = {};
  HPDF_FToA(size, fontSize, size + sizeof size - 1);
  op.assign("/").append(local != nullptr ? local : "F1").append(" ").append(size).append(" Tf\012");
  return op;
}

void ListingWriter::State::useFace(Face face) {
  if (face == currentFace) return;
  const std::string& op = fontOperator(face);
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

// A link over bytes [from, to) of the line at `from` to its source line's numbered line: no
// border and no colour, so the printed page is unchanged. Each link costs the library a few
// hundred bytes in memory and in the file, so a document takes at most linksMax of them.
void ListingWriter::State::addLink(const Link& link, const Place& from) {
  const auto n = static_cast<std::size_t>(link.line);
  if (link.section >= 0) {
    // An earlier section's line: a destination of its own, as few links go there.
    const auto s = static_cast<std::size_t>(link.section);
    if (link.line <= 0 || s >= earlier.size() || n >= earlier[s].numbered.size()) return;
    const Place& to = earlier[s].numbered[n];
    if (to.drawn == 0 || to.page >= earlier[s].pages.size()) return;
    if (linkCnt >= linksMax) {
      linkBudgetReached = true;
      return;
    }
    HPDF_Destination target = HPDF_Page_CreateDestination(earlier[s].pages[to.page]);
    if (target) HPDF_Destination_SetFitH(target, to.y + fontSize);
    addLink(link, from, target);
    return;
  }
  if (link.line <= 0 || n >= numbered.size() || numbered[n].drawn == 0) return;
  if (linkCnt >= linksMax) {
    linkBudgetReached = true;
    return;
  }
  addLink(link, from, destinationAt(numbered[n]));
}

void ListingWriter::State::addLink(const Link& link, const Place& from, HPDF_Destination target) {
  // Within the page: the library takes no number beyond 32,767, and a longer name's line runs
  // off the page anyway.
  const auto at = [&](std::size_t offset) {
    return std::min(from.x + charWidth * fontSize * static_cast<float>(offset), pageWidth);
  };
  const HPDF_Rect area = {at(link.from), from.y - 0.25f * fontSize, at(link.to),
                          from.y + 0.75f * fontSize};
  HPDF_Annotation annotation = target ? HPDF_Page_CreateLinkAnnot(page, area, target) : nullptr;
  if (annotation) {
    // The smallest dictionary the library lets us make: /Type is optional for an annotation,
    // and one /Border [0 0 0] serves every link.
    HPDF_Dict_RemoveElement(annotation, "Type");
    if (!noBorder) {
      noBorder = HPDF_Array_New(pdf->mmgr);
      for (int i = 0; i < 3 && noBorder; ++i) HPDF_Array_AddNumber(noBorder, 0);
      if (noBorder && HPDF_Xref_Add(pdf->xref, noBorder) != HPDF_OK) noBorder = nullptr;
    }
    if (noBorder) HPDF_Dict_Add(annotation, "Border", noBorder);
  }
  ++linkCnt;
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
  if (keepEarlier && !linkBudgetReached && sectionCnt > 0) {
    earlier.resize(static_cast<std::size_t>(sectionCnt));
    earlier.back().pages.swap(sectionPages);
    earlier.back().numbered.swap(numbered);
  } else if (linkBudgetReached) {
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

void ListingWriter::anchor(int n) {
  if (state_) state_->anchorPending = n;
}

void ListingWriter::outlineEntry(std::string_view title, int n) {
  State* s = state_.get();
  if (!s || !s->pdf || !s->failure.empty()) return;
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
  if (!s || !s->pdf || !s->failure.empty()) return;
  try {
    s->linksPending.push_back({from, to, n});
  } catch (const std::bad_alloc&) {
    s->failure = pageFailure;
  }
}

void ListingWriter::linkToSection(std::size_t from, std::size_t to, int section, int n) {
  State* s = state_.get();
  if (!s || !s->pdf || !s->failure.empty() || section < 0) return;
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

bool ListingWriter::linkBudgetReached() const { return state_ && state_->linkBudgetReached; }

long ListingWriter::linkBudget() { return linksMax; }

void ListingWriter::section(std::string_view header) {
  if (!state_ || !state_->pdf || !state_->failure.empty()) return;
  try {
    state_->finishSection();
    ++state_->sectionCnt;
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

void ListingWriter::line(std::string_view text) { line(text, std::string_view()); }

void ListingWriter::line(std::string_view text, std::string_view faces) {
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
    if (!s->failure.empty()) {
      s->freeDocument();
      if (err) *err = s->failure;
      return CloseResult::failed;
    }
    HPDF_SetInfoAttr(s->pdf, HPDF_INFO_AUTHOR, "Talmeric");
    s->text.assign(creator);
    HPDF_SetInfoAttr(s->pdf, HPDF_INFO_CREATOR, s->text.c_str());
    const bool written = HPDF_SaveToFile(s->pdf, path.c_str()) == HPDF_OK && wellEnded(path);
    s->freeDocument();
    if (written) return CloseResult::saved;
  } catch (const std::bad_alloc&) {
    s->freeDocument();
  }
  if (err) *err = saveFailure;
  return CloseResult::failed;
}

std::string libraryVersion() { return HPDF_GetVersion(); }

}  // namespace mervik::pdf
