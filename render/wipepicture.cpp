// The transitions that draw the pictures themselves rather than through a mask: fades and
// slides, flashes through white or black, pixelation, rolls, twists, zooms, ripples, blurs
// and falling pieces. Each is one class; the tables they read are built when the effect is
// made or its settings change, and every buffer a step writes into is sized there too.
#include <algorithm>
#include <cmath>
#include <numbers>

#include "files/kvrandom.h"
#include "render/wipemask.h"
#include "render/wipepixels.h"

namespace orba {

using namespace wipe;

namespace {

TRect Whole(const TCustomDIBX& s) { return Bounds(0, 0, s.Width(), s.Height()); }

int32_t Round(double v) { return static_cast<int32_t>(std::nearbyint(v)); }

// Mirrors the span [a, b) of a length when flag is set.
void MirrorSpan(bool flag, int32_t length, int32_t& a, int32_t& b) {
  if (flag) {
    int32_t na = length - b, nb = length - a;
    a = na, b = nb;
  }
}

// ---- kind 1: crossfade, the new picture sliding in from an offset ----

class TWipeFade : public TCustomWipe {
 public:
  using TCustomWipe::TCustomWipe;

 protected:
  void DrawStep(int32_t t, int32_t d) override {
    const int32_t alpha = static_cast<int32_t>(int64_t{t} * 256 / d);
    const double c = double(d - t - 1) / d;
    const int32_t ox = Round(c * params_[0]), oy = Round(c * params_[1]);
    CopyPicture(target_, from_);
    target_.DrawBlend(ox, oy, alpha, false, false, false, Whole(to_), to_);
  }
};

// ---- kinds 6, 7: the old picture pushed out, the new one following it ----

template <bool Vertical>
class TWipeScroll : public TCustomWipe {
 public:
  using TCustomWipe::TCustomWipe;

 protected:
  void DrawStep(int32_t t, int32_t d) override {
    const int32_t length = Vertical ? H() : W();
    const int32_t o = static_cast<int32_t>(int64_t{length} * t / d);
    // Forward the pictures move towards 0, with Reverse away from it.
    const int32_t out = Reverse ? o : -o, in = Reverse ? o - length : length - o;
    target_.Draw(Vertical ? 0 : out, Vertical ? out : 0, false, false, false, Whole(from_), from_);
    target_.Draw(Vertical ? 0 : in, Vertical ? in : 0, false, false, false, Whole(to_), to_);
  }
};

// ---- kinds 12, 13, 14: through white or black, and the decaying flash ----

class TWipeGreyBase : public TCustomWipe {
 public:
  TWipeGreyBase(TCustomDIBX& target, TCustomDIBX& to, TCustomDIBX& from)
      : TCustomWipe(target, to, from), grey_(GreyTable(target)) {}

 protected:
  std::array<uint32_t, 256> grey_;
};

template <bool Subtract>
class TWipeThrough : public TWipeGreyBase {
 public:
  using TWipeGreyBase::TWipeGreyBase;

 protected:
  void DrawStep(int32_t t, int32_t d) override {
    const int32_t s = static_cast<int32_t>(int64_t{511} * t / d);
    if (s < 256) GreyPicture(target_, from_, grey_[static_cast<size_t>(s)], Subtract);
    else GreyPicture(target_, to_, grey_[static_cast<size_t>(511 - s)], Subtract);
  }
};

class TWipeFlash : public TWipeGreyBase {
 public:
  using TWipeGreyBase::TWipeGreyBase;

 protected:
  void DrawStep(int32_t t, int32_t d) override {
    GreyPicture(target_, to_, grey_[static_cast<size_t>(255 - int64_t{255} * t / d)], false);
  }
};

// ---- kind 15: pixelation growing over the old picture and shrinking over the new ----

class TWipeMosaic : public TCustomWipe {
 public:
  TWipeMosaic(TCustomDIBX& target, TCustomDIBX& to, TCustomDIBX& from)
      : TCustomWipe(target, to, from), columns_(static_cast<size_t>(std::max(target.Width(), 0))) {}

  // The reduction factor (8.8) of progress s (0..1023).
  static int32_t Factor(int32_t s) {
    return s <= 511 ? 263 - ((s / 2) * 15 / 16) : 24 + (15 * ((s - 512) / 2)) / 16;
  }

