// End-to-end: how a source is read, as its listing reports it: statistics, warnings,
// cross-reference and the design units of the outline.

#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "support/workspace.hpp"

namespace mervik::test {

// Each file's reports from "TEXT STATISTICS" on, a line each with its blanks squeezed, then
// "#" and its design units from the outline.
std::vector<std::string> reports(const Pdf& pdf) {
  std::vector<std::string> out;
  bool inReport = false;
  for (const DrawnLine& line : pdf.lines()) {
    if (line.text == "TEXT STATISTICS") out.emplace_back(), inReport = true;
    if (line.text.rfind("   1 | ", 0) == 0) inReport = false;
    if (!inReport || line.text.empty()) continue;
    std::string squeezed;
    for (char c : line.text)
      if (c != ' ' || (!squeezed.empty() && squeezed.back() != ' ')) squeezed += c;
    if (!squeezed.empty() && squeezed.back() == ' ') squeezed.pop_back();
    out.back() += (out.back().empty() ? "" : "|") + squeezed;
  }
  size_t file = 0;
  for (const OutlineEntry& e : pdf.outlines) {
    if (e.depth == 0) ++file;
    if (e.depth == 1 && file <= out.size() && e.title != "TEXT STATISTICS" &&
        e.title != "WARNINGS" && e.title != "SYMBOL TABLE")
      out[file - 1] += "#" + e.title;
  }
  return out;
}

TEST(Reading, CommentsLiteralsAndNamesAreReadAsVhdlDefinesThem) {
  const std::string head = "TEXT STATISTICS|", lexical = "|LEXICAL STATISTICS|";
  const std::string control = "control character ignored", literal =
      "end of line within character or string constant";
  const std::pair<std::string, std::string> cases[] = {
      // Every byte is read: a zero byte is a control character; controls separate tokens.
      {std::string("entity z is\0end;\nx\0<=\x01y\x0c;\r\n", 27),
       head + "27 characters|2 lines" + lexical + "0 comments|WARNINGS|line 1 : " + control +
           "|line 2 : " + control + "|line 2 : " + control + "|line 2 : " + control +
           "|SYMBOL TABLE|end 1|entity 1|is 1|x 2|y 2|z 1#entity z"},
      // Comments: "--" after a name, "/* */" across lines, one left open.
      {"a--b\nif x then-- the rest is <0.5\n/* block\n  -- still */ c /* one */ d\ne /* open\nf\n",
       head + "83 characters|6 lines" + lexical + "5 comments|WARNINGS|line 5 : end of text "
           "within comment|SYMBOL TABLE|a 1|c 4|d 4|e 5|if 2|then 2|x 2"},
      // Latin-1 letters, folded; the multiplication sign and the no-break space separate.
      {"signal \xE9tat, caf\xE9 : bit;\nCAF\xC9 <= \xC9TAT\xD7x;\na\xA0" "b\n",
       head + "45 characters|3 lines" + lexical + "0 comments|SYMBOL TABLE|\xE9tat 1 2|a 3|b 3|"
           "bit 1|caf\xE9 1 2|signal 1|x 2"},
      // The same in UTF-8, with a byte order mark and a character literal of two bytes.
      {"\xEF\xBB\xBF" "entity u is end; -- \xE2\x80\x93\n\xC3\xA9tat <= '\xC3\xA9' when "
       "CAF\xC3\x89 = '\xC3\xA9';\n",
       head + "60 characters|2 lines" + lexical + "1 comments|SYMBOL TABLE|\xE9tat 2|caf\xE9 2|"
           "end 1|entity 1|is 1|u 1|when 2#entity u"},
      // Extended identifiers: "\\" is one backslash; a line end ends one; ';' right behind one.
      {"entity \\Foo\\ is end entity \\Foo\\;\narchitecture rtl of \\Foo\\ is\n"
       "  signal \\a\\\\b\\ : bit;\n  alias x is \\open\nbegin end;\n",
       head + "116 characters|5 lines" + lexical + "0 comments|WARNINGS|line 4 : end of line "
           "within extended identifier|SYMBOL TABLE|\\Foo\\ 1+ 2|\\a\\\\b\\ 3|\\open 4|alias 4|"
           "architecture 2|begin 5|bit 3|end 1 5|entity 1+|is 1 2 4|of 2|rtl 2|signal 3|x 4"
           "#entity \\Foo\\#architecture rtl of \\Foo\\"},
      // Strings without escapes, attribute marks, character literals, a lone apostrophe.
      {"s <= \"C:\\\" & \"\"\"\" & t;\nif clk'event and v(3 downto 0)'length = p.all'length then\n"
       "u := t'(others => '0') & '\\' & ''' & '\"';\nw := 'ab' & \"open\ny;\n",
       head + "144 characters|5 lines" + lexical + "0 comments|WARNINGS|line 4 : " + literal +
           "|line 4 : " + literal + "|SYMBOL TABLE|ab 4|all 2|and 2|clk 2|downto 2|event 2|"
           "if 2|length 2+|others 3|p 2|s 1|t 1 3|then 2|u 3|v 2|w 4|y 5"},
      // Numbers end before '+' and '-'; bit-string literals; '#', '$' and '`' record nothing.
      {"a(31-tag_width_c downto 32-(tag_width_c + 1)) := X\"AB\" & 12UX\"F-\" & b\"0101\" & "
       "bx\"01\";\nr := 1.5E-3 + 16#FF# + 16#FF + 10ns + 2#1.1#E2;\n"
       "return (1.0+X)/(1.0-X); p$q`r#s\n",
       head + "166 characters|3 lines" + lexical + "0 comments|SYMBOL TABLE|a 1|bx 1|downto 1|"
           "ff 2|ns 2|p 3|q 3|r 2 3|return 3|s 3|tag_width_c 1+|x 3+"},
  };
  Workspace f;
  std::vector<std::string> names;
  for (size_t i = 0; i < std::size(cases); ++i) {
    names.push_back("c" + std::to_string(i) + ".vhd");
    f.source(names.back(), cases[i].first);
  }
  ASSERT_EQ(f.run(names).status, 0);
  const std::vector<std::string> made = reports(f.pdf());
  ASSERT_EQ(made.size(), std::size(cases));
  for (size_t i = 0; i < made.size(); ++i) EXPECT_EQ(made[i], cases[i].second) << names[i];
}

}  // namespace mervik::test
