// Picture files: every BMP and PNG fixture against its netpbm source, round trips of our own
// writers, and the TGA reader's footer, orientation and bounds.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <zlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "base/error.h"
#include "base/stream.h"
#include "render/dibx.h"
#include "render/imagefiles.h"

namespace orba {
namespace {

std::string Fixture(const std::string& name) { return std::string(ORBA_SOURCE_DIR) + "/tests/render/fixtures/" + name; }

// A binary PPM (P6) or PGM (P5) as rows of 0x00RRGGBB (grey repeated in the three channels).
struct Pnm {
  int32_t width = 0, height = 0;
  std::vector<uint32_t> pixels;
  uint32_t At(int32_t x, int32_t y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};

Pnm ReadPnm(const std::string& name) {
  std::vector<uint8_t> bytes = ReadFileBytes(Fixture(name));
  std::string text(bytes.begin(), bytes.end());
  std::istringstream in(text);
  std::string magic;
  int maxValue;
  Pnm p;
  in >> magic >> p.width >> p.height >> maxValue;
  in.get();
  size_t pos = static_cast<size_t>(in.tellg());
  bool colour = magic == "P6";
  for (int32_t i = 0; i < p.width * p.height; ++i) {
    if (colour) {
      p.pixels.push_back(bytes[pos] << 16 | bytes[pos + 1] << 8 | bytes[pos + 2]);
      pos += 3;
    } else {
      p.pixels.push_back(bytes[pos] * 0x010101u);
      pos += 1;
    }
  }
  return p;
}

uint32_t Rgb(const TDIBSurface& s, int32_t x, int32_t y) {
  TRGB c = s.PixelToRGB(s.GetPixel(x, y), false);
  return c.Red << 16 | c.Green << 8 | c.Blue;
}

struct TwinCase {
  const char* file;
  const char* twin;
  int32_t format;
  const char* alphaTwin;
};

TEST(ImageFiles, FixturesMatchTheirTwins) {
  const TwinCase cases[] = {
      {"rgb24.bmp", "rgb.ppm", 24, nullptr},   {"pal8.bmp", "pal.ppm", 8, nullptr},
      {"pal4.bmp", "pal.ppm", 4, nullptr},     {"pal8rle.bmp", "pal.ppm", 8, nullptr},
      {"bw1.bmp", "bw.ppm", 1, nullptr},       {"rgb565.bmp", "rgb565.ppm", 16, nullptr},
      {"rgb555.bmp", "rgb555.ppm", 15, nullptr},  {"rgba32.bmp", "rgb.ppm", 24, "alpha.pgm"},
      {"rgb.png", "rgb.ppm", 24, nullptr},     {"pal.png", "pal.ppm", 4, nullptr},
      {"grey.png", "grey.pgm", 24, nullptr},   {"rgba.png", "rgb.ppm", 32, "alpha.pgm"},
      {"rgb.tga", "rgb.ppm", 24, nullptr},     {"rgbrle.tga", "rgb.ppm", 24, nullptr},
      {"pal.tga", "pal.ppm", 8, nullptr},      {"grey.tga", "grey.pgm", 8, nullptr},
      {"pal4.ico", "icon.ppm", 4, nullptr},
  };
  for (const TwinCase& c : cases) {
    SCOPED_TRACE(c.file);
    TDIBSurface s;
    s.LoadImage(Fixture(c.file), c.alphaTwin != nullptr);
    Pnm twin = ReadPnm(c.twin);
    ASSERT_EQ(s.Width(), twin.width);
    ASSERT_EQ(s.Height(), twin.height);
    EXPECT_EQ(s.PixelFormat(), c.format);
    for (int32_t y = 0; y < twin.height; ++y)
      for (int32_t x = 0; x < twin.width; ++x) {
        uint32_t want = twin.At(x, y);
        if (c.format == 15 || c.format == 16) {
          // Each channel of the twin, scaled back to the stored width.
          uint32_t v = s.GetPixel(x, y), greenMax = c.format == 16 ? 63 : 31;
          auto back = [](uint32_t t, uint32_t max) { return (t * max + 127) / 255; };
          ASSERT_EQ(v & 0x1F, back(want & 0xFF, 31)) << x << "," << y;
          ASSERT_EQ((v >> 5) & greenMax, back(want >> 8 & 0xFF, greenMax)) << x << "," << y;
          ASSERT_EQ(v >> (c.format == 16 ? 11 : 10), back(want >> 16, 31)) << x << "," << y;
        } else {
          ASSERT_EQ(Rgb(s, x, y), want) << x << "," << y;
        }
      }
    if (c.alphaTwin) {
      Pnm alpha = ReadPnm(c.alphaTwin);
      ASSERT_NE(s.Alpha(), nullptr);
      for (int32_t y = 0; y < alpha.height; ++y)
        for (int32_t x = 0; x < alpha.width; ++x) ASSERT_EQ(s.Alpha()->GetPixel(x, y), alpha.At(x, y) & 0xFF);
    }
  }
}

// A test picture at any format: distinct values with runs (for run-length coding) and singles.
TDIBSurface Pattern(int32_t format, int32_t w = 13, int32_t h = 7) {
  TDIBSurface s(w, h, format);
  if (format <= 8)
    for (int i = 0; i < (1 << format); ++i) s.Palette()[i] = {uint8_t(i * 3), uint8_t(255 - i), uint8_t(i * 7), 0};
  uint32_t limit = format <= 8 ? (1u << format) - 1 : format == 15 ? 0x7FFF : format == 16 ? 0xFFFF : 0xFFFFFF;
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x) s.SetPixel(x, y, (x < 4 ? y * 5 : x * 977 + y * 31337) & limit);
  return s;
}

void ExpectSamePixels(const TDIBSurface& a, const TDIBSurface& b) {
  ASSERT_EQ(a.Width(), b.Width());
  ASSERT_EQ(a.Height(), b.Height());
  for (int32_t y = 0; y < a.Height(); ++y)
    for (int32_t x = 0; x < a.Width(); ++x) ASSERT_EQ(Rgb(a, x, y), Rgb(b, x, y)) << x << "," << y;
}

TEST(ImageFiles, BmpRoundTripsAtEveryDepth) {
  for (int32_t format : {1, 4, 8, 15, 16, 24, 32}) {
    SCOPED_TRACE(format);
    TDIBSurface s = Pattern(format), back;
    TKvMemoryStream out;
    SaveBmp(out, s);
    LoadBmp(out.Bytes(), back);
    EXPECT_EQ(back.PixelFormat(), format);
    ExpectSamePixels(s, back);
  }
}

// Sets the descriptor byte (offset 17) of a TGA file.
std::vector<uint8_t> WithDescriptor(std::vector<uint8_t> bytes, uint8_t descriptor) {
  bytes[17] = descriptor;
  return bytes;
}

TEST(ImageFiles, TgaRoundTripsEveryTypeAndOrientation) {
  for (int32_t format : {1, 4, 8, 15, 16, 24, 32})
    for (bool rle : {false, true})
      for (uint8_t descriptor : {0x20, 0x00, 0x30, 0x10}) {
        SCOPED_TRACE(testing::Message() << "format " << format << " rle " << rle << " descriptor " << int(descriptor));
        TDIBSurface s = Pattern(format), stored;
        // 5-6-5 is stored as 1-5-5-5: the low bit of green does not survive.
        if (format == 16)
          for (int32_t y = 0; y < s.Height(); ++y)
            for (int32_t x = 0; x < s.Width(); ++x) s.SetPixel(x, y, s.GetPixel(x, y) & ~0x20u);
        stored.Assign(s);
        // Store the picture the way the descriptor says it lies, so reading undoes it.
        if (descriptor & 0x10) stored.MirrorHorizontal();
        if (!(descriptor & 0x20)) stored.FlipVertical();
        TKvMemoryStream out;
        SaveTga(out, stored, -1, rle, false);
        EXPECT_EQ(out.Bytes()[2], (format <= 8 ? 1 : 2) + (rle ? 8 : 0));
        TDIBSurface back;
        EXPECT_EQ(LoadTga(WithDescriptor(out.Bytes(), descriptor), back, false), -1);
        EXPECT_EQ(back.PixelFormat(), format <= 8 ? 8 : format == 15 ? 16 : format);
        ExpectSamePixels(s, back);
      }
}

// A greyscale file (type 3 or 11) written by hand.
std::vector<uint8_t> GreyTga(bool rle) {
  std::vector<uint8_t> b = {0, 0, uint8_t(rle ? 11 : 3), 0, 0, 0, 0, 0, 0, 0, 0, 0, 3, 0, 2, 0, 8, 0x20};
  if (rle) b.insert(b.end(), {0x82, 40, 0x02, 1, 2, 3});
  else b.insert(b.end(), {40, 40, 40, 1, 2, 3});
  return b;
}

TEST(ImageFiles, TgaGreyscaleTypes) {
  for (bool rle : {false, true}) {
    TDIBSurface s;
    LoadTga(GreyTga(rle), s, false);
    EXPECT_EQ(Rgb(s, 2, 0), 0x282828u);
    EXPECT_EQ(Rgb(s, 2, 1), 0x030303u);
  }
}

TEST(ImageFiles, TgaTransparentColourAndAlpha) {
  TDIBSurface s = Pattern(24);
  TKvMemoryStream keyed;
  SaveTga(keyed, s, s.GetPixel(5, 2), true, false);
  TDIBSurface back;
  EXPECT_EQ(LoadTga(keyed.Bytes(), back, false), static_cast<int64_t>(s.GetPixel(5, 2)));
  s.CreateAlpha();
  for (int32_t x = 0; x < s.Width(); ++x) s.Alpha()->SetPixel(x, 1, x * 10);
  TKvMemoryStream withAlpha;
  SaveTga(withAlpha, s, 0x123, false, true);
  TDIBSurface a;
  EXPECT_EQ(LoadTga(withAlpha.Bytes(), a, true), -1);  // no extension area beside an alpha plane
  EXPECT_EQ(a.PixelFormat(), 24);
  ASSERT_NE(a.Alpha(), nullptr);
  EXPECT_EQ(a.Alpha()->GetPixel(7, 1), 70u);
  EXPECT_EQ(a.Alpha()->GetPixel(7, 0), 0u);
  ExpectSamePixels(s, a);
}

TEST(ImageFiles, TgaBoundsAreChecked) {
  // A colour map running past index 255 is consumed but not stored.
  std::vector<uint8_t> b = {0, 1, 1, 250, 0, 10, 0, 24, 0, 0, 0, 0, 1, 0, 1, 0, 8, 0x20};
  for (int i = 0; i < 10; ++i) b.insert(b.end(), {uint8_t(i), uint8_t(i), uint8_t(i)});
  b.push_back(255);
  TDIBSurface s;
  LoadTga(b, s, false);
  EXPECT_EQ(s.Palette()[255], (TPaletteEntry{5, 5, 5, 0}));
  EXPECT_EQ(s.GetPixel(0, 0), 255u);
  // Cut files raise; so does a run-length stream that ends early.
  TKvMemoryStream out;
  SaveTga(out, Pattern(24), -1, true, false);
  for (size_t cut : {size_t{5}, size_t{18}, size_t{40}}) {
    std::vector<uint8_t> shortFile(out.Bytes().begin(), out.Bytes().begin() + static_cast<ptrdiff_t>(cut));
    EXPECT_THROW(LoadTga(shortFile, s, false), EReadError) << cut;
  }
  // A footer whose extension offset points outside the file is not believed.
  std::vector<uint8_t> lying = out.Bytes();
  size_t footer = lying.size() - 26;
  lying[footer] = 0xFF;
  lying[footer + 3] = 0x7F;
  EXPECT_EQ(LoadTga(lying, s, false), -1);
  // 15-bit pixels are whole 16-bit words: a row of 3 of them is 6 bytes, and a file that
  // holds only the 15-bit count of bits raises instead of being read past its end.
  std::vector<uint8_t> fifteen = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 3, 0, 1, 0, 15, 0x20,
                                  0x1F, 0, 0xE0, 0x03, 0, 0x7C};
  LoadTga(fifteen, s, false);
  EXPECT_EQ(s.GetPixel(0, 0), 0x001Fu);
  EXPECT_EQ(s.GetPixel(1, 0), 0x07C0u);
  EXPECT_EQ(s.GetPixel(2, 0), 0xF800u);
  // Eight pixels need 16 bytes, not the 15 that 8 x 15 bits would fill.
  std::vector<uint8_t> eight = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 8, 0, 1, 0, 15, 0x20};
  eight.resize(18 + 15, 0x11);
  EXPECT_THROW(LoadTga(eight, s, false), EReadError);
  // An unknown image type leaves the surface empty without an error.
  std::vector<uint8_t> odd = out.Bytes();
  odd[2] = 32;
  EXPECT_EQ(LoadTga(odd, s, false), -1);
  EXPECT_TRUE(s.Empty());
}

