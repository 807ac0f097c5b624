#include <gtest/gtest.h>

#include <sys/resource.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>

#include "support/fuzz_seeds.h"
#include "base/binio.h"
#include "base/error.h"
#include "files/kvrandom.h"
#include "files/zstream.h"
#include "render/imagefiles.h"
#include "render/trn.h"

namespace orba {
namespace {

// A 24-bit picture whose every pixel differs from its neighbours.
TDIBSurface Picture(int w, int h, int salt = 0) {
  TDIBSurface s(w, h, 24);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) s.SetPixel(x, y, static_cast<uint32_t>((x * 7 + y * 131 + salt) * 2654435761u) & 0xFFFFFF);
  return s;
}

bool SamePixels(const TDIBSurface& a, const TDIBSurface& b) {
  if (a.Width() != b.Width() || a.Height() != b.Height()) return false;
  for (int y = 0; y < a.Height(); ++y)
    for (int x = 0; x < a.Width(); ++x)
      if (a.GetPixel(x, y) != b.GetPixel(x, y)) return false;
  return true;
}

TTarnFrameList RoundTrip(const TTarnFrameList& list, int32_t readSeed, int mode = 0) {
  TKvMemoryStream s;
  list.SaveToStream(s, mode, 90);
  s.SetPosition(0);
  TTarnFrameList back(readSeed);
  back.LoadFromStream(s);
  return back;
}

TEST(LayeredImage, WriterRoundTripsFramesAlphaAndSeeds) {
  TTarnFrameList list(0);
  TTarnFrame& f = list.AddFrame();
  f.Surface.Assign(Picture(13, 9));
  TTarnFrameList back = RoundTrip(list, 0);
  ASSERT_EQ(back.Count(), 1);
  EXPECT_EQ(back.Version, 106);
  EXPECT_TRUE(SamePixels(back[0].Surface, f.Surface));
  EXPECT_EQ(back[0].TransparentColor, -1);
  EXPECT_EQ(back[0].Delay, 100);
  EXPECT_EQ(back[0].Name, "Frame1");

  // With a seed the rows are stored in a drawn order: the same seed restores them, another
  // does not.
  TTarnFrameList seeded(1234);
  seeded.AddFrame().Surface.Assign(Picture(5, 40));
  seeded[0].Surface.CreateAlpha();
  for (int y = 0; y < 40; ++y) seeded[0].Surface.Alpha()->ScanLine(y)[0] = static_cast<uint8_t>(y);
  TTarnFrameList same = RoundTrip(seeded, 1234);
  EXPECT_TRUE(SamePixels(same[0].Surface, seeded[0].Surface));
  ASSERT_NE(same[0].Surface.Alpha(), nullptr);
  EXPECT_TRUE(SamePixels(*same[0].Surface.Alpha(), *seeded[0].Surface.Alpha()));
  EXPECT_FALSE(SamePixels(RoundTrip(seeded, 99)[0].Surface, seeded[0].Surface));
  TKvMemoryStream raw;
  seeded.SaveToStream(raw, 0, 70);
  raw.SetPosition(0);
  EXPECT_TRUE(TTarnFrameList::IsRawStored(raw));  // a scrambled file is stored raw

  // The transparent pixel value survives as a value (not as a colour with red and blue swapped).
  TTarnFrameList keyed(0);
  keyed.AddFrame().Surface.Assign(Picture(4, 4));
  keyed[0].TransparentValue = 0x123456;
  TTarnFrameList k = RoundTrip(keyed, 0);
  EXPECT_EQ(k[0].TransparentValue, 0x123456);
  EXPECT_EQ(k[0].TransparentColor, 0x563412);  // 0x00BBGGRR of red 0x12, green 0x34, blue 0x56
}

TEST(LayeredImage, FirstOnlyAndJpegStorage) {
  TTarnFrameList list(0);
  for (int i = 0; i < 5; ++i) list.AddFrame().Surface.Assign(Picture(8, 8, i));
  TKvMemoryStream s;
  list.SaveToStream(s, 0, 70);
  s.SetPosition(0);
  TTarnFrameList first(0);
  first.LoadFromStream(s, true);
  EXPECT_EQ(first.Count(), 1);

  TTarnFrameList flat(0);
  TDIBSurface grey(16, 16, 24);
  grey.FillRect(grey.BoundsRect(), 0x808080);
  flat.AddFrame().Surface.Assign(grey);
  TTarnFrameList jpeg = RoundTrip(flat, 0, 2);
  ASSERT_EQ(jpeg.Count(), 1);
  TRGB c = jpeg[0].Surface.PixelToRGB(jpeg[0].Surface.GetPixel(8, 8), false);
  EXPECT_NEAR(c.Red, 0x80, 2);
}

// The order a seed draws for n rows or tile entries: stored position j belongs at p[j].
std::vector<int32_t> Drawn(int32_t seed, int32_t n) {
  TKvRandom r(seed);
  r.ResetPermutation(n);
  std::vector<int32_t> p(static_cast<size_t>(n));
  for (auto& v : p) v = r.NextUnique();
  return p;
}

// Writes layered images by hand for what our writer never makes: old versions, several
// layers, palettes, tiles, scrambled tile tables, JPEG storage with alpha. Blocks are given as
// they belong in the image; the writer compresses them where the storage mode says so.
struct HandWriter {
  TKvMemoryStream s;
  TBinaryWriter w{s};
  int version, mode;
  explicit HandWriter(int v, int frames, int mode = 1, int tileW = 0, int tileH = 0, bool firstOpaque = false,
                      bool scrambled = false)
      : version(v), mode(v >= 103 ? mode : 0) {
    if (v > 0) w.Write(("Tarn" + std::to_string(v)).c_str(), 7);
    if (v < 103) {
      w.I32(frames);
      w.U8(0);
      if (v >= 102) w.I32(0x0000FF);  // red background
      return;
    }
    w.I32(40);
    uint8_t h[40] = {};
    h[16] = static_cast<uint8_t>(frames);
    h[21] = scrambled;
    h[22] = static_cast<uint8_t>(mode);
    h[24] = 0xFF;
    for (int i = 0; i < 4; ++i) {
      h[28 + i] = static_cast<uint8_t>(static_cast<uint32_t>(tileW) >> (8 * i));
      h[32 + i] = static_cast<uint8_t>(static_cast<uint32_t>(tileH) >> (8 * i));
    }
    h[36] = firstOpaque;
    w.Write(h, 40);
  }
  // palette: colours 0x00BBGGRR, stored blue, green, red, 0; missing entries are black.
  void Frame(int layers, int width, int height, int32_t transparent = -1, int depth = 24,
             const std::vector<uint32_t>& palette = {}) {
    w.String("f");
    w.I32(transparent);
    w.I32(50);
    w.U8(2);
    w.I32(0);
    w.I32(layers);
    w.I32(width);
    w.I32(height);
    w.I32(depth);
    if (depth <= 8)
      for (size_t i = 0; i < (size_t{1} << depth); ++i) {
        uint32_t c = i < palette.size() ? palette[i] : 0;
        for (int shift : {16, 8, 0}) w.U8(static_cast<uint8_t>(c >> shift));
        w.U8(0);
      }
  }
  void Layer(bool visible, int32_t transparent, int32_t opacity, const std::vector<uint8_t>& pixels,
             const std::vector<uint8_t>& alpha = {}, bool alphaUsed = true) {
    w.I32(0);
    w.I32(0);
    w.U8(visible);
    w.I32(transparent);
    w.I32(opacity);
    if (version >= 101) w.U8(alphaUsed);
    w.String("Layer");
    Block(pixels, mode == 0);
    if (version >= 100) {
      if (alpha.empty()) w.I32(0);
      else Block(alpha, mode == 0 || mode == 2);
    }
  }
  void Block(const std::vector<uint8_t>& data, bool zlib) {
    std::vector<uint8_t> stored = zlib ? Deflate(data) : data;
    w.I32(static_cast<int32_t>(stored.size()));
    w.Write(stored.data(), static_cast<int64_t>(stored.size()));
  }
  void Rects() {
    if (version < 104) return;
    w.I32(1);
    for (int v : {0, 0, 2, 1}) w.I32(v);
    w.I32(0);
  }
  TTarnFrameList Read(int32_t seed = 0, bool convert = false) {
    s.SetPosition(0);
    TTarnFrameList list(seed);
    list.LoadFromStream(s, false, convert);
    return list;
  }
};

// Rows of an image at a depth, as a surface stores them: pixels below 8 bits from the high
// bits of each byte, the rest little-endian, each row padded to 4 bytes.
std::vector<uint8_t> Rows(int w, int bits, const std::vector<uint32_t>& pixels) {
  const size_t storeBits = bits == 15 ? 16 : static_cast<size_t>(bits);
  const size_t pitch = (static_cast<size_t>(w) * storeBits + 31) / 32 * 4;
  const size_t h = pixels.size() / static_cast<size_t>(w);
  std::vector<uint8_t> out(pitch * h, 0);
  for (size_t y = 0; y < h; ++y)
    for (size_t x = 0; x < static_cast<size_t>(w); ++x) {
      const uint32_t v = pixels[y * static_cast<size_t>(w) + x];
      uint8_t* row = out.data() + y * pitch;
      if (storeBits < 8) {
        const size_t bit = x * storeBits;
        row[bit / 8] |= static_cast<uint8_t>(v << (8 - storeBits - bit % 8));
      } else {
        for (size_t k = 0; k < storeBits / 8; ++k) row[x * storeBits / 8 + k] = static_cast<uint8_t>(v >> (8 * k));
      }
    }
  return out;
}
std::vector<uint8_t> Rows24(int w, const std::vector<uint32_t>& pixels) { return Rows(w, 24, pixels); }

// Rows stored in the order a seed draws: stored row j is image row p[j].
std::vector<uint8_t> ScrambleRows(const std::vector<uint8_t>& rows, size_t pitch, int32_t seed) {
  const auto n = static_cast<int32_t>(rows.size() / pitch);
  std::vector<int32_t> p = Drawn(seed, n);
  std::vector<uint8_t> out(rows.size());
  for (size_t j = 0; j < static_cast<size_t>(n); ++j)
    std::memcpy(out.data() + j * pitch, rows.data() + static_cast<size_t>(p[j]) * pitch, pitch);
  return out;
}

// A tiled block: the table of (d, e) entries by tile (stored in the order a seed draws when
// seed is not 0), then the bytes of the stored tiles.
std::vector<uint8_t> TileBlock(const std::vector<std::pair<int32_t, int32_t>>& table, const std::vector<uint8_t>& tiles,
                               int32_t seed = 0) {
  std::vector<int32_t> p = seed ? Drawn(seed, static_cast<int32_t>(table.size())) : std::vector<int32_t>();
  TKvMemoryStream s;
  TBinaryWriter w(s);
  for (size_t i = 0; i < table.size(); ++i) {
    auto [d, e] = table[p.empty() ? i : static_cast<size_t>(p[i])];
    w.I32(d);
    w.I32(e);
  }
  w.Write(tiles.data(), static_cast<int64_t>(tiles.size()));
  return s.TakeBytes();
}

TEST(LayeredImage, OldVersionsReadTheirLayout) {
  for (int version : {0, 100, 101, 102, 104}) {
    HandWriter hw(version, 1, version >= 103 ? 1 : 0);
    hw.Frame(1, 2, 1);
    hw.Layer(true, -1, 255, Rows24(2, {0x010203, 0x040506}));
    hw.Rects();
    TTarnFrameList list = hw.Read();
    ASSERT_EQ(list.Count(), 1) << version;
    EXPECT_EQ(list.Version, version);
    EXPECT_EQ(list[0].Surface.GetPixel(1, 0), 0x040506u) << version;
    EXPECT_EQ(list[0].Delay, 50);
    EXPECT_EQ(list[0].Rects1.size(), version >= 104 ? 1u : 0u);
  }
}

TEST(LayeredImage, LayersFlattenByTheirRules) {
  // Two 1x1 layers at 24 bits over the red background: the table gives the second layer's
  // settings and the pixel that results, computed by hand from the blend formulas. The first
  // layer's pixel is blue 0xFF, the second's green 0xFF (pixel values are 0xRRGGBB).
  const uint32_t base = 0x0000FF, top = 0x00FF00;
  struct Case {
    const char* name;
    bool visible;
    int32_t transparent;
    int32_t opacity;
    std::vector<uint8_t> alpha;  // the second layer's alpha block, none when empty
    bool alphaUsed;
    uint32_t expected;
  } cases[] = {
      {"opaque layer covers", true, -1, 255, {}, true, top},
      {"hidden layer changes nothing", false, -1, 255, {}, true, base},
      {"transparent value skips its pixels", true, static_cast<int32_t>(top), 255, {}, true, base},
      {"opacity 0 draws nothing", true, -1, 0, {}, true, base},
      // Each byte (1 * dst + 254 * src) div 255: blue 255 div 255 = 1, green 254 * 255 div 255.
      {"opacity 254 blends", true, -1, 254, {}, true, 0x00FE01},
      // Through the alpha plane, 128: each byte (src * 128 + dst * 127) shr 8.
      {"upper layer drawn through its alpha", true, -1, 255, {128, 0, 0, 0}, true, 0x007F7E},
      // An alpha plane whose use flag is clear: the layer is drawn opaque (its transparent
      // value is dropped with the plane).
      {"alpha present but unused", true, static_cast<int32_t>(top), 255, {128, 0, 0, 0}, false, top},
  };
  for (const auto& c : cases) {
    HandWriter hw(106, 1);
    hw.Frame(2, 1, 1);
    hw.Layer(true, -1, 255, Rows24(1, {base}));
    hw.Layer(c.visible, c.transparent, c.opacity, Rows24(1, {top}), c.alpha, c.alphaUsed);
    hw.Rects();
    TTarnFrameList list = hw.Read();
    EXPECT_EQ(list[0].Surface.GetPixel(0, 0), c.expected) << c.name;
    EXPECT_EQ(list[0].Surface.Alpha(), nullptr) << c.name << ": only the first layer gives the frame alpha";
  }
  // The first layer's alpha becomes the frame's alpha plane, when its use flag is set.
  for (bool used : {true, false}) {
    HandWriter hw(106, 1);
    hw.Frame(1, 1, 1);
    hw.Layer(true, -1, 255, Rows24(1, {base}), {77, 0, 0, 0}, used);
    hw.Rects();
    TTarnFrameList list = hw.Read();
    ASSERT_EQ(list[0].Surface.Alpha() != nullptr, used);
    if (used) {
      EXPECT_EQ(list[0].Surface.Alpha()->GetPixel(0, 0), 77u);
    }
  }
}

TEST(LayeredImage, FirstOpaqueFlagDrawsTheFirstVisibleLayerWhole) {
  // The first visible layer's pixel 0 equals its transparent value. With the flag it is drawn
  // anyway; without, the red background (pixel value 0xFF0000) shows there.
  const uint32_t key = 0x123456, other = 0x654321;
  for (bool flag : {true, false})
    for (bool hiddenFirst : {false, true}) {
      HandWriter hw(106, 1, 1, 0, 0, flag);
      hw.Frame(hiddenFirst ? 2 : 1, 2, 1);
      if (hiddenFirst) hw.Layer(false, -1, 255, Rows24(2, {1, 1}));
      hw.Layer(true, static_cast<int32_t>(key), 255, Rows24(2, {key, other}));
      hw.Rects();
      TTarnFrameList list = hw.Read();
      EXPECT_EQ(list.FirstOpaque, flag ? 1 : 0);
      EXPECT_EQ(list[0].Surface.GetPixel(0, 0), flag ? key : 0xFF0000u) << "flag " << flag << " hidden first " << hiddenFirst;
      EXPECT_EQ(list[0].Surface.GetPixel(1, 0), other);
    }
}

TEST(LayeredImage, PalettesAreStoredBlueGreenRed) {
  // Entry 1 is red 0x11, green 0x22, blue 0x33 (colour 0x00332211), stored 33 22 11 00.
  for (int depth : {1, 4, 8}) {
    HandWriter hw(106, 1);
    hw.Frame(1, 2, 1, -1, depth, {0, 0x00332211});
    hw.Layer(true, -1, 255, Rows(2, depth, {1, 0}));
    hw.Rects();
    TTarnFrameList list = hw.Read();
    const TDIBSurface& s = list[0].Surface;
    ASSERT_EQ(s.BitCount(), depth);
    TRGB c = s.PixelToRGB(s.GetPixel(0, 0), false);
    EXPECT_EQ(c.Red, 0x11) << depth;
    EXPECT_EQ(c.Green, 0x22) << depth;
    EXPECT_EQ(c.Blue, 0x33) << depth;
  }
}

TEST(LayeredImage, ConvertFlagMasksAndWidensPalettePictures) {
  // An 8-bit frame whose transparent value is index 2 (colour red 0xAA, green 0xBB, blue 0xCC):
  // converted, it gets an alpha plane clear where index 2 was, becomes 24 bits, and its
  // transparent value becomes the 24-bit pixel of that colour.
  HandWriter hw(106, 1);
  hw.Frame(1, 3, 1, 2, 8, {0x000000, 0x00102030, 0x00CCBBAA});
  hw.Layer(true, -1, 255, Rows(3, 8, {1, 2, 1}));
  hw.Rects();
  TTarnFrameList list = hw.Read(0, true);
  const TDIBSurface& s = list[0].Surface;
  ASSERT_EQ(s.BitCount(), 24);
  ASSERT_NE(s.Alpha(), nullptr);
  EXPECT_EQ(s.Alpha()->GetPixel(0, 0), 255u);
  EXPECT_EQ(s.Alpha()->GetPixel(1, 0), 0u);
  EXPECT_EQ(s.GetPixel(1, 0), 0xAABBCCu);
  EXPECT_EQ(s.GetPixel(0, 0), 0x302010u);
  EXPECT_EQ(list[0].TransparentValue, 0xAABBCC);
  EXPECT_EQ(list[0].TransparentColor, 0xCCBBAA);
}

TEST(LayeredImage, IsRawStoredFollowsTheStorageModeByte) {
  struct Case {
    const char* name;
    int version, mode;
    bool scrambled, expected;
  } cases[] = {
      {"raw, not scrambled", 106, 1, false, true},
      {"zlib, scrambled", 106, 0, true, false},
      {"JPEG", 106, 2, false, false},
      {"raw, version 103", 103, 1, false, true},
      {"version 102", 102, 1, false, false},
  };
  for (const auto& c : cases) {
    HandWriter hw(c.version, 1, c.mode, 0, 0, false, c.scrambled);
    hw.Frame(1, 8, 8);
    hw.Layer(true, -1, 255, Rows24(8, std::vector<uint32_t>(64, 5)));
    hw.Rects();
    hw.s.SetPosition(0);
    EXPECT_EQ(TTarnFrameList::IsRawStored(hw.s), c.expected) << c.name;
  }
}

TEST(LayeredImage, ScrambledTileTablesPlaceEntryIAtTileP) {
  // Tiles 1x1 on 4x1: tile 0 stored (A), tile 1 a copy of tile 0, tile 2 stored (B), tile 3 a
  // copy of tile 2. The seed's order must not be its own inverse, or reading the table the
  // wrong way round would pass.
  const int32_t seed = 1234;
  std::vector<int32_t> p = Drawn(seed, 4);
  bool involution = true;
  for (int32_t i = 0; i < 4; ++i) involution &= p[static_cast<size_t>(p[static_cast<size_t>(i)])] == i;
  ASSERT_FALSE(involution) << "pick another seed";
  HandWriter hw(106, 1, 1, 1, 1, false, true);
  hw.Frame(1, 4, 1);
  hw.Layer(true, -1, 255, TileBlock({{-1, 0}, {-2, 0}, {-1, 0}, {-2, 2}}, {1, 1, 1, 2, 2, 2}, seed));
  hw.Rects();
  TTarnFrameList list = hw.Read(seed);
  const uint32_t expected[] = {0x010101, 0x010101, 0x020202, 0x020202};
  for (int x = 0; x < 4; ++x) EXPECT_EQ(list[0].Surface.GetPixel(x, 0), expected[x]) << x;
  // Scrambled rows: stored row j is row p(j).
  HandWriter rows(106, 1, 1, 0, 0, false, true);
  rows.Frame(1, 1, 4);
  std::vector<uint8_t> plain = Rows24(1, {1, 2, 3, 4});
  rows.Layer(true, -1, 255, ScrambleRows(plain, 4, seed));
  rows.Rects();
  TTarnFrameList r = rows.Read(seed);
  for (int y = 0; y < 4; ++y) EXPECT_EQ(r[0].Surface.GetPixel(0, y), static_cast<uint32_t>(y + 1)) << y;
}

TEST(LayeredImage, TilesCopyFromEarlierTilesAndFrames) {
  // 4x2 pixels in tiles of 2x2: tile 0 stored, tile 1 a copy of tile 0; frame 2 copies
  // everything from frame 1's layer.
  std::vector<uint8_t> tile0 = {1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4, 4};  // two rows of 2 pixels
  HandWriter hw(106, 2, 1, 2, 2);
  hw.Frame(1, 4, 2);
  hw.Layer(true, -1, 255, TileBlock({{-1, 0}, {-2, 0}}, tile0));
  hw.Rects();
  hw.Frame(1, 4, 2);
  hw.Layer(true, -1, 255, TileBlock({{0, 0}, {0, 0}}, {}));
  hw.Rects();
  TTarnFrameList list = hw.Read();
  ASSERT_EQ(list.Count(), 2);
  for (int f = 0; f < 2; ++f) {
    EXPECT_EQ(list[f].Surface.GetPixel(0, 0), 0x010101u) << f;
    EXPECT_EQ(list[f].Surface.GetPixel(3, 1), 0x040404u) << f;  // from the copied tile
  }
  // A tile cut by the edge (3x1 in tiles of 2x2: the last is 1x1) copies the top-left of a
  // whole tile.
  HandWriter cut(106, 1, 1, 2, 2);
  cut.Frame(1, 3, 1);
  cut.Layer(true, -1, 255, TileBlock({{-1, 0}, {-2, 0}}, {1, 1, 1, 2, 2, 2}));
  cut.Rects();
  EXPECT_EQ(cut.Read()[0].Surface.GetPixel(2, 0), 0x010101u);

  // References forward, to themselves or to frames that are not earlier are refused; the
  // frames read before stay.
  // Codes below -2 name nothing (they once indexed the frame list with a negative number).
  for (auto table : std::vector<std::vector<std::pair<int32_t, int32_t>>>{
           {{-2, 1}, {-1, 0}}, {{1, 0}, {1, 0}}, {{0, 5}, {0, 5}}, {{-3, 0}, {-1, 0}}, {{INT32_MIN, 0}, {-1, 0}}}) {
    HandWriter bad(106, 2, 1, 2, 2);
    bad.Frame(1, 4, 2);
    bad.Layer(true, -1, 255, TileBlock({{-1, 0}, {-1, 0}}, std::vector<uint8_t>(24, 9)));
    bad.Rects();
    bad.Frame(1, 4, 2);
    bad.Layer(true, -1, 255, TileBlock(table, std::vector<uint8_t>(12, 9)));
    bad.Rects();
    bad.s.SetPosition(0);
    TTarnFrameList l(0);
    EXPECT_THROW(l.LoadFromStream(bad.s), EOrbaError);
    EXPECT_EQ(l.Count(), 1);
  }
}

TEST(LayeredImage, TilesBelowAByteSitWhereTheirColumnSays) {
  // A tile's bytes start at its column times the bytes of a whole tile row. 4 bits, 6x2 in
  // tiles of 4x2: tile 1 is cut to 2 pixels and starts at byte 2 of each row.
  HandWriter nibbles(106, 1, 1, 4, 2);
  nibbles.Frame(1, 6, 2, -1, 4);
  nibbles.Layer(true, -1, 255, TileBlock({{-1, 0}, {-1, 0}}, {0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC}));
  nibbles.Rects();
  TTarnFrameList nl = nibbles.Read();
  const TDIBSurface& n = nl[0].Surface;
  const uint32_t expected[2][6] = {{1, 2, 3, 4, 9, 10}, {5, 6, 7, 8, 11, 12}};
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 6; ++x) EXPECT_EQ(n.GetPixel(x, y), expected[y][x]) << x << "," << y;
  // 1 bit, 16x1 in tiles of 8x1: one byte each.
  HandWriter bits(106, 1, 1, 8, 1);
  bits.Frame(1, 16, 1, -1, 1);
  bits.Layer(true, -1, 255, TileBlock({{-1, 0}, {-1, 0}}, {0x80, 0x01}));
  bits.Rects();
  TTarnFrameList bl = bits.Read();
  const TDIBSurface& b = bl[0].Surface;
  for (int x = 0; x < 16; ++x) EXPECT_EQ(b.GetPixel(x, 0), x == 0 || x == 15 ? 1u : 0u) << x;
}

