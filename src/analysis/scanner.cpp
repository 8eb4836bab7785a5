// Lexical scanner: just enough VHDL to keep comments, literals and numbers from being taken
// for names. Works in place on the text buffer, one pass, one byte of look-ahead at most.

#include "analysis/scanner.hpp"

#include <array>
#include <memory>
#include <new>
#include <string_view>
#include <vector>

namespace mervik::analysis {
namespace {

enum ByteClass : unsigned char {
  letter = 1,      // A-Z, a-z
  digit = 2,       // 0-9
  nameStop = 4,    // ends a basic identifier (and is consumed with it)
  numberStop = 8,  // ends a number (and is offered to the recognisers again)
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
  return classes;
}

constexpr std::array<unsigned char, 256> byteClasses = makeByteClasses();

bool isA(char c, ByteClass cls) {
  return (byteClasses[static_cast<unsigned char>(c)] & cls) != 0;
}

char folded(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// A basic identifier glued to the closing backslash of an extended one has lost its first
// byte's place to that name's terminator, so it is kept here instead. The name tables point
// at these copies like at the text: they live until the next scan begins, by which time the
// next source's layout has reset the tables.
std::vector<std::unique_ptr<char[]>>& gluedNames() {
  static std::vector<std::unique_ptr<char[]>> names;
  return names;
}

// Scanner state. Invariant: `pos` is just after the current character's place and never
// passes the text's zero byte; once `current` is 0 the scan is over.
struct Scanner {
  char current;
  char* pos;
  int commentCnt;
  bool failed;  // the name tables could not grow
  LineIndex& lines;
  NameTables& names;
  WarningLog& warnings;
};

// The byte at the scan position becomes the current character.
void advance(Scanner& s) {
  s.current = *s.pos;
  if (s.current != '\0') ++s.pos;
}

// Makes the byte at `p` the current character; the scan position moves past it unless it
// ends the text.
void continueAt(Scanner& s, char* p) {
  s.pos = p;
  advance(s);
}

// The line a token begins on, asked with the scan position as it was when its recognition
// began (just after its first character).
int lineAt(Scanner& s, const char* tokenPos) { return s.lines.lineIndex(-1, tokenPos); }

void warn(Scanner& s, WarningKind kind, int line) {
  // Line 0 would reset the log; a laid-out text never puts a token before line 1.
  if (line > 0) s.warnings.log(kind, line);
}

void record(Scanner& s, const char* name, int line) {
  if (!s.names.recordName(name, line)) {
    s.failed = true;
    s.current = '\0';
  }
}

// "--" up to and including the line feed; the line feed stays the current character.
bool skipComment(Scanner& s) {
  if (s.current != '-' || *s.pos != '-') return false;
  ++s.commentCnt;
  char* p = s.pos + 1;
  while (*p != '\0' && *p != '\n') ++p;
  continueAt(s, p);
  return true;
}

// delimiter { byte | '\' byte } delimiter, where '\' escapes any byte but the end of the
// text. Each line feed crossed (not escaped) and the end of the text draw a warning.
bool skipLiteral(Scanner& s, char delimiter) {
  if (s.current != delimiter) return false;
  const char* start = s.pos;
  int line = 0;  // looked up at the first warning only
  for (char* p = s.pos;; ++p) {
    if (*p == '\0' || *p == '\n') {
      if (line == 0) line = lineAt(s, start);
      warn(s, unterminatedLiteral, line);
      if (*p == '\0') {
        s.pos = p;
        s.current = '\0';
        return true;
      }
    } else if (*p == '\\' && p[1] != '\0') {
      ++p;
    } else if (*p == delimiter) {
      continueAt(s, p + 1);
      return true;
    }
  }
}

bool skipCharLiteral(Scanner& s) { return skipLiteral(s, '\''); }

bool skipString(Scanner& s) { return skipLiteral(s, '"'); }

// ( digit | '.' digit ) { any byte but the number stop set and the end of the text }.
// The stop byte becomes the current character and is offered to the recognisers.
bool skipNumber(Scanner& s) {
  const bool pointDigit = s.current == '.' && isA(*s.pos, digit);
  if (!isA(s.current, digit) && !pointDigit) return false;
  char* p = pointDigit ? s.pos + 1 : s.pos;
  while (*p != '\0' && !isA(*p, numberStop)) ++p;
  continueAt(s, p);
  return true;
}

// '\' { byte | '\\' } '\', case kept, backslashes included. Runs on over line feeds (one
// warning each) and ends at the end of the text (one more warning). The byte after the
// closing backslash becomes the current character and its place the name's terminator.
bool takeExtendedName(Scanner& s) {
  if (s.current != '\\') return false;
  // Never the glued case: a backslash right after a closing backslash would have doubled it.
  char* name = s.pos - 1;
  const int line = lineAt(s, s.pos);
  char* p = s.pos;
  for (; *p != '\0'; ++p) {
    if (*p == '\n') {
      warn(s, unterminatedExtended, line);
    } else if (*p == '\\') {
      if (p[1] != '\\') break;
      ++p;
    }
  }
  if (*p == '\0') {
    warn(s, unterminatedExtended, line);
    s.pos = p;
    s.current = '\0';
  } else {
    continueAt(s, p + 1);
    p[1] = '\0';
  }
  record(s, name, line);
  return true;
}

// Copies a glued basic identifier: its first letter survives only as the current character,
// its rest is already terminated and folded in the text.
const char* keepGluedName(char first, const char* rest) {
  const std::string_view tail(rest);
  auto copy = std::make_unique<char[]>(tail.size() + 2);
  copy[0] = folded(first);
  tail.copy(copy.get() + 1, tail.size());
  copy[tail.size() + 1] = '\0';
  gluedNames().push_back(std::move(copy));
  return gluedNames().back().get();
}

// ( letter | '_' ) { any byte but a name stop byte }. The stop byte is consumed and its place
// terminates the name, which is folded to lower case in place. A name holding a double quote
// is a bit-string literal and not recorded.
bool takeName(Scanner& s) {
  if (!isA(s.current, letter) && s.current != '_') return false;
  char* start = s.pos - 1;
  const bool glued = *start != s.current;
  const int line = lineAt(s, s.pos);
  bool bitString = false;
  char* p = s.pos;
  for (; !isA(*p, nameStop); ++p) {
    if (*p == '"') bitString = true;
    *p = folded(*p);
  }
  const bool atEnd = *p == '\0';
  *p = '\0';
  const char* name = start;
  if (glued) {
    name = keepGluedName(s.current, s.pos);
  } else {
    *start = folded(*start);
  }
  s.current = atEnd ? '\0' : ' ';
  s.pos = atEnd ? p : p + 1;
  if (!bitString) record(s, name, line);
  return true;
}

}  // namespace

bool scanSource(char* text, LineIndex& lines, NameTables& names, WarningLog& warnings,
                pdf::LineSink& sink, std::string* err) {
  try {
    gluedNames().clear();
    Scanner s{'\n', text, 0, false, lines, names, warnings};
    while (s.current != '\0') {
      if (skipComment(s) || skipCharLiteral(s) || skipString(s) || skipNumber(s) ||
          takeExtendedName(s) || takeName(s)) {
        continue;
      }
      advance(s);
    }
    if (s.failed) {
      if (err != nullptr) *err = names.failure();
      return false;
    }
    writeStatistic(sink, "comments", s.commentCnt);
    return true;
  } catch (const std::bad_alloc&) {
    // Only names are ever stored, so this is the name tables' own failure.
    if (err != nullptr) *err = "CAN'T SET table->symbol";
    return false;
  }
}

}  // namespace mervik::analysis