TEST(ImageFiles, IconsAndCursorsRoundTrip) {
  for (int32_t format : {1, 4, 8, 15, 16, 24, 32})
    for (bool cursor : {false, true}) {
      SCOPED_TRACE(testing::Message() << "format " << format << " cursor " << cursor);
      TDIBSurface s = Pattern(format, 16, 16);
      s.CreateAlpha();
      s.ResetAlpha();
      s.Alpha()->SetPixel(3, 4, 0);
      TKvMemoryStream out;
      SaveIcon(out, s, cursor, TPoint{5, 6});
      TDIBSurface back;
      TIconInfo info = LoadIcon(out.Bytes(), back, format > 1 ? 0x00FF00 : -1);
      EXPECT_EQ(info.Cursor, cursor);
      if (cursor) {
        EXPECT_EQ(info.HotSpot, (TPoint{5, 6}));
      }
      ASSERT_NE(back.Alpha(), nullptr);
      EXPECT_EQ(back.Alpha()->GetPixel(3, 4), 0u);
      EXPECT_EQ(back.Alpha()->GetPixel(4, 4), 255u);
      for (int32_t y = 0; y < 16; ++y)
        for (int32_t x = 0; x < 16; ++x) {
          if (x == 3 && y == 4) {
            if (format > 1 && format <= 8) {
              EXPECT_EQ(Rgb(back, x, y), 0x00FF00u);
            }
            continue;
          }
          ASSERT_EQ(Rgb(back, x, y), Rgb(s, x, y)) << x << "," << y;
        }
    }
}

