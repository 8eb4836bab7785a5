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

// A basic identifier glued to the closing backslash of an extended one has lost its first
// byte's place to that name's terminator, so it is kept here instead. The name tables point
// at these copies like at the text: they live until the next scan begins, by which time the
// next source's layout has reset the tables.
std::vector<std::unique_ptr<char[]>>& gluedNames() {
  static std::vector<std::unique_ptr<char[]>> names;
  return names;
}

// Copies a glued basic identifier: its first letter survives only in the scan's memory, its
// rest is already terminated and folded in the text.
const char* keepGluedName(char first, const char* rest) {
  const std::string_view tail(rest);
  auto copy = std::make_unique<char[]>(tail.size() + 2);
  copy[0] = folded(first);
  tail.copy(copy.get() + 1, tail.size());
  copy[tail.size() + 1] = '\0';
  gluedNames().push_back(std::move(copy));
  return gluedNames().back().get();
}

// What the scan keeps while the lexer walks the text: the comment count and where the last
// extended identifier put its terminator.
struct Scan {
  LineIndex& lines;
  NameTables& names;
  WarningLog& warnings;
  int commentCnt = 0;
  char* terminated = nullptr;  // the byte after the last extended identifier, now a zero
  char overwritten = '\0';     // what that byte held
  bool failed = false;         // the name tables could not grow
};

// The line a token begins on, asked with the position just after its first character.
int lineOf(Scan& s, const Token& token) { return s.lines.lineIndex(-1, token.start + 1); }

void warn(Scan& s, WarningKind kind, const Token& token) {
  if (token.lineEnds == 0) return;
  const int line = lineOf(s, token);
  // Line 0 would reset the log; a laid-out text never puts a token before line 1.
  if (line <= 0) return;
  for (int i = 0; i < token.lineEnds; ++i) s.warnings.log(kind, line);
}

void record(Scan& s, const char* name, int line) {
  if (!s.names.recordName(name, line)) s.failed = true;
}

// Terminates the name in place behind its last byte, so the tables can point into the text.
void takeExtendedName(Scan& s, char* text, const Token& token) {
  warn(s, unterminatedExtended, token);
  char* end = text + (token.start - text) + token.length;
  s.terminated = end;
  s.overwritten = *end;
  *end = '\0';  // the closing backslash's follower, or the text's own zero byte
  record(s, token.start, lineOf(s, token));
}

// Folds the name in place; its consumed stop byte's place becomes its terminator.
void takeName(Scan& s, char* text, const Token& token) {
  char* start = text + (token.start - text);
  char* end = start + token.length;
  const bool glued = start == s.terminated;
  for (char* p = glued ? start + 1 : start; p != end; ++p) *p = folded(*p);
  *end = '\0';
  if (token.quoted) return;
  const char* name = glued ? keepGluedName(s.overwritten, start + 1) : start;
  record(s, name, lineOf(s, token));
}

}  // namespace

bool scanSource(char* text, LineIndex& lines, NameTables& names, WarningLog& warnings,
                pdf::LineSink& sink, const Navigation& navigation, std::string* err) {
  try {
    gluedNames().clear();
    Scan s{lines, names, warnings};
    Lexer lexer(text, navigation.outline ? Lexer::Symbols::yield : Lexer::Symbols::skip);
    UnitFinder units;
    std::string unit;
    const char* unitStart = nullptr;
    Token token;
    while (!s.failed && lexer.next(&token)) {
      // Before the names are folded in place: a unit's title shows them as written.
      if (navigation.outline && units.feed(token, &unit, &unitStart)) {
        sink.outlineEntry(unit, lines.lineIndex(-1, unitStart + 1));
      }
      switch (token.kind) {
        case TokenKind::comment:
          ++s.commentCnt;
          break;
        case TokenKind::literal:
          warn(s, unterminatedLiteral, token);
          break;
        case TokenKind::extendedName:
          takeExtendedName(s, text, token);
          break;
        case TokenKind::basicName:
          takeName(s, text, token);
          break;
        case TokenKind::number:
        case TokenKind::symbol:
          break;
      }
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
