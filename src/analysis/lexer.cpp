// The lexical rules of VHDL as mervik reads them. One pass; a token looks at most three bytes
// past its end, and the zero byte behind the text stops every look-ahead.

#include "analysis/lexer.hpp"

#include <algorithm>
#include <array>
#include <cstring>
#include <string_view>

namespace mervik::analysis {
namespace {

// The low bits say what a byte starts; the high bits what it continues.
enum Start : unsigned char {
  white,       // a blank, a line feed, a control character but the zero byte, the no-break space
  zero,        // the zero byte: the end of the text, or a control character within it
  nameStart,   // a letter or '_'
  digit,
  minus,       // "--" opens a comment
  slash,       // "/*" opens a comment
  quote,
  apostrophe,
  backslash,
  closer,      // ')' or ']': an apostrophe behind it is an attribute mark
  multiByte,   // UTF-8: the lead byte of a character outside ASCII
  other,       // a token of its own
};
constexpr unsigned char startMask = 0x0F;
constexpr unsigned char nameByte = 0x10;    // letter, digit, '_'
constexpr unsigned char digitByte = 0x20;   // digit, '_'
constexpr unsigned char basedByte = 0x40;   // an extended digit of a based literal, or '_'

constexpr std::array<unsigned char, 256> makeClasses(TextEncoding encoding) {
  std::array<unsigned char, 256> classes{};
  for (int b = 0; b < 256; ++b) classes[b] = other;
  for (int b = 1; b <= 0x20; ++b) classes[b] = white;
  classes[0] = zero;
  for (int b = 'A'; b <= 'Z'; ++b) classes[b] = nameStart | nameByte | basedByte;
  for (int b = 'a'; b <= 'z'; ++b) classes[b] = nameStart | nameByte | basedByte;
  classes['_'] = nameStart | nameByte | digitByte | basedByte;
  for (int b = '0'; b <= '9'; ++b) classes[b] = digit | nameByte | digitByte | basedByte;
  classes['-'] = minus;
  classes['/'] = slash;
  classes['"'] = quote;
  classes['\''] = apostrophe;
  classes['\\'] = backslash;
  classes[')'] = closer;
  classes[']'] = closer;
  if (encoding == TextEncoding::utf8) {
    for (int b = 0x80; b < 0x100; ++b) classes[b] = multiByte;
  } else {
    classes[0xA0] = white;
    for (int b = 0xC0; b < 0x100; ++b) {
      if (b != 0xD7 && b != 0xF7) classes[b] = nameStart | nameByte;
    }
  }
  return classes;
}

constexpr std::array<unsigned char, 256> eightBitClasses = makeClasses(TextEncoding::eightBit);
constexpr std::array<unsigned char, 256> utf8Classes = makeClasses(TextEncoding::utf8);

// In a UTF-8 name every byte from 0x80 on is 0xC3 or the second byte of a Latin-1 letter, so
// folding its second byte alone is enough.
constexpr std::array<unsigned char, 256> makeFolds(TextEncoding encoding) {
  std::array<unsigned char, 256> folds{};
  for (int b = 0; b < 256; ++b) folds[b] = static_cast<unsigned char>(b);
  for (int b = 'A'; b <= 'Z'; ++b) folds[b] = static_cast<unsigned char>(b + 0x20);
  const int capital = encoding == TextEncoding::utf8 ? 0x80 : 0xC0;
  for (int b = capital; b <= capital + 0x1E; ++b) {
    if (b != capital + 0x17) folds[b] = static_cast<unsigned char>(b + 0x20);
  }
  return folds;
}

constexpr std::array<unsigned char, 256> eightBitFolds = makeFolds(TextEncoding::eightBit);
constexpr std::array<unsigned char, 256> utf8Folds = makeFolds(TextEncoding::utf8);

// The reserved words of VHDL-2008, sorted; "all" is left out, being a name before an attribute.
constexpr std::string_view reservedWords[] = {
    "abs", "access", "after", "alias", "and", "architecture", "array", "assert", "assume",
    "assume_guarantee", "attribute", "begin", "block", "body", "buffer", "bus", "case",
    "component", "configuration", "constant", "context", "cover", "default", "disconnect",
    "downto", "else", "elsif", "end", "entity", "exit", "fairness", "file", "for", "force",
    "function", "generate", "generic", "group", "guarded", "if", "impure", "in", "inertial",
    "inout", "is", "label", "library", "linkage", "literal", "loop", "map", "mod", "nand", "new",
    "next", "nor", "not", "null", "of", "on", "open", "or", "others", "out", "package",
    "parameter", "port", "postponed", "procedure", "process", "property", "protected", "pure",
    "range", "record", "register", "reject", "release", "rem", "report", "restrict",
    "restrict_guarantee", "return", "rol", "ror", "select", "sequence", "severity", "shared",
    "signal", "sla", "sll", "sra", "srl", "strong", "subtype", "then", "to", "transport", "type",
    "unaffected", "units", "until", "use", "variable", "vmode", "vprop", "vunit", "wait", "when",
    "while", "with", "xnor", "xor"};
constexpr std::size_t reservedLengthMax = 18;  // restrict_guarantee

// The bytes of a bit-string base specifier at `p` (B O X D, or U or S before B O X), any case.
std::size_t baseSpecifierLength(const unsigned char* p) {
  const unsigned char a = *p | 0x20;
  if (a == 'b' || a == 'o' || a == 'x' || a == 'd') return 1;
  if (a != 'u' && a != 's') return 0;
  const unsigned char b = p[1] | 0x20;
  return b == 'b' || b == 'o' || b == 'x' ? 2 : 0;
}

}  // namespace

void foldName(char* begin, char* end, TextEncoding encoding) {
  const unsigned char* folds =
      encoding == TextEncoding::utf8 ? utf8Folds.data() : eightBitFolds.data();
  for (char* p = begin; p != end; ++p) *p = static_cast<char>(folds[static_cast<unsigned char>(*p)]);
}

Lexer::Lexer(const char* text, std::size_t size, TextEncoding encoding, Symbols symbols)
    : p_(reinterpret_cast<const Byte*>(text)),
      end_(p_ + size),
      classes_(encoding == TextEncoding::utf8 ? utf8Classes.data() : eightBitClasses.data()),
      utf8_(encoding == TextEncoding::utf8),
      symbols_(symbols) {
  // A byte order mark is no part of the source (read as Latin-1 it would be a name).
  if (size >= 3 && p_[0] == 0xEF && p_[1] == 0xBB && p_[2] == 0xBF) p_ += 3;
}

bool Lexer::yield(Token* token, TokenKind kind, const Byte* end, bool unterminated) {
  token->kind = kind;
  token->start = reinterpret_cast<const char*>(p_);
  token->length = static_cast<std::size_t>(end - p_);
  token->unterminated = unterminated;
  p_ = end;
  return true;
}

bool Lexer::next(Token* token) {
  for (;;) {
    const Byte* p = p_;
    while (classes_[*p] == white) ++p;
    p_ = p;
    std::size_t length = 1;  // of a symbol
    const unsigned char start = classes_[*p] & startMask;
    switch (start) {
      case zero:
        if (p == end_) return false;
        p_ = p + 1;
        continue;
      case nameStart:
        return name(token);
      case digit:
        return number(token);
      case minus:
        if (p[1] == '-') return lineComment(token);
        break;
      case slash:
        if (p[1] == '*') return blockComment(token);
        break;
      case quote:
        return string(token);
      case apostrophe:
        if (tick(token)) return true;
        continue;
      case backslash:
        return extendedName(token);
      case multiByte:
        if (letterLength(p) != 0) return name(token);
        if (p[0] == 0xC2 && p[1] == 0xA0) {  // the no-break space
          p_ = p + 2;
          continue;
        }
        length = std::max(1, decodeUtf8(reinterpret_cast<const char*>(p),
                                        reinterpret_cast<const char*>(end_)).length);
        break;
      default:
        break;
    }
    before_ = start == closer ? Before::mark : Before::other;
    if (symbols_ == Symbols::yield) return yield(token, TokenKind::symbol, p + length);
    p_ = p + length;
  }
}

// "--" up to the line feed, which is not part of it.
bool Lexer::lineComment(Token* token) {
  const Byte* from = p_ + 2;
  const void* lineFeed = std::memchr(from, '\n', static_cast<std::size_t>(end_ - from));
  return yield(token, TokenKind::comment, lineFeed ? static_cast<const Byte*>(lineFeed) : end_);
}

// "/*" through the next "*/", across lines; without one, to the end of the text.
bool Lexer::blockComment(Token* token) {
  for (const Byte* q = p_ + 2;; ++q) {
    const void* star = std::memchr(q, '*', static_cast<std::size_t>(end_ - q));
    if (star == nullptr) return yield(token, TokenKind::comment, end_, true);
    q = static_cast<const Byte*>(star);
    if (q[1] == '/') return yield(token, TokenKind::comment, q + 2);
  }
}

// '"' { byte | '""' } '"'. A line end before the closing quote ends it, unterminated.
bool Lexer::string(Token* token) {
  before_ = Before::other;
  return delimited(token, '"', TokenKind::literal);
}

// close { byte | close close } close, from the opening byte at p_: a string or an extended
// identifier. A line end before the closing byte ends it, unterminated.
bool Lexer::delimited(Token* token, Byte close, TokenKind kind) {
  for (const Byte* q = p_ + 1;; ++q) {
    if (*q == close) {
      if (q[1] != close) return yield(token, kind, q + 1);
      ++q;
    } else if (*q == '\n' || (*q == '\0' && q == end_)) {
      return yield(token, kind, q, true);
    }
  }
}

// [size] base '"' { byte } '"', from the token's start; `quote` is its opening quote. A line
// end before the closing quote ends it, unterminated.
bool Lexer::bitString(Token* token, const Byte* quote) {
  before_ = Before::other;
  for (const Byte* q = quote + 1;; ++q) {
    if (*q == '"') return yield(token, TokenKind::literal, q + 1);
    if (*q == '\n' || (*q == '\0' && q == end_)) return yield(token, TokenKind::literal, q, true);
  }
}

// An attribute mark behind a name that is no reserved word, an extended identifier, ')' or
// ']'; otherwise "'" character "'", or a lone apostrophe that draws a warning. False when the
// mark is skipped.
bool Lexer::tick(Token* token) {
  const Byte* p = p_;
  if (before_ == Before::mark || (before_ == Before::basicName && !afterReservedWord())) {
    before_ = Before::other;
    if (symbols_ == Symbols::yield) return yield(token, TokenKind::symbol, p + 1);
    p_ = p + 1;
    return false;
  }
  before_ = Before::other;
  int n = 0;  // bytes of the character
  if (p + 1 < end_ && p[1] != '\n') {
    n = utf8_ && p[1] >= 0x80 ? std::max(1, decodeUtf8(reinterpret_cast<const char*>(p + 1),
                                                       reinterpret_cast<const char*>(end_))
                                                .length)
                              : 1;
  }
  if (n > 0 && p + 1 + n < end_ && p[1 + n] == '\'') {
    return yield(token, TokenKind::literal, p + 2 + n);
  }
  return yield(token, TokenKind::literal, p + 1, true);
}

// '\' { byte | '\\' } '\', case kept. A line end before the closing backslash ends the name
// there, unterminated.
bool Lexer::extendedName(Token* token) {
  before_ = Before::mark;
  return delimited(token, '\\', TokenKind::extendedName);
}

// The bytes of a Latin-1 letter at `p` in a UTF-8 text (U+00C0-U+00FF but U+00D7, U+00F7).
int Lexer::letterLength(const Byte* p) const {
  return utf8_ && p[0] == 0xC3 && p[1] >= 0x80 && p[1] <= 0xBF && p[1] != 0x97 && p[1] != 0xB7
             ? 2
             : 0;
}

const Lexer::Byte* Lexer::nameEnd(const Byte* q) const {
  for (;;) {
    while (classes_[*q] & nameByte) ++q;
    const int n = letterLength(q);
    if (n == 0) return q;
    q += n;
  }
}

// ( letter | '_' ) { letter | digit | '_' }; the byte behind it is the next token's. A base
// specifier right before a quote opens a bit-string literal instead.
bool Lexer::name(Token* token) {
  const Byte* p = p_;
  const Byte* q = nameEnd(p);
  if (*q == '"' && q - p <= 2 && baseSpecifierLength(p) == static_cast<std::size_t>(q - p)) {
    return bitString(token, q);
  }
  before_ = Before::basicName;
  lastName_ = p;
  lastNameLength_ = static_cast<std::size_t>(q - p);
  lastNameFirst_ = *p;
  return yield(token, TokenKind::basicName, q);
}

bool Lexer::afterReservedWord() const {
  if (lastNameLength_ < 2 || lastNameLength_ > reservedLengthMax) return false;
  char word[reservedLengthMax];
  word[0] = folded(static_cast<char>(lastNameFirst_));
  for (std::size_t i = 1; i < lastNameLength_; ++i) word[i] = folded(static_cast<char>(lastName_[i]));
  return std::binary_search(std::begin(reservedWords), std::end(reservedWords),
                            std::string_view(word, lastNameLength_));
}

// digit { digit | '_' } then one of
//   '#' based { based } [ '.' based { based } ] '#' [exponent]   (without the closing '#',
//                                                                 the leading digits alone)
//   '.' digit { digit | '_' } [exponent]
//   base '"' ...                                                  (a bit-string literal)
//   [exponent]
// where exponent is ( 'E' | 'e' ) [ '+' | '-' ] digit { digit | '_' }.
bool Lexer::number(Token* token) {
  const auto is = [this](const Byte* q, unsigned char cls) { return (classes_[*q] & cls) != 0; };
  const auto exponent = [&](const Byte* q) {
    if ((*q | 0x20) != 'e') return q;
    const Byte* r = q + 1;
    if (*r == '+' || *r == '-') ++r;
    if ((classes_[*r] & startMask) != digit) return q;
    while (is(r, digitByte)) ++r;
    return r;
  };
  before_ = Before::other;
  const Byte* q = p_ + 1;
  while (is(q, digitByte)) ++q;
  if (*q == '#') {
    const Byte* r = q + 1;
    while (is(r, basedByte)) ++r;
    if (*r == '.') {
      ++r;
      while (is(r, basedByte)) ++r;
    }
    if (*r == '#' && r > q + 1) q = exponent(r + 1);
  } else if (*q == '.' && (classes_[q[1]] & startMask) == digit) {
    q += 2;
    while (is(q, digitByte)) ++q;
    q = exponent(q);
  } else if (const std::size_t n = baseSpecifierLength(q); n != 0 && q[n] == '"') {
    return bitString(token, q + n);
  } else {
    q = exponent(q);
  }
  return yield(token, TokenKind::number, q);
}

}  // namespace mervik::analysis
