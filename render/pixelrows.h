// The forward row loops of the hot formats, written once and compiled once per processor
// level: pixelops.cpp includes this for the x86-64 baseline, pixelops_v3.cpp for x86-64-v3.
// Each includer defines ORBA_PIXEL_ISA first, so every copy has names of its own.
#pragma once

#include "render/pixelops.h"

#if defined(__AVX2__)
#include <immintrin.h>
#elif defined(__SSE2__)
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

// Two pictures composed through a mask into a third: a where the mask is 0, b where it is
// 255, their blend between (a pixel equal in both stays as it is). The transitions' compose.
template <class F>
ORBA_INLINE void MixMaskBody(uint8_t* d, const uint8_t* a, const uint8_t* b, const uint8_t* m, int32_t n) {
  for (int32_t i = 0; i < n; ++i) {
    uint32_t av = Ld<F>(a + i * F::B), bv = Ld<F>(b + i * F::B), k = m[i];
    uint32_t r = MixPx<F>(av, bv, k);
    r = av == bv ? av : r;
    r = k == 255 ? bv : r;
    St<F>(d + i * F::B, k == 0 ? av : r);
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

// The mask varies per pixel, so the channels are mixed in 16-bit lanes (each product fits:
// 255 * 255 at most), which is the 32-bit formula of MixPx taken one channel at a time.
void MixMask32(uint8_t* d, const uint8_t* a, const uint8_t* b, const uint8_t* m, int32_t n) {
  int32_t i = 0;
#if defined(__AVX2__)
  const __m256i zero = _mm256_setzero_si256(), full = _mm256_set1_epi8(-1), c255 = _mm256_set1_epi16(255);
  const __m256i channels = _mm256_set1_epi32(0x00FFFFFF);
  // Mask byte j spread over the four bytes of pixel j (each 128-bit half picks its own four).
  const __m256i spread = _mm256_setr_epi8(0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 6, 6,
                                          6, 6, 7, 7, 7, 7);
  for (; i + 8 <= n; i += 8) {
    __m256i av = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(a + i * 4));
    __m256i bv = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(b + i * 4));
    int64_t m8;
    std::memcpy(&m8, m + i, 8);
    __m256i k = _mm256_shuffle_epi8(_mm256_set1_epi64x(m8), spread);
    __m256i kFrom = _mm256_cmpeq_epi32(k, zero), kTo = _mm256_cmpeq_epi32(k, full);
    if (_mm256_movemask_epi8(_mm256_or_si256(kFrom, kTo)) == -1) {
      // Hard edges and settled parts: each pixel is one picture or the other.
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + i * 4), _mm256_blendv_epi8(av, bv, kTo));
      continue;
    }
    __m256i klo = _mm256_unpacklo_epi8(k, zero), khi = _mm256_unpackhi_epi8(k, zero);
    __m256i lo = _mm256_add_epi16(_mm256_mullo_epi16(_mm256_unpacklo_epi8(av, zero), _mm256_sub_epi16(c255, klo)),
                                  _mm256_mullo_epi16(_mm256_unpacklo_epi8(bv, zero), klo));
    __m256i hi = _mm256_add_epi16(_mm256_mullo_epi16(_mm256_unpackhi_epi8(av, zero), _mm256_sub_epi16(c255, khi)),
                                  _mm256_mullo_epi16(_mm256_unpackhi_epi8(bv, zero), khi));
    __m256i r = _mm256_and_si256(_mm256_packus_epi16(_mm256_srli_epi16(lo, 8), _mm256_srli_epi16(hi, 8)), channels);
    r = _mm256_blendv_epi8(r, av, _mm256_cmpeq_epi32(av, bv));
    r = _mm256_blendv_epi8(r, bv, kTo);
    r = _mm256_blendv_epi8(r, av, kFrom);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + i * 4), r);
  }
#elif defined(__SSE2__)
  const __m128i zero = _mm_setzero_si128(), full = _mm_set1_epi8(-1), c255 = _mm_set1_epi16(255);
  const __m128i channels = _mm_set1_epi32(0x00FFFFFF);
  auto select = [](__m128i r, __m128i v, __m128i where) {
    return _mm_or_si128(_mm_and_si128(where, v), _mm_andnot_si128(where, r));
  };
  for (; i + 4 <= n; i += 4) {
    __m128i av = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + i * 4));
    __m128i bv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + i * 4));
    int32_t m4;
    std::memcpy(&m4, m + i, 4);
    __m128i k = _mm_cvtsi32_si128(m4);
    k = _mm_unpacklo_epi8(k, k);
    k = _mm_unpacklo_epi16(k, k);
    __m128i klo = _mm_unpacklo_epi8(k, zero), khi = _mm_unpackhi_epi8(k, zero);
    __m128i lo = _mm_add_epi16(_mm_mullo_epi16(_mm_unpacklo_epi8(av, zero), _mm_sub_epi16(c255, klo)),
                               _mm_mullo_epi16(_mm_unpacklo_epi8(bv, zero), klo));
    __m128i hi = _mm_add_epi16(_mm_mullo_epi16(_mm_unpackhi_epi8(av, zero), _mm_sub_epi16(c255, khi)),
                               _mm_mullo_epi16(_mm_unpackhi_epi8(bv, zero), khi));
    __m128i r = _mm_and_si128(_mm_packus_epi16(_mm_srli_epi16(lo, 8), _mm_srli_epi16(hi, 8)), channels);
    r = select(r, av, _mm_cmpeq_epi32(av, bv));
    r = select(r, bv, _mm_cmpeq_epi32(k, full));
    r = select(r, av, _mm_cmpeq_epi32(k, zero));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d + i * 4), r);
  }
#endif
  MixMaskBody<F32>(d + i * 4, a + i * 4, b + i * 4, m + i, n - i);
}
template <class F>
void MixMask16(uint8_t* d, const uint8_t* a, const uint8_t* b, const uint8_t* m, int32_t n) {
  MixMaskBody<F>(d, a, b, m, n);
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
          {Add16<F15>, Add16<F16>},
          MixMask32,     {MixMask16<F15>, MixMask16<F16>}};
}

}  // namespace
}  // inline namespace ORBA_PIXEL_ISA
}  // namespace orba::pixelops