TEST(LayeredImage, TilesWhoseBytesLieBeyondTheRowAreRefused) {
  // With narrow tiles below 8 bits, column times the tile's row bytes passes the end of the
  // row: 64 tiles of 1x1 at 1 bit would be placed at bytes 0..63 of an 8-byte row.
  struct Case {
    const char* name;
    int depth, width, tileWidth;
    std::vector<std::pair<int32_t, int32_t>> table;
    size_t tileBytes;
  } cases[] = {
      {"1 bit, 1x1 tiles", 1, 64, 1, std::vector<std::pair<int32_t, int32_t>>(64, {-1, 0}), 64},
      {"4 bits, 1x1 tiles", 4, 64, 1, std::vector<std::pair<int32_t, int32_t>>(64, {-1, 0}), 64},
      // Stored tiles inside the row, a copy of tile 0 to the last column beyond it.
      {"copy of an earlier tile", 1, 64, 1, [] {
         std::vector<std::pair<int32_t, int32_t>> t(64, {-2, 0});
         t[0] = {-1, 0};
         return t;
       }(), 1},
  };
  for (const auto& c : cases) {
    HandWriter hw(106, 1, 1, c.tileWidth, 1);
    hw.Frame(1, c.width, 1, -1, c.depth);
    hw.Layer(true, -1, 255, TileBlock(c.table, std::vector<uint8_t>(c.tileBytes, 0xFF)));
    hw.Rects();
    EXPECT_THROW(hw.Read(), EOrbaError) << c.name;
  }
}

