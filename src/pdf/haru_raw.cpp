#include "pdf/haru_raw.hpp"

#include <hpdf_utils.h>  // HPDF_FToA

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <deque>
#include <new>
#include <string>
#include <unordered_map>
#include <utility>

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

// Hidden entries of a page with links: where its link objects start and how many there are.
constexpr char annotsFirst[] = "MervikAnnotsFirst";
constexpr char annotsCount[] = "MervikAnnotsCount";

// Appends a PDF integer; `at` is past the end of room for at least 11 bytes.
char* putInt(char* at, std::uint32_t value) {
  char digits[10];
  int n = 0;
  do digits[n++] = static_cast<char>('0' + value % 10); while ((value /= 10) > 0);
  while (n > 0) *at++ = digits[--n];
  return at;
}

// A coordinate of a link to a tenth of a point: finer than any glyph, and shorter than a real.
char* putTenths(char* at, float value) {
  const auto tenths = static_cast<std::uint32_t>(std::lround(std::clamp(value, 0.0f, 32767.0f) * 10));
  at = putInt(at, tenths / 10);
  if (tenths % 10 != 0) *at++ = '.', *at++ = static_cast<char>('0' + tenths % 10);
  return at;
}

// Days since 1970-01-01 to a civil date: the era arithmetic of the proleptic Gregorian
// calendar, exact for every 64-bit day count that stays within the years a PDF date takes.
void civilFromDays(std::int64_t days, int* year, int* month, int* day) {
  days += 719468;
  const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const auto dayOfEra = static_cast<std::int64_t>(days - era * 146097);
  const std::int64_t yearOfEra =
      (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const std::int64_t shiftedMonth = (5 * dayOfYear + 2) / 153;  // March is 0
  *day = static_cast<int>(dayOfYear - (153 * shiftedMonth + 2) / 5 + 1);
  *month = static_cast<int>(shiftedMonth < 10 ? shiftedMonth + 3 : shiftedMonth - 9);
  *year = static_cast<int>(yearOfEra + era * 400 + (*month <= 2));
}

// "D:20240304090507Z", the form of a PDF date in UTC.
std::string dateText(const HPDF_Date& d) {
  char text[32];
  std::snprintf(text, sizeof text, "D:%04d%02d%02d%02d%02d%02dZ", static_cast<int>(d.year),
                static_cast<int>(d.month), static_cast<int>(d.day), static_cast<int>(d.hour),
                static_cast<int>(d.minutes), static_cast<int>(d.seconds));
  return text;
}

// The item `key` of `dict` as a dictionary, made and added when it is not there yet.
HPDF_Dict dictionaryIn(HPDF_Doc pdf, HPDF_Dict dict, const char* key) {
  auto found = static_cast<HPDF_Dict>(HPDF_Dict_GetItem(dict, key, HPDF_OCLASS_DICT));
  if (found) return found;
  HPDF_Dict made = HPDF_Dict_New(pdf->mmgr);
  return made && HPDF_Dict_Add(dict, key, made) == HPDF_OK ? made : nullptr;
}

}  // namespace

struct LinkObjects::Store {
  struct Record {
    float x0, y0, x1, y1, top;
    std::uint32_t target;  // the object number of the target's page
  };
  std::deque<Record> records;  // in the order of their objects; the last ones wait for a page
  std::size_t attached = 0;    // the records that have objects
  std::size_t cursor = 0;      // the record the shared dictionary writes next
  std::deque<HPDF_XrefEntry_Rec> entries;  // the links' cross-reference entries
  HPDF_Dict shared = nullptr;
};

