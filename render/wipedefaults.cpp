#include "render/wipedefaults.h"

#include <stdexcept>

namespace orba {

TWipeParams& WipeDefaultParams(int kind) {
  // Index 0 is unused; kinds 1..38 in order.
  static std::array<TWipeParams, kWipeKinds + 1> params{{
      {0, 0},                                                    //
      {0, 0},   {20, 1},  {20, 1},  {30, 1},  {30, 1},           // 1..5 fade, blinds, curtains
      {0, 0},   {0, 0},   {80, 30}, {80, 30}, {80, 30},          // 6..10 scrolls, grids
      {0, 0},   {0, 0},   {0, 0},   {0, 0},   {0, 0},            // 11..15 dissolve, white, black, flash, mosaic
      {0, 0},   {0, 0},   {0, 0},   {0, 0},   {0, 0},            // 16..20
      {0, 0},   {0, 0},   {0, 0},   {5, 0},   {0, 0},            // 21..25 ... ripple
      {0, 0},   {0, 0},   {0, 0},   {64, 3},  {0, 0},            // 26..30 ... crack, zoom-in
      {0, 0},   {0, 0},   {0, 0},   {0, 0},   {0, 0},            // 31..35
      {0, 0},   {60, 0},  {60, 0},                               // 36..38 circle, blocks
  }};
  if (kind < 1 || kind > kWipeKinds) throw std::out_of_range("transition kind");
  return params[static_cast<size_t>(kind)];
}

void SetScreenCentredWipe(int32_t screenWidth, int32_t screenHeight) {
  WipeDefaultParams(30) = {screenWidth / 2, screenHeight / 2};
}

}  // namespace orba
