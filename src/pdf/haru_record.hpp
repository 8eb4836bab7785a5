#pragma once
// libharu's insides for the listing as a record: the sources attached as embedded files and
// the viewer preference that shows the title. libharu 2.3.0 has no call for either that fits
// (HPDF_AttachFile reads the file from disk again and dates nothing), so the objects are built
// here from the library's object layer. What this relies on, in libharu 2.3.0 and 2.4:
//   - HPDF_Doc exposes mmgr, xref and catalog; HPDF_Dict_New / HPDF_Array_New make direct
//     objects that the container they are added to owns, also after a failed add;
//   - HPDF_DictStream_New registers an indirect stream dictionary with a /Length that the
//     library fills in at the save, and whose filter is none: its bytes are copied as written;
//   - HPDF_String_New without an encoder writes the bytes as a literal string, escaped.
// Only the listing writer calls this.

#include <hpdf.h>

#include <cstdint>
#include <string>
#include <string_view>

namespace mervik::pdf::haru {

/// A calendar time in UTC, from seconds since 1970 (proleptic Gregorian, no leap seconds);
/// years are held within 0 and 9999, as a PDF date takes them.
HPDF_Date utcDate(std::int64_t secondsSince1970);

/// The embedded files of one document, entered into its EmbeddedFiles name tree as they come.
class Attachments {
 public:
  /// Adds `bytes` as the embedded file `name` (a path as the console shows it), deflated, with
  /// its size and `lastWrite` as modification date. A name tree's keys must be sorted: names
  /// come in byte order (the sections' order). False when the library has no memory; the
  /// document then holds a broken tree and must not be saved.
  bool add(HPDF_Doc pdf, std::string_view name, std::string_view bytes, std::int64_t lastWrite);

 private:
  HPDF_Array pairs_ = nullptr;  // the tree's /Names: key, file specification, ...
};

/// Asks viewers to show the document's Title in their window bar instead of the file name.
bool displayDocTitle(HPDF_Doc pdf);

}  // namespace mervik::pdf::haru
