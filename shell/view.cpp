#include "shell/view.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <cstdlib>
#include <filesystem>

#include "base/cp932.h"
#include "base/error.h"
#include "base/process.h"
#include "components/input_state.h"
#include "media/orbalib.h"
#include "shell/screenshot.h"

namespace orba {

using platform::EventKind;
using platform::MouseButton;

TFormView::TFormView(platform::Platform& platform, TSubsystems& subsystems, TViewOptions options, TPlayOptions play)
    : p_(platform), s_(subsystems), options_(std::move(options)), play_(std::move(play)) {
  s_.PostClose = [this] { closePosted_ = true; };
  s_.KeepResponsive = [this] { KeepResponsive(); };
  s_.MovePointer = [this](int32_t x, int32_t y) { p_.window->WarpMouse(x + panelLeft_, y + panelTop_); };
  if (p_.audio) {
    device_ = p_.audio;
    mute_ = std::make_unique<TAudioMute>(*device_);
    p_.audio = mute_.get();
  }
}

TFormView::~TFormView() {
  if (mute_) p_.audio = device_;
}

void TFormView::ReadGameIni() {
  std::string ini = options_.ExeFolder + "game.ini";
  if (!std::filesystem::exists(ini)) return;
  auto& proc = Process();
  if (auto v = p_.settings->Read(ini, "Sound", "DirectSound")) {
    std::string t = LowerCase(*v);
    if (t == "0" || t == "false") proc.DirectSoundEnabled = false;
    else if (t == "1" || t == "true") proc.DirectSoundEnabled = true;
  }
  if (auto v = p_.settings->Read(ini, "Sound", "DelayTime")) {
    char* end = nullptr;
    long delay = std::strtol(v->c_str(), &end, 10);
    if (end != v->c_str()) proc.SoundDelay = static_cast<int32_t>(std::clamp<long>(delay / 100 * 100, 100, 500));
  }
}

void TFormView::FormCreate() {
  auto& proc = Process();
  std::error_code ignored;
  std::filesystem::remove(options_.ExeFolder + "orbaplay.log", ignored);
  Randomize(p_.clock->NowMs());
  ReadGameIni();
  p_.window->SetCaption("OrbaPlayer");
  s_.RegisterEmptyArchive();
  s_.OpenProjectData(options_.Params, options_.ExePath);
  s_.CreateVariables();
  s_.CreateSystemFunctions();
  if (!play_.SaveDir.empty()) s_.SetSaveFolder(play_.SaveDir);

  try {
    if (proc.DirectSoundEnabled) {
      try {
        s_.InitSound();
      } catch (...) {
        // no sound device: the player runs silent
      }
    }
    s_.OrbaInitialize();
    s_.CreateProject();
    project_ = s_.ProjectInfo();
    if (!project_.Name.empty()) p_.window->SetCaption(ToUtf8(project_.Name));
    s_.MediaInit();
    s_.OrbaInitColor();
    p_.window->SetClientSize(project_.ScreenWidth, project_.ScreenHeight + kDockHeight);
    p_.window->CenterOnWorkArea();
    s_.SetRootSize(project_.ScreenWidth, project_.ScreenHeight);
    PlacePanel();
  } catch (...) {
    Fail(CurrentErrorText());
  }

  if (proc.Terminating) {
    closePosted_ = true;
  } else if (!closePosted_) {
    p_.window->Show();
    idleAttached_ = true;
    lastTick_ = p_.clock->NowMs();
    if (play_.FastForward) SetFastForward(true);
  }
}

void TFormView::PlacePanel() {
  int clientWidth = project_.ScreenWidth;
  int clientHeight = project_.ScreenHeight + (fullScreen_ ? 0 : kDockHeight);
  panelLeft_ = (clientWidth - project_.ScreenWidth) / 2;
  panelTop_ = fullScreen_ ? (clientHeight - project_.ScreenHeight) / 2 : kDockHeight;
}

void TFormView::ApplicationEventsIdle(bool& done) {
  auto& proc = Process();
  done = !idleAttached_ || proc.Terminating || !active_ || closePosted_ || !s_.HasScreenManager();
  if (done) return;

  uint32_t now = p_.clock->NowMs();
  uint32_t delta = now - lastTick_;
  if (delta > kStallMs) {  // a long stall costs no game time
    lastTick_ = now;
    return;
  }
  proc.GameTime += static_cast<int32_t>(delta);
  proc.FrameDelta = static_cast<int32_t>(delta);
  lastTick_ = now;

  if (!fastForward_) {
    Tick();
  } else {
    // Each further tick has the usual length; only the last one's frame is shown, with the
    // pieces of the ones before it.
    for (int i = 0; i < kFastForwardTicks && !proc.Terminating && !closePosted_; ++i) {
      if (i > 0) {
        proc.GameTime += TProcessState::TickInterval;
        proc.FrameDelta = TProcessState::TickInterval;
      }
      holdFrame_ = i < kFastForwardTicks - 1;
      Tick();
    }
    holdFrame_ = false;
  }

  if (project_.Pacing) {
    int32_t spent = static_cast<int32_t>(p_.clock->NowMs() - now);
    p_.clock->SleepMs(static_cast<uint32_t>(std::max(2, TProcessState::TickInterval - spent)));
  }
}

void TFormView::Tick() {
  if (inTick_) return;  // ticks never nest
  struct Guard {
    bool& flag;
    explicit Guard(bool& f) : flag(f) { flag = true; }
    ~Guard() { flag = false; }
  } guard(inTick_);
  // No error leaves a tick: it stops the player with a warning and the normal shutdown.
  try {
    TickSteps();
  } catch (...) {
    Fail(CurrentErrorText());
  }
}

namespace {

double SteadyMs() {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

}  // namespace

void TFormView::TickSteps() {
  auto& proc = Process();
  if (!s_.HasProject()) return;
  const double start = SteadyMs();
  lastPoll_ = p_.clock->NowMs();
  s_.VirtualFileUpkeep(proc.FrameDelta);
  s_.InputUpdate();
  if (logoDone_) s_.RunInterpreter();
  else LogoStep();
  if (proc.Terminating) return;
  s_.ComponentUpdate();
  ++proc.UpdateCount;
  if (s_.ProcessProjectRequests()) skipDraw_ = 1;
  const double painting = SteadyMs();
  frameTime_.tickMs += painting - start;
  if (skipDraw_ > 0) {
    --skipDraw_;
  } else {
    s_.ComposeFrame();
    s_.PresentFrame(frames_, panelLeft_, panelTop_);
    s_.ClearClipLists();
  }
  frameTime_.paintMs += SteadyMs() - painting;
  if (!holdFrame_) ShowFrame();
}

void TFormView::ShowFrame() {
  const double start = SteadyMs();
  if (!frameTimesShown_) {
    frames_.Flush(*p_.presenter);
  } else {
    frames_.Flush(*p_.presenter, [this](uint32_t* pixels, int width, int height, platform::PresentPiece& rect) {
      frameTimes_.Draw(pixels, width, height, rect);
    });
  }
  frameTime_.atMs = SteadyMs();
  frameTime_.presentMs = frameTime_.atMs - start;
  frameTimes_.Add(frameTime_);
  frameTime_ = {};
}

void TFormView::LogoStep() {
  if (!logoAnimation_) {
    logoAnimation_ = s_.LogoCreate();
    // Without a logo to play the script starts with the next tick.
    if (!logoAnimation_) logoDone_ = true;
  } else if (!s_.LogoAlive()) {
    logoDone_ = true;
    logoAnimation_ = false;
    s_.LogoRemoveArchive();
  } else if (s_.LogoFixLabel()) {
  } else if (s_.LogoClicked() && s_.LogoLabelUnderMouse()) {
    p_.shell->OpenUrl(kMakerUrl);
  } else {
    TKeyboardState* keys = s_.Keyboard();
    bool keyPressed = keys && (keys->KeyClickedTick[32] || keys->KeyClickedTick[13]);
    if (s_.LogoClicked() || keyPressed) s_.LogoDelete();
  }
}

void TFormView::HandleEvent(const platform::InputEvent& e) {
  switch (e.kind) {
    case EventKind::MouseMove: PanelMouseMove(e.x, e.y); break;
    case EventKind::MouseDown:
      PanelMouseMove(e.x, e.y);
      PanelMouseDown(e.button);
      break;
    case EventKind::MouseUp:
      PanelMouseMove(e.x, e.y);
      PanelMouseUp(e.button);
      break;
    case EventKind::WheelDown:
    case EventKind::WheelUp:
      if (TBaseInput* b = s_.BaseInput(s_.CurrentBase()))
        ++(e.kind == EventKind::WheelDown ? b->WheelDown : b->WheelUp);
      break;
    case EventKind::KeyDown: KeyDown(e.key, e.repeat); break;
    case EventKind::KeyUp: KeyUp(e.key); break;
    case EventKind::Activate: ApplicationEventsActivate(); break;
    case EventKind::Deactivate: ApplicationEventsDeactivate(); break;
    case EventKind::MoveSizeBegin: s_.SuspendMedia(); break;
    case EventKind::MoveSizeEnd:
      lastTick_ = p_.clock->NowMs();  // the pause costs no game time
      s_.ResumeMedia();
      break;
    case EventKind::CloseRequest: closePosted_ = true; break;
    case EventKind::ToolbarExit: ConfirmExit(); break;
    case EventKind::ToolbarFullScreen: SetFullScreen(!fullScreen_); break;
    case EventKind::RunTick: Tick(); break;
    case EventKind::ToolbarFastForward: SetFastForward(!fastForward_); break;
  }
}

void TFormView::PanelMouseDown(MouseButton b) {
  if (!active_ || b == MouseButton::Middle) return;
  bool left = b == MouseButton::Left;
  for (int i = 0; i < 2; ++i)
    if (TBaseInput* base = s_.BaseInput(i)) (left ? base->LeftHeld : base->RightHeld) = true;
  if (TBaseInput* base = s_.BaseInput(s_.CurrentBase())) (left ? base->LeftPressed : base->RightPressed) = true;
}

// Any release on the panel ends the holds of both buttons on both pages, as projects expect:
// a hold is one gesture, not a count of buttons.
void TFormView::PanelMouseUp(MouseButton) {
  for (int i = 0; i < 2; ++i)
    if (TBaseInput* base = s_.BaseInput(i)) base->LeftHeld = base->RightHeld = false;
}

void TFormView::PanelMouseMove(int x, int y) {
  for (int i = 0; i < 2; ++i)
    if (TBaseInput* base = s_.BaseInput(i)) base->SetMouse(x - panelLeft_, y - panelTop_);
  // In full screen the toolbar shows while the mouse is on the top row (or above it, in the
  // border a picture of another shape leaves).
  if (fullScreen_) {
    bool show = y <= 0;
    if (show != toolbarVisible_) {
      toolbarVisible_ = show;
      p_.window->SetToolbarVisible(show);
    }
  }
}

void TFormView::KeyDown(int key, bool repeat) {
  if (key < 0 || key > 255 || repeat || !active_) return;
  if (TKeyboardState* keys = s_.Keyboard()) {
    keys->SetKey(key, true);
    keys->SetKeyClicked(key);
  }
  if (key == kKeyFastForward) SetFastForward(!fastForward_);
  if (key == kKeyFrameTimes) SetFrameTimes(!frameTimesShown_);
  if (key == kKeyScreenshot) TakeScreenshot();
}

void TFormView::KeyUp(int key) {
  if (key < 0 || key > 255) return;
  if (TKeyboardState* keys = s_.Keyboard()) keys->SetKey(key, false);
}

void TFormView::ApplicationEventsActivate() {
  active_ = true;
  lastTick_ = p_.clock->NowMs();
  s_.ResumeMedia();
}

void TFormView::ApplicationEventsDeactivate() {
  active_ = false;
  s_.SuspendMedia();
  if (TKeyboardState* keys = s_.Keyboard()) keys->Clear();
}

void TFormView::ConfirmExit() {
  auto& proc = Process();
  bool saved = proc.Terminating;
  proc.Terminating = true;  // the script stops while the question is open
  // "「%s」を終了しますか？" with the project name, which is also the caption.
  std::string question = Sjis(u8"「") + project_.Name + Sjis(u8"」を終了しますか？");
  std::string name = ToUtf8(project_.Name);
  auto answer = p_.dialogs->MessageBox(name, ToUtf8(question), platform::DialogButtons::YesNo, platform::DialogIcon::Question);
  if (answer == platform::DialogResult::Yes) closePosted_ = true;
  else proc.Terminating = saved;
}

void TFormView::KeepResponsive() {
  if (!p_.input) return;
  uint32_t now = p_.clock->NowMs();
  if (now - lastPoll_ < kBusyPollMs) return;
  lastPoll_ = now;
  std::vector<platform::InputEvent> events;
  p_.input->Poll(events);
  for (const auto& e : events) {
    if (e.kind == EventKind::CloseRequest) {
      closePosted_ = true;
      Process().Terminating = true;
    } else if (e.kind == EventKind::ToolbarExit) {
      ConfirmExit();
    } else {
      deferred_.push_back(e);
    }
  }
}

void TFormView::SetFullScreen(bool on) {
  if (on == fullScreen_) return;
  if (on && (!s_.HasFullScreenMode() || !p_.window->CanFullScreen())) return;
  s_.ReleaseSurfaces();
  s_.SuspendVideos();
  if (on) {
    p_.window->SetToolbarVisible(false);
    toolbarVisible_ = false;
    if (s_.SetScreenMode(true) && p_.window->SetFullScreen(true)) {
      fullScreen_ = true;
    } else {
      s_.SetScreenMode(false);
      p_.window->SetToolbarVisible(true);
      toolbarVisible_ = true;
      p_.window->SetClientSize(project_.ScreenWidth, project_.ScreenHeight + kDockHeight);
    }
  } else {
    p_.window->SetToolbarVisible(true);
    toolbarVisible_ = true;
    s_.SetScreenMode(false);
    p_.window->SetFullScreen(false);
    fullScreen_ = false;
    p_.window->SetClientSize(project_.ScreenWidth, project_.ScreenHeight + kDockHeight);
  }
  s_.PublishWindowHandles();
  PlacePanel();
  s_.RestoreSurfaces();
  s_.ResumeVideos();
}

void TFormView::SetFastForward(bool on) {
  fastForward_ = on;
  if (mute_) mute_->SetMuted(on);
  p_.window->SetFastForward(on);
}

void TFormView::SetFrameTimes(bool on) {
  frameTimesShown_ = on;
  frameTimes_.Clear();
  // The overlay appears, or what it covered comes back, at once.
  if (!on) frames_.Flush(*p_.presenter);
}

std::string TFormView::TakeScreenshot() {
  const platform::Frame frame = frames_.Kept();
  if (!frame.pixels) return {};
  std::string folder = p_.paths ? p_.paths->PicturesFolder() : std::string();
  folder = folder.empty() ? s_.SaveFolder() : folder + "orbaplayer/";
  std::error_code ec;
  if (folder.empty() || (std::filesystem::create_directories(folder, ec), ec)) {
    std::fprintf(stderr, "orbaplayer: no folder for a screenshot (%s)\n", folder.c_str());
    return {};
  }
  const std::string path = ScreenshotPath(folder, ToUtf8(project_.Name), std::time(nullptr));
  const bool written = WriteFramePng(path, frame);
  const std::string line = (written ? "screenshot: " : "screenshot not written: ") + path;
  std::fprintf(stderr, "orbaplayer: %s\n", line.c_str());
  if (OrbaLog().Enabled()) OrbaLog().Write(FromUtf8(line));
  return written ? path : std::string();
}

void TFormView::Fail(const std::string& utf8Text) {
  failed_ = true;
  Process().Terminating = true;
  closePosted_ = true;
  p_.dialogs->MessageBox(ToUtf8(Sjis(u8"警告")), utf8Text, platform::DialogButtons::Ok, platform::DialogIcon::Warning);
}

void TFormView::FormClose() {
  if (closed_) return;
  closed_ = true;
  idleAttached_ = false;
  Process().Terminating = true;
  s_.FreeProject();
  s_.FreeSystemFunctions();
  s_.FreeVariables();
  s_.OrbaFinalize();
  s_.MediaFinal();
  s_.FinalizeFiles();
}

void TFormView::RunMessageLoop(const std::function<bool(int)>& afterIdle) {
  std::vector<platform::InputEvent> events;
  for (int pass = 1; !closePosted_; ++pass) {
    events.swap(deferred_);
    deferred_.clear();
    p_.input->Poll(events);
    for (const auto& e : events) {
      HandleEvent(e);
      if (closePosted_) break;
    }
    if (closePosted_) break;
    bool done = false;
    ApplicationEventsIdle(done);
    if (afterIdle && !afterIdle(pass)) break;
    if (done) p_.input->WaitForEvent(50);
  }
  FormClose();
}

}  // namespace orba