// An icon of 2x1 pixels written byte by byte: the 40-byte header (height doubled for the
// mask), then what follows it.
std::vector<uint8_t> HandIcon(int bits, uint32_t compression, uint32_t coloursUsed, const std::vector<uint8_t>& rest) {
  std::vector<uint8_t> out = {0, 0, 1, 0, 1, 0, 2, 1, 0, 0, 1, 0, 0, 0};
  auto u32 = [&](uint32_t v) { for (int k = 0; k < 4; ++k) out.push_back(static_cast<uint8_t>(v >> (8 * k))); };
  u32(static_cast<uint32_t>(40 + rest.size()));
  u32(22);
  for (uint32_t v : {40u, 2u, 2u}) u32(v);
  out.push_back(1);
  out.push_back(0);
  out.push_back(static_cast<uint8_t>(bits));
  out.push_back(0);
  for (uint32_t v : {compression, 0u, 0u, 0u, coloursUsed, 0u}) u32(v);
  out.insert(out.end(), rest.begin(), rest.end());
  return out;
}

TEST(ImageFiles, IconLayoutsOurWriterNeverMakes) {
  struct Case {
    const char* name;
    std::vector<uint8_t> file;
    uint32_t left, right;  // 0xRRGGBB
  } cases[] = {
      // 16 bits with 5-6-5 bit fields: pure red and pure green.
      {"5-6-5 bit fields",
       HandIcon(16, 3, 0, {0x00, 0xF8, 0, 0, 0xE0, 0x07, 0, 0, 0x1F, 0, 0, 0, 0x00, 0xF8, 0xE0, 0x07, 0, 0, 0, 0}),
       0xF80000, 0x00FC00},
      // 24 bits with two colour-table entries before the pixels, which are read past.
      {"24 bits with a colour table",
       HandIcon(24, 0, 2, {0xAA, 0xAA, 0xAA, 0, 0xAA, 0xAA, 0xAA, 0, 1, 2, 3, 4, 5, 6, 0, 0, 0, 0, 0, 0}), 0x030201,
       0x060504},
  };
  for (const auto& c : cases) {
    TDIBSurface s;
    LoadIcon(c.file, s);
    ASSERT_EQ(s.Width(), 2) << c.name;
    EXPECT_EQ(Rgb(s, 0, 0), c.left) << c.name;
    EXPECT_EQ(Rgb(s, 1, 0), c.right) << c.name;
  }
}

