// The forward row loops of the hot formats. Each body is one always-inlined template so that
// the x86-64-v3 clone (AVX2) and the baseline (SSE4.2) are compiled from the same source.
#include "render/pixelops.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__) && defined(__linux__)
#define ORBA_CLONES __attribute__((target_clones("default", "arch=x86-64-v3")))
#else
#define ORBA_CLONES
#endif
#define ORBA_INLINE inline __attribute__((always_inline))

namespace orba::pixelops {

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

ORBA_CLONES void Blend565(uint8_t* d, const uint8_t* s, int32_t n, uint32_t a, bool keyed, uint32_t key) {
  BlendBody<F16>(d, s, n, a, keyed, key);
}
ORBA_CLONES void Blend555(uint8_t* d, const uint8_t* s, int32_t n, uint32_t a, bool keyed, uint32_t key) {
  BlendBody<F15>(d, s, n, a, keyed, key);
}
ORBA_CLONES void Mask565(uint8_t* d, const uint8_t* s, const uint8_t* m, int32_t n) { MaskBody<F16>(d, s, m, n); }
ORBA_CLONES void Mask555(uint8_t* d, const uint8_t* s, const uint8_t* m, int32_t n) { MaskBody<F15>(d, s, m, n); }
ORBA_CLONES void Add565(uint8_t* d, const uint8_t* s, int32_t n, uint32_t amount, bool keyed, uint32_t key) {
  AddBody<F16>(d, s, n, amount, keyed, key);
}
ORBA_CLONES void Add555(uint8_t* d, const uint8_t* s, int32_t n, uint32_t amount, bool keyed, uint32_t key) {
  AddBody<F15>(d, s, n, amount, keyed, key);
}

}  // namespace

ORBA_CLONES void BlendRow32(uint8_t* d, const uint8_t* s, int32_t n, uint32_t a, bool keyed, uint32_t key) {
  BlendBody<F32>(d, s, n, a, keyed, key);
}
ORBA_CLONES void MaskRow32(uint8_t* d, const uint8_t* s, const uint8_t* m, int32_t n) { MaskBody<F32>(d, s, m, n); }
ORBA_CLONES void BlendMaskRow32(uint8_t* d, const uint8_t* s, const uint8_t* m, int32_t n, uint32_t a) {
  BlendMaskBody<F32>(d, s, m, n, a);
}
ORBA_CLONES void AddRow32(uint8_t* d, const uint8_t* s, int32_t n, uint32_t amount, bool keyed, uint32_t key) {
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

template <>
void BlendRow16<F16>(uint8_t* d, const uint8_t* s, int32_t n, uint32_t a, bool keyed, uint32_t key) {
  Blend565(d, s, n, a, keyed, key);
}
template <>
void BlendRow16<F15>(uint8_t* d, const uint8_t* s, int32_t n, uint32_t a, bool keyed, uint32_t key) {
  Blend555(d, s, n, a, keyed, key);
}
template <>
void MaskRow16<F16>(uint8_t* d, const uint8_t* s, const uint8_t* m, int32_t n) { Mask565(d, s, m, n); }
template <>
void MaskRow16<F15>(uint8_t* d, const uint8_t* s, const uint8_t* m, int32_t n) { Mask555(d, s, m, n); }
template <>
void AddRow16<F16>(uint8_t* d, const uint8_t* s, int32_t n, uint32_t amount, bool keyed, uint32_t key) {
  Add565(d, s, n, amount, keyed, key);
}
template <>
void AddRow16<F15>(uint8_t* d, const uint8_t* s, int32_t n, uint32_t amount, bool keyed, uint32_t key) {
  Add555(d, s, n, amount, keyed, key);
}

}  // namespace orba::pixelops
