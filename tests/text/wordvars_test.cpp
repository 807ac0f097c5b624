#include <gtest/gtest.h>

#include "text/kvword.h"
#include "values/paramcollection.h"
#include "values/params.h"

namespace orba {
namespace {

// The shown text of a word: characters, generated ones in brackets, line breaks as '|'.
std::string Shown(const TKvWord& word) {
  std::string out;
  for (size_t i = 0; i < word.GlyphCount(); ++i) {
    const TWdGlyph& g = *word.Glyph(i);
    if (g.Type == TGlyphType::Var) {
      out += '$';
      continue;
    }
    std::string c = g.Type == TGlyphType::Return ? "|" : "";
    if (g.Type == TGlyphType::Char) {
      const uint16_t code = static_cast<const TWdChar&>(g).Code;
      if (code > 0xFF) c += static_cast<char>(code >> 8);
      c += static_cast<char>(code & 0xFF);
    }
    out += g.Generated ? "[" + c + "]" : c;
  }
  return out;
}

TEST(KvWordVariables, ShownFrozenAndIndexed) {
  TParamCollection vars;
  TCustomParam* n = vars.AddVariable(PT_INT, "n")->Param();
  n->SetInt(41);
  vars.AddVariable(PT_STR, "s")->Param()->SetString("x\ry\x01\x95\x5C");
  TKvWord word;
  word.SetText({"a<VAR NAME=\"n + 1\">b<WAIT VALUE=9><VAR NAME=s></WAIT>c<VAR NAME=\"(\">"});
  word.UpdateVariables(0, word.GlyphCount() - 1, &vars);
  // A CR is a line break, other bytes below 32 are dropped, a bad expression shows nothing.
  EXPECT_EQ(Shown(word), "a$[4][2]b$[x][|][y][\x95\x5C]c$");
  EXPECT_EQ(static_cast<const TWdChar&>(*word.Glyph(6)).Wait, 9);
  EXPECT_EQ(static_cast<const TWdChar&>(*word.Glyph(6)).Style, static_cast<const TWdOpeVar&>(*word.Glyph(5)).Style);
  // Stored glyphs a, $, b, $ come before the second 'c' whatever the variables show.
  EXPECT_EQ(word.SourceIndex(4), 2u);
  EXPECT_EQ(word.SourceIndex(10), 4u);
  EXPECT_EQ(word.ListIndex(2), 2u);  // right after the variable, at its first shown glyph
  EXPECT_EQ(word.ListIndex(4), 6u);

  n->SetInt(7);
  word.UpdateVariables(0, 3, &vars);  // only the first variable
  EXPECT_EQ(Shown(word), "a$[8]b$[x][|][y][\x95\x5C]c$");
  // All characters and variables share the one style, generated ones included.
  ASSERT_EQ(word.Styles().Count(), 1u);
  EXPECT_EQ(word.Styles().At(0)->RefCount, 3 + 3 + 4);  // a, b, c, three variables, four shown characters

  std::vector<std::string> frozen = {"s=kept"};
  word.FreezeVariables(frozen);
  EXPECT_EQ(frozen, (std::vector<std::string>{"s=kept", "n + 1=8", "(="}));

  TKvWord history;
  history.SetText({"a<VAR NAME=\"n + 1\">b<VAR NAME=s>c"});
  history.FrozenValues = {"n + 1=8", "s=x\x01y"};
  history.UpdateVariables(0, history.GlyphCount() - 1, &vars);
  EXPECT_EQ(Shown(history), "a$[8]b$[x][|][y]c");
}

TEST(KvWordVariables, CopiesTakeStylesByValue) {
  TParamCollection vars;
  vars.AddVariable(PT_INT, "n")->Param()->SetInt(5);
  TKvWord source;
  source.SetText({"<B>a<VAR NAME=n></B><BR>b<EVENT VALUE=e END>"});
  source.UpdateVariables(0, source.GlyphCount() - 1, &vars);
  TKvWord target;
  target.SetText({"<B>x</B>"});
  target.CopyGlyphs(source, 1, source.GlyphCount() - 1);  // from the variable on
  EXPECT_EQ(Shown(target), "x$|b");
  ASSERT_EQ(target.GlyphCount(), 5u);
  EXPECT_EQ(StyleOf(*target.Glyph(1)), StyleOf(*target.Glyph(0))) << "the bold style is shared by value";
  EXPECT_EQ(target.Styles().Count(), 2u);
  EXPECT_EQ(target.Styles().IndexOf(StyleOf(*target.Glyph(3))), 1);
  EXPECT_EQ(static_cast<const TWdOpeVar&>(*target.Glyph(1)).Name, "n");
  EXPECT_TRUE(static_cast<const TWdOpeEvent&>(*target.Glyph(4)).IsEnd);
  target.UpdateVariables(0, target.GlyphCount() - 1, &vars);
  EXPECT_EQ(Shown(target), "x$[5]|b");
}

}  // namespace
}  // namespace orba
