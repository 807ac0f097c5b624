// The raster operations of the drawing surface, written once against the pixel interface
// (BeginAccess and Pitch) with one loop per pixel format. The semantics of each kind of pixel
// operation live in one place (ApplyPx); the forward row loops of the hot 15/16- and 32-bit
// operations are written so the compiler vectorises them, and a test holds them to ApplyPx.
#include "render/dibx.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <numbers>

#include "base/error.h"
#include "base/stream.h"
#include "render/imagefiles.h"
#include "render/pixelops.h"

namespace orba {

using namespace pixelops;

namespace {

// Clips a blit of srcRect (of a source whose usable area is srcBounds) placed at (x, y) to
// clip. A cut on the destination's left moves the source's left edge, or its right edge when
// the rows are walked mirrored; the same for the top with flipV.
bool ClipFlipped(const TRect& clip, const TRect& srcBounds, int32_t& x, int32_t& y, TRect& sr, bool flipH, bool flipV) {
  int64_t l = sr.Left, t = sr.Top, r = sr.Right, b = sr.Bottom, dx = x, dy = y;
  if (l < srcBounds.Left) { if (!flipH) dx += srcBounds.Left - l; l = srcBounds.Left; }
  if (r > srcBounds.Right) { if (flipH) dx += r - srcBounds.Right; r = srcBounds.Right; }
  if (t < srcBounds.Top) { if (!flipV) dy += srcBounds.Top - t; t = srcBounds.Top; }
  if (b > srcBounds.Bottom) { if (flipV) dy += b - srcBounds.Bottom; b = srcBounds.Bottom; }
  if (l >= r || t >= b) return false;
  if (dx < clip.Left) { int64_t cut = clip.Left - dx; dx = clip.Left; if (flipH) r -= cut; else l += cut; }
  if (dx + (r - l) > clip.Right) { int64_t cut = dx + (r - l) - clip.Right; if (flipH) l += cut; else r -= cut; }
  if (dy < clip.Top) { int64_t cut = clip.Top - dy; dy = clip.Top; if (flipV) b -= cut; else t += cut; }
  if (dy + (b - t) > clip.Bottom) { int64_t cut = dy + (b - t) - clip.Bottom; if (flipV) t += cut; else b -= cut; }
  if (l >= r || t >= b) return false;
  x = static_cast<int32_t>(dx);
  y = static_cast<int32_t>(dy);
  sr = {static_cast<int32_t>(l), static_cast<int32_t>(t), static_cast<int32_t>(r), static_cast<int32_t>(b)};
  return true;
}

// Direct access to a surface's pixels for the length of one operation.
class Access {
 public:
  explicit Access(TCustomDIBX& s) : s_(s), bits_(s.IsEmpty() ? nullptr : s.BeginAccess(0, 0)), pitch_(s.Pitch()) {}
  ~Access() { if (bits_) s_.EndAccess(); }
  Access(const Access&) = delete;
  Access& operator=(const Access&) = delete;
  explicit operator bool() const { return bits_ != nullptr; }
  uint8_t* Row(int32_t y) const { return bits_ + static_cast<ptrdiff_t>(y) * pitch_; }

 private:
  TCustomDIBX& s_;
  uint8_t* bits_;
  int32_t pitch_;
};

bool DrawableFormat(int32_t f) { return f == 8 || f == 15 || f == 16 || f == 24 || f == 32; }

// Calls fn.template operator()<F>() with the pixel-format type of the destination.
template <class Fn>
void WithFormat(int32_t format, Fn&& fn) {
  switch (format) {
    case 8: fn.template operator()<F8>(); break;
    case 15: fn.template operator()<F15>(); break;
    case 16: fn.template operator()<F16>(); break;
    case 24: fn.template operator()<F24>(); break;
    case 32: fn.template operator()<F32>(); break;
    default: break;
  }
}

TRect Whole(TCustomDIBX& s) { return Bounds(0, 0, s.Width(), s.Height()); }

// Callers' rectangles and points may be anywhere in the 32-bit range: their sizes and shifted
// coordinates are computed wide and held to what a coordinate can say.
int64_t Extent(int32_t from, int32_t to) { return int64_t{to} - from; }
int32_t Sat(int64_t v) { return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); }

int32_t Wrap(int64_t v, int64_t period) {
  int64_t r = v % period;
  return static_cast<int32_t>(r < 0 ? r + period : r);
}

struct Blit {
  Kind kind;
  int32_t amount = 255;  // alpha or add amount
  bool keyed = false;
  uint32_t key = 0;
};

// Resolves the keyed flag of an operation against the source's colour key (-1 is no key).
void SetKey(Blit& b, bool keyed, const TCustomDIBX& src) {
  b.keyed = keyed && src.TransparentColor >= 0;
  b.key = static_cast<uint32_t>(src.TransparentColor);
}

}  // namespace

// ---- the shared blit: (x, y) with the source rectangle's size ----

static void RunBlit(TCustomDIBX& dst, int32_t x, int32_t y, bool flipV, bool flipH, TRect sr, TCustomDIBX& src,
                    TCustomDIBX* mask, const Blit& op) {
  int32_t format = dst.PixelFormat();
  if (!DrawableFormat(format) || src.PixelFormat() != format) return;
  if (mask && mask->PixelFormat() != 8) return;
  TRect srcBounds = Whole(src);
  if (mask) srcBounds = srcBounds.Intersect(Whole(*mask));
  if (!ClipFlipped(dst.EffectiveClip(), srcBounds, x, y, sr, flipH, flipV)) return;
  Access d(dst), s(src);
  if (!d || !s) return;
  std::optional<Access> m;
  if (mask) {
    m.emplace(*mask);
    if (!*m) return;
  }
  int32_t w = sr.Width(), h = sr.Height();
  WithFormat(format, [&]<class F>() {
    for (int32_t j = 0; j < h; ++j) {
      int32_t sy = flipV ? sr.Bottom - 1 - j : sr.Top + j;
      int32_t sx = flipH ? sr.Right - 1 : sr.Left;
      uint8_t* dp = d.Row(y + j) + static_cast<ptrdiff_t>(x) * F::B;
      const uint8_t* sp = s.Row(sy) + static_cast<ptrdiff_t>(sx) * F::B;
      const uint8_t* mp = mask ? m->Row(sy) + sx : nullptr;
      if (flipH) RowOp<F, -1>(op.kind, dp, sp, mp, w, op.amount, op.keyed, op.key);
      else RowOp<F, 1>(op.kind, dp, sp, mp, w, op.amount, op.keyed, op.key);
    }
  });
}

// ---- stretched blits: nearest neighbour in 16.16 fixed point ----

