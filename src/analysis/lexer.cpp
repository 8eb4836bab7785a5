// The lexical rules of VHDL as mervik reads them. One pass, one byte of look-ahead at most; the
// text is only read.

#include "analysis/lexer.hpp"

#include <array>
#include <string_view>

namespace mervik::analysis {
namespace {

enum ByteClass : unsigned char {
  letter = 1,      // A-Z, a-z
  digit = 2,       // 0-9
  nameStop = 4,    // ends a basic identifier (and is consumed with it)
  numberStop = 8,  // ends a number (and is offered to the recognisers again)
  lineEnd = 16,    // a line feed, or a control byte that the layout turns into one
  white = 32,      // starts no token and is no symbol
};

constexpr std::array<unsigned char, 256> makeByteClasses() {
  std::array<unsigned char, 256> classes{};
  for (int c = 'A'; c <= 'Z'; ++c) classes[c] |= letter;
  for (int c = 'a'; c <= 'z'; ++c) classes[c] |= letter;
  for (int c = '0'; c <= '9'; ++c) classes[c] |= digit;
  // Every byte below 0x20 or from 0x80 on ends a name: the zero byte, tab and line feed too.
  for (int c = 0; c < 0x20; ++c) classes[c] |= nameStop;
  for (int c = 0x80; c < 0x100; ++c) classes[c] |= nameStop;
  for (char c : std::string_view("\n' +-*/&!~^<=>()[]|;,:?%.")) {
    classes[static_cast<unsigned char>(c)] |= nameStop;
  }
  for (char c : std::string_view("\n */&!~^<>()[]{};,:?%")) {
    classes[static_cast<unsigned char>(c)] |= numberStop;
  }
  for (int c = 1; c < 0x20; ++c) {
    if (c != '\t') classes[c] |= lineEnd | numberStop;
  }
  for (int c = 1; c < 0x20; ++c) classes[c] |= white;
  classes[' '] |= white;
  return classes;
}

constexpr std::array<unsigned char, 256> byteClasses = makeByteClasses();

bool isA(char c, ByteClass cls) {
  return (byteClasses[static_cast<unsigned char>(c)] & cls) != 0;
}

Token tokenOf(TokenKind kind, const char* start, const char* end) {
  Token token;
  token.kind = kind;
  token.start = start;
  token.length = static_cast<std::size_t>(end - start);
  return token;
}

}  // namespace

Lexer::Lexer(const char* text, Symbols symbols) : pos_(text), symbols_(symbols) {}

// The byte at the scan position becomes the current character.
void Lexer::advance() {
  current_ = *pos_;
  if (current_ != '\0') ++pos_;
}

// Makes the byte at `p` the current character; the scan position moves past it unless it
// ends the text.
void Lexer::continueAt(const char* p) {
  pos_ = p;
  advance();
}

bool Lexer::next(Token* token) {
  for (;;) {
    const char c = current_;
    switch (c) {
      case '\0':
        return false;
      case '-':
        if (*pos_ == '-') return skipComment(token);
        break;
      case '\'':
      case '"':
        return skipLiteral(token, c);
      case '\\':
        return takeExtendedName(token);
      case '.':
        if (isA(*pos_, digit)) return skipNumber(token);
        break;
      default:
        if (isA(c, digit)) return skipNumber(token);
        if (isA(c, letter) || c == '_') return takeName(token);
    }
    if (symbols_ == Symbols::yield && !isA(c, white)) {
      *token = tokenOf(TokenKind::symbol, pos_ - 1, pos_);
      advance();
      return true;
    }
    advance();
  }
}

// "--" up to the line end; the line end stays the current character.
bool Lexer::skipComment(Token* token) {
  const char* start = pos_ - 1;
  const char* p = pos_ + 1;
  while (*p != '\0' && !isA(*p, lineEnd)) ++p;
  *token = tokenOf(TokenKind::comment, start, p);
  continueAt(p);
  return true;
}

// delimiter { byte | '\' byte } delimiter, where '\' escapes any byte but the end of the
// text. Each line end crossed (not escaped) and the end of the text draw a warning.
bool Lexer::skipLiteral(Token* token, char delimiter) {
  const char* start = pos_ - 1;
  int lineEnds = 0;
  for (const char* p = pos_;; ++p) {
    if (*p == '\0' || isA(*p, lineEnd)) {
      ++lineEnds;
      if (*p == '\0') {
        *token = tokenOf(TokenKind::literal, start, p);
        pos_ = p;
        current_ = '\0';
        break;
      }
    } else if (*p == '\\' && p[1] != '\0') {
      ++p;
    } else if (*p == delimiter) {
      *token = tokenOf(TokenKind::literal, start, p + 1);
      continueAt(p + 1);
      break;
    }
  }
  token->lineEnds = lineEnds;
  return true;
}

// ( digit | '.' digit ) { any byte but the number stop set and the end of the text }.
// The stop byte becomes the current character and is offered to the recognisers.
bool Lexer::skipNumber(Token* token) {
  const char* start = pos_ - 1;
  const char* p = current_ == '.' ? pos_ + 1 : pos_;
  while (*p != '\0' && !isA(*p, numberStop)) ++p;
  *token = tokenOf(TokenKind::number, start, p);
  continueAt(p);
  return true;
}

// '\' { byte | '\\' } '\', case kept, backslashes included. Runs on over line ends (one
// warning each) and ends at the end of the text (one more warning). The byte after the
// closing backslash becomes the current character.
bool Lexer::takeExtendedName(Token* token) {
  const char* start = pos_ - 1;
  int lineEnds = 0;
  const char* p = pos_;
  for (; *p != '\0'; ++p) {
    if (isA(*p, lineEnd)) {
      ++lineEnds;
    } else if (*p == '\\') {
      if (p[1] != '\\') break;
      ++p;
    }
  }
  if (*p == '\0') {
    *token = tokenOf(TokenKind::extendedName, start, p);
    ++lineEnds;
    pos_ = p;
    current_ = '\0';
  } else {
    *token = tokenOf(TokenKind::extendedName, start, p + 1);
    continueAt(p + 1);
  }
  token->lineEnds = lineEnds;
  return true;
}

// ( letter | '_' ) { any byte but a name stop byte }. The stop byte is consumed: it is not
// offered to any recogniser, and a blank stands in as the current character.
bool Lexer::takeName(Token* token) {
  const char* start = pos_ - 1;
  bool quoted = false;
  const char* p = pos_;
  for (; !isA(*p, nameStop); ++p) quoted = quoted || *p == '"';
  *token = tokenOf(TokenKind::basicName, start, p);
  token->stop = *p;
  token->quoted = quoted;
  const bool atEnd = *p == '\0';
  current_ = atEnd ? '\0' : ' ';
  pos_ = atEnd ? p : p + 1;
  return true;
}

}  // namespace mervik::analysis
