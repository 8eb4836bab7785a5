// Emphasis of the numbered source lines: the names of chosen resource tables in bold, the
// comments oblique.

#include "analysis/emphasis.hpp"

#include <algorithm>

namespace mervik::analysis {

bool EmphasisRules::active() const {
  return obliqueComments || std::find(boldTable.begin(), boldTable.end(), true) != boldTable.end();
}

bool EmphasisRules::isBold(const char* name) {
  int table = defaultTable;
  if (const NameEntry* e = exactClasses.findName(name)) {
    table = e->tableNo;
  } else if (const NameEntry* w = wildClasses.findName(name)) {
    table = w->tableNo;
  }
  return table >= 0 && static_cast<std::size_t>(table) < boldTable.size() && boldTable[table];
}

FaceWalker::FaceWalker(EmphasisRules& rules, const char* text, std::size_t size,
                       TextEncoding encoding)
    : rules_(rules),
      lexer_(text, size, encoding),
      spanStart_(text),
      spanEnd_(text) {}

// The next token that is drawn in a face of its own: a comment, or a name of a bold table.
void FaceWalker::nextSpan() {
  Token t;
  while (lexer_.next(&t)) {
    pdf::Face face = pdf::regular;
    if (t.kind == TokenKind::comment) {
      if (rules_.obliqueComments) face = pdf::oblique;
    } else if (t.kind == TokenKind::basicName || t.kind == TokenKind::extendedName) {
      // Looked up as the scan records it: a basic name folded, an extended one as written.
      folded_.assign(t.start, t.length);
      if (t.kind == TokenKind::basicName) {
        foldName(folded_.data(), folded_.data() + folded_.size(), lexer_.encoding());
      }
      if (rules_.isBold(folded_.c_str())) face = pdf::bold;
    }
    if (face != pdf::regular) {
      spanStart_ = t.start;
      spanEnd_ = t.start + t.length;
      spanFace_ = face;
      return;
    }
  }
  done_ = true;
}

}  // namespace mervik::analysis
