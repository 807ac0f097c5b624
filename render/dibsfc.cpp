// The DIB surface: storage, colour conversions and the per-depth drawing loops. Each routine
// has one loop per depth and reads masks once per call; 15 and 16 bits share their loops.
#include "render/dibsfc.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "base/cp932.h"
#include "base/error.h"
#include "render/pixelops.h"
#include "render/quantize.h"

namespace orba {

using pixelops::F32;
using pixelops::MixPx;

namespace {

inline uint32_t Load24(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16; }
inline void Store24(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
  p[2] = static_cast<uint8_t>(v >> 16);
}
inline uint16_t Load16(const uint8_t* p) { uint16_t v; std::memcpy(&v, p, 2); return v; }
inline void Store16(uint8_t* p, uint16_t v) { std::memcpy(p, &v, 2); }
inline uint32_t Load32(const uint8_t* p) { uint32_t v; std::memcpy(&v, p, 4); return v; }
inline void Store32(uint8_t* p, uint32_t v) { std::memcpy(p, &v, 4); }

// Sub-byte pixels: the leftmost pixel sits in the highest bits of its byte.
inline uint32_t GetSub(const uint8_t* row, int32_t x, int32_t bits) {
  if (bits == 1) return (row[x >> 3] >> (7 - (x & 7))) & 1;
  return (row[x >> 1] >> ((x & 1) ? 0 : 4)) & 0xF;
}
inline void SetSub(uint8_t* row, int32_t x, int32_t bits, uint32_t v) {
  if (bits == 1) {
    uint8_t bit = static_cast<uint8_t>(0x80 >> (x & 7));
    if (v & 1) row[x >> 3] |= bit; else row[x >> 3] &= static_cast<uint8_t>(~bit);
  } else {
    int shift = (x & 1) ? 0 : 4;
    row[x >> 1] = static_cast<uint8_t>((row[x >> 1] & ~(0xF << shift)) | ((v & 0xF) << shift));
  }
}

// Ordered 4x4 patterns: level c copies c + 1 of the 16 cells (1 = copy).
constexpr const char* kDither[15][4] = {
    {"1000", "0000", "0000", "0000"}, {"1000", "0000", "0010", "0000"}, {"1010", "0000", "0010", "0000"},
    {"1010", "0000", "1010", "0000"}, {"1010", "0100", "1010", "0000"}, {"1010", "0100", "1010", "0001"},
    {"1010", "0101", "1010", "0001"}, {"1010", "0101", "1010", "0101"}, {"1110", "0101", "1010", "0101"},
    {"1110", "0101", "1011", "0101"}, {"1111", "0101", "1011", "0101"}, {"1111", "0101", "1111", "0101"},
    {"1111", "1101", "1111", "0101"}, {"1111", "1101", "1111", "0111"}, {"1111", "1111", "1111", "0111"},
};
inline bool DitherCopies(int level, int32_t x, int32_t y) { return kDither[level][y & 3][x & 3] == '1'; }

// Key test at 8, 15/16 and 24 bits: the stored value against the key; -1 matches nothing.
inline bool IsKey(uint32_t v, int64_t key) { return static_cast<int64_t>(v) == key; }
// At 32 bits the key is compared as a stored 32-bit value, so -1 matches 0xFFFFFFFF.
inline bool IsKey32(uint32_t v, int64_t key) { return v == static_cast<uint32_t>(key); }

}  // namespace

bool ClipBlit(const TRect& clip, const TRect& srcBounds, int32_t& x, int32_t& y, TRect& srcRect) {
  int64_t sl = srcRect.Left, st = srcRect.Top, sr = srcRect.Right, sb = srcRect.Bottom;
  int64_t dx = x, dy = y;
  if (sl < srcBounds.Left) { dx += srcBounds.Left - sl; sl = srcBounds.Left; }
  if (st < srcBounds.Top) { dy += srcBounds.Top - st; st = srcBounds.Top; }
  sr = std::min<int64_t>(sr, srcBounds.Right);
  sb = std::min<int64_t>(sb, srcBounds.Bottom);
  if (dx < clip.Left) { sl += clip.Left - dx; dx = clip.Left; }
  if (dy < clip.Top) { st += clip.Top - dy; dy = clip.Top; }
  if (dx + (sr - sl) > clip.Right) sr = sl + (clip.Right - dx);
  if (dy + (sb - st) > clip.Bottom) sb = st + (clip.Bottom - dy);
  if (sl >= sr || st >= sb) return false;
  x = static_cast<int32_t>(dx);
  y = static_cast<int32_t>(dy);
  srcRect = {static_cast<int32_t>(sl), static_cast<int32_t>(st), static_cast<int32_t>(sr), static_cast<int32_t>(sb)};
  return true;
}

// ---- storage ----

int32_t TDIBSurface::PixelFormat() const {
  if (bitCount_ == 16 && greenMask_ == 0x03E0) return 15;
  return bitCount_;
}

void TDIBSurface::SetSize(int32_t width, int32_t height, int32_t format) {
  int32_t bits;
  switch (format) {
    case 1: case 4: case 8: case 24: case 32: bits = format; break;
    case 15: case 16: bits = 16; break;
    default: throw EOrbaError("unsupported pixel format");
  }
  width = std::max(width, 0);
  height = std::max(height, 0);
  // "The picture is too large."
  if (static_cast<int64_t>(width) * height > kMaxSurfacePixels) throw EOrbaError(Sjis(u8"画像が大きすぎます"));
  if (format == 15) { redMask_ = 0x7C00; greenMask_ = 0x03E0; blueMask_ = 0x001F; }
  else if (format == 16) { redMask_ = 0xF800; greenMask_ = 0x07E0; blueMask_ = 0x001F; }
  else { redMask_ = 0xFF0000; greenMask_ = 0x00FF00; blueMask_ = 0x0000FF; }
  int32_t pitch = static_cast<int32_t>((static_cast<int64_t>(width) * bits + 31) / 32 * 4);
  if (width != width_ || height != height_ || bits != bitCount_ || pitch != pitch_) {
    width_ = width;
    height_ = height;
    bitCount_ = bits;
    pitch_ = pitch;
    bits_.assign(static_cast<size_t>(pitch) * height, 0);
  }
  if (clip_) SetClipRect(*clip_);
  if (alpha_) alpha_->SetSize(width, height, 8);
}

void TDIBSurface::Clear() {
  width_ = height_ = pitch_ = 0;
  bits_.clear();
  bits_.shrink_to_fit();
  alpha_.reset();
  clip_.reset();
}

uint32_t TDIBSurface::GetPixel(int32_t x, int32_t y) const {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return 0;
  const uint8_t* row = ScanLine(y);
  switch (bitCount_) {
    case 1: case 4: return GetSub(row, x, bitCount_);
    case 8: return row[x];
    case 16: return Load16(row + 2 * x);
    case 24: return Load24(row + 3 * x);
    default: return Load32(row + 4 * x);
  }
}

void TDIBSurface::SetPixel(int32_t x, int32_t y, uint32_t value) {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return;
  uint8_t* row = ScanLine(y);
  switch (bitCount_) {
    case 1: case 4: SetSub(row, x, bitCount_, value); break;
    case 8: row[x] = static_cast<uint8_t>(value); break;
    case 16: Store16(row + 2 * x, static_cast<uint16_t>(value)); break;
    case 24: Store24(row + 3 * x, value); break;
    default: Store32(row + 4 * x, value); break;
  }
}

void TDIBSurface::SetClipRect(const TRect& rect) { clip_ = rect.Intersect(BoundsRect()); }

// ---- colour conversions ----

TRGB TDIBSurface::PixelToRGB(uint32_t pixel, bool expand) const {
  TRGB c;
  switch (PixelFormat()) {
    case 16:
      c.Blue = static_cast<uint8_t>((pixel & 0x1F) << 3);
      c.Green = static_cast<uint8_t>((pixel & 0x07E0) >> 3);
      c.Red = static_cast<uint8_t>((pixel & 0xF800) >> 8);
      if (expand) {
        if (c.Red) c.Red |= 7;
        if (c.Green) c.Green |= 3;
        if (c.Blue) c.Blue |= 7;
      }
      break;
    case 15:
      c.Blue = static_cast<uint8_t>((pixel & 0x1F) << 3);
      c.Green = static_cast<uint8_t>((pixel & 0x03E0) >> 2);
      c.Red = static_cast<uint8_t>((pixel & 0x7C00) >> 7);
      if (expand) {
        if (c.Red) c.Red |= 7;
        if (c.Green) c.Green |= 7;
        if (c.Blue) c.Blue |= 7;
      }
      break;
    case 24: case 32:
      c.Blue = static_cast<uint8_t>(pixel);
      c.Green = static_cast<uint8_t>(pixel >> 8);
      c.Red = static_cast<uint8_t>(pixel >> 16);
      break;
    default: {
      const TPaletteEntry& e = palette_[pixel & 0xFF];
      c = {e.Red, e.Green, e.Blue};
    }
  }
  return c;
}

uint32_t TDIBSurface::RGBToPixel(uint8_t red, uint8_t green, uint8_t blue) const {
  switch (PixelFormat()) {
    case 15: return ((green >> 3) << 5) | (blue >> 3) | ((red << 7) & 0x7C00);
    case 16: return ((green >> 2) << 5) | (blue >> 3) | ((red << 8) & 0xF800);
    case 24: case 32: return blue | green << 8 | static_cast<uint32_t>(red) << 16;
    default: return static_cast<uint32_t>(NearestPaletteIndex(red, green, blue));
  }
}

uint32_t TDIBSurface::PackComponents(uint32_t r, uint32_t g, uint32_t b) const {
  switch (PixelFormat()) {
    case 15: return ((r << 10) & 0x7FFF) | ((g * 32) & 0x3FF) | (b & 0x1F);
    case 16: return ((r << 11) & 0xFFFF) | ((g * 32) & 0x7FF) | (b & 0x1F);
    case 24: case 32: return r << 16 | g << 8 | b;
    default:
      return static_cast<uint32_t>(NearestPaletteIndex(static_cast<uint8_t>(r), static_cast<uint8_t>(g), static_cast<uint8_t>(b)));
  }
}

int32_t TDIBSurface::NearestPaletteIndex(uint8_t red, uint8_t green, uint8_t blue) const {
  int32_t count = bitCount_ <= 8 && bitCount_ > 0 ? (1 << bitCount_) : 256;
  int32_t best = 0;
  int32_t bestDistance = INT32_MAX;
  for (int32_t i = 0; i < count; ++i) {
    const TPaletteEntry& e = palette_[i];
    int32_t dr = e.Red - red, dg = e.Green - green, db = e.Blue - blue;
    int32_t distance = dr * dr + dg * dg + db * db;
    if (distance < bestDistance) {
      bestDistance = distance;
      best = i;
      if (distance == 0) break;
    }
  }
  return best;
}

// ---- drawing ----

void TDIBSurface::DrawRect(int32_t x, int32_t y, TRect srcRect, const TDIBSurface& src) {
  if (src.bitCount_ != bitCount_ || Empty()) return;
  if (!ClipBlit(EffectiveClip(), src.BoundsRect(), x, y, srcRect)) return;
  int32_t w = srcRect.Width(), h = srcRect.Height();
  for (int32_t j = 0; j < h; ++j) {
    const uint8_t* s = src.ScanLine(srcRect.Top + j);
    uint8_t* d = ScanLine(y + j);
    if (bitCount_ < 8) {
      for (int32_t i = 0; i < w; ++i) SetSub(d, x + i, bitCount_, GetSub(s, srcRect.Left + i, bitCount_));
    } else {
      int32_t bpp = bitCount_ / 8;
      std::memmove(d + x * bpp, s + srcRect.Left * bpp, static_cast<size_t>(w) * bpp);
    }
  }
}

void TDIBSurface::DrawKeyed(int32_t x, int32_t y, int64_t key, TRect srcRect, const TDIBSurface& src) {
  if (src.bitCount_ != bitCount_ || Empty()) return;
  if (!ClipBlit(EffectiveClip(), src.BoundsRect(), x, y, srcRect)) return;
  int32_t w = srcRect.Width(), h = srcRect.Height(), sx = srcRect.Left;
  for (int32_t j = 0; j < h; ++j) {
    const uint8_t* s = src.ScanLine(srcRect.Top + j);
    uint8_t* d = ScanLine(y + j);
    switch (bitCount_) {
      case 1: case 4:
        for (int32_t i = 0; i < w; ++i) {
          uint32_t v = GetSub(s, sx + i, bitCount_);
          if (!IsKey(v, key)) SetSub(d, x + i, bitCount_, v);
        }
        break;
      case 8:
        for (int32_t i = 0; i < w; ++i) {
          uint8_t v = s[sx + i];
          if (!IsKey(v, key)) d[x + i] = v;
        }
        break;
      case 16:
        for (int32_t i = 0; i < w; ++i) {
          uint16_t v = Load16(s + 2 * (sx + i));
          if (!IsKey(v, key)) Store16(d + 2 * (x + i), v);
        }
        break;
      case 24:
        for (int32_t i = 0; i < w; ++i) {
          uint32_t v = Load24(s + 3 * (sx + i));
          if (!IsKey(v, key)) Store24(d + 3 * (x + i), v);
        }
        break;
      default:
        for (int32_t i = 0; i < w; ++i) {
          uint32_t v = Load32(s + 4 * (sx + i));
          if (!IsKey32(v, key)) Store32(d + 4 * (x + i), v);
        }
    }
  }
}

void TDIBSurface::DrawBlend(int32_t x, int32_t y, int32_t opacity, int64_t key, TRect srcRect,
                            const TDIBSurface& src) {
  if (opacity == 0 || src.bitCount_ != bitCount_ || Empty()) return;
  int32_t a = bitCount_ <= 8 ? opacity / 16 : opacity;
  if (opacity > 254 || (bitCount_ <= 8 && a > 14) || opacity < 0) {
    DrawKeyed(x, y, key, srcRect, src);
    return;
  }
  if (!ClipBlit(EffectiveClip(), src.BoundsRect(), x, y, srcRect)) return;
  int32_t w = srcRect.Width(), h = srcRect.Height(), sx = srcRect.Left;
  const uint32_t ua = static_cast<uint32_t>(a), ia = 255 - ua;
  const uint32_t masks[3] = {redMask_, greenMask_, blueMask_};
  for (int32_t j = 0; j < h; ++j) {
    const uint8_t* s = src.ScanLine(srcRect.Top + j);
    uint8_t* d = ScanLine(y + j);
    int32_t dy = y + j;
    switch (bitCount_) {
      case 1: case 4:
        for (int32_t i = 0; i < w; ++i) {
          uint32_t v = GetSub(s, sx + i, bitCount_);
          if (!IsKey(v, key) && DitherCopies(a, x + i, dy)) SetSub(d, x + i, bitCount_, v);
        }
        break;
      case 8:
        for (int32_t i = 0; i < w; ++i) {
          uint8_t v = s[sx + i];
          if (!IsKey(v, key) && DitherCopies(a, x + i, dy)) d[x + i] = v;
        }
        break;
      case 16:
        for (int32_t i = 0; i < w; ++i) {
          uint32_t sv = Load16(s + 2 * (sx + i));
          if (IsKey(sv, key)) continue;
          uint32_t dv = Load16(d + 2 * (x + i)), r = 0;
          for (uint32_t m : masks) r |= m & ((ia * (dv & m) + ua * (sv & m)) / 255);
          Store16(d + 2 * (x + i), static_cast<uint16_t>(r));
        }
        break;
      case 24:
        for (int32_t i = 0; i < w; ++i) {
          const uint8_t* sp = s + 3 * (sx + i);
          if (key >= 0 && Load24(sp) == static_cast<uint32_t>(key & 0xFFFFFF)) continue;
          uint8_t* dp = d + 3 * (x + i);
          for (int c = 0; c < 3; ++c) dp[c] = static_cast<uint8_t>((ia * dp[c] + ua * sp[c]) / 255);
        }
        break;
      default:
        for (int32_t i = 0; i < w; ++i) {
          uint32_t sv = Load32(s + 4 * (sx + i));
          if (IsKey32(sv, key)) continue;
          Store32(d + 4 * (x + i), MixPx<F32>(Load32(d + 4 * (x + i)), sv, ua));
        }
    }
  }
}

void TDIBSurface::DrawAlpha(int32_t x, int32_t y, int32_t opacity, TRect srcRect, const TDIBSurface& src) {
  if (!src.alpha_) {
    DrawBlend(x, y, opacity, -1, srcRect, src);
    return;
  }
  if (src.bitCount_ != bitCount_ || Empty()) return;
  if (!ClipBlit(EffectiveClip(), src.BoundsRect(), x, y, srcRect)) return;
  int32_t w = srcRect.Width(), h = srcRect.Height(), sx = srcRect.Left;
  const uint32_t masks[3] = {redMask_, greenMask_, blueMask_};
  for (int32_t j = 0; j < h; ++j) {
    const uint8_t* s = src.ScanLine(srcRect.Top + j);
    const uint8_t* al = src.alpha_->ScanLine(srcRect.Top + j) + sx;
    uint8_t* d = ScanLine(y + j);
    switch (bitCount_) {
      case 1: case 4:
        for (int32_t i = 0; i < w; ++i)
          if (al[i] >= 128) SetSub(d, x + i, bitCount_, GetSub(s, sx + i, bitCount_));
        break;
      case 8:
        for (int32_t i = 0; i < w; ++i)
          if (al[i] >= 128) d[x + i] = s[sx + i];
        break;
      case 16:
        for (int32_t i = 0; i < w; ++i) {
          uint32_t k = al[i];
          if (k == 0) continue;
          uint32_t sv = Load16(s + 2 * (sx + i));
          if (k != 255) {
            uint32_t dv = Load16(d + 2 * (x + i)), r = 0;
            for (uint32_t m : masks) r |= m & (((dv & m) * (255 - k) + (sv & m) * k) >> 8);
            sv = r;
          }
          Store16(d + 2 * (x + i), static_cast<uint16_t>(sv));
        }
        break;
      case 24:
        for (int32_t i = 0; i < w; ++i) {
          uint32_t k = al[i];
          const uint8_t* sp = s + 3 * (sx + i);
          uint8_t* dp = d + 3 * (x + i);
          if (opacity >= 255) {
            if (k == 0) continue;
            if (k == 255) { dp[0] = sp[0]; dp[1] = sp[1]; dp[2] = sp[2]; continue; }
            for (int c = 0; c < 3; ++c) dp[c] = static_cast<uint8_t>((sp[c] * k + dp[c] * (255 - k)) >> 8);
          } else {
            int64_t weight = static_cast<int64_t>(k) * opacity;
            if (weight < 256) continue;
            Store24(dp, MixPx<F32>(Load24(dp), Load24(sp), static_cast<uint32_t>(weight >> 8)));
          }
        }
        break;
      default:
        for (int32_t i = 0; i < w; ++i) {
          uint32_t k = al[i];
          if (k == 0) continue;
          uint32_t sv = Load32(s + 4 * (sx + i));
          Store32(d + 4 * (x + i), k == 255 ? sv : MixPx<F32>(Load32(d + 4 * (x + i)), sv, k));
        }
    }
  }
}

void TDIBSurface::DrawConverted(int32_t x, int32_t y, int64_t key, const TDIBSurface& src) {
  if (Empty() || src.Empty()) return;
  // Only the part of the source that lands inside the clip is walked; positions are
  // computed wide so a far-away (x, y) cannot overflow.
  TRect clip = EffectiveClip();
  TRect part = src.BoundsRect().Intersect(TRect{
      static_cast<int32_t>(std::clamp<int64_t>(int64_t{clip.Left} - x, INT32_MIN, INT32_MAX)),
      static_cast<int32_t>(std::clamp<int64_t>(int64_t{clip.Top} - y, INT32_MIN, INT32_MAX)),
      static_cast<int32_t>(std::clamp<int64_t>(int64_t{clip.Right} - x, INT32_MIN, INT32_MAX)),
      static_cast<int32_t>(std::clamp<int64_t>(int64_t{clip.Bottom} - y, INT32_MIN, INT32_MAX))});
  if (part.IsEmpty()) return;
  auto inside = [&](int32_t i, int32_t j) {
    return i >= part.Left && j >= part.Top && i < part.Right && j < part.Bottom;
  };
  if (bitCount_ > 8) {
    // A depth-converting copy of the whole source; the key does not apply here.
    for (int32_t j = 0; j < src.height_; ++j)
      for (int32_t i = 0; i < src.width_; ++i) {
        if (!inside(i, j)) continue;
        TRGB c = src.PixelToRGB(src.GetPixel(i, j), false);
        SetPixel(x + i, y + j, RGBToPixel(c.Red, c.Green, c.Blue));
      }
    return;
  }
  if (src.bitCount_ > 8) {
    for (int32_t j = 0; j < src.height_; ++j)
      for (int32_t i = 0; i < src.width_; ++i) {
        if (!inside(i, j)) continue;
        TRGB c = src.PixelToRGB(src.GetPixel(i, j), false);
        SetPixel(x + i, y + j, static_cast<uint32_t>(NearestPaletteIndex(c.Red, c.Green, c.Blue)));
      }
    return;
  }
  if (src.bitCount_ == bitCount_ &&
      std::equal(palette_.begin(), palette_.begin() + PaletteSize(), src.palette_.begin())) {
    if (key < 0) DrawRect(x, y, src.BoundsRect(), src);
    else DrawKeyed(x, y, key, src.BoundsRect(), src);
    return;
  }
  uint8_t map[256];
  for (int32_t i = 0; i < 256; ++i) {
    const TPaletteEntry& e = src.palette_[i];
    map[i] = static_cast<uint8_t>(NearestPaletteIndex(e.Red, e.Green, e.Blue));
  }
  for (int32_t j = 0; j < src.height_; ++j)
    for (int32_t i = 0; i < src.width_; ++i) {
      uint32_t v = src.GetPixel(i, j);
      if (key >= 0 && static_cast<int64_t>(v) == key) continue;
      if (inside(i, j)) SetPixel(x + i, y + j, map[v & 0xFF]);
    }
}

void TDIBSurface::FillRect(TRect rect, uint32_t value) {
  rect = rect.Intersect(BoundsRect());
  if (rect.IsEmpty()) return;
  if (PixelFormat() == 15) value &= 0x7FFF;
  for (int32_t y = rect.Top; y < rect.Bottom; ++y) {
    uint8_t* row = ScanLine(y);
    switch (bitCount_) {
      case 1: case 4:
        for (int32_t x = rect.Left; x < rect.Right; ++x) SetSub(row, x, bitCount_, value);
        break;
      case 8: std::memset(row + rect.Left, static_cast<uint8_t>(value), rect.Width()); break;
      case 16:
        for (int32_t x = rect.Left; x < rect.Right; ++x) Store16(row + 2 * x, static_cast<uint16_t>(value));
        break;
      case 24:
        for (int32_t x = rect.Left; x < rect.Right; ++x) Store24(row + 3 * x, value);
        break;
      default:
        for (int32_t x = rect.Left; x < rect.Right; ++x) Store32(row + 4 * x, value);
    }
  }
}

// ---- whole-image operations ----

void TDIBSurface::CopyFrom(const TDIBSurface& src, TRect rect, bool withAlpha) {
  if (&src == this) {
    Crop(rect);
    return;
  }
  alpha_.reset();
  clip_.reset();
  int64_t width = int64_t{rect.Right} - rect.Left, height = int64_t{rect.Bottom} - rect.Top;
  if (width <= 0 || height <= 0) {
    SetSize(0, 0, src.PixelFormat());
    return;
  }
  // Each side may be near 2^32 here: checked alone first, so the product cannot overflow.
  if (width > kMaxSurfacePixels || height > kMaxSurfacePixels || width * height > kMaxSurfacePixels)
    throw EOrbaError(Sjis(u8"画像が大きすぎます"));
  SetSize(static_cast<int32_t>(width), static_cast<int32_t>(height), src.PixelFormat());
  palette_ = src.palette_;
  std::fill(bits_.begin(), bits_.end(), 0);
  DrawRect(0, 0, rect, src);
  if (withAlpha && src.alpha_) {
    CreateAlpha();
    alpha_->DrawRect(0, 0, rect, *src.alpha_);
  }
}

void TDIBSurface::Crop(const TRect& rect) {
  TDIBSurface copy;
  copy.Assign(*this);
  CopyFrom(copy, rect, true);
}

void TDIBSurface::Assign(const TDIBSurface& src) {
  if (&src == this) return;
  width_ = src.width_;
  height_ = src.height_;
  bitCount_ = src.bitCount_;
  pitch_ = src.pitch_;
  redMask_ = src.redMask_;
  greenMask_ = src.greenMask_;
  blueMask_ = src.blueMask_;
  bits_ = src.bits_;
  palette_ = src.palette_;
  clip_ = src.clip_;
  if (src.alpha_) {
    if (!alpha_) alpha_ = std::make_unique<TDIBSurface>();
    alpha_->Assign(*src.alpha_);
  } else {
    alpha_.reset();
  }
}

void TDIBSurface::AssignImage(const TDIBSurface& src) {
  if (&src == this) return;
  clip_.reset();
  SetSize(src.width_, src.height_, src.PixelFormat());
  palette_ = src.palette_;
  Draw(0, 0, src);
  if (src.alpha_) SetAlpha(*src.alpha_);
  else alpha_.reset();
}

void TDIBSurface::MirrorHorizontal() {
  for (int32_t y = 0; y < height_; ++y) {
    uint8_t* row = ScanLine(y);
    if (bitCount_ < 8) {
      for (int32_t i = 0, k = width_ - 1; i < k; ++i, --k) {
        uint32_t a = GetSub(row, i, bitCount_), b = GetSub(row, k, bitCount_);
        SetSub(row, i, bitCount_, b);
        SetSub(row, k, bitCount_, a);
      }
    } else {
      int32_t bpp = bitCount_ / 8;
      for (int32_t i = 0, k = width_ - 1; i < k; ++i, --k)
        std::swap_ranges(row + i * bpp, row + (i + 1) * bpp, row + k * bpp);
    }
  }
  if (alpha_) alpha_->MirrorHorizontal();
}

void TDIBSurface::FlipVertical() {
  std::vector<uint8_t> buffer(pitch_);
  for (int32_t i = 0, k = height_ - 1; i < k; ++i, --k) {
    std::memcpy(buffer.data(), ScanLine(i), pitch_);
    std::memcpy(ScanLine(i), ScanLine(k), pitch_);
    std::memcpy(ScanLine(k), buffer.data(), pitch_);
  }
  if (alpha_) alpha_->FlipVertical();
}

namespace {

// Resamples one channel set (1 or 3 channels of bytes) with the smooth rules: bilinear when
// either dimension grows, box average (leaving key pixels out) otherwise. The neighbour of the
// last column and row is clamped to the edge.
void SmoothResample(const std::vector<uint32_t>& src, int32_t sw, int32_t sh, std::vector<uint32_t>& dst,
                    int32_t dw, int32_t dh, int64_t key, bool threeChannels) {
  double sx = static_cast<double>(dw) / sw, sy = static_cast<double>(dh) / sh;
  int channels = threeChannels ? 3 : 1;
  auto channel = [](uint32_t v, int c) { return static_cast<double>((v >> (8 * c)) & 0xFF); };
  auto pack = [&](const double* sums) {
    uint32_t v = 0;
    for (int c = 0; c < channels; ++c) {
      double r = std::nearbyint(sums[c]);
      v |= static_cast<uint32_t>(std::clamp(r, 0.0, 255.0)) << (8 * c);
    }
    return v;
  };
  dst.assign(static_cast<size_t>(dw) * dh, 0);
  if (dw > sw || dh > sh) {
    for (int32_t y = 0; y < dh; ++y) {
      double fy = y / sy;
      int32_t iy = static_cast<int32_t>(fy);
      double wy1 = fy - iy, wy0 = 1 - wy1;
      int32_t iy1 = std::min(iy + 1, sh - 1);
      iy = std::min(iy, sh - 1);
      for (int32_t x = 0; x < dw; ++x) {
        double fx = x / sx;
        int32_t ix = static_cast<int32_t>(fx);
        double wx1 = fx - ix, wx0 = 1 - wx1;
        int32_t ix1 = std::min(ix + 1, sw - 1);
        ix = std::min(ix, sw - 1);
        double sums[3] = {0, 0, 0};
        const uint32_t p00 = src[static_cast<size_t>(iy) * sw + ix], p10 = src[static_cast<size_t>(iy) * sw + ix1];
        const uint32_t p01 = src[static_cast<size_t>(iy1) * sw + ix], p11 = src[static_cast<size_t>(iy1) * sw + ix1];
        for (int c = 0; c < channels; ++c)
          sums[c] = wx0 * wy0 * channel(p00, c) + wx1 * wy0 * channel(p10, c) + wx0 * wy1 * channel(p01, c) +
                    wx1 * wy1 * channel(p11, c);
        dst[static_cast<size_t>(y) * dw + x] = pack(sums);
      }
    }
    return;
  }
  for (int32_t y = 0; y < dh; ++y) {
    int32_t y0 = static_cast<int32_t>(y / sy), y1 = std::min(static_cast<int32_t>((y + 1) / sy), sh);
    for (int32_t x = 0; x < dw; ++x) {
      int32_t x0 = static_cast<int32_t>(x / sx), x1 = std::min(static_cast<int32_t>((x + 1) / sx), sw);
      double sums[3] = {0, 0, 0};
      int32_t n = 0;
      for (int32_t j = y0; j < y1; ++j)
        for (int32_t i = x0; i < x1; ++i) {
          uint32_t v = src[static_cast<size_t>(j) * sw + i];
          if (key >= 0 && static_cast<int64_t>(v) == key) continue;
          for (int c = 0; c < channels; ++c) sums[c] += channel(v, c);
          ++n;
        }
      if (n > 0) {
        for (int c = 0; c < channels; ++c) sums[c] *= 1.0 / n;
        dst[static_cast<size_t>(y) * dw + x] = pack(sums);
      } else {
        dst[static_cast<size_t>(y) * dw + x] = static_cast<uint32_t>(key);
      }
    }
  }
}

}  // namespace

void TDIBSurface::Resize(int32_t width, int32_t height, int64_t key, bool smooth) {
  if (width == width_ && height == height_) return;
  width = std::max(width, 0);
  height = std::max(height, 0);
  // The alpha plane is a single 8-bit channel: it is resampled as values, not palette indices.
  std::unique_ptr<TDIBSurface> plane = std::move(alpha_);
  if (plane && width > 0 && height > 0 && !plane->Empty()) {
    std::vector<uint32_t> values(static_cast<size_t>(plane->width_) * plane->height_), out;
    for (int32_t y = 0; y < plane->height_; ++y)
      for (int32_t x = 0; x < plane->width_; ++x) values[static_cast<size_t>(y) * plane->width_ + x] = plane->ScanLine(y)[x];
    if (smooth) {
      SmoothResample(values, plane->width_, plane->height_, out, width, height, -1, false);
    } else {
      out.resize(static_cast<size_t>(width) * height);
      for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x)
          out[static_cast<size_t>(y) * width + x] =
              values[static_cast<size_t>(static_cast<int64_t>(y) * plane->height_ / height) * plane->width_ +
                     static_cast<int64_t>(x) * plane->width_ / width];
    }
    plane->SetSize(width, height, 8);
    for (int32_t y = 0; y < height; ++y)
      for (int32_t x = 0; x < width; ++x) plane->ScanLine(y)[x] = static_cast<uint8_t>(out[static_cast<size_t>(y) * width + x]);
  }
  TDIBSurface copy;
  copy.Assign(*this);
  int32_t format = PixelFormat();
  if (width == 0 || height == 0 || copy.Empty()) {
    SetSize(width, height, format);
    alpha_ = std::move(plane);
    return;
  }
  if (!smooth) {
    SetSize(width, height, format);
    for (int32_t y = 0; y < height; ++y) {
      int32_t sy = static_cast<int32_t>(static_cast<int64_t>(y) * copy.height_ / height);
      for (int32_t x = 0; x < width; ++x)
        SetPixel(x, y, copy.GetPixel(static_cast<int32_t>(static_cast<int64_t>(x) * copy.width_ / width), sy));
    }
    alpha_ = std::move(plane);
    return;
  }
  if (copy.PixelFormat() != 24) copy.ConvertTo(24);
  std::vector<uint32_t> values(static_cast<size_t>(copy.width_) * copy.height_), out;
  for (int32_t y = 0; y < copy.height_; ++y)
    for (int32_t x = 0; x < copy.width_; ++x) values[static_cast<size_t>(y) * copy.width_ + x] = copy.GetPixel(x, y);
  // A key given in the old format is compared with the 24-bit values.
  int64_t key24 = key;
  if (key >= 0 && format != 24 && format != 32) {
    TRGB c = PixelToRGB(static_cast<uint32_t>(key), false);
    key24 = copy.RGBToPixel(c.Red, c.Green, c.Blue);
  }
  SmoothResample(values, copy.width_, copy.height_, out, width, height, key24, true);
  TPalette oldPalette = palette_;
  clip_.reset();
  SetSize(width, height, 24);
  for (int32_t y = 0; y < height; ++y)
    for (int32_t x = 0; x < width; ++x) SetPixel(x, y, out[static_cast<size_t>(y) * width + x]);
  if (format <= 8) {
    TDIBSurface wide;
    wide.Assign(*this);
    SetSize(width, height, format);
    palette_ = oldPalette;
    DrawConverted(0, 0, -1, wide);
  } else if (format == 15 || format == 16) {
    ConvertTo(format);
  }
  alpha_ = std::move(plane);
}