 protected:
  void DrawStep(int32_t t, int32_t d) override {
    const int32_t s = static_cast<int32_t>(int64_t{1023} * t / d), f = Factor(s);
    const int32_t w = W(), h = H();
    const int32_t rw = std::max(1, ((w / 4) * f) >> 8), rh = std::max(1, ((h / 4) * f) >> 8);
    const uint32_t alpha = s <= 255 ? 0 : s <= 511 ? (s - 256) / 4 : (s - 256) / 2;
    const bool toOnly = s >= 768;
    // Each pixel of the reduced picture samples the centre of its block; blocks are
    // stretched back to full size by repetition.
    for (int32_t x = 0; x < w; ++x) {
      int64_t i = int64_t{x} * rw / w;
      columns_[static_cast<size_t>(x)] = static_cast<int32_t>((2 * i + 1) * w / (2 * rw));
    }
    Pixels dst(target_), from(from_), to(to_);
    if (!dst || !from || !to) return;
    ForFormat(target_.PixelFormat(), [&]<class F>() {
      int32_t lastSy = -1;
      for (int32_t y = 0; y < h; ++y) {
        int64_t j = int64_t{y} * rh / h;
        int32_t sy = static_cast<int32_t>((2 * j + 1) * h / (2 * rh));
        uint8_t* dp = dst.Row(y);
        if (sy == lastSy) {
          std::memcpy(dp, dst.Row(y - 1), static_cast<size_t>(w) * F::B);
          continue;
        }
        lastSy = sy;
        const uint8_t *fp = from.Row(sy), *tp = to.Row(sy);
        int32_t lastSx = -1;
        uint32_t v = 0;
        for (int32_t x = 0; x < w; ++x) {
          int32_t sx = columns_[static_cast<size_t>(x)];
          if (sx != lastSx) {
            lastSx = sx;
            uint32_t a = Ld<F>(fp + sx * F::B), b = Ld<F>(tp + sx * F::B);
            v = toOnly ? b : alpha == 0 ? a : BlendPx<F>(a, b, alpha);
          }
          St<F>(dp + x * F::B, v);
        }
      }
    });
  }

 private:
  std::vector<int32_t> columns_;
};

// ---- kinds 16, 17, 32, 33: rolls ----

// The old picture rolls up from one side, the part being rolled showing the picture's edge
// smeared across it; then the new one unrolls the same way. The plain roll smears the single
// column (row) at the edge; the rubber roll stretches a strip behind the edge whose width
// swings like a released band.
template <bool Vertical, bool Rubber>
class TWipeRoll : public TCustomWipe {
 public:
  TWipeRoll(TCustomDIBX& target, TCustomDIBX& to, TCustomDIBX& from)
      : TCustomWipe(target, to, from), columns_(static_cast<size_t>(std::max(target.Width(), 0))) {}

 protected:
  void DrawStep(int32_t t, int32_t d) override {
    const int32_t length = Vertical ? H() : W();
    const bool first = int64_t{2} * t < d;
    const int64_t num = first ? int64_t{2} * t : int64_t{2} * t - d;
    const int32_t r = static_cast<int32_t>(length * num / d);
    const double u = double(num) / d;
    int32_t strip = 1;
    if (Rubber) strip = std::max(1, Round(length / 4.0 * std::abs(std::sin(3 * std::numbers::pi * u)) * (1 - u)));
    TCustomDIBX& pic = first ? from_ : to_;
    // In the unmirrored direction the roll runs from 0 towards length.
    int32_t keepA = first ? r : 0, keepB = first ? length : r;
    int32_t smearA = first ? 0 : r, smearB = first ? r : length;
    int32_t srcA = std::min(r, length - 1), srcB = std::min(srcA + strip, length);
    MirrorSpan(Reverse, length, keepA, keepB);
    MirrorSpan(Reverse, length, smearA, smearB);
    MirrorSpan(Reverse, length, srcA, srcB);
    auto span = [&](int32_t a, int32_t b) { return Vertical ? TRect{0, a, W(), b} : TRect{a, 0, b, H()}; };
    if (keepA < keepB) target_.Draw(Vertical ? 0 : keepA, Vertical ? keepA : 0, false, false, false, span(keepA, keepB), pic);
    if (smearA < smearB) StretchCopy(target_, span(smearA, smearB), pic, span(srcA, srcB), columns_);
  }