static void RunStretch(TCustomDIBX& dst, TRect dr, TRect sr, bool flipV, bool flipH, TCustomDIBX& src,
                       TCustomDIBX* mask, const uint32_t* table, const Blit& op) {
  int32_t format = dst.PixelFormat();
  if (!DrawableFormat(format)) return;
  if (table ? src.PixelFormat() != 8 : src.PixelFormat() != format) return;
  if (mask && mask->PixelFormat() != 8) return;
  if (dr.IsEmpty() || sr.IsEmpty()) return;
  TRect srcBounds = Whole(src);
  if (mask) srcBounds = srcBounds.Intersect(Whole(*mask));
  auto span = [](int32_t a, int32_t b) { return static_cast<double>(int64_t{b} - a); };
  double stepX = span(sr.Left, sr.Right) / span(dr.Left, dr.Right);
  double stepY = span(sr.Top, sr.Bottom) / span(dr.Top, dr.Bottom);
  TRect clipped = dr.Intersect(dst.EffectiveClip());
  if (clipped.IsEmpty()) return;
  int64_t step16X = static_cast<int64_t>(stepX * 65536.0), step16Y = static_cast<int64_t>(stepY * 65536.0);
  int64_t start16X = static_cast<int64_t>(span(dr.Left, clipped.Left) * stepX * 65536.0);
  int64_t start16Y = static_cast<int64_t>(span(dr.Top, clipped.Top) * stepY * 65536.0);
  int32_t w = clipped.Width(), h = clipped.Height();
  // Source columns and rows are computed wide: a source rectangle reaching past the source
  // (or the 32-bit range) only yields positions that are skipped below.
  std::vector<int64_t> columns(w);
  for (int32_t i = 0; i < w; ++i) {
    int64_t u = (start16X + i * step16X) >> 16;
    columns[i] = flipH ? int64_t{sr.Right} - 1 - u : int64_t{sr.Left} + u;
  }
  Access d(dst), s(src);
  if (!d || !s) return;
  std::optional<Access> m;
  if (mask) {
    m.emplace(*mask);
    if (!*m) return;
  }
  // Destination columns whose source column lies outside the source are left out once here,
  // so the rows below walk only the columns that draw.
  int32_t first = 0, last = w;
  while (first < last && (columns[first] < srcBounds.Left || columns[first] >= srcBounds.Right)) ++first;
  while (last > first && (columns[last - 1] < srcBounds.Left || columns[last - 1] >= srcBounds.Right)) --last;
  int64_t skipUpTo = src.TransparentColor;
  WithFormat(format, [&]<class F>() {
    WithKind(op.kind, [&]<Kind K>() {
      for (int32_t j = 0; j < h; ++j) {
        int64_t v = (start16Y + j * step16Y) >> 16;
        int64_t sy = flipV ? int64_t{sr.Bottom} - 1 - v : int64_t{sr.Top} + v;
        if (sy < srcBounds.Top || sy >= srcBounds.Bottom) continue;
        uint8_t* dp = d.Row(clipped.Top + j) + static_cast<ptrdiff_t>(clipped.Left) * F::B;
        const uint8_t* srow = s.Row(static_cast<int32_t>(sy));
        const uint8_t* mrow = mask ? m->Row(static_cast<int32_t>(sy)) : nullptr;
        if (table) {
          for (int32_t i = first; i < last; ++i) {
            uint8_t index = srow[columns[i]];
            if (static_cast<int64_t>(index) > skipUpTo)
              ApplyPx<F, K>(dp + static_cast<ptrdiff_t>(i) * F::B, table[index], 255, op.amount, false, 0);
          }
        } else if (mrow) {
          for (int32_t i = first; i < last; ++i)
            ApplyPx<F, K>(dp + static_cast<ptrdiff_t>(i) * F::B, Ld<F>(srow + columns[i] * F::B), mrow[columns[i]],
                          op.amount, op.keyed, op.key);
        } else {
          for (int32_t i = first; i < last; ++i)
            ApplyPx<F, K>(dp + static_cast<ptrdiff_t>(i) * F::B, Ld<F>(srow + columns[i] * F::B), 255, op.amount,
                          op.keyed, op.key);
        }
      }
    });
  });
}

// ---- rotation ----

TRect RotatedBounds(int32_t x, int32_t y, int32_t angle, int32_t centreX, int32_t centreY, const TRect& srcRect,
                    int32_t zoomX, int32_t zoomY) {
  double theta = angle * 2.0 * std::numbers::pi / 256.0;
  double c = std::cos(theta), s = std::sin(theta);
  double zx = zoomX / 256.0, zy = zoomY / 256.0;
  double minX = 0, minY = 0, maxX = 0, maxY = 0;
  bool first = true;
  for (int corner = 0; corner < 4; ++corner) {
    double px = static_cast<double>((corner & 1) ? Extent(srcRect.Left, srcRect.Right) : 0) - centreX;
    double py = static_cast<double>((corner & 2) ? Extent(srcRect.Top, srcRect.Bottom) : 0) - centreY;
    px *= zx;
    py *= zy;
    double tx = x + c * px - s * py, ty = y + s * px + c * py;
    if (first) { minX = maxX = tx; minY = maxY = ty; first = false; }
    minX = std::min(minX, tx); maxX = std::max(maxX, tx);
    minY = std::min(minY, ty); maxY = std::max(maxY, ty);
  }
  // Huge zooms are held to what a coordinate can say.
  auto coord = [](double v) { return static_cast<int32_t>(std::clamp(std::trunc(v), -2147483648.0, 2147483647.0)); };
  return {coord(minX), coord(minY), coord(maxX + 1), coord(maxY + 1)};
}

static void RunRotate(TCustomDIBX& dst, int32_t x, int32_t y, bool flipV, bool flipH, int32_t angle, int32_t centreY,
                      int32_t centreX, TRect sr, TCustomDIBX& src, TCustomDIBX* mask, int32_t zoomY, int32_t zoomX,
                      const Blit& op) {
  int32_t format = dst.PixelFormat();
  if (!DrawableFormat(format) || src.PixelFormat() != format) return;
  if (mask && mask->PixelFormat() != 8) return;
  if (zoomX <= 0 || zoomY <= 0 || sr.IsEmpty()) return;
  TRect box = RotatedBounds(x, y, angle, centreX, centreY, sr, zoomX, zoomY).Intersect(dst.EffectiveClip());
  if (box.IsEmpty()) return;
  TRect srcBounds = Whole(src);
  if (mask) srcBounds = srcBounds.Intersect(Whole(*mask));
  double theta = angle * 2.0 * std::numbers::pi / 256.0;
  double c = std::cos(theta), s = std::sin(theta);
  double zx = zoomX / 256.0, zy = zoomY / 256.0;
  int64_t duX = static_cast<int64_t>(c / zx * 65536.0), duY = static_cast<int64_t>(-s / zy * 65536.0);
  int64_t dvX = static_cast<int64_t>(s / zx * 65536.0), dvY = static_cast<int64_t>(c / zy * 65536.0);
  int64_t offX = box.Left - x, offY = box.Top - y;
  int64_t rowU = static_cast<int64_t>(centreX) * 65536 + offX * duX + offY * dvX;
  int64_t rowV = static_cast<int64_t>(centreY) * 65536 + offX * duY + offY * dvY;
  int64_t w = Extent(sr.Left, sr.Right), h = Extent(sr.Top, sr.Bottom);
  Access d(dst), sa(src);
  if (!d || !sa) return;
  std::optional<Access> m;
  if (mask) {
    m.emplace(*mask);
    if (!*m) return;
  }
  WithFormat(format, [&]<class F>() {
    WithKind(op.kind, [&]<Kind K>() {
      for (int32_t py = box.Top; py < box.Bottom; ++py, rowU += dvX, rowV += dvY) {
        uint8_t* drow = d.Row(py);
        int64_t u = rowU, v = rowV;
        for (int32_t px = box.Left; px < box.Right; ++px, u += duX, v += duY) {
          int64_t iu = u >> 16, iv = v >> 16;
          if (iu < 0 || iv < 0 || iu >= w || iv >= h) continue;
          int64_t sx = flipH ? int64_t{sr.Right} - 1 - iu : int64_t{sr.Left} + iu;
          int64_t sy = flipV ? int64_t{sr.Bottom} - 1 - iv : int64_t{sr.Top} + iv;
          if (sx < srcBounds.Left || sy < srcBounds.Top || sx >= srcBounds.Right || sy >= srcBounds.Bottom) continue;
          int32_t row = static_cast<int32_t>(sy);
          uint32_t sv = Ld<F>(sa.Row(row) + static_cast<ptrdiff_t>(sx) * F::B);
          ApplyPx<F, K>(drow + static_cast<ptrdiff_t>(px) * F::B, sv, mask ? m->Row(row)[sx] : 255, op.amount, op.keyed,
                        op.key);
        }
      }
    });
  });
}

