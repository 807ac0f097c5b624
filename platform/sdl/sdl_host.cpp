#include "platform/sdl/sdl_host.h"

#include <SDL.h>
#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cstdio>
#include <vector>

namespace orba::platform::sdl {

namespace {

constexpr int kDockHeight = 22;
constexpr int kButtonWidth = 67;
constexpr int kButtonHeight = 18;
constexpr int kButtonTop = 2;

// The toolbar's buttons: "終了" (exit), "画面切替" (switch screen mode) and "早送り"
// (fast-forward, which stays down while it is on).
constexpr int kButtons = 3;
constexpr int kFastForwardButton = 2;
const char* const kButtonLabels[kButtons] = {"\xE7\xB5\x82\xE4\xBA\x86",
                                             "\xE7\x94\xBB\xE9\x9D\xA2\xE5\x88\x87\xE6\x9B\xBF",
                                             "\xE6\x97\xA9\xE9\x80\x81\xE3\x82\x8A"};
constexpr EventKind kButtonEvents[kButtons] = {EventKind::ToolbarExit, EventKind::ToolbarFullScreen,
                                               EventKind::ToolbarFastForward};

// Decodes UTF-8 into code points (malformed bytes are skipped).
std::vector<char32_t> CodePoints(const std::string& s) {
  std::vector<char32_t> out;
  for (size_t i = 0; i < s.size();) {
    auto b = static_cast<unsigned char>(s[i]);
    int len = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 0;
    if (len == 0 || i + len > s.size()) { ++i; continue; }
    char32_t cp = len == 1 ? b : b & (0x7F >> len);
    for (int k = 1; k < len; ++k) cp = (cp << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
    out.push_back(cp);
    i += len;
  }
  return out;
}

// Renders a label in the desktop's Japanese gothic font; null when no font is found.
SDL_Texture* RenderLabel(SDL_Renderer* renderer, const std::string& utf8) {
  FcPattern* pattern = FcNameParse(reinterpret_cast<const FcChar8*>("IPAGothic:lang=ja"));
  FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
  FcDefaultSubstitute(pattern);
  FcResult result;
  FcPattern* match = FcFontMatch(nullptr, pattern, &result);
  FcPatternDestroy(pattern);
  FcChar8* file = nullptr;
  std::string path;
  if (match && FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch) path = reinterpret_cast<char*>(file);
  if (match) FcPatternDestroy(match);
  if (path.empty()) return nullptr;

  FT_Library lib;
  if (FT_Init_FreeType(&lib)) return nullptr;
  FT_Face face;
  SDL_Texture* texture = nullptr;
  if (!FT_New_Face(lib, path.c_str(), 0, &face)) {
    FT_Set_Pixel_Sizes(face, 0, 12);
    auto cps = CodePoints(utf8);
    int width = 0;
    for (char32_t cp : cps)
      if (!FT_Load_Char(face, cp, FT_LOAD_DEFAULT)) width += static_cast<int>(face->glyph->advance.x >> 6);
    const int height = 14, baseline = 11;
    if (width > 0) {
      std::vector<uint32_t> pixels(static_cast<size_t>(width) * height, 0);
      int penX = 0;
      for (char32_t cp : cps) {
        if (FT_Load_Char(face, cp, FT_LOAD_RENDER)) continue;
        FT_GlyphSlot g = face->glyph;
        for (unsigned row = 0; row < g->bitmap.rows; ++row)
          for (unsigned col = 0; col < g->bitmap.width; ++col) {
            int x = penX + g->bitmap_left + static_cast<int>(col);
            int y = baseline - g->bitmap_top + static_cast<int>(row);
            if (x < 0 || y < 0 || x >= width || y >= height) continue;
            uint32_t a = g->bitmap.buffer[row * g->bitmap.pitch + col];
            pixels[static_cast<size_t>(y) * width + x] = a << 24;  // black text, coverage as alpha
          }
        penX += static_cast<int>(g->advance.x >> 6);
      }
      texture = SDL_CreateTexture(renderer, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_STATIC, width, height);
      if (texture) {
        SDL_UpdateTexture(texture, nullptr, pixels.data(), width * 4);
        SDL_SetTextureBlendMode(texture, SDL_BLENDMODE_BLEND);
      }
    }
    FT_Done_Face(face);
  }
  FT_Done_FreeType(lib);
  return texture;
}

}  // namespace

struct Host::Impl {
  ScaleOptions scale;
  SDL_Window* window = nullptr;
  SDL_Renderer* renderer = nullptr;
  SDL_Texture* frame = nullptr;
  int frameWidth = 0, frameHeight = 0;
  // The panel the frame fills: the frame scaled as the presented pieces scale it.
  int panelWidth = 0, panelHeight = 0;
  SDL_Texture* labels[kButtons] = {};
  bool fastForward = false;  // the fast-forward button stays down
  int clientWidth = 640, clientHeight = 480;
  bool fullScreen = false;
  bool toolbarVisible = true;
  int pressedButton = -1;  // toolbar button under a held left click
  SDL_Cursor* cursor = nullptr;  // the colour cursor shown, or null for the arrow