TEST(LayeredImage, ATileAsLargeAsTheLargestIntegerIsTheWholeFrame) {
  // One tile, cut to the 3x2 frame: its rows are the frame's rows, 9 bytes each.
  HandWriter hw(106, 1, 0, INT32_MAX, INT32_MAX);
  hw.Frame(1, 3, 2);
  std::vector<uint8_t> pixels(18);
  for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<uint8_t>(i + 1);
  hw.Layer(true, -1, 255, TileBlock({{-1, 0}}, pixels));
  hw.Rects();
  const TTarnFrameList list = hw.Read();
  EXPECT_EQ(list[0].Surface.GetPixel(0, 0), 0x030201u);  // blue, green, red in that order
  EXPECT_EQ(list[0].Surface.GetPixel(2, 1), 0x121110u);
}

TEST(LayeredImage, ATileTableLargerThanItsPlaneIsRefused) {
  // 1x1 tiles on 64x64 at 24 bits: a table of 32 KiB for 12 KiB of pixels. A compressed file
  // of a megabyte could claim such a table for the largest picture, half a gigabyte.
  std::vector<std::pair<int32_t, int32_t>> table(64 * 64, {-1, 0});
  HandWriter hw(106, 1, 0, 1, 1);
  hw.Frame(1, 64, 64);
  hw.Layer(true, -1, 255, TileBlock(table, std::vector<uint8_t>(64 * 64 * 3, 7)));
  hw.Rects();
  EXPECT_THROW(hw.Read(), EOrbaError);
  // Tiles of 4x4 are fine.
  HandWriter fine(106, 1, 0, 4, 4);
  fine.Frame(1, 64, 64);
  fine.Layer(true, -1, 255, TileBlock(std::vector<std::pair<int32_t, int32_t>>(16 * 16, {-1, 0}), std::vector<uint8_t>(64 * 64 * 3, 7)));
  fine.Rects();
  EXPECT_EQ(fine.Read()[0].Surface.GetPixel(63, 63), 0x070707u);
}

