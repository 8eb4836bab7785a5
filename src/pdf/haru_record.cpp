#include "pdf/haru_record.hpp"

#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <limits>
#include <new>

namespace mervik::pdf::haru {
namespace {

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

// Deflates `bytes` into `out` as zlib data, in pieces that zlib's 32-bit counts take.
bool deflateInto(HPDF_Stream out, std::string_view bytes) {
  z_stream z{};
  if (deflateInit(&z, Z_DEFAULT_COMPRESSION) != Z_OK) return false;
  unsigned char buffer[16384];
  int status = Z_OK;
  int flush = Z_NO_FLUSH;
  bool written = true;
  std::string_view rest = bytes;
  do {
    const std::size_t n = std::min(rest.size(), std::size_t{1} << 30);
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(rest.data()));
    z.avail_in = static_cast<uInt>(n);
    rest.remove_prefix(n);
    flush = rest.empty() ? Z_FINISH : Z_NO_FLUSH;
    do {
      z.next_out = buffer;
      z.avail_out = sizeof buffer;
      status = deflate(&z, flush);
      const auto have = static_cast<HPDF_UINT>(sizeof buffer - z.avail_out);
      written = written && (have == 0 || HPDF_Stream_Write(out, buffer, have) == HPDF_OK);
    } while (z.avail_out == 0 && written);
  } while (flush != Z_FINISH && written);
  deflateEnd(&z);
  return written && status == Z_STREAM_END;
}

// Names the filter of a stream deflated ahead of the save, after its /Length.
HPDF_STATUS writeFlateFilter(HPDF_Dict, HPDF_Stream stream) {
  return HPDF_Stream_WriteStr(stream, "/Filter /FlateDecode\012");
}

// The item `key` of `dict` as a dictionary, made and added when it is not there yet.
HPDF_Dict dictionaryIn(HPDF_Doc pdf, HPDF_Dict dict, const char* key) {
  auto found = static_cast<HPDF_Dict>(HPDF_Dict_GetItem(dict, key, HPDF_OCLASS_DICT));
  if (found) return found;
  HPDF_Dict made = HPDF_Dict_New(pdf->mmgr);
  return made && HPDF_Dict_Add(dict, key, made) == HPDF_OK ? made : nullptr;
}

// The embedded file stream: /Params with /Size and /ModDate, deflated. Its /Type is optional
// and left out: every byte of a file's record counts against the sources' own size.
HPDF_Dict embeddedFile(HPDF_Doc pdf, std::string_view bytes, std::int64_t lastWrite) {
  HPDF_Dict stream = HPDF_DictStream_New(pdf->mmgr, pdf->xref);
  HPDF_Dict params = stream ? dictionaryIn(pdf, stream, "Params") : nullptr;
  if (!params) return nullptr;
  if (bytes.size() <= static_cast<std::size_t>(std::numeric_limits<HPDF_INT32>::max()) &&
      HPDF_Dict_AddNumber(params, "Size", static_cast<HPDF_INT32>(bytes.size())) != HPDF_OK) {
    return nullptr;
  }
  const std::string modDate = dateText(utcDate(lastWrite));
  HPDF_String date = HPDF_String_New(pdf->mmgr, modDate.c_str(), nullptr);
  if (!date || HPDF_Dict_Add(params, "ModDate", date) != HPDF_OK) return nullptr;
  // Deflated here rather than by the library at the save: the writer's thread has the time.
  // The library drops a /Filter of a stream it did not filter itself, so the hook names it.
  if (!deflateInto(stream->stream, bytes)) return nullptr;
  stream->write_fn = writeFlateFilter;
  return stream;
}

}  // namespace

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

bool Attachments::add(HPDF_Doc pdf, std::string_view name, std::string_view bytes,
                      std::int64_t lastWrite) {
  try {
    const std::string path(name);
    if (!pairs_) {
      HPDF_Dict names = dictionaryIn(pdf, pdf->catalog, "Names");
      HPDF_Dict tree = names ? dictionaryIn(pdf, names, "EmbeddedFiles") : nullptr;
      HPDF_Array pairs = tree ? HPDF_Array_New(pdf->mmgr) : nullptr;
      if (!pairs || HPDF_Dict_Add(tree, "Names", pairs) != HPDF_OK) return false;
      pairs_ = pairs;
    }
    HPDF_Dict stream = embeddedFile(pdf, bytes, lastWrite);
    // The specification is a direct object in the tree: no object number of its own to pay for.
    HPDF_String key = stream ? HPDF_String_New(pdf->mmgr, path.c_str(), nullptr) : nullptr;
    if (!key || HPDF_Array_Add(pairs_, key) != HPDF_OK) return false;
    HPDF_Dict spec = HPDF_Dict_New(pdf->mmgr);
    if (!spec || HPDF_Array_Add(pairs_, spec) != HPDF_OK) return false;
    HPDF_String fileName = HPDF_String_New(pdf->mmgr, path.c_str(), nullptr);
    HPDF_Dict files = HPDF_Dict_AddName(spec, "Type", "Filespec") == HPDF_OK && fileName &&
                              HPDF_Dict_Add(spec, "F", fileName) == HPDF_OK
                          ? dictionaryIn(pdf, spec, "EF")
                          : nullptr;
    return files && HPDF_Dict_Add(files, "F", stream) == HPDF_OK;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

bool displayDocTitle(HPDF_Doc pdf) {
  HPDF_Dict preferences = dictionaryIn(pdf, pdf->catalog, "ViewerPreferences");
  HPDF_Boolean yes = preferences ? HPDF_Boolean_New(pdf->mmgr, HPDF_TRUE) : nullptr;
  return yes && HPDF_Dict_Add(preferences, "DisplayDocTitle", yes) == HPDF_OK;
}

}  // namespace mervik::pdf::haru