// ---- TCustomDIBX ----

int32_t TCustomDIBX::BlueShift() const { uint32_t m = BlueMask(); return m ? std::countr_zero(m) : 0; }
int32_t TCustomDIBX::GreenShift() const { uint32_t m = GreenMask(); return m ? std::countr_zero(m) : 0; }
int32_t TCustomDIBX::RedShift() const { uint32_t m = RedMask(); return m ? std::countr_zero(m) : 0; }

void TCustomDIBX::SetSize(int32_t width, int32_t height, int32_t /*format*/) {
  width_ = std::max(width, 0);
  height_ = std::max(height, 0);
  clip_.reset();
}

void TCustomDIBX::IncludeRect(const TRect& rect) {
  TRect r = rect.Intersect(SurfaceRect());
  if (r.IsEmpty()) return;
  clip_ = clip_ && !clip_->IsEmpty() ? clip_->Union(r) : r;
}

int64_t TCustomDIBX::ColorToPixel(int64_t rgb) const { return rgb; }

void TCustomDIBX::Clear(uint32_t v) {
  std::optional<TRect> saved = clip_;
  clip_.reset();
  FillRect(SurfaceRect(), v);
  clip_ = saved;
}

template <class RowFn>
static void ForRectRows(TCustomDIBX& dst, TRect rect, RowFn fn) {
  rect = rect.Intersect(dst.EffectiveClip());
  if (rect.IsEmpty() || !DrawableFormat(dst.PixelFormat())) return;
  Access d(dst);
  if (!d) return;
  WithFormat(dst.PixelFormat(), [&]<class F>() {
    for (int32_t y = rect.Top; y < rect.Bottom; ++y)
      fn.template operator()<F>(d.Row(y) + static_cast<ptrdiff_t>(rect.Left) * F::B, rect.Width());
  });
}

void TCustomDIBX::FillRect(TRect rect, uint32_t v) {
  ForRectRows(*this, rect, [&]<class F>(uint8_t* d, int32_t n) { FillRow<F>(d, n, v); });
}

// A solid colour blended or added row by row through the blit's row loops (vectorised for the
// hot formats), a chunk of the colour standing in for the source row.
static void SolidRows(TCustomDIBX& dst, TRect rect, uint32_t v, Kind kind, int32_t amount) {
  constexpr int32_t kChunk = 256;
  alignas(32) uint8_t chunk[kChunk * 4];
  bool filled = false;
  ForRectRows(dst, rect, [&]<class F>(uint8_t* d, int32_t n) {
    if (!filled) {
      for (int32_t i = 0; i < kChunk; ++i) St<F>(chunk + static_cast<ptrdiff_t>(i) * F::B, v);
      filled = true;
    }
    for (int32_t x = 0; x < n; x += kChunk)
      RowOp<F, 1>(kind, d + static_cast<ptrdiff_t>(x) * F::B, chunk, nullptr, std::min(kChunk, n - x), amount, false, 0);
  });
}

void TCustomDIBX::BlendRect(TRect rect, uint32_t v, int32_t alpha) {
  if (alpha <= 0) return;
  SolidRows(*this, rect, v, Kind::Blend, std::min(alpha, 255));
}

void TCustomDIBX::AddRect(TRect rect, uint32_t v) { SolidRows(*this, rect, v, Kind::Add, 256); }

void TCustomDIBX::SubtractRect(TRect rect, uint32_t v) {
  ForRectRows(*this, rect, [&]<class F>(uint8_t* d, int32_t n) {
    for (int32_t i = 0; i < n; ++i, d += F::B) St<F>(d, SubPx<F>(Ld<F>(d), v));
  });
}

template <class StripFn>
static void Frame(const TRect& r, int32_t width, StripFn strip) {
  if (width <= 0 || r.IsEmpty()) return;
  // Strips never reach outside the rectangle, however wide the border.
  int64_t height = int64_t{r.Bottom} - r.Top, across = int64_t{r.Right} - r.Left;
  int32_t h = static_cast<int32_t>(std::min<int64_t>(width, height));
  int32_t w = static_cast<int32_t>(std::min<int64_t>(width, across));
  strip(TRect{r.Left, r.Top, r.Right, r.Top + h});
  strip(TRect{r.Left, r.Bottom - h, r.Right, r.Bottom});
  if (height - 2 * int64_t{width} > 0) {
    strip(TRect{r.Left, r.Top + width, r.Left + w, r.Bottom - width});
    strip(TRect{r.Right - w, r.Top + width, r.Right, r.Bottom - width});
  }
}

void TCustomDIBX::FrameRect(const TRect& rect, int32_t width, uint32_t v) {
  Frame(rect, width, [&](const TRect& s) { FillRect(s, v); });
}
void TCustomDIBX::BlendFrameRect(const TRect& rect, int32_t width, int32_t alpha, uint32_t v) {
  Frame(rect, width, [&](const TRect& s) { BlendRect(s, v, alpha); });
}
void TCustomDIBX::AddFrameRect(const TRect& rect, int32_t width, uint32_t v) {
  Frame(rect, width, [&](const TRect& s) { AddRect(s, v); });
}

void TCustomDIBX::CopyFrom(TCustomDIBX& src) { Draw(0, 0, false, false, false, Whole(src), src); }

void TCustomDIBX::Draw(int32_t x, int32_t y, bool flipV, bool flipH, bool keyed, TRect srcRect, TCustomDIBX& src) {
  Blit op{Kind::Copy};
  SetKey(op, keyed, src);
  if (op.keyed) op.kind = Kind::Key;
  RunBlit(*this, x, y, flipV, flipH, srcRect, src, nullptr, op);
}

void TCustomDIBX::DrawMasked(int32_t x, int32_t y, TCustomDIBX& mask, bool flipV, bool flipH, TRect srcRect,
                             TCustomDIBX& src) {
  RunBlit(*this, x, y, flipV, flipH, srcRect, src, &mask, Blit{Kind::Mask});
}

void TCustomDIBX::DrawBlend(int32_t x, int32_t y, int32_t alpha, bool flipV, bool flipH, bool keyed, TRect srcRect,
                            TCustomDIBX& src) {
  if (alpha <= 0) return;
  Blit op{Kind::Blend, std::min(alpha, 255)};
  SetKey(op, keyed, src);
  RunBlit(*this, x, y, flipV, flipH, srcRect, src, nullptr, op);
}

void TCustomDIBX::DrawBlendMasked(int32_t x, int32_t y, int32_t alpha, TCustomDIBX& mask, bool flipV, bool flipH,
                                  TRect srcRect, TCustomDIBX& src) {
  if (alpha <= 0) return;
  RunBlit(*this, x, y, flipV, flipH, srcRect, src, &mask, Blit{Kind::BlendMask, std::min(alpha, 255)});
}

void TCustomDIBX::DrawAdd(int32_t x, int32_t y, int32_t amount, bool flipV, bool flipH, TRect srcRect,
                          TCustomDIBX& src) {
  if (amount <= 0) return;
  Blit op{Kind::Add, std::min(amount, 256)};
  SetKey(op, true, src);
  RunBlit(*this, x, y, flipV, flipH, srcRect, src, nullptr, op);
}

void TCustomDIBX::DrawAddMasked(int32_t x, int32_t y, int32_t amount, TCustomDIBX& mask, bool flipV, bool flipH,
                                TRect srcRect, TCustomDIBX& src) {
  if (amount <= 0) return;
  RunBlit(*this, x, y, flipV, flipH, srcRect, src, &mask, Blit{Kind::AddMask, std::min(amount, 256)});
}

