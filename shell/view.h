// The main window: creates every subsystem in a fixed order, drives the player from the
// message loop's idle time one tick at a time, routes mouse and keyboard input to the
// screen pages, switches full screen, pauses while inactive and shuts down in order.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "shell/audiomute.h"
#include "shell/framepresenter.h"
#include "shell/frametimes.h"
#include "shell/subsystems.h"

namespace orba {

struct TViewOptions {
  std::vector<std::string> Params;  // command-line parameters, native UTF-8
  std::string ExeFolder;            // native UTF-8, trailing '/'
  std::string ExePath;              // native UTF-8
};

// What the command line asks of the window beyond the project.
struct TPlayOptions {
  bool FastForward = false;  // start with fast-forward on
  std::string SaveDir;       // saves go here when set (native)
};

class TFormView {
 public:
  static constexpr int kButtonHeight = 18;
  static constexpr int kDockHeight = kButtonHeight + 4;
  static constexpr uint32_t kStallMs = 3000;
  static constexpr uint32_t kBusyPollMs = 50;
  static constexpr const char* kMakerUrl = "https://orbaplayer.example/";
  // Fast-forward runs this many ticks, each of the usual length, for every frame it shows.
  static constexpr int kFastForwardTicks = 8;
  // Keys the window acts on (Windows virtual-key codes); the script still sees them.
  static constexpr int kKeyFastForward = 0x77;  // F8
  static constexpr int kKeyFrameTimes = 0x72;   // F3
  static constexpr int kKeyScreenshot = 0x7B;   // F12

  TFormView(platform::Platform& platform, TSubsystems& subsystems, TViewOptions options, TPlayOptions play = {});
  ~TFormView();
  TFormView(const TFormView&) = delete;
  TFormView& operator=(const TFormView&) = delete;

  // Start-up: settings, virtual files, managers, project, screen, window size.
  void FormCreate();
  // One pass of the idle handler; done is true when the loop should wait for messages.
  void ApplicationEventsIdle(bool& done);
  // One pass of the main loop; never nests.
  void Tick();
  void HandleEvent(const platform::InputEvent& e);
  void ApplicationEventsActivate();
  void ApplicationEventsDeactivate();
  // Asks whether to end; Yes closes, No restores the stop flag.
  void ConfirmExit();
  // Inside a tick whose script runs on without waiting: at most every kBusyPollMs, takes the
  // window's events; a close request or the exit question's Yes stops the script, the other
  // events wait for the message loop.
  void KeepResponsive();
  void SetFullScreen(bool on);
  // Fast-forward: kFastForwardTicks ticks a pass, one frame shown, the sound muted.
  void SetFastForward(bool on);
  // The frame-time overlay over the frames shown.
  void SetFrameTimes(bool on);
  // Writes the last frame shown (without the overlay) as a PNG into the user's pictures
  // folder, else the save folder; answers its path, empty when none was written.
  std::string TakeScreenshot();
  // Shutdown in order. Runs once.
  void FormClose();
  // An error stops the player: a warning box with the text (UTF-8), then the window closes.
  void Fail(const std::string& utf8Text);

  // The message loop: events, then idle, until the window closes. afterIdle, when given, is
  // called after each idle pass with the pass number (from 1) and may return false to stop.
  void RunMessageLoop(const std::function<bool(int)>& afterIdle = {});

  bool ClosePosted() const { return closePosted_; }
  // An error stopped the player (Fail ran).
  bool Failed() const { return failed_; }
  bool Active() const { return active_; }
  bool FullScreen() const { return fullScreen_; }
  bool FastForward() const { return fastForward_; }
  bool FrameTimesShown() const { return frameTimesShown_; }
  bool LogoDone() const { return logoDone_; }
  int PanelLeft() const { return panelLeft_; }
  int PanelTop() const { return panelTop_; }

 private:
  void ReadGameIni();
  void TickSteps();
  // Hands the frame gathered since the last one shown to the window.
  void ShowFrame();
  void PlacePanel();
  void LogoStep();
  void PanelMouseDown(platform::MouseButton b);
  void PanelMouseUp(platform::MouseButton b);
  void PanelMouseMove(int x, int y);
  void KeyDown(int key, bool repeat);
  void KeyUp(int key);

  platform::Platform& p_;
  TSubsystems& s_;
  TViewOptions options_;
  TPlayOptions play_;
  TProjectInfo project_;

  // private state, in the order the window declares it
  bool active_ = true;
  int skipDraw_ = 0;
  bool logoDone_ = false;
  bool logoAnimation_ = false;
  int panelLeft_ = 0, panelTop_ = 0;
  bool toolbarVisible_ = true;

  bool fullScreen_ = false;
  bool idleAttached_ = false;
  bool closePosted_ = false;
  bool closed_ = false;
  bool failed_ = false;
  bool inTick_ = false;
  uint32_t lastTick_ = 0;
  uint32_t lastPoll_ = 0;
  std::vector<platform::InputEvent> deferred_;  // taken inside a tick, handled after it

  // Every frame passes through here on its way to the window.
  TFramePresenter frames_;
  bool holdFrame_ = false;  // the tick's frame waits for a later tick's (fast-forward)
  bool fastForward_ = false;
  bool frameTimesShown_ = false;
  TFrameTimes frameTimes_;
  TFrameTimes::TFrame frameTime_;  // the frame being gathered: its ticks' and paints' times
  // The sound device the platform gave, and the mute that stands in front of it.
  platform::IAudioOutput* device_ = nullptr;
  std::unique_ptr<TAudioMute> mute_;
};

}  // namespace orba
