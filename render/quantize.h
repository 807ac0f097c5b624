// Colour reduction behind TDIBSurface::ReduceColors: a median-cut palette for 1, 4 and 8 bits
// and plain packing for 15, 16, 24 and 32 bits, each with optional Floyd-Steinberg error
// diffusion.
#pragma once

#include <cstdint>
#include <vector>

#include "render/dibsfc.h"

namespace orba {

// Builds a palette of at most colourCount entries and returns one index per pixel.
std::vector<uint8_t> QuantizeToPalette(const std::vector<TRGB>& pixels, int32_t width, int32_t height,
                                       int32_t colourCount, bool dither, TPalette& palette);
// Packs every pixel into format 15, 16, 24 or 32.
std::vector<uint32_t> QuantizeToDirect(const std::vector<TRGB>& pixels, int32_t width, int32_t height,
                                       int32_t format, bool dither);

}  // namespace orba
