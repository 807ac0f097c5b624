// The packer is how authors make and check archives: what it writes must open in the player,
// and a run that could not write everything must say so and leave nothing behind.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "support/temp_dir.h"
#include "base/error.h"
#include "files/vrfiles.h"

namespace orba {
namespace {

using testing_support::TempDir;
namespace fs = std::filesystem;

const std::string kTool = std::string(ORBA_BINARY_DIR) + "/orbapack";

struct TRun {
  int status;
  std::string output;
};

// Runs a shell command line (the tool's path is in $P) and collects its output.
TRun Shell(const std::string& command) {
  std::string line = "P='" + kTool + "'; " + command + " 2>&1";
  FILE* p = popen(line.c_str(), "r");
  std::string out;
  char buf[256];
  while (p && fgets(buf, sizeof buf, p)) out += buf;
  int status = p ? pclose(p) : -1;
  return {status, out};
}

void WriteFile(const std::string& path, const std::string& bytes) {
  fs::create_directories(fs::path(path).parent_path());
  std::ofstream(path, std::ios::binary) << bytes;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

class Packer : public testing::Test {
 protected:
  void SetUp() override {
    if (!fs::exists(kTool)) GTEST_SKIP() << "orbapack is not built";
  }
};

TEST_F(Packer, ExtractsEveryEntryEmptyOnesToo) {
  TempDir dir;
  WriteFile(dir / "src/a.txt", "alpha");
  WriteFile(dir / "src/sub/empty.txt", "");
  WriteFile(dir / "src/a.001", "not a volume of a.txt");
  ASSERT_EQ(Shell("$P pack " + dir / "src" + " -o " + dir / "game.dat").status, 0);
  TRun x = Shell("$P x " + dir / "game.dat" + " " + dir / "out");
  ASSERT_EQ(x.status, 0) << x.output;
  EXPECT_EQ(ReadFile(dir / "out/a.txt"), "alpha");
  EXPECT_EQ(ReadFile(dir / "out/a.001"), "not a volume of a.txt");
  EXPECT_TRUE(fs::is_regular_file(dir / "out/sub/empty.txt"));
}

TEST_F(Packer, AppendsToAnExecutableWhateverStandsBesideIt) {
  TempDir dir;
  WriteFile(dir / "src/orba.rpb", "project");
  WriteFile(dir / "game.exe", std::string(1000, 'M'));
  WriteFile(dir / "game.001", "volume 1 of game.dat");
  TRun pack = Shell("$P pack " + dir / "src" + " --append-to " + dir / "game.exe");
  ASSERT_EQ(pack.status, 0) << pack.output;
  EXPECT_EQ(ReadFile(dir / "game.001"), "volume 1 of game.dat");
  TVrFileCollection c;
  c.OpenArchiveFile(dir / "game.exe");
  ASSERT_EQ(c.EntryCount(), 1);
  EXPECT_GT(c.Entry(0)->Offset, 1000);
  TKvMemoryStream out;
  c.ReadEntry("orba.rpb", out);
  EXPECT_EQ(std::string(out.Bytes().begin(), out.Bytes().end()), "project");
}

// A full disk, as a file size limit: every write past 64 KiB fails. The run must fail and
// leave no archive behind; the same folder packs once there is room.
TEST_F(Packer, FullDiskFailsAndLeavesNoArchive) {
  TempDir dir;
  std::string noise;
  for (uint32_t x = 1; noise.size() < 100000; x = x * 1664525 + 1013904223) noise.push_back(static_cast<char>(x >> 24));
  WriteFile(dir / "src/a.wav", noise);
  WriteFile(dir / "src/b.wav", noise);
  WriteFile(dir / "src/c.txt", std::string(1000, 'c'));
  const std::string limited = "trap '' XFSZ; ulimit -f 64; exec $P pack " + dir / "src";
  TRun full = Shell("bash -c \"" + limited + " -o " + dir / "game.dat" + "\"");
  EXPECT_NE(full.status, 0) << full.output;
  EXPECT_FALSE(fs::exists(dir / "game.dat"));

  WriteFile(dir / "player.exe", std::string(1000, 'M'));
  TRun append = Shell("bash -c \"" + limited + " --append-to " + dir / "player.exe" + "\"");
  EXPECT_NE(append.status, 0) << append.output;
  EXPECT_EQ(ReadFile(dir / "player.exe"), std::string(1000, 'M'));

  ASSERT_EQ(Shell("$P pack " + dir / "src" + " -o " + dir / "game.dat").status, 0);
  TVrFileCollection c;
  c.OpenArchiveFile(dir / "game.dat");
  TKvMemoryStream out;
  c.ReadEntry("b.wav", out);
  EXPECT_EQ(std::string(out.Bytes().begin(), out.Bytes().end()), noise);
}

}  // namespace
}  // namespace orba
