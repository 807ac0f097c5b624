#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/error.h"
#include "base/stream.h"
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

// Only temporaries this writer names for the file, as regular files left for a while, are
// removed, and none while a replacing write is in progress (its own temporary is one).
TEST(WriteFileReplacing, StaleTemporariesOfKilledWritersAreRemovedAndNothingElse) {
  testing_support::TempDir dir;
  const fs::path path = dir / "save.dat";
  const auto old = fs::file_time_type::clock::now() - std::chrono::hours(1);
  auto put = [&](const std::string& name, bool stale) {
    std::ofstream(dir / name) << "x";
    if (stale) fs::last_write_time(dir / name, old);
  };
  const std::vector<std::string> removed = {"save.dat.0badf00d.tmp", "save.dat.12345678.tmp"};
  for (const auto& name : removed) put(name, true);
  const std::vector<std::string> kept = {
      "save.dat",              "save.dat.tmp",          "save.dat.1234567.tmp", "save.dat.123456789.tmp",
      "save.dat.0BADF00D.tmp", "save.dat.0badf00g.tmp", "save.dat.0badf00d.bak", "xsave.dat.0badf00d.tmp",
      "load.dat.0badf00d.tmp", "save.dat.damaged-20260101-000000"};
  for (const auto& name : kept) put(name, true);
  put("save.dat.fedcba98.tmp", false);  // a writer of another process may still be busy with it
  fs::create_directory(dir / "save.dat.aaaaaaaa.tmp");
  fs::last_write_time(dir / "save.dat.aaaaaaaa.tmp", old);

  // From inside a write nothing is touched, not even what is stale.
  int duringWrite = -1;
  WriteFileReplacing(path, [&](TKvBigStream& out) {
    duringWrite = RemoveStaleTemporaries(path);
    out.Write("new", 3);
  });
  EXPECT_EQ(duringWrite, 0);
  for (const auto& name : removed) EXPECT_TRUE(fs::exists(dir / name)) << name;

  EXPECT_EQ(RemoveStaleTemporaries(path), 2);
  for (const auto& name : removed) EXPECT_FALSE(fs::exists(dir / name)) << name;
  for (const auto& name : kept) EXPECT_TRUE(fs::exists(dir / name)) << name;
  EXPECT_TRUE(fs::exists(dir / "save.dat.fedcba98.tmp"));
  EXPECT_TRUE(fs::is_directory(dir / "save.dat.aaaaaaaa.tmp"));
  EXPECT_EQ(ReadAll(path), "new");
}

// An exception from the writer leaves the old file and no temporary.
TEST(WriteFileReplacing, AWriterThatThrowsKeepsTheOldFile) {
  testing_support::TempDir dir;
  const fs::path path = dir / "save.dat";
  WriteFileReplacing(path, Bytes("old"));
  EXPECT_THROW(WriteFileReplacing(path,
                                  [](TKvBigStream& out) {
                                    out.Write("half", 4);
                                    throw std::runtime_error("broken");
                                  }),
               std::runtime_error);
  EXPECT_EQ(ReadAll(path), "old");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path), fs::directory_iterator()), 1);
}

}  // namespace
}  // namespace orba