void TDIBSurface::ConvertTo(int32_t format) {
  if (format == PixelFormat()) return;
  if (format <= 8) {
    ReduceColors(format, 0, false);
    return;
  }
  TDIBSurface copy;
  copy.Assign(*this);
  copy.alpha_.reset();
  std::unique_ptr<TDIBSurface> plane = std::move(alpha_);
  SetSize(copy.width_, copy.height_, format);
  for (int32_t y = 0; y < height_; ++y)
    for (int32_t x = 0; x < width_; ++x) {
      TRGB c = copy.PixelToRGB(copy.GetPixel(x, y), false);
      SetPixel(x, y, RGBToPixel(c.Red, c.Green, c.Blue));
    }
  alpha_ = std::move(plane);
}

void TDIBSurface::ReduceColors(int32_t format, int32_t quality, bool dither) {
  if (Empty()) {
    SetSize(width_, height_, format);
    return;
  }
  // Two colours picked straight from a deep picture lose too much; a 16-colour stage first
  // gives the second cut a palette to work from.
  if (format == 1 && bitCount_ > 7) ReduceColors(4, quality, dither);
  std::vector<TRGB> colours(static_cast<size_t>(width_) * height_);
  for (int32_t y = 0; y < height_; ++y)
    for (int32_t x = 0; x < width_; ++x) colours[static_cast<size_t>(y) * width_ + x] = PixelToRGB(GetPixel(x, y), false);
  std::unique_ptr<TDIBSurface> plane = std::move(alpha_);
  if (format == 15 || format == 16 || format == 24 || format == 32) {
    SetSize(width_, height_, format);
    std::vector<uint32_t> out = QuantizeToDirect(colours, width_, height_, format, dither);
    for (int32_t y = 0; y < height_; ++y)
      for (int32_t x = 0; x < width_; ++x) SetPixel(x, y, out[static_cast<size_t>(y) * width_ + x]);
  } else {
    TPalette palette{};
    std::vector<uint8_t> indices = QuantizeToPalette(colours, width_, height_, 1 << format, dither, palette);
    SetSize(width_, height_, format);
    palette_ = palette;
    for (int32_t y = 0; y < height_; ++y)
      for (int32_t x = 0; x < width_; ++x) SetPixel(x, y, indices[static_cast<size_t>(y) * width_ + x]);
  }
  alpha_ = std::move(plane);
}

