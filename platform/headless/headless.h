// The headless platform: a real platform without a display. Its clock is fake and moves 16 ms
// per pass of the message loop, input comes from a script keyed by pass number, dialogs take
// queued answers, and presented frames are kept for inspection or written as PNG. With the
// same script a run is deterministic to the byte. Tests, benchmarks and --headless use it.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/audio.h"
#include "platform/platform.h"

namespace orba::platform::headless {

class FakeClock : public IClock {
 public:
  uint32_t NowMs() override { return now_; }
  // Sleeping does not move the fake clock, so every pass lasts exactly the step.
  void SleepMs(uint32_t ms) override { slept_ += ms; lastSleep_ = ms; }
  void Advance(uint32_t ms) {
    now_ += ms;
    if (onAdvance) onAdvance(ms);
  }
  // Called after every advance (the headless sound device pulls its mixer here).
  std::function<void(uint32_t)> onAdvance;
  uint64_t TotalSlept() const { return slept_; }
  uint32_t LastSleep() const { return lastSleep_; }

 private:
  uint32_t now_ = 0;
  uint64_t slept_ = 0;
  uint32_t lastSleep_ = 0;
};

class Window : public IHostWindow {
 public:
  void SetCaption(const std::string& utf8) override { caption = utf8; }
  void SetClientSize(int w, int h) override { clientWidth = w; clientHeight = h; }
  void CenterOnWorkArea() override { centered = true; }
  bool CanFullScreen() override { return fullScreenAvailable; }
  // With refuseFullScreen set, a switch to full screen fails and the window stays as it was.
  bool SetFullScreen(bool on) override {
    if (on && refuseFullScreen) return false;
    fullScreen = on;
    return true;
  }
  std::vector<DisplayMode> DisplayModes() override { return modes; }
  int DesktopBits() override { return desktopBits; }
  std::vector<DisplayMode> modes = {{1920, 1080, 32, 60}};
  int desktopBits = 32;
  void SetToolbarVisible(bool v) override { toolbarVisible = v; }
  void Show() override { shown = true; }
  void WarpMouse(int x, int y) override { warps.push_back({x, y}); }
  void SetCursor(const CursorImage* c) override { cursors.push_back(c ? c->name : std::string()); }
  void SetFastForward(bool on) override { fastForward = on; }

  std::string caption;
  int clientWidth = 0, clientHeight = 0;
  bool centered = false, fullScreen = false, toolbarVisible = true, shown = false;
  bool fullScreenAvailable = true;
  bool fastForward = false;  // the toolbar's fast-forward button is down
  bool refuseFullScreen = false;
  // Every pointer move asked for, in client coordinates.
  struct Point {
    int x, y;
    friend bool operator==(const Point&, const Point&) = default;
  };
  std::vector<Point> warps;
  // Every cursor shown, by file name; empty for the standard arrow.
  std::vector<std::string> cursors;
};

// Keeps what the screen panel shows: the frame as its pieces scale it.
class CapturePresenter : public IPresenter {
 public:
  void Present(const Frame& frame, int panelLeft, int panelTop) override;
  // Draws each piece's source rectangle into its destination rectangle of the kept panel
  // (nearest neighbour); the rest keeps what it showed. A panel of another size starts from
  // the whole frame.
  void PresentPieces(const Frame& frame, int panelLeft, int panelTop, const std::vector<PresentPiece>& pieces) override;
  const std::vector<PresentPiece>& LastPieces() const { return lastPieces_; }
  const std::vector<uint32_t>& Pixels() const { return pixels_; }
  int Width() const { return width_; }
  int Height() const { return height_; }
  int PresentCount() const { return count_; }
  Frame LastFrame() const { return {pixels_.data(), width_, height_, width_}; }

 private:
  std::vector<uint32_t> pixels_;
  std::vector<PresentPiece> lastPieces_;
  int width_ = 0, height_ = 0, count_ = 0;
};

// Input events keyed by pass number. Each Poll is one pass: it moves the fake clock by the
// step and returns that pass's events.
class ScriptedInput : public IInput {
 public:
  explicit ScriptedInput(FakeClock& clock, uint32_t stepMs = 16) : clock_(clock), step_(stepMs) {}
  void Poll(std::vector<InputEvent>& out) override;
  void WaitForEvent(int) override {}
  void At(int pass, const InputEvent& e) { events_[pass].push_back(e); }
  int Pass() const { return pass_; }