void TCustomDIBX::DrawRotate(int32_t x, int32_t y, int32_t alpha, bool flipV, bool flipH, bool keyed, int32_t angle,
                             int32_t centreY, int32_t centreX, TRect srcRect, TCustomDIBX& src, int32_t zoomY,
                             int32_t zoomX) {
  if (alpha <= 0) return;
  Blit op{alpha >= 255 ? Kind::Copy : Kind::Blend, std::min(alpha, 255)};
  SetKey(op, keyed, src);
  if (op.keyed && op.kind == Kind::Copy) op.kind = Kind::Key;
  RunRotate(*this, x, y, flipV, flipH, angle, centreY, centreX, srcRect, src, nullptr, zoomY, zoomX, op);
}

void TCustomDIBX::DrawRotateMasked(int32_t x, int32_t y, int32_t alpha, TCustomDIBX& mask, bool flipV, bool flipH,
                                   int32_t angle, int32_t centreY, int32_t centreX, TRect srcRect, TCustomDIBX& src,
                                   int32_t zoomY, int32_t zoomX) {
  if (alpha <= 0) return;
  Blit op{alpha >= 255 ? Kind::Mask : Kind::BlendMask, std::min(alpha, 255)};
  RunRotate(*this, x, y, flipV, flipH, angle, centreY, centreX, srcRect, src, &mask, zoomY, zoomX, op);
}

void TCustomDIBX::StretchDraw(TRect dstRect, TRect srcRect, int32_t alpha, bool flipV, bool flipH, bool keyed,
                              TCustomDIBX& src) {
  if (alpha <= 0) return;
  Blit op{alpha >= 255 ? Kind::Copy : Kind::Blend, std::min(alpha, 255)};
  SetKey(op, keyed, src);
  if (op.keyed && op.kind == Kind::Copy) op.kind = Kind::Key;
  RunStretch(*this, dstRect, srcRect, flipV, flipH, src, nullptr, nullptr, op);
}

void TCustomDIBX::StretchDrawMasked(TRect dstRect, TCustomDIBX& mask, int32_t alpha, bool flipV, bool flipH,
                                    TRect srcRect, TCustomDIBX& src) {
  if (alpha <= 0) return;
  Blit op{alpha >= 255 ? Kind::Mask : Kind::BlendMask, std::min(alpha, 255)};
  RunStretch(*this, dstRect, srcRect, flipV, flipH, src, &mask, nullptr, op);
}

void TCustomDIBX::StretchDrawAdd(TRect dstRect, TRect srcRect, int32_t amount, bool flipV, bool flipH,
                                 TCustomDIBX& src) {
  if (amount <= 0) return;
  Blit op{Kind::Add, std::min(amount, 256)};
  SetKey(op, true, src);
  RunStretch(*this, dstRect, srcRect, flipV, flipH, src, nullptr, nullptr, op);
}

void TCustomDIBX::StretchDrawAddMasked(TRect dstRect, TCustomDIBX& mask, int32_t amount, bool flipV, bool flipH,
                                       TRect srcRect, TCustomDIBX& src) {
  if (amount <= 0) return;
  RunStretch(*this, dstRect, srcRect, flipV, flipH, src, &mask, nullptr, Blit{Kind::AddMask, std::min(amount, 256)});
}

// Glyphs: the ink of each factor x factor block, as a count C of factor^2 samples, mixes the
// colour over the destination; the divisor is factor^2 so every factor stays in its channel.
template <class InkAt>
static void RunGlyph(TCustomDIBX& dst, int32_t x, int32_t y, int32_t factor, int32_t alpha, bool flipV, bool flipH,
                     uint32_t colour, TRect sr, const TRect& srcBounds, InkAt inkAt) {
  if (factor <= 0 || factor > 16 || alpha <= 0 || !DrawableFormat(dst.PixelFormat())) return;
  sr = sr.Intersect(srcBounds);
  if (sr.IsEmpty()) return;
  int32_t w = sr.Width() / factor, h = sr.Height() / factor;
  if (w <= 0 || h <= 0) return;
  TRect area = TRect{x, y, Sat(int64_t{x} + w), Sat(int64_t{y} + h)}.Intersect(dst.EffectiveClip());
  if (area.IsEmpty()) return;
  Access d(dst);
  if (!d) return;
  const uint32_t full = static_cast<uint32_t>(factor * factor);
  WithFormat(dst.PixelFormat(), [&]<class F>() {
    for (int32_t py = area.Top; py < area.Bottom; ++py) {
      int32_t bj = py - y;
      if (flipV) bj = h - 1 - bj;
      for (int32_t px = area.Left; px < area.Right; ++px) {
        int32_t bi = px - x;
        if (flipH) bi = w - 1 - bi;
        uint32_t count = 0;
        for (int32_t v = 0; v < factor; ++v)
          for (int32_t u = 0; u < factor; ++u) count += inkAt(sr.Left + bi * factor + u, sr.Top + bj * factor + v);
        if (alpha < 255) count = static_cast<uint32_t>(alpha) * count >> 8;
        if (count == 0) continue;
        uint8_t* dp = d.Row(py) + static_cast<ptrdiff_t>(px) * F::B;
        St<F>(dp, GlyphPx<F>(Ld<F>(dp), colour, count, full));
      }
    }
  });
}

void TCustomDIBX::DrawGlyph(int32_t x, int32_t y, int32_t factor, int32_t alpha, bool flipV, bool flipH,
                            uint32_t colour, TRect srcRect, const TDIBSurface& src) {
  if (src.BitCount() != 1) return;
  RunGlyph(*this, x, y, factor, alpha, flipV, flipH, colour, srcRect, src.BoundsRect(),
           [&](int32_t sx, int32_t sy) { return (src.ScanLine(sy)[sx >> 3] >> (7 - (sx & 7)) & 1) ? 0u : 1u; });
}

void TCustomDIBX::DrawGlyphBytes(int32_t x, int32_t y, int32_t factor, int32_t alpha, bool flipV, bool flipH,
                                 uint32_t colour, TRect srcRect, TCustomDIBX& src) {
  if (src.PixelFormat() != 8) return;
  Access s(src);
  if (!s) return;
  RunGlyph(*this, x, y, factor, alpha, flipV, flipH, colour, srcRect, Whole(src),
           [&](int32_t sx, int32_t sy) { return s.Row(sy)[sx] == 0 ? 1u : 0u; });
}

// ---- tiling ----

template <class DrawCell>
static void Tile(TCustomDIBX& dst, const TRect& dstRect, int64_t w, int64_t h, int32_t scrollX, int32_t scrollY,
                 int32_t gapX, int32_t gapY, DrawCell drawCell) {
  if (w <= 0 || h <= 0 || w > (1 << 24) || h > (1 << 24)) return;
  int64_t periodX = w + gapX, periodY = h + gapY;
  if (periodX <= 0 || periodY <= 0) return;
  TRect area = dstRect.Intersect(dst.EffectiveClip());
  if (area.IsEmpty()) return;
  std::optional<TRect> saved = dst.ClipState();
  dst.SetClipRect(area);
  int64_t x0 = static_cast<int64_t>(dstRect.Left) - Wrap(scrollX, periodX);
  int64_t y0 = static_cast<int64_t>(dstRect.Top) - Wrap(scrollY, periodY);
  // Skip whole cells before the visible area.
  if (area.Left > x0) x0 += (area.Left - x0) / periodX * periodX;
  if (area.Top > y0) y0 += (area.Top - y0) / periodY * periodY;
  for (int64_t cy = y0; cy < area.Bottom; cy += periodY)
    for (int64_t cx = x0; cx < area.Right; cx += periodX) drawCell(static_cast<int32_t>(cx), static_cast<int32_t>(cy));
  dst.RestoreClip(saved);
}

