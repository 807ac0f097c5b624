#include <gtest/gtest.h>

#include "text/tagparse.h"

namespace orba {
namespace {

using Tokens = std::vector<std::string>;

// Expected tokens worked out by hand from the rules of the tag language.
TEST(TaggedTextTokenizer, CasesTable) {
  struct Case {
    const char* what;
    std::string source;
    Tokens tokens;
  } cases[] = {
      {"spaces collapse", "a  b", {"a b"}},
      {"spaces collapse in PRE too", "<PRE>a  b</PRE>", {"<PRE>", "a b", "</PRE>"}},
      {"a line break is a space", "one\rtwo", {"one two"}},
      {"no space after a space", "a \rb", {"a b"}},
      {"no space at the start of a token", "<B>\rx", {"<B>", "x"}},
      {"PRE keeps line breaks, skips the first CR and the last break",
       "<PRE>\rone\rtwo\r</PRE>",
       {"<PRE>", "one", "<BR>", "two", "</PRE>"}},
      {"TEXTAREA cuts at line breaks without BR", "<TEXTAREA>\ra\rb</TEXTAREA>", {"<TEXTAREA>", "a", "b", "</TEXTAREA>"}},
      {"TAB dropped outside PRE", "a\tb", {"ab"}},
      {"TAB is eight spaces in PRE", "<PRE>a\tb</PRE>", {"<PRE>", "a        b", "</PRE>"}},
      {"0x14 after a space dropped", "a \x14" "b", {"a b"}},
      {"0x14 kept otherwise", "a\x14\x14" "b", {"a\x14\x14" "b"}},
      {"escaped brackets stay text", "x\\<B\\>y", {"x<B>y"}},
      {"all escapes", "\\%\\{\\}\\\\\\q", {"%{}\\\\q"}},
      {"an escaped tag alone", "\\<B\\>", {"<B>"}},
      {"comment is one token", "a<!-- <B> -->b", {"a", "<!-- <B> -->", "b"}},
      {"blocks nest", "<!--x<!--y-->z-->w", {"<!--x<!--y-->z-->", "w"}},
      {"script block", "<script>if (a<b) x();</SCRIPT>c", {"<script>if (a<b) x();</SCRIPT>", "c"}},
      {"nested brackets inside a tag", "<A HREF=<x>>y", {"<A HREF=<x>>", "y"}},
      {"quotes keep brackets and drop CR", "say \"a<B>\r b\" ok", {"say \"a<B> b\" ok"}},
      {"quoted attribute with a bracket", "<A HREF=\"a>b\">c", {"<A HREF=\"a>b\">", "c"}},
      // 表 (0x95 0x5C) and ソ (0x83 0x5C) end in the backslash byte: it is not an escape.
      {"kanji before a real escape", "\x95\x5C\\<", {"\x95\x5C<"}},
      {"kanji before a tag", "\x83\x5C<B>x", {"\x83\x5C", "<B>", "x"}},
      {"kanji inside quotes", "\"\x83\x5C\"<B>", {"\"\x83\x5C\"", "<B>"}},
      {"unclosed tag kept", "a<B", {"a", "<B"}},
  };
  for (const Case& c : cases) EXPECT_EQ(TokenizeTaggedText(c.source), c.tokens) << c.what;
}

TEST(TaggedTextTags, FieldsAndAttributes) {
  const TTag tag = ParseTag("<font size=20 color=\"#FF0000\" name='\x82\x6c\x82\x72 x' bold SIZE=30 src=\"a b>");
  EXPECT_TRUE(tag.IsTag);
  EXPECT_EQ(tag.Name, "font");
  EXPECT_EQ(tag.Value("SIZE"), "20");  // the first of a name wins
  EXPECT_EQ(tag.Value("Color"), "#FF0000");
  EXPECT_EQ(tag.Value("NAME"), "\x82\x6c\x82\x72 x");
  EXPECT_TRUE(tag.Has("BOLD"));
  EXPECT_EQ(tag.Value("BOLD"), std::nullopt);
  EXPECT_EQ(tag.Value("SRC"), "a");  // an unclosed quote runs to the next space
  EXPECT_TRUE(tag.Has("b"));  // what follows is the next field

  EXPECT_FALSE(ParseTag("<>").IsTag);
  EXPECT_FALSE(ParseTag("x<B>").IsTag);
  EXPECT_TRUE(ParseTag("<!-- x -->").IsBlock);
  EXPECT_TRUE(ParseTag("<Style>x</style>").IsBlock);
}

TEST(TaggedTextTags, ValueConversions) {
  EXPECT_EQ(TagColor("#FF0000", 7), 0x0000FF);
  EXPECT_EQ(TagColor("#123456", 7), 0x563412);
  EXPECT_EQ(TagColor("#abcdef", 7), 0xEFCDAB);
  for (const char* bad : {"red", "#12345", "#12345G", "123456", "#1234567", "#-12345"})
    EXPECT_EQ(TagColor(std::string(bad), 7), 7) << bad;
  EXPECT_EQ(TagColor(std::nullopt, 7), 7);

  EXPECT_EQ(TagNumber("20", 5), 20);
  EXPECT_EQ(TagNumber("-3", 5), -3);
  for (const char* bad : {"", "x", "20px", "99999999999"}) EXPECT_EQ(TagNumber(std::string(bad), 5), 5) << bad;

  EXPECT_EQ(UnescapeTagValue("a\\\"b\\\\c\\nd\\q"), "a\"b\\c\r\nd\\q");
  // The second byte of ソ is not a backslash: "ソn" stays as it is.
  EXPECT_EQ(UnescapeTagValue("\x83\x5Cn"), "\x83\x5Cn");
}

}  // namespace
}  // namespace orba