 private:
  std::vector<int32_t> columns_;
};

// ---- kinds 18, 20, 21: a flare passing over every pixel at its own time ----

// Each pixel has a start n; at level b the pixel shows the old picture before n, the old one
// brightening (darkening) to full white (black) over 256 levels, the new one coming back out
// of it over 256 more, then the new one.
template <bool Subtract>
class TWipeFlare : public TCustomWipe {
 public:
  TWipeFlare(TCustomDIBX& target, TCustomDIBX& to, TCustomDIBX& from)
      : TCustomWipe(target, to, from), grey_(GreyTable(target)) {}
  void Init() override { Build(); }
  void SetReverse(bool flag) override {
    TCustomWipe::SetReverse(flag);
    Build();
  }

 protected:
  // Fills map_ (one start per pixel) and run_ (the level reached at the end).
  virtual void BuildMap() = 0;
  void Build() {
    map_.resize(static_cast<size_t>(W()) * static_cast<size_t>(H()));
    BuildMap();
  }

  void DrawStep(int32_t t, int32_t d) override {
    if (map_.size() != static_cast<size_t>(W()) * static_cast<size_t>(H())) Build();
    const int32_t b = static_cast<int32_t>(int64_t{run_} * t / d), w = W();
    Pixels dst(target_), from(from_), to(to_);
    if (!dst || !from || !to) return;
    ForFormat(target_.PixelFormat(), [&]<class F>() {
      for (int32_t y = 0; y < H(); ++y) {
        uint8_t* dp = dst.Row(y);
        const uint8_t *fp = from.Row(y), *tp = to.Row(y);
        const int32_t* m = &map_[static_cast<size_t>(y) * w];
        if constexpr (F::B == 4) {
          // The picture each pixel shows and its grey first (grey g is g * 0x010101 at 32
          // bits), then one saturating pass.
          uint32_t* __restrict grey = greyRow_.data();
          uint32_t* __restrict shown = reinterpret_cast<uint32_t*>(dp);
          const uint32_t *__restrict f32 = reinterpret_cast<const uint32_t*>(fp),
                         *__restrict t32 = reinterpret_cast<const uint32_t*>(tp);
          for (int32_t x = 0; x < w; ++x) {
            int32_t g = b - m[x];
            shown[x] = g >= 256 ? t32[x] : f32[x];
            grey[x] = static_cast<uint32_t>(Ramp(g)) * 0x010101u;
          }
          SaturateRow32(dp, dp, reinterpret_cast<const uint8_t*>(grey), w, true, Subtract);
        } else {
          for (int32_t x = 0; x < w; ++x) {
            int32_t g = b - m[x];
            uint32_t src = Ld<F>((g >= 256 ? tp : fp) + x * F::B), grey = grey_[static_cast<size_t>(Ramp(g))];
            St<F>(dp + x * F::B, Subtract ? SubPx<F>(src, grey) : AddPx<F>(src, grey, 256));
          }
        }
      }
    });
  }

  // The grey of a pixel g levels after its start: up over 256 levels, down over 256 more.
  static int32_t Ramp(int32_t g) { return g < 0 ? 0 : g < 256 ? g : g < 512 ? 511 - g : 0; }

  std::vector<uint32_t> greyRow_ = std::vector<uint32_t>(static_cast<size_t>(std::max(W(), 0)));
  std::array<uint32_t, 256> grey_;
  std::vector<int32_t> map_;
  int32_t run_ = 512;
};

// Kind 18: a white ring spreading from the centre (from the corners with Reverse).
class TWipeSpot : public TWipeFlare<false> {
 public:
  TWipeSpot(TCustomDIBX& target, TCustomDIBX& to, TCustomDIBX& from) : TWipeFlare(target, to, from) { Build(); }

 protected:
  void BuildMap() override {
    const int32_t w = W(), h = H(), half = HalfDiagonal(w, h);
    for (int32_t y = 0; y < h; ++y)
      for (int32_t x = 0; x < w; ++x) {
        int32_t r = CentreDistance(x, y, w, h);
        map_[static_cast<size_t>(y) * w + x] = Reverse ? half - r : r;
      }
    run_ = half + 512;
  }
};

// Kinds 20, 21: through white (black) along a rule that runs diagonally from the top-left
// corner (from the bottom-right with Reverse) on a level scale of 768.
template <bool Subtract>
class TWipeShadowFlare : public TWipeFlare<Subtract> {
 public:
  using TWipeFlare<Subtract>::TWipeFlare;

