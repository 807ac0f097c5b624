// Reads arbitrary bytes as the choices of an operation list (tests/support/random_ops.h),
// runs it with and without the evaluator's short paths, and stops when the two differ in
// any variable, the result or the error.
#include <cstddef>
#include <cstdint>

#include "tests/support/random_ops.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace orba;
  using namespace orba::testing_support;
  TChoices choices(std::span<const uint8_t>(data, size));
  auto [fast, plain] = ShortPathDifference(RandomOpList(choices, 24));
  if (fast != plain) __builtin_trap();
  return 0;
}
