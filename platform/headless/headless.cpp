#include "platform/headless/headless.h"

#include "base/stream.h"
#include "files/replacefile.h"
#include "media/wavefile.h"
#include "shell/screenshot.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <stdexcept>

namespace orba::platform::headless {

void CapturePresenter::Present(const Frame& frame, int panelLeft, int panelTop) {
  PresentPieces(frame, panelLeft, panelTop, {{0, 0, frame.width, frame.height, 0, 0, frame.width, frame.height}});
}

namespace {

// Scales the source rectangle of p onto its destination rectangle of a panel, nearest neighbour.
void DrawPiece(const Frame& frame, const PresentPiece& p, std::vector<uint32_t>& panel, int width, int height) {
  long long sw = p.srcRight - p.srcLeft, sh = p.srcBottom - p.srcTop;
  long long dw = p.dstRight - p.dstLeft, dh = p.dstBottom - p.dstTop;
  if (sw <= 0 || sh <= 0 || dw <= 0 || dh <= 0) return;
  for (int y = std::max(0, p.dstTop); y < std::min(height, p.dstBottom); ++y) {
    long long sy = p.srcTop + (y - p.dstTop) * sh / dh;
    if (sy < 0 || sy >= frame.height) continue;
    for (int x = std::max(0, p.dstLeft); x < std::min(width, p.dstRight); ++x) {
      long long sx = p.srcLeft + (x - p.dstLeft) * sw / dw;
      if (sx >= 0 && sx < frame.width) panel[static_cast<size_t>(y) * width + x] = frame.pixels[sy * frame.pitch + sx];
    }
  }
}

}  // namespace

void CapturePresenter::PresentPieces(const Frame& frame, int, int, const std::vector<PresentPiece>& pieces) {
  PanelSize size = PanelSizeOf(frame, pieces);
  if (size.width != width_ || size.height != height_) {
    width_ = size.width;
    height_ = size.height;
    pixels_.assign(static_cast<size_t>(width_) * static_cast<size_t>(height_), 0);
    DrawPiece(frame, {0, 0, frame.width, frame.height, 0, 0, width_, height_}, pixels_, width_, height_);
  }
  for (const auto& p : pieces) DrawPiece(frame, p, pixels_, width_, height_);
  ++count_;
  lastPieces_ = pieces;
}

void ScriptedInput::Poll(std::vector<InputEvent>& out) {
  ++pass_;
  clock_.Advance(step_);
  auto it = events_.find(pass_);
  if (it == events_.end()) return;
  out.insert(out.end(), it->second.begin(), it->second.end());
  events_.erase(it);
}

DialogResult ScriptedDialogs::MessageBox(const std::string& caption, const std::string& text, DialogButtons buttons,
                                         DialogIcon) {
  DialogResult answer = buttons == DialogButtons::YesNo ? DialogResult::Yes : DialogResult::Ok;
  if (!answers_.empty()) {
    answer = answers_.front();
    answers_.pop_front();
  }
  shown.push_back({caption, text, buttons, answer});
  if (echoToStderr) std::fprintf(stderr, "[dialog] %s: %s\n", caption.c_str(), text.c_str());
  return answer;
}

void LoadInputScript(const std::string& text, ScriptedInput& input, ScriptedDialogs& dialogs) {
  std::istringstream lines(text);
  std::string line;
  int lineNo = 0;
  while (std::getline(lines, line)) {
    ++lineNo;
    if (auto hash = line.find('#'); hash != std::string::npos) line.resize(hash);
    std::istringstream words(line);
    int pass = 0;
    std::string cmd;
    if (!(words >> pass)) {
      if (line.find_first_not_of(" \t\r") == std::string::npos) continue;
      throw std::runtime_error("input script line " + std::to_string(lineNo) + ": expected a pass number");
    }
    auto fail = [&](const std::string& why) {
      throw std::runtime_error("input script line " + std::to_string(lineNo) + ": " + why);
    };
    if (pass < 1) fail("pass numbers start at 1");
    if (!(words >> cmd)) fail("missing command");
    auto button = [&]() {
      std::string b;
      words >> b;
      if (b == "left") return MouseButton::Left;
      if (b == "right") return MouseButton::Right;
      fail("expected left or right");
      return MouseButton::Left;
    };
    auto point = [&](InputEvent& e) {
      if (!(words >> e.x >> e.y)) fail("expected X Y");
    };
    auto key = [&]() {
      int k = -1;
      if (!(words >> k) || k < 0 || k > 255) fail("expected a key code 0..255");
      return k;
    };
    InputEvent e;
    if (cmd == "move") {
      e.kind = EventKind::MouseMove;
      point(e);
      input.At(pass, e);
    } else if (cmd == "down" || cmd == "up") {
      e.kind = cmd == "down" ? EventKind::MouseDown : EventKind::MouseUp;
      e.button = button();
      point(e);
      input.At(pass, e);
    } else if (cmd == "click") {
      point(e);
      for (auto k : {EventKind::MouseDown, EventKind::MouseUp}) {
        e.kind = k;
        input.At(pass, e);
      }
    } else if (cmd == "wheel") {
      std::string dir;
      words >> dir;
      if (dir != "up" && dir != "down") fail("expected up or down");
      e.kind = dir == "up" ? EventKind::WheelUp : EventKind::WheelDown;
      input.At(pass, e);
    } else if (cmd == "key" || cmd == "keydown" || cmd == "keyup") {
      e.key = key();
      if (cmd != "keyup") {
        e.kind = EventKind::KeyDown;
        input.At(pass, e);
      }
      if (cmd != "keydown") {
        e.kind = EventKind::KeyUp;
        input.At(pass, e);
      }
    } else if (cmd == "answer") {
      std::string a;
      words >> a;
      if (a == "yes") dialogs.QueueAnswer(DialogResult::Yes);
      else if (a == "no") dialogs.QueueAnswer(DialogResult::No);
      else if (a == "ok") dialogs.QueueAnswer(DialogResult::Ok);
      else if (a == "cancel") dialogs.QueueAnswer(DialogResult::Cancel);
      else fail("expected yes, no, ok or cancel");
    } else {
      static const std::map<std::string, EventKind> simple = {
          {"activate", EventKind::Activate}, {"deactivate", EventKind::Deactivate},
          {"close", EventKind::CloseRequest}, {"exit", EventKind::ToolbarExit},
          {"fullscreen", EventKind::ToolbarFullScreen}, {"tick", EventKind::RunTick},
          {"fastforward", EventKind::ToolbarFastForward}};
      auto it = simple.find(cmd);
      if (it == simple.end()) fail("unknown command " + cmd);
      e.kind = it->second;
      input.At(pass, e);
    }
    std::string extra;
    if (words >> extra) fail("unexpected " + extra);
  }
}

bool WritePng(const std::string& path, const Frame& frame) { return WriteFramePng(path, frame); }

}  // namespace orba::platform::headless

