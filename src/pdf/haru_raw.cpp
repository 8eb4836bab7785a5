#include "pdf/haru_raw.hpp"

#include <hpdf_utils.h>  // HPDF_FToA

#include <algorithm>

namespace mervik::pdf::haru {
namespace {

constexpr std::size_t stringMax = HPDF_LIMIT_MAX_STRING_LEN;

HPDF_PageAttr attrOf(HPDF_Page page) { return static_cast<HPDF_PageAttr>(page->attr); }

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

// A content stream deflated ahead of the save keeps no filter of its own, so the library copies
// it as it stands; this names the filter where the library would have, after /Length.
HPDF_STATUS writeFlateFilter(HPDF_Dict, HPDF_Stream stream) {
  return HPDF_Stream_WriteStr(stream, "/Filter [ /FlateDecode ]\012");
}

}  // namespace

void writeContent(HPDF_Page page, std::string_view bytes) {
  HPDF_Stream_Write(attrOf(page)->stream, reinterpret_cast<const HPDF_BYTE*>(bytes.data()),
                    static_cast<HPDF_UINT>(bytes.size()));
}

void advanceTextPos(HPDF_Page page, HPDF_REAL dy) {
  const auto attr = attrOf(page);
  const HPDF_REAL x = 0;
  const HPDF_REAL y = dy;
  attr->text_matrix.x += x * attr->text_matrix.a + y * attr->text_matrix.c;
  attr->text_matrix.y += y * attr->text_matrix.d + x * attr->text_matrix.b;
  attr->text_pos.x = attr->text_matrix.x;
  attr->text_pos.y = attr->text_matrix.y;
}

void appendReal(std::string& out, HPDF_REAL value) {
  char number[32] = {};
  HPDF_FToA(number, value, number + sizeof number - 1);
  out += number;
}

void appendShowText(std::string& out, std::string_view run, const std::array<bool, 256>& shown) {
  const auto hasWidth = [&shown](char c) { return shown[static_cast<unsigned char>(c)]; };
  for (std::string_view rest = run; !rest.empty();) {
    std::string_view piece = rest.substr(0, stringMax);
    rest.remove_prefix(piece.size());
    piece = piece.substr(0, piece.find('\0'));
    if (std::any_of(piece.begin(), piece.end(), hasWidth)) {
      appendString(out, piece);
      out += " Tj\012";
    }
  }
}

std::vector<PageCompressor::Chunk> contentToDeflate(HPDF_Page page) {
  const auto attr = attrOf(page);
  std::vector<PageCompressor::Chunk> chunks;
  if (HPDF_Page_GetGMode(page) == HPDF_GMODE_PAGE_DESCRIPTION && !attr->gstate->prev &&
      attr->contents->filter == HPDF_STREAM_FILTER_FLATE_DECODE && attr->stream->size > 0) {
    chunks.resize(HPDF_MemStream_GetBufCount(attr->stream));
    for (std::size_t i = 0; i < chunks.size(); ++i) {
      HPDF_UINT size = 0;
      chunks[i].data = HPDF_MemStream_GetBufPtr(attr->stream, static_cast<HPDF_UINT>(i), &size);
      chunks[i].size = size;
    }
  }
  return chunks;
}

bool adoptDeflated(HPDF_Page page, const std::vector<unsigned char>& deflated) {
  const auto attr = attrOf(page);
  HPDF_MemStream_FreeData(attr->stream);
  const auto size = static_cast<HPDF_UINT>(deflated.size());
  if (HPDF_Stream_Write(attr->stream, deflated.data(), size) != HPDF_OK) return false;
  attr->contents->filter = HPDF_STREAM_FILTER_NONE;
  attr->contents->write_fn = writeFlateFilter;
  return true;
}

void trimLinkAnnotation(HPDF_Doc pdf, HPDF_Annotation annotation, HPDF_Array* noBorder) {
  HPDF_Dict_RemoveElement(annotation, "Type");
  if (!*noBorder) {
    *noBorder = HPDF_Array_New(pdf->mmgr);
    for (int i = 0; i < 3 && *noBorder; ++i) HPDF_Array_AddNumber(*noBorder, 0);
    if (*noBorder && HPDF_Xref_Add(pdf->xref, *noBorder) != HPDF_OK) *noBorder = nullptr;
  }
  if (*noBorder) HPDF_Dict_Add(annotation, "Border", *noBorder);
}

}  // namespace mervik::pdf::haru