TRect TDIBSurface::KeyBounds(int64_t key) const {
  if (key == -1) return BoundsRect();
  auto notKey = [&](int32_t x, int32_t y) {
    uint32_t v = GetPixel(x, y);
    return bitCount_ == 32 ? !IsKey32(v, key) : !IsKey(v, key);
  };
  auto columnUsed = [&](int32_t x) {
    for (int32_t y = 0; y < height_; ++y) if (notKey(x, y)) return true;
    return false;
  };
  auto rowUsed = [&](int32_t y, int32_t left, int32_t right) {
    for (int32_t x = left; x < right; ++x) if (notKey(x, y)) return true;
    return false;
  };
  int32_t left = 0;
  while (left < width_ && !columnUsed(left)) ++left;
  if (left == width_) return {};
  int32_t right = width_;
  while (right > left && !columnUsed(right - 1)) --right;
  int32_t top = 0;
  while (top < height_ && !rowUsed(top, left, right)) ++top;
  int32_t bottom = height_;
  while (bottom > top && !rowUsed(bottom - 1, left, right)) --bottom;
  return {left, top, right, bottom};
}

void TDIBSurface::AutoCrop(int64_t key) {
  TRect r = KeyBounds(key);
  if (r == BoundsRect()) return;
  if (r.IsEmpty()) r = {0, 0, 1, 1};
  Crop(r);
}