TEST(LayeredImage, JpegStorageKeepsPlainAlphaRowsWhateverTheTileSize) {
  // In the JPEG mode the tile size and the scrambled flag do not apply: the alpha block is
  // plain rows from the top.
  TDIBSurface grey(4, 3, 24);
  grey.FillRect(grey.BoundsRect(), 0x808080);
  TKvMemoryStream jpeg;
  SaveJpeg(jpeg, grey, 90);
  const std::vector<uint8_t> alpha = {0, 1, 2, 3, 10, 11, 12, 13, 20, 21, 22, 23};
  HandWriter hw(106, 1, 2, 16, 16, false, true);
  hw.Frame(1, 4, 3);
  hw.Layer(true, -1, 255, jpeg.TakeBytes(), alpha);
  hw.Rects();
  TTarnFrameList list = hw.Read(1234);
  ASSERT_EQ(list.Count(), 1);
  const TDIBSurface* plane = list[0].Surface.Alpha();
  ASSERT_NE(plane, nullptr);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 4; ++x) EXPECT_EQ(plane->GetPixel(x, y), static_cast<uint32_t>(10 * y + x)) << x << "," << y;
  TRGB c = list[0].Surface.PixelToRGB(list[0].Surface.GetPixel(2, 1), false);
  EXPECT_NEAR(c.Green, 0x80, 2);
}

