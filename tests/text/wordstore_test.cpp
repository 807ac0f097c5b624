#include <gtest/gtest.h>

#include "base/error.h"
#include "base/stream.h"
#include "text/kvword.h"
#include "support/fuzz_seeds.h"

namespace orba {
namespace {

// A word with every stored glyph type and styles that use every gated field.
const std::vector<std::string> kSource = {
    "<FONT SIZE=20 COLOR=#FF0000 BORDER=4 SHADOW=2 SCOLOR=#0000FF NAME=abc><A HREF=go>a</A></FONT>"
    "<DIV ALIGN=CENTER><BR CLEAR><INDENT><UNDENT><EVENT VALUE=e END>"
    "<WAIT VALUE=7><A HREF=v><VAR NAME=\"x + 1\"></A></WAIT><IMG SRC=p.png ALIGN=TOP>"};

std::vector<uint8_t> Save(const TKvWord& word, int version) {
  TKvMemoryStream stream;
  word.SaveGlyphs(stream, version);
  return stream.TakeBytes();
}

void Load(TKvWord& word, const std::vector<uint8_t>& bytes) {
  TKvViewStream stream(bytes);
  word.LoadGlyphs(stream);
}

// Little-endian bytes written by hand.
struct Bytes {
  std::vector<uint8_t> b;
  Bytes& Raw(std::string_view s) { b.insert(b.end(), s.begin(), s.end()); return *this; }
  Bytes& U8(uint8_t v) { b.push_back(v); return *this; }
  Bytes& U16(uint16_t v) { return U8(v & 0xFF).U8(v >> 8); }
  Bytes& I32(int32_t v) {
    for (int i = 0; i < 4; ++i) U8(static_cast<uint8_t>(static_cast<uint32_t>(v) >> (8 * i)));
    return *this;
  }
  Bytes& Str(std::string_view s) { return I32(static_cast<int32_t>(s.size())).Raw(s); }
};

TEST(GlyphList, RoundTripAtEachVersionGate) {
  TKvWord source;
  source.SetText(kSource);
  for (int version : {0, 99, 100, 101, 102}) {
    SCOPED_TRACE(version);
    const std::vector<uint8_t> bytes = Save(source, version);
    TKvWord word;
    Load(word, bytes);
    EXPECT_EQ(Save(word, version), bytes) << "a second write differs";
    ASSERT_EQ(word.GlyphCount(), source.GlyphCount());
    const auto& a = static_cast<const TWdChar&>(*word.Glyph(0));
    EXPECT_EQ(a.Code, 'a');
    EXPECT_EQ(a.Link, "go");
    EXPECT_EQ(a.Style->Size, 20);
    EXPECT_EQ(a.Style->Color, 0x0000FF);
    EXPECT_EQ(a.Style->FontName, "abc");
    EXPECT_EQ(a.Style->BorderWidth, version <= 99 ? 1 : 4);  // a byte flag before 100
    EXPECT_EQ(a.Style->Shadow, version >= 100 ? 2 : -1);
    EXPECT_EQ(a.Style->ShadowColor, version >= 100 ? 0xFF0000 : -1);
    EXPECT_EQ(static_cast<const TWdOpeAlign&>(*word.Glyph(1)).Align, AL_CENTER);
    EXPECT_EQ(static_cast<const TWdOpeReturn&>(*word.Glyph(2)).Clear, 1);
    const auto& event = static_cast<const TWdOpeEvent&>(*word.Glyph(5));
    EXPECT_EQ(event.Value, "e");
    EXPECT_TRUE(event.IsEnd);
    const auto& var = static_cast<const TWdOpeVar&>(*word.Glyph(6));
    EXPECT_EQ(var.Wait, version > 100 ? 7 : 0);
    EXPECT_EQ(var.Link, version > 100 ? "v" : "");
    EXPECT_EQ(var.Name, version >= 102 ? "x + 1" : "");
    EXPECT_EQ(var.Compiled != nullptr, version < 102);
    const auto& img = static_cast<const TWdImg&>(*word.Glyph(7));
    EXPECT_EQ(img.Src, "p.png");
    EXPECT_EQ(img.Align, AL_TOP);
  }
}

// One style, then a character, an end event, a variable and an image, in stored order.
Bytes HandList102() {
  Bytes b;
  b.Raw("KvWord102").I32(1);
  b.I32(2).I32(0x0000FF).I32(-1).I32(20).U8(DF_BOLD).U8(1).I32(3).Str("abc").Str("r").I32(2).I32(0x102030);
  b.I32(4);
  b.U8(1).Str("go").I32(40).U16(0x955C).I32(0);
  b.U8(6).Str("\x01" "e");
  b.U8(7).I32(0).I32(9).Str("v").Str("x + 1");
  b.U8(9).Str("l").I32(5).Str("p.png").U8(AL_CENTER);
  return b;
}

TEST(GlyphList, ReadsHandWrittenFieldOrder) {
  TKvWord word;
  Load(word, HandList102().b);
  ASSERT_EQ(word.Styles().Count(), 1u);
  const TDecorate& s = *word.Styles().At(0);
  EXPECT_EQ(s.RefCount, 2);  // the character and the variable use it
  EXPECT_EQ(s.Color, 0x0000FF);
  EXPECT_EQ(s.BorderColor, -1);
  EXPECT_EQ(s.Size, 20);
  EXPECT_EQ(s.Flags, DF_BOLD);
  EXPECT_EQ(s.NoBreak, 1);
  EXPECT_EQ(s.BorderWidth, 3);
  EXPECT_EQ(s.FontName, "abc");
  EXPECT_EQ(s.Ruby, "r");
  EXPECT_EQ(s.Shadow, 2);
  EXPECT_EQ(s.ShadowColor, 0x102030);
  ASSERT_EQ(word.GlyphCount(), 4u);
  const auto& c = static_cast<const TWdChar&>(*word.Glyph(0));
  EXPECT_EQ(c.Link, "go");
  EXPECT_EQ(c.Wait, 40);
  EXPECT_EQ(c.Code, 0x955C);
  EXPECT_EQ(c.Style, &s);
  EXPECT_TRUE(static_cast<const TWdOpeEvent&>(*word.Glyph(1)).IsEnd);
  const auto& v = static_cast<const TWdOpeVar&>(*word.Glyph(2));
  EXPECT_EQ(v.Wait, 9);
  EXPECT_EQ(v.Link, "v");
  EXPECT_EQ(v.Name, "x + 1");
  const auto& img = static_cast<const TWdImg&>(*word.Glyph(3));
  EXPECT_EQ(img.Link, "l");
  EXPECT_EQ(img.Wait, 5);
  EXPECT_EQ(img.Src, "p.png");
  EXPECT_EQ(img.Align, AL_CENTER);
  EXPECT_EQ(Save(word, 102), HandList102().b);
}

TEST(GlyphList, WithoutHeaderIsVersionZero) {
  Bytes b;
  b.I32(1).I32(1).I32(-1).I32(-1).I32(0).U8(0).U8(0).U8(5).Str("").Str("");
  b.I32(1).U8(1).Str("").I32(0).U16('z').I32(0);
  TKvWord word;
  Load(word, b.b);
  ASSERT_EQ(word.GlyphCount(), 1u);
  EXPECT_EQ(static_cast<const TWdChar&>(*word.Glyph(0)).Style->BorderWidth, 1);
}

TEST(GlyphList, AppendsWithStyleBase) {
  TKvWord word;
  word.SetText({"<B>x"});
  Load(word, HandList102().b);
  EXPECT_EQ(word.StyleBase, 1);
  ASSERT_EQ(word.Styles().Count(), 2u);
  EXPECT_EQ(static_cast<const TWdChar&>(*word.Glyph(1)).Style, word.Styles().At(1));
}

TEST(GlyphList, RefusesWholeAndLeavesTheWord) {
  struct Case {
    const char* what;
    Bytes bytes;
  } cases[] = {
      {"unknown glyph type", Bytes().Raw("KvWord102").I32(0).I32(2).U8(4).U8(8).U8(4)},
      {"style index past the styles", Bytes().Raw("KvWord102").I32(0).I32(1).U8(1).Str("").I32(0).U16('a').I32(1)},
      {"negative style index", Bytes().Raw("KvWord102").I32(0).I32(1).U8(7).I32(-1).I32(0).Str("").Str("x")},
      {"style count past the end", Bytes().Raw("KvWord102").I32(1000).I32(0)},
      {"glyph count past the end", Bytes().Raw("KvWord102").I32(0).I32(5).U8(4)},
      {"negative count", Bytes().Raw("KvWord102").I32(-1)},
      {"string past the end", Bytes().Raw("KvWord102").I32(0).I32(1).U8(6).I32(100).Raw("ab")},
      {"bad version digits", Bytes().Raw("KvWord1x2").I32(0).I32(0)},
  };
  for (Case& c : cases) {
    TKvWord word;
    word.SetText({"ab"});
    EXPECT_THROW(Load(word, c.bytes.b), EReadError) << c.what;
    EXPECT_EQ(word.GlyphCount(), 2u) << c.what;
    EXPECT_EQ(word.Styles().Count(), 1u) << c.what;
  }
}

// The seeds of the glyph list fuzz target, one a version gate, made by our writer.
TEST(GlyphList, FuzzSeedsAreWhatTheWriterMakes) {
  TKvWord source;
  source.SetText(kSource);
  for (int version : {0, 99, 100, 101, 102})
    testing_support::ExpectFuzzSeed("glyphlist", "v" + std::to_string(version), Save(source, version));
}

}  // namespace
}  // namespace orba
