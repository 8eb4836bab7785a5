// Lexical scanner: counts the comments and records the names that the lexer finds, terminating
// and folding them in place in the text buffer so that the name tables can point into it.

#include "analysis/scanner.hpp"

#include "analysis/lexer.hpp"

#include <memory>
#include <new>
#include <string_view>
#include <vector>

namespace mervik::analysis {
namespace {

// A name glued to the name before it (\a\b, a\b\) has lost its first byte's place to that
// name's terminator, so it is kept here instead. The name tables point at these copies like
// at the text: they live until the next scan begins, by which time the next source's layout
// has reset the tables.
std::vector<std::unique_ptr<char[]>>& gluedNames() {
  static std::vector<std::unique_ptr<char[]>> names;
  return names;
}

// Copies a glued name: its first byte survives only in the scan's memory, its rest is already
// terminated (and folded) in the text.
const char* keepGluedName(char first, const char* rest) {
  const std::string_view tail(rest);
  auto copy = std::make_unique<char[]>(tail.size() + 2);
  copy[0] = first;
  tail.copy(copy.get() + 1, tail.size());
  copy[tail.size() + 1] = '\0';
  gluedNames().push_back(std::move(copy));
  return gluedNames().back().get();
}

// What the scan keeps while the lexer walks the text: the comment count and where the last
// name put its terminator.
struct Scan {
  LineIndex& lines;
  NameTables& names;
  WarningLog& warnings;
  TextEncoding encoding;
  int commentCnt = 0;
  char* terminated = nullptr;  // the byte behind the last name, now a zero
  char overwritten = '\0';     // what that byte held
  bool failed = false;         // the name tables could not grow
};

// The line a token begins on, asked with the position just after its first character.
int lineOf(Scan& s, const Token& token) { return s.lines.lineIndex(-1, token.start + 1); }

void warn(Scan& s, WarningKind kind, const Token& token) {
  if (!token.unterminated) return;
  const int line = lineOf(s, token);
  // Line 0 would reset the log; a laid-out text never puts a token before line 1.
  if (line > 0) s.warnings.log(kind, line);
}

// Terminates the name in place behind its last byte, so the tables can point into the text,
// folds a basic one, and records it.
void takeName(Scan& s, char* text, const Token& token) {
  char* start = text + (token.start - text);
  char* end = start + token.length;
  const bool glued = start == s.terminated;
  char first = glued ? s.overwritten : *start;
  s.terminated = end;
  s.overwritten = *end;
  *end = '\0';  // the next token's first byte, a separator, or the text's own zero byte
  if (token.kind == TokenKind::basicName) {
    foldName(glued ? start + 1 : start, end, s.encoding);
    if (glued) foldName(&first, &first + 1, s.encoding);
  }
  const char* name = glued ? keepGluedName(first, start + 1) : start;
  if (!s.names.recordName(name, lineOf(s, token))) s.failed = true;
}

// Every token but the one the lexer has just read: its name's terminator may take the first
// byte of that one, which the lexer and the design units have seen by then.
void take(Scan& s, char* text, const Token& token) {
  switch (token.kind) {
    case TokenKind::comment:
      ++s.commentCnt;
      warn(s, unterminatedComment, token);
      break;
    case TokenKind::literal:
      warn(s, unterminatedLiteral, token);
      break;
    case TokenKind::extendedName:
      warn(s, unterminatedExtended, token);
      takeName(s, text, token);
      break;
    case TokenKind::basicName:
      takeName(s, text, token);
      break;
    case TokenKind::number:
    case TokenKind::symbol:
      break;
  }
}

}  // namespace

bool scanSource(char* text, std::size_t size, TextEncoding encoding, LineIndex& lines,
                NameTables& names, WarningLog& warnings, pdf::LineSink& sink,
                const Navigation& navigation, std::string* err) {
  try {
    gluedNames().clear();
    Scan s{lines, names, warnings, encoding};
    Lexer lexer(text, size, encoding,
                navigation.outline ? Lexer::Symbols::yield : Lexer::Symbols::skip);
    UnitFinder units;
    std::string unit;
    const char* unitStart = nullptr;
    Token token, previous;
    bool pending = false;  // `previous` is still to be taken
    while (!s.failed && lexer.next(&token)) {
      // Before any name is folded in place: a unit's title shows them as written.
      if (navigation.outline && units.feed(token, &unit, &unitStart)) {
        sink.outlineEntry(unit, lines.lineIndex(-1, unitStart + 1));
      }
      if (pending) take(s, text, previous);
      previous = token;
      pending = true;
    }
    if (pending && !s.failed) take(s, text, previous);
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
