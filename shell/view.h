// The main window: creates every subsystem in a fixed order, drives the player from the
// message loop's idle time one tick at a time, routes mouse and keyboard input to the
// screen pages, switches full screen, pauses while inactive and shuts down in order.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "shell/subsystems.h"

namespace orba {

struct TViewOptions {
  std::vector<std::string> Params;  // command-line parameters, native UTF-8
  std::string ExeFolder;            // native UTF-8, trailing '/'
  std::string ExePath;              // native UTF-8
};

class TFormView {
 public:
  static constexpr int kButtonHeight = 18;
  static constexpr int kDockHeight = kButtonHeight + 4;
  static constexpr uint32_t kStallMs = 3000;
  static constexpr uint32_t kBusyPollMs = 50;
  static constexpr const char* kMakerUrl = "https://orbaplayer.example/";

  TFormView(platform::Platform& platform, TSubsystems& subsystems, TViewOptions options);

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
  bool LogoDone() const { return logoDone_; }
  int PanelLeft() const { return panelLeft_; }
  int PanelTop() const { return panelTop_; }

 private:
  void ReadGameIni();
  void TickSteps();
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
};

}  // namespace orba