 private:
  FakeClock& clock_;
  uint32_t step_;
  int pass_ = 0;
  std::map<int, std::vector<InputEvent>> events_;
};

// Answers from a queue; an empty queue answers with the first button (OK or Yes).
class ScriptedDialogs : public IDialogs {
 public:
  DialogResult MessageBox(const std::string& caption, const std::string& text, DialogButtons buttons,
                          DialogIcon icon) override;
  void QueueAnswer(DialogResult r) { answers_.push_back(r); }
  struct Shown {
    std::string caption, text;
    DialogButtons buttons;
    DialogResult answer;
  };
  std::vector<Shown> shown;
  bool echoToStderr = false;

 private:
  std::deque<DialogResult> answers_;
};

class Shell : public IShell {
 public:
  bool OpenUrl(const std::string& url) override { opened.push_back(url); return true; }
  bool SetClipboardText(const std::string& utf8) override { clipboard.push_back(utf8); return true; }
  std::vector<std::string> opened;
  std::vector<std::string> clipboard;  // every text put on the clipboard
};

// The sound device of the fake clock: every advance of the clock pulls as many frames as that
// time holds at 44,100 Hz (carrying the fraction), after letting the source decode ahead, so
// a run's sound is as deterministic as its frames. With recording on, the frames are kept
// (silence while the device is closed) and can be written as a WAV file.
class AudioOut : public IAudioOutput {
 public:
  explicit AudioOut(FakeClock& clock);
  ~AudioOut() override;
  bool Open(int bufferMs, IAudioSource& source) override;
  void Close() override;
  // Pulls the frames of ms milliseconds (the clock's hook, set while this device exists, calls it).
  void Pull(uint32_t ms);
  void SetRecording(bool on) { recording_ = on; }
  // Interleaved stereo samples pulled while recording.
  const std::vector<int16_t>& Samples() const { return samples_; }
  bool IsOpen() const { return source_ != nullptr; }
  int BufferMs() const { return bufferMs_; }
  // Writes the recording as a 16-bit stereo 44,100 Hz WAV file through a temporary file.
  bool WriteWav(const std::string& path) const;

 private:
  FakeClock& clock_;
  IAudioSource* source_ = nullptr;
  int bufferMs_ = 0;
  uint64_t millis_ = 0, frames_ = 0;  // pulled so far: frames_ = millis_ × 44100 / 1000
  bool recording_ = false;
  std::vector<int16_t> samples_;
  std::vector<int16_t> work_;
};

// Every headless part together, wired into one Platform (the OS services it does not fake,
// such as settings, the instance lock and paths, are left for the caller to fill in).
struct HeadlessPlatform {
  FakeClock clock;
  Window window;
  CapturePresenter presenter;
  ScriptedInput input{clock};
  ScriptedDialogs dialogs;
  Shell shell;
  AudioOut audio{clock};
  Platform platform;

  HeadlessPlatform() {
    platform.clock = &clock;
    platform.window = &window;
    platform.presenter = &presenter;
    platform.input = &input;
    platform.dialogs = &dialogs;
    platform.shell = &shell;
    platform.audio = &audio;
  }
  HeadlessPlatform(const HeadlessPlatform&) = delete;
  HeadlessPlatform& operator=(const HeadlessPlatform&) = delete;
};

// Reads an input script into input events and dialog answers. One command per line:
//   PASS move X Y | down left|right X Y | up left|right X Y | click X Y
//   PASS wheel up|down | key VK | keydown VK | keyup VK
//   PASS activate | deactivate | close | exit | fullscreen | tick | fastforward
//   PASS answer yes|no|ok|cancel
// '#' starts a comment. Throws std::runtime_error naming the line on a mistake.
void LoadInputScript(const std::string& text, ScriptedInput& input, ScriptedDialogs& dialogs);

// Writes a frame as an 8-bit RGB PNG; deterministic bytes for the same pixels.
bool WritePng(const std::string& path, const Frame& frame);

}  // namespace orba::platform::headless
