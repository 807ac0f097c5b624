// What the transition effects share below the effect classes: direct pixel access for one
// step, the dispatch on the pixel format done once per step, and the row operations the
// effects are built of (copy, crossfade, grey added or taken away, stretched copies). The
// pixel arithmetic is the drawing surface's own (pixelops), so a transition's blend is the
// blend every other drawing uses.
#pragma once

#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "render/dibx.h"
#include "render/pixelops.h"
#include "render/wipe.h"

namespace orba::wipe {

using namespace pixelops;

// The pixels of a surface for the length of one step.
class Pixels {
 public:
  explicit Pixels(TCustomDIBX& s) : s_(s), bits_(s.IsEmpty() ? nullptr : s.BeginAccess(0, 0)), pitch_(s.Pitch()) {}
  ~Pixels() {
    if (bits_) s_.EndAccess();
  }
  Pixels(const Pixels&) = delete;
  Pixels& operator=(const Pixels&) = delete;
  explicit operator bool() const { return bits_ != nullptr; }
  uint8_t* Row(int32_t y) const { return bits_ + static_cast<std::ptrdiff_t>(y) * pitch_; }
  template <class F>
  uint8_t* At(int32_t x, int32_t y) const {
    return Row(y) + static_cast<std::ptrdiff_t>(x) * F::B;
  }

 private:
  TCustomDIBX& s_;
  uint8_t* bits_;
  int32_t pitch_;
};

// Calls fn.template operator()<F>() for the formats a transition draws (15, 16, 24, 32).
template <class Fn>
inline void ForFormat(int32_t format, Fn&& fn) {
  switch (format) {
    case 15: fn.template operator()<F15>(); break;
    case 16: fn.template operator()<F16>(); break;
    case 24: fn.template operator()<F24>(); break;
    case 32: fn.template operator()<F32>(); break;
    default: break;
  }
}

// Half the screen's diagonal, and the distance of a pixel's centre from the screen's centre,
// both rounded: the radii of the effects that spread from the centre.
inline int32_t HalfDiagonal(int32_t w, int32_t h) {
  return static_cast<int32_t>(std::nearbyint(std::sqrt(double(w) * w + double(h) * h) / 2));
}
inline int32_t CentreDistance(int32_t x, int32_t y, int32_t w, int32_t h) {
  double dx = x + 0.5 - w / 2.0, dy = y + 0.5 - h / 2.0;
  return static_cast<int32_t>(std::nearbyint(std::sqrt(dx * dx + dy * dy)));
}

// Grey (g, g, g) as a pixel of the surface's format, for g = 0..255.
std::array<uint32_t, 256> GreyTable(const TCustomDIBX& s);

// Crossfade of one row: BlendPx(a, b, alpha), alpha 0..255 (0 gives a).
template <class F>
inline void MixRow(uint8_t* d, const uint8_t* a, const uint8_t* b, int32_t n, uint32_t alpha) {
  if (alpha == 0) {
    std::memmove(d, a, static_cast<size_t>(n) * F::B);
    return;
  }
  for (int32_t i = 0; i < n; ++i) St<F>(d + i * F::B, BlendPx<F>(Ld<F>(a + i * F::B), Ld<F>(b + i * F::B), alpha));
}

// a composed with b through the mask m (0 shows a, 255 b), into d.
template <class F>
inline void MixMaskRow(uint8_t* d, const uint8_t* a, const uint8_t* b, const uint8_t* m, int32_t n) {
  if constexpr (F::B == 4) {
    PixelRows().mixMask32(d, a, b, m, n);
  } else if constexpr (F::B == 2) {
    PixelRows().mixMask16[F::M[0] == F16::M[0] ? 1 : 0](d, a, b, m, n);
  } else {
    for (int32_t i = 0; i < n; ++i) {
      uint32_t av = Ld<F>(a + i * F::B), bv = Ld<F>(b + i * F::B), k = m[i];
      St<F>(d + i * F::B, k == 0 ? av : k == 255 ? bv : BlendPx<F>(av, bv, k));
    }
  }
}

// 32-bit pixels: each channel of d plus (minus) the same channel of g, saturating, the top
// byte cleared; the add and subtract of the drawing surface on whole rows.
inline void SaturateRow32(uint8_t* d, const uint8_t* s, const uint8_t* g, int32_t n, bool gRow, bool subtract) {
  int32_t i = 0;
#if defined(__SSE2__)
  const __m128i channels = _mm_set1_epi32(0x00FFFFFF);
  __m128i gv = _mm_set1_epi32(static_cast<int32_t>(Ld<F32>(g)));
  for (; i + 4 <= n; i += 4) {
    __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i * 4));
    if (gRow) gv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(g + i * 4));
    v = subtract ? _mm_subs_epu8(v, gv) : _mm_adds_epu8(v, gv);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d + i * 4), _mm_and_si128(v, channels));
  }