TEST(LayeredImage, AJpegBlockLargerThanItsFrameIsRefusedBeforeItIsDecoded) {
  // A 4x3 frame whose JPEG block (a progressive picture by netpbm) says 8000 x 8000: refused
  // before the library holds the coefficients of 64 million pixels.
  std::vector<uint8_t> jpeg = ReadFileBytes(std::string(ORBA_SOURCE_DIR) + "/tests/render/fixtures/progressive.jpg");
  const std::vector<uint8_t> sofMarker = {0xFF, 0xC2};
  auto sof = std::search(jpeg.begin(), jpeg.end(), sofMarker.begin(), sofMarker.end());
  ASSERT_NE(sof, jpeg.end());
  for (int k : {5, 7}) {
    sof[k] = 8000 >> 8;
    sof[k + 1] = 8000 & 0xFF;
  }
  HandWriter hw(106, 1, 2);
  hw.Frame(1, 4, 3);
  hw.Layer(true, -1, 255, jpeg);
  hw.Rects();
  rusage before{}, after{};
  getrusage(RUSAGE_SELF, &before);
  EXPECT_THROW(hw.Read(), EOrbaError);
  getrusage(RUSAGE_SELF, &after);
  EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 100 * 1024) << "kilobytes taken while refusing";
}

TEST(LayeredImage, HostileHeadersAreRefused) {
  struct Case { const char* name; std::function<void(HandWriter&)> body; } cases[] = {
      {"huge frame", [](HandWriter& hw) { hw.Frame(1, 100000, 100000); }},
      {"bad depth", [](HandWriter& hw) { hw.w.String("f"); for (int v : {-1, 0}) hw.w.I32(v); hw.w.U8(0); hw.w.I32(0); for (int v : {1, 2, 2, 7}) hw.w.I32(v); }},
      {"layer count beyond the data", [](HandWriter& hw) { hw.Frame(1000000, 2, 2); }},
      {"truncated block", [](HandWriter& hw) { hw.Frame(1, 2, 2); hw.w.I32(0); hw.w.I32(0); hw.w.U8(1); hw.w.I32(-1); hw.w.I32(255); hw.w.U8(0); hw.w.String("L"); hw.w.I32(1000); }},
  };
  for (const auto& c : cases) {
    HandWriter hw(106, 1);
    c.body(hw);
    EXPECT_THROW(hw.Read(), EOrbaError) << c.name;
  }
}

