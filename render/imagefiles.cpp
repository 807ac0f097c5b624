// Picture files. The readers walk the file through a bounded cursor: every field, table and
// row is checked against the bytes that are there, so a short or lying file raises EReadError.
#include "render/imagefiles.h"
#include "render/trn.h"

#include <png.h>

#include <algorithm>
#include <bit>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <fstream>

#include <jpeglib.h>

#include "base/binio.h"
#include "base/cp932.h"
#include "base/error.h"
#include "base/stream.h"
#include "files/replacefile.h"
#include "render/dibx.h"

namespace orba {

namespace {

[[noreturn]] void Broken() {
  // "The image file is damaged."
  throw EReadError(Sjis(u8"画像ファイルが壊れています"));
}

[[noreturn]] void Unsupported() {
  // "This image format cannot be read."
  throw EOrbaError(Sjis(u8"この画像形式は読み込めません"));
}

class Cursor {
 public:
  explicit Cursor(std::span<const uint8_t> data, size_t pos = 0) : data_(data), pos_(pos) {
    if (pos > data.size()) Broken();
  }
  size_t Pos() const { return pos_; }
  size_t Remaining() const { return data_.size() - pos_; }
  void Need(uint64_t n) const { if (n > Remaining()) Broken(); }
  void Seek(uint64_t pos) { if (pos > data_.size()) Broken(); pos_ = static_cast<size_t>(pos); }
  void Skip(uint64_t n) { Need(n); pos_ += static_cast<size_t>(n); }
  uint8_t U8() { Need(1); return data_[pos_++]; }
  uint16_t U16() { Need(2); uint16_t v = static_cast<uint16_t>(data_[pos_] | data_[pos_ + 1] << 8); pos_ += 2; return v; }
  uint32_t U32() {
    Need(4);
    uint32_t v = data_[pos_] | data_[pos_ + 1] << 8 | data_[pos_ + 2] << 16 | static_cast<uint32_t>(data_[pos_ + 3]) << 24;
    pos_ += 4;
    return v;
  }
  int32_t I32() { return static_cast<int32_t>(U32()); }
  const uint8_t* Take(uint64_t n) { Need(n); const uint8_t* p = data_.data() + pos_; pos_ += static_cast<size_t>(n); return p; }