void TCustomDIBX::TileDraw(TRect dstRect, TRect srcRect, int32_t scrollX, int32_t scrollY, int32_t gapX, int32_t gapY,
                           bool keyed, TCustomDIBX& src) {
  Tile(*this, dstRect, Extent(srcRect.Left, srcRect.Right), Extent(srcRect.Top, srcRect.Bottom), scrollX, scrollY, gapX, gapY,
       [&](int32_t cx, int32_t cy) { Draw(cx, cy, false, false, keyed, srcRect, src); });
}

void TCustomDIBX::TileDrawBlend(TRect dstRect, TRect srcRect, int32_t scrollX, int32_t scrollY, int32_t gapX,
                                int32_t gapY, int32_t alpha, bool keyed, TCustomDIBX& src) {
  if (alpha <= 0) return;
  Tile(*this, dstRect, Extent(srcRect.Left, srcRect.Right), Extent(srcRect.Top, srcRect.Bottom), scrollX, scrollY, gapX, gapY,
       [&](int32_t cx, int32_t cy) { DrawBlend(cx, cy, alpha, false, false, keyed, srcRect, src); });
}

void TCustomDIBX::TileDrawMasked(TRect dstRect, TRect srcRect, int32_t scrollX, int32_t scrollY, int32_t gapX,
                                 int32_t gapY, TCustomDIBX& mask, TCustomDIBX& src) {
  Tile(*this, dstRect, Extent(srcRect.Left, srcRect.Right), Extent(srcRect.Top, srcRect.Bottom), scrollX, scrollY, gapX, gapY,
       [&](int32_t cx, int32_t cy) { DrawMasked(cx, cy, mask, false, false, srcRect, src); });
}

void TCustomDIBX::TileDrawAdd(TRect dstRect, TRect srcRect, int32_t scrollX, int32_t scrollY, int32_t gapX,
                              int32_t gapY, int32_t amount, TCustomDIBX& src) {
  if (amount <= 0) return;
  Tile(*this, dstRect, Extent(srcRect.Left, srcRect.Right), Extent(srcRect.Top, srcRect.Bottom), scrollX, scrollY, gapX, gapY,
       [&](int32_t cx, int32_t cy) { DrawAdd(cx, cy, amount, false, false, srcRect, src); });
}

void TCustomDIBX::TileDrawBlendMasked(TRect dstRect, TRect srcRect, int32_t scrollX, int32_t scrollY, int32_t gapX,
                                      int32_t gapY, int32_t alpha, TCustomDIBX& mask, TCustomDIBX& src) {
  if (alpha <= 0) return;
  Tile(*this, dstRect, Extent(srcRect.Left, srcRect.Right), Extent(srcRect.Top, srcRect.Bottom), scrollX, scrollY, gapX, gapY,
       [&](int32_t cx, int32_t cy) { DrawBlendMasked(cx, cy, alpha, mask, false, false, srcRect, src); });
}

void TCustomDIBX::TileDrawAddMasked(TRect dstRect, TRect srcRect, int32_t scrollX, int32_t scrollY, int32_t gapX,
                                    int32_t gapY, int32_t amount, TCustomDIBX& mask, TCustomDIBX& src) {
  if (amount <= 0) return;
  Tile(*this, dstRect, Extent(srcRect.Left, srcRect.Right), Extent(srcRect.Top, srcRect.Bottom), scrollX, scrollY, gapX, gapY,
       [&](int32_t cx, int32_t cy) { DrawAddMasked(cx, cy, amount, mask, false, false, srcRect, src); });
}

template <class DrawCell>
static void TileScaled(TCustomDIBX& dst, const TRect& dstRect, const TRect& srcRect, int32_t scrollX, int32_t scrollY,
                       int32_t scaleX, int32_t scaleY, DrawCell drawCell) {
  int64_t w = Extent(srcRect.Left, srcRect.Right), h = Extent(srcRect.Top, srcRect.Bottom);
  if (w <= 0 || h <= 0 || scaleX <= 0 || scaleY <= 0 || w > (1 << 24) || h > (1 << 24)) return;
  int64_t cellX = w * scaleX, cellY = h * scaleY;
  if (cellX < 65536 || cellY < 65536) return;  // cells under one pixel would never end
  TRect area = dstRect.Intersect(dst.EffectiveClip());
  if (area.IsEmpty()) return;
  std::optional<TRect> saved = dst.ClipState();
  dst.SetClipRect(area);
  int64_t x0 = static_cast<int64_t>(dstRect.Left) * 65536 - static_cast<int64_t>(Wrap(scrollX, w)) * scaleX;
  int64_t y0 = static_cast<int64_t>(dstRect.Top) * 65536 - static_cast<int64_t>(Wrap(scrollY, h)) * scaleY;
  for (int64_t cy = y0; (cy >> 16) < area.Bottom; cy += cellY) {
    if (((cy + cellY) >> 16) <= area.Top) continue;
    for (int64_t cx = x0; (cx >> 16) < area.Right; cx += cellX) {
      if (((cx + cellX) >> 16) <= area.Left) continue;
      drawCell(TRect{static_cast<int32_t>(cx >> 16), static_cast<int32_t>(cy >> 16),
                     static_cast<int32_t>((cx + cellX) >> 16), static_cast<int32_t>((cy + cellY) >> 16)});
    }
  }
  dst.RestoreClip(saved);
}

void TCustomDIBX::TileDrawScaled(TRect dstRect, TRect srcRect, int32_t scrollX, int32_t scrollY, int32_t scaleX,
                                 int32_t scaleY, int32_t alpha, bool keyed, TCustomDIBX& src) {
  if (alpha <= 0) return;
  TileScaled(*this, dstRect, srcRect, scrollX, scrollY, scaleX, scaleY,
             [&](const TRect& cell) { StretchDraw(cell, srcRect, alpha, false, false, keyed, src); });
}

void TCustomDIBX::TileDrawScaledAdd(TRect dstRect, TRect srcRect, int32_t scrollX, int32_t scrollY, int32_t scaleX,
                                    int32_t scaleY, int32_t amount, TCustomDIBX& src) {
  if (amount <= 0) return;
  TileScaled(*this, dstRect, srcRect, scrollX, scrollY, scaleX, scaleY,
             [&](const TRect& cell) { StretchDrawAdd(cell, srcRect, amount, false, false, src); });
}

// ---- patterns ----

static void RunPattern(TCustomDIBX& dst, const TRect& rect, TCustomDIBX& src, bool flipH, bool flipV, int32_t offX,
                       int32_t offY, const Blit& op) {
  int32_t format = dst.PixelFormat();
  if (!DrawableFormat(format) || src.PixelFormat() != format || src.IsEmpty()) return;
  TRect area = rect.Intersect(dst.EffectiveClip());
  if (area.IsEmpty()) return;
  Access d(dst), s(src);
  if (!d || !s) return;
  int32_t w = src.Width(), h = src.Height();
  WithFormat(format, [&]<class F>() {
    for (int32_t py = area.Top; py < area.Bottom; ++py) {
      int32_t v = Wrap(static_cast<int64_t>(py) - rect.Top + offY, h);
      if (flipV) v = h - 1 - v;
      const uint8_t* srow = s.Row(v);
      uint8_t* drow = d.Row(py);
      int32_t u = Wrap(static_cast<int64_t>(area.Left) - rect.Left + offX, w);
      WithKind(op.kind, [&]<Kind K>() {
        for (int32_t px = area.Left; px < area.Right; ++px) {
          int32_t su = flipH ? w - 1 - u : u;
          ApplyPx<F, K>(drow + static_cast<ptrdiff_t>(px) * F::B, Ld<F>(srow + static_cast<ptrdiff_t>(su) * F::B), 255,
                        op.amount, op.keyed, op.key);
          if (++u == w) u = 0;
        }
      });
    }
  });
}

