// The default parameters a new transition is given, by transition kind. Most are fixed; the
// point of the zoom-into-a-point kind (30) is the screen's, so the project sets it once the
// screen size is known, and every transition of that kind made later starts from there.
#pragma once

#include <array>
#include <cstdint>

namespace orba {

constexpr int kWipeKinds = 38;  // kinds 1..38

using TWipeParams = std::array<int32_t, 2>;

// The two default parameters of a transition kind (1..38), as a new transition of that kind
// gets them.
TWipeParams& WipeDefaultParams(int kind);

// Kind 30 starts from the centre of the screen.
void SetScreenCentredWipe(int32_t screenWidth, int32_t screenHeight);

}  // namespace orba