#endif
  for (; i < n; ++i) {
    uint32_t sv = Ld<F32>(s + i * 4), gv1 = Ld<F32>(gRow ? g + i * 4 : g);
    St<F32>(d + i * 4, subtract ? SubPx<F32>(sv, gv1) : AddPx<F32>(sv, gv1, 256));
  }
}

// One row with grey g added (saturating) or, when subtract, taken away (clamped at 0).
template <class F>
inline void GreyRow(uint8_t* d, const uint8_t* s, int32_t n, uint32_t g, bool subtract) {
  if constexpr (F::B == 4) {
    uint8_t grey[4];
    St<F32>(grey, g);
    SaturateRow32(d, s, grey, n, false, subtract);
  } else if (subtract) {
    for (int32_t i = 0; i < n; ++i) St<F>(d + i * F::B, SubPx<F>(Ld<F>(s + i * F::B), g));
  } else {
    for (int32_t i = 0; i < n; ++i) St<F>(d + i * F::B, AddPx<F>(Ld<F>(s + i * F::B), g, 256));
  }
}

// dn pixels of a line stretched from sn source pixels (nearest: pixel i takes i sn div dn),
// each line walked by its step in bytes, so rows and columns alike.
template <class F>
inline void StretchLine(uint8_t* d, std::ptrdiff_t dStep, const uint8_t* s, std::ptrdiff_t sStep, int32_t dn, int32_t sn) {
  if (dn <= 0) return;
  const int32_t whole = sn / dn, part = sn % dn;
  int32_t q = 0, r = 0;
  for (int32_t i = 0; i < dn; ++i, d += dStep) {
    St<F>(d, Ld<F>(s + q * sStep));
    q += whole;
    r += part;
    if (r >= dn) r -= dn, ++q;
  }
}

// The whole of src with grey added or taken away, into dst (same size and format).
void GreyPicture(TCustomDIBX& dst, TCustomDIBX& src, uint32_t grey, bool subtract);

// Nearest-neighbour copy of srcRect of src stretched onto dstRect of dst, clipped to dst;
// columns is scratch the caller keeps (sized to dst's width at creation, so no step allocates).
void StretchCopy(TCustomDIBX& dst, TRect dstRect, TCustomDIBX& src, TRect srcRect, std::vector<int32_t>& columns);

// Plain copy of the whole picture (same size and format).
void CopyPicture(TCustomDIBX& dst, TCustomDIBX& src);

// The factories of the effect classes, one per kind, defined beside their families.
using TWipeFactory = std::unique_ptr<TCustomWipe> (*)(TCustomDIBX& target, TCustomDIBX& to, TCustomDIBX& from);

template <class T>
std::unique_ptr<TCustomWipe> MakeWipe(TCustomDIBX& target, TCustomDIBX& to, TCustomDIBX& from) {
  return std::make_unique<T>(target, to, from);
}

struct TWipeKind {
  int kind;
  const char* name;
  TWipeFactory create;
};

// The rows of each family file, in kind order within the file.
const std::vector<TWipeKind>& MaskKinds();
const std::vector<TWipeKind>& PictureKinds();

}  // namespace orba::wipe