 private:
  std::span<const uint8_t> data_;
  size_t pos_;
};

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

bool EndsWith(const std::string& s, const char* tail) {
  size_t n = std::strlen(tail);
  return s.size() >= n && s.compare(s.size() - n, n, tail) == 0;
}

void PutU16(std::vector<uint8_t>& out, uint32_t v) { out.push_back(static_cast<uint8_t>(v)); out.push_back(static_cast<uint8_t>(v >> 8)); }
void PutU32(std::vector<uint8_t>& out, uint32_t v) { PutU16(out, v & 0xFFFF); PutU16(out, v >> 16); }

void WriteAll(TKvBigStream& stream, const std::vector<uint8_t>& bytes) {
  TBinaryWriter(stream).Write(bytes.data(), static_cast<int64_t>(bytes.size()));
}

int32_t RowBytes(int64_t width, int32_t bits) {
  int64_t n = (width * bits + 31) / 32 * 4;
  if (n > INT32_MAX) Broken();
  return static_cast<int32_t>(n);
}

// Moves byte 3 of every 32-bit pixel into a new alpha plane (inverted when asked) and makes
// the surface 24 bits.
void SplitAlpha32(TDIBSurface& s, bool inverted) {
  s.CreateAlpha();
  for (int32_t y = 0; y < s.Height(); ++y) {
    const uint8_t* row = s.ScanLine(y);
    uint8_t* a = s.Alpha()->ScanLine(y);
    for (int32_t x = 0; x < s.Width(); ++x) a[x] = inverted ? 255 - row[4 * x + 3] : row[4 * x + 3];
  }
  TDIBSurface copy;
  copy.Assign(s);
  s.SetSize(copy.Width(), copy.Height(), 24);
  for (int32_t y = 0; y < s.Height(); ++y) {
    const uint8_t* src = copy.ScanLine(y);
    uint8_t* dst = s.ScanLine(y);
    for (int32_t x = 0; x < s.Width(); ++x) std::memcpy(dst + 3 * x, src + 4 * x, 3);
  }
}

// ---- BMP ----

struct BmpInfo {
  int32_t width = 0, height = 0, bits = 0;
  uint32_t compression = 0, coloursUsed = 0;
  uint32_t masks[4] = {0, 0, 0, 0};
  bool topDown = false;
};

// The 15/16/32-bit bit-field form matching the masks, or 0 when the masks are something else.
int32_t FormatOfMasks(int32_t bits, const uint32_t* m) {
  if (bits == 16 && m[0] == 0x7C00 && m[1] == 0x03E0 && m[2] == 0x1F) return 15;
  if (bits == 16 && m[0] == 0xF800 && m[1] == 0x07E0 && m[2] == 0x1F) return 16;
  if (bits == 32 && m[0] == 0xFF0000 && m[1] == 0xFF00 && m[2] == 0xFF) return 32;
  return 0;
}

uint8_t ExtractChannel(uint32_t v, uint32_t mask) {
  if (!mask) return 0;
  int shift = std::countr_zero(mask);
  uint32_t max = mask >> shift;
  return static_cast<uint8_t>(((v & mask) >> shift) * 255 / max);
}

void DecodeRle(Cursor& c, const BmpInfo& info, TDIBSurface& s) {
  // Coordinates count from the bottom row of the file, as stored.
  int32_t x = 0, row = 0;
  auto put = [&](uint32_t v) {
    if (x < info.width && row < info.height) s.SetPixel(x, info.topDown ? row : info.height - 1 - row, v);
    ++x;
  };
  while (row < info.height) {
    uint8_t count = c.U8(), value = c.U8();
    if (count > 0) {
      for (int i = 0; i < count; ++i)
        put(info.bits == 8 ? value : (i & 1) ? (value & 0xF) : (value >> 4));
    } else if (value == 0) {
      x = 0;
      ++row;
    } else if (value == 1) {
      return;
    } else if (value == 2) {
      x += c.U8();
      row += c.U8();
    } else {
      int32_t bytes = info.bits == 8 ? value : (value + 1) / 2;
      const uint8_t* p = c.Take(static_cast<uint64_t>(bytes));
      for (int i = 0; i < value; ++i) put(info.bits == 8 ? p[i] : (i & 1) ? (p[i / 2] & 0xF) : (p[i / 2] >> 4));
      if (bytes & 1) c.Skip(1);
    }
  }
}

}  // namespace

std::vector<uint8_t> ReadFileBytes(const std::string& fileName) {
  std::ifstream in(fileName, std::ios::binary);
  // "The file cannot be opened."
  if (!in) throw EOrbaError(Sjis(u8"ファイルを開けません: ") + fileName);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFileBytes(const std::string& fileName, const std::vector<uint8_t>& bytes) {
  WriteFileReplacing(fileName, bytes);
}

void LoadBmp(std::span<const uint8_t> data, TDIBSurface& surface) {
  Cursor c(data);
  if (c.U8() != 'B' || c.U8() != 'M') Broken();
  c.Skip(8);
  uint32_t offBits = c.U32();
  size_t headerStart = c.Pos();
  uint32_t headerSize = c.U32();
  BmpInfo info;
  int32_t paletteEntry = 4;
  if (headerSize == 12) {
    info.width = c.U16();
    info.height = static_cast<int16_t>(c.U16());
    c.Skip(2);
    info.bits = c.U16();
    paletteEntry = 3;
  } else if (headerSize >= 40) {
    info.width = c.I32();
    info.height = c.I32();
    c.Skip(2);
    info.bits = c.U16();
    info.compression = c.U32();
    c.Skip(12);
    info.coloursUsed = c.U32();
    c.Skip(4);
    if (headerSize >= 52) for (int i = 0; i < 3; ++i) info.masks[i] = c.U32();
    if (headerSize >= 56) info.masks[3] = c.U32();
    c.Seek(headerStart + headerSize);
    if (info.compression == 3 && headerSize == 40) for (int i = 0; i < 3; ++i) info.masks[i] = c.U32();
  } else {
    Broken();
  }
  if (info.height < 0) {
    if (info.height == INT32_MIN) Broken();
    info.topDown = true;
    info.height = -info.height;
  }
  if (info.width <= 0 || info.height <= 0) Broken();
  bool rle = info.compression == 1 || info.compression == 2;
  if (info.compression > 3 || (rle && info.bits != (info.compression == 1 ? 8 : 4))) Unsupported();
  if (info.compression == 3 && info.bits != 16 && info.bits != 32) Broken();
  int32_t format;
  switch (info.bits) {
    case 1: case 4: case 8: format = info.bits; break;
    case 16:
      if (info.compression != 3) { info.masks[0] = 0x7C00; info.masks[1] = 0x03E0; info.masks[2] = 0x1F; }
      format = FormatOfMasks(16, info.masks);
      if (!format) format = 24;
      break;
    case 24: format = 24; break;
    case 32:
      if (info.compression != 3) { info.masks[0] = 0xFF0000; info.masks[1] = 0xFF00; info.masks[2] = 0xFF; }
      format = FormatOfMasks(32, info.masks) ? 32 : 24;
      break;
    default: Broken();
  }
  // The rows must be there before memory is taken for them.
  uint64_t pixelCount = static_cast<uint64_t>(info.width) * static_cast<uint64_t>(info.height);
  if (offBits > data.size()) Broken();
  uint64_t pixelBytes = data.size() - offBits;
  if (rle ? pixelCount > pixelBytes * 1024
          : static_cast<uint64_t>(RowBytes(info.width, info.bits)) * (info.height - 1) > pixelBytes)
    Broken();
  TDIBSurface s;
  s.SetSize(info.width, info.height, format);
  if (info.bits <= 8) {
    uint32_t count = info.coloursUsed ? info.coloursUsed : (1u << info.bits);
    // More entries than the depth can index are read past, not stored.
    c.Need(static_cast<uint64_t>(count) * paletteEntry);
    for (uint32_t i = 0; i < count; ++i) {
      const uint8_t* e = c.Take(static_cast<uint64_t>(paletteEntry));
      if (i < 256) s.Palette()[i] = {e[0], e[1], e[2], 0};
    }
  }
  c.Seek(offBits);
  if (rle) {
    DecodeRle(c, info, s);
  } else {
    int32_t rowBytes = RowBytes(info.width, info.bits);
    c.Need(static_cast<uint64_t>(rowBytes) * (info.height - 1) + static_cast<uint64_t>((int64_t{info.width} * info.bits + 7) / 8));
    for (int32_t j = 0; j < info.height; ++j) {
      int32_t y = info.topDown ? j : info.height - 1 - j;
      size_t used = static_cast<size_t>((int64_t{info.width} * info.bits + 7) / 8);
      const uint8_t* src = c.Take(std::min<uint64_t>(rowBytes, c.Remaining()));
      if (format == info.bits || (format == 15 && info.bits == 16)) {
        std::memcpy(s.ScanLine(y), src, std::min<size_t>(used, s.Pitch()));
      } else {
        // Other bit fields: each channel scaled to 8 bits.
        for (int32_t x = 0; x < info.width; ++x) {
          uint32_t v = info.bits == 16 ? (src[2 * x] | src[2 * x + 1] << 8)
                                       : (src[4 * x] | src[4 * x + 1] << 8 | src[4 * x + 2] << 16 |
                                          static_cast<uint32_t>(src[4 * x + 3]) << 24);
          s.SetPixel(x, y, s.RGBToPixel(ExtractChannel(v, info.masks[0]), ExtractChannel(v, info.masks[1]),
                                        ExtractChannel(v, info.masks[2])));
        }
      }
    }
  }
  surface.Assign(s);
}

void SaveBmp(TKvBigStream& stream, const TDIBSurface& surface) {
  int32_t bits = surface.BitCount(), format = surface.PixelFormat();
  bool fields = format == 16;
  uint32_t paletteCount = bits <= 8 ? (1u << bits) : 0;
  uint32_t headerBytes = 14 + 40 + (fields ? 12 : 0) + paletteCount * 4;
  uint32_t imageBytes = static_cast<uint32_t>(surface.Pitch()) * surface.Height();
  std::vector<uint8_t> out;
  out.reserve(headerBytes + imageBytes);
  out.push_back('B');
  out.push_back('M');
  PutU32(out, headerBytes + imageBytes);
  PutU32(out, 0);
  PutU32(out, headerBytes);
  PutU32(out, 40);
  PutU32(out, static_cast<uint32_t>(surface.Width()));
  PutU32(out, static_cast<uint32_t>(surface.Height()));
  PutU16(out, 1);
  PutU16(out, static_cast<uint32_t>(bits));
  PutU32(out, fields ? 3 : 0);
  PutU32(out, imageBytes);
  PutU32(out, 2835);
  PutU32(out, 2835);
  PutU32(out, paletteCount);
  PutU32(out, 0);
  if (fields) { PutU32(out, 0xF800); PutU32(out, 0x07E0); PutU32(out, 0x1F); }
  for (uint32_t i = 0; i < paletteCount; ++i) {
    const TPaletteEntry& e = surface.Palette()[i];
    out.insert(out.end(), {e.Blue, e.Green, e.Red, 0});
  }
  for (int32_t y = surface.Height() - 1; y >= 0; --y) {
    const uint8_t* row = surface.ScanLine(y);
    out.insert(out.end(), row, row + surface.Pitch());
  }
  WriteAll(stream, out);
}

// ---- TGA ----

int64_t LoadTga(std::span<const uint8_t> data, TDIBSurface& surface, bool wantAlpha) {
  Cursor c(data);
  uint8_t idLength = c.U8(), mapType = c.U8(), imageType = c.U8();
  uint16_t mapFirst = c.U16(), mapLength = c.U16();
  uint8_t mapEntryBits = c.U8();
  c.Skip(4);
  uint16_t width = c.U16(), height = c.U16();
  uint8_t depth = c.U8(), descriptor = c.U8();
  switch (imageType) {
    case 1: case 2: case 3: case 9: case 10: case 11: break;
    default:
      surface.Clear();
      return -1;
  }
  // Footer: trailing zero bytes skipped, then "TRUEVISION-XFILE" before a '.'.
  size_t size = data.size(), dataEnd = size;
  int64_t transparentRGB = -1;
  size_t last = size;
  while (last > 0 && data[last - 1] == 0) --last;
  if (last >= 1 + 16 + 8 && data[last - 1] == '.' &&
      std::memcmp(data.data() + last - 17, "TRUEVISION-XFILE", 16) == 0) {
    Cursor f(data, last - 25);
    uint32_t extOffset = f.U32(), devOffset = f.U32();
    size_t footerStart = last - 25;
    // Offsets pointing past the footer are not believed.
    if (extOffset > footerStart) extOffset = 0;
    if (devOffset > footerStart) devOffset = 0;
    if (devOffset) dataEnd = devOffset;
    else if (extOffset) dataEnd = extOffset;
    else dataEnd = footerStart;
    if (extOffset) {
      Cursor e(data, extOffset);
      const uint8_t* area = e.Take(495);
      transparentRGB = area[471] << 16 | area[472] << 8 | area[473];  // red, green, blue
    }
  }
  c.Skip(idLength);
  int32_t format;
  switch (depth) {
    case 8: format = 8; break;
    case 15: case 16: format = 16; break;
    case 24: format = 24; break;
    case 32: format = 32; break;
    case 1: if (imageType == 3 || imageType == 11) { format = 1; break; } [[fallthrough]];
    default: Broken();
  }
  if ((imageType == 1 || imageType == 9) && depth != 8) Broken();
  if ((imageType == 2 || imageType == 10) && depth == 8) Broken();
  if (width == 0 || height == 0) Broken();
  // The pixels must be there before memory is taken for them: a run packet of 1 + n bytes
  // gives at most 128 pixels.
  {
    uint64_t pixels = static_cast<uint64_t>(width) * height, remaining = c.Remaining();
    uint64_t perPixel = format == 1 ? 1 : (depth + 7) / 8;
    bool fits = imageType >= 9 ? pixels <= remaining * 128 / (1 + perPixel)
                               : (format == 1 ? (width + 7) / 8 : width * perPixel) * height <= remaining;
    if (!fits) Broken();
  }
  TDIBSurface s;
  s.SetSize(width, height, format);
  if (imageType == 3 || imageType == 11) {
    for (int i = 0; i < 256; ++i) s.Palette()[i] = {uint8_t(i), uint8_t(i), uint8_t(i), 0};
    if (format == 1) s.Palette()[1] = {255, 255, 255, 0};
  }
  if (mapType == 1 && mapLength > 0) {
    int32_t entryBytes = (mapEntryBits + 7) / 8;
    if (entryBytes != 2 && entryBytes != 3 && entryBytes != 4) Broken();
    for (uint32_t i = 0; i < mapLength; ++i) {
      const uint8_t* e = c.Take(static_cast<uint64_t>(entryBytes));
      uint32_t index = mapFirst + i;
      if (index > 255) continue;  // consumed, not stored
      TPaletteEntry& p = s.Palette()[index];
      if (entryBytes == 2) {
        uint32_t v = e[0] | e[1] << 8;
        p = {static_cast<uint8_t>(v << 3), static_cast<uint8_t>((v & 0x03E0) >> 2), static_cast<uint8_t>((v & 0x7C00) >> 7), 0};
      } else {
        p = {e[0], e[1], e[2], 0};
      }
    }
  } else if (mapType == 1) {
    // An empty map: nothing to read.
  } else if (mapType != 0) {
    Broken();
  }
  int64_t transparent = -1;
  if (transparentRGB >= 0)
    transparent = s.RGBToPixel(static_cast<uint8_t>(transparentRGB >> 16), static_cast<uint8_t>(transparentRGB >> 8),
                               static_cast<uint8_t>(transparentRGB));
  int32_t pixelBytes = format == 1 ? 0 : (depth + 7) / 8;
  size_t pixels = static_cast<size_t>(width) * height;
  std::vector<uint8_t> buffer;
  if (imageType >= 9) {
    if (format == 1) Unsupported();
    if (dataEnd < c.Pos()) Broken();
    Cursor r(data.first(dataEnd), c.Pos());
    buffer.resize(pixels * pixelBytes);
    size_t done = 0;
    while (done < pixels) {
      uint8_t header = r.U8();
      size_t count = std::min<size_t>((header & 0x7F) + 1, pixels - done);
      if (header & 0x80) {
        const uint8_t* p = r.Take(static_cast<uint64_t>(pixelBytes));
        for (size_t i = 0; i < count; ++i) std::memcpy(&buffer[(done + i) * pixelBytes], p, pixelBytes);
      } else {
        std::memcpy(&buffer[done * pixelBytes], r.Take(count * pixelBytes), count * pixelBytes);
      }
      done += count;
    }
  }
  // 15-bit pixels take whole 16-bit words like 16-bit ones: rows are counted in pixel bytes.
  int32_t rowBytes = format == 1 ? (width + 7) / 8 : width * pixelBytes;
  if (imageType < 9) c.Need(static_cast<uint64_t>(rowBytes) * height);
  for (int32_t y = 0; y < height; ++y) {
    const uint8_t* row = imageType >= 9 ? &buffer[static_cast<size_t>(y) * width * pixelBytes] : c.Take(rowBytes);
    uint8_t* dst = s.ScanLine(y);
    if (depth == 15 || depth == 16) {
      for (int32_t x = 0; x < width; ++x) {
        uint32_t v = row[2 * x] | row[2 * x + 1] << 8;
        v = ((v >> 5) << 6) | (v & 0x1F);
        dst[2 * x] = static_cast<uint8_t>(v);
        dst[2 * x + 1] = static_cast<uint8_t>(v >> 8);
      }
    } else {
      std::memcpy(dst, row, rowBytes);
    }
  }
  if (descriptor & 0x10) s.MirrorHorizontal();
  if (!(descriptor & 0x20)) s.FlipVertical();
  if (format == 32 && wantAlpha) SplitAlpha32(s, true);
  surface.Assign(s);
  return transparent;
}

void SaveTga(TKvBigStream& stream, const TDIBSurface& surface, int64_t transparent, bool rle, bool alpha) {
  TDIBSurface work;
  work.Assign(surface);
  work.FreeAlpha();
  if (alpha && surface.Alpha()) {
    if (work.PixelFormat() != 32) work.ConvertTo(32);
    for (int32_t y = 0; y < work.Height(); ++y)
      for (int32_t x = 0; x < work.Width(); ++x) work.ScanLine(y)[4 * x + 3] = 255 - surface.Alpha()->ScanLine(y)[x];
  } else if (work.BitCount() < 8) {
    TDIBSurface wide(work.Width(), work.Height(), 8);
    wide.Palette() = work.Palette();
    for (int32_t y = 0; y < work.Height(); ++y)
      for (int32_t x = 0; x < work.Width(); ++x) wide.SetPixel(x, y, work.GetPixel(x, y));
    work.Assign(wide);
  }
  int32_t bits = work.BitCount(), format = work.PixelFormat();
  // The header holds each side in 16 bits.
  if (work.Width() > 0xFFFF || work.Height() > 0xFFFF) throw EOrbaError(Sjis(u8"画像が大きすぎます"));
  bool mapped = bits <= 8;
  std::vector<uint8_t> out;
  out.push_back(0);
  out.push_back(mapped ? 1 : 0);
  out.push_back(static_cast<uint8_t>((mapped ? 1 : 2) + (rle ? 8 : 0)));
  PutU16(out, 0);
  PutU16(out, mapped ? 256 : 0);
  out.push_back(mapped ? 24 : 0);
  PutU16(out, 0);
  PutU16(out, 0);
  PutU16(out, static_cast<uint32_t>(work.Width()));
  PutU16(out, static_cast<uint32_t>(work.Height()));
  out.push_back(static_cast<uint8_t>(format == 15 ? 16 : bits));
  out.push_back(0x20);
  if (mapped)
    for (int i = 0; i < 256; ++i) out.insert(out.end(), {work.Palette()[i].Blue, work.Palette()[i].Green, work.Palette()[i].Red});
  int32_t pixelBytes = bits / 8;
  auto pixelOut = [&](uint32_t v) {
    for (int32_t b = 0; b < pixelBytes; ++b) out.push_back(static_cast<uint8_t>(v >> (8 * b)));
  };
  auto stored = [&](int32_t x, int32_t y) {
    uint32_t v = work.GetPixel(x, y);
    if (format == 16) v = (((v >> 6) << 5) & 0x7FFF) | (v & 0x1F);
    return v;
  };
  if (!rle) {
    for (int32_t y = 0; y < work.Height(); ++y)
      for (int32_t x = 0; x < work.Width(); ++x) pixelOut(stored(x, y));
  } else {
    TPxList runs;
    for (int32_t y = 0; y < work.Height(); ++y)
      for (int32_t x = 0; x < work.Width(); ++x) runs.Add(stored(x, y));
    for (int32_t i = 0; i < runs.Count();) {
      if (runs.RunLength(i) >= 2) {
        out.push_back(static_cast<uint8_t>(runs.RunLength(i) + 127));
        pixelOut(runs.RunValue(i));
        ++i;
        continue;
      }
      int32_t n = 0;
      while (i + n < runs.Count() && runs.RunLength(i + n) == 1 && n < 128) ++n;
      out.push_back(static_cast<uint8_t>(n - 1));
      for (int32_t k = 0; k < n; ++k) pixelOut(runs.RunValue(i + k));
      i += n;
    }
  }
  uint32_t extOffset = 0;
  if (transparent >= 0 && !(alpha && surface.Alpha())) {
    extOffset = static_cast<uint32_t>(out.size());
    std::vector<uint8_t> area(495, 0);
    area[0] = 495 & 0xFF;
    area[1] = 495 >> 8;
    TRGB rgb = surface.PixelToRGB(static_cast<uint32_t>(transparent), false);
    area[471] = rgb.Red;
    area[472] = rgb.Green;
    area[473] = rgb.Blue;
    out.insert(out.end(), area.begin(), area.end());
  }
  PutU32(out, extOffset);
  PutU32(out, 0);
  const char* signature = "TRUEVISION-XFILE.";
  out.insert(out.end(), signature, signature + 17);
  out.push_back(0);
  WriteAll(stream, out);
}

// ---- icons and cursors ----

TIconInfo LoadIcon(std::span<const uint8_t> data, TDIBSurface& surface, int64_t transparentColour) {
  TIconInfo info;
  if (data.size() >= 2 && data[0] == 'B' && data[1] == 'M') {
    LoadBmp(data, surface);
    return info;
  }
  Cursor c(data);
  c.Skip(2);
  uint16_t type = c.U16(), count = c.U16();
  if ((type != 1 && type != 2) || count == 0) Broken();
  info.Cursor = type == 2;
  c.Skip(4);
  uint16_t field1 = c.U16(), field2 = c.U16();
  uint32_t bytes = c.U32(), offset = c.U32();
  if (info.Cursor) info.HotSpot = {field1, field2};
  if (offset > data.size() || bytes > data.size() - offset) Broken();
  std::span<const uint8_t> image = data.subspan(offset, bytes);
  if (image.size() >= 8 && std::memcmp(image.data(), "\x89PNG", 4) == 0) {
    LoadPng(image, surface, true);
    return info;
  }
  Cursor h(image);
  uint32_t headerSize = h.U32();
  if (headerSize < 40) Broken();
  int32_t width = h.I32(), height2 = h.I32();
  h.Skip(2);
  int32_t bits = h.U16();
  uint32_t compression = h.U32();
  h.Skip(12);
  uint32_t coloursUsed = h.U32();
  h.Seek(headerSize);
  int32_t height = height2 / 2;
  if (width <= 0 || height <= 0 || (compression != 0 && compression != 3)) Broken();
  if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) Broken();
  // Bit fields name the 16-bit layout (5-6-5 or 5-5-5); without them 16 bits are 5-5-5.
  uint32_t masks[3] = {0x7C00, 0x03E0, 0x1F};
  if (compression == 3)
    for (uint32_t& m : masks) m = h.U32();
  int32_t format = bits;
  if (bits == 16) {
    format = FormatOfMasks(16, masks);
    if (!format) Unsupported();
  }
  int32_t xorBytes = RowBytes(width, bits), andBytes = RowBytes(width, 1);
  if (static_cast<uint64_t>(xorBytes) * height > h.Remaining()) Broken();
  TDIBSurface s;
  s.SetSize(width, height, format);
  if (bits <= 8) {
    uint32_t entries = coloursUsed ? coloursUsed : (1u << bits);
    for (uint32_t i = 0; i < entries; ++i) {
      const uint8_t* e = h.Take(4);
      if (i < 256) s.Palette()[i] = {e[0], e[1], e[2], 0};
    }
  } else {
    // A colour table before the pixels of a deeper image is read past.
    h.Skip(uint64_t{coloursUsed} * 4);
  }
  h.Need(static_cast<uint64_t>(xorBytes) * height);
  for (int32_t y = height - 1; y >= 0; --y) std::memcpy(s.ScanLine(y), h.Take(xorBytes), s.Pitch());
  // The AND mask: a set bit is transparent. 32-bit images may leave it out.
  std::vector<uint8_t> andMask(static_cast<size_t>(andBytes) * height, 0);
  if (h.Remaining() >= andMask.size() || bits != 32) {
    h.Need(andMask.size());
    for (int32_t y = height - 1; y >= 0; --y) std::memcpy(&andMask[static_cast<size_t>(y) * andBytes], h.Take(andBytes), andBytes);
  }
  auto masked = [&](int32_t x, int32_t y) { return (andMask[static_cast<size_t>(y) * andBytes + x / 8] >> (7 - x % 8)) & 1; };
  if (bits == 32) {
    SplitAlpha32(s, false);
    for (int32_t y = 0; y < height; ++y)
      for (int32_t x = 0; x < width; ++x)
        if (masked(x, y)) s.Alpha()->ScanLine(y)[x] = 0;
    surface.Assign(s);
    return info;
  }
  s.CreateAlpha();
  for (int32_t y = 0; y < height; ++y)
    for (int32_t x = 0; x < width; ++x) s.Alpha()->ScanLine(y)[x] = masked(x, y) ? 0 : 255;
  if (transparentColour >= 0 && bits > 1) {
    uint8_t r = transparentColour & 0xFF, g = (transparentColour >> 8) & 0xFF, b = (transparentColour >> 16) & 0xFF;
    int32_t unused = s.FindUnusedIndex();
    if (unused >= 0) {
      s.Palette()[unused] = {b, g, r, 0};
      info.Transparent = unused;
    } else {
      info.Transparent = s.RGBToPixel(r, g, b);
    }
    for (int32_t y = 0; y < height; ++y)
      for (int32_t x = 0; x < width; ++x)
        if (masked(x, y)) s.SetPixel(x, y, static_cast<uint32_t>(info.Transparent));
  }
  surface.Assign(s);
  return info;
}

void SaveIcon(TKvBigStream& stream, const TDIBSurface& surface, bool cursor, TPoint hotSpot, int64_t transparent) {
  TDIBSurface work;
  work.Assign(surface);
  const TDIBSurface* plane = surface.Alpha();
  // 5-6-5 has no plain icon form: it is stored as 24 bits; with an alpha plane, 32 bits.
  if (work.PixelFormat() == 16) work.ConvertTo(24);
  if (plane && work.BitCount() >= 24 && work.BitCount() != 32) work.ConvertTo(32);
  int32_t bits = work.BitCount(), width = work.Width(), height = work.Height();
  if (width <= 0 || height <= 0) throw EOrbaError("empty icon");
  // The directory holds each side in a byte (0 for 256) and the hot spot in 16 bits.
  if (width > 256 || height > 256 || (cursor && (hotSpot.X < 0 || hotSpot.Y < 0 || hotSpot.X > 0xFFFF || hotSpot.Y > 0xFFFF)))
    throw EOrbaError(Sjis(u8"画像が大きすぎます"));
  uint32_t paletteCount = bits <= 8 ? (1u << bits) : 0;
  int32_t xorBytes = RowBytes(width, bits), andBytes = RowBytes(width, 1);
  uint32_t imageSize = 40 + paletteCount * 4 + static_cast<uint32_t>((xorBytes + andBytes) * height);
  std::vector<uint8_t> out;
  PutU16(out, 0);
  PutU16(out, cursor ? 2 : 1);
  PutU16(out, 1);
  out.push_back(static_cast<uint8_t>(width >= 256 ? 0 : width));
  out.push_back(static_cast<uint8_t>(height >= 256 ? 0 : height));
  out.push_back(static_cast<uint8_t>(bits <= 4 ? paletteCount : 0));
  out.push_back(0);
  PutU16(out, cursor ? static_cast<uint32_t>(hotSpot.X) : 1);
  PutU16(out, cursor ? static_cast<uint32_t>(hotSpot.Y) : static_cast<uint32_t>(bits));
  PutU32(out, imageSize);
  PutU32(out, 22);
  PutU32(out, 40);
  PutU32(out, static_cast<uint32_t>(width));
  PutU32(out, static_cast<uint32_t>(height * 2));
  PutU16(out, 1);
  PutU16(out, static_cast<uint32_t>(bits));
  PutU32(out, 0);
  PutU32(out, static_cast<uint32_t>((xorBytes + andBytes) * height));
  PutU32(out, 0);
  PutU32(out, 0);
  PutU32(out, paletteCount);
  PutU32(out, 0);
  for (uint32_t i = 0; i < paletteCount; ++i) {
    const TPaletteEntry& e = work.Palette()[i];
    out.insert(out.end(), {e.Blue, e.Green, e.Red, 0});
  }
  auto isMasked = [&](int32_t x, int32_t y) {
    if (plane) return plane->ScanLine(y)[x] < 128;
    return transparent >= 0 && static_cast<int64_t>(surface.GetPixel(x, y)) == transparent;
  };
  for (int32_t y = height - 1; y >= 0; --y) {
    size_t start = out.size();
    out.insert(out.end(), work.ScanLine(y), work.ScanLine(y) + xorBytes);
    if (bits == 32)
      for (int32_t x = 0; x < width; ++x) out[start + 4 * x + 3] = plane ? plane->ScanLine(y)[x] : 255;
  }
  for (int32_t y = height - 1; y >= 0; --y) {
    std::vector<uint8_t> row(andBytes, 0);
    for (int32_t x = 0; x < width; ++x)
      if (isMasked(x, y)) row[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
    out.insert(out.end(), row.begin(), row.end());
  }
  WriteAll(stream, out);
}

// ---- PNG ----

namespace {

// libpng reports errors by a long jump back into LoadPng; nothing with a destructor lives
// between that point and the jump.
struct PngSource {
  std::span<const uint8_t> data;
  size_t pos = 0;
};

void PngRead(png_structp png, png_bytep out, size_t n) {
  auto* source = static_cast<PngSource*>(png_get_io_ptr(png));
  if (n > source->data.size() - source->pos) png_error(png, "truncated");
  std::memcpy(out, source->data.data() + source->pos, n);
  source->pos += n;
}

[[noreturn]] void PngFail(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void PngWarn(png_structp, png_const_charp) {}

struct PngReader {
  png_structp png = nullptr;
  png_infop info = nullptr;
  ~PngReader() { png_destroy_read_struct(&png, info ? &info : nullptr, nullptr); }
};

// A sample of a depth below 8 bits, or of 16 bits, as the 8-bit sample the reader makes of it.
uint32_t To8Bits(uint32_t v, int depth) {
  if (depth == 16) return (v * 255 + 32767) / 65535;
  return depth < 8 ? v * 255 / ((1u << depth) - 1) : v;
}

}  // namespace

int64_t LoadPng(std::span<const uint8_t> data, TDIBSurface& surface, bool wantAlpha) {
  PngReader r;
  r.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, PngFail, PngWarn);
  if (!r.png) throw std::bad_alloc();
  r.info = png_create_info_struct(r.png);
  if (!r.info) throw std::bad_alloc();
  PngSource source{data};
  TDIBSurface s;
  std::vector<png_bytep> rows;
  png_uint_32 width = 0, height = 0;
  int depth = 0, colour = 0, interlace = 0;
  int64_t transparent = -1;
  if (setjmp(png_jmpbuf(r.png))) Broken();
  png_set_read_fn(r.png, &source, PngRead);
  // The picture may claim no more than the largest surface, and no ancillary chunk may take
  // more than a small buffer, so a small file cannot make the reader allocate much.
  png_set_user_limits(r.png, static_cast<png_uint_32>(kMaxSurfacePixels), static_cast<png_uint_32>(kMaxSurfacePixels));
  png_set_chunk_malloc_max(r.png, 1 << 20);
  png_set_chunk_cache_max(r.png, 128);
  png_read_info(r.png, r.info);
  png_get_IHDR(r.png, r.info, &width, &height, &depth, &colour, &interlace, nullptr, nullptr);
  if (uint64_t{width} * height > static_cast<uint64_t>(kMaxSurfacePixels)) Broken();
  // The samples are taken as stored: gamma, sRGB and colour profiles are not applied;
  // 16-bit samples are rounded to 8 bits; palette pictures keep their indexes.
  png_color* plte = nullptr;
  int plteCount = 0;
  png_bytep transAlpha = nullptr;
  int transCount = 0;
  png_color_16p transColour = nullptr;
  png_get_PLTE(r.png, r.info, &plte, &plteCount);
  png_get_tRNS(r.png, r.info, &transAlpha, &transCount, &transColour);
  const bool hasTrns = png_get_valid(r.png, r.info, PNG_INFO_tRNS) != 0;
  int32_t format = 24;
  if (colour == PNG_COLOR_TYPE_PALETTE) {
    if (depth == 2) png_set_packing(r.png);
    format = depth == 2 ? 8 : depth;
  } else {
    if (depth == 16) png_set_scale_16(r.png);
    if (depth < 8) png_set_expand_gray_1_2_4_to_8(r.png);
    if (colour == PNG_COLOR_TYPE_GRAY || colour == PNG_COLOR_TYPE_GRAY_ALPHA) png_set_gray_to_rgb(r.png);
    png_set_bgr(r.png);
    format = colour & PNG_COLOR_MASK_ALPHA ? 32 : 24;
  }
  if (interlace != PNG_INTERLACE_NONE) png_set_interlace_handling(r.png);
  png_read_update_info(r.png, r.info);
  s.SetSize(static_cast<int32_t>(width), static_cast<int32_t>(height), format);
  if (png_get_rowbytes(r.png, r.info) > static_cast<size_t>(s.Pitch())) Broken();
  rows.resize(height);
  for (png_uint_32 y = 0; y < height; ++y) rows[y] = s.ScanLine(static_cast<int32_t>(y));
  png_read_image(r.png, rows.data());

  if (colour == PNG_COLOR_TYPE_PALETTE) {
    for (int i = 0; i < plteCount && i < (1 << format); ++i) s.Palette()[i] = {plte[i].blue, plte[i].green, plte[i].red, 0};
    if (hasTrns && transCount > 0) {
      // Per-index alpha: the alpha plane, and the first fully transparent index as the
      // transparent value when every index is either opaque or clear.
      bool keyOnly = std::all_of(transAlpha, transAlpha + transCount, [](png_byte a) { return a == 0 || a == 255; });
      const png_byte* clear = std::find(transAlpha, transAlpha + transCount, png_byte{0});
      if (keyOnly && clear != transAlpha + transCount) transparent = clear - transAlpha;
      if (wantAlpha) {
        s.CreateAlpha();
        for (int32_t y = 0; y < s.Height(); ++y)
          for (int32_t x = 0; x < s.Width(); ++x) {
            uint32_t index = s.GetPixel(x, y);
            s.Alpha()->ScanLine(y)[x] = index < static_cast<uint32_t>(transCount) ? transAlpha[index] : 255;
          }
      }
    }
  } else if (format == 32) {
    if (wantAlpha) {
      s.CreateAlpha();
      for (int32_t y = 0; y < s.Height(); ++y)
        for (int32_t x = 0; x < s.Width(); ++x) s.Alpha()->ScanLine(y)[x] = s.ScanLine(y)[4 * x + 3];
    }
  } else if (hasTrns && transColour) {
    // The tRNS colour, brought to 8-bit samples as the pixels were: the transparent value.
    const bool grey = colour == PNG_COLOR_TYPE_GRAY;
    const uint32_t red = To8Bits(grey ? transColour->gray : transColour->red, depth);
    const uint32_t green = To8Bits(grey ? transColour->gray : transColour->green, depth);
    const uint32_t blue = To8Bits(grey ? transColour->gray : transColour->blue, depth);
    transparent = red << 16 | green << 8 | blue;
  }
  surface.Assign(s);
  return transparent;
}

void SavePng(TKvBigStream& stream, const TDIBSurface& surface) {
  TDIBSurface work(surface.Width(), surface.Height(), 32);
  for (int32_t y = 0; y < work.Height(); ++y)
    for (int32_t x = 0; x < work.Width(); ++x) {
      TRGB c = surface.PixelToRGB(surface.GetPixel(x, y), false);
      uint8_t* p = work.ScanLine(y) + 4 * x;
      p[0] = c.Blue;
      p[1] = c.Green;
      p[2] = c.Red;
      p[3] = surface.Alpha() ? surface.Alpha()->ScanLine(y)[x] : 255;
    }
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  image.width = static_cast<png_uint_32>(work.Width());
  image.height = static_cast<png_uint_32>(work.Height());
  image.format = surface.Alpha() ? PNG_FORMAT_BGRA : PNG_FORMAT_BGR;
  if (!surface.Alpha()) {
    // Packed BGR rows for the writer.
    TDIBSurface packed(work.Width(), work.Height(), 24);
    for (int32_t y = 0; y < work.Height(); ++y)
      for (int32_t x = 0; x < work.Width(); ++x) std::memcpy(packed.ScanLine(y) + 3 * x, work.ScanLine(y) + 4 * x, 3);
    work.Assign(packed);
  }
  png_alloc_size_t size = 0;
  if (!png_image_write_get_memory_size(image, size, 0, work.Bits(), work.Pitch(), nullptr))
    throw EOrbaError("PNG encoding failed");
  std::vector<uint8_t> out(size);
  if (!png_image_write_to_memory(&image, out.data(), &size, 0, work.Bits(), work.Pitch(), nullptr))
    throw EOrbaError("PNG encoding failed");
  out.resize(size);
  WriteAll(stream, out);
}

// ---- JPEG ----

namespace {

struct JpegError {
  jpeg_error_mgr manager;
  std::jmp_buf jump;
};

void JpegErrorExit(j_common_ptr info) {
  std::longjmp(reinterpret_cast<JpegError*>(info->err)->jump, 1);
}

void JpegSilence(j_common_ptr, int) {}

}  // namespace

void LoadJpeg(std::span<const uint8_t> data, TDIBSurface& surface, int64_t maxPixels) {
  jpeg_decompress_struct info;
  JpegError error;
  info.err = jpeg_std_error(&error.manager);
  error.manager.error_exit = JpegErrorExit;
  error.manager.emit_message = JpegSilence;
  TDIBSurface s;
  std::vector<uint8_t> row;
  bool failed = false;
  jpeg_create_decompress(&info);
  if (setjmp(error.jump)) {
    failed = true;
  } else {
    jpeg_mem_src(&info, data.data(), static_cast<unsigned long>(data.size()));
    jpeg_read_header(&info, TRUE);
    // The stated size is checked before the library allocates anything for the image (a
    // progressive picture holds all its coefficients), and the library's own allocations are
    // capped at a fixed multiple of it.
    const uint64_t pixels = uint64_t{info.image_width} * info.image_height;
    if (pixels > static_cast<uint64_t>(std::min(maxPixels, kMaxSurfacePixels))) std::longjmp(error.jump, 1);
    info.mem->max_memory_to_use = static_cast<long>(pixels * 4 * static_cast<uint64_t>(std::max(info.num_components, 1)) + (16 << 20));
    info.out_color_space = JCS_RGB;
    jpeg_start_decompress(&info);
    if (static_cast<uint64_t>(info.output_width) * info.output_height > static_cast<uint64_t>(kMaxSurfacePixels) ||
        info.output_components != 3) {
      failed = true;
    } else {
      s.SetSize(static_cast<int32_t>(info.output_width), static_cast<int32_t>(info.output_height), 24);
      row.resize(static_cast<size_t>(info.output_width) * 3);
      while (info.output_scanline < info.output_height) {
        int32_t y = static_cast<int32_t>(info.output_scanline);
        JSAMPROW rows[1] = {row.data()};
        jpeg_read_scanlines(&info, rows, 1);
        uint8_t* dst = s.ScanLine(y);
        for (size_t x = 0; x < info.output_width; ++x) {
          dst[3 * x] = row[3 * x + 2];
          dst[3 * x + 1] = row[3 * x + 1];
          dst[3 * x + 2] = row[3 * x];
        }
      }
      jpeg_finish_decompress(&info);
    }
  }
  jpeg_destroy_decompress(&info);
  if (failed) Broken();
  surface.Assign(s);
}

void SaveJpeg(TKvBigStream& stream, const TDIBSurface& surface, int32_t quality) {
  jpeg_compress_struct info;
  JpegError error;
  info.err = jpeg_std_error(&error.manager);
  error.manager.error_exit = JpegErrorExit;
  error.manager.emit_message = JpegSilence;
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  std::vector<uint8_t> row(static_cast<size_t>(std::max(surface.Width(), 1)) * 3);
  bool failed = false;
  jpeg_create_compress(&info);
  if (setjmp(error.jump)) {
    failed = true;
  } else {
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = static_cast<JDIMENSION>(surface.Width());
    info.image_height = static_cast<JDIMENSION>(surface.Height());
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, std::clamp(quality, 1, 100), TRUE);
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
      int32_t y = static_cast<int32_t>(info.next_scanline);
      for (int32_t x = 0; x < surface.Width(); ++x) {
        TRGB c = surface.PixelToRGB(surface.GetPixel(x, y), false);
        row[3 * x] = c.Red;
        row[3 * x + 1] = c.Green;
        row[3 * x + 2] = c.Blue;
      }
      JSAMPROW rows[1] = {row.data()};
      jpeg_write_scanlines(&info, rows, 1);
    }
    jpeg_finish_compress(&info);
  }
  jpeg_destroy_compress(&info);
  if (!failed && buffer) TBinaryWriter(stream).Write(buffer, static_cast<int64_t>(size));
  std::free(buffer);
  if (failed) throw EOrbaError("JPEG encoding failed");
}

