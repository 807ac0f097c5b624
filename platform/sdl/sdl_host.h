// The desktop platform over SDL2: the main window with its toolbar strip, the presenter
// (a streaming texture of the 32-bit frame), input mapped to Windows virtual-key codes,
// message boxes and URL opening.
#pragma once

#include <memory>
#include <string>

#include "platform/platform.h"
#include "platform/sdl/scaling.h"

namespace orba::platform::sdl {

// Windows virtual-key code for an SDL key, or -1 when the key has none.
int VirtualKeyOf(int sdlKeycode, int sdlScancode);

// How the picture fills a window larger than the project (full screen, a maximised or resized
// window): keeping its shape, in whole multiples, or stretched; with nearest or smooth filtering.
struct ScaleOptions {
  using Fit = sdl::Fit;
  Fit fit = Fit::Aspect;
  bool smooth = false;
  bool vsync = true;  // present at the display's refresh where the driver can
};

class Host : public IHostWindow, public IPresenter, public IInput, public IDialogs, public IShell {
 public:
  explicit Host(ScaleOptions scale = {});
  ~Host() override;

  // Opens the video subsystem and a hidden window; false (with Error() set) when no display.
  bool Open();
  const std::string& Error() const { return error_; }

  // IHostWindow
  void SetCaption(const std::string& utf8) override;
  void SetClientSize(int width, int height) override;
  void CenterOnWorkArea() override;
  bool CanFullScreen() override { return true; }
  bool SetFullScreen(bool on) override;
  void SetToolbarVisible(bool visible) override;
  void SetFastForward(bool on) override;
  void Show() override;
  void WarpMouse(int x, int y) override;
  void SetCursor(const CursorImage* cursor) override;
  std::vector<DisplayMode> DisplayModes() override;
  int DesktopBits() override;

  // IPresenter
  void Present(const Frame& frame, int panelLeft, int panelTop) override;
  void PresentPieces(const Frame& frame, int panelLeft, int panelTop, const std::vector<PresentPiece>& pieces) override;

  // IInput
  void Poll(std::vector<InputEvent>& out) override;
  void WaitForEvent(int timeoutMs) override;

  // IDialogs
  DialogResult MessageBox(const std::string& caption, const std::string& text, DialogButtons buttons,
                          DialogIcon icon) override;

  // IShell
  bool OpenUrl(const std::string& url) override;
  bool SetClipboardText(const std::string& utf8) override;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
  std::string error_;
};

}  // namespace orba::platform::sdl
