// Arbitrary bytes as a PNG or JPEG picture, by their first bytes: the readers may raise the
// player's read errors, never crash, read out of bounds or take memory beyond what the
// picture may claim.
#include <cstddef>
#include <cstdint>
#include <span>

#include "base/error.h"
#include "render/imagefiles.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::span<const uint8_t> bytes(data, size);
  orba::TDIBSurface surface;
  try {
    if (size > 0 && data[0] == 0x89) orba::LoadPng(bytes, surface, true);
    else orba::LoadJpeg(bytes, surface);
  } catch (const orba::EOrbaError&) {
  }
  return 0;
}
