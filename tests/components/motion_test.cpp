// A motion over a fake film: which frames reach the control in which tick, the end with and
// without repeat, the end event or the control freed, and the film following a control the
// script moved.
#include <gtest/gtest.h>

#include "base/process.h"
#include "components/baselist.h"
#include "components/box.h"
#include "components/image.h"
#include "components/motion.h"

namespace orba {
namespace {

// Ten frames, looping from frame 2; it notes every frame it writes and every re-basing.
struct TFakeFilm : IMotionFilm {
  std::vector<int32_t>* applied;
  std::vector<int32_t>* bases;  // the control's Left at each re-basing
  int32_t FrameCount() const override { return 10; }
  int32_t LoopStart() const override { return 2; }
  bool KeepsPositions() const override { return true; }
  void TakeBase(const TOrbaControl& c, bool) override { bases->push_back(c.Left); }
  void Apply(int32_t frame, TOrbaControl& c) override {
    applied->push_back(frame);
    c.SetMotionX(100 + frame);
    c.SubPriority = frame;
  }
};

struct Motion : ::testing::Test {
  TOrbaBaseList list;
  std::vector<int32_t> applied, bases;
  TOrbaBox* box = nullptr;
  void SetUp() override {
    MotionFilmFactory() = [this](const std::string& file, TOrbaControl&) -> std::unique_ptr<IMotionFilm> {
      if (file != "walk.mtn" && file != "Walk.RMT") return nullptr;
      auto film = std::make_unique<TFakeFilm>();
      film->applied = &applied;
      film->bases = &bases;
      return film;
    };
    box = static_cast<TOrbaBox*>(list.CreateByCode(2));
    box->SetName("b");
    box->SetParent(&list.Current());
    box->SetStr(PR_ONPLAYEND, "end.rss");
    box->LoadMotion("walk.mtn");
    Process().FrameDelta = 50;  // three frames a tick
  }
  void TearDown() override { MotionFilmFactory() = nullptr; }
  int PlayEnds() {
    int n = 0;
    for (int i = 0; i < list.Events().Count(); ++i) n += list.Events()[i].Code == PR_ONPLAYEND;
    return n;
  }
};

TEST_F(Motion, PlaysToTheEndOnceAndSaysSo) {
  ASSERT_TRUE(box->HasMotion());
  for (int t = 0; t < 8; ++t) list.Tick();
  // Two ticks that only place the control, then 50 ms a tick: frames 3, 6, 9 (rounded from
  // 16.67 ms a frame); the fourth reaches frame 12 and ends at the last frame.
  EXPECT_EQ(applied, (std::vector<int32_t>{0, 3, 6, 9}));
  EXPECT_EQ(box->Motion->Finished, true);
  EXPECT_EQ(PlayEnds(), 1);
  EXPECT_EQ(box->AbsoluteLeft(), 109);  // the motion's position replaces Left
  box->FreeMotion();
  EXPECT_EQ(box->MotionX, 0);
  EXPECT_EQ(box->SubPriority, 0);
}

TEST_F(Motion, RepeatsFromTheLoopStart) {
  box->SetBool(PR_REPEAT, true);
  for (int t = 0; t < 7; ++t) list.Tick();
  // Tick 5 reaches frame 12: 12 mod 10 + 2 = 4, the clock set back to 67 ms; then 117 ms is
  // frame 7, 167 ms frame 10 again: 0 + 2.
  EXPECT_EQ(applied, (std::vector<int32_t>{0, 3, 6, 9, 4, 7}));
  EXPECT_EQ(PlayEnds(), 0);
}

TEST_F(Motion, AutoScrapFreesTheControlAtTheEnd) {
  box->SetBool(PR_AUTOSCRAP, true);
  for (int t = 0; t < 6; ++t) list.Tick();
  EXPECT_EQ(list.FindComponent("b"), nullptr);
  EXPECT_EQ(PlayEnds(), 0);
}

TEST_F(Motion, AControlMovedByTheScriptMovesTheFilmAndPlaysOn) {
  for (int t = 0; t < 8; ++t) list.Tick();
  ASSERT_TRUE(box->Motion->Finished);
  box->SetLeft(40);
  list.Tick();
  // Re-based at the new place, unfinished, the last frame written again; then it ends again.
  EXPECT_EQ(bases, (std::vector<int32_t>{0, 40}));
  EXPECT_EQ(applied.back(), 9);
  EXPECT_EQ(applied.size(), 5u);
  EXPECT_TRUE(box->Motion->Finished);
  box->RestartMotion();
  box->AniPaused = true;  // a paused animation keeps its clock
  for (int t = 0; t < 4; ++t) list.Tick();
  EXPECT_EQ(box->Motion->ElapsedMs, 0);
}

// A ".rmt" source attaches the motion: a box only stores any other source; animated pictures
// are placed at once, count and index the film's frames, and end like the box.
TEST_F(Motion, AMotionSourceAttachesItToBoxesAndPictures) {
  auto& other = static_cast<TOrbaBox&>(*list.CreateByCode(2));
  other.SetStr(PR_SOURCE, "walk.trn");
  EXPECT_FALSE(other.HasMotion());
  other.SetStr(PR_SOURCE, "Walk.RMT");
  EXPECT_TRUE(other.HasMotion());

  auto& images = static_cast<TOrbaImages&>(*list.CreateByCode(8));
  images.SetName("i");
  images.SetParent(&list.Current());
  images.SetStr(PR_ONPLAYEND, "end.rss");
  applied.clear();
  images.SetStr(PR_SOURCE, "Walk.RMT");
  ASSERT_TRUE(images.HasMotion());
  EXPECT_EQ(applied, (std::vector<int32_t>{0}));  // placed before the first tick
  EXPECT_EQ(images.MotionX, 100);
  EXPECT_EQ(images.GetInt(PR_COUNT), 10);
  EXPECT_TRUE(images.GetBool(PR_PLAYING));
  box->FreeMotion();  // only the pictures play now
  list.Events().Clear();
  std::vector<int32_t> indices;
  for (int t = 0; t < 6; ++t) {
    list.Tick();
    indices.push_back(images.GetInt(PR_INDEX));
  }
  // Restarted: two ticks that place it, then 50 ms a tick as for the box.
  EXPECT_EQ(indices, (std::vector<int32_t>{0, 0, 3, 6, 9, 9}));
  EXPECT_FALSE(images.GetBool(PR_PLAYING));
  EXPECT_EQ(PlayEnds(), 1);
  // The index sets the clock; switching repeat on plays a finished motion again.
  images.SetInt(PR_INDEX, 6);
  EXPECT_EQ(images.Motion->ElapsedMs, 100);
  images.SetBool(PR_REPEAT, true);
  EXPECT_TRUE(images.GetBool(PR_PLAYING));
  EXPECT_EQ(images.Motion->ElapsedMs, 0);
  // A picture source frees the motion.
  images.SetStr(PR_SOURCE, "walk.trn");
  EXPECT_FALSE(images.HasMotion());
  EXPECT_EQ(images.MotionX, 0);

  auto& scrapped = static_cast<TOrbaImages&>(*list.CreateByCode(8));
  scrapped.SetName("s");
  scrapped.SetBool(PR_AUTOSCRAP, true);
  scrapped.SetStr(PR_SOURCE, "Walk.RMT");
  for (int t = 0; t < 6; ++t) list.Tick();
  EXPECT_EQ(list.FindComponent("s"), nullptr);
}

// A button's click motion plays once when clicked, says so, and the button returns to normal;
// the normal state has no motion, so the place the film wrote is dropped.
TEST_F(Motion, AButtonsClickMotionPlaysOnceAndReturns) {
  box->FreeMotion();
  auto& b = static_cast<TOrbaButton&>(*list.CreateByCode(3));
  b.SetParent(&list.Current());
  b.SetStr(PR_ONPLAYEND, "end.rss");
  b.SetStr(PR_CLICKEDSOURCE, "Walk.RMT");
  EXPECT_FALSE(b.HasMotion());  // kept aside until clicked
  for (int round = 0; round < 2; ++round) {
    applied.clear();
    b.Click();
    ASSERT_EQ(b.State, 3) << round;
    ASSERT_TRUE(b.HasMotion());
    int ticks = 0;
    while (b.State == 3 && ticks < 20) {
      list.Tick();
      ++ticks;
    }
    EXPECT_EQ(applied, (std::vector<int32_t>{0, 3, 6, 9})) << round;
    // Two placing ticks, frames 3, 6, 9, and the sixth tick reaches frame 12: the end.
    EXPECT_EQ(ticks, 6) << round;
    EXPECT_EQ(b.State, 0);
    EXPECT_FALSE(b.HasMotion());
    EXPECT_EQ(b.MotionX, 0);
    EXPECT_EQ(PlayEnds(), 1) << round;
    list.Events().Clear();
  }
}

}  // namespace
}  // namespace orba