  // Last frame, kept to redraw when the window is exposed.
  int panelLeft = 0, panelTop = 0;
  // Where the window stood before full screen.
  int windowX = SDL_WINDOWPOS_CENTERED, windowY = SDL_WINDOWPOS_CENTERED;

  void RestoreWindow() {
    SDL_SetWindowSize(window, clientWidth, clientHeight);
    SDL_SetWindowPosition(window, windowX, windowY);
  }

  SDL_Rect ButtonRect(int i) const { return {i * kButtonWidth, kButtonTop, kButtonWidth, kButtonHeight}; }

  int ButtonAt(int x, int y) const {
    if (!toolbarVisible) return -1;
    for (int i = 0; i < kButtons; ++i) {
      SDL_Rect r = ButtonRect(i);
      if (x >= r.x && x < r.x + r.w && y >= r.y && y < r.y + r.h) return i;
    }
    return -1;
  }

  bool OverToolbar(int y) const { return toolbarVisible && y < kDockHeight; }

  void DrawToolbar() {
    int width = fullScreen ? panelWidth : clientWidth;
    SDL_SetRenderDrawColor(renderer, 0xF0, 0xF0, 0xF0, 0xFF);
    SDL_Rect dock{0, 0, width, kDockHeight};
    SDL_RenderFillRect(renderer, &dock);
    SDL_SetRenderDrawColor(renderer, 0xA0, 0xA0, 0xA0, 0xFF);
    SDL_RenderDrawLine(renderer, 0, kDockHeight - 1, width, kDockHeight - 1);
    for (int i = 0; i < kButtons; ++i) {
      SDL_Rect r = ButtonRect(i);
      bool down = pressedButton == i || (i == kFastForwardButton && fastForward);
      SDL_SetRenderDrawColor(renderer, down ? 0xD0 : 0xE4, down ? 0xD0 : 0xE4, down ? 0xD0 : 0xE4, 0xFF);
      SDL_RenderFillRect(renderer, &r);
      SDL_SetRenderDrawColor(renderer, 0x90, 0x90, 0x90, 0xFF);
      SDL_RenderDrawRect(renderer, &r);
      if (labels[i]) {
        int w, h;
        SDL_QueryTexture(labels[i], nullptr, nullptr, &w, &h);
        SDL_Rect dst{r.x + (r.w - w) / 2, r.y + (r.h - h) / 2, w, h};
        SDL_RenderCopy(renderer, labels[i], nullptr, &dst);
      }
    }
  }

  void Redraw() {
    SDL_SetRenderDrawColor(renderer, 0, 0, 0, 0xFF);
    SDL_RenderClear(renderer);
    if (frame) {
      SDL_Rect dst{panelLeft, panelTop, panelWidth, panelHeight};
      SDL_RenderCopy(renderer, frame, nullptr, &dst);
    }
    if (toolbarVisible) DrawToolbar();
    SDL_RenderPresent(renderer);
  }

