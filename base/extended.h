// The 10-byte extended float of stored files (x87 layout: 64-bit mantissa with an explicit
// integer bit, 15-bit biased exponent, sign). Converted by our own code rather than through
// `long double`, which is not 80 bits everywhere. Every double survives the round trip
// exactly: ±0, denormals, infinities and NaN payloads included.
#pragma once

#include <cfloat>
#include <cstdint>

namespace orba {

constexpr int kExtendedSize = 10;

// The float of script values and their arithmetic. Where `long double` is the x87 format
// itself (x86-64 Linux) it is used, and stored values are copied in and out as their 10
// bytes; elsewhere it is a double, converted by the codec below.
#if LDBL_MANT_DIG == 64 && LDBL_MAX_EXP == 16384
using TExtended = long double;
constexpr bool kNativeExtended = true;
#else
using TExtended = double;
constexpr bool kNativeExtended = false;
#endif

void ToExtendedBytes(TExtended value, uint8_t out[kExtendedSize]);
TExtended FromExtendedBytes(const uint8_t in[kExtendedSize]);

void DoubleToExtended(double value, uint8_t out[kExtendedSize]);

// Rounds to the nearest double, halves to even; too large gives ±infinity, too small ±0.
// Encodings the x87 itself would reject are read by their plain numeric meaning: an
// "unnormal" (integer bit clear, exponent non-zero) is mantissa × 2^(exponent − 16446), and
// exponent 0x7FFF is infinity when the 63 fraction bits are zero and NaN otherwise.
double ExtendedToDouble(const uint8_t in[kExtendedSize]);

}  // namespace orba
