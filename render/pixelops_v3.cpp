// The forward rows built for x86-64-v3 (AVX2, BMI2, FMA): the build gives this file alone that
// level, and the table in pixelops.cpp selects it only on a processor that has it.
#if defined(__x86_64__) && defined(__AVX2__)
#define ORBA_PIXEL_ISA isa_v3
#include "render/pixelrows.h"

namespace orba::pixelops {

const TPixelRows* V3Rows() {
  static const TPixelRows rows = MakeRows("x86-64-v3");
  return &rows;
}

}  // namespace orba::pixelops
#else
#include "render/pixelops.h"

namespace orba::pixelops {

const TPixelRows* V3Rows() { return nullptr; }

}  // namespace orba::pixelops
#endif