 protected:
  void BuildMap() override {
    const int32_t w = this->W(), h = this->H();
    const int64_t span = std::max(w + h - 2, 1);
    for (int32_t y = 0; y < h; ++y)
      for (int32_t x = 0; x < w; ++x) {
        int64_t along = this->Reverse ? (w - 1 - x) + (h - 1 - y) : x + y;
        this->map_[static_cast<size_t>(y) * w + x] = static_cast<int32_t>(along * 255 / span);
      }
    this->run_ = 768;
  }
};

// ---- kinds 22, 23: the old picture turning and shrinking away, the new one growing ----

template <bool Grow>
class TWipeZoomTurn : public TCustomWipe {
 public:
  TWipeZoomTurn(TCustomDIBX& target, TCustomDIBX& to, TCustomDIBX& from)
      : TCustomWipe(target, to, from), columns_(static_cast<size_t>(std::max(target.Width(), 0))) {}

 protected:
  void DrawStep(int32_t t, int32_t d) override {
    const int32_t zoom = Round(255.0 * (Grow ? t : d - t - 1) / d);
    int32_t angle = static_cast<int32_t>(int64_t{params_[0]} * (Grow ? d - t - 1 : t) / d);
    if (Reverse) angle = -angle;
    TCustomDIBX& back = Grow ? from_ : to_;
    TCustomDIBX& front = Grow ? to_ : from_;
    CopyPicture(target_, back);
    if (zoom <= 0) return;
    const int32_t w = W(), h = H();
    if (angle % 256 == 0) {
      // No turn: a plain scaled copy about the centre.
      int32_t zw = static_cast<int32_t>(int64_t{w} * zoom / 256), zh = static_cast<int32_t>(int64_t{h} * zoom / 256);
      StretchCopy(target_, Bounds((w - zw) / 2, (h - zh) / 2, zw, zh), front, Whole(front), columns_);
    } else {
      target_.DrawRotate(w / 2, h / 2, 255, false, false, false, angle, h / 2, w / 2, Whole(front), front, zoom, zoom);
    }
  }

 private:
  std::vector<int32_t> columns_;
};

// ---- kind 24: ripples ----

// Waves run out from the centre and push pixels along the radius while the pictures
// crossfade; the waves swell and die down over the transition, so it starts and ends still.
class TWipeRipple : public TCustomWipe {
 public:
  TWipeRipple(TCustomDIBX& target, TCustomDIBX& to, TCustomDIBX& from) : TCustomWipe(target, to, from) {
    const int32_t w = W(), h = H();
    gw_ = (w + 1) / 2;
    const int32_t gh = (h + 1) / 2;
    dist_.resize(static_cast<size_t>(gw_) * gh);
    cos_.resize(dist_.size());
    sin_.resize(dist_.size());
    int32_t far = 0;
    for (int32_t gy = 0; gy < gh; ++gy)
      for (int32_t gx = 0; gx < gw_; ++gx) {
        double dx = gx * 2 + 1 - w / 2.0, dy = gy * 2 + 1 - h / 2.0, r = std::sqrt(dx * dx + dy * dy);
        size_t i = static_cast<size_t>(gy) * gw_ + gx;
        dist_[i] = Round(r);
        far = std::max(far, dist_[i]);
        cos_[i] = r > 0 ? Round(dx / r * 65536) : 0;
        sin_[i] = r > 0 ? Round(dy / r * 65536) : 0;
      }
    shift_.resize(static_cast<size_t>(far) + 1);
    next_.resize(static_cast<size_t>(w) * 3 * 4);
    length_ = std::max(1, 2 * std::min(w / 2, h / 2) / 3);
    BuildWave();
  }

 protected:
  void ParamsChanged() override { BuildWave(); }
  void BuildWave() {
    const int32_t quarter = std::max(1, length_ / 4);
    wave_.resize(static_cast<size_t>(length_));
    for (int32_t i = 0; i < length_; ++i)
      wave_[static_cast<size_t>(i)] = static_cast<int32_t>(int64_t{i % quarter} * params_[0] / quarter);
  }

