#include "render/wipedefaults.h"

#include <stdexcept>

namespace orba {

TWipeParams& WipeDefaultParams(int kind) {
  static std::array<TWipeParams, kWipeKinds + 1> params{};
  if (kind < 1 || kind > kWipeKinds) throw std::out_of_range("transition kind");
  return params[static_cast<size_t>(kind)];
}

void SetScreenCentredWipe(int32_t screenWidth, int32_t screenHeight) {
  WipeDefaultParams(30) = {screenWidth / 2, screenHeight / 2};
}

}  // namespace orba
