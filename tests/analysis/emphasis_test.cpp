#include "analysis/emphasis.hpp"

#include <gtest/gtest.h>

#include <string>
#include <utility>

namespace mervik::analysis {

// Tables 0 (bold): entity, is, end, to_*; 1: to_int; 2 (excluded, bold): ieee; default 3.
EmphasisRules rules(bool oblique) {
  EmphasisRules r;
  r.exactClasses.setTableSize(10);
  r.wildClasses.setTableSize(10);
  for (const auto& [name, table] : {std::pair{"entity", 0}, {"is", 0}, {"end", 0},
                                    {"to_int", 1}, {"ieee", 2}})
    r.exactClasses.enterName(name)->tableNo = table;
  r.wildClasses.enterName("to_*")->tableNo = 0;
  r.boldTable = {true, false, true, false};
  r.obliqueComments = oblique;
  r.defaultTable = 3;
  return r;
}

// The face of every byte: '.' regular, 'b' bold, 'o' oblique.
std::string faces(const std::string& text, bool oblique = true) {
  EmphasisRules r = rules(oblique);
  FaceWalker walker(r, text.c_str(), text.size(), TextEncoding::eightBit);
  std::string out;
  for (const char& c : text) out += ".bo"[walker.faceAt(&c)];
  return out;
}

TEST(Emphasis, BoldNamesOfChosenTablesObliqueComments) {
  const std::pair<const char*, const char*> cases[] = {
      {"ENTITY e Is -- entity", "bbbbbb...bb.ooooooooo"},
      {"s <= \"-- is\"; -- x", "..............oooo"},  // "--" in a string starts no comment
      {"'e' \\is\\ \\Entity\\ ieee", "..................bbbb"},  // excluded tables too
      {"to_x to_int x\"is\" end_x", "bbbb..................."},  // exact name wins
      {"\xC9ND is\xA0IS", "....bb.bb"},  // an accented name is no ASCII one; the no-break space
      {"a--end\nEnd;--\x01is", ".ooooo.bbb.ooooo"},  // nor a control byte ends a comment
      {"/* is\n*/is", "oooooooobb"},
  };
  for (const auto& [text, expected] : cases) EXPECT_EQ(faces(text), expected) << text;
  EXPECT_EQ(faces("is -- is", false), "bb......");
}

}  // namespace mervik::analysis