  void DrawStep(int32_t t, int32_t d) override {
    const uint32_t alpha = static_cast<uint32_t>(std::min<int64_t>(255, int64_t{t} * 256 / d));
    const int32_t swell = Round(256 * std::sin(std::numbers::pi * t / d));
    const int32_t phase = static_cast<int32_t>(int64_t{4} * length_ * t / d);
    for (size_t r = 0; r < shift_.size(); ++r) {
      int32_t i = (static_cast<int32_t>(r) - phase) % length_;
      shift_[r] = wave_[static_cast<size_t>(i < 0 ? i + length_ : i)] * swell;  // 1/256 pixel
    }
    const int32_t w = W(), h = H();
    Pixels dst(target_), from(from_), to(to_);
    if (!dst || !from || !to) return;
    ForFormat(target_.PixelFormat(), [&]<class F>() {
      // Each cell of the half-size grid moves a 2 x 2 block: the block it reads is kept
      // inside the picture as a whole.
      const int32_t maxX = std::max(w - 2, 0), maxY = std::max(h - 2, 0), gw = gw_;
      // Locals the pixel stores cannot be taken to change.
      const int32_t *__restrict dist = dist_.data(), *__restrict cosine = cos_.data(), *__restrict sine = sin_.data(),
                    *__restrict shift = shift_.data();
      for (int32_t y = 0; y < h; y += 2) {
        const bool pair = y + 1 < h;
        const size_t g0 = static_cast<size_t>(y / 2) * gw;
        // Without a second row its pixels go to scratch.
        uint8_t *d0 = dst.Row(y), *d1 = pair ? dst.Row(y + 1) : next_.data() + static_cast<std::ptrdiff_t>(2 * w) * F::B;
        uint8_t *n0 = next_.data(), *n1 = next_.data() + static_cast<std::ptrdiff_t>(w) * F::B;
        for (int32_t gx = 0, x = 0; gx < gw; ++gx, x += 2) {
          size_t g = g0 + static_cast<size_t>(gx);
          int64_t s = shift[dist[g]];
          int32_t sx = std::clamp(x + static_cast<int32_t>((s * cosine[g]) >> 24), 0, maxX);
          int32_t sy = std::clamp(y + static_cast<int32_t>((s * sine[g]) >> 24), 0, maxY);
          // The block read is inside the picture (sx <= w - 2, sy <= h - 2 where there is room).
          const int32_t sy1 = std::min(sy + 1, h - 1);
          const std::ptrdiff_t at = static_cast<std::ptrdiff_t>(x) * F::B, sat = static_cast<std::ptrdiff_t>(sx) * F::B;
          const uint8_t *f0 = from.Row(sy) + sat, *f1 = from.Row(sy1) + sat, *t0 = to.Row(sy) + sat,
                        *t1 = to.Row(sy1) + sat;
          if (x + 1 < w) {
            std::memcpy(d0 + at, f0, 2 * F::B);
            std::memcpy(n0 + at, t0, 2 * F::B);
            std::memcpy(d1 + at, f1, 2 * F::B);
            std::memcpy(n1 + at, t1, 2 * F::B);
          } else {
            std::memcpy(d0 + at, f0, F::B);
            std::memcpy(n0 + at, t0, F::B);
            std::memcpy(d1 + at, f1, F::B);
            std::memcpy(n1 + at, t1, F::B);
          }
        }
        if (alpha == 0) continue;
        RowOp<F, 1>(Kind::Blend, d0, n0, nullptr, w, static_cast<int32_t>(alpha), false, 0);
        if (pair) RowOp<F, 1>(Kind::Blend, d1, n1, nullptr, w, static_cast<int32_t>(alpha), false, 0);
      }
    });
  }

