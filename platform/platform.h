// Everything the operating system gives the player, as interfaces. The core calls only
// these; platform/sdl, platform/posix and platform/headless implement them. Texts crossing
// these interfaces are UTF-8 (the core converts from code page 932 at the call).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace orba::platform {

class IAudioOutput;
class IAudioCodecs;

// Milliseconds since an arbitrary start, and sleeping.
class IClock {
 public:
  virtual ~IClock() = default;
  // Current time in ms; wraps like a 32-bit millisecond counter.
  virtual uint32_t NowMs() = 0;
  // Sleeps for ms milliseconds (a fake clock may just note it).
  virtual void SleepMs(uint32_t ms) = 0;
};

// A display mode the screen can be switched to.
struct DisplayMode {
  int width = 0, height = 0, bits = 0, refresh = 0;
  friend bool operator==(const DisplayMode&, const DisplayMode&) = default;
};

// A colour cursor: pixels 0xAARRGGBB, rows top to bottom, and the point that clicks.
struct CursorImage {
  std::string name;  // the file it was made from (for logs and tests)
  int width = 0, height = 0, hotX = 0, hotY = 0;
  std::vector<uint32_t> pixels;
};

// The main window that holds the toolbar strip and the screen panel.
class IHostWindow {
 public:
  virtual ~IHostWindow() = default;
  // Window caption.
  virtual void SetCaption(const std::string& utf8) = 0;
  // Size of the client area in window mode (toolbar strip plus panel).
  virtual void SetClientSize(int width, int height) = 0;
  // Centres the window on the desktop work area (integer halves truncated toward zero).
  virtual void CenterOnWorkArea() = 0;
  // Whether a full-screen mode can be used at all.
  virtual bool CanFullScreen() = 0;
  // Switches to desktop full screen (the panel scaled to fit) or back to the window; false
  // when the switch failed and the window stayed as it was.
  virtual bool SetFullScreen(bool on) = 0;
  // Shows or hides the toolbar strip (in full screen it appears while the mouse is on the top row).
  virtual void SetToolbarVisible(bool visible) = 0;
  // Makes the window visible; called once start-up has sized it.
  virtual void Show() = 0;
  // The display's modes, in the order the system lists them, and the desktop's depth.
  virtual std::vector<DisplayMode> DisplayModes() { return {}; }
  virtual int DesktopBits() { return 24; }
  // Moves the pointer to a point of the client area (the coordinates input events carry),
  // through whatever scaling the window shows the picture at.
  virtual void WarpMouse(int x, int y) { (void)x, (void)y; }
  // Shows a colour cursor over the window, or the standard arrow for null.
  virtual void SetCursor(const CursorImage* cursor) { (void)cursor; }
  // Shows whether fast-forward is on (the toolbar's button stays down while it is).
  virtual void SetFastForward(bool on) { (void)on; }
};

// A 32-bit memory frame, pixels 0x00RRGGBB, rows top to bottom.
struct Frame {
  const uint32_t* pixels = nullptr;
  int width = 0;
  int height = 0;
  int pitch = 0;  // in pixels
};

// One piece of a presentation: a rectangle of the frame (left, top, right, bottom) and where
// it goes on the panel, in panel pixels (scaled when the sizes differ).
struct PresentPiece {
  int srcLeft = 0, srcTop = 0, srcRight = 0, srcBottom = 0;
  int dstLeft = 0, dstTop = 0, dstRight = 0, dstBottom = 0;
  friend bool operator==(const PresentPiece&, const PresentPiece&) = default;
};

// The size of the panel a presentation fills: the frame, scaled as its pieces are (the pieces
// of one presentation share one scale).
struct PanelSize {
  int width = 0, height = 0;
};
inline PanelSize PanelSizeOf(const Frame& frame, const std::vector<PresentPiece>& pieces) {
  for (const auto& p : pieces) {
    long long sw = p.srcRight - p.srcLeft, sh = p.srcBottom - p.srcTop;
    if (sw > 0 && sh > 0)
      return {static_cast<int>(frame.width * static_cast<long long>(p.dstRight - p.dstLeft) / sw),
              static_cast<int>(frame.height * static_cast<long long>(p.dstBottom - p.dstTop) / sh)};
  }
  return {frame.width, frame.height};
}

// Shows frames of the screen panel.
class IPresenter {
 public:
  virtual ~IPresenter() = default;
  // Shows the whole frame at the panel's place in the window client area.
  virtual void Present(const Frame& frame, int panelLeft, int panelTop) = 0;
  // Shows the changed pieces of the frame; the rest of the panel keeps what it showed.
  virtual void PresentPieces(const Frame& frame, int panelLeft, int panelTop, const std::vector<PresentPiece>& pieces) {
    (void)pieces;
    Present(frame, panelLeft, panelTop);
  }
};