// A two-frame picture for the fuzz target's seeds. Frame 1: an opaque layer and a layer drawn
// through its alpha plane; frame 2: one layer blended with a transparent value, in tiles
// copied from frame 1 where the file is tiled. Tiled files use tiles of 8x4 on 16x6, so the
// bottom row of tiles is cut, and the last tile is a copy of the one before.
std::vector<uint8_t> SeedPicture(int version, int depth, int mode, bool tiled, bool scrambled) {
  constexpr int w = 16, h = 6, tw = 8, th = 4;
  constexpr int32_t seed = 'T';  // the fuzz target's seed for a file that starts with "Tarn"
  const uint32_t mask = depth == 32 ? 0xFFFFFF : depth == 15 ? 0x7FFF : static_cast<uint32_t>((uint64_t{1} << depth) - 1);
  std::vector<uint32_t> palette;
  for (uint32_t i = 0; i < 256; ++i) palette.push_back((i * 37 & 0xFF) | (i * 91 & 0xFF) << 8 | (i * 13 & 0xFF) << 16);
  auto image = [&](int salt) {
    std::vector<uint32_t> v;
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) v.push_back(static_cast<uint32_t>((x * 3 + y * 5 + salt) * 2654435761u) & mask);
    return v;
  };
  std::vector<uint32_t> alpha;
  for (int i = 0; i < w * h; ++i) alpha.push_back(static_cast<uint32_t>(i * 11 % 256));
  const bool useTiles = tiled && mode != 2 && version >= 103;
  const bool permute = scrambled && mode != 2 && version >= 103;
  // A plane's block: rows, in the drawn order when scrambled, or a tile table and its tiles.
  auto plane = [&](const std::vector<uint32_t>& pixels, int bits, bool fromFrame1) {
    std::vector<uint8_t> rows = Rows(w, bits, pixels);
    const size_t pitch = rows.size() / h;
    if (!useTiles) return permute ? ScrambleRows(rows, pitch, seed) : rows;
    const int storeBits = bits == 15 ? 16 : bits;
    std::vector<std::pair<int32_t, int32_t>> table = {{-1, 0}, {-1, 0}, {-1, 0}, {-2, 2}};
    if (fromFrame1) table[0] = table[1] = {0, 0};
    std::vector<uint8_t> tiles;
    for (size_t t = 0; t < table.size(); ++t) {
      if (table[t].first != -1) continue;
      const int col = static_cast<int>(t % 2), top = static_cast<int>(t / 2) * th;
      const size_t offset = static_cast<size_t>(col) * ((tw * storeBits + 7) / 8);
      const size_t bytes = (static_cast<size_t>(std::min(w, (col + 1) * tw) - col * tw) * storeBits + 7) / 8;
      for (int y = top; y < std::min(h, top + th); ++y)
        tiles.insert(tiles.end(), rows.begin() + static_cast<std::ptrdiff_t>(y * pitch + offset),
                     rows.begin() + static_cast<std::ptrdiff_t>(y * pitch + offset + bytes));
    }
    return TileBlock(table, tiles, scrambled ? seed : 0);
  };
  auto pixels = [&](const std::vector<uint32_t>& values, bool fromFrame1) {
    if (mode != 2 || version < 103) return plane(values, depth, fromFrame1);
    TDIBSurface picture(w, h, depth);
    if (depth <= 8)
      for (int i = 0; i < (1 << depth); ++i)
        picture.Palette()[i] = {static_cast<uint8_t>(palette[static_cast<size_t>(i)] >> 16),
                                static_cast<uint8_t>(palette[static_cast<size_t>(i)] >> 8),
                                static_cast<uint8_t>(palette[static_cast<size_t>(i)]), 0};
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) picture.SetPixel(x, y, values[static_cast<size_t>(y * w + x)]);
    TKvMemoryStream jpeg;
    SaveJpeg(jpeg, picture, 75);
    return jpeg.TakeBytes();
  };
  HandWriter hw(version, 2, mode, tiled ? tw : 0, tiled ? th : 0, true, scrambled);
  hw.Frame(2, w, h, -1, depth, palette);
  hw.Layer(true, -1, 255, pixels(image(0), false));
  hw.Layer(true, -1, 255, pixels(image(1), false), plane(alpha, 8, false));
  hw.Rects();
  hw.Frame(1, w, h, 0, depth, palette);
  hw.Layer(true, 0, 128, pixels(image(2), true));
  hw.Rects();
  return hw.s.TakeBytes();
}

