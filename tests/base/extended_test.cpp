#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstring>
#include <limits>

#include "base/extended.h"

namespace orba {
namespace {

using Bytes = std::array<uint8_t, 10>;

Bytes Encode(double d) {
  Bytes b;
  DoubleToExtended(d, b.data());
  return b;
}

double Decode(const Bytes& b) { return ExtendedToDouble(b.data()); }

uint64_t Bits(double d) { return std::bit_cast<uint64_t>(d); }

TEST(Extended, KnownEncodings) {
  struct Case { double value; Bytes bytes; } cases[] = {
      {1.0, {0, 0, 0, 0, 0, 0, 0, 0x80, 0xFF, 0x3F}},
      {-2.0, {0, 0, 0, 0, 0, 0, 0, 0x80, 0x00, 0xC0}},
      {0.5, {0, 0, 0, 0, 0, 0, 0, 0x80, 0xFE, 0x3F}},
      {3.0, {0, 0, 0, 0, 0, 0, 0, 0xC0, 0x00, 0x40}},
      {0.0, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
      {-0.0, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0x80}},
      {std::numeric_limits<double>::infinity(), {0, 0, 0, 0, 0, 0, 0, 0x80, 0xFF, 0x7F}},
      {std::numeric_limits<double>::denorm_min(), {0, 0, 0, 0, 0, 0, 0, 0x80, 0xCD, 0x3B}},  // 2^-1074
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Encode(c.value), c.bytes) << c.value;
    EXPECT_EQ(Bits(Decode(c.bytes)), Bits(c.value)) << c.value;
  }
}

TEST(Extended, EveryKindOfDoubleRoundTrips) {
  const double values[] = {
      1.0 / 3.0, -123456.789, 1e300, -1e-300, std::numeric_limits<double>::max(),
      std::numeric_limits<double>::min(), std::numeric_limits<double>::denorm_min(),
      std::bit_cast<double>(uint64_t{0x000FFFFFFFFFFFFF}),  // largest denormal
      std::bit_cast<double>(uint64_t{0x8000000000000001}),
      -std::numeric_limits<double>::infinity(),
      std::bit_cast<double>(uint64_t{0x7FF8000000000000}),  // quiet NaN
      std::bit_cast<double>(uint64_t{0xFFF0000000000123}),  // signalling NaN with payload
  };
  for (double v : values) EXPECT_EQ(Bits(Decode(Encode(v))), Bits(v)) << std::hex << Bits(v);
  // A walk over exponents and mantissa patterns.
  for (uint64_t e = 0; e < 2048; e += 7)
    for (uint64_t m : {uint64_t{0}, uint64_t{1}, uint64_t{0xFFFFFFFFFFFFF}, uint64_t{0x8000000000001}}) {
      double v = std::bit_cast<double>((e << 52) | m);
      EXPECT_EQ(Bits(Decode(Encode(v))), Bits(v)) << e << " " << m;
    }
}

TEST(Extended, ValuesBeyondDoubleRoundCorrectly) {
  auto make = [](uint64_t mantissa, unsigned exponent) {
    Bytes b;
    for (int i = 0; i < 8; ++i) b[i] = static_cast<uint8_t>(mantissa >> (8 * i));
    b[8] = static_cast<uint8_t>(exponent);
    b[9] = static_cast<uint8_t>(exponent >> 8);
    return b;
  };
  const uint64_t one = uint64_t{1} << 63;
  // 1 + 2^-53 is a tie: rounds to even (1.0); 1 + 3·2^-54 rounds up.
  EXPECT_EQ(Decode(make(one | (uint64_t{1} << 10), 16383)), 1.0);
  EXPECT_EQ(Decode(make(one | (uint64_t{3} << 9), 16383)), 1.0 + std::ldexp(1.0, -52));
  // 1.0·2^1024 overflows; 2^-1075 is a tie with zero (rounds to even, 0); a bit more rounds
  // up to the smallest denormal.
  EXPECT_TRUE(std::isinf(Decode(make(one, 16383 + 1024))));
  EXPECT_EQ(Bits(Decode(make(one, 16383 - 1075))), 0u);
  EXPECT_EQ(Decode(make(one | 1, 16383 - 1075)), std::numeric_limits<double>::denorm_min());
  EXPECT_EQ(Bits(Decode(make(one, 1))), 0u);  // far below: zero
  // An unnormal (integer bit clear) reads by its numeric value: 0x4000.. at exponent 16383 is 0.5.
  EXPECT_EQ(Decode(make(uint64_t{1} << 62, 16383)), 0.5);
  // A NaN whose payload lies below double precision stays a NaN.
  EXPECT_TRUE(std::isnan(Decode(make(one | 1, 0x7FFF))));
}

}  // namespace
}  // namespace orba
