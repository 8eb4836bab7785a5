#pragma once
// The lexical rules of VHDL as mervik reads them. The one place these rules live: the scan,
// the emphasis of the listing and its design units all read tokens from here.

#include <cstddef>

#include "analysis/text_encoding.hpp"

namespace mervik::analysis {

enum class TokenKind : unsigned char {
  comment,       // "--" up to the line end, or "/*" through "*/"
  literal,       // a character, string or bit-string literal, its delimiters included
  number,        // an abstract literal: decimal or based, with its exponent
  extendedName,  // '\' ... '\', both backslashes included
  basicName,     // a letter or '_', then letters, digits and '_'
  symbol,        // any other character that is not white space (only when asked for)
};

/// A byte of an ASCII word folded to lower case (VHDL's keywords are ASCII).
inline char folded(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

/// Folds a basic name in place as the name tables keep it: A-Z and the Latin-1 capitals
/// (0xC0-0xDE but 0xD7) become small letters, in the text's own encoding.
void foldName(char* begin, char* end, TextEncoding encoding);

struct Token {
  TokenKind kind = TokenKind::symbol;
  const char* start = nullptr;  // the token's first byte in the text
  std::size_t length = 0;
  // It ran into a line end (a literal, an extended identifier) or into the end of the text
  // (a "/*" comment), or it is an apostrophe that opens nothing: it draws one warning.
  bool unterminated = false;
};

/// Walks a text token by token and never writes to it. The text holds `size` bytes and a zero
/// byte behind them; zero bytes within it are control characters like the others. Every
/// control character but the line feed, and the no-break space, separates tokens; none ends a
/// comment or a literal. A token's line is the line of its first byte.
class Lexer {
 public:
  enum class Symbols : bool { skip, yield };

  Lexer(const char* text, std::size_t size, TextEncoding encoding,
        Symbols symbols = Symbols::skip);

  /// The next token; false at the end of the text.
  bool next(Token* token);

  TextEncoding encoding() const { return utf8_ ? TextEncoding::utf8 : TextEncoding::eightBit; }

 private:
  using Byte = unsigned char;
  // What an apostrophe right after the previous token is.
  enum class Before : unsigned char { other, mark, basicName };

  bool yield(Token* token, TokenKind kind, const Byte* end, bool unterminated = false);
  bool lineComment(Token* token);
  bool blockComment(Token* token);
  bool string(Token* token);
  bool bitString(Token* token, const Byte* quote);
  bool tick(Token* token);
  bool extendedName(Token* token);
  bool delimited(Token* token, Byte close, TokenKind kind);
  bool name(Token* token);
  bool number(Token* token);
  const Byte* nameEnd(const Byte* p) const;
  int letterLength(const Byte* p) const;
  bool afterReservedWord() const;

  const Byte* p_;  // the next byte to read; *end_ is the zero byte behind the text
  const Byte* const end_;
  const unsigned char* const classes_;  // the byte classes of the encoding
  const bool utf8_;
  const Symbols symbols_;
  Before before_ = Before::other;
  // The last basic name, for an apostrophe behind it: its first byte is kept aside, because
  // the scan may terminate the name before it in that place.
  const Byte* lastName_ = nullptr;
  std::size_t lastNameLength_ = 0;
  Byte lastNameFirst_ = 0;
};

}  // namespace mervik::analysis