TEST(ImageFiles, WritersRefuseSizesTheirHeadersCannotHold) {
  // A TGA holds each side in 16 bits, an icon's directory in a byte where 0 means 256.
  TKvMemoryStream out;
  EXPECT_THROW(SaveTga(out, TDIBSurface(65536, 1, 24), -1, false, false), EOrbaError);
  EXPECT_THROW(SaveTga(out, TDIBSurface(1, 65536, 8), -1, true, false), EOrbaError);
  EXPECT_NO_THROW(SaveTga(out, TDIBSurface(65535, 1, 24), -1, false, false));
  EXPECT_THROW(SaveIcon(out, TDIBSurface(257, 1, 24), false), EOrbaError);
  EXPECT_THROW(SaveIcon(out, TDIBSurface(1, 257, 24), false), EOrbaError);
  EXPECT_THROW(SaveIcon(out, TDIBSurface(4, 4, 24), true, TPoint{65536, 0}), EOrbaError);
  TKvMemoryStream icon;
  SaveIcon(icon, TDIBSurface(256, 2, 24), false);
  TDIBSurface back;
  LoadIcon(icon.Bytes(), back);
  EXPECT_EQ(back.Width(), 256);
}

TEST(ImageFiles, PngAndJpegThroughTheirLibraries) {
  TDIBSurface s = Pattern(24);
  s.CreateAlpha();
  s.Alpha()->SetPixel(1, 1, 77);
  TKvMemoryStream png;
  SavePng(png, s);
  TDIBSurface back;
  LoadPng(png.Bytes(), back, true);
  ExpectSamePixels(s, back);
  EXPECT_EQ(back.Alpha()->GetPixel(1, 1), 77u);
  TDIBSurface flat(8, 8, 24);
  flat.FillRect(flat.BoundsRect(), 0x406080);
  TKvMemoryStream jpeg;
  SaveJpeg(jpeg, flat, 95);
  TDIBSurface j;
  LoadJpeg(jpeg.Bytes(), j);
  ASSERT_EQ(j.Width(), 8);
  TRGB c = j.PixelToRGB(j.GetPixel(4, 4), false);
  EXPECT_NEAR(c.Red, 0x40, 3);
  EXPECT_NEAR(c.Blue, 0x80, 3);
  std::vector<uint8_t> broken(jpeg.Bytes().begin(), jpeg.Bytes().begin() + 20);
  EXPECT_THROW(LoadJpeg(broken, j), EReadError);
}

