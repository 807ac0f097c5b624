// Feeds arbitrary bytes to the icon and cursor reader (with a transparent colour request): it may raise the player's read errors, never
// crash, read out of bounds or take memory the data cannot back.
#include <cstddef>
#include <cstdint>
#include <span>

#include "base/error.h"
#include "render/imagefiles.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::span<const uint8_t> bytes(data, size);
  orba::TDIBSurface surface;
  try {
    orba::LoadIcon(bytes, surface, 0x00FF00);
  } catch (const orba::EOrbaError&) {
  }
  return 0;
}
