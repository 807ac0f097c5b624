#include <gtest/gtest.h>

#include "base/error.h"
#include "base/process.h"
#include "platform/headless/headless.h"
#include "shell/view.h"
#include "shell/recording.h"

namespace orba {
namespace {

using namespace platform;
using testing_support::RecordingSubsystems;
using Calls = std::vector<std::string>;

// A window over the headless platform with recording subsystems.
struct ViewFixture : ::testing::Test {
  headless::HeadlessPlatform headless;
  headless::FakeClock& clock = headless.clock;
  headless::Window& window = headless.window;
  headless::ScriptedDialogs& dialogs = headless.dialogs;
  Platform& platform = headless.platform;
  RecordingSubsystems subs;
  std::unique_ptr<TFormView> view;

  void SetUp() override {
    view = std::make_unique<TFormView>(platform, subs, TViewOptions{{}, "/nonexistent-orba-test/", ""});
  }

  // Creates the window and runs the first tick, which tries the logo; the script runs from then on.
  void Start() {
    view->FormCreate();
    Idle(16);
    subs.Clear();
  }

  bool Idle(uint32_t advanceMs) {
    clock.Advance(advanceMs);
    bool done = false;
    view->ApplicationEventsIdle(done);
    return done;
  }
};

const Calls kFullTick = {"VirtualFileUpkeep", "InputUpdate",    "RunInterpreter", "ComponentUpdate",
                         "ProcessProjectRequests", "ComposeFrame", "PresentFrame", "ClearClipLists"};

TEST_F(ViewFixture, StartUpRunsInOrderAndSizesTheWindow) {
  view->FormCreate();
  EXPECT_EQ(subs.calls, (Calls{"RegisterEmptyArchive", "OpenProjectData", "CreateVariables", "CreateSystemFunctions",
                               "InitSound", "OrbaInitialize", "CreateProject", "MediaInit", "OrbaInitColor",
                               "SetRootSize"}));
  EXPECT_EQ(window.clientWidth, 320);
  EXPECT_EQ(window.clientHeight, 240 + TFormView::kDockHeight);
  EXPECT_TRUE(window.centered);
  EXPECT_EQ(window.caption, "\xE3\x83\x86\xE3\x82\xB9\xE3\x83\x88");  // the project name テスト
  EXPECT_EQ(view->PanelLeft(), 0);
  EXPECT_EQ(view->PanelTop(), TFormView::kDockHeight);
}

TEST_F(ViewFixture, TickRunsEachStepInOrder) {
  Start();
  EXPECT_FALSE(Idle(16));
  EXPECT_EQ(subs.calls, kFullTick);
  EXPECT_EQ(Process().UpdateCount, 2);
}

TEST_F(ViewFixture, FirstTickTriesTheLogoAndTheScriptRunsFromTheNext) {
  view->FormCreate();
  subs.Clear();
  Idle(16);
  EXPECT_EQ(subs.calls[2], "LogoCreate");
  EXPECT_TRUE(view->LogoDone());
  subs.Clear();
  Idle(16);
  EXPECT_EQ(subs.calls[2], "RunInterpreter");
}

TEST_F(ViewFixture, LogoPlaysUntilAClickDeletesIt) {
  subs.logo = true;
  view->FormCreate();
  Idle(16);  // creates the animation
  Idle(16);  // plays
  EXPECT_FALSE(view->LogoDone());
  subs.bases[0].LeftClick = true;
  subs.Clear();
  Idle(16);  // the click deletes it
  EXPECT_EQ(subs.calls[2], "LogoDelete");
  subs.bases[0].LeftClick = false;
  Idle(16);  // gone from the root: the logo ends, its archive goes
  EXPECT_TRUE(view->LogoDone());
  EXPECT_NE(std::find(subs.calls.begin(), subs.calls.end(), "LogoRemoveArchive"), subs.calls.end());
}

TEST_F(ViewFixture, AGameLoadMakesItsTickDrawNothing) {
  Start();
  subs.loadRequest = true;
  Idle(16);
  EXPECT_EQ(subs.calls, Calls(kFullTick.begin(), kFullTick.begin() + 5));
  subs.Clear();
  Idle(16);
  EXPECT_EQ(subs.calls, kFullTick);
}

TEST_F(ViewFixture, TerminatingInTheInterpreterEndsTheTick) {
  Start();
  subs.terminateInInterpreter = true;
  Idle(16);
  EXPECT_EQ(subs.calls, Calls(kFullTick.begin(), kFullTick.begin() + 3));
  EXPECT_EQ(Process().UpdateCount, 1);
  EXPECT_TRUE(Idle(16));  // stopping: the loop waits for messages
}

TEST_F(ViewFixture, StallsAboveThreeSecondsCostNoGameTime) {
  Start();
  int32_t before = Process().GameTime;
  Idle(3000);
  EXPECT_EQ(Process().GameTime, before + 3000);
  EXPECT_EQ(Process().FrameDelta, 3000);
  subs.Clear();
  Idle(3001);
  EXPECT_EQ(Process().GameTime, before + 3000);
  EXPECT_TRUE(subs.calls.empty());
  Idle(16);  // the stall reset the tick clock: the next delta is counted from it
  EXPECT_EQ(Process().GameTime, before + 3016);
}

TEST_F(ViewFixture, PacingSleepsForTheRestOfTheTickButAtLeastTwoMs) {
  Start();
  Idle(16);
  EXPECT_EQ(clock.LastSleep(), 16u);  // the fake clock did not move during the tick
  struct SlowTick : RecordingSubsystems {
    headless::FakeClock* clock = nullptr;
    uint32_t spend = 0;
    void ComponentUpdate() override { clock->Advance(spend); }
  };
  SlowTick slow;
  slow.clock = &clock;
  TFormView v(platform, slow, TViewOptions{{}, "/nonexistent-orba-test/", ""});
  v.FormCreate();
  for (auto [spend, sleep] : {std::pair{10u, 6u}, {14u, 2u}, {15u, 2u}, {40u, 2u}}) {
    slow.spend = spend;
    clock.Advance(16);
    bool done;
    v.ApplicationEventsIdle(done);
    EXPECT_EQ(clock.LastSleep(), sleep) << "spent " << spend;
  }
  subs.pacing = false;
  TFormView unpaced(platform, subs, TViewOptions{{}, "/nonexistent-orba-test/", ""});
  unpaced.FormCreate();
  uint64_t slept = clock.TotalSlept();
  clock.Advance(16);
  bool done;
  unpaced.ApplicationEventsIdle(done);
  EXPECT_EQ(clock.TotalSlept(), slept);
}

TEST_F(ViewFixture, InactiveWindowDoesNotTickAndPausesMedia) {
  Start();
  subs.keys.KeyDown[65] = 1;
  view->HandleEvent({EventKind::Deactivate});
  EXPECT_EQ(subs.calls, Calls{"SuspendMedia"});
  EXPECT_EQ(subs.keys.KeyDown[65], 0);  // keyboard state cleared
  int32_t before = Process().GameTime;
  EXPECT_TRUE(Idle(500));
  view->HandleEvent({EventKind::Activate});
  EXPECT_FALSE(Idle(16));
  // Time spent inactive does not count: only the 16 ms after activation.
  EXPECT_EQ(Process().GameTime, before + 16);
}

TEST_F(ViewFixture, ExitQuestionNoRestoresTheStopFlag) {
  Start();
  for (bool before : {false, true}) {
    Process().Terminating = before;
    dialogs.QueueAnswer(DialogResult::No);
    view->HandleEvent({EventKind::ToolbarExit});
    EXPECT_EQ(Process().Terminating, before);
    EXPECT_FALSE(view->ClosePosted());
  }
  ASSERT_EQ(dialogs.shown.size(), 2u);
  // 「テスト」を終了しますか？ with the project name as caption.
  EXPECT_EQ(dialogs.shown[0].text,
            "\xE3\x80\x8C\xE3\x83\x86\xE3\x82\xB9\xE3\x83\x88\xE3\x80\x8D\xE3\x82\x92\xE7\xB5\x82\xE4\xBA\x86\xE3\x81"
            "\x97\xE3\x81\xBE\xE3\x81\x99\xE3\x81\x8B\xEF\xBC\x9F");
  EXPECT_EQ(dialogs.shown[0].caption, "\xE3\x83\x86\xE3\x82\xB9\xE3\x83\x88");
  Process().Terminating = false;
  dialogs.QueueAnswer(DialogResult::Yes);
  view->HandleEvent({EventKind::ToolbarExit});
  EXPECT_TRUE(view->ClosePosted());
  EXPECT_TRUE(Process().Terminating);
}

// A script that never waits never ends its tick; while it runs, the window's events are
// still taken (at most every 50 ms): the exit question can be answered No and the script goes
// on, the close button stops it. Other events wait for the end of the tick.
TEST_F(ViewFixture, AScriptThatNeverWaitsStillSeesTheExitQuestionAndTheCloseButton) {
  struct Spinning : RecordingSubsystems {
    headless::FakeClock* clock = nullptr;
    int calls = 0;
    void RunInterpreter() override {
      while (!Process().Terminating && calls < 1000) {
        clock->Advance(10);
        ++calls;
        KeepResponsive();
      }
    }
  };
  Spinning spinning;
  spinning.clock = &clock;
  TFormView v(platform, spinning, TViewOptions{{}, "/nonexistent-orba-test/", ""});
  v.FormCreate();
  v.Tick();  // the logo's tick
  headless.input.At(1, {EventKind::KeyDown, 0, 0, MouseButton::Left, 65});
  headless.input.At(2, {EventKind::ToolbarExit});
  headless.input.At(3, {EventKind::CloseRequest});
  dialogs.QueueAnswer(DialogResult::No);
  v.Tick();
  EXPECT_EQ(headless.input.Pass(), 3);  // polled at most every 50 ms, until the close
  EXPECT_GT(spinning.calls, 3 * 3);     // calls 10 ms apart: most of them do not poll
  EXPECT_TRUE(Process().Terminating);
  EXPECT_TRUE(v.ClosePosted());
  EXPECT_EQ(dialogs.shown.size(), 1u);
  ASSERT_NE(spinning.Keyboard(), nullptr);
  EXPECT_EQ(spinning.Keyboard()->KeyDown[65], 0);  // not inside the tick
}

TEST_F(ViewFixture, ShutdownRunsInOrderOnce) {
  Start();
  view->FormClose();
  view->FormClose();
  EXPECT_EQ(subs.calls, (Calls{"FreeProject", "FreeSystemFunctions", "FreeVariables", "OrbaFinalize", "MediaFinal",
                               "FinalizeFiles"}));
  EXPECT_TRUE(Process().Terminating);
}

TEST_F(ViewFixture, InputReachesTheScreenPages) {
  Start();
  int top = TFormView::kDockHeight;
  view->HandleEvent({EventKind::MouseMove, 50, top + 60});
  view->HandleEvent({EventKind::MouseDown, 50, top + 60, MouseButton::Left});
  for (auto& b : subs.bases) {
    EXPECT_EQ(b.MouseX, 50);
    EXPECT_EQ(b.MouseY, 60);
    EXPECT_TRUE(b.LeftHeld);
  }
  EXPECT_TRUE(subs.bases[0].LeftPressed);   // the current page latches the press
  EXPECT_FALSE(subs.bases[1].LeftPressed);
  // Releasing one button ends both holds on both pages.
  view->HandleEvent({EventKind::MouseDown, 50, top + 60, MouseButton::Right});
  view->HandleEvent({EventKind::MouseUp, 50, top + 60, MouseButton::Right});
  for (auto& b : subs.bases) {
    EXPECT_FALSE(b.LeftHeld);
    EXPECT_FALSE(b.RightHeld);
  }
  view->HandleEvent({EventKind::WheelDown});
  EXPECT_EQ(subs.bases[0].WheelDown, 1);

  InputEvent key{EventKind::KeyDown};
  key.key = 13;
  view->HandleEvent(key);
  EXPECT_EQ(subs.keys.KeyDown[13], 1);
  EXPECT_EQ(subs.keys.KeyClicked[13], 1);
  subs.keys.KeyClicked[13] = 0;
  key.repeat = true;  // auto-repeat is ignored
  view->HandleEvent(key);
  EXPECT_EQ(subs.keys.KeyClicked[13], 0);
  key.kind = EventKind::KeyUp;
  view->HandleEvent(key);
  EXPECT_EQ(subs.keys.KeyDown[13], 0);
}

TEST_F(ViewFixture, FullScreenHidesTheToolbarAndShowsItOnTheTopRow) {
  Start();
  view->HandleEvent({EventKind::ToolbarFullScreen});
  EXPECT_TRUE(view->FullScreen());
  EXPECT_TRUE(window.fullScreen);
  EXPECT_FALSE(window.toolbarVisible);
  EXPECT_EQ(view->PanelTop(), 0);
  view->HandleEvent({EventKind::MouseMove, 10, 0});
  EXPECT_TRUE(window.toolbarVisible);
  view->HandleEvent({EventKind::MouseMove, 10, 5});
  EXPECT_FALSE(window.toolbarVisible);
  view->HandleEvent({EventKind::ToolbarFullScreen});
  EXPECT_FALSE(window.fullScreen);
  EXPECT_TRUE(window.toolbarVisible);
  EXPECT_EQ(window.clientHeight, 240 + TFormView::kDockHeight);
  EXPECT_EQ(view->PanelTop(), TFormView::kDockHeight);
}

TEST_F(ViewFixture, TicksNeverNest) {
  struct Reentrant : RecordingSubsystems {
    TFormView* view = nullptr;
    void ComponentUpdate() override {
      Log("ComponentUpdate");
      view->Tick();  // a tick message arriving inside a tick does nothing
    }
  };
  Reentrant r;
  TFormView v(platform, r, TViewOptions{{}, "/nonexistent-orba-test/", ""});
  r.view = &v;
  v.FormCreate();
  r.Clear();
  v.Tick();
  EXPECT_EQ(std::count(r.calls.begin(), r.calls.end(), "VirtualFileUpkeep"), 1);
}

TEST_F(ViewFixture, AFailedProjectClosesTheWindowBeforeAnyTick) {
  struct Failing : RecordingSubsystems {
    void CreateProject() override { Process().Terminating = true; }
  };
  Failing f;
  TFormView v(platform, f, TViewOptions{{}, "/nonexistent-orba-test/", ""});
  v.FormCreate();
  EXPECT_TRUE(v.ClosePosted());
  EXPECT_FALSE(window.shown);
}

TEST_F(ViewFixture, AnErrorInTheSecondStageIsShownAndClosesTheWindow) {
  struct Throwing : RecordingSubsystems {
    void OrbaInitialize() override { throw std::runtime_error("boom"); }
    void InitSound() override { throw std::runtime_error("no sound"); }  // ignored
  };
  Throwing t;
  TFormView v(platform, t, TViewOptions{{}, "/nonexistent-orba-test/", ""});
  v.FormCreate();
  EXPECT_TRUE(v.ClosePosted());
  ASSERT_EQ(dialogs.shown.size(), 1u);
  EXPECT_EQ(dialogs.shown[0].text, "boom");
  EXPECT_EQ(dialogs.shown[0].caption, "\xE8\xAD\xA6\xE5\x91\x8A");  // 警告
}

// An error that escapes a step of the tick stops the player: its text (code page 932 inside)
// is shown in UTF-8 in a warning box, and the normal shutdown follows.
TEST_F(ViewFixture, AnErrorInATickIsShownAndTheShutdownRuns) {
  struct Throwing : RecordingSubsystems {
    void ComponentUpdate() override {
      Log("ComponentUpdate");
      throw EOrbaError("\x83\x79\x81\x5B\x83\x57");  // ページ
    }
  };
  Throwing t;
  TFormView v(platform, t, TViewOptions{{}, "/nonexistent-orba-test/", ""});
  v.FormCreate();
  t.Clear();
  v.RunMessageLoop();
  EXPECT_TRUE(v.Failed());
  ASSERT_EQ(dialogs.shown.size(), 1u);
  EXPECT_EQ(dialogs.shown[0].caption, "\xE8\xAD\xA6\xE5\x91\x8A");  // 警告
  EXPECT_EQ(dialogs.shown[0].text, "\xE3\x83\x9A\xE3\x83\xBC\xE3\x82\xB8");  // ページ
  EXPECT_EQ(t.calls, (Calls{"VirtualFileUpkeep", "InputUpdate", "LogoCreate", "ComponentUpdate", "FreeProject",
                            "FreeSystemFunctions", "FreeVariables", "OrbaFinalize", "MediaFinal", "FinalizeFiles"}));
}

// A display that refuses full screen: the screen manager goes back to the window mode, the
// toolbar shows again, the window gets its size with the toolbar strip back, and the panel
// sits below the strip; the surfaces are made again either way.
TEST_F(ViewFixture, ARefusedFullScreenGoesBackToTheWindow) {
  struct Modes : RecordingSubsystems {
    bool SetScreenMode(bool full) override {
      Log(full ? "SetScreenMode(full)" : "SetScreenMode(window)");
      return true;
    }
    void ReleaseSurfaces() override { Log("ReleaseSurfaces"); }
    void RestoreSurfaces() override { Log("RestoreSurfaces"); }
  };
  Modes m;
  TFormView v(platform, m, TViewOptions{{}, "/nonexistent-orba-test/", ""});
  v.FormCreate();
  window.refuseFullScreen = true;
  window.clientHeight = 0;
  m.Clear();
  v.HandleEvent({EventKind::ToolbarFullScreen});
  EXPECT_FALSE(v.FullScreen());
  EXPECT_FALSE(window.fullScreen);
  EXPECT_TRUE(window.toolbarVisible);
  EXPECT_EQ(window.clientHeight, 240 + TFormView::kDockHeight);
  EXPECT_EQ(v.PanelTop(), TFormView::kDockHeight);
  EXPECT_EQ(m.calls, (Calls{"ReleaseSurfaces", "SetScreenMode(full)", "SetScreenMode(window)", "RestoreSurfaces"}));
  // Once the display allows it, the same button switches.
  window.refuseFullScreen = false;
  v.HandleEvent({EventKind::ToolbarFullScreen});
  EXPECT_TRUE(v.FullScreen());
  EXPECT_EQ(v.PanelTop(), 0);
}

}  // namespace
}  // namespace orba