// ---- dispatch ----

int64_t LoadAnyImage(std::span<const uint8_t> data, const std::string& fileName, TDIBSurface& surface,
                     bool wantAlpha) {
  std::string name = Lower(fileName);
  surface.Clear();
  if (EndsWith(name, ".tga")) return LoadTga(data, surface, wantAlpha);
  if (EndsWith(name, ".ico") || EndsWith(name, ".cur")) return LoadIcon(data, surface).Transparent;
  switch (SniffImageKind(data.data(), data.size())) {
    case IK_BMP:
      LoadBmp(data, surface);
      if (wantAlpha && surface.BitCount() == 32) SplitAlpha32(surface, false);
      return -1;
    case IK_PNG: return LoadPng(data, surface, wantAlpha);
    case IK_JPEG: LoadJpeg(data, surface); return -1;
    default: Unsupported();
  }
}

int64_t TDIBSurface::LoadImage(const std::string& fileName, bool wantAlpha) {
  std::vector<uint8_t> bytes = ReadFileBytes(fileName);
  return LoadAnyImage(bytes, fileName, *this, wantAlpha);
}

void TDIBSurface::SaveToFile(const std::string& fileName) const {
  std::string name = Lower(fileName);
  TKvMemoryStream out;
  if (EndsWith(name, ".tga")) SaveTga(out, *this, -1, false, false);
  else if (EndsWith(name, ".ico")) SaveIcon(out, *this, false);
  else if (EndsWith(name, ".cur")) SaveIcon(out, *this, true);
  else if (EndsWith(name, ".png")) SavePng(out, *this);
  else if (EndsWith(name, ".jpg") || EndsWith(name, ".jpeg")) SaveJpeg(out, *this);
  else SaveBmp(out, *this);
  WriteFileBytes(fileName, out.Bytes());
}