  // The size of the picture the window shows (client area, or the panel in full screen).
  int LogicalWidth() const { return fullScreen && panelWidth > 0 ? panelWidth : clientWidth; }
  int LogicalHeight() const { return fullScreen && panelWidth > 0 ? panelHeight : clientHeight; }
  Placement WindowPlacement() const {
    int ww = 0, wh = 0;
    SDL_GetWindowSize(window, &ww, &wh);
    return PicturePlacement(scale.fit, ww, wh, LogicalWidth(), LogicalHeight());
  }
  // A window point in picture pixels. SDL maps the mouse back itself where it keeps a
  // logical size (aspect and integer fits), but not through the render scale a stretched
  // picture uses: that one is mapped here.
  void ToPicture(int& x, int& y) const {
    if (scale.fit != Fit::Stretch) return;
    WindowToPicture(WindowPlacement(), LogicalWidth(), LogicalHeight(), x, y, x, y);
  }

  // The picture's own size maps onto whatever size the window has.
  void UpdateLogicalSize() {
    int w = LogicalWidth();
    int h = LogicalHeight();
    if (scale.fit == ScaleOptions::Fit::Stretch) {
      int outW = 0, outH = 0;
      SDL_RenderSetLogicalSize(renderer, 0, 0);
      SDL_GetRendererOutputSize(renderer, &outW, &outH);
      SDL_RenderSetScale(renderer, static_cast<float>(outW) / static_cast<float>(w),
                         static_cast<float>(outH) / static_cast<float>(h));
    } else {
      SDL_RenderSetLogicalSize(renderer, w, h);
      SDL_RenderSetIntegerScale(renderer, scale.fit == ScaleOptions::Fit::Integer ? SDL_TRUE : SDL_FALSE);
    }
  }
};

Host::Host(ScaleOptions scale) : impl_(std::make_unique<Impl>()) { impl_->scale = scale; }

Host::~Host() {
  if (impl_->cursor) SDL_FreeCursor(impl_->cursor);
  if (impl_->frame) SDL_DestroyTexture(impl_->frame);
  for (auto* t : impl_->labels)
    if (t) SDL_DestroyTexture(t);
  if (impl_->renderer) SDL_DestroyRenderer(impl_->renderer);
  if (impl_->window) SDL_DestroyWindow(impl_->window);
  SDL_QuitSubSystem(SDL_INIT_VIDEO);
}

bool Host::Open() {
  if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
    error_ = SDL_GetError();
    return false;
  }
  // Without a display SDL falls back to drivers that show nothing; a player nobody can see
  // is no player, unless such a driver was asked for by name (tests use "dummy").
  std::string driver = SDL_GetCurrentVideoDriver() ? SDL_GetCurrentVideoDriver() : "";
  const char* requested = SDL_getenv("SDL_VIDEODRIVER");
  if ((driver == "offscreen" || driver == "dummy" || driver == "evdev") && !(requested && *requested)) {
    error_ = "only the \"" + driver + "\" video driver is available; set DISPLAY or WAYLAND_DISPLAY";
    return false;
  }
  auto& d = *impl_;
  SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, d.scale.smooth ? "linear" : "nearest");
  d.window = SDL_CreateWindow("OrbaPlayer", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, d.clientWidth,
                              d.clientHeight, SDL_WINDOW_HIDDEN | SDL_WINDOW_RESIZABLE);
  if (!d.window) {
    error_ = SDL_GetError();
    return false;
  }
  Uint32 vsync = d.scale.vsync ? SDL_RENDERER_PRESENTVSYNC : 0;
  d.renderer = SDL_CreateRenderer(d.window, -1, SDL_RENDERER_ACCELERATED | vsync);
  if (!d.renderer) d.renderer = SDL_CreateRenderer(d.window, -1, SDL_RENDERER_SOFTWARE);
  if (!d.renderer) {
    error_ = SDL_GetError();
    return false;
  }
  for (int i = 0; i < kButtons; ++i) d.labels[i] = RenderLabel(d.renderer, kButtonLabels[i]);
  return true;
}

void Host::SetCaption(const std::string& utf8) { SDL_SetWindowTitle(impl_->window, utf8.c_str()); }

