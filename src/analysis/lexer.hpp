#pragma once
// The lexical rules of VHDL as mervik reads them: just enough to tell comments, literals,
// numbers and names apart. The one place these rules live: the scan, the emphasis of the
// listing and its design units all read tokens from here.

#include <cstddef>

namespace mervik::analysis {

enum class TokenKind : unsigned char {
  comment,       // "--" up to the line end, which is not part of it
  literal,       // a character or string literal, its delimiters included
  number,        // up to its stop byte, which is not part of it
  extendedName,  // '\' ... '\', both backslashes included
  basicName,     // a letter or '_' up to its stop byte, which is consumed with it
  symbol,        // any other byte that is not white space (only when asked for)
};

/// A byte of a basic name as the name tables keep it: VHDL ignores the case of basic names.
inline char folded(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

struct Token {
  TokenKind kind = TokenKind::symbol;
  const char* start = nullptr;  // the token's first byte in the text
  std::size_t length = 0;       // its bytes, a consumed stop byte not included
  // literal and extendedName: the warnings it draws, one per line end it runs over and one
  // more when it runs into the end of the text.
  int lineEnds = 0;
  // basicName: the stop byte it consumed ('\0' at the end of the text); it starts no token.
  char stop = '\0';
  // basicName: it holds a double quote, so it is a bit-string literal and no name.
  bool quoted = false;
};

/// Walks a zero-terminated text token by token and never writes to it. Every control byte
/// (0x01-0x1F but tab) reads as a line feed, so the text may be read before or after the
/// layout has replaced them. A token's line is the line of its first byte.
class Lexer {
 public:
  enum class Symbols : bool { skip, yield };

  explicit Lexer(const char* text, Symbols symbols = Symbols::skip);

  /// The next token; false at the end of the text.
  bool next(Token* token);

 private:
  bool skipComment(Token* token);
  bool skipLiteral(Token* token, char delimiter);
  bool skipNumber(Token* token);
  bool takeExtendedName(Token* token);
  bool takeName(Token* token);
  void advance();
  void continueAt(const char* p);

  // Invariant: pos_ is just after the current character's place and never passes the text's
  // zero byte; once current_ is 0 the text is over. current_ is a copy: after a basic name it
  // is a blank that stands for the consumed stop byte.
  char current_ = '\n';
  const char* pos_;
  const Symbols symbols_;
};

}  // namespace mervik::analysis