// Input and window events, in the order they happened. Coordinates are in client
// pixels of the window (panel coordinates are derived by the shell).
enum class EventKind {
  MouseMove,
  MouseDown,
  MouseUp,
  WheelUp,
  WheelDown,
  KeyDown,      // key: Windows virtual-key code 0..255; repeat: auto-repeated
  KeyUp,
  Activate,     // the application got the focus
  Deactivate,   // the application lost the focus
  MoveSizeBegin,  // a pause of the game clock begins (menu loop, window dragged)
  MoveSizeEnd,
  CloseRequest,   // the window's close button or the system asked to close
  ToolbarExit,    // toolbar button "終了"
  ToolbarFullScreen,  // toolbar button "画面切替"
  RunTick,        // run one tick now (the private tick message)
  ToolbarFastForward,  // toolbar button "早送り": fast-forward on or off
};

enum class MouseButton { Left, Right, Middle };

struct InputEvent {
  EventKind kind = EventKind::MouseMove;
  int x = 0, y = 0;
  MouseButton button = MouseButton::Left;
  int key = 0;
  bool repeat = false;
};

class IInput {
 public:
  virtual ~IInput() = default;
  // Appends the events that arrived since the last call.
  virtual void Poll(std::vector<InputEvent>& out) = 0;
  // Blocks until an event may be there or timeoutMs passed (the message loop's idle wait).
  virtual void WaitForEvent(int timeoutMs) = 0;
};

enum class DialogIcon { None, Information, Warning, Error, Question };
enum class DialogButtons { Ok, OkCancel, YesNo };
enum class DialogResult { Ok, Cancel, Yes, No };

class IDialogs {
 public:
  virtual ~IDialogs() = default;
  // A modal message box; returns the button chosen.
  virtual DialogResult MessageBox(const std::string& caption, const std::string& text, DialogButtons buttons,
                                  DialogIcon icon) = 0;
};

class IShell {
 public:
  virtual ~IShell() = default;
  // Opens a web address or document with the desktop's default handler.
  virtual bool OpenUrl(const std::string& url) = 0;
  // Puts text on the desktop's clipboard; false when there is none.
  virtual bool SetClipboardText(const std::string& utf8) { (void)utf8; return false; }
};

// Plain-text settings files in the "[section] key=value" form (game.ini and friends).
class ISettings {
 public:
  virtual ~ISettings() = default;
  virtual std::optional<std::string> Read(const std::string& path, const std::string& section,
                                          const std::string& key) = 0;
  // Writes through a temporary file renamed into place; false on failure.
  virtual bool Write(const std::string& path, const std::string& section, const std::string& key,
                     const std::string& value) = 0;
};

// Keeps one player per project folder.
class IInstanceLock {
 public:
  virtual ~IInstanceLock() = default;
  // A held lock; destroying it releases the lock.
  class Handle {
   public:
    virtual ~Handle() = default;
  };
  // Takes the lock named by key (code page 932 bytes); null when another process holds it.
  virtual std::unique_ptr<Handle> TryAcquire(const std::string& key) = 0;
};

// Folders the player needs to know about.
class IPaths {
 public:
  virtual ~IPaths() = default;
  // Folder of the running executable, with a trailing '/'.
  virtual std::string ExecutableFolder() = 0;
  // Full path of the running executable.
  virtual std::string ExecutablePath() = 0;
  // Absolute, normalised form of a folder given on the command line (no trailing '/').
  virtual std::string AbsoluteFolder(const std::string& path) = 0;
  // Folder for short-lived work files, with a trailing '/'.
  virtual std::string TempFolder() = 0;
  // Mount points of optical discs that hold a disc now, each with a trailing '/'.
  virtual std::vector<std::string> DiscFolders() { return {}; }
  // The user's folder for application data, with a trailing '/'; empty when there is none.
  virtual std::string UserDataFolder() { return {}; }
  // The user's folder for pictures, with a trailing '/'; empty when there is none.
  virtual std::string PicturesFolder() { return {}; }
};

// Everything together; the shell receives one of these.
struct Platform {
  IClock* clock = nullptr;
  IHostWindow* window = nullptr;
  IPresenter* presenter = nullptr;
  IInput* input = nullptr;
  IDialogs* dialogs = nullptr;
  IShell* shell = nullptr;
  ISettings* settings = nullptr;
  IInstanceLock* lock = nullptr;
  IPaths* paths = nullptr;
  IAudioOutput* audio = nullptr;  // the sound device; null: the player is silent
  IAudioCodecs* codecs = nullptr;  // decoders of compressed sound; null: wave files only
};

}  // namespace orba::platform
