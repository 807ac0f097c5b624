// The picture components and the picture cache: the cache's keys, sharing and eviction order,
// the alpha convention at every page depth, turned and masked hit tests, animation timing, the
// button group's state machine and saved trees at both sides of every gate. Pictures are made
// here by our layered-image writer; expected pixels are worked out from the colours.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <set>
#include <tuple>

#include "base/cp932.h"
#include "base/error.h"
#include "base/process.h"
#include "base/stream.h"
#include "components/baselist.h"
#include "components/box.h"
#include "components/image.h"
#include "components/imagemap.h"
#include "render/trn.h"
#include "shell/core_subsystems.h"
#include "support/fuzz_seeds.h"
#include "values/paramcollection.h"

namespace orba {
namespace {

struct TFrameDesc {
  int32_t W = 4, H = 4;
  int32_t Colour = 0x000000;  // 0x00BBGGRR
  int32_t Delay = 100;
  // Alpha plane by pixel (none when empty).
  std::function<uint8_t(int, int)> Plane = nullptr;
  int32_t Key = -1;  // transparent colour, -1 none
};

std::vector<uint8_t> Trn(const std::vector<TFrameDesc>& frames) {
  TTarnFrameList list(0);
  for (const TFrameDesc& desc : frames) {
    TTarnFrame& f = list.AddFrame();
    f.Surface.SetSize(desc.W, desc.H, 24);
    const uint32_t px = f.Surface.RGBToPixel(desc.Colour & 0xFF, (desc.Colour >> 8) & 0xFF, (desc.Colour >> 16) & 0xFF);
    f.Surface.FillRect(f.Surface.BoundsRect(), px);
    f.Delay = desc.Delay;
    if (desc.Key >= 0) {
      f.TransparentColor = desc.Key;
      f.TransparentValue = static_cast<int32_t>(f.Surface.RGBToPixel(desc.Key & 0xFF, (desc.Key >> 8) & 0xFF, (desc.Key >> 16) & 0xFF));
    }
    if (desc.Plane) {
      f.Surface.CreateAlpha();
      for (int y = 0; y < desc.H; ++y)
        for (int x = 0; x < desc.W; ++x) f.Surface.Alpha()->ScanLine(y)[x] = desc.Plane(x, y);
    }
  }
  TKvMemoryStream s;
  list.SaveToStream(s);
  return s.Bytes();
}

// A queued event: its code and parameters.
struct TSeenEvent {
  int32_t Code;
  std::vector<std::string> Params;
  friend bool operator==(const TSeenEvent&, const TSeenEvent&) = default;
};

std::ostream& operator<<(std::ostream& os, const TSeenEvent& e) {
  os << e.Code;
  for (const std::string& p : e.Params) os << "," << p;
  return os;
}

// The project's files for the cache, by lower-case name.
struct Pictures : ::testing::Test {
  std::map<std::string, std::vector<uint8_t>> files;
  int reads = 0;
  void SetUp() override {
    FreePictureCache();
    ResetProcessState();
    PictureCache().ScreenDepth = 32;
    PictureCache().Reader = [this](const std::string& name, std::vector<uint8_t>& bytes) {
      auto it = files.find(LowerCase(name));
      if (it == files.end()) return false;
      ++reads;
      bytes = it->second;
      return true;
    };
  }
  void TearDown() override { FreePictureCache(); }
  void Add(const std::string& name, std::vector<TFrameDesc> frames) { files[LowerCase(name)] = Trn(frames); }
};

// ---- the cache ----

// "@CGDither" is the cache's flag: switching it decodes the pictures again (a 16-bit page gets
// the grey 0x868686, which 5-6-5 cannot hold, spread over several pixel values instead of one), leaves a
// keyed picture without a plane as it was, and repaints both pages.
TEST_F(Pictures, TheDitherVariableDecodesThePicturesAgain) {
  PictureCache().ScreenDepth = 16;
  Add("grey.trn", {{8, 8, 0x868686}});
  Add("keyed.trn", {{8, 8, 0x868686, 100, nullptr, 0x00FF00}});
  int u = 0;
  TTarnItem& grey = PictureCache().Acquire(&u, "grey.trn", false, false);
  TTarnItem& keyed = PictureCache().Acquire(&u, "keyed.trn", false, false);
  auto values = [](const TTarnItem& item) {
    std::set<uint32_t> seen;
    for (int y = 0; y < 8; ++y)
      for (int x = 0; x < 8; ++x) seen.insert(item.Frames[0]->Pixels.GetPixel(x, y));
    return seen;
  };
  ASSERT_EQ(values(grey).size(), 1u);
  const std::set<uint32_t> keyedBefore = values(keyed);
  TOrbaBaseList list;
  list.SetSize(64, 32, 16);
  list.Base(0).Dirty().Clear();
  list.Base(1).Dirty().Clear();
  SetComponentRoot(&list);
  TPlayerSystemSource source;
  TParamCollection vars(&source);
  vars.FindVariable("@CGDither")->SetString("TRUE");
  SetComponentRoot(nullptr);
  EXPECT_TRUE(PictureCache().Dither());
  EXPECT_EQ(vars.FindVariable("@CGDither")->AsString(), "TRUE");
  EXPECT_GT(values(grey).size(), 1u);
  EXPECT_EQ(values(keyed), keyedBefore);
  for (int page : {0, 1}) {
    ASSERT_EQ(list.Base(page).Dirty().Count(), 1) << page;
    EXPECT_EQ(list.Base(page).Dirty()[0], (TRect{0, 0, 64, 32})) << page;
  }
  vars.FindVariable("@CGDither")->SetString("FALSE");
  EXPECT_EQ(values(grey).size(), 1u);
}

TEST_F(Pictures, CacheKeysShareItemsAndEvictTheOldestIdleFirst) {
  EXPECT_EQ(TTarnCollection::KeyOf("bg.trn", true, true), "bg.trn?m?t");
  EXPECT_EQ(TTarnCollection::KeyOf("bg.trn", false, true), "bg.trn?m");
  PictureCache().ScreenDepth = 32;
  // 4 bytes a pixel: a = 4,000,000, b = c = 1,440,000 bytes; a + b fits the 5,760,000 budget,
  // a + b + c does not.
  Add("a.trn", {{1000, 1000}});
  Add("b.trn", {{600, 600}});
  Add("c.trn", {{600, 600}});
  TTarnCollection& cache = PictureCache();
  int u1 = 0, u2 = 0;
  TTarnItem& a = cache.Acquire(&u1, "a.trn", false, false);
  EXPECT_EQ(&cache.Acquire(&u2, "A.TRN", false, false), &a);  // case-insensitive, one decode
  EXPECT_EQ(reads, 1);
  EXPECT_EQ(a.Memory(), 4'000'000);
  cache.Release(a, &u1);
  EXPECT_TRUE(cache.IdleList().empty());  // still used
  cache.Release(a, &u2);
  TTarnItem& b = cache.Acquire(&u1, "b.trn", false, false);
  cache.Release(b, &u1);
  EXPECT_EQ(cache.IdleMemory(), 5'440'000);
  ASSERT_EQ(cache.IdleList().size(), 2u);
  TTarnItem& c = cache.Acquire(&u1, "c.trn", false, false);
  cache.Release(c, &u1);
  EXPECT_EQ(cache.Find("a.trn"), nullptr);  // the oldest went
  EXPECT_NE(cache.Find("b.trn"), nullptr);
  EXPECT_NE(cache.Find("c.trn"), nullptr);
  // Taken again from idle: no decode, off the idle list.
  reads = 0;
  cache.Acquire(&u1, "b.trn", false, false);
  EXPECT_EQ(reads, 0);
  EXPECT_EQ(cache.IdleList().size(), 1u);

  // The last idle item stays however large.
  Add("huge.trn", {{1300, 1200}});
  FreePictureCache();
  SetUp();
  TTarnItem& huge = PictureCache().Acquire(&u1, "huge.trn", false, false);
  PictureCache().Release(huge, &u1);
  EXPECT_NE(PictureCache().Find("huge.trn"), nullptr);
}

TEST_F(Pictures, PurgeFreesEveryIdleVariantAndAMissingFileIsTheBlackPlaceholder) {
  Add("bg.trn", {{8, 8, 0x00FF00, 0}});
  TTarnCollection& cache = PictureCache();
  int u = 0, keep = 0;
  for (bool mask : {false, true})
    for (bool trimmed : {false, true}) cache.Release(cache.Acquire(&u, "bg.trn", trimmed, mask), &u);
  TTarnItem& held = cache.Acquire(&keep, "bg.trn", false, true);
  EXPECT_EQ(cache.Count(), 4);
  EXPECT_EQ(held.Frames[0]->Delay, 1);  // a delay of 0 counts as 1 ms
  ASSERT_NE(held.Frames[0]->AlphaPlane, nullptr);  // the mask variant carries a plane
  cache.Purge("bg.trn");
  EXPECT_EQ(cache.Count(), 1);  // the held one stays
  TTarnItem& missing = cache.Acquire(&u, "none.trn", false, false);
  ASSERT_EQ(missing.Frames.size(), 1u);
  EXPECT_TRUE(missing.Placeholder);
  EXPECT_EQ(missing.Width, 8);
  EXPECT_EQ(missing.Height, 8);
  EXPECT_EQ(missing.Frames[0]->Surface.GetPixel(3, 3), 0u);
}

// ---- drawing ----

struct TRgb {
  int R, G, B;
};
TRgb RgbOf(int32_t bgr) { return {bgr & 0xFF, (bgr >> 8) & 0xFF, (bgr >> 16) & 0xFF}; }

// A colour the page shows at a point (0x00BBGGRR).
struct TSeenColour {
  int X, Y;
  int32_t Colour;
};

// Paints the page and compares each point's colour, exactly at 32 bits and within one step of
// 5 or 6 bits at 16.
void ExpectColours(TOrbaBaseList& list, int bits, std::initializer_list<TSeenColour> points) {
  list.Paint();
  TDIBSurface& page = static_cast<TDIBX&>(list.Current().Surface()).Image();
  ASSERT_EQ(page.PixelFormat(), bits);
  const int step = bits == 32 ? 0 : 8;
  for (const TSeenColour& p : points) {
    const TRGB got = page.PixelToRGB(page.GetPixel(p.X, p.Y), true);
    const TRgb w = RgbOf(p.Colour);
    EXPECT_NEAR(got.Red, w.R, step) << bits << " bits at " << p.X << "," << p.Y;
    EXPECT_NEAR(got.Green, w.G, step) << bits << " bits at " << p.X << "," << p.Y;
    EXPECT_NEAR(got.Blue, w.B, step) << bits << " bits at " << p.X << "," << p.Y;
  }
}

// A display change as the player makes it: every surface released, the pages and the cache
// at the new depth, the pictures decoded again, the surfaces made again.
void ChangeDepth(TOrbaBaseList& list, int bits) {
  for (int page : {0, 1}) list.Base(page).ReleaseSurfaces();
  PictureCache().ScreenDepth = bits;
  list.SetSize(list.Width(), list.Height(), bits);
  PictureCache().ReloadAll();
  for (int page : {0, 1}) list.Base(page).RecreateSurfaces();
}

TEST_F(Pictures, TheAlphaConventionAtEveryDepth) {
  const int32_t bg = 0x204060, fg = 0xC08040;
  // The expected colour of a channel over the background.
  struct TCase {
    int32_t Alpha;
    std::function<int(int d, int s)> Channel;
  };
  const std::vector<TCase> cases = {
      {0, [](int d, int) { return d; }},
      {-3, [](int d, int) { return d; }},
      {512, [](int d, int) { return d; }},
      {128, [](int d, int s) { return (d * 127 + s * 128) / 255; }},
      {255, [](int, int s) { return s; }},
      {300, [](int d, int s) { return std::min(255, d + s * 44 / 256); }},
      {511, [](int d, int s) { return std::min(255, d + s * 255 / 256); }},
  };
  // Half of the second picture's plane is see-through.
  Add("solid.trn", {{4, 4, fg}});
  Add("half.trn", {{4, 4, fg, 100, [](int x, int) { return uint8_t(x < 2 ? 0 : 255); }}});
  for (int32_t bits : {15, 16, 32}) {
    FreePictureCache();
    SetUp();
    PictureCache().ScreenDepth = bits;
    for (const TCase& c : cases) {
      for (const char* source : {"solid.trn", "half.trn"}) {
        TOrbaBaseList list;
        list.SetSize(8, 4, bits);
        auto& back = static_cast<TOrbaBox&>(*list.CreateByCode(2));
        back.SetParent(&list.Current());
        back.SetBounds(0, 0, 8, 4);
        back.SetColor(bg);
        auto& image = static_cast<TOrbaImages&>(*list.CreateByCode(8));
        image.SetParent(&list.Current());
        image.SetStr(PR_SOURCE, source);
        image.SetInt(PR_ALPHA, c.Alpha);
        ASSERT_EQ(image.Width, 4);
        list.Paint();
        TDIBSurface& page = static_cast<TDIBX&>(list.Current().Surface()).Image();
        // One step of the page's channel width either way: the blends round in the format.
        const int step = bits == 32 ? 1 : 8;
        for (int x : {0, 3, 5}) {
          const bool covered = x < 4 && !(x < 2 && std::string(source) == "half.trn");
          const TRgb d = RgbOf(bg), s = RgbOf(fg);
          const TRgb want = covered ? TRgb{c.Channel(d.R, s.R), c.Channel(d.G, s.G), c.Channel(d.B, s.B)} : d;
          const TRGB got = page.PixelToRGB(page.GetPixel(x, 1), true);
          EXPECT_NEAR(got.Red, want.R, step) << bits << " bits, alpha " << c.Alpha << ", " << source << ", x " << x;
          EXPECT_NEAR(got.Green, want.G, step) << bits << " bits, alpha " << c.Alpha << ", " << source << ", x " << x;
          EXPECT_NEAR(got.Blue, want.B, step) << bits << " bits, alpha " << c.Alpha << ", " << source << ", x " << x;
        }
      }
    }
  }
}

// A display change: the pictures drop their surfaces, the cache decodes at the new 16-bit
// format, the pictures come back in it and draw what they drew before (a single picture at
// brightness 239, 16 darker; an animated one at brightness +32 on its second frame).
TEST_F(Pictures, AfterADepthChangeThePicturesDrawTheSameInTheNewFormat) {
  Add("still.trn", {{4, 4, 0x605040}});
  Add("sprite.trn", {{4, 4, 0x000000}, {4, 4, 0x102030}});
  TOrbaBaseList list;
  list.SetSize(12, 4, 32);
  auto& back = static_cast<TOrbaBox&>(*list.CreateByCode(2));
  back.SetParent(&list.Current());
  back.SetBounds(0, 0, 12, 4);
  back.SetColor(0x808080);
  auto* still = static_cast<TOrbaImage*>(list.Adopt(std::make_unique<TOrbaImage>(&list)));
  still->SetParent(&list.Current());
  still->SetInt(PR_BRIGHTNESS, 239);
  still->SetStr(PR_SOURCE, "still.trn");
  auto& sprite = static_cast<TOrbaImages&>(*list.CreateByCode(8));
  sprite.SetParent(&list.Current());
  sprite.SetStr(PR_SOURCE, "sprite.trn");
  sprite.SetInt(PR_LEFT, 4);
  sprite.SetInt(PR_BRIGHTNESS, 32);
  sprite.SetIndex(1);
  const int32_t remaining = sprite.Remaining;
  const auto colours = {TSeenColour{1, 2, 0x504030}, TSeenColour{5, 2, 0x304050}, TSeenColour{9, 2, 0x808080}};
  ExpectColours(list, 32, colours);
  for (int page : {0, 1}) list.Base(page).ReleaseSurfaces();
  EXPECT_EQ(sprite.ShownSurface, nullptr);
  for (int page : {0, 1}) list.Base(page).RecreateSurfaces();
  ChangeDepth(list, 16);
  ASSERT_NE(sprite.ShownSurface, nullptr);
  EXPECT_EQ(sprite.ShownSurface->BitCount(), 16);
  EXPECT_EQ(still->Surface.BitCount(), 16);
  EXPECT_EQ(sprite.Index, 1);
  EXPECT_EQ(sprite.Remaining, remaining);  // the animation's timing is untouched
  ExpectColours(list, 16, colours);
}

// A taken picture (the still screen of a screen change) has no source to read again: a depth
// change keeps it, in the new format, and it still covers the page.
TEST_F(Pictures, ATakenPictureOutlivesADepthChange) {
  TDIBX screen;
  screen.SetSize(6, 4, 32);
  screen.FillRect(screen.SurfaceRect(), 0x405060);
  screen.FillRect(Bounds(3, 0, 3, 4), 0xC08020);
  TOrbaBaseList list;
  list.SetSize(6, 4, 32);
  auto* shot = static_cast<TOrbaImage*>(list.Adopt(std::make_unique<TOrbaImage>(&list)));
  shot->TakePicture(screen);
  shot->SetParent(&list.Current());
  EXPECT_EQ(shot->AbsoluteRect(), Bounds(0, 0, 6, 4));
  EXPECT_EQ(shot->GetInt(PR_COMPOTYPE), 0);  // never saved, never listed by kind
  const auto colours = {TSeenColour{1, 2, 0x605040}, TSeenColour{4, 2, 0x2080C0}};
  ExpectColours(list, 32, colours);
  ChangeDepth(list, 16);
  EXPECT_EQ(shot->Surface.BitCount(), 16);
  ExpectColours(list, 16, colours);
}

// ---- size and hit tests ----

TEST_F(Pictures, ZoomDecidesTheSizeUntilTheScriptSetsIt) {
  Add("p.trn", {{10, 6}});
  Add("q.trn", {{12, 12}});
  TOrbaBaseList list;
  list.SetSize(40, 30, 32);
  auto& image = static_cast<TOrbaImages&>(*list.CreateByCode(8));
  image.SetParent(&list.Current());
  image.SetStr(PR_SOURCE, "p.trn");
  image.SetInt(PR_ZOOMX, 512);
  image.SetInt(PR_ZOOMY, 0);
  EXPECT_EQ(image.GetInt(PR_ZOOMY), 1);  // 0 or less stores 1
  image.Tick();
  EXPECT_EQ(image.Width, 20);
  EXPECT_EQ(image.Height, 0);  // 6 * 1 / 256
  image.SetInt(PR_WIDTH, 30);
  EXPECT_EQ(image.GetInt(PR_ZOOMX), 0);
  image.SetInt(PR_HEIGHT, 0);
  image.CaptureMask = true;
  // Neither a zoom of 0 nor a height of 0 divides anything.
  EXPECT_EQ(image.HitTest({5, 0}, kHoverMask), nullptr);
  image.SetStr(PR_SOURCE, "q.trn");
  EXPECT_EQ(image.Width, 30);  // the script's size stays with another picture
  EXPECT_EQ(image.Height, 0);
}

// A picture with PosZoomed inside a picture drawn at the same zoom covers exactly its part of
// the parent's picture: a 300-pixel parent at half size (s = 2 x 65536), a 31-pixel child at
// Left 10 runs from 10 / 2 = 5 to 41 / 2 = 20.5, rounded to 21: 16 wide where the plain rule
// gives 31 x 128 / 256 = 15.
TEST_F(Pictures, APictureInsideAScaledPictureCoversItsPartOfIt) {
  Add("parent.trn", {{300, 20}});
  Add("child.trn", {{31, 4}});
  TOrbaBaseList list;
  list.SetSize(400, 100, 32);
  auto& parent = static_cast<TOrbaImages&>(*list.CreateByCode(8));
  parent.SetParent(&list.Current());
  parent.SetStr(PR_SOURCE, "parent.trn");
  parent.SetLeft(40);
  auto& child = static_cast<TOrbaImages&>(*list.CreateByCode(8));
  child.SetParent(&parent);
  child.SetStr(PR_SOURCE, "child.trn");
  child.SetLeft(10);
  child.SetPosZoomed(true);
  parent.SetInt(PR_ZOOMX, 128);
  child.SetInt(PR_ZOOMX, 128);
  parent.Tick();
  child.Tick();
  EXPECT_EQ(parent.Width, 150);
  EXPECT_EQ(child.Width, 16);
  EXPECT_EQ(child.AbsoluteLeft(), 45);
  // At another zoom than the parent's the plain rule holds again.
  child.SetInt(PR_ZOOMX, 256);
  child.Tick();
  EXPECT_EQ(child.Width, 31);
}

TEST_F(Pictures, TurnedAndMaskedHitTests) {
  // 8 x 4, its plane opaque on the left half only.
  Add("m.trn", {{8, 4, 0xFFFFFF, 100, [](int x, int) { return uint8_t(x < 4 ? 255 : 0); }}});
  TOrbaBaseList list;
  list.SetSize(64, 64, 32);
  auto& image = static_cast<TOrbaImages&>(*list.CreateByCode(8));
  image.SetParent(&list.Current());
  image.SetStr(PR_SOURCE, "m.trn");
  image.SetBounds(30, 30, 8, 4);
  image.SetInt(PR_ZOOMX, 256);
  image.SetInt(PR_ZOOMY, 256);
  image.Tick();
  image.CaptureMask = true;
  // The pivot is the origin (30, 30); a picture point (px, py) relative to it lands, turned by a
  // quarter turns, at the rotation of (px, py) by q * 90 degrees.
  struct { int32_t Angle; int Quarter; } turns[] = {{0, 0}, {64, 1}, {128, 2}, {192, 3}};
  for (const auto& t : turns) {
    image.SetInt(PR_ANGLE, t.Angle);
    auto turned = [&](int px, int py) {
      int x = px, y = py;
      for (int i = 0; i < t.Quarter; ++i) std::tie(x, y) = std::make_tuple(-y, x);
      return TPoint{30 + x, 30 + y};
    };
    EXPECT_EQ(image.HitTest(turned(1, 1), kHoverMask), &image) << t.Angle;  // opaque half
    EXPECT_EQ(image.HitTest(turned(6, 1), kHoverMask), nullptr) << t.Angle;  // see-through half
    EXPECT_EQ(image.HitTest(turned(1, 6), kHoverMask), nullptr) << t.Angle;  // outside the picture
    image.CaptureMask = false;
    EXPECT_EQ(image.HitTest(turned(6, 1), kHoverMask), &image) << t.Angle;  // without the mask: the rectangle
    image.CaptureMask = true;
    // The mode decides too: a left press passes through an image that ignores left clicks.
    image.IgnoreMouse = IM_LCLICK;
    EXPECT_EQ(image.HitTest(turned(1, 1), kLeftPressMask), nullptr) << t.Angle;
    EXPECT_EQ(image.HitTest(turned(1, 1), kRightPressMask), &image) << t.Angle;
    image.IgnoreMouse = IM_NONE;
  }
}

TEST_F(Pictures, TileCellsRepeatByTheirDistanceAndTheScrollWrapsByTheCell) {
  Add("dot.trn", {{2, 2, 0x0000FF}});
  // Which of x = 0..9 are red, for a cell distance and a scroll.
  struct { int32_t Distance, Scroll; const char* Red; } cases[] = {
      {3, 0, "1101101101"},
      {3, 1, "1011011011"},   // cells from x = -1
      {3, -2, "1011011011"},  // -2 wraps to 1 in a cell of 3
      {3, 4, "1011011011"},
      {0, 1, "1111111111"},   // no distance: edge to edge
      {0, 0, "1111111111"},
  };
  for (const auto& c : cases) {
    TOrbaBaseList list;
    list.SetSize(10, 2, 32);
    auto& tile = static_cast<TOrbaTile&>(*list.CreateByCode(20));
    tile.SetParent(&list.Current());
    tile.SetStr(PR_SOURCE, "dot.trn");
    tile.SetBounds(0, 0, 10, 2);
    tile.SetInt(PR_DISTANCEX, c.Distance);
    tile.SetInt(PR_SCROLLX, c.Scroll);
    list.Paint();
    std::string red;
    for (int x = 0; x < 10; ++x)
      red += static_cast<TDIBX&>(list.Current().Surface()).Image().GetPixel(x, 1) == 0xFF0000 ? '1' : '0';
    EXPECT_EQ(red, c.Red) << "distance " << c.Distance << ", scroll " << c.Scroll;
  }
}

// ---- animation ----

TEST_F(Pictures, TheLastFrameWaitsLongerAndAPlayThatEndsIsReportedOnce) {
  Add("three.trn", {{4, 4, 0x0000FF, 100}, {4, 4, 0x00FF00, 100}, {4, 4, 0xFF0000, 100}});
  TParamCollection vars;
  SetVariables(&vars);
  // The wait is an expression of the script, worked out when the last frame comes.
  for (const auto& [autoScrap, wait] : std::vector<std::pair<bool, std::string>>{
           {false, "500"}, {true, "500"}, {false, "250 * 2"}, {true, "(1000 - 500) / 1"}}) {
    SCOPED_TRACE(wait);
    TOrbaBaseList list;
    list.SetSize(16, 16, 32);
    auto& image = static_cast<TOrbaImages&>(*list.CreateByCode(8));
    image.SetParent(&list.Current());
    image.OnPlayEnd = "end.rsb";
    image.LastFrameWait = wait;
    image.AutoScrap = autoScrap;
    image.SetStr(PR_SOURCE, "three.trn");
    Process().FrameDelta = 10;
    int reachedLast = -1, ended = -1;
    bool freed = false;
    for (int tick = 1; tick <= 100 && ended < 0; ++tick) {
      freed = image.Tick();
      if (image.Index == 2 && reachedLast < 0) reachedLast = tick;
      if (freed || list.Events().Count() > 0) ended = tick;
    }
    // Frames 0 and 1 take 200 ms; the last frame shows 100 + 500 ms.
    EXPECT_EQ(reachedLast * 10, 200);
    EXPECT_EQ((ended - reachedLast) * 10, 600) << autoScrap;
    for (int tick = 0; tick < 10 && !autoScrap; ++tick) image.Tick();
    EXPECT_EQ(freed, autoScrap);
    EXPECT_EQ(list.Events().Count(), autoScrap ? 0 : 1);
  }
  SetVariables(nullptr);
}

// ---- buttons ----

// The mouse as the window reports it, handed to the components by the list's input step.
struct THand {
  TOrbaBaseList& List;
  TBaseInput& In = List.Input(List.CurrentBase());
  void Move(int32_t x, int32_t y) { In.SetMouse(x, y); }
  void Press() { In.LeftPressed = In.LeftHeld = true; }
  void Release() { In.LeftHeld = false; }
  void PressRight() { In.RightPressed = In.RightHeld = true; }
  void ReleaseRight() { In.RightHeld = false; }
  void Step() { List.InputStep(16); }
  // A click at (x, y): moved there, pressed in one tick and released in the next.
  void Click(int32_t x, int32_t y) {
    Move(x, y);
    Press();
    Step();
    Release();
    Step();
  }
  // The codes of the queued events (the queue emptied as if each handler had run).
  std::vector<int32_t> Events() {
    std::vector<int32_t> codes;
    for (int i = 0; i < List.Events().Count(); ++i) codes.push_back(List.Events()[i].Code);
    List.Events().Clear();
    return codes;
  }
};

using Codes = std::vector<int32_t>;

TOrbaButton& MakeButton(TOrbaBaseList& list, int32_t left, int32_t top) {
  auto& b = static_cast<TOrbaButton&>(*list.CreateByCode(3));
  b.SetParent(&list.Current());
  b.SetStr(PR_SOURCE, "n.trn");
  b.SetStr(PR_HOVERSOURCE, "h.trn");
  b.SetStr(PR_PRESSEDSOURCE, "p.trn");
  b.SetLeft(left);
  b.SetTop(top);
  return b;
}

// One button through the input step: hover, press (captured, no press event), out and back in
// while held, released on it (a click: notify, the click animation once, then normal), and a
// press released elsewhere (no click).
TEST_F(Pictures, AButtonHoversPressesAndClicksThroughTheInputStep) {
  Add("n.trn", {{10, 10, 0x000010}});
  Add("h.trn", {{10, 10, 0x000020}});
  Add("p.trn", {{10, 10, 0x000030}});
  Add("c.trn", {{10, 10, 0x000040, 50}, {10, 10, 0x000050, 50}});
  Process().FrameDelta = 16;
  TOrbaBaseList list;
  list.SetSize(64, 48, 32);
  TOrbaButton& b = MakeButton(list, 10, 10);
  b.SetStr(PR_CLICKEDSOURCE, "c.trn");
  for (int32_t code : {PR_ONNOTIFY, PR_ONLBTNDOWN, PR_ONLBTNUP, PR_ONMOUSEOUT, PR_ONPLAYEND})
    b.SetStr(code, "h.rsb");
  TBaseInput& in = list.Input(0);
  THand hand{list};
  hand.Move(15, 15);
  hand.Step();
  EXPECT_EQ(b.State, 1);  // hover
  hand.Press();
  hand.Step();
  EXPECT_EQ(b.State, 2);
  EXPECT_EQ(list.Current().Capture, 4);
  EXPECT_FALSE(in.LeftClick);
  EXPECT_EQ(hand.Events(), Codes{});  // the button takes the press without a press event
  hand.Move(40, 40);
  hand.Step();
  EXPECT_EQ(b.State, 0) << "held outside: normal";
  hand.Move(12, 18);
  hand.Step();
  EXPECT_EQ(b.State, 2) << "back on it: pressed";
  hand.Release();
  hand.Step();
  EXPECT_EQ(b.State, 3);  // clicked: the click animation plays
  EXPECT_EQ(list.Current().Capture, 0);
  EXPECT_EQ(hand.Events(), Codes{PR_ONNOTIFY});
  int ticks = 0;
  while (b.State == 3 && ticks < 20) {
    list.Tick();
    ++ticks;
  }
  EXPECT_EQ(b.State, 0);
  // Each 50 ms frame is left in the fourth tick of 16 ms (with two frames the rest is dropped).
  EXPECT_EQ(ticks, 8);
  EXPECT_EQ(hand.Events(), Codes{PR_ONPLAYEND});
  // Pressed, then released elsewhere: no click, normal, and the next tick it is left.
  hand.Press();
  hand.Step();
  EXPECT_EQ(b.State, 2);
  hand.Move(40, 40);
  hand.Step();
  hand.Release();
  hand.Step();
  EXPECT_EQ(b.State, 0);
  EXPECT_EQ(b.Tracking, 0);
  EXPECT_EQ(hand.Events(), Codes{});
  hand.Step();
  EXPECT_EQ(hand.Events(), Codes{PR_ONMOUSEOUT});
  // Paused: hovering shows the normal picture and a press does nothing.
  b.SetBool(PR_PAUSED, true);
  hand.Move(15, 15);
  hand.Step();
  EXPECT_EQ(b.State, 0);
  hand.Press();
  hand.Step();
  EXPECT_EQ(b.State, 0);
  EXPECT_EQ(list.Current().Capture, 0);
}

TEST_F(Pictures, AButtonGroupFollowsItsClicks) {
  Add("n.trn", {{10, 10, 0x000010}});
  Add("h.trn", {{10, 10, 0x000020}});
  Add("p.trn", {{10, 10, 0x000030}});
  TOrbaBaseList list;
  list.SetSize(64, 48, 32);
  std::vector<TOrbaButton*> group;
  for (int i = 0; i < 3; ++i) group.push_back(&MakeButton(list, i * 20, 0));
  for (TOrbaButton* b : group) b->SetInt(PR_GROUPINDEX, 1);
  // The group rule: one member is chosen unless all may be up.
  auto selected = [&] {
    std::string s;
    for (TOrbaButton* b : group) s += b->Selected ? '1' : '0';
    return s;
  };
  auto states = [&] {
    std::string s;
    for (TOrbaButton* b : group) s += char('0' + b->State);
    return s;
  };
  THand hand{list};
  auto click = [&](int i) { hand.Click(i * 20 + 5, 5); };
  EXPECT_EQ(selected(), "100");
  EXPECT_EQ(states(), "200");
  hand.Move(45, 5);
  hand.Step();
  EXPECT_EQ(states(), "201");  // hover
  hand.Move(45, 30);
  hand.Step();
  EXPECT_EQ(states(), "200");
  click(1);
  EXPECT_EQ(selected(), "010");
  EXPECT_EQ(states(), "020");
  click(1);  // a click on the chosen one keeps it
  EXPECT_EQ(selected(), "010");
  group[0]->SetAllowAllUp(true);  // reaches the whole group
  click(1);
  EXPECT_EQ(selected(), "000");
  EXPECT_EQ(states(), "000");
  // Released outside: no click.
  hand.Move(45, 5);
  hand.Press();
  hand.Step();
  EXPECT_EQ(group[2]->State, 2);
  hand.Move(5, 30);
  hand.Step();
  EXPECT_EQ(group[2]->State, 0);
  hand.Release();
  hand.Step();
  EXPECT_EQ(selected(), "000");
  group[0]->SetDownSilently(true);
  EXPECT_EQ(selected(), "100");
  EXPECT_EQ(list.Events().Count(), 0);

  // Without a group a button is never selected.
  TOrbaButton& lone = MakeButton(list, 0, 20);
  lone.SetBool(PR_SELECTED, true);
  EXPECT_FALSE(lone.Selected);
}

// A focused button clicks while Enter or Space repeats: at the press, after 300 ms, then every
// 50 ms.
TEST_F(Pictures, EnterHeldOnTheFocusedButtonClicksAtEveryRepeat) {
  Add("n.trn", {{10, 10, 0x000010}});
  TOrbaBaseList list;
  list.SetSize(64, 48, 32);
  TOrbaButton& b = MakeButton(list, 0, 0);
  b.SetStr(PR_ONNOTIFY, "n.rsb");
  b.SetBool(PR_HANDLEKEY, true);
  THand hand{list};
  hand.Step();
  ASSERT_EQ(list.Focus, &b);
  for (int32_t key : {13, 32, 65}) {
    list.Keys.SetKey(key, true);
    list.Keys.SetKeyClicked(key);
    std::vector<int> clicks;  // the ticks (of 50 ms) in which the button was clicked
    for (int tick = 0; tick < 10; ++tick) {
      list.InputStep(50);
      for (int32_t code : hand.Events())
        if (code == PR_ONNOTIFY) clicks.push_back(tick);
    }
    list.Keys.SetKey(key, false);
    hand.Step();
    hand.Events();
    // At the press; the countdown of 300 ms ends after the sixth tick of 50 ms, and every tick
    // after that repeats.
    const std::vector<int> expected = key == 65 ? std::vector<int>{} : std::vector<int>{0, 6, 7, 8, 9};
    EXPECT_EQ(clicks, expected) << key;
  }
}

// ---- the region map ----

std::vector<TMapRegion> DemoRegions() {
  TMapRegion left{"left", 0, {0, 0, 10, 10}, {}};
  TMapRegion round{"round", 1, {10, 0, 20, 10}, {}};
  TMapRegion wedge{"wedge", 2, {}, {{20, 0}, {30, 0}, {20, 10}}};
  wedge.Box = {20, 0, 31, 11};
  return {left, round, wedge};
}

TEST(RegionMap, ShapesAndAHostileReader) {
  const std::vector<uint8_t> bytes = WriteRegionMap(DemoRegions());
  testing_support::ExpectFuzzSeed("region_map", "three-shapes", bytes);
  const std::vector<TMapRegion> back = ReadRegionMap(bytes);
  ASSERT_EQ(back.size(), 3u);
  EXPECT_EQ(back[1].Name, "round");
  EXPECT_EQ(back[2].Box, (TRect{20, 0, 31, 11}));
  // Inclusive bounds; the ellipse leaves its corners out; the triangle its far half.
  struct { int Region, X, Y; bool In; } points[] = {
      {0, 9, 9, true}, {0, 10, 9, false}, {1, 15, 5, true}, {1, 10, 0, false},
      {2, 21, 1, true}, {2, 28, 8, false},
  };
  for (const auto& p : points) EXPECT_EQ(back[size_t(p.Region)].Contains(p.X, p.Y), p.In) << p.Region << " " << p.X;
  // Every cut of the file raises, never reads past the end.
  for (size_t n = 0; n < bytes.size(); ++n)
    EXPECT_THROW(ReadRegionMap({bytes.data(), n}), EOrbaError) << n;
  std::vector<uint8_t> huge = bytes;
  huge[0] = 0xFF;  // a count far past the file
  EXPECT_THROW(ReadRegionMap(huge), EOrbaError);
}

// The map through the input step: the hovered region, a click that selects it and closes the
// map two ticks later, and the right clicks a map cancels (or leaves alone).
struct Map : Pictures {
  TParamCollection vars;
  void SetUp() override {
    Pictures::SetUp();
    auto opaque = [](int, int) { return uint8_t(255); };
    Add("base.trn", {{30, 10, 0x0000FF, 100, opaque}});
    Add("hover.trn", {{30, 10, 0x00FF00, 100, opaque}});
    files["map.dat"] = WriteRegionMap(DemoRegions());
    SetVariables(&vars);
  }
  void TearDown() override {
    SetVariables(nullptr);
    Pictures::TearDown();
  }
  // The map at (5, 5) over the page.
  TOrbaMapImage& Make(TOrbaBaseList& list) {
    list.SetSize(40, 20, 32);
    auto& m = static_cast<TOrbaMapImage&>(*list.CreateByCode(18));
    m.SetName("map");
    m.SetParent(&list.Current());
    m.SetStr(PR_SOURCE, "base.trn");
    m.SetStr(PR_HOVERSOURCE, "hover.trn");
    m.SetStr(PR_MAPSOURCE, "map.dat");
    for (int32_t code : {PR_ONSELECT, PR_ONMAPIN, PR_ONMAPOUT, PR_ONRBTNDOWN, PR_ONLBTNDOWN})
      m.SetStr(code, "m.rsb");
    m.SetBool(PR_AUTOSCRAP, true);
    m.SetLeft(5);
    m.SetTop(5);
    return m;
  }
  std::vector<TSeenEvent> Events(TOrbaBaseList& list) {
    std::vector<TSeenEvent> seen;
    for (int i = 0; i < list.Events().Count(); ++i) seen.push_back({list.Events()[i].Code, list.Events()[i].Params.Items()});
    list.Events().Clear();
    return seen;
  }
};

TEST_F(Map, HoversSelectsAndClosesTwoTicksLater) {
  TOrbaBaseList list;
  TOrbaMapImage& m = Make(list);
  ASSERT_EQ(m.Width, 30);
  THand hand{list};
  hand.Move(20, 10);  // (15, 5) inside the map: the ellipse
  hand.Step();
  EXPECT_EQ(m.Hover, 1);
  EXPECT_EQ(Events(list), (std::vector<TSeenEvent>{{PR_ONMAPIN, {"round", "1"}}}));
  list.Paint();
  auto at = [&](int x, int y) { return static_cast<TDIBX&>(list.Current().Surface()).Image().GetPixel(x, y); };
  EXPECT_EQ(at(20, 10), 0x00FF00u);  // the hovered region shows the hover picture
  EXPECT_EQ(at(6, 6), 0xFF0000u);    // the rest the base picture
  EXPECT_EQ(at(15, 5), 0xFF0000u);   // the ellipse's corner is not in it
  hand.Move(8, 8);  // the rectangle
  hand.Step();
  EXPECT_EQ(Events(list), (std::vector<TSeenEvent>{{PR_ONMAPOUT, {"round", "1"}}, {PR_ONMAPIN, {"left", "0"}}}));
  hand.Press();
  hand.Step();
  EXPECT_EQ(vars.SelStr, "left");
  EXPECT_EQ(vars.SelIndex, 0);
  // Closing: the select event only, no press event after it.
  EXPECT_EQ(Events(list), (std::vector<TSeenEvent>{{PR_ONSELECT, {"left", "0"}}}));
  list.Tick();
  EXPECT_NE(list.FindComponent("map"), nullptr);  // stays one more tick
  list.Tick();
  EXPECT_EQ(list.FindComponent("map"), nullptr);
  EXPECT_TRUE(list.RightClickCancellers.empty());
}

// After a depth change the map draws its brightened base and hover pictures in the new
// format, each cut by the hovered region: red and green, each channel raised by 32.
TEST_F(Map, AfterADepthChangeTheMapDrawsItsBrightenedPicturesInTheNewFormat) {
  TOrbaBaseList list;
  TOrbaMapImage& m = Make(list);
  m.SetInt(PR_BRIGHTNESS, 32);
  m.SetHover(1);  // the ellipse
  const auto colours = {TSeenColour{20, 10, 0x20FF20}, TSeenColour{6, 6, 0x2020FF}};
  ExpectColours(list, 32, colours);
  ChangeDepth(list, 16);
  ExpectColours(list, 16, colours);
}

TEST_F(Map, ARightClickCancelsTheChoiceWhenTheMapMay) {
  struct Case {
    const char* what;
    std::function<void(TOrbaBaseList&, TOrbaMapImage&)> set;
    bool cancels;
  } cases[] = {
      {"right-click scrap", [](TOrbaBaseList&, TOrbaMapImage&) {}, true},
      {"left clicks ignored", [](TOrbaBaseList&, TOrbaMapImage& m) { m.IgnoreMouse = IM_LCLICK; }, true},
      {"no right-click scrap", [](TOrbaBaseList&, TOrbaMapImage& m) { m.SetBool(PR_RCLICKSCRAP, false); }, false},
      {"right clicks ignored", [](TOrbaBaseList&, TOrbaMapImage& m) { m.IgnoreMouse = IM_RCLICK; }, false},
      {"paused", [](TOrbaBaseList&, TOrbaMapImage& m) { m.SetBool(PR_PAUSED, true); }, false},
      {"hidden", [](TOrbaBaseList&, TOrbaMapImage& m) { m.SetVisible(false); }, false},
      {"on the back page", [](TOrbaBaseList& l, TOrbaMapImage& m) { m.SetParent(&l.Back()); }, false},
  };
  for (const Case& c : cases) {
    TOrbaBaseList list;
    TOrbaMapImage& m = Make(list);
    m.SetBool(PR_RCLICKSCRAP, true);
    c.set(list, m);
    vars.SelStr = "before";
    vars.SelIndex = 7;
    THand hand{list};
    hand.Move(30, 30);  // off the map: the click does not depend on where the mouse is
    hand.Step();
    Events(list);
    hand.PressRight();
    hand.Step();
    EXPECT_EQ(vars.SelIndex, c.cancels ? -1 : 7) << c.what;
    EXPECT_EQ(vars.SelStr, c.cancels ? "" : "before") << c.what;
    list.Tick();
    list.Tick();
    EXPECT_EQ(list.FindComponent("map") == nullptr, c.cancels) << c.what;
  }
  // A cancelled click is seen by nothing else; one the map leaves goes to the control under it.
  for (bool scrap : {true, false}) {
    TOrbaBaseList list;
    TOrbaMapImage& m = Make(list);
    m.SetBool(PR_RCLICKSCRAP, scrap);
    THand hand{list};
    hand.Move(8, 8);
    hand.Step();
    Events(list);
    hand.PressRight();
    hand.Step();
    const std::vector<TSeenEvent> expected =
        scrap ? std::vector<TSeenEvent>{} : std::vector<TSeenEvent>{{PR_ONRBTNDOWN, {"3", "3"}}};
    EXPECT_EQ(Events(list), expected) << scrap;
  }
}

// The focused map walks its regions with the arrow keys, selects with Enter or Space and
// cancels with Escape when right clicks may cancel it.
TEST_F(Map, TheArrowKeysWalkTheRegionsEnterSelectsEscapeCancels) {
  TOrbaBaseList list;
  TOrbaMapImage& m = Make(list);
  m.SetBool(PR_HANDLEKEY, true);
  m.SetBool(PR_AUTOSCRAP, false);
  THand hand{list};
  hand.Move(39, 19);  // off the map
  hand.Step();
  ASSERT_EQ(list.Focus, &m);
  auto key = [&](int32_t k) {
    list.Keys.SetKey(k, true);
    list.Keys.SetKeyClicked(k);
    hand.Step();
    list.Keys.SetKey(k, false);
    hand.Step();
  };
  const struct {
    int32_t key;
    int32_t hover;
  } walk[] = {{40, 0}, {39, 1}, {40, 2}, {40, 0}, {38, 2}, {37, 1}, {37, 0}, {37, 2}};
  for (const auto& w : walk) {
    key(w.key);
    EXPECT_EQ(m.Hover, w.hover) << w.key;
  }
  Events(list);
  key(13);
  EXPECT_EQ(vars.SelStr, "wedge");
  EXPECT_EQ(vars.SelIndex, 2);
  EXPECT_EQ(Events(list), (std::vector<TSeenEvent>{{PR_ONSELECT, {"wedge", "2"}}}));
  key(27);  // without right-click scrap Escape does nothing
  EXPECT_EQ(vars.SelIndex, 2);
  m.SetBool(PR_RCLICKSCRAP, true);
  key(27);
  EXPECT_EQ(vars.SelIndex, -1);
  EXPECT_EQ(vars.SelStr, "");
  list.Tick();
  list.Tick();
  EXPECT_EQ(list.FindComponent("map"), nullptr);
}

// ---- saving ----

TEST_F(Pictures, SavedPicturesAtBothSidesOfTheirGates) {
  Add("n.trn", {{10, 10, 0x000010}, {10, 10, 0x000020}});
  Add("c.trn", {{10, 10, 0x000040}});
  for (int32_t version : {103, 104, kTreeVersion}) {
    TOrbaBaseList list;
    list.SetSize(64, 16, 32);
    auto& b = static_cast<TOrbaButton&>(*list.CreateByCode(3));
    b.SetName("button");
    b.SetParent(&list.Current());
    b.SetStr(PR_SOURCE, "n.trn");
    b.SetStr(PR_CLICKEDSOURCE, "c.trn");
    b.SetInt(PR_ZOOMY, 512);
    b.OnIdle = "idle.rsb";
    b.SetIndex(1);
    b.SetInt(PR_ANGLE, 32);
    TKvMemoryStream s;
    list.SaveTree(s, version);
    s.SetPosition(0);
    TOrbaBaseList loaded;
    loaded.LoadTree(s, version);
    EXPECT_EQ(s.Remaining(), 0) << version;
    auto* back = dynamic_cast<TOrbaButton*>(loaded.FindComponent("button"));
    ASSERT_NE(back, nullptr) << version;
    EXPECT_EQ(back->Angle, 32);
    EXPECT_EQ(back->ZoomY(), version > 103 ? 512 : 256) << version;
    EXPECT_EQ(back->OnIdle, version > 103 ? "idle.rsb" : "") << version;
    EXPECT_EQ(back->ClickedSource, version > 103 ? "c.trn" : "") << version;
    EXPECT_EQ(back->Index, 1);  // applied again after the pictures came back
    EXPECT_NE(back->ShownSurface, nullptr);
  }
  // The map's close countdown: stored above version 114.
  for (int32_t version : {104, 114, 115}) {
    TOrbaBaseList list;
    list.SetSize(64, 16, 32);
    auto& m = static_cast<TOrbaMapImage&>(*list.CreateByCode(18));
    m.SetName("map");
    m.SetParent(&list.Current());
    m.OnSelect = "sel.rsb";
    m.CloseCountdown = 100;
    TKvMemoryStream s;
    list.SaveTree(s, version);
    s.SetPosition(0);
    TOrbaBaseList loaded;
    loaded.LoadTree(s, version);
    EXPECT_EQ(s.Remaining(), 0) << version;
    auto* back = dynamic_cast<TOrbaMapImage*>(loaded.FindComponent("map"));
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->CloseCountdown, version > 114 ? 100 : 0) << version;
    EXPECT_EQ(back->OnSelect, "sel.rsb");
  }
  // The cache's dither flag: stored above version 100.
  for (int32_t version : {100, 101}) {
    PictureCache().SetDither(true);
    TKvMemoryStream s;
    struct TWriter : TTreeIO {
      TKvMemoryStream& S;
      TWriter(TKvMemoryStream& s, TMode m, int32_t v) : TTreeIO(m, v), S(s) {}
      void I32(int32_t&) override {}
      void Byte(uint8_t& v) override { Mode == TMode::Write ? void(S.Write(&v, 1)) : void(S.Read(&v, 1)); }
      void Str(std::string&) override {}
      void Ext(TExtended&) override {}
      void Children(TOrbaControl&) override {}
    };
    TWriter w(s, TTreeIO::TMode::Write, version);
    PictureCache().Transfer(w);
    EXPECT_EQ(s.GetSize(), version > 100 ? 1 : 0);
    PictureCache().SetDither(false);
    s.SetPosition(0);
    TWriter r(s, TTreeIO::TMode::Read, version);
    PictureCache().Transfer(r);
    EXPECT_EQ(PictureCache().Dither(), version > 100);
  }
}

}  // namespace
}  // namespace orba
