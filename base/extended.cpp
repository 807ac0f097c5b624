#include "base/extended.h"

#include <bit>
#include <cstring>

namespace orba {

namespace {

constexpr uint64_t kIntegerBit = uint64_t{1} << 63;
constexpr uint64_t kFraction52 = (uint64_t{1} << 52) - 1;

void Store(uint8_t out[kExtendedSize], uint64_t mantissa, unsigned exponent, bool negative) {
  for (int i = 0; i < 8; ++i) out[i] = static_cast<uint8_t>(mantissa >> (8 * i));
  unsigned top = (exponent & 0x7FFF) | (negative ? 0x8000u : 0u);
  out[8] = static_cast<uint8_t>(top);
  out[9] = static_cast<uint8_t>(top >> 8);
}

double FromBits(uint64_t bits) { return std::bit_cast<double>(bits); }

}  // namespace

void DoubleToExtended(double value, uint8_t out[kExtendedSize]) {
  uint64_t bits = std::bit_cast<uint64_t>(value);
  bool negative = (bits >> 63) != 0;
  unsigned exponent = static_cast<unsigned>((bits >> 52) & 0x7FF);
  uint64_t fraction = bits & kFraction52;

  if (exponent == 0x7FF) {  // infinity (fraction 0) or NaN with its payload kept
    Store(out, kIntegerBit | (fraction << 11), 0x7FFF, negative);
  } else if (exponent == 0) {
    if (fraction == 0) {
      Store(out, 0, 0, negative);
    } else {  // a double denormal is a normal extended number
      int lz = std::countl_zero(fraction);
      Store(out, fraction << lz, static_cast<unsigned>(16383 + 63 - 1074 - lz), negative);
    }
  } else {
    Store(out, kIntegerBit | (fraction << 11), exponent - 1023 + 16383, negative);
  }
}

double ExtendedToDouble(const uint8_t in[kExtendedSize]) {
  uint64_t mantissa = 0;
  for (int i = 7; i >= 0; --i) mantissa = (mantissa << 8) | in[i];
  unsigned top = in[8] | (unsigned{in[9]} << 8);
  bool negative = (top & 0x8000) != 0;
  int exponent = static_cast<int>(top & 0x7FFF);
  uint64_t sign = negative ? kIntegerBit : 0;

  if (exponent == 0x7FFF) {
    if ((mantissa & ~kIntegerBit) == 0) return FromBits(sign | (uint64_t{0x7FF} << 52));
    uint64_t payload = (mantissa >> 11) & kFraction52;
    if (payload == 0) payload = uint64_t{1} << 51;  // payload lost below double precision: quiet NaN
    return FromBits(sign | (uint64_t{0x7FF} << 52) | payload);
  }
  if (mantissa == 0) return FromBits(sign);

  // value = mantissa × 2^power; an extended denormal (exponent 0) has the weight of exponent 1.
  int power = (exponent == 0 ? 1 : exponent) - 16383 - 63;
  int lz = std::countl_zero(mantissa);
  mantissa <<= lz;
  power -= lz;
  int lead = power + 63;  // unbiased exponent of the leading bit
  if (lead > 1023) return FromBits(sign | (uint64_t{0x7FF} << 52));

  int shift = lead >= -1022 ? 11 : 11 + (-1022 - lead);
  if (shift > 64) return FromBits(sign);
  uint64_t q, rem, half;
  if (shift == 64) {
    q = 0;
    rem = mantissa;
    half = kIntegerBit;
  } else {
    q = mantissa >> shift;
    rem = mantissa & ((uint64_t{1} << shift) - 1);
    half = uint64_t{1} << (shift - 1);
  }
  if (rem > half || (rem == half && (q & 1))) ++q;

  if (lead >= -1022) {
    if (q == (uint64_t{1} << 53)) {
      q >>= 1;
      ++lead;
      if (lead > 1023) return FromBits(sign | (uint64_t{0x7FF} << 52));
    }
    return FromBits(sign | (static_cast<uint64_t>(lead + 1023) << 52) | (q & kFraction52));
  }
  // Denormal result; a carry into bit 52 lands exactly on the smallest normal number.
  return FromBits(sign | q);
}

void ToExtendedBytes(TExtended value, uint8_t out[kExtendedSize]) {
  if constexpr (kNativeExtended) {
    // The value's first 10 bytes are the x87 number (the rest is padding).
    uint8_t bytes[sizeof(TExtended)] = {};
    std::memcpy(bytes, &value, sizeof value);
    std::memcpy(out, bytes, kExtendedSize);
  } else {
    DoubleToExtended(static_cast<double>(value), out);
  }
}

TExtended FromExtendedBytes(const uint8_t in[kExtendedSize]) {
  if constexpr (kNativeExtended) {
    uint8_t bytes[sizeof(TExtended)] = {};
    std::memcpy(bytes, in, kExtendedSize);
    TExtended value;
    std::memcpy(&value, bytes, sizeof value);
    return value;
  } else {
    return ExtendedToDouble(in);
  }
}

}  // namespace orba
