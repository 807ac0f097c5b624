// What the transition effects share below the effect classes: direct pixel access for one
// step, the dispatch on the pixel format done once per step, and the row operations the
// effects are built of (copy, crossfade, grey added or taken away, stretched copies). The
// pixel arithmetic is the drawing surface's own (pixelops), so a transition's blend is the
// blend every other drawing uses.
#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

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

// One row with grey g added (saturating) or, when subtract, taken away (clamped at 0).
template <class F>
inline void GreyRow(uint8_t* d, const uint8_t* s, int32_t n, uint32_t g, bool subtract) {
  if (subtract) {
    for (int32_t i = 0; i < n; ++i) St<F>(d + i * F::B, SubPx<F>(Ld<F>(s + i * F::B), g));
  } else {
    for (int32_t i = 0; i < n; ++i) St<F>(d + i * F::B, AddPx<F>(Ld<F>(s + i * F::B), g, 256));
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

struct TWipeKind {
  int kind;
  const char* name;
  TWipeFactory create;
};

// The rows of each family file, in kind order within the file.
const std::vector<TWipeKind>& MaskKinds();
const std::vector<TWipeKind>& PictureKinds();

}  // namespace orba::wipe
