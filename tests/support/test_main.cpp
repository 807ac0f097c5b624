// Shared main of the test executables: runs GoogleTest with the process state reset before
// each test, so no test sees the game clock or stop flag of another.
#include <gtest/gtest.h>

#include "base/process.h"

namespace {
class ResetState : public testing::EmptyTestEventListener {
  void OnTestStart(const testing::TestInfo&) override { orba::ResetProcessState(); }
};
}  // namespace

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  testing::UnitTest::GetInstance()->listeners().Append(new ResetState);
  return RUN_ALL_TESTS();
}