 private:
  std::vector<int32_t> dist_, cos_, sin_, wave_, shift_;
  std::vector<uint8_t> next_;  // two rows of displaced new pixels and a spare
  int32_t gw_ = 0, length_ = 1;
};

// ---- kinds 25, 26: blurring out to white (black) and sharpening back ----

// A box blur of radius r of the whole picture, each channel on its own.
void BoxBlur(TCustomDIBX& dst, TCustomDIBX& src, int32_t radius) {
  const int32_t w = src.Width(), h = src.Height();
  dst.SetSize(w, h, src.PixelFormat());
  Pixels s(src), d(dst);
  if (!s || !d) return;
  ForFormat(src.PixelFormat(), [&]<class F>() {
    std::vector<int32_t> ch(static_cast<size_t>(w) * h * 3), tmp(ch.size());
    auto unit = [](uint32_t m) { return m & (~m + 1); };
    for (int32_t y = 0; y < h; ++y)
      for (int32_t x = 0; x < w; ++x) {
        uint32_t p = Ld<F>(s.At<F>(x, y));
        for (int c = 0; c < 3; ++c) ch[(static_cast<size_t>(y) * w + x) * 3 + c] = static_cast<int32_t>((p & F::M[c]) / unit(F::M[c]));
      }
    // One pass along lines of count elements, step apart, lines lineStep apart.
    auto pass = [&](const std::vector<int32_t>& in, std::vector<int32_t>& out, int32_t lines, int32_t count,
                    size_t lineStep, size_t step) {
      for (int32_t l = 0; l < lines; ++l)
        for (int c = 0; c < 3; ++c) {
          const size_t base = l * lineStep + c;
          int64_t sum = 0;
          int32_t n = 0;
          for (int32_t i = 0; i <= std::min(radius, count - 1); ++i, ++n) sum += in[base + i * step];
          for (int32_t i = 0; i < count; ++i) {
            out[base + i * step] = static_cast<int32_t>(sum / n);
            int32_t add = i + radius + 1, drop = i - radius;
            if (add < count) sum += in[base + add * step], ++n;
            if (drop >= 0) sum -= in[base + drop * step], --n;
          }
        }
    };
    pass(ch, tmp, h, w, static_cast<size_t>(w) * 3, 3);
    pass(tmp, ch, w, h, 3, static_cast<size_t>(w) * 3);
    for (int32_t y = 0; y < h; ++y)
      for (int32_t x = 0; x < w; ++x) {
        uint32_t p = 0;
        for (int c = 0; c < 3; ++c)
          p |= (static_cast<uint32_t>(ch[(static_cast<size_t>(y) * w + x) * 3 + c]) * unit(F::M[c])) & F::M[c];
        St<F>(d.At<F>(x, y), p);
      }
  });
}

template <bool Subtract>
class TWipeBlur : public TWipeGreyBase {
 public:
  TWipeBlur(TCustomDIBX& target, TCustomDIBX& to, TCustomDIBX& from) : TWipeGreyBase(target, to, from) {
    const int32_t radius = std::max(1, std::min(W(), H()) / 20);
    BoxBlur(fromBlur_, from, radius);
    BoxBlur(toBlur_, to, radius);
  }

 protected:
  void DrawStep(int32_t t, int32_t d) override {
    const int32_t s = static_cast<int32_t>(int64_t{639} * t / d);
    if (fromBlur_.Width() != W() || fromBlur_.Height() != H()) return;
    if (s < 256) Mix(from_, fromBlur_, s);
    else if (s < 320) GreyPicture(target_, fromBlur_, grey_[static_cast<size_t>((s - 256) * 4)], Subtract);
    else if (s < 384) GreyPicture(target_, toBlur_, grey_[static_cast<size_t>((383 - s) * 4)], Subtract);
    else Mix(toBlur_, to_, s - 384);
  }

 private:
  void Mix(TCustomDIBX& a, TCustomDIBX& b, int32_t alpha) {
    Pixels dst(target_), pa(a), pb(b);
    if (!dst || !pa || !pb) return;
    ForFormat(target_.PixelFormat(), [&]<class F>() {
      for (int32_t y = 0; y < H(); ++y) MixRow<F>(dst.Row(y), pa.Row(y), pb.Row(y), W(), static_cast<uint32_t>(alpha));
    });
  }

  TDIBX fromBlur_, toBlur_;
};

// ---- kinds 27, 28: rows (columns) turning over like cards ----

template <bool Vertical>
class TWipeTwist : public TCustomWipe {
 public:
  TWipeTwist(TCustomDIBX& target, TCustomDIBX& to, TCustomDIBX& from) : TCustomWipe(target, to, from) {
    lines_.resize(static_cast<size_t>(std::max(Vertical ? W() : H(), 0)));
    if (Vertical) column_.resize(lines_.size());
  }

 protected:
  // A line's state in a step: the picture it shows whole (or null while it turns), and
  // while it turns the strip it shows: where it starts and how long it is, and the walk
  // through the source line (q whole pixels plus r / size).
  struct Line {
    const void* whole;
    bool front;  // the old picture faces us
    int32_t start, size;
  };
  // A column as the row-by-row walk reads it: its pixel in row 0 of its source, its strip and
  // the source rows per row (16.16).
  struct Column {
    const uint8_t* base;
    int32_t start, end, step;
  };

