// The forward row loops of the hot formats, written once and compiled once per processor
// level: pixelops.cpp includes this for the x86-64 baseline, pixelops_v3.cpp for x86-64-v3.
// Each includer defines ORBA_PIXEL_ISA first, so every copy has names of its own.
#pragma once

#include "render/pixelops.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#define ORBA_INLINE inline __attribute__((always_inline))

namespace orba::pixelops {
inline namespace ORBA_PIXEL_ISA {
namespace {

template <class F>
ORBA_INLINE void BlendBody(uint8_t* d, const uint8_t* s, int32_t n, uint32_t a, bool keyed, uint32_t key) {
  if (keyed) {
    for (int32_t i = 0; i < n; ++i) {
      uint32_t dv = Ld<F>(d + i * F::B), sv = Ld<F>(s + i * F::B);
      uint32_t r = MixPx<F>(dv, sv, a);
      St<F>(d + i * F::B, (dv == sv || sv == key) ? dv : r);
    }
  } else {
    for (int32_t i = 0; i < n; ++i) {
      uint32_t dv = Ld<F>(d + i * F::B), sv = Ld<F>(s + i * F::B);
      uint32_t r = MixPx<F>(dv, sv, a);
      St<F>(d + i * F::B, dv == sv ? dv : r);
    }
  }
}

template <class F>
ORBA_INLINE void MaskBody(uint8_t* d, const uint8_t* s, const uint8_t* m, int32_t n) {
  for (int32_t i = 0; i < n; ++i) {
    uint32_t dv = Ld<F>(d + i * F::B), sv = Ld<F>(s + i * F::B), k = m[i];
    uint32_t r = MixPx<F>(dv, sv, k);
    r = dv == sv ? dv : r;
    r = k == 255 ? sv : r;
    St<F>(d + i * F::B, k == 0 ? dv : r);
  }
}

template <class F>
ORBA_INLINE void BlendMaskBody(uint8_t* d, const uint8_t* s, const uint8_t* m, int32_t n, uint32_t a) {
  for (int32_t i = 0; i < n; ++i) {
    uint32_t dv = Ld<F>(d + i * F::B), sv = Ld<F>(s + i * F::B), w = m[i] * a >> 8;
    uint32_t r = MixPx<F>(dv, sv, w);
    St<F>(d + i * F::B, (w == 0 || dv == sv) ? dv : r);
  }
}

// Full-strength add at 32 bits: a saturating add of the three channel bytes, the top byte
// cleared, done on whole words with the carries kept inside each byte.
ORBA_INLINE uint32_t AddSat32(uint32_t d, uint32_t s) {
  uint32_t x = d & 0xFFFFFF, y = s & 0xFFFFFF;
  uint32_t sum = ((x & 0x7F7F7F) + (y & 0x7F7F7F)) ^ ((x ^ y) & 0x808080);
  uint32_t carry = ((x & y) | ((x | y) & ~sum)) & 0x808080;
  return sum | ((carry >> 7) * 0xFF);
}

template <class F>
ORBA_INLINE void AddBody(uint8_t* d, const uint8_t* s, int32_t n, uint32_t amount, bool keyed, uint32_t key) {
  if (keyed) {
    for (int32_t i = 0; i < n; ++i) {
      uint32_t dv = Ld<F>(d + i * F::B), sv = Ld<F>(s + i * F::B);
      uint32_t r = AddPx<F>(dv, sv, amount);
      St<F>(d + i * F::B, sv == key ? dv : r);
    }
  } else {
    for (int32_t i = 0; i < n; ++i) {
      uint32_t dv = Ld<F>(d + i * F::B), sv = Ld<F>(s + i * F::B);
      St<F>(d + i * F::B, AddPx<F>(dv, sv, amount));
    }
  }
}

void Blend32(uint8_t* d, const uint8_t* s, int32_t n, uint32_t a, bool keyed, uint32_t key) {
  BlendBody<F32>(d, s, n, a, keyed, key);
}
void Mask32(uint8_t* d, const uint8_t* s, const uint8_t* m, int32_t n) { MaskBody<F32>(d, s, m, n); }
void BlendMask32(uint8_t* d, const uint8_t* s, const uint8_t* m, int32_t n, uint32_t a) {
  BlendMaskBody<F32>(d, s, m, n, a);
}
void Add32(uint8_t* d, const uint8_t* s, int32_t n, uint32_t amount, bool keyed, uint32_t key) {
  if (amount == 256 && !keyed) {
    int32_t i = 0;
#if defined(__SSE2__)
    // Four pixels at a time: an unsigned saturating byte add, the top bytes cleared.
    const __m128i channels = _mm_set1_epi32(0x00FFFFFF);
    for (; i + 4 <= n; i += 4) {
      __m128i dv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d + i * 4));
      __m128i sv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i * 4));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(d + i * 4), _mm_and_si128(_mm_adds_epu8(dv, sv), channels));
    }
#endif
    for (; i < n; ++i) St<F32>(d + i * 4, AddSat32(Ld<F32>(d + i * 4), Ld<F32>(s + i * 4)));
    return;
  }
  if (amount == 256) {
    for (int32_t i = 0; i < n; ++i) {
      uint32_t dv = Ld<F32>(d + i * 4), sv = Ld<F32>(s + i * 4), r = AddSat32(dv, sv);
      St<F32>(d + i * 4, sv == key ? dv : r);
    }
    return;
  }
  AddBody<F32>(d, s, n, amount, keyed, key);
}

template <class F>
void Blend16(uint8_t* d, const uint8_t* s, int32_t n, uint32_t a, bool keyed, uint32_t key) {
  BlendBody<F>(d, s, n, a, keyed, key);
}
template <class F>
void Mask16(uint8_t* d, const uint8_t* s, const uint8_t* m, int32_t n) {
  MaskBody<F>(d, s, m, n);
}
template <class F>
void Add16(uint8_t* d, const uint8_t* s, int32_t n, uint32_t amount, bool keyed, uint32_t key) {
  AddBody<F>(d, s, n, amount, keyed, key);
}

// The table of this level's rows.
constexpr TPixelRows MakeRows(const char* name) {
  return {name,          Blend32, Mask32, BlendMask32, Add32, {Blend16<F15>, Blend16<F16>}, {Mask16<F15>, Mask16<F16>},
          {Add16<F15>, Add16<F16>}};
}

}  // namespace
}  // inline namespace ORBA_PIXEL_ISA
}  // namespace orba::pixelops