// A PAM file (netpbm's own format) of 8-bit samples with an alpha channel, stored compressed.
struct Pam {
  int32_t width = 0, height = 0, depth = 0;
  std::vector<uint8_t> samples;
  uint32_t Rgb(int32_t x, int32_t y) const {
    const uint8_t* p = &samples[(static_cast<size_t>(y) * width + x) * depth];
    return depth >= 3 ? uint32_t{p[0]} << 16 | p[1] << 8 | p[2] : p[0] * 0x010101u;
  }
  uint8_t Alpha(int32_t x, int32_t y) const { return samples[(static_cast<size_t>(y) * width + x + 1) * depth - 1]; }
};

Pam ReadCompressedPam(const std::filesystem::path& file) {
  std::vector<uint8_t> packed = ReadFileBytes(file.string());
  std::vector<uint8_t> bytes(1 << 20);
  uLongf size = bytes.size();
  EXPECT_EQ(uncompress(bytes.data(), &size, packed.data(), packed.size()), Z_OK) << file;
  bytes.resize(size);
  Pam p;
  std::string header(bytes.begin(), bytes.begin() + std::min<size_t>(bytes.size(), 200));
  size_t end = header.find("ENDHDR\n");
  std::istringstream in(header.substr(0, end));
  for (std::string key; in >> key;) {
    if (key == "WIDTH") in >> p.width;
    else if (key == "HEIGHT") in >> p.height;
    else if (key == "DEPTH") in >> p.depth;
  }
  p.samples.assign(bytes.begin() + static_cast<std::ptrdiff_t>(end + 7), bytes.end());
  EXPECT_EQ(p.samples.size(), static_cast<size_t>(p.width) * p.height * p.depth) << file;
  return p;
}

