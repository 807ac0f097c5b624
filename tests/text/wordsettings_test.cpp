// The settings records of words and labels at each version gate, with byte counts worked
// out from the record layouts, and label lines rendered and drawn with known glyphs.
#include <gtest/gtest.h>

#include "base/binio.h"
#include "base/error.h"
#include "base/stream.h"
#include "render/dibsfc.h"
#include "support/block_fonts.h"
#include "support/fuzz_seeds.h"
#include "text/kvlabel.h"
#include "text/kvword.h"

namespace orba {
namespace {

std::vector<uint8_t> SaveWord(const TKvWord& word, int version) {
  TKvMemoryStream stream;
  word.SaveSettings(stream, version);
  return stream.TakeBytes();
}

TEST(WordSettings, FieldsAtEachVersionGate) {
  TKvWord word;
  word.DefaultFontName = "abc";
  int32_t value = 1;
  for (int32_t* field : {&word.ClipX, &word.ClipY, &word.DefaultSize, &word.DefaultColor, &word.PageHeight,
                         &word.PageWidth, &word.Quality, &word.LineSpace, &word.LinkColor, &word.HoverColor,
                         &word.FadeTime, &word.DefaultBorderColor, &word.Alpha, &word.CaretX, &word.CaretY,
                         &word.SpeedRatio, &word.DefaultShadowColor, &word.DefaultBorderWidth, &word.DefaultShadow})
    *field = value++;
  word.Paging = false;
  word.Paused = true;
  word.EventsEnabled = false;
  // 3 int32, the name (4 + 3), 5 int32, a byte, 5 int32, a byte, the caret (2 int32), 1
  // int32, a byte: 74 bytes; then the shadow colour from 110, border and shadow above 110.
  struct Gate {
    int version;
    size_t bytes;
  };
  for (Gate g : {Gate{109, 74}, Gate{110, 78}, Gate{111, 86}}) {
    const auto bytes = SaveWord(word, g.version);
    std::vector<uint8_t> seed{0, static_cast<uint8_t>(g.version), 0};
    seed.insert(seed.end(), bytes.begin(), bytes.end());
    testing_support::ExpectFuzzSeed("text_settings", "word" + std::to_string(g.version), seed);
    EXPECT_EQ(bytes.size(), g.bytes) << g.version;
    TKvWord loaded;
    TKvViewStream in(bytes);
    loaded.LoadSettings(in, g.version);
    EXPECT_EQ(in.GetPosition(), static_cast<int64_t>(bytes.size()));
    EXPECT_EQ(SaveWord(loaded, g.version), bytes) << g.version;
    EXPECT_EQ(loaded.DefaultShadowColor, g.version >= 110 ? word.DefaultShadowColor : 0);
    EXPECT_EQ(loaded.DefaultBorderWidth, g.version > 110 ? word.DefaultBorderWidth : 0);
    EXPECT_EQ(loaded.EventsEnabled, false);
    EXPECT_EQ(loaded.SpeedRatio, word.SpeedRatio);
  }
  // A short record raises and changes nothing.
  auto bytes = SaveWord(word, 111);
  bytes.pop_back();
  TKvWord loaded;
  TKvViewStream in(bytes);
  EXPECT_THROW(loaded.LoadSettings(in, 111), EReadError);
  EXPECT_EQ(loaded.ClipX, 0);
  EXPECT_EQ(loaded.PageWidth, 0);
}

// A label settings record written by hand.
std::vector<uint8_t> LabelRecord(int32_t quality, bool withShadow, uint8_t metricsFill = 0) {
  TKvMemoryStream s;
  TBinaryWriter out(s);
  out.I32(quality);
  out.I32(2);    // border width
  out.I32(200);  // alpha
  out.I32(18);   // font height
  out.String("abc");
  out.I32(0x112233);
  out.I32(0x445566);
  out.U8(DF_BOLD);
  const std::vector<uint8_t> metrics(212, metricsFill);
  out.Write(metrics.data(), 212);
  if (withShadow) {
    out.I32(3);
    out.I32(0x778899);
  }
  return s.TakeBytes();
}

TEST(LabelSettings, QualityBefore109ShadowFrom122AndMetricsNotTrusted) {
  struct QualityCase {
    int version;
    int32_t stored, read;
  };
  const QualityCase cases[] = {{108, 0, 0}, {108, 1, 0}, {108, 2, 3}, {108, 3, 3}, {109, 1, 1}, {109, 2, 2}};
  for (const QualityCase& c : cases) {
    TKvLabelList label;
    const auto record = LabelRecord(c.stored, false);
    TKvViewStream in(record);
    label.LoadSettings(in, c.version);
    EXPECT_EQ(label.Quality, c.read) << c.version << " " << c.stored;
  }
  for (int version : {108, 122}) {
    std::vector<uint8_t> seed{1, static_cast<uint8_t>(version), 0};
    const auto bytes = LabelRecord(2, version >= 122);
    seed.insert(seed.end(), bytes.begin(), bytes.end());
    testing_support::ExpectFuzzSeed("text_settings", "label" + std::to_string(version), seed);
  }
  TKvLabelList label;
  const auto record = LabelRecord(2, true, 0xEE);
  TKvViewStream in(record);
  label.LoadSettings(in, 122);
  EXPECT_EQ(in.GetPosition(), static_cast<int64_t>(record.size()));
  EXPECT_EQ(label.BorderWidth, 2);
  EXPECT_EQ(label.Alpha, 200);
  EXPECT_EQ(label.FontHeight, 18);
  EXPECT_EQ(label.FontName, "abc");
  EXPECT_EQ(label.Color, 0x112233);
  EXPECT_EQ(label.BorderColor, 0x445566);
  EXPECT_EQ(label.Style, DF_BOLD);
  EXPECT_EQ(label.Shadow, 3);
  EXPECT_EQ(label.ShadowColor, 0x778899);
  // Written back: the stored metrics are ours (nothing measured yet), not the 0xEE read.
  TKvMemoryStream out;
  label.SaveSettings(out);
  auto expected = LabelRecord(2, true);
  std::vector<uint8_t> ours(212, 0);
  ours[0] = 212;
  std::copy(ours.begin(), ours.end(), expected.begin() + 4 * 4 + 4 + 3 + 4 * 2 + 1);
  EXPECT_EQ(out.Bytes(), expected);
  // A record cut inside the metrics raises and leaves the label.
  TKvLabelList untouched;
  auto cut = LabelRecord(2, false);
  cut.resize(cut.size() - 10);
  TKvViewStream cutIn(cut);
  EXPECT_THROW(untouched.LoadSettings(cutIn, 121), EReadError);
  EXPECT_EQ(untouched.FontHeight, 12);
}

using Labels = WithBlockFonts;

TEST_F(Labels, LinesAreRenderedWithRoomForTheDecorationAndDrawnWithTheLabelsAlpha) {
  TDIBSurface target(20, 10, 32);
  TKvLabelList label;
  label.Target = &target;
  label.FontHeight = 4;
  label.Quality = 0;
  label.Color = 0x0000FF;  // red
  label.SetLines({"ab", "c d"});
  label.Render();
  EXPECT_EQ(label.Line(0).Advances, (std::vector<int32_t>{4, 4}));
  EXPECT_EQ(label.Line(0).Colour.Width(), 8);
  EXPECT_EQ(label.Line(0).Colour.Height(), 4);
  EXPECT_EQ(label.Line(1).Colour.Width(), 12);
  EXPECT_EQ(label.Metrics().CellHeight, 4);
  const auto stored = label.Metrics().Stored();
  EXPECT_EQ(stored[4], 4) << "the cell height follows the record size";
  label.Alpha = 128;
  label.Draw(2, 3, 0);
  EXPECT_EQ(target.PixelToRGB(target.GetPixel(2, 3), false), (TRGB{128, 0, 0}));  // 255 × 128 / 255
  EXPECT_EQ(target.PixelToRGB(target.GetPixel(1, 3), false), (TRGB{0, 0, 0}));

  // An outline of 1 and a shadow of 2 widen the line by 2 + 2 and draw from the colour bitmap.
  label.BorderWidth = 1;
  label.BorderColor = 0xFF0000;  // blue
  label.Shadow = 2;
  label.ShadowColor = 0x00FF00;
  label.Alpha = 255;
  label.Invalidate();
  label.Render();
  EXPECT_EQ(label.Line(0).Colour.Width(), 12);
  EXPECT_EQ(label.Line(0).Colour.Height(), 8);
  TDIBSurface second(20, 10, 24);
  label.Target = &second;
  label.Draw(0, 0, 0);
  EXPECT_EQ(second.PixelToRGB(second.GetPixel(0, 0), false), (TRGB{0, 0, 255}));   // outline
  EXPECT_EQ(second.PixelToRGB(second.GetPixel(1, 1), false), (TRGB{255, 0, 0}));   // face
  EXPECT_EQ(second.PixelToRGB(second.GetPixel(11, 7), false), (TRGB{0, 255, 0}));  // shadow
}

}  // namespace
}  // namespace orba