int32_t TDIBSurface::FindUnusedIndex() const {
  if (bitCount_ > 8 || Empty()) return -1;
  bool used[256] = {};
  for (int32_t y = 0; y < height_; ++y)
    for (int32_t x = 0; x < width_; ++x) used[GetPixel(x, y)] = true;
  if (bitCount_ == 1) {
    if (used[0] && used[1]) return -1;
    return used[0] ? 1 : 0;
  }
  for (int32_t i = 0; i < PaletteSize(); ++i)
    if (!used[i]) return i;
  return -1;
}

// ---- alpha plane ----

void TDIBSurface::CreateAlpha() {
  if (!alpha_) alpha_ = std::make_unique<TDIBSurface>();
  alpha_->SetSize(width_, height_, 8);
  std::fill(alpha_->bits_.begin(), alpha_->bits_.end(), 0);
}

void TDIBSurface::SetAlpha(const TDIBSurface& src) {
  SetAlphaRect(src, src.BoundsRect());
}

void TDIBSurface::SetAlphaRect(const TDIBSurface& src, const TRect& rect) {
  if (src.bitCount_ != 8) throw EOrbaError("alpha source must be 8 bits");
  if (!alpha_) CreateAlpha();
  alpha_->DrawRect(0, 0, rect, src);
}

void TDIBSurface::ResetAlpha() {
  if (alpha_) std::fill(alpha_->bits_.begin(), alpha_->bits_.end(), 255);
}

// ---- cursors ----

std::unique_ptr<TPickPx> MakePickPx(int32_t bitCount, const uint8_t* start) {
  switch (bitCount) {
    case 15: case 16: return std::make_unique<TPickPx16>(start);
    case 24: return std::make_unique<TPickPx24>(start);
    case 32: return std::make_unique<TPickPx32>(start);
    default: return std::make_unique<TPickPx>(start);
  }
}

void TPxList::Add(uint32_t value) {
  if (!runs_.empty() && !lastFull_ && values_.back() == value) {
    if (++runs_.back() == 128) lastFull_ = true;
    return;
  }
  runs_.push_back(1);
  values_.push_back(value);
  lastFull_ = false;
}

}  // namespace orba