namespace orba::platform::headless {

AudioOut::AudioOut(FakeClock& clock) : clock_(clock) {
  clock_.onAdvance = [this](uint32_t ms) { Pull(ms); };
}

AudioOut::~AudioOut() { clock_.onAdvance = nullptr; }

bool AudioOut::Open(int bufferMs, IAudioSource& source) {
  if (source_) return false;
  source_ = &source;
  bufferMs_ = bufferMs;
  return true;
}

void AudioOut::Close() { source_ = nullptr; }

void AudioOut::Pull(uint32_t ms) {
  millis_ += ms;
  uint64_t due = millis_ * kAudioRate / 1000;
  size_t frames = static_cast<size_t>(due - frames_);
  frames_ = due;
  if (frames == 0) return;
  work_.assign(frames * kAudioChannels, 0);
  if (source_) {
    source_->Prepare();
    source_->Render(work_.data(), frames);
  }
  if (recording_) samples_.insert(samples_.end(), work_.begin(), work_.end());
}

bool AudioOut::WriteWav(const std::string& path) const {
  try {
    WriteFileReplacing(path, WriteWave(TWavFormat::Pcm(kAudioRate, kAudioChannels, 16), std::span<const int16_t>(samples_)));
    return true;
  } catch (...) {
    return false;
  }
}

}  // namespace orba::platform::headless