void TCustomDIBX::FramePattern(const TRect& rect, int32_t width, int32_t offX, int32_t offY, TCustomDIBX& src) {
  Frame(rect, width, [&](const TRect& s) { FillPattern(s, src, false, false, offX, offY); });
}

void TCustomDIBX::FillPatternBlend(const TRect& rect, TCustomDIBX& src, int32_t alpha, bool flipH, bool flipV,
                                   int32_t offX, int32_t offY) {
  if (alpha <= 0) return;
  RunPattern(*this, rect, src, flipH, flipV, offX, offY, Blit{Kind::Blend, std::min(alpha, 255)});
}

void TCustomDIBX::FillPatternAdd(const TRect& rect, TCustomDIBX& src, int32_t amount, bool flipH, bool flipV,
                                 int32_t offX, int32_t offY) {
  if (amount <= 0) return;
  RunPattern(*this, rect, src, flipH, flipV, offX, offY, Blit{Kind::Add, std::min(amount, 256)});
}

void TCustomDIBX::FillPattern(const TRect& rect, TCustomDIBX& src, bool flipH, bool flipV, int32_t offX,
                              int32_t offY) {
  RunPattern(*this, rect, src, flipH, flipV, offX, offY, Blit{Kind::Copy});
}

// ---- mapped draws and the coloured mask ----

static void RunMapped(TCustomDIBX& dst, int32_t x, int32_t y, const uint32_t* table, TRect sr, TCustomDIBX& src,
                      Kind kind) {
  int32_t format = dst.PixelFormat();
  if (!table || !DrawableFormat(format) || src.PixelFormat() != 8) return;
  if (!ClipFlipped(dst.EffectiveClip(), Whole(src), x, y, sr, false, false)) return;
  Access d(dst), s(src);
  if (!d || !s) return;
  int64_t skipUpTo = src.TransparentColor;
  WithFormat(format, [&]<class F>() {
    for (int32_t j = 0; j < sr.Height(); ++j) {
      const uint8_t* sp = s.Row(sr.Top + j) + sr.Left;
      uint8_t* dp = d.Row(y + j) + static_cast<ptrdiff_t>(x) * F::B;
      WithKind(kind, [&]<Kind K>() {
        for (int32_t i = 0; i < sr.Width(); ++i, dp += F::B) {
          if (static_cast<int64_t>(sp[i]) <= skipUpTo) continue;
          ApplyPx<F, K>(dp, table[sp[i]], 255, 256, false, 0);
        }
      });
    }
  });
}

void TCustomDIBX::DrawMapped(int32_t x, int32_t y, const uint32_t* table, TRect srcRect, TCustomDIBX& src) {
  RunMapped(*this, x, y, table, srcRect, src, Kind::Copy);
}

void TCustomDIBX::DrawMappedAdd(int32_t x, int32_t y, const uint32_t* table, TRect srcRect, TCustomDIBX& src) {
  RunMapped(*this, x, y, table, srcRect, src, Kind::Add);
}

void TCustomDIBX::StretchDrawMapped(TRect dstRect, const uint32_t* table, TRect srcRect, TCustomDIBX& src) {
  if (!table) return;
  RunStretch(*this, dstRect, srcRect, false, false, src, nullptr, table, Blit{Kind::Copy});
}

void TCustomDIBX::DrawColorMasked(int32_t x, int32_t y, int32_t alpha, uint32_t colour, bool flipV, bool flipH,
                                  TRect srcRect, TCustomDIBX& mask) {
  int32_t format = PixelFormat();
  if (alpha <= 0 || !DrawableFormat(format) || mask.PixelFormat() != 8) return;
  if (!ClipFlipped(EffectiveClip(), Whole(mask), x, y, srcRect, flipH, flipV)) return;
  Access d(*this), m(mask);
  if (!d || !m) return;
  uint32_t a = static_cast<uint32_t>(std::min(alpha, 255));
  WithFormat(format, [&]<class F>() {
    for (int32_t j = 0; j < srcRect.Height(); ++j) {
      int32_t sy = flipV ? srcRect.Bottom - 1 - j : srcRect.Top + j;
      const uint8_t* mrow = m.Row(sy);
      uint8_t* dp = d.Row(y + j) + static_cast<ptrdiff_t>(x) * F::B;
      for (int32_t i = 0; i < srcRect.Width(); ++i, dp += F::B) {
        uint32_t k = mrow[flipH ? srcRect.Right - 1 - i : srcRect.Left + i];
        if (a < 255) k = k * a >> 8;
        if (k == 0) continue;
        uint32_t dv = Ld<F>(dp);
        if (dv == colour) continue;
        St<F>(dp, MixPx<F>(dv, colour, k));
      }
    }
  });
}

// ---- files ----

void TCustomDIBX::LoadFromFile(const std::string& fileName) {
  std::string lower = fileName;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (lower.size() < 4 || lower.compare(lower.size() - 4, 4, ".bmp") != 0) return;
  // The stream's path copies into every kind of surface, not only a memory one.
  TKvMemoryStream stream(ReadFileBytes(fileName));
  LoadFromStream(stream);
}

void TCustomDIBX::SaveToFile(const std::string& fileName) {
  std::string lower = fileName;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (lower.size() < 4 || lower.compare(lower.size() - 4, 4, ".bmp") != 0) return;
  TDIBSurface image(Width(), Height(), 24);
  if (auto* self = dynamic_cast<TDIBX*>(this)) image.DrawConverted(0, 0, -1, self->Image());
  image.SaveToFile(fileName);
}

// ---- TDIBX ----

TDIBX::TDIBX() : image_(new TDIBSurface(1, 1, 15)) {}

TDIBX::TDIBX(TDIBSurface* image, bool borrowed) : image_(image), borrowed_(borrowed) {
  if (!image_) {
    image_ = new TDIBSurface(1, 1, 15);
    borrowed_ = false;
  }
}

TDIBX::~TDIBX() {
  if (!borrowed_) delete image_;
}

void TDIBX::SetImage(TDIBSurface* image, bool borrowed) {
  if (image == image_) return;
  if (!borrowed_) delete image_;
  image_ = image ? image : new TDIBSurface(1, 1, 15);
  borrowed_ = image ? borrowed : false;
  clip_.reset();
}

void TDIBX::SetPixelFormat(int32_t format) {
  if (format == PixelFormat()) return;
  image_->ConvertTo(format);
  clip_.reset();
}

void TDIBX::SetPixel(int32_t x, int32_t y, uint32_t v) {
  TRect c = EffectiveClip();
  if (x < c.Left || y < c.Top || x >= c.Right || y >= c.Bottom) return;
  image_->SetPixel(x, y, v);
}

void TDIBX::SetSize(int32_t width, int32_t height, int32_t format) {
  image_->SetSize(width, height, format);
  clip_.reset();
}

uint8_t* TDIBX::BeginAccess(int32_t x, int32_t y) {
  if (image_->Empty() || image_->BitCount() < 8 || x < 0 || y < 0 || x >= image_->Width() || y >= image_->Height())
    return nullptr;
  return image_->ScanLine(y) + static_cast<ptrdiff_t>(x) * (image_->BitCount() / 8);
}