// The seeds of the layered-picture fuzz target, made by the writer above: every depth, plain
// rows and tiles, each storage mode, scrambled and not, and the older versions. Run with
// ORBA_WRITE_FUZZ_SEEDS=1 to write them anew after a deliberate change; otherwise a
// difference means the writer changed. Every seed must read whole, or it guides nothing.
TEST(LayeredImage, FuzzSeedsAreWhatTheHandWriterMakes) {
  std::vector<std::pair<std::string, std::vector<uint8_t>>> seeds = {
      {"v000-d24", SeedPicture(0, 24, 0, false, false)}, {"v102-d8", SeedPicture(102, 8, 0, false, false)}};
  for (int depth : {1, 4, 8, 15, 16, 24, 32})
    for (int mode : {0, 1, 2})
      for (bool tiled : {false, true})
        for (bool scrambled : {false, true})
          seeds.emplace_back("d" + std::to_string(depth) + "-m" + std::to_string(mode) + (tiled ? "-tiled" : "-rows") +
                                 (scrambled ? "-scrambled" : ""),
                             SeedPicture(106, depth, mode, tiled, scrambled));
  for (const auto& [name, bytes] : seeds) {
    testing_support::ExpectFuzzSeed("trn", name, bytes);
    TKvViewStream s(bytes);
    TTarnFrameList list(bytes[0]);  // the fuzz target's seed
    EXPECT_NO_THROW(list.LoadFromStream(s, false, true)) << name;
    EXPECT_EQ(list.Count(), 2) << name;
  }
}

