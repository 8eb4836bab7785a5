#pragma once
// Navigation of a listing on screen: what it offers, and the design units of a source.

#include <string>

#include "analysis/lexer.hpp"

namespace mervik::analysis {

/// What the listing offers to move around in it: outline entries under each file for its
/// design units and report blocks, and links from the reports to the source lines.
struct Navigation {
  enum class Links { off, names, all };
  bool outline = false;
  Links links = Links::off;  // names: each cross-reference name; all: its line numbers too

  /// True when the writer must know where each numbered line went.
  bool anchors() const { return outline || links != Links::off; }
};

/// Finds the design units of a text in its tokens, symbols included: a statement that begins
/// (at the start of the text or after a ';', comments aside) with
///   entity N is | architecture N of E is | package N is | package body N is
///   | configuration N of E is | context N is
/// where the names are basic or extended identifiers separated by white space only. Within
/// parentheses (interface lists, whose generic packages look alike) no statement begins.
class UnitFinder {
 public:
  /// Feeds the next token. True when it completes a unit: then `title` holds its title, such
  /// as "architecture rtl of counter" with the names as written, and `start` its first word.
  bool feed(const Token& token, std::string* title, const char** start);

 private:
  enum class Step { none, entity, architecture, package, configuration, context };
  bool expect(const Token& token, std::string* title, const char** start);

  bool atStatementStart_ = true;
  int depth_ = 0;  // parentheses open
  Step step_ = Step::none;
  int words_ = 0;           // words of the unit's statement taken so far
  bool body_ = false;       // a package body
  std::string title_;
  const char* start_ = nullptr;
};

}  // namespace mervik::analysis
