// Files the headless platform and the picture tools write go through the one writer of whole
// files: PNG frames read back as the pixels presented, and a write never touches a file that
// merely has the writer's old temporary name, nor leaves a temporary behind when it fails.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/headless/headless.h"
#include "render/dibsfc.h"
#include "render/imagefiles.h"
#include "support/temp_dir.h"

namespace orba {
namespace {

namespace fs = std::filesystem;
using testing_support::TempDir;

TEST(HeadlessPng, AFrameReadsBackAsItsPixels) {
  TempDir dir;
  // Three pixels a row in rows of four: the fourth is no part of the frame.
  const uint32_t pixels[8] = {0xFF0000, 0x00FF00, 0x0000FF, 0x123456, 0xFFFFFF, 0x000000, 0x808080, 0xABCDEF};
  ASSERT_TRUE(platform::headless::WritePng(dir / "f.png", {pixels, 3, 2, 4}));
  TDIBSurface read;
  read.LoadImage(dir / "f.png", false);
  ASSERT_EQ(read.Width(), 3);
  ASSERT_EQ(read.Height(), 2);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x) {
      TRGB c = read.PixelToRGB(read.GetPixel(x, y), false);
      EXPECT_EQ(uint32_t{c.Red} << 16 | uint32_t{c.Green} << 8 | c.Blue, pixels[y * 4 + x]) << x << "," << y;
    }
  EXPECT_FALSE(platform::headless::WritePng(dir / "no-such-folder/f.png", {pixels, 3, 2, 4}));
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path), fs::directory_iterator()), 1);
}

TEST(WholeFileWriter, KeepsOtherFilesAndLeavesNoTemporary) {
  TempDir dir;
  std::ofstream(dir / "picture.png.tmp") << "someone's file";
  WriteFileBytes(dir / "picture.png", {1, 2, 3});
  EXPECT_EQ(ReadFileBytes(dir / "picture.png"), (std::vector<uint8_t>{1, 2, 3}));
  EXPECT_EQ(ReadFileBytes(dir / "picture.png.tmp").size(), 14u);
  // A folder where the file should go: the write fails and leaves nothing of its own.
  fs::create_directory(dir / "taken");
  EXPECT_THROW(WriteFileBytes(dir / "taken", {1}), std::exception);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path), fs::directory_iterator()), 3);
}

}  // namespace
}  // namespace orba
