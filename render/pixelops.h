// Pixel arithmetic of the drawing surface, one definition per kind of operation, and the row
// loops built on it. The forward loops of the 15/16- and 32-bit formats are plain loops over
// whole rows with no per-pixel branches the compiler cannot turn into selects, so they
// vectorise. The whole player is built for the x86-64 baseline; those row loops are built a
// second time for x86-64-v3 (AVX2) and a table of our own picks the widest variant the
// processor runs, once, at the first drawing. Every fast row computes exactly what ApplyPx
// computes for each pixel.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstddef>
#include <cstring>

// The code below is compiled once per processor level: each level's copy lives in a namespace
// of its own, so the linker never takes a wider copy of an inline function for the baseline.
#ifndef ORBA_PIXEL_ISA
#define ORBA_PIXEL_ISA isa_base
#endif

namespace orba::pixelops {

// Pixel formats: bytes per pixel and channel masks (8 bits: the index is one channel).
struct F8 { static constexpr int B = 1; static constexpr uint32_t M[3] = {0, 0, 0xFF}; };
struct F15 { static constexpr int B = 2; static constexpr uint32_t M[3] = {0x7C00, 0x03E0, 0x001F}; };
struct F16 { static constexpr int B = 2; static constexpr uint32_t M[3] = {0xF800, 0x07E0, 0x001F}; };
struct F24 { static constexpr int B = 3; static constexpr uint32_t M[3] = {0xFF0000, 0x00FF00, 0x0000FF}; };
struct F32 { static constexpr int B = 4; static constexpr uint32_t M[3] = {0xFF0000, 0x00FF00, 0x0000FF}; };

// The forward row loops of the hot formats for one processor level. 16-bit entries are
// indexed [0] for 5-5-5 and [1] for 5-6-5.
struct TPixelRows {
  using Blend = void (*)(uint8_t* d, const uint8_t* s, int32_t n, uint32_t a, bool keyed, uint32_t key);
  using Mask = void (*)(uint8_t* d, const uint8_t* s, const uint8_t* m, int32_t n);
  using BlendMask = void (*)(uint8_t* d, const uint8_t* s, const uint8_t* m, int32_t n, uint32_t a);
  // d := a composed with b through the mask m (a at 0, b at 255).
  using MixMask = void (*)(uint8_t* d, const uint8_t* a, const uint8_t* b, const uint8_t* m, int32_t n);
  const char* name;
  Blend blend32;
  Mask mask32;
  BlendMask blendMask32;
  Blend add32;  // a is the add amount, at most 256
  Blend blend16[2];
  Mask mask16[2];
  Blend add16[2];
  MixMask mixMask32;
  MixMask mixMask16[2];
};

// The variant every processor runs.
const TPixelRows& BaselineRows();
// The widest variant this build carries and this processor runs; null when there is none.
const TPixelRows* WideRows();
// The variant in use: the widest one the processor runs, unless a test chose another.
const TPixelRows& PixelRows();
// Makes rows the variant in use (tests run each variant the machine can run).
void UsePixelRows(const TPixelRows& rows);

inline namespace ORBA_PIXEL_ISA {

template <class F>
inline uint32_t Ld(const uint8_t* p) {
  if constexpr (F::B == 1) {
    return *p;
  } else if constexpr (F::B == 2) {
    uint16_t v;
    std::memcpy(&v, p, 2);
    return v;
  } else if constexpr (F::B == 3) {
    return p[0] | p[1] << 8 | p[2] << 16;
  } else {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
  }
}

template <class F>
inline void St(uint8_t* p, uint32_t v) {
  if constexpr (F::B == 1) {
    *p = static_cast<uint8_t>(v);
  } else if constexpr (F::B == 2) {
    uint16_t w = static_cast<uint16_t>(v);
    std::memcpy(p, &w, 2);
  } else if constexpr (F::B == 3) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
  } else {
    std::memcpy(p, &v, 4);
  }
}

// Per channel m: (((d and m)(255 - a) + (c and m) a) shr 8) and m, the channels ORed.
template <class F>
inline uint32_t MixPx(uint32_t d, uint32_t c, uint32_t a) {
  if constexpr (F::B >= 3) {
    // Red and blue together: their products cannot reach each other's bits.
    uint32_t rb = (((d & 0xFF00FF) * (255 - a) + (c & 0xFF00FF) * a) >> 8) & 0xFF00FF;
    uint32_t g = (((d & 0xFF00) * (255 - a) + (c & 0xFF00) * a) >> 8) & 0xFF00;
    return rb | g;
  } else {
    uint32_t r = 0;
    for (uint32_t m : F::M) r |= (((d & m) * (255 - a) + (c & m) * a) >> 8) & m;
    return r;
  }
}

// The blend: a destination already equal to the source stays as it is.
template <class F>
inline uint32_t BlendPx(uint32_t d, uint32_t s, uint32_t a) {
  uint32_t r = MixPx<F>(d, s, a);
  return d == s ? d : r;
}

// Per channel: min(m, (d and m) + (((s and m) amount shr 8) and m)); amount at most 256.
template <class F>
inline uint32_t AddPx(uint32_t d, uint32_t s, uint32_t amount) {
  if constexpr (F::B >= 3) {
    uint32_t rb = (((s & 0xFF00FF) * amount) >> 8) & 0xFF00FF;
    uint32_t g = (((s & 0xFF00) * amount) >> 8) & 0xFF00;
    uint32_t sumRB = (d & 0xFF00FF) + rb, sumG = (d & 0xFF00) + g;
    // A carry out of a channel saturates it.
    uint32_t overRB = sumRB & 0x01000100, overG = sumG & 0x10000;
    sumRB |= overRB - (overRB >> 8);
    sumG |= overG - (overG >> 8);
    return (sumRB & 0xFF00FF) | (sumG & 0xFF00);
  } else {
    uint32_t r = 0;
    for (uint32_t m : F::M) r |= std::min(m, (d & m) + ((((s & m) * amount) >> 8) & m));
    return r;
  }
}

// Per channel: max(0, (d and m) - (v and m)).
template <class F>
inline uint32_t SubPx(uint32_t d, uint32_t v) {
  uint32_t r = 0;
  for (uint32_t m : F::M) r |= (d & m) > (v & m) ? (d & m) - (v & m) : 0;
  return r;
}

// Glyph coverage: count of full samples are ink.
template <class F>
inline uint32_t GlyphPx(uint32_t d, uint32_t colour, uint32_t count, uint32_t full) {
  uint32_t r = 0;
  for (uint32_t m : F::M)
    r |= static_cast<uint32_t>((static_cast<uint64_t>(colour & m) * count + static_cast<uint64_t>(d & m) * (full - count)) /
                               full) & m;
  return r;
}

enum class Kind { Copy, Key, Blend, Mask, BlendMask, Add, AddMask };

// One destination pixel of an operation of kind K: s the source pixel, k the mask value (255
// without a mask), amount the alpha or add amount. Loops over many pixels take the kind as
// this template parameter, chosen once per call with WithKind, so no pixel switches on it.
template <class F, Kind K>
inline void ApplyPx(uint8_t* dp, uint32_t s, uint32_t k, int32_t amount, bool keyed, uint32_t key) {
  uint32_t a = static_cast<uint32_t>(amount);
  if constexpr (K == Kind::Copy) {
    St<F>(dp, s);
  } else if constexpr (K == Kind::Key) {
    if (!keyed || s != key) St<F>(dp, s);
  } else if constexpr (K == Kind::Blend) {
    if (!keyed || s != key) St<F>(dp, BlendPx<F>(Ld<F>(dp), s, a));
  } else if constexpr (K == Kind::Mask) {
    if (k == 255) St<F>(dp, s);
    else if (k != 0) St<F>(dp, BlendPx<F>(Ld<F>(dp), s, k));
  } else if constexpr (K == Kind::BlendMask) {
    uint32_t w = k * a >> 8;
    if (w != 0) St<F>(dp, BlendPx<F>(Ld<F>(dp), s, w));
  } else if constexpr (K == Kind::Add) {
    if (!keyed || s != key) St<F>(dp, AddPx<F>(Ld<F>(dp), s, a));
  } else {
    uint32_t w = k * a >> 8;
    if (w != 0) St<F>(dp, AddPx<F>(Ld<F>(dp), s, w));
  }
}

// Calls fn.template operator()<K>() with the kind as a compile-time value.
template <class Fn>
inline void WithKind(Kind kind, Fn&& fn) {
  switch (kind) {
    case Kind::Copy: fn.template operator()<Kind::Copy>(); break;
    case Kind::Key: fn.template operator()<Kind::Key>(); break;
    case Kind::Blend: fn.template operator()<Kind::Blend>(); break;
    case Kind::Mask: fn.template operator()<Kind::Mask>(); break;
    case Kind::BlendMask: fn.template operator()<Kind::BlendMask>(); break;
    case Kind::Add: fn.template operator()<Kind::Add>(); break;
    case Kind::AddMask: fn.template operator()<Kind::AddMask>(); break;
  }
}

template <class F>
inline void FillRow(uint8_t* d, int32_t n, uint32_t v) {
  if constexpr (F::B == 1) {
    std::memset(d, static_cast<uint8_t>(v), static_cast<size_t>(n));
  } else {
    for (int32_t i = 0; i < n; ++i) St<F>(d + static_cast<std::ptrdiff_t>(i) * F::B, v);
  }
}

// One row of a blit: d at the first destination pixel, s at the first source pixel (walked
// by Step pixels), m at the first mask value (walked the same way) or null.
template <class F, int Step>
inline void RowOp(Kind kind, uint8_t* d, const uint8_t* s, const uint8_t* m, int32_t n, int32_t amount, bool keyed,
                  uint32_t key) {
  if constexpr (Step == 1) {
    if (kind == Kind::Copy) {
      std::memmove(d, s, static_cast<size_t>(n) * F::B);
      return;
    }
    uint32_t a = static_cast<uint32_t>(amount);
    const TPixelRows& rows = PixelRows();
    if constexpr (F::B == 4) {
      switch (kind) {
        case Kind::Blend: rows.blend32(d, s, n, a, keyed, key); return;
        case Kind::Mask: rows.mask32(d, s, m, n); return;
        case Kind::BlendMask: rows.blendMask32(d, s, m, n, a); return;
        case Kind::Add: rows.add32(d, s, n, a, keyed, key); return;
        default: break;
      }
    } else if constexpr (F::B == 2) {
      constexpr int k = F::M[0] == F16::M[0] ? 1 : 0;
      switch (kind) {
        case Kind::Blend: rows.blend16[k](d, s, n, a, keyed, key); return;
        case Kind::Mask: rows.mask16[k](d, s, m, n); return;
        case Kind::Add: rows.add16[k](d, s, n, a, keyed, key); return;
        default: break;
      }
    }
  }
  WithKind(kind, [&]<Kind K>() {
    for (int32_t i = 0; i < n; ++i) {
      std::ptrdiff_t si = static_cast<std::ptrdiff_t>(i) * Step;
      ApplyPx<F, K>(d + static_cast<std::ptrdiff_t>(i) * F::B, Ld<F>(s + si * F::B), m ? m[si] : 255, amount, keyed, key);
    }
  });
}

}  // inline namespace ORBA_PIXEL_ISA
}  // namespace orba::pixelops