int64_t TDIBX::ColorToPixel(int64_t rgb) const {
  if (rgb == -1) return -1;
  uint32_t r = rgb & 0xFF, g = (rgb >> 8) & 0xFF, b = (rgb >> 16) & 0xFF;
  switch (PixelFormat()) {
    case 15: return (r >> 3) << 10 | (g >> 3) << 5 | b >> 3;
    case 16: return (r >> 3) << 11 | (g >> 2) << 5 | b >> 3;
    case 24: case 32: return r << 16 | g << 8 | b;
    default: return rgb;
  }
}

void TDIBX::Clear(uint32_t v) {
  if (image_->Empty()) return;
  TRect whole = image_->BoundsRect();
  WithFormat(PixelFormat(), [&]<class F>() {
    for (int32_t y = 0; y < whole.Bottom; ++y) FillRow<F>(image_->ScanLine(y), whole.Right, v);
  });
  if (image_->BitCount() < 8) image_->FillRect(whole, v);
}

void TDIBX::CopyFrom(TCustomDIBX& src) {
  if (auto* other = dynamic_cast<TDIBX*>(&src)) {
    const TDIBSurface& o = other->Image();
    if (o.Width() == image_->Width() && o.Height() == image_->Height() && o.Pitch() == image_->Pitch() &&
        o.BitCount() == image_->BitCount()) {
      if (&o != image_) std::memcpy(image_->Bits(), o.Bits(), static_cast<size_t>(o.Pitch()) * o.Height());
      return;
    }
  }
  TCustomDIBX::CopyFrom(src);
}

void TDIBX::GetPaletteRange(TPalette& palette, int32_t first, int32_t count) const {
  for (int32_t i = std::max(first, 0); i < std::min(first + count, 256); ++i) palette[i] = image_->Palette()[i];
}

void TDIBX::SetPaletteRange(const TPalette& palette, int32_t first, int32_t count) {
  for (int32_t i = std::max(first, 0); i < std::min(first + count, 256); ++i) image_->Palette()[i] = palette[i];
}

// ---- TDIBXWave ----

uint32_t TDIBXWave::GetPixel(int32_t x, int32_t y) const {
  int64_t r = static_cast<int64_t>(y) - OriginY;
  if (r < 0 || r >= static_cast<int64_t>(Offsets.size())) return 0;
  return target_->GetPixel(x + Offsets[r], y);
}

void TDIBXWave::SetPixel(int32_t x, int32_t y, uint32_t v) {
  int64_t r = static_cast<int64_t>(y) - OriginY;
  if (r < 0 || r >= static_cast<int64_t>(Offsets.size())) return;
  TRect c = EffectiveClip();
  if (x < c.Left || y < c.Top || x >= c.Right || y >= c.Bottom) return;
  target_->SetPixel(x + Offsets[r], y, v);
}

void TDIBXWave::SetSize(int32_t width, int32_t height, int32_t format) {
  TCustomDIBX::SetSize(width, height, format);
  Offsets.resize(static_cast<size_t>(height_), 0);
}

void TDIBXWave::ResetClip() {
  clip_.reset();
  target_->ResetClip();
}

void TDIBXWave::IncludeRect(const TRect& rect) {
  TCustomDIBX::IncludeRect(rect);
  if (clip_) target_->IncludeRect(*clip_);
}

template <class DrawBand>
void TDIBXWave::ForBands(int64_t first, int64_t last, DrawBand draw) {
  TRect clip = EffectiveClip();
  int64_t rows = static_cast<int64_t>(Offsets.size());
  int64_t top = std::max<int64_t>({first, clip.Top, OriginY});
  int64_t bottom = std::min<int64_t>({last, clip.Bottom, OriginY + rows});
  std::optional<TRect> saved = target_->ClipState();
  // The target's own clip still holds: bands only narrow it.
  TRect targetClip = target_->EffectiveClip();
  for (int64_t y = top; y < bottom;) {
    int32_t offset = Offsets[y - OriginY];
    int64_t end = y + 1;
    while (end < bottom && Offsets[end - OriginY] == offset) ++end;
    TRect band{static_cast<int32_t>(std::clamp<int64_t>(clip.Left + int64_t{offset}, INT32_MIN, INT32_MAX)),
               static_cast<int32_t>(y),
               static_cast<int32_t>(std::clamp<int64_t>(clip.Right + int64_t{offset}, INT32_MIN, INT32_MAX)),
               static_cast<int32_t>(end)};
    target_->SetClipRect(band.Intersect(targetClip));
    draw(offset);
    y = end;
  }
  target_->RestoreClip(saved);
}

static TRect Shift(TRect r, int32_t dx) { return {Sat(int64_t{r.Left} + dx), r.Top, Sat(int64_t{r.Right} + dx), r.Bottom}; }

