#pragma once
// How the bytes of a source are read: one byte a character, or UTF-8 shown in the listing's
// single-byte font (code page 1252, the PDF's WinAnsiEncoding).

#include <cstddef>
#include <string>
#include <string_view>

namespace mervik::analysis {

/// How a source's text is read for the listing.
enum class TextEncoding : bool { eightBit, utf8 };

/// True when text[0, size) is valid UTF-8 (no overlong form, no surrogate, nothing above
/// U+10FFFF, no cut sequence) and holds at least one multi-byte character. One pass; runs of
/// ASCII go 8 bytes at a time.
bool isUtf8Text(const char* text, std::size_t size);

/// One UTF-8 character: its code point and its bytes. `length` 0: no valid sequence starts here.
struct Utf8Char {
  char32_t codePoint = 0;
  int length = 0;
};

/// Decodes the character at `p`, reading no byte at or past `end` (p < end).
Utf8Char decodeUtf8(const char* p, const char* end);

/// The code page 1252 byte that shows `codePoint`, or '?' when it has none.
char cp1252Of(char32_t codePoint);

/// Bytes taken by a byte order mark at the start of `text` (zero-terminated): 3 or 0.
std::size_t byteOrderMarkLength(const char* text);

/// Appends `utf8` as code page 1252 bytes, one per character; a byte that starts no valid
/// sequence becomes one '?'.
void appendCp1252(std::string& out, std::string_view utf8);

}  // namespace mervik::analysis