TEST(LayeredImage, APngFrameTakesTheFilesTransparentColour) {
  // PngSuite ftbrn2c08: 8-bit RGB whose tRNS chunk names white; basn3p08: a palette picture.
  const std::string dir = std::string(ORBA_SOURCE_DIR) + "/tests/render/fixtures/pngsuite/";
  TTarnFrameList list(0);
  list.LoadFromFile(dir + "ftbrn2c08.png");
  ASSERT_EQ(list.Count(), 1);
  EXPECT_EQ(list[0].TransparentValue, 0xFFFFFF);
  EXPECT_EQ(list[0].TransparentColor, 0xFFFFFF);
  EXPECT_EQ(list[0].Surface.Alpha(), nullptr);
  list.LoadFromFile(dir + "basn3p08.png");
  EXPECT_EQ(list[0].Surface.BitCount(), 8);
  EXPECT_EQ(list[0].TransparentValue, -1);
}

TEST(LayeredImage, TrimCropsToWhatIsVisible) {
  TTarnFrame f;
  f.Surface.Assign(Picture(10, 10));
  f.Surface.CreateAlpha();  // all transparent
  EXPECT_EQ(f.Trim(), (TRect{0, 0, 10, 10}));
  f.Surface.Alpha()->FillRect({2, 3, 5, 7}, 255);
  f.Rects1 = {{0, 0, 4, 4}, {8, 8, 9, 9}};
  EXPECT_EQ(f.Trim(), (TRect{2, 3, 5, 7}));
  EXPECT_EQ(f.Surface.Width(), 3);
  EXPECT_EQ(f.Surface.Height(), 4);
  EXPECT_EQ(f.Rects1, (std::vector<TRect>{{0, 0, 2, 1}}));
}

}  // namespace
}  // namespace orba

#include "render/dibx.h"

namespace orba {
namespace {

TEST(LayeredImage, ADrawingSurfaceLoadsTheFirstFrame) {
  ProjectImageSeed() = 99;
  TTarnFrameList list(99);
  list.AddFrame().Surface.Assign(Picture(6, 5));
  list.AddFrame().Surface.Assign(Picture(6, 5, 1));
  TKvMemoryStream s;
  list.SaveToStream(s, 0, 70);
  s.SetPosition(0);
  TDIBX target;
  target.SetSize(1, 1, 32);
  target.LoadFromStream(s);
  ASSERT_EQ(target.Width(), 6);
  EXPECT_EQ(target.Image().GetPixel(3, 4), list[0].Surface.GetPixel(3, 4));
  ProjectImageSeed() = 0;
}

}  // namespace
}  // namespace orba