void TDIBXWave::FillRect(TRect rect, uint32_t v) {
  ForBands(rect.Top, rect.Bottom, [&](int32_t o) { target_->FillRect(Shift(rect, o), v); });
}
void TDIBXWave::BlendRect(TRect rect, uint32_t v, int32_t alpha) {
  ForBands(rect.Top, rect.Bottom, [&](int32_t o) { target_->BlendRect(Shift(rect, o), v, alpha); });
}
void TDIBXWave::AddRect(TRect rect, uint32_t v) {
  ForBands(rect.Top, rect.Bottom, [&](int32_t o) { target_->AddRect(Shift(rect, o), v); });
}
void TDIBXWave::SubtractRect(TRect rect, uint32_t v) {
  ForBands(rect.Top, rect.Bottom, [&](int32_t o) { target_->SubtractRect(Shift(rect, o), v); });
}
void TDIBXWave::Draw(int32_t x, int32_t y, bool flipV, bool flipH, bool keyed, TRect srcRect, TCustomDIBX& src) {
  ForBands(y, y + Extent(srcRect.Top, srcRect.Bottom), [&](int32_t o) { target_->Draw(Sat(int64_t{x} + o), y, flipV, flipH, keyed, srcRect, src); });
}
void TDIBXWave::DrawMasked(int32_t x, int32_t y, TCustomDIBX& mask, bool flipV, bool flipH, TRect srcRect,
                           TCustomDIBX& src) {
  ForBands(y, y + Extent(srcRect.Top, srcRect.Bottom), [&](int32_t o) { target_->DrawMasked(Sat(int64_t{x} + o), y, mask, flipV, flipH, srcRect, src); });
}
void TDIBXWave::DrawBlend(int32_t x, int32_t y, int32_t alpha, bool flipV, bool flipH, bool keyed, TRect srcRect,
                          TCustomDIBX& src) {
  ForBands(y, y + Extent(srcRect.Top, srcRect.Bottom),
           [&](int32_t o) { target_->DrawBlend(Sat(int64_t{x} + o), y, alpha, flipV, flipH, keyed, srcRect, src); });
}
void TDIBXWave::DrawBlendMasked(int32_t x, int32_t y, int32_t alpha, TCustomDIBX& mask, bool flipV, bool flipH,
                                TRect srcRect, TCustomDIBX& src) {
  ForBands(y, y + Extent(srcRect.Top, srcRect.Bottom),
           [&](int32_t o) { target_->DrawBlendMasked(Sat(int64_t{x} + o), y, alpha, mask, flipV, flipH, srcRect, src); });
}
void TDIBXWave::DrawAdd(int32_t x, int32_t y, int32_t amount, bool flipV, bool flipH, TRect srcRect,
                        TCustomDIBX& src) {
  ForBands(y, y + Extent(srcRect.Top, srcRect.Bottom), [&](int32_t o) { target_->DrawAdd(Sat(int64_t{x} + o), y, amount, flipV, flipH, srcRect, src); });
}
void TDIBXWave::DrawAddMasked(int32_t x, int32_t y, int32_t amount, TCustomDIBX& mask, bool flipV, bool flipH,
                              TRect srcRect, TCustomDIBX& src) {
  ForBands(y, y + Extent(srcRect.Top, srcRect.Bottom),
           [&](int32_t o) { target_->DrawAddMasked(Sat(int64_t{x} + o), y, amount, mask, flipV, flipH, srcRect, src); });
}
void TDIBXWave::DrawRotate(int32_t x, int32_t y, int32_t alpha, bool flipV, bool flipH, bool keyed, int32_t angle,
                           int32_t centreY, int32_t centreX, TRect srcRect, TCustomDIBX& src, int32_t zoomY,
                           int32_t zoomX) {
  TRect b = RotatedBounds(x, y, angle, centreX, centreY, srcRect, zoomX, zoomY);
  ForBands(b.Top, b.Bottom, [&](int32_t o) {
    target_->DrawRotate(Sat(int64_t{x} + o), y, alpha, flipV, flipH, keyed, angle, centreY, centreX, srcRect, src, zoomY, zoomX);
  });
}
void TDIBXWave::DrawRotateMasked(int32_t x, int32_t y, int32_t alpha, TCustomDIBX& mask, bool flipV, bool flipH,
                                 int32_t angle, int32_t centreY, int32_t centreX, TRect srcRect, TCustomDIBX& src,
                                 int32_t zoomY, int32_t zoomX) {
  TRect b = RotatedBounds(x, y, angle, centreX, centreY, srcRect, zoomX, zoomY);
  ForBands(b.Top, b.Bottom, [&](int32_t o) {
    target_->DrawRotateMasked(Sat(int64_t{x} + o), y, alpha, mask, flipV, flipH, angle, centreY, centreX, srcRect, src, zoomY, zoomX);
  });
}
void TDIBXWave::StretchDraw(TRect dstRect, TRect srcRect, int32_t alpha, bool flipV, bool flipH, bool keyed,
                            TCustomDIBX& src) {
  ForBands(dstRect.Top, dstRect.Bottom,
           [&](int32_t o) { target_->StretchDraw(Shift(dstRect, o), srcRect, alpha, flipV, flipH, keyed, src); });
}
void TDIBXWave::StretchDrawMasked(TRect dstRect, TCustomDIBX& mask, int32_t alpha, bool flipV, bool flipH,
                                  TRect srcRect, TCustomDIBX& src) {
  ForBands(dstRect.Top, dstRect.Bottom,
           [&](int32_t o) { target_->StretchDrawMasked(Shift(dstRect, o), mask, alpha, flipV, flipH, srcRect, src); });
}
void TDIBXWave::StretchDrawAdd(TRect dstRect, TRect srcRect, int32_t amount, bool flipV, bool flipH,
                               TCustomDIBX& src) {
  ForBands(dstRect.Top, dstRect.Bottom,
           [&](int32_t o) { target_->StretchDrawAdd(Shift(dstRect, o), srcRect, amount, flipV, flipH, src); });
}
void TDIBXWave::StretchDrawAddMasked(TRect dstRect, TCustomDIBX& mask, int32_t amount, bool flipV, bool flipH,
                                     TRect srcRect, TCustomDIBX& src) {
  ForBands(dstRect.Top, dstRect.Bottom, [&](int32_t o) {
    target_->StretchDrawAddMasked(Shift(dstRect, o), mask, amount, flipV, flipH, srcRect, src);
  });
}
void TDIBXWave::DrawGlyph(int32_t x, int32_t y, int32_t factor, int32_t alpha, bool flipV, bool flipH, uint32_t colour,
                          TRect srcRect, const TDIBSurface& src) {
  int64_t rows = factor > 0 ? Extent(srcRect.Top, srcRect.Bottom) / factor : 0;
  ForBands(y, y + rows,
           [&](int32_t o) { target_->DrawGlyph(Sat(int64_t{x} + o), y, factor, alpha, flipV, flipH, colour, srcRect, src); });
}
void TDIBXWave::DrawGlyphBytes(int32_t x, int32_t y, int32_t factor, int32_t alpha, bool flipV, bool flipH,
                               uint32_t colour, TRect srcRect, TCustomDIBX& src) {
  int64_t rows = factor > 0 ? Extent(srcRect.Top, srcRect.Bottom) / factor : 0;
  ForBands(y, y + rows,
           [&](int32_t o) { target_->DrawGlyphBytes(Sat(int64_t{x} + o), y, factor, alpha, flipV, flipH, colour, srcRect, src); });
}
void TDIBXWave::DrawMapped(int32_t x, int32_t y, const uint32_t* table, TRect srcRect, TCustomDIBX& src) {
  ForBands(y, y + Extent(srcRect.Top, srcRect.Bottom), [&](int32_t o) { target_->DrawMapped(Sat(int64_t{x} + o), y, table, srcRect, src); });
}
void TDIBXWave::DrawMappedAdd(int32_t x, int32_t y, const uint32_t* table, TRect srcRect, TCustomDIBX& src) {
  ForBands(y, y + Extent(srcRect.Top, srcRect.Bottom), [&](int32_t o) { target_->DrawMappedAdd(Sat(int64_t{x} + o), y, table, srcRect, src); });
}
void TDIBXWave::StretchDrawMapped(TRect dstRect, const uint32_t* table, TRect srcRect, TCustomDIBX& src) {
  ForBands(dstRect.Top, dstRect.Bottom,
           [&](int32_t o) { target_->StretchDrawMapped(Shift(dstRect, o), table, srcRect, src); });
}
void TDIBXWave::FillPatternBlend(const TRect& rect, TCustomDIBX& src, int32_t alpha, bool flipH, bool flipV,
                                 int32_t offX, int32_t offY) {
  ForBands(rect.Top, rect.Bottom,
           [&](int32_t o) { target_->FillPatternBlend(Shift(rect, o), src, alpha, flipH, flipV, offX, offY); });
}
void TDIBXWave::FillPatternAdd(const TRect& rect, TCustomDIBX& src, int32_t amount, bool flipH, bool flipV,
                               int32_t offX, int32_t offY) {
  ForBands(rect.Top, rect.Bottom,
           [&](int32_t o) { target_->FillPatternAdd(Shift(rect, o), src, amount, flipH, flipV, offX, offY); });
}
void TDIBXWave::FillPattern(const TRect& rect, TCustomDIBX& src, bool flipH, bool flipV, int32_t offX, int32_t offY) {
  ForBands(rect.Top, rect.Bottom,
           [&](int32_t o) { target_->FillPattern(Shift(rect, o), src, flipH, flipV, offX, offY); });
}
void TDIBXWave::DrawColorMasked(int32_t x, int32_t y, int32_t alpha, uint32_t colour, bool flipV, bool flipH,
                                TRect srcRect, TCustomDIBX& mask) {
  ForBands(y, y + Extent(srcRect.Top, srcRect.Bottom),
           [&](int32_t o) { target_->DrawColorMasked(Sat(int64_t{x} + o), y, alpha, colour, flipV, flipH, srcRect, mask); });
}

// ---- sniffing ----

TImageKind SniffImageKind(const uint8_t* bytes, size_t size) {
  if (size >= 2 && bytes[0] == 'B' && bytes[1] == 'M') return IK_BMP;
  if (size >= 4 && std::memcmp(bytes + 1, "PNG", 3) == 0) return IK_PNG;
  if (size >= 4 && std::memcmp(bytes, "Tarn", 4) == 0) return IK_LAYERED;
  if (size >= 3 && bytes[0] == 0xFF && bytes[1] == 0xD8 && bytes[2] == 0xFF) return IK_JPEG;
  return IK_UNKNOWN;
}

}  // namespace orba