  void DrawStep(int32_t t, int32_t d) override {
    const int32_t w = W(), h = H(), lines = Vertical ? w : h, across = Vertical ? h : w;
    Pixels dst(target_), from(from_), to(to_);
    if (!dst || !from || !to) return;
    for (int32_t l = 0; l < lines; ++l) {
      Line& line = lines_[static_cast<size_t>(l)];
      const int32_t r = Reverse ? lines - 1 - l : l;
      const double phi = 1.5 * std::numbers::pi * t / d - std::numbers::pi / 2 * r / lines;
      // Lines not yet turning keep the old picture; lines turned over show the new one.
      line.whole = phi < 0 ? static_cast<const void*>(&from) : phi >= std::numbers::pi ? &to : nullptr;
      const double c = std::cos(phi);
      line.front = c > 0;
      line.size = Round(std::abs(c) * across);
      line.start = (across - line.size) / 2;
    }
    ForFormat(target_.PixelFormat(), [&]<class F>() {
      if (!Vertical) {
        for (int32_t y = 0; y < h; ++y) {
          const Line& line = lines_[static_cast<size_t>(y)];
          uint8_t* dp = dst.Row(y);
          if (line.whole) {
            std::memcpy(dp, static_cast<const Pixels*>(line.whole)->Row(y), static_cast<size_t>(w) * F::B);
            continue;
          }
          std::memset(dp, 0, static_cast<size_t>(w) * F::B);
          StretchLine<F>(dp + line.start * F::B, F::B, (line.front ? from : to).Row(y), F::B, line.size, w);
        }
        return;
      }
      // Columns are drawn row by row: each column reads row (y - start) * step of its source
      // while y lies in its strip, and is black elsewhere.
      const std::ptrdiff_t pitch = from.Row(std::min(1, h - 1)) - from.Row(0);
      for (int32_t x = 0; x < w; ++x) {
        Line& line = lines_[static_cast<size_t>(x)];
        const Pixels& src = line.whole ? *static_cast<const Pixels*>(line.whole) : line.front ? from : to;
        if (line.whole) line.start = 0, line.size = h;
        column_[static_cast<size_t>(x)] = {src.Row(0) + x * F::B, line.start, line.start + line.size,
                                           line.size > 0 ? static_cast<int32_t>((int64_t{h} << 16) / line.size) : 0};
      }
      const Column* __restrict columns = column_.data();
      for (int32_t y = 0; y < h; ++y) {
        uint8_t* __restrict dp = dst.Row(y);
        for (int32_t x = 0; x < w; ++x) {
          const Column& c = columns[x];
          uint32_t v = 0;
          if (y >= c.start && y < c.end) v = Ld<F>(c.base + ((int64_t{y - c.start} * c.step) >> 16) * pitch);
          St<F>(dp + x * F::B, v);
        }
      }
    });
  }

 private:
  std::vector<Line> lines_;
  std::vector<Column> column_;
};

// ---- kind 29: the old picture breaks into pieces that jump and fall ----

class TWipeCrack : public TCustomWipe {
 public:
  static constexpr int32_t kSeed = 12341;
  using TCustomWipe::TCustomWipe;

  // The rise and fall after a ticks of movement.
  static int64_t Drop(int64_t a) { return (5 * a * a - 1500 * a) / 1000; }

 protected:
  struct Piece {
    TRect place;    // where it lies in the old picture
    int32_t drift;  // -100..99: sideways speed in 1/100 pixel per tick
  };

  int32_t ClampParam(int index, int32_t value) const override { return std::max(value, index == 0 ? 16 : 0); }
  void ParamsChanged() override {
    const int32_t p0 = params_[0], w = W(), h = H();
    const int32_t cols = (w + p0 - 1) / p0, rows = (h + p0 - 1) / p0, n = std::max(cols * rows, 0);
    TKvRandom random(kSeed);
    random.ResetPermutation(n);
    pieces_.resize(static_cast<size_t>(n));
    for (Piece& piece : pieces_) {
      int32_t cell = random.NextUnique();
      int32_t i = cell % cols, k = cell / cols;
      piece.place = TRect{i * p0, k * p0, std::min((i + 1) * p0, w), std::min((k + 1) * p0, h)};
      piece.drift = static_cast<int32_t>(static_cast<uint32_t>(random.Next()) % 200) - 100;
    }
    fall_ = 0;
    while (Drop(fall_) < h) ++fall_;
    run_ = fall_ + static_cast<int64_t>(std::max(n - 1, 0)) * params_[1];
  }