void TDIBSurface::SaveToJpeg(TKvBigStream& stream, int32_t quality) const { SaveJpeg(stream, *this, quality); }

void TCustomDIBX::LoadFromStream(TKvBigStream& stream) {
  int64_t size = stream.Remaining();
  if (size < 0 || size > (int64_t{1} << 31)) Broken();
  std::vector<uint8_t> bytes(static_cast<size_t>(size));
  TBinaryReader(stream).Read(bytes.data(), size);
  TDIBSurface image;
  switch (SniffImageKind(bytes.data(), bytes.size())) {
    case IK_BMP: LoadBmp(bytes, image); break;
    case IK_PNG: LoadPng(bytes, image, false); break;
    case IK_JPEG: LoadJpeg(bytes, image); break;
    case IK_LAYERED: {
      // A layered picture gives its first frame, with rows in the project's order.
      TTarnFrameList list(ProjectImageSeed());
      TKvViewStream s(bytes);
      list.LoadFromStream(s, true, false);
      if (list.Count() == 0) Broken();
      image = std::move(list[0].Surface);
      break;
    }
    default: Unsupported();
  }
  int32_t format = PixelFormat() ? PixelFormat() : 15;
  SetSize(image.Width(), image.Height(), format);
  if (auto* self = dynamic_cast<TDIBX*>(this)) {
    self->Image().DrawConverted(0, 0, -1, image);
    return;
  }
  for (int32_t y = 0; y < image.Height(); ++y)
    for (int32_t x = 0; x < image.Width(); ++x) {
      TRGB c = image.PixelToRGB(image.GetPixel(x, y), false);
      SetPixel(x, y, static_cast<uint32_t>(ColorToPixel(c.Red | c.Green << 8 | c.Blue << 16)));
    }
}

}  // namespace orba
