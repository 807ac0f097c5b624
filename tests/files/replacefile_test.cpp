#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "base/error.h"
#include "files/replacefile.h"
#include "support/temp_dir.h"

namespace orba {
namespace {

namespace fs = std::filesystem;

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::span<const uint8_t> Bytes(const std::string& s) { return {reinterpret_cast<const uint8_t*>(s.data()), s.size()}; }

int g_syncs = 0;
bool g_syncResult = true;
bool CountingSync(std::FILE*) {
  ++g_syncs;
  return g_syncResult;
}

// The file is replaced whole after the platform's sync; a sync that fails leaves the old
// file and no temporary behind.
TEST(WriteFileReplacing, SyncsBeforeReplacingAndKeepsTheOldFileOnFailure) {
  testing_support::TempDir dir;
  const fs::path path = dir / "save.dat";
  SetFileSync(CountingSync);
  g_syncs = 0;
  g_syncResult = true;
  WriteFileReplacing(path, Bytes("first"));
  WriteFileReplacing(path, Bytes("second"));
  EXPECT_EQ(ReadAll(path), "second");
  EXPECT_EQ(g_syncs, 2);

  g_syncResult = false;
  EXPECT_THROW(WriteFileReplacing(path, Bytes("third")), EOrbaError);
  SetFileSync(nullptr);
  EXPECT_EQ(ReadAll(path), "second");
  int files = 0;
  for (const auto& e : fs::directory_iterator(dir.path)) files += e.is_regular_file();
  EXPECT_EQ(files, 1);
}

}  // namespace
}  // namespace orba
