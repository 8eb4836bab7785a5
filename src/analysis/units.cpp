// The design units of a source, found in its tokens.

#include "analysis/units.hpp"

#include <string_view>

namespace mervik::analysis {
namespace {

bool isWord(const Token& t, std::string_view word) {
  if (t.kind != TokenKind::basicName || t.length != word.size()) return false;
  for (std::size_t i = 0; i < word.size(); ++i) {
    if (folded(t.start[i]) != word[i]) return false;
  }
  return true;
}

bool isName(const Token& t) {
  return t.kind == TokenKind::basicName || t.kind == TokenKind::extendedName;
}

}  // namespace

bool UnitFinder::feed(const Token& token, std::string* title, const char** start) {
  if (token.kind == TokenKind::comment) return false;
  bool found = false;
  if (step_ != Step::none) {
    found = expect(token, title, start);
  } else if (atStatementStart_) {
    static const std::pair<std::string_view, Step> openers[] = {
        {"entity", Step::entity}, {"architecture", Step::architecture},
        {"package", Step::package}, {"configuration", Step::configuration},
        {"context", Step::context}};
    for (const auto& [word, step] : openers) {
      if (!isWord(token, word)) continue;
      step_ = step;
      words_ = 1;
      body_ = false;
      title_.assign(word);
      start_ = token.start;
    }
  }
  // The statement's structure lies in its symbols.
  const char mark = token.kind == TokenKind::symbol ? *token.start : '\0';
  // Within parentheses stand interface lists, whose package generics are no design units.
  if (mark == '(') ++depth_;
  if (mark == ')' && depth_ > 0) --depth_;
  const bool semicolon = mark == ';' && depth_ == 0;
  atStatementStart_ = semicolon;
  if (semicolon) step_ = Step::none;
  return found;
}

// The words after the opener: names where a name belongs, "of", "body" and "is" where they do.
bool UnitFinder::expect(const Token& token, std::string* title, const char** start) {
  const bool of = step_ == Step::architecture || step_ == Step::configuration;
  const int isAt = of || body_ ? 4 + of : 3;
  std::string_view word;  // a keyword, written in lower case into the title
  bool fits;
  if (words_ + 1 == isAt) {
    fits = isWord(token, "is");
  } else if (of && words_ == 2) {
    fits = isWord(token, word = "of");
  } else if (step_ == Step::package && words_ == 1 && isWord(token, "body")) {
    fits = body_ = true;
    word = "body";
  } else {
    fits = isName(token);
  }
  const bool last = fits && words_ + 1 == isAt;
  if (!fits) {
    step_ = Step::none;
    return false;
  }
  ++words_;
  if (!last) {
    title_.append(" ").append(word.empty() ? std::string_view(token.start, token.length) : word);
    return false;
  }
  step_ = Step::none;
  *title = title_;
  *start = start_;
  return true;
}

}  // namespace mervik::analysis
