#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>

#include "support/project_fixture.h"
#include "support/temp_dir.h"

namespace orba {
namespace {

namespace fs = std::filesystem;

std::vector<char> Read(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The project the command-line tests run is committed; it must stay what our writer makes.
// ORBA_WRITE_FIXTURES=1 writes it again.
TEST(Fixtures, WaitProjectIsWhatTheWriterMakes) {
  fs::path committed = fs::path(ORBA_SOURCE_DIR) / "tests/fixtures/wait-project";
  if (std::getenv("ORBA_WRITE_FIXTURES")) testing_support::WriteWaitProject(committed);
  testing_support::TempDir dir;
  testing_support::WriteWaitProject(dir.path);
  for (const char* name : {"orba.rpb", "start.rsb"})
    EXPECT_EQ(Read(dir.path / name), Read(committed / name)) << name;
}

}  // namespace
}  // namespace orba
