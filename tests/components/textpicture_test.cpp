// Pictures in a message window's text come from the picture cache: a picture made here by our
// layered-image writer shows where its image tag stands, through its alpha plane, and the
// cache holds it exactly as long as the text shows it.
#include <gtest/gtest.h>

#include <map>

#include "base/process.h"
#include "base/stream.h"
#include "components/baselist.h"
#include "components/history.h"
#include "components/mes.h"
#include "components/picturecache.h"
#include "components/propaccess.h"
#include "render/trn.h"
#include "support/block_fonts.h"
#include "text/wordlayout.h"

namespace orba {
namespace {

// A picture of w × h pixels of one colour (0x00BBGGRR) whose alpha plane is opaque in the
// columns left of opaqueWidth and clear beyond.
std::vector<uint8_t> HalfClearPicture(int32_t w, int32_t h, int32_t colour, int32_t opaqueWidth) {
  TTarnFrameList list(0);
  TTarnFrame& f = list.AddFrame();
  f.Surface.SetSize(w, h, 24);
  f.Surface.FillRect(f.Surface.BoundsRect(),
                     f.Surface.RGBToPixel(colour & 0xFF, (colour >> 8) & 0xFF, (colour >> 16) & 0xFF));
  f.Surface.CreateAlpha();
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x) f.Surface.Alpha()->ScanLine(y)[x] = x < opaqueWidth ? 255 : 0;
  TKvMemoryStream s;
  list.SaveToStream(s);
  return s.Bytes();
}

struct TextPictures : WithBlockFonts {
  std::map<std::string, std::vector<uint8_t>> files;
  TOrbaBaseList list;
  void SetUp() override {
    WithBlockFonts::SetUp();
    FreePictureCache();
    PictureCache().ScreenDepth = 32;
    PictureCache().Reader = [this](const std::string& name, std::vector<uint8_t>& bytes) {
      auto it = files.find(name);
      if (it == files.end()) return false;
      bytes = it->second;
      return true;
    };
    list.SetSize(40, 20, 32);
    SetComponentRoot(&list);
  }
  void TearDown() override {
    SetComponentRoot(nullptr);
    list.Clear();
    FreePictureCache();
    WithBlockFonts::TearDown();
  }
};

TEST_F(TextPictures, AnImageTagShowsTheCachedPicture) {
  files["p.trn"] = HalfClearPicture(6, 4, 0x00FF00, 3);  // green, its right half clear
  auto& m = static_cast<TOrbaMes&>(*list.CreateByCode(13));
  m.SetParent(&list.Current());
  m.SetName("m");
  m.SetInt(PR_WIDTH, 40);
  m.SetInt(PR_HEIGHT, 20);
  m.SetInt(PR_FONTHEIGHT, 10);
  m.SetInt(PR_DELAY, 0);
  m.SetInt(PR_TEXTDELAY, -1);
  m.SetStr(PR_TEXT, "<IMG SRC=p.trn><IMG SRC=missing.trn>");
  m.SetInt(PR_INDEX, 0);
  m.Tick();
  list.Paint();
  const TDIBSurface& page = static_cast<TDIBX&>(list.Current().Surface()).Image();
  // The picture's opaque part is the only thing drawn: a 3 × 4 block of green whose top left
  // is the image glyph's place; the clear half and the missing picture leave the page black.
  ASSERT_EQ(m.Word.Pages.size(), 1u);
  const auto& row = *m.Word.Pages[0]->Rows[0];
  ASSERT_EQ(row.Glyphs.size(), 1u) << "a missing picture takes no place";
  const int32_t left = row.Glyphs[0]->Left, top = row.Top + row.Glyphs[0]->Top;
  EXPECT_EQ(row.Glyphs[0]->Width, 6);
  EXPECT_EQ(row.Glyphs[0]->Height, 4);
  for (int32_t y = 0; y < 20; ++y)
    for (int32_t x = 0; x < 40; ++x) {
      const bool green = x >= left && x < left + 3 && y >= top && y < top + 4;
      ASSERT_EQ(page.GetPixel(x, y), green ? 0x00FF00u : 0u) << x << "," << y;
    }
  // Held from the cache while shown; idle once the text is gone.
  TTarnItem* item = PictureCache().Find("p.trn");
  ASSERT_NE(item, nullptr);
  EXPECT_EQ(item->Users.size(), 1u);
  m.SetStr(PR_TEXT, "");
  EXPECT_TRUE(item->Users.empty());
  EXPECT_EQ(PictureCache().IdleList().size(), 2u);  // p.trn and the placeholder of missing.trn
}

}  // namespace
}  // namespace orba
