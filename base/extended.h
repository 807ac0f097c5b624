// The 10-byte extended float of stored files (x87 layout: 64-bit mantissa with an explicit
// integer bit, 15-bit biased exponent, sign). Converted by our own code rather than through
// `long double`, which is not 80 bits everywhere. Every double survives the round trip
// exactly: ±0, denormals, infinities and NaN payloads included.
#pragma once

#include <cstdint>

namespace orba {

constexpr int kExtendedSize = 10;

void DoubleToExtended(double value, uint8_t out[kExtendedSize]);

// Rounds to the nearest double, halves to even; too large gives ±infinity, too small ±0.
// Encodings the x87 itself would reject are read by their plain numeric meaning: an
// "unnormal" (integer bit clear, exponent non-zero) is mantissa × 2^(exponent − 16446), and
// exponent 0x7FFF is infinity when the 63 fraction bits are zero and NaN otherwise.
double ExtendedToDouble(const uint8_t in[kExtendedSize]);

}  // namespace orba
