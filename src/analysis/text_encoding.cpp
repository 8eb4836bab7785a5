// UTF-8 detection and decoding, and the code page 1252 glyph of each character.

#include "analysis/text_encoding.hpp"

#include <cstdint>
#include <cstring>
#include <utility>

namespace mervik::analysis {
namespace {

// The characters that code page 1252 puts at 0x80-0x9F, where Unicode has control codes.
constexpr std::pair<char32_t, unsigned char> cp1252High[] = {
    {0x20AC, 0x80}, {0x201A, 0x82}, {0x0192, 0x83}, {0x201E, 0x84}, {0x2026, 0x85}, {0x2020, 0x86},
    {0x2021, 0x87}, {0x02C6, 0x88}, {0x2030, 0x89}, {0x0160, 0x8A}, {0x2039, 0x8B}, {0x0152, 0x8C},
    {0x017D, 0x8E}, {0x2018, 0x91}, {0x2019, 0x92}, {0x201C, 0x93}, {0x201D, 0x94}, {0x2022, 0x95},
    {0x2013, 0x96}, {0x2014, 0x97}, {0x02DC, 0x98}, {0x2122, 0x99}, {0x0161, 0x9A}, {0x203A, 0x9B},
    {0x0153, 0x9C}, {0x017E, 0x9E}, {0x0178, 0x9F}};

constexpr std::uint64_t highBits = 0x8080808080808080ULL;

}  // namespace

// lead 0x00-0x7F: 1 byte; 0xC2-0xDF: 2; 0xE0-0xEF: 3; 0xF0-0xF4: 4; each further byte
// 0x80-0xBF. The shortest form only, no surrogate (U+D800-U+DFFF), nothing above U+10FFFF.
Utf8Char decodeUtf8(const char* p, const char* end) {
  const auto* s = reinterpret_cast<const unsigned char*>(p);
  const unsigned char lead = s[0];
  if (lead < 0x80) return {lead, 1};
  int length = 0;
  char32_t codePoint = 0, least = 0;
  if (lead < 0xC2) {
    return {};  // a continuation byte, or the lead of an overlong 2-byte form
  } else if (lead < 0xE0) {
    length = 2, codePoint = lead & 0x1Fu, least = 0x80;
  } else if (lead < 0xF0) {
    length = 3, codePoint = lead & 0x0Fu, least = 0x800;
  } else if (lead < 0xF5) {
    length = 4, codePoint = lead & 0x07u, least = 0x10000;
  } else {
    return {};
  }
  if (end - p < length) return {};
  for (int i = 1; i < length; ++i) {
    if ((s[i] & 0xC0u) != 0x80u) return {};
    codePoint = codePoint << 6 | (s[i] & 0x3Fu);
  }
  if (codePoint < least || codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF))
    return {};
  return {codePoint, length};
}

bool isUtf8Text(const char* text, std::size_t size) {
  const char* p = text;
  const char* const end = text + size;
  bool multiByte = false;
  while (p < end) {
    if (end - p >= 8) {
      std::uint64_t word;
      std::memcpy(&word, p, sizeof word);
      if ((word & highBits) == 0) {
        p += 8;
        continue;
      }
    }
    if (static_cast<unsigned char>(*p) < 0x80) {
      ++p;
      continue;
    }
    const Utf8Char c = decodeUtf8(p, end);
    if (c.length == 0) return false;
    multiByte = true;
    p += c.length;
  }
  return multiByte;
}

char cp1252Of(char32_t codePoint) {
  if (codePoint < 0x80 || (codePoint >= 0xA0 && codePoint <= 0xFF))
    return static_cast<char>(codePoint);
  for (const auto& [code, byte] : cp1252High) {
    if (code == codePoint) return static_cast<char>(byte);
  }
  return '?';
}

std::size_t byteOrderMarkLength(const char* text) {
  // Each test stops at the zero byte, so a shorter text is never read past its end.
  return text[0] == '\xEF' && text[1] == '\xBB' && text[2] == '\xBF' ? 3 : 0;
}

void appendCp1252(std::string& out, std::string_view utf8) {
  const char* p = utf8.data();
  const char* const end = p + utf8.size();
  while (p < end) {
    const Utf8Char c = decodeUtf8(p, end);
    out += c.length == 0 ? '?' : cp1252Of(c.codePoint);
    p += c.length == 0 ? 1 : c.length;
  }
}

}  // namespace mervik::analysis