void Host::SetClientSize(int width, int height) {
  auto& d = *impl_;
  if (width <= 0 || height <= 0) return;
  d.clientWidth = width;
  d.clientHeight = height;
  if (!d.fullScreen) SDL_SetWindowSize(d.window, width, height);
  d.UpdateLogicalSize();
}

void Host::CenterOnWorkArea() {
  auto& d = *impl_;
  int display = SDL_GetWindowDisplayIndex(d.window);
  SDL_Rect area;
  if (display < 0 || SDL_GetDisplayUsableBounds(display, &area) != 0) return;
  int w, h;
  SDL_GetWindowSize(d.window, &w, &h);
  SDL_SetWindowPosition(d.window, area.x + (area.w - w) / 2, area.y + (area.h - h) / 2);
}

bool Host::SetFullScreen(bool on) {
  auto& d = *impl_;
  if (on) {
    // Remember where the window was, then lay it over the whole display first: a desktop
    // with a window manager makes it full screen anyway, and one without (a bare X server)
    // would otherwise leave the window at its old size while the picture is scaled for the
    // display.
    SDL_GetWindowPosition(d.window, &d.windowX, &d.windowY);
    SDL_Rect display;
    if (SDL_GetDisplayBounds(std::max(0, SDL_GetWindowDisplayIndex(d.window)), &display) == 0) {
      SDL_SetWindowPosition(d.window, display.x, display.y);
      SDL_SetWindowSize(d.window, display.w, display.h);
    }
  }
  if (SDL_SetWindowFullscreen(d.window, on ? SDL_WINDOW_FULLSCREEN_DESKTOP : 0) != 0) {
    if (on) d.RestoreWindow();
    return false;
  }
  d.fullScreen = on;
  if (!on) d.RestoreWindow();
  d.UpdateLogicalSize();
  return true;
}

void Host::SetToolbarVisible(bool visible) { impl_->toolbarVisible = visible; }

void Host::SetFastForward(bool on) {
  impl_->fastForward = on;
  if (impl_->toolbarVisible) impl_->Redraw();
}

void Host::Show() {
  SDL_ShowWindow(impl_->window);
  SDL_RaiseWindow(impl_->window);
}

std::vector<DisplayMode> Host::DisplayModes() {
  std::vector<DisplayMode> modes;
  int display = std::max(0, SDL_GetWindowDisplayIndex(impl_->window));
  for (int i = 0, n = SDL_GetNumDisplayModes(display); i < n; ++i) {
    SDL_DisplayMode m;
    if (SDL_GetDisplayMode(display, i, &m) == 0)
      modes.push_back({m.w, m.h, static_cast<int>(SDL_BITSPERPIXEL(m.format)), m.refresh_rate});
  }
  return modes;
}

int Host::DesktopBits() {
  SDL_DisplayMode m;
  int display = std::max(0, SDL_GetWindowDisplayIndex(impl_->window));
  if (SDL_GetDesktopDisplayMode(display, &m) != 0) return 24;
  return static_cast<int>(SDL_BITSPERPIXEL(m.format));
}

void Host::Present(const Frame& frame, int panelLeft, int panelTop) {
  PresentPieces(frame, panelLeft, panelTop, {{0, 0, frame.width, frame.height, 0, 0, frame.width, frame.height}});
}