namespace {

// The body of the next link object, between the "<<" and ">>" that the library writes.
HPDF_STATUS writeLink(HPDF_Dict dict, HPDF_Stream stream) {
  auto& store = *static_cast<LinkObjects::Store*>(dict->attr);
  if (store.attached == 0) return HPDF_Stream_WriteStr(stream, "/Subtype/Link");
  const auto& r = store.records[store.cursor];
  store.cursor = (store.cursor + 1) % store.attached;  // a second save starts over
  char text[160];
  char* at = text;
  const auto put = [&at](const char* literal) { at += std::strlen(std::strcpy(at, literal)); };
  put("/Subtype/Link/Rect[");
  at = putTenths(at, r.x0), *at++ = ' ';
  at = putTenths(at, r.y0), *at++ = ' ';
  at = putTenths(at, r.x1), *at++ = ' ';
  at = putTenths(at, r.y1);
  put("]/Border[0 0 0]/Dest[");
  at = putInt(at, r.target);
  put(" 0 R/FitH ");
  at = putTenths(at, r.top);
  put("]");
  return HPDF_Stream_Write(stream, reinterpret_cast<const HPDF_BYTE*>(text),
                           static_cast<HPDF_UINT>(at - text));
}

// A page's /Annots: the references to its link objects, which are numbered one after another.
HPDF_STATUS writeAnnots(HPDF_Dict page, HPDF_Stream stream) {
  const auto first = static_cast<HPDF_Number>(HPDF_Dict_GetItem(page, annotsFirst, HPDF_OCLASS_NUMBER));
  const auto count = static_cast<HPDF_Number>(HPDF_Dict_GetItem(page, annotsCount, HPDF_OCLASS_NUMBER));
  if (!first || !count) return HPDF_OK;
  HPDF_STATUS status = HPDF_Stream_WriteStr(stream, "/Annots [");
  char text[64 * 20];
  for (HPDF_INT32 i = 0; status == HPDF_OK && i < count->value;) {
    char* at = text;
    for (int n = 0; n < 64 && i < count->value; ++n, ++i) {
      at = putInt(at, static_cast<std::uint32_t>(first->value + i));
      std::memcpy(at, " 0 R ", 5);
      at += 5;
    }
    status = HPDF_Stream_Write(stream, reinterpret_cast<const HPDF_BYTE*>(text),
                               static_cast<HPDF_UINT>(at - text));
  }
  return status == HPDF_OK ? HPDF_Stream_WriteStr(stream, "]\012") : status;
}

// Room for `needed` entries in the list, grown by half at least: the library grows it by a fixed
// step, which copies the whole list over and over when links add millions.
bool reserve(HPDF_List list, HPDF_UINT needed) {
  if (list->block_siz >= needed) return true;
  const HPDF_MMgr mmgr = list->mmgr;
  if (mmgr->mpool) return false;
  const HPDF_UINT size = std::max(needed, list->block_siz + list->block_siz / 2);
  auto grown = static_cast<void**>(mmgr->alloc_fn(static_cast<HPDF_UINT>(size * sizeof(void*))));
  if (!grown) return false;
  if (list->obj) {
    std::memcpy(grown, list->obj, list->count * sizeof(void*));
    mmgr->free_fn(list->obj);
  }
  list->obj = grown;
  list->block_siz = size;
  return true;
}

// Hides a page's entry: the page's dictionary keeps it, but never writes it.
bool addHidden(HPDF_Page page, const char* key, HPDF_INT32 value) {
  if (HPDF_Dict_AddNumber(page, key, value) != HPDF_OK) return false;
  auto number = static_cast<HPDF_Number>(HPDF_Dict_GetItem(page, key, HPDF_OCLASS_NUMBER));
  if (number) number->header.obj_id |= HPDF_OTYPE_HIDDEN;
  return number != nullptr;
}

}  // namespace

LinkObjects::LinkObjects() : store_(std::make_unique<Store>()) {}
LinkObjects::~LinkObjects() = default;

