// The baseline rows, and the choice of the variant in use: the widest one this processor runs.
#include "render/pixelrows.h"

namespace orba::pixelops {

namespace {

const TPixelRows kBaseline = MakeRows("x86-64");

const TPixelRows*& Current() {
  static const TPixelRows* rows = WideRows() ? WideRows() : &kBaseline;
  return rows;
}

}  // namespace

// Built in pixelops_v3.cpp; null when this build has no such variant.
const TPixelRows* V3Rows();

const TPixelRows& BaselineRows() { return kBaseline; }

const TPixelRows* WideRows() {
#if defined(__x86_64__) && defined(__GNUC__)
  __builtin_cpu_init();
  bool v3 = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi") && __builtin_cpu_supports("bmi2") &&
            __builtin_cpu_supports("fma");
  return v3 ? V3Rows() : nullptr;
#else
  return nullptr;
#endif
}

const TPixelRows& PixelRows() { return *Current(); }

void UsePixelRows(const TPixelRows& rows) { Current() = &rows; }

}  // namespace orba::pixelops
