// A motion over a fake film: which frames reach the control in which tick, the end with and
// without repeat, the end event or the control freed, and the film following a control the
// script moved.
#include <gtest/gtest.h>

#include "base/process.h"
#include "components/baselist.h"
#include "components/box.h"
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
      if (file != "walk.mtn") return nullptr;
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

}  // namespace
}  // namespace orba