bool LinkObjects::add(float x0, float y0, float x1, float y1, HPDF_Page target, float top) {
  try {
    const std::uint32_t number = target->header.obj_id & 0x00FFFFFF;
    store_->records.push_back({x0, y0, x1, y1, top, number});
    return true;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

LinkObjects::Attached LinkObjects::attach(HPDF_Doc pdf, HPDF_Page page) {
  Store& s = *store_;
  const std::size_t added = s.records.size() - s.attached;
  if (added == 0) return Attached::yes;
  HPDF_List list = pdf->xref->entries;
  const HPDF_UINT count = list->count;
  const bool room = pdf->xref->prev == nullptr && page->write_fn == nullptr &&
                    count + added <= objectsMax;
  bool ok = room && reserve(list, static_cast<HPDF_UINT>(count + added));
  if (ok && !s.shared) {
    s.shared = HPDF_Dict_New(pdf->mmgr);
    if (s.shared) s.shared->write_fn = writeLink, s.shared->attr = &s;
    ok = s.shared != nullptr;
  }
  const auto first = static_cast<HPDF_INT32>(pdf->xref->start_offset + count);
  std::size_t pushed = 0;
  try {
    for (; ok && pushed < added; ++pushed) {
      s.entries.push_back({HPDF_IN_USE_ENTRY, 0, 0, s.shared});
      list->obj[list->count++] = &s.entries.back();
    }
  } catch (const std::bad_alloc&) {
    ok = false;
  }
  ok = ok && addHidden(page, annotsFirst, first) &&
       addHidden(page, annotsCount, static_cast<HPDF_INT32>(added));
  if (!ok) {
    // Left out: the page and the table keep no trace of them, and the library no error.
    HPDF_Dict_RemoveElement(page, annotsFirst);
    HPDF_Dict_RemoveElement(page, annotsCount);
    list->count = count;
    s.entries.resize(s.entries.size() - pushed);
    s.records.resize(s.attached);
    HPDF_ResetError(pdf);
    return room ? Attached::outOfMemory : Attached::outOfObjects;
  }
  page->write_fn = writeAnnots;
  s.attached = s.records.size();
  return Attached::yes;
}

void LinkObjects::detach(HPDF_Doc pdf) {
  Store& s = *store_;
  if (pdf && s.shared) {
    HPDF_List list = pdf->xref->entries;
    HPDF_UINT kept = 0;
    for (HPDF_UINT i = 0; i < list->count; ++i)
      if (static_cast<HPDF_XrefEntry>(list->obj[i])->obj != s.shared) list->obj[kept++] = list->obj[i];
    list->count = kept;
    HPDF_Dict_Free(s.shared);
  }
  s.records.clear();
  s.entries.clear();
  s.attached = s.cursor = 0;
  s.shared = nullptr;
}

bool writeContent(HPDF_Page page, std::string_view bytes) {
  return HPDF_Stream_Write(attrOf(page)->stream, reinterpret_cast<const HPDF_BYTE*>(bytes.data()),
                           static_cast<HPDF_UINT>(bytes.size())) == HPDF_OK;
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

HPDF_Date utcDate(std::int64_t secondsSince1970) {
  constexpr std::int64_t day = 86400;
  constexpr std::int64_t first = -62167219200;  // 0000-01-01T00:00:00Z
  constexpr std::int64_t last = 253402300799;   // 9999-12-31T23:59:59Z
  const std::int64_t t = std::clamp(secondsSince1970, first, last);
  std::int64_t days = t / day, rest = t % day;
  if (rest < 0) rest += day, --days;
  HPDF_Date d{};
  int year = 0, month = 0, mday = 0;
  civilFromDays(days, &year, &month, &mday);
  d.year = year;
  d.month = month;
  d.day = mday;
  d.hour = static_cast<HPDF_INT>(rest / 3600);
  d.minutes = static_cast<HPDF_INT>(rest / 60 % 60);
  d.seconds = static_cast<HPDF_INT>(rest % 60);
  d.ind = 'Z';
  return d;
}

struct Attachments::Store {
  // The bytes of one or more files: files of the same bytes and date share one stream.
  struct Content {
    Store* store;
    std::string bytes;                    // as read, until deflated
    std::vector<unsigned char> deflated;  // at the save
    std::string modDate;
    bool deflatedYet = false;
    HPDF_Dict object = nullptr;
    HPDF_Stream out = nullptr;  // the document's, while the object is written
  };
  struct File {
    std::string path;
    std::string unicodePath;  // UTF-16BE, or empty
    Content* content;
  };
  std::deque<Content> contents;
  std::vector<File> files;  // in the tree's order
  std::unordered_multimap<std::size_t, Content*> byHash;
  PageCompressor* compressor = nullptr;

  // Every content deflated: those the compressor took, then any it could not take, here. At
  // zlib's default level, as the pages: its best saves 1.3% of the bytes of VHDL for two and a
  // half times the time, which a listing that keeps two cores busy cannot hide.
  bool deflateAll() {
    if (compressor) {
      for (PageCompressor::Done& done : compressor->finish()) {
        auto& content = *static_cast<Content*>(done.tag);
        content.deflated = std::move(done.bytes);
        content.deflatedYet = true;
      }
      compressor = nullptr;
    }
    bool good = true;
    for (Content& content : contents) {
      if (!content.deflatedYet) {
        content.deflated = PageCompressor::deflate(nullptr, {chunkOf(content)}).bytes;
        content.deflatedYet = true;
      }
      good = good && !content.deflated.empty();  // zlib never makes nothing: it failed
      std::string().swap(content.bytes);
    }
    return good;
  }

  static PageCompressor::Chunk chunkOf(const Content& content) {
    return {reinterpret_cast<const unsigned char*>(content.bytes.data()), content.bytes.size()};
  }
};

namespace {

// A write hook's work, whose exceptions must not pass through the library's C frames: memory
// that ran short fails the save instead.
template <typename Work>
HPDF_STATUS guarded(Work work) {
  try {
    return work();
  } catch (...) {
    return HPDF_FAILD_TO_ALLOC_MEM;
  }
}

// An embedded file's dictionary, compact: the library's own form spends some 30 bytes more. The
// optional /Size is left out for the same reason. The sources are deflated at the save, on the
// compressor's thread while the pages are written, as the first of them is due here.
HPDF_STATUS writeEmbeddedDict(HPDF_Dict dict, HPDF_Stream stream) {
  return guarded([dict, stream]() -> HPDF_STATUS {
    auto& content = *static_cast<Attachments::Store::Content*>(dict->attr);
    if (!content.deflatedYet && !content.store->deflateAll()) return HPDF_FAILD_TO_ALLOC_MEM;
    content.out = stream;
    std::string text = "/Length " + std::to_string(content.deflated.size()) +
                       "/Filter/FlateDecode/Params<</ModDate";
    appendString(text, content.modDate);
    text += ">>";
    return HPDF_Stream_Write(stream, reinterpret_cast<const HPDF_BYTE*>(text.data()),
                             static_cast<HPDF_UINT>(text.size()));
  });
}

// Its stream, after the ">>" that the library wrote: the library writes a stream of its own only
// with an indirect /Length object, 40 bytes a file.
HPDF_STATUS writeEmbeddedData(HPDF_Dict dict) {
  auto& content = *static_cast<Attachments::Store::Content*>(dict->attr);
  HPDF_Stream out = std::exchange(content.out, nullptr);
  if (!out) return HPDF_OK;
  const std::vector<unsigned char>& bytes = content.deflated;
  HPDF_STATUS status = HPDF_Stream_WriteStr(out, "\012stream\015\012");
  for (std::size_t at = 0; status == HPDF_OK && at < bytes.size();) {
    const std::size_t n = std::min<std::size_t>(bytes.size() - at, std::size_t{1} << 30);
    status = HPDF_Stream_Write(out, bytes.data() + at, static_cast<HPDF_UINT>(n));
    at += n;
  }
  return status == HPDF_OK ? HPDF_Stream_WriteStr(out, "\012endstream") : status;
}

// The tree's one node: /Names [key description ...]. The keys are the files' numbers, of one
// width so that they sort as the tree needs; each description names its file by its path.
HPDF_STATUS writeNameTree(HPDF_Dict dict, HPDF_Stream stream) {
  return guarded([dict, stream]() -> HPDF_STATUS {
    const auto& files = static_cast<Attachments::Store*>(dict->attr)->files;
    const std::size_t width = std::to_string(files.empty() ? 0 : files.size() - 1).size();
    HPDF_STATUS status = HPDF_Stream_WriteStr(stream, "/Names[");
    std::string text;
    for (std::size_t i = 0; status == HPDF_OK && i < files.size(); ++i) {
      const std::string number = std::to_string(i);
      text.assign("(").append(width - number.size(), '0').append(number);
      text += ")<</Type/Filespec/F";
      appendString(text, files[i].path);
      if (!files[i].unicodePath.empty()) {
        static constexpr char hex[] = "0123456789ABCDEF";
        text += "/UF<";
        for (unsigned char c : files[i].unicodePath) text += hex[c >> 4], text += hex[c & 15];
        text += '>';
      }
      const std::uint32_t object = files[i].content->object->header.obj_id & 0x00FFFFFF;
      text += "/EF<</F " + std::to_string(object) + " 0 R>>>>";
      status = HPDF_Stream_Write(stream, reinterpret_cast<const HPDF_BYTE*>(text.data()),
                                 static_cast<HPDF_UINT>(text.size()));
    }
    return status == HPDF_OK ? HPDF_Stream_WriteStr(stream, "]") : status;
  });
}

}  // namespace

Attachments::Attachments() : store_(std::make_unique<Store>()) {}
Attachments::~Attachments() = default;

bool Attachments::add(std::string_view name, std::string_view unicodeName, std::string_view bytes,
                      std::int64_t lastWrite) {
  try {
    Store& s = *store_;
    const std::string modDate = dateText(utcDate(lastWrite));
    const std::size_t hash = std::hash<std::string_view>{}(bytes);
    Store::Content* content = nullptr;
    for (auto [at, end] = s.byHash.equal_range(hash); at != end && !content; ++at)
      if (at->second->bytes == bytes && at->second->modDate == modDate) content = at->second;
    if (!content) {
      content = &s.contents.emplace_back(Store::Content{&s, std::string(bytes), {}, modDate});
      s.byHash.emplace(hash, content);
    }
    s.files.push_back({std::string(name), std::string(unicodeName), content});
    return true;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

bool Attachments::enter(HPDF_Doc pdf, PageCompressor& compressor) {
  Store& s = *store_;
  if (s.files.empty()) return true;
  HPDF_Dict names = dictionaryIn(pdf, pdf->catalog, "Names");
  HPDF_Dict tree = names ? dictionaryIn(pdf, names, "EmbeddedFiles") : nullptr;
  if (!tree) return false;
  tree->write_fn = writeNameTree;
  tree->attr = &s;
  for (Store::Content& content : s.contents) {
    HPDF_Dict object = HPDF_Dict_New(pdf->mmgr);
    if (!object || HPDF_Xref_Add(pdf->xref, object) != HPDF_OK) return false;
    content.object = object;
    object->attr = &content;
    object->write_fn = writeEmbeddedDict;
    object->after_write_fn = writeEmbeddedData;
  }
  for (Store::Content& content : s.contents)
    compressor.submit(&content, {Store::chunkOf(content)});
  s.compressor = &compressor;
  return true;
}

void Attachments::clear() {
  store_->byHash.clear();
  store_->files.clear();
  store_->contents.clear();
  store_->compressor = nullptr;
}

bool displayDocTitle(HPDF_Doc pdf) {
  HPDF_Dict preferences = dictionaryIn(pdf, pdf->catalog, "ViewerPreferences");
  HPDF_Boolean yes = preferences ? HPDF_Boolean_New(pdf->mmgr, HPDF_TRUE) : nullptr;
  return yes && HPDF_Dict_Add(preferences, "DisplayDocTitle", yes) == HPDF_OK;
}


}  // namespace mervik::pdf::haru
