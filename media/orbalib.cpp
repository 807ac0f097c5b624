#include "media/orbalib.h"

#include <map>

namespace orba {

namespace {

class TNullMediaLibrary final : public IOrbaMediaLibrary {
 public:
  int32_t orbaVersion() override { return kRequiredVersion; }
  void orbaInit() override {}
  void orbaFinal() override { items_.clear(); }

  void orbaOggmanSetUseThread(bool) override {}
  TMediaHandle orbaOggmanAdd(std::shared_ptr<TKvBigStream>, bool) override { return Add(); }
  void orbaOggmanDel(TMediaHandle h) override { items_.erase(h); }
  void orbaOggmanRestore() override {}

  TMediaHandle orbaOggStrmanAdd(std::shared_ptr<TKvBigStream>, bool) override { return Add(); }
  void orbaOggStrmanDel(TMediaHandle h) override { items_.erase(h); }
  bool orbaOggStrGetFormat(TMediaHandle, uint8_t[16]) override { return false; }
  int32_t orbaOggStrRead(TMediaHandle, void*, int32_t) override { return 0; }
  int32_t orbaOggStrGetPos(TMediaHandle) override { return 0; }
  int32_t orbaOggStrGetSize(TMediaHandle) override { return 0; }
  void orbaOggStrSetPos(TMediaHandle, int32_t) override {}
  int32_t orbaOggStrGetLen(TMediaHandle) override { return 0; }

  TMediaHandle orbaWmpmanAdd(const void*, int64_t) override { return Add(); }
  void orbaWmpmanDel(TMediaHandle h) override { items_.erase(h); }
  void orbaWmpmanRestore() override {}
  void orbaWmpmanProcessEvent(const TMediaWindowEvent&) override {}
  TMediaHandle orbaVidmanAdd(const std::string&, std::shared_ptr<TKvBigStream>, bool) override { return Add(); }
  void orbaVidmanDel(TMediaHandle h) override { items_.erase(h); }
  void orbaVidmanSuspend() override {}
  void orbaVidmanResume() override {}
  void orbaVidmanProcessEvent(const TMediaWindowEvent&) override {}

  void Play(Family, TMediaHandle h) override {
    if (auto* i = Find(h)) { i->played = true; i->paused = false; }
  }
  void Pause(Family, TMediaHandle h) override {
    if (auto* i = Find(h)) i->paused = true;
  }
  bool IsPaused(Family, TMediaHandle h) override { auto* i = Find(h); return i && i->paused; }
  // A silent item of length 0 that repeats keeps playing; otherwise it has ended once played.
  bool IsPlaying(Family, TMediaHandle h) override { auto* i = Find(h); return i && i->played && !i->paused && i->repeat; }
  bool IsEnd(Family, TMediaHandle h) override { auto* i = Find(h); return !i || (i->played && !i->repeat); }
  int32_t GetLen(Family, TMediaHandle) override { return 0; }
  int32_t GetPosition(Family, TMediaHandle) override { return 0; }
  void SetPosition(Family, TMediaHandle, int32_t) override {}
  int32_t GetVol(Family, TMediaHandle h) override { auto* i = Find(h); return i ? i->volume : 0; }
  void SetVol(Family, TMediaHandle h, int32_t v) override { if (auto* i = Find(h)) i->volume = v; }
  int32_t GetPan(Family, TMediaHandle h) override { auto* i = Find(h); return i ? i->pan : 0; }
  void SetPan(Family, TMediaHandle h, int32_t v) override { if (auto* i = Find(h)) i->pan = v; }
  bool GetAutoRepeat(Family, TMediaHandle h) override { auto* i = Find(h); return i && i->repeat; }
  void SetAutoRepeat(Family, TMediaHandle h, bool on) override { if (auto* i = Find(h)) i->repeat = on; }

  void orbaVideoSetRect(TMediaHandle, const TRect&, const TRect&) override {}
  void orbaVideoSetVisible(TMediaHandle h, bool v) override { if (auto* i = Find(h)) i->visible = v; }
  bool orbaVideoGetVisible(TMediaHandle h) override { auto* i = Find(h); return i && i->visible; }
  int32_t orbaVideoGetSourceWidth(TMediaHandle) override { return 0; }
  int32_t orbaVideoGetSourceHeight(TMediaHandle) override { return 0; }
  bool orbaVideoNeedPaint(TMediaHandle) override { return false; }

 private:
  struct Item {
    bool played = false, paused = false, repeat = false, visible = false;
    int32_t volume = 0, pan = 0;
  };
  TMediaHandle Add() {
    items_[next_] = Item{};
    return next_++;
  }
  Item* Find(TMediaHandle h) {
    auto it = items_.find(h);
    return it == items_.end() ? nullptr : &it->second;
  }
  std::map<TMediaHandle, Item> items_;
  TMediaHandle next_ = 1;
};

}  // namespace

std::unique_ptr<IOrbaMediaLibrary> CreateNullMediaLibrary() { return std::make_unique<TNullMediaLibrary>(); }

void TOrbaLog::Init(const std::string& path) {
  Final();
  file_ = std::fopen(path.c_str(), "wb");
}

void TOrbaLog::Final() {
  if (file_) std::fclose(file_);
  file_ = nullptr;
}

void TOrbaLog::Write(const std::string& line) {
  if (!file_) return;
  std::fwrite(line.data(), 1, line.size(), file_);
  std::fwrite("\r\n", 1, 2, file_);
  std::fflush(file_);
}

constinit TOrbaLog detail::g_orbaLog;

}  // namespace orba