  void DrawStep(int32_t t, int32_t d) override {
    const int64_t g = run_ * t / d;
    CopyPicture(target_, to_);
    // Pieces that move later are drawn first, so the moving ones pass over those at rest.
    for (size_t j = pieces_.size(); j-- > 0;) {
      const Piece& p = pieces_[j];
      int64_t a = std::max<int64_t>(0, g - static_cast<int64_t>(j) * params_[1]);
      int64_t y = p.place.Top + Drop(a), x = p.place.Left + a * p.drift / 100;
      if (y >= H() || x >= W() || x + p.place.Width() <= 0) continue;
      target_.Draw(static_cast<int32_t>(x), static_cast<int32_t>(y), false, false, false, p.place, from_);
    }
  }

 private:
  std::vector<Piece> pieces_;
  int32_t fall_ = 0;
  int64_t run_ = 1;
};

// ---- kind 30: into a point of the old picture, out of the same point of the new one ----

class TWipeZoomin : public TCustomWipe {
 public:
  TWipeZoomin(TCustomDIBX& target, TCustomDIBX& to, TCustomDIBX& from)
      : TCustomWipe(target, to, from), columns_(static_cast<size_t>(std::max(target.Width(), 0))) {}

 protected:
  void DrawStep(int32_t t, int32_t d) override {
    const int32_t w = W(), h = H();
    const bool first = int64_t{2} * t < d;
    // u: 0 the whole picture, 1 the smallest rectangle about the point.
    double u = first ? 2.0 * t / d : 2.0 - 2.0 * t / d;
    const int32_t px = std::clamp(params_[0], 0, w - 1), py = std::clamp(params_[1], 0, h - 1);
    const double sw = std::max(1, w / 16), sh = std::max(1, h / 16);
    const double sl = std::clamp(px - sw / 2, 0.0, w - sw), st = std::clamp(py - sh / 2, 0.0, h - sh);
    auto mix = [&](double a, double b) { return Round(a + (b - a) * u); };
    TRect r{mix(0, sl), mix(0, st), mix(w, sl + sw), mix(h, st + sh)};
    if (r.Right <= r.Left) r.Right = r.Left + 1;
    if (r.Bottom <= r.Top) r.Bottom = r.Top + 1;
    StretchCopy(target_, Whole(target_), first ? from_ : to_, r, columns_);
  }

 private:
  std::vector<int32_t> columns_;
};

}  // namespace

namespace wipe {

const std::vector<TWipeKind>& PictureKinds() {
  static const std::vector<TWipeKind> rows{
      {1, "TWipeFade", MakeWipe<TWipeFade>},
      {6, "TWipeScrollH", MakeWipe<TWipeScroll<false>>},
      {7, "TWipeScrollV", MakeWipe<TWipeScroll<true>>},
      {12, "TWipeWhite", MakeWipe<TWipeThrough<false>>},
      {13, "TWipeBlack", MakeWipe<TWipeThrough<true>>},
      {14, "TWipeFlash", MakeWipe<TWipeFlash>},
      {15, "TWipeMosaic", MakeWipe<TWipeMosaic>},
      {16, "TWipeSudareH", MakeWipe<TWipeRoll<false, false>>},
      {17, "TWipeSudareV", MakeWipe<TWipeRoll<true, false>>},
      {18, "TWipeSpot", MakeWipe<TWipeSpot>},
      {20, "TWipeShadowWhite", MakeWipe<TWipeShadowFlare<false>>},
      {21, "TWipeShadowBlack", MakeWipe<TWipeShadowFlare<true>>},
      {22, "TWipeSmall", MakeWipe<TWipeZoomTurn<false>>},
      {23, "TWipeBig", MakeWipe<TWipeZoomTurn<true>>},
      {24, "TWipeRipple", MakeWipe<TWipeRipple>},
      {25, "TWipeBlurWhite", MakeWipe<TWipeBlur<false>>},
      {26, "TWipeBlurBlack", MakeWipe<TWipeBlur<true>>},
      {27, "TWipeTwistH", MakeWipe<TWipeTwist<false>>},
      {28, "TWipeTwistV", MakeWipe<TWipeTwist<true>>},
      {29, "TWipeCrack", MakeWipe<TWipeCrack>},
      {30, "TWipeZoomin", MakeWipe<TWipeZoomin>},
      {32, "TWipeRubberH", MakeWipe<TWipeRoll<false, true>>},
      {33, "TWipeRubberV", MakeWipe<TWipeRoll<true, true>>},
  };
  return rows;
}

}  // namespace wipe

}  // namespace orba
