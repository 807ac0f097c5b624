// Painting the tree: boxes by the alpha convention, children clipped to their parent and to
// their clip windows, nothing drawn outside the dirty rectangles, and occlusion that changes
// no pixel. Expected pixels are worked out here from the colours and rectangles.
#include <gtest/gtest.h>

#include "components/baselist.h"
#include "components/box.h"

namespace orba {
namespace {

constexpr int32_t W = 40, H = 30;

// Counts the paints that drew something of its own.
struct TCounting : TOrbaBox {
  using TOrbaBox::TOrbaBox;
  int drawn = 0, called = 0;
  void Paint(TPaintContext& ctx) override {
    ++called;
    drawn += !ctx.Hidden;
    TOrbaBox::Paint(ctx);
  }
};

TOrbaBox& Box(TOrbaBaseList& list, TRect r, int32_t colour, TOrbaControl* parent = nullptr, int32_t alpha = 255) {
  auto& b = static_cast<TOrbaBox&>(*list.CreateByCode(2));
  b.SetParent(parent ? parent : &list.Current());
  b.SetBounds(r.Left, r.Top, r.Width(), r.Height());
  b.SetColor(colour);
  b.Alpha = alpha;
  return b;
}

TCounting& Counting(TOrbaBaseList& list, TRect r, int32_t colour, TOrbaControl* parent = nullptr) {
  auto& b = static_cast<TCounting&>(*list.Adopt(std::make_unique<TCounting>(&list)));
  b.SetParent(parent ? parent : &list.Current());
  b.SetBounds(r.Left, r.Top, r.Width(), r.Height());
  b.SetColor(colour);
  return b;
}

// 0x00BBGGRR colours as the 32-bit page shows them (0x00RRGGBB).
uint32_t Rgb(int32_t bgr) { return static_cast<uint32_t>((bgr & 0xFF) << 16 | (bgr & 0xFF00) | ((bgr >> 16) & 0xFF)); }
uint32_t At(TOrbaBaseList& list, int x, int y) {
  return static_cast<TDIBX&>(list.Current().Surface()).Image().GetPixel(x, y);
}

struct Page : ::testing::Test {
  TOrbaBaseList list;
  void SetUp() override { list.SetSize(W, H, 32); }
};

TEST_F(Page, BoxesByBorderAndAlpha) {
  TOrbaBox& framed = Box(list, Bounds(2, 3, 20, 10), 0x00FF00);
  framed.BorderWidth = 2;
  framed.BorderColor = 0x0000FF;
  Box(list, Bounds(0, 20, 10, 5), 0x202020);
  Box(list, Bounds(0, 20, 5, 5), 0xFFFFFF, nullptr, 128);   // blended over grey
  Box(list, Bounds(5, 20, 5, 5), 0x808080, nullptr, 384);   // added at half strength
  Box(list, Bounds(30, 0, 5, 5), 0xFFFFFF, nullptr, 0);     // nothing
  Box(list, Bounds(30, 5, 5, 5), 0xFFFFFF, nullptr, 512);   // nothing
  Box(list, Bounds(30, 10, 5, 5), -1);                      // no colour: nothing
  list.Paint();
  const uint32_t red = 0xFF0000, green = 0x00FF00;
  struct { int x, y; uint32_t expected; } points[] = {
      {2, 3, red}, {3, 4, red}, {21, 12, red}, {4, 5, green}, {19, 10, green}, {22, 3, 0}, {1, 3, 0},
      // (0x20 * (255 - 128) + 0xFF * 128) >> 8 per channel
      {1, 21, ((0x20 * 127 + 0xFF * 128) >> 8) * 0x010101u},
      {6, 21, 0x606060},  // 0x20 + 0x80 * 128 / 256
      {31, 1, 0}, {31, 6, 0}, {31, 11, 0},
  };
  for (const auto& p : points) EXPECT_EQ(At(list, p.x, p.y), p.expected) << p.x << "," << p.y;
}

TEST_F(Page, ChildrenAreClippedToTheirParentAndTheirClipWindow) {
  TOrbaBox& parent = Box(list, Bounds(10, 10, 10, 10), 0x0000FF);
  Box(list, Bounds(-5, 5, 30, 3), 0x00FF00, &parent);  // reaches past the parent on both sides
  TOrbaBox& windowed = Box(list, Bounds(2, 0, 6, 4), 0xFF0000, &parent);
  windowed.ClipLeft = 1;
  windowed.ClipTop = 1;
  windowed.ClipWidth = 2;
  windowed.ClipHeight = 2;
  list.Paint();
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) {
      uint32_t expected = 0;
      if (x >= 10 && x < 20 && y >= 10 && y < 20) expected = Rgb(0x0000FF);
      if (x >= 10 && x < 20 && y >= 15 && y < 18) expected = Rgb(0x00FF00);
      if (x >= 13 && x < 15 && y >= 11 && y < 13) expected = Rgb(0xFF0000);
      ASSERT_EQ(At(list, x, y), expected) << x << "," << y;
    }
}

TEST_F(Page, EqualPrioritiesByNameTheSnapshotOnTop) {
  TOrbaBox& a = Box(list, Bounds(0, 0, 10, 10), 0x0000FF);
  a.SetName("a");
  TOrbaBox& b = Box(list, Bounds(5, 0, 10, 10), 0x00FF00);
  b.SetName("B");
  TOrbaBox& top = Box(list, Bounds(12, 0, 10, 10), 0xFF0000);
  top.SetName("top");
  top.SetPriority(9);
  TOrbaBox& snap = Box(list, Bounds(20, 0, 10, 10), 0xFFFFFF);
  snap.SetName(std::string(kSnapshotName));
  snap.SetPriority(-1);  // a name alone does not sort the siblings again
  list.Paint();
  EXPECT_EQ(At(list, 7, 5), Rgb(0x0000FF));  // a above B
  EXPECT_EQ(At(list, 13, 5), Rgb(0xFF0000));
  EXPECT_EQ(At(list, 21, 5), Rgb(0xFFFFFF));  // the snapshot above priority 9
}

TEST_F(Page, NothingIsDrawnOutsideTheDirtyRectangles) {
  TCounting& whole = Counting(list, Bounds(0, 0, W, H), 0x00FF00);
  list.Paint();
  list.Current().Dirty().Clear();
  // Markers the painting must leave alone, except the one in the corner marked dirty.
  TDIBSurface& s = static_cast<TDIBX&>(list.Current().Surface()).Image();
  s.SetPixel(0, 0, 0x123456);
  s.SetPixel(W - 1, H - 1, 0x123456);
  s.SetPixel(W / 2, H / 2, 0x123456);
  list.Current().InvalidateRect(Bounds(0, 0, 4, 4));
  list.Paint();
  EXPECT_EQ(s.GetPixel(0, 0), 0x00FF00u);
  EXPECT_EQ(s.GetPixel(W - 1, H - 1), 0x123456u);
  EXPECT_EQ(s.GetPixel(W / 2, H / 2), 0x123456u);
  EXPECT_EQ(whole.drawn, 2);

  // Without dirty rectangles nothing is painted at all; hidden children and children outside
  // the dirty rectangle are never called.
  list.Current().Dirty().Clear();
  TCounting& hidden = Counting(list, Bounds(0, 0, 4, 4), 0xFF0000, &whole);
  hidden.SetVisible(false);
  TCounting& away = Counting(list, Bounds(30, 20, 4, 4), 0xFF0000, &whole);
  list.Current().Dirty().Clear();
  list.Paint();
  EXPECT_EQ(whole.called, 2);
  list.Current().InvalidateRect(Bounds(0, 0, 4, 4));
  list.Paint();
  EXPECT_EQ(hidden.called, 0);
  EXPECT_EQ(away.called, 0);
  EXPECT_EQ(s.GetPixel(W - 1, H - 1), 0x123456u);
}

TEST_F(Page, MovingABoxRepaintsWhereItWasAndWhereItGoes) {
  Box(list, Bounds(0, 0, W, H), 0x00FF00);
  TOrbaBox& moving = Box(list, Bounds(2, 2, 4, 4), 0x0000FF);
  list.Paint();
  list.Current().Dirty().Clear();
  moving.SetLeft(30);
  ASSERT_EQ(list.Current().Dirty().Count(), 2);  // 24 pixels apart: not merged
  EXPECT_EQ(list.Current().Dirty()[0], Bounds(2, 2, 4, 4));
  EXPECT_EQ(list.Current().Dirty()[1], Bounds(30, 2, 4, 4));
  list.Paint();
  EXPECT_EQ(At(list, 3, 3), Rgb(0x00FF00));
  EXPECT_EQ(At(list, 31, 3), Rgb(0x0000FF));
}

TEST_F(Page, OcclusionSkipsHiddenLayersAndChangesNoPixel) {
  TOrbaBaseList plain;
  plain.SetSize(W, H, 32);
  std::vector<TCounting*> layers;
  for (TOrbaBaseList* l : {&list, &plain}) {
    for (int i = 0; i < 10; ++i) {
      TCounting& layer = Counting(*l, Bounds(0, 0, W, H), 0x010203 * (i + 1));
      layer.SetPriority(i);
      if (l == &list) layers.push_back(&layer);
    }
    Box(*l, Bounds(3, 3, 20, 20), 0xFFFFFF, nullptr, 100).SetPriority(20);
    TOrbaBox& inner = Box(*l, Bounds(10, 10, 25, 5), 0x00FF00, nullptr, 400);
    inner.SetPriority(21);
    Box(*l, Bounds(2, 2, 4, 4), 0xFF00FF, &inner).SetPriority(1);
  }
  list.Paint(true);
  plain.Paint(false);
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x)
      ASSERT_EQ(static_cast<TDIBX&>(list.Current().Surface()).Image().GetPixel(x, y),
                static_cast<TDIBX&>(plain.Current().Surface()).Image().GetPixel(x, y))
          << x << "," << y;
  for (int i = 0; i < 9; ++i) EXPECT_EQ(layers[static_cast<size_t>(i)]->drawn, 0) << i;
  EXPECT_EQ(layers[9]->drawn, 1);
}

}  // namespace
}  // namespace orba
