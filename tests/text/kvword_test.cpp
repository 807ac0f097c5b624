#include <gtest/gtest.h>

#include "base/error.h"
#include "text/kvword.h"

namespace orba {
namespace {

// The characters of a built word with what tags gave them.
std::vector<TWdChar*> Chars(const TKvWord& word) {
  std::vector<TWdChar*> chars;
  for (size_t i = 0; i < word.GlyphCount(); ++i)
    if (word.Glyph(i)->Type == TGlyphType::Char) chars.push_back(static_cast<TWdChar*>(word.Glyph(i)));
  return chars;
}

std::vector<TGlyphType> Types(const TKvWord& word) {
  std::vector<TGlyphType> types;
  for (size_t i = 0; i < word.GlyphCount(); ++i) types.push_back(word.Glyph(i)->Type);
  return types;
}

template <typename G>
G& At(const TKvWord& word, size_t index) {
  return *static_cast<G*>(word.Glyph(index));
}

TEST(KvWordText, CharactersOneAGlyph) {
  TKvWord word;
  word.SetText({"a  \x95\x5C", "x\\<B\\>y"});
  std::vector<uint16_t> codes;
  for (TWdChar* c : Chars(word)) codes.push_back(c->Code);
  EXPECT_EQ(codes, (std::vector<uint16_t>{'a', ' ', 0x955C, ' ', 'x', '<', 'B', '>', 'y'}));
  EXPECT_EQ(word.GlyphCount(), codes.size());
  for (TWdChar* c : Chars(word)) EXPECT_EQ(c->Style->Flags, 0) << "escaped <B> must not start bold";

  word.SetText({"\\<B\\><I>y"});  // a token that is only an escaped tag is the tag
  ASSERT_EQ(word.GlyphCount(), 1u);
  EXPECT_EQ(Chars(word)[0]->Style->Flags, DF_BOLD | DF_ITALIC);
}

TEST(KvWordText, PreLinesBecomeReturns) {
  TKvWord word;
  word.SetText({"<PRE>", "one", "two</PRE>"});
  using T = TGlyphType;
  EXPECT_EQ(Types(word), (std::vector<T>{T::Char, T::Char, T::Char, T::Return, T::Char, T::Char, T::Char}));
}

TEST(KvWordText, FontPushesAndPopsSevenStacks) {
  TKvWord word;
  word.SetText({"<FONT SIZE=20><FONT COLOR=#FF0000 BCOLOR=#0000FF SCOLOR=#102030 NAME=abc BORDER=-3 SHADOW>x"
                "</FONT>y</FONT>z</FONT>w<FONT BORDER=4 SHADOW=x COLOR=red>v"});
  const auto chars = Chars(word);
  ASSERT_EQ(chars.size(), 5u);
  const TDecorate& x = *chars[0]->Style;
  EXPECT_EQ(x.Size, 20);
  EXPECT_EQ(x.Color, 0x0000FF);
  EXPECT_EQ(x.BorderColor, 0xFF0000);
  EXPECT_EQ(x.ShadowColor, 0x302010);
  EXPECT_EQ(x.FontName, "abc");
  EXPECT_EQ(x.BorderWidth, 0);  // negative becomes 0
  EXPECT_EQ(x.Shadow, 1);       // present without a value: 1
  const TDecorate& y = *chars[1]->Style;
  EXPECT_EQ(y.Size, 20);
  EXPECT_EQ(y.Color, -1);
  EXPECT_EQ(y.BorderColor, -1);
  EXPECT_EQ(y.ShadowColor, -1);
  EXPECT_EQ(y.FontName, "");
  EXPECT_EQ(y.BorderWidth, -1);
  EXPECT_EQ(y.Shadow, -1);
  // z after the outer close and w after a close of nothing share the default style.
  EXPECT_EQ(chars[2]->Style, chars[3]->Style);
  EXPECT_EQ(chars[2]->Style->Size, 0);
  EXPECT_EQ(chars[2]->Style->RefCount, 2);
  const TDecorate& v = *chars[4]->Style;
  EXPECT_EQ(v.BorderWidth, 4);
  EXPECT_EQ(v.Shadow, 1);
  EXPECT_EQ(v.Color, -1);  // "red" keeps the current colour
  EXPECT_EQ(word.Styles().Count(), 4u);
}

TEST(KvWordText, FlagsNoBreakRubyLinkAndWait) {
  TKvWord word;
  word.DefaultWait = 50;
  word.SetText({"<B>a<I>b</B><U>c<s>d</S></U></I>e"
                "<NOBR><RUBY VALUE=kana>k</RUBY></NOBR>"
                "<A HREF=\"go\\\\x\">l</a>m"
                "<WAIT VALUE=10>p<WAIT VALUE=x>q</WAIT>r</WAIT>s</WAIT>t"});
  const auto chars = Chars(word);
  ASSERT_EQ(chars.size(), 13u);
  const uint8_t flags[] = {DF_BOLD, DF_BOLD | DF_ITALIC, DF_ITALIC | DF_UNDERLINE,
                           DF_ITALIC | DF_UNDERLINE | DF_STRIKEOUT, 0};
  for (size_t i = 0; i < 5; ++i) EXPECT_EQ(chars[i]->Style->Flags, flags[i]) << i;
  EXPECT_EQ(chars[5]->Style->NoBreak, 1);
  EXPECT_EQ(chars[5]->Style->Ruby, "kana");
  EXPECT_EQ(chars[6]->Style, chars[4]->Style) << "NOBR and RUBY must end with their closing tags";
  EXPECT_EQ(chars[6]->Link, "go\\x");
  EXPECT_EQ(chars[7]->Link, "");
  const int32_t waits[] = {50, 10, 10, 10, 50, 50};
  for (size_t i = 0; i < 6; ++i) EXPECT_EQ(chars[7 + i]->Wait, waits[i]) << i;
}

TEST(KvWordText, OperationGlyphs) {
  TKvWord word;
  word.SetText({"<DIV ALIGN=right>x</DIV><DIV ALIGN=Center><DIV ALIGN=top></DIV></DIV>"
                "<BR><BR CLEAR><CLEAR><INDENT><UNDENT>"
                "<EVENT VALUE=go END><EVENT VALUE=\"a\\\\b\\n\">"
                "<FONT SIZE=9><VAR NAME=\"@x + 1\"><VAR></FONT>"
                "<IMG SRC=a.png ALIGN=top><IMG ALIGN=top><IMG SRC=b.png ALIGN=left>"
                "<blink><!-- <B> -->"});
  using T = TGlyphType;
  ASSERT_EQ(Types(word), (std::vector<T>{T::Align, T::Char, T::Align, T::Align, T::Align, T::Align, T::Align, T::Return,
                                         T::Return, T::Return, T::Indent, T::Undent, T::Event, T::Event, T::Var,
                                         T::Img, T::Img}));
  const uint8_t aligns[] = {AL_RIGHT, AL_LEFT, AL_CENTER, AL_LEFT, AL_CENTER, AL_LEFT};
  const size_t align_at[] = {0, 2, 3, 4, 5, 6};
  for (size_t i = 0; i < 6; ++i) EXPECT_EQ(At<TWdOpeAlign>(word, align_at[i]).Align, aligns[i]) << i;
  EXPECT_EQ(At<TWdOpeReturn>(word, 7).Clear, 0);
  EXPECT_EQ(At<TWdOpeReturn>(word, 8).Clear, 1);
  EXPECT_EQ(At<TWdOpeReturn>(word, 9).Clear, 1);
  EXPECT_EQ(At<TWdOpeEvent>(word, 12).Value, "go");
  EXPECT_TRUE(At<TWdOpeEvent>(word, 12).IsEnd);
  EXPECT_FALSE(At<TWdOpeEvent>(word, 13).IsEnd);
  EXPECT_EQ(At<TWdOpeEvent>(word, 13).Value, "a\\b\r\n");
  EXPECT_EQ(At<TWdOpeVar>(word, 14).Name, "@x + 1");
  EXPECT_EQ(At<TWdOpeVar>(word, 14).Style->Size, 9);
  EXPECT_EQ(At<TWdImg>(word, 15).Src, "a.png");
  EXPECT_EQ(At<TWdImg>(word, 15).Align, AL_TOP);
  EXPECT_EQ(At<TWdImg>(word, 16).Align, AL_BOTTOM);
}

TEST(KvWordText, LinkWithoutHrefStopsBuilding) {
  TKvWord word;
  try {
    word.SetText({"a<A>b"});
    FAIL() << "no error";
  } catch (const EOrbaError& e) {
    // "<A>タグにHREF値がありません"
    EXPECT_EQ(e.Message(), "<A>\x83\x5e\x83\x4f\x82\xc9HREF\x92\x6c\x82\xaa\x82\xa0\x82\xe8\x82\xdc\x82\xb9\x82\xf1");
  }
  EXPECT_EQ(word.GlyphCount(), 1u);
}

TEST(KvWordText, StylesAreInterned) {
  TKvWord word;
  word.SetText({"ab<B>cd</B>e<B>f"});
  ASSERT_EQ(word.Styles().Count(), 2u);
  EXPECT_EQ(word.Styles().At(0)->RefCount, 3);
  EXPECT_EQ(word.Styles().At(1)->RefCount, 3);
  TDecorateList& styles = word.Styles();
  TDecorate* plain = styles.At(0);
  for (int i = 0; i < 3; ++i) styles.Release(plain);
  EXPECT_EQ(styles.Count(), 1u);
  EXPECT_EQ(styles.At(0)->Flags, DF_BOLD);
}

}  // namespace
}  // namespace orba