void Host::PresentPieces(const Frame& frame, int panelLeft, int panelTop, const std::vector<PresentPiece>& pieces) {
  auto& d = *impl_;
  bool fresh = !d.frame || d.frameWidth != frame.width || d.frameHeight != frame.height;
  if (fresh) {
    if (d.frame) SDL_DestroyTexture(d.frame);
    d.frame = SDL_CreateTexture(d.renderer, SDL_PIXELFORMAT_RGB888, SDL_TEXTUREACCESS_STREAMING, frame.width,
                                frame.height);
    d.frameWidth = frame.width;
    d.frameHeight = frame.height;
  }
  if (!d.frame) return;
  // Every piece of one presentation has the same scale, so the texture drawn over the whole
  // panel puts each piece at its destination rectangle; the rest of the texture still holds
  // what the panel showed.
  PanelSize panel = PanelSizeOf(frame, pieces);
  if (panel.width != d.panelWidth || panel.height != d.panelHeight) {
    d.panelWidth = panel.width;
    d.panelHeight = panel.height;
    d.UpdateLogicalSize();
  }
  if (fresh) {
    SDL_UpdateTexture(d.frame, nullptr, frame.pixels, frame.pitch * 4);
  } else {
    // Only the changed rectangles travel to the texture.
    for (const auto& p : pieces) {
      SDL_Rect r{p.srcLeft, p.srcTop, p.srcRight - p.srcLeft, p.srcBottom - p.srcTop};
      if (r.w <= 0 || r.h <= 0) continue;
      SDL_UpdateTexture(d.frame, &r, frame.pixels + static_cast<size_t>(r.y) * frame.pitch + r.x, frame.pitch * 4);
    }
  }
  d.panelLeft = panelLeft;
  d.panelTop = panelTop;
  d.Redraw();
}

void Host::Poll(std::vector<InputEvent>& out) {
  auto& d = *impl_;
  SDL_Event ev;
  while (SDL_PollEvent(&ev)) {
    InputEvent e;
    switch (ev.type) {
      case SDL_QUIT:
        e.kind = EventKind::CloseRequest;
        out.push_back(e);
        break;
      case SDL_WINDOWEVENT:
        if (ev.window.event == SDL_WINDOWEVENT_FOCUS_GAINED) e.kind = EventKind::Activate;
        else if (ev.window.event == SDL_WINDOWEVENT_FOCUS_LOST) e.kind = EventKind::Deactivate;
        else if (ev.window.event == SDL_WINDOWEVENT_CLOSE) e.kind = EventKind::CloseRequest;
        else {
          if (ev.window.event == SDL_WINDOWEVENT_SIZE_CHANGED) d.UpdateLogicalSize();
          if (ev.window.event == SDL_WINDOWEVENT_EXPOSED || ev.window.event == SDL_WINDOWEVENT_SIZE_CHANGED) d.Redraw();
          break;
        }
        out.push_back(e);
        break;
      case SDL_MOUSEMOTION:
        d.ToPicture(ev.motion.x, ev.motion.y);
        // Over the toolbar the mouse belongs to the toolbar, not to the screen panel.
        if (d.OverToolbar(ev.motion.y)) break;
        e.kind = EventKind::MouseMove;
        e.x = ev.motion.x;
        e.y = ev.motion.y;
        out.push_back(e);
        break;
      case SDL_MOUSEBUTTONDOWN:
      case SDL_MOUSEBUTTONUP: {
        bool down = ev.type == SDL_MOUSEBUTTONDOWN;
        d.ToPicture(ev.button.x, ev.button.y);
        int button = d.ButtonAt(ev.button.x, ev.button.y);
        if (ev.button.button == SDL_BUTTON_LEFT && (button >= 0 || (!down && d.pressedButton >= 0))) {
          if (down) {
            d.pressedButton = button;
          } else {
            if (button >= 0 && button == d.pressedButton) {
              e.kind = kButtonEvents[button];
              out.push_back(e);
            }
            d.pressedButton = -1;
          }
          d.Redraw();
          break;
        }
        if (down && d.OverToolbar(ev.button.y)) break;
        e.kind = down ? EventKind::MouseDown : EventKind::MouseUp;
        e.button = ev.button.button == SDL_BUTTON_RIGHT ? MouseButton::Right
                   : ev.button.button == SDL_BUTTON_MIDDLE ? MouseButton::Middle
                                                           : MouseButton::Left;
        e.x = ev.button.x;
        e.y = ev.button.y;
        out.push_back(e);
        break;
      }
      case SDL_MOUSEWHEEL:
        if (ev.wheel.y == 0) break;
        e.kind = (ev.wheel.y < 0) != (ev.wheel.direction == SDL_MOUSEWHEEL_FLIPPED) ? EventKind::WheelDown
                                                                                    : EventKind::WheelUp;
        out.push_back(e);
        break;
      case SDL_KEYDOWN:
      case SDL_KEYUP:
        e.key = VirtualKeyOf(ev.key.keysym.sym, ev.key.keysym.scancode);
        if (e.key < 0) break;
        e.kind = ev.type == SDL_KEYDOWN ? EventKind::KeyDown : EventKind::KeyUp;
        e.repeat = ev.key.repeat != 0;
        out.push_back(e);
        break;
      default:
        break;
    }
  }
}