// The PngSuite pictures (basic formats, transparency, filters) against netpbm's reading of
// them: every pixel's colour is the file's samples as stored, whatever the gAMA chunk says,
// 16-bit samples rounded to 8 bits; alpha goes to the alpha plane, a tRNS colour becomes the
// transparent value, and palette pictures keep their indexes.
TEST(ImageFiles, PngSuitePixelsAreTheStoredSamples) {
  const std::filesystem::path dir = Fixture("pngsuite");
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    if (entry.path().extension() != ".png") continue;
    ++files;
    const std::string name = entry.path().filename().string();
    SCOPED_TRACE(name);
    Pam twin = ReadCompressedPam(dir / (entry.path().stem().string() + ".pam.z"));
    TDIBSurface s;
    const int64_t transparent = LoadPng(ReadFileBytes(entry.path().string()), s, true);
    ASSERT_EQ(s.Width(), twin.width);
    ASSERT_EQ(s.Height(), twin.height);
    const bool palette = name.find("3p") != std::string::npos;
    if (palette) {
      EXPECT_LE(s.BitCount(), 8);
    }
    bool anyClear = false;
    for (int32_t y = 0; y < twin.height; ++y)
      for (int32_t x = 0; x < twin.width; ++x) {
        ASSERT_EQ(Rgb(s, x, y), twin.Rgb(x, y)) << x << "," << y;
        const uint8_t a = twin.Alpha(x, y);
        anyClear |= a != 255;
        if (s.Alpha()) {
          ASSERT_EQ(s.Alpha()->GetPixel(x, y), a) << x << "," << y;
        } else if (a == 0) {
          ASSERT_EQ(static_cast<int64_t>(s.GetPixel(x, y)), transparent) << x << "," << y;
        } else {
          ASSERT_EQ(a, 255) << x << "," << y;
        }
      }
    if (!anyClear) {
      EXPECT_EQ(s.Alpha(), nullptr);
    }
  }
  EXPECT_GE(files, 30);
}

// The largest resident size of the process so far, in bytes.
int64_t PeakResident() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return int64_t{usage.ru_maxrss} * 1024;
}

TEST(ImageFiles, APictureClaimingAHugeSizeIsRefusedBeforeItsMemoryIsTaken) {
  // A progressive JPEG (by netpbm) whose frame header is made to say 20000 x 20000: the
  // library would hold every coefficient of that, 2.4 GB, before the size was looked at.
  std::vector<uint8_t> jpeg = ReadFileBytes(Fixture("progressive.jpg"));
  const std::vector<uint8_t> twoBytes = {0xFF, 0xC2};
  auto sof = std::search(jpeg.begin(), jpeg.end(), twoBytes.begin(), twoBytes.end());
  ASSERT_NE(sof, jpeg.end());
  for (int k : {5, 7}) {
    sof[k] = 20000 >> 8;
    sof[k + 1] = 20000 & 0xFF;
  }
  const int64_t before = PeakResident();
  TDIBSurface s;
  EXPECT_THROW(LoadJpeg(jpeg, s), EReadError);
  // A PNG whose header says 100000 x 100000 (only the header and an empty data chunk).
  TKvMemoryStream small;
  SavePng(small, TDIBSurface(1, 1, 24));
  std::vector<uint8_t> png = small.TakeBytes();
  for (int at : {16, 20}) {
    png[at] = 0;
    png[at + 1] = 0x01;
    png[at + 2] = 0x86;
    png[at + 3] = 0xA0;
  }
  const uLong crc = crc32(0, png.data() + 12, 17);  // the header chunk's type and fields
  for (int k = 0; k < 4; ++k) png[29 + k] = static_cast<uint8_t>(crc >> (24 - 8 * k));
  EXPECT_THROW(LoadPng(png, s, true), EReadError);
  EXPECT_LT(PeakResident() - before, int64_t{200} << 20) << "bytes taken while refusing";
}

TEST(ImageFiles, SniffsByFirstBytes) {
  const struct { std::vector<uint8_t> bytes; TImageKind kind; } cases[] = {
      {{'B', 'M', 0, 0}, IK_BMP},
      {{0x89, 'P', 'N', 'G'}, IK_PNG},
      {{'T', 'a', 'r', 'n'}, IK_LAYERED},
      {{0xFF, 0xD8, 0xFF, 0xE0}, IK_JPEG},
      {{'B'}, IK_UNKNOWN},
      {{0, 0, 2, 0}, IK_UNKNOWN},
  };
  for (const auto& c : cases) EXPECT_EQ(SniffImageKind(c.bytes.data(), c.bytes.size()), c.kind);
}

TEST(ImageFiles, BmpTruncatedOrLyingRaises) {
  TKvMemoryStream out;
  SaveBmp(out, Pattern(8));
  std::vector<uint8_t> bytes = out.Bytes();
  TDIBSurface s;
  std::vector<uint8_t> cut(bytes.begin(), bytes.end() - 40);
  EXPECT_THROW(LoadBmp(cut, s), EReadError);
  std::vector<uint8_t> hugeCount = bytes;
  hugeCount[46] = 0xFF;
  hugeCount[47] = 0xFF;
  hugeCount[48] = 0xFF;
  EXPECT_THROW(LoadBmp(hugeCount, s), EReadError);
}

}  // namespace
}  // namespace orba
