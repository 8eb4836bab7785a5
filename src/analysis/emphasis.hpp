#pragma once
// Emphasis of the numbered source lines: the names of chosen resource tables in bold, the
// comments oblique.

#include <cstddef>
#include <string>
#include <vector>

#include "analysis/lexer.hpp"
#include "analysis/names.hpp"
#include "pdf/line_sink.hpp"

namespace mervik::analysis {

/// What the resource file asks to emphasise. The classes hold every name of the resource
/// tables with the number of the table that declares it, excluded tables too, entered exactly
/// as exactTable and wildTable are: a name is classed here the way the cross-reference
/// classes it, and a name it finds in no table belongs to `defaultTable`.
struct EmphasisRules {
  NameTable exactClasses;
  NameTable wildClasses;
  std::vector<bool> boldTable;  // by table number
  bool obliqueComments = false;
  int defaultTable = 0;

  /// True when anything at all is emphasised.
  bool active() const;
  /// True when the folded (basic) or as-written (extended) name is drawn bold.
  bool isBold(const char* name);
};

/// The face of each byte of one text, asked in text order: the layout's companion. It reads
/// the text (`size` bytes and a zero byte) with the lexer.
class FaceWalker {
 public:
  FaceWalker(EmphasisRules& rules, const char* text, std::size_t size, TextEncoding encoding);
  /// The face of the byte at `p`; `p` never moves backwards from one call to the next.
  pdf::Face faceAt(const char* p) {
    while (p >= spanEnd_ && !done_) nextSpan();
    return p >= spanStart_ && p < spanEnd_ ? spanFace_ : pdf::regular;
  }

 private:
  void nextSpan();

  EmphasisRules& rules_;
  Lexer lexer_;
  const char* spanStart_;
  const char* spanEnd_;
  pdf::Face spanFace_ = pdf::regular;
  bool done_ = false;
  std::string folded_;  // a name folded for its lookup
};

}  // namespace mervik::analysis