void Host::WarpMouse(int x, int y) {
  auto& d = *impl_;
  if (!d.window) return;
  int wx = 0, wy = 0;
  PictureToWindow(d.WindowPlacement(), d.LogicalWidth(), d.LogicalHeight(), x, y, wx, wy);
  SDL_WarpMouseInWindow(d.window, wx, wy);
}

void Host::SetCursor(const CursorImage* c) {
  auto& d = *impl_;
  SDL_Cursor* made = nullptr;
  if (c && c->width > 0 && c->height > 0 && c->pixels.size() == static_cast<size_t>(c->width) * c->height) {
    SDL_Surface* surface = SDL_CreateRGBSurfaceWithFormatFrom(const_cast<uint32_t*>(c->pixels.data()), c->width,
                                                              c->height, 32, c->width * 4, SDL_PIXELFORMAT_ARGB8888);
    if (surface) {
      made = SDL_CreateColorCursor(surface, c->hotX, c->hotY);
      SDL_FreeSurface(surface);
    }
  }
  SDL_SetCursor(made ? made : SDL_GetDefaultCursor());
  if (d.cursor) SDL_FreeCursor(d.cursor);
  d.cursor = made;
}

void Host::WaitForEvent(int timeoutMs) { SDL_WaitEventTimeout(nullptr, timeoutMs); }

DialogResult Host::MessageBox(const std::string& caption, const std::string& text, DialogButtons buttons,
                              DialogIcon icon) {
  std::vector<SDL_MessageBoxButtonData> data;
  std::vector<DialogResult> results;
  auto add = [&](const char* label, DialogResult r, bool isDefault, bool isCancel) {
    Uint32 flags = (isDefault ? SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT : 0) |
                   (isCancel ? SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT : 0);
    data.push_back({flags, static_cast<int>(results.size()), label});
    results.push_back(r);
  };
  switch (buttons) {
    case DialogButtons::Ok: add("OK", DialogResult::Ok, true, true); break;
    case DialogButtons::OkCancel:
      add("OK", DialogResult::Ok, true, false);
      add("\xE3\x82\xAD\xE3\x83\xA3\xE3\x83\xB3\xE3\x82\xBB\xE3\x83\xAB", DialogResult::Cancel, false, true);  // キャンセル
      break;
    case DialogButtons::YesNo:
      add("\xE3\x81\xAF\xE3\x81\x84", DialogResult::Yes, true, false);    // はい
      add("\xE3\x81\x84\xE3\x81\x84\xE3\x81\x88", DialogResult::No, false, true);  // いいえ
      break;
  }
  Uint32 flags = icon == DialogIcon::Warning ? SDL_MESSAGEBOX_WARNING
                 : icon == DialogIcon::Error ? SDL_MESSAGEBOX_ERROR
                                             : SDL_MESSAGEBOX_INFORMATION;
  SDL_MessageBoxData box{flags, impl_->window, caption.c_str(), text.c_str(), static_cast<int>(data.size()),
                         data.data(), nullptr};
  int chosen = -1;
  if (SDL_ShowMessageBox(&box, &chosen) != 0 || chosen < 0) {
    std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
    // No box could be shown, or it was closed: the cancelling button answers.
    return results.back();
  }
  return results[static_cast<size_t>(chosen)];
}

bool Host::OpenUrl(const std::string& url) { return SDL_OpenURL(url.c_str()) == 0; }

bool Host::SetClipboardText(const std::string& utf8) { return SDL_SetClipboardText(utf8.c_str()) == 0; }

}  // namespace orba::platform::sdl
