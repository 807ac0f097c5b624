#include "media/mediaman.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "base/cp932.h"
#include "base/error.h"
#include "media/soundfile.h"

namespace orba {

namespace {

TMediaManagers* g_managers = nullptr;

std::string LowerExtension(const std::string& name) {
  size_t dot = name.rfind('.');
  size_t slash = name.find_last_of("\\/");
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
  std::string ext = name.substr(dot);
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return ext;
}

// A MIDI item until the sequencer exists: its settings and a silent play that ends at once.
class TMidiItem final : public TDMediaItem {
 public:
  using TDMediaItem::TDMediaItem;
  bool GetLoop() override { return loop_; }
  void SetLoop(bool loop) override { loop_ = loop; }
  int32_t GetVolume() override { return volume_; }
  void SetVolume(int32_t v) override { volume_ = v; }
  int32_t GetPosition() override { return position_; }
  void SetPosition(int32_t ms) override { position_ = std::max(0, ms); }
  bool IsEnd() override { return played_ && !paused_ && !loop_; }
  bool IsPaused() override { return paused_; }
  void Play() override {
    if (!manager_.Enabled()) {
      ResumeMark = true;
      return;
    }
    played_ = true;
    paused_ = false;
  }
  void Pause() override { paused_ = true; }

 private:
  bool loop_ = false, played_ = false, paused_ = false;
  int32_t volume_ = 0, position_ = 0;
};

}  // namespace

// ---- the manager list ------------------------------------------------------------

TDMediaItem* TMediaManager::Append(std::unique_ptr<TDMediaItem> item) {
  items_.push_back(std::move(item));
  return items_.back().get();
}

void TMediaManager::Release(TDMediaItem* item) {
  auto it = std::find_if(items_.begin(), items_.end(), [item](const auto& p) { return p.get() == item; });
  if (it == items_.end()) return;
  std::unique_ptr<TDMediaItem> dead = std::move(*it);
  items_.erase(it);
}

void TMediaManager::Suspend() {
  if ((hasEnabled_ && !enabled_) || suspended_) return;
  suspended_ = true;
  for (auto& item : items_) {
    if (item->IsPlaying() && !item->IsPaused() && !item->IsEnd()) {
      item->Pause();
      item->ResumeMark = true;
    } else {
      item->ResumeMark = false;
    }
  }
}

void TMediaManager::Resume() {
  if ((hasEnabled_ && !enabled_) || !suspended_) return;
  suspended_ = false;
  for (auto& item : items_)
    if (item->ResumeMark) {
      item->ResumeMark = false;
      item->Play();
    }
}

void TMediaManager::SetEnabled(bool on) {
  if (on == enabled_) return;
  if (!on) {
    Suspend();
    enabled_ = false;
  } else {
    enabled_ = true;
    Resume();
  }
}

// ---- sampled sound in the mixer ------------------------------------------------------

TMixerItem::TMixerItem(TMediaManager& manager, TWavOut& mixer, TWavBuffer* source)
    : TDMediaItem(manager), mixer_(mixer), source_(source) {}

TMixerItem::~TMixerItem() {
  if (source_) mixer_.RemoveSource(source_);
}

int32_t TMixerItem::MixerVolumeOf(int32_t volume) {
  return std::clamp((std::max(volume, -5000) + 5000) * 256 / 5000, 0, 256);
}

bool TMixerItem::GetLoop() { return source_ ? source_->Loop() : loop_; }

void TMixerItem::SetLoop(bool loop) {
  loop_ = loop;
  if (source_) source_->SetLoop(loop);
}

void TMixerItem::SetPan(int32_t pan) {
  pan_ = std::clamp(pan, -10000, 10000);
  if (source_) source_->SetPan(pan_);
}

void TMixerItem::SetVolume(int32_t volume) {
  volume_ = volume;
  if (source_) source_->SetVolume(MixerVolumeOf(volume));
}

int32_t TMixerItem::GetPosition() {
  if (!source_) return 0;
  const TWavFormat& f = source_->Format();
  double byteRate = static_cast<double>(f.BitsPerSample) * f.Channels * f.SamplesPerSec / 8;
  if (byteRate <= 0) return 0;
  return static_cast<int32_t>(std::lround(source_->Position() / byteRate * 1000));
}

void TMixerItem::SetPosition(int32_t ms) {
  if (!source_) return;
  const TWavFormat& f = source_->Format();
  source_->SetReadPosition(std::llround(static_cast<double>(ms) * f.BitsPerSample * f.Channels * f.SamplesPerSec / 8000));
}

int32_t TMixerItem::GetLength() {
  if (!source_ || source_->StreamSize() <= 0) return 0;
  const TWavFormat& f = source_->Format();
  return static_cast<int32_t>(source_->StreamSize() * 1000 / std::max<uint32_t>(1, f.AvgBytesPerSec));
}

bool TMixerItem::IsEnd() {
  if (!source_) return played_ && !loop_;  // a silent item ends as soon as it plays
  bool done = source_->IsDone();
  if (done && source_->Loop()) {
    source_->Play();
    return false;
  }
  return done;
}

bool TMixerItem::IsPlaying() {
  return source_ && source_->Playing() && !source_->Stopped() && !source_->IsDone();
}

void TMixerItem::Play() {
  if (!manager_.Enabled()) {
    ResumeMark = true;  // the sound switch is off: it starts when the switch goes on
    return;
  }
  played_ = true;
  if (source_) source_->Play();
  paused_ = false;
}

void TMixerItem::Pause() {
  if (source_) source_->Stop();
  paused_ = true;
}

TWavBuffer* TMixerManager::SourceOf(const std::string& name, const std::function<std::vector<uint8_t>()>& load) {
  try {
    auto bytes = std::make_shared<const std::vector<uint8_t>>(load());
    auto pcm = OpenSoundFile(bytes, env_.Codecs);
    mixer_.Open();
    return mixer_.AddSource(std::move(pcm));
  } catch (const EOrbaError& e) {
    OrbaLog().Write(name + ": " + e.Message());
  } catch (const std::exception& e) {
    OrbaLog().Write(name + ": " + e.what());
  }
  return nullptr;
}

TDMediaItem* TMixerManager::Add(const std::string& name) {
  TWavBuffer* source = SourceOf(name, [&] {
    if (!env_.LoadFile) throw EOrbaError(name);
    return env_.LoadFile(name);
  });
  return Append(std::make_unique<TMixerItem>(*this, mixer_, source));
}

// ---- CD audio ----------------------------------------------------------------------

// A CD item: the track file plays in the mixer; only the item that played last holds the drive.
class TCddaItem final : public TMixerItem {
 public:
  using TMixerItem::TMixerItem;
  ~TCddaItem() override {
    auto& m = static_cast<TCddaManager&>(manager_);
    if (m.current_ == this) m.current_ = nullptr;
  }
  void Play() override {
    auto& m = static_cast<TCddaManager&>(manager_);
    if (!m.Enabled()) {
      ResumeMark = true;
      return;
    }
    if (m.current_ && m.current_ != this) {
      // the drive plays one track: the one before stops where it is
      auto* before = static_cast<TCddaItem*>(m.current_);
      if (before->source_) before->source_->Stop();
    }
    m.current_ = this;
    TMixerItem::Play();
  }
  bool IsPlaying() override { return static_cast<TCddaManager&>(manager_).current_ == this && TMixerItem::IsPlaying(); }
  bool IsEnd() override { return static_cast<TCddaManager&>(manager_).current_ == this && TMixerItem::IsEnd(); }
};


std::optional<std::string> TCddaManager::TrackFile(int track) const {
  std::error_code ec;
  std::vector<std::string> found;
  for (const auto& entry : std::filesystem::directory_iterator(env_.CdTrackFolder, ec)) {
    if (!entry.is_regular_file(ec)) continue;
    std::string stem = entry.path().stem().string(), ext = LowerExtension(entry.path().filename().string());
    if (ext != ".ogg" && ext != ".flac" && ext != ".wav") continue;
    if (stem.empty() || stem.size() > 9 || !std::all_of(stem.begin(), stem.end(), [](char c) { return c >= '0' && c <= '9'; }))
      continue;
    if (std::stoi(stem) == track) found.push_back(entry.path().string());
  }
  if (found.empty()) return std::nullopt;
  std::sort(found.begin(), found.end());
  return found.front();
}

TDMediaItem* TCddaManager::Add(const std::string& name) {
  TWavBuffer* source = nullptr;
  int track = 0;
  const char* digits = name.size() > 3 ? name.c_str() + 3 : "";
  char* end = nullptr;
  long n = std::strtol(digits, &end, 10);
  if (end != digits && *end == '\0' && n > 0 && n < 100) track = static_cast<int>(n);
  if (track == 0) {
    OrbaLog().Write(name + ": " + Sjis(u8"トラック番号がありません"));
  } else if (auto file = TrackFile(track)) {
    source = SourceOf(name, [&] {
      std::ifstream in(*file, std::ios::binary);
      return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    });
  } else {
    OrbaLog().Write(name + ": " + Sjis(u8"トラックのファイルがありません"));
  }
  return Append(std::make_unique<TCddaItem>(*this, mixer_, source));
}

// ---- MIDI --------------------------------------------------------------------------

TDMediaItem* TMidiManager::Add(const std::string&) { return Append(std::make_unique<TMidiItem>(*this)); }

std::vector<std::string> TMidiManager::Ports() const { return {Sjis(u8"MIDIマッパー")}; }

void TMidiManager::SelectPort(const std::string& name) {
  auto ports = Ports();
  auto it = std::find(ports.begin(), ports.end(), name);
  port_ = it == ports.end() ? 0 : static_cast<int32_t>(it - ports.begin());
}

// ---- video -------------------------------------------------------------------------

using Family = IOrbaMediaLibrary::Family;

TVideoItem::TVideoItem(TMediaManager& manager, IOrbaMediaLibrary& library, TMediaHandle handle)
    : TDMediaItem(manager), library_(library), handle_(handle) {}
TVideoItem::~TVideoItem() { library_.orbaVidmanDel(handle_); }
bool TVideoItem::GetLoop() { return library_.GetAutoRepeat(Family::Video, handle_); }
void TVideoItem::SetLoop(bool loop) { library_.SetAutoRepeat(Family::Video, handle_, loop); }
int32_t TVideoItem::GetPan() { return library_.GetPan(Family::Video, handle_); }
int32_t TVideoItem::GetVolume() { return library_.GetVol(Family::Video, handle_); }
void TVideoItem::SetPan(int32_t pan) { library_.SetPan(Family::Video, handle_, pan); }
void TVideoItem::SetVolume(int32_t volume) { library_.SetVol(Family::Video, handle_, volume); }
int32_t TVideoItem::GetPosition() { return library_.GetPosition(Family::Video, handle_); }
void TVideoItem::SetPosition(int32_t ms) { library_.SetPosition(Family::Video, handle_, ms); }
int32_t TVideoItem::GetLength() { return library_.GetLen(Family::Video, handle_); }
bool TVideoItem::IsEnd() { return library_.IsEnd(Family::Video, handle_); }
bool TVideoItem::IsPlaying() { return library_.IsPlaying(Family::Video, handle_); }
bool TVideoItem::IsPaused() { return library_.IsPaused(Family::Video, handle_); }
void TVideoItem::Play() { library_.Play(Family::Video, handle_); }
void TVideoItem::Pause() { library_.Pause(Family::Video, handle_); }

TDMediaItem* TVideoManager::Add(const std::string& name, bool copy) {
  if (!env_.Library) return Append(std::make_unique<TDMediaItem>(*this));
  return Append(std::make_unique<TVideoItem>(*this, *env_.Library, env_.Library->orbaVidmanAdd(name, nullptr, copy)));
}

// ---- the set -------------------------------------------------------------------------

TMediaManagers::TMediaManagers(TMediaEnvironment env) : env_(std::move(env)) {
  mixer_ = std::make_unique<TWavOut>(env_.Audio, *env_.Clock, env_.DelayMs);
  video_ = std::make_unique<TVideoManager>(env_);
  wmp_ = std::make_unique<TWmpManager>(env_, *mixer_);
  ogg_ = std::make_unique<TOggManager>(env_, *mixer_);
  cdda_ = std::make_unique<TCddaManager>(env_, *mixer_);
  midi_ = std::make_unique<TMidiManager>();
}

TMediaManagers::~TMediaManagers() {
  video_.reset();
  wmp_.reset();
  ogg_.reset();
  cdda_.reset();
  midi_.reset();
  mixer_.reset();
}

TMediaManager* TMediaManagers::ManagerFor(const std::string& source) {
  std::string ext = LowerExtension(source);
  if (ext == ".mid" || ext == ".sgt") return midi_.get();
  if (ext == ".wma" || ext == ".asf" || ext == ".wmv") return wmp_.get();
  if (ext == ".ogg" || ext == ".wav") return ogg_.get();
  if (source.compare(0, 3, "CD_") == 0) return cdda_.get();
  return nullptr;
}

void TMediaManagers::SetSoundOn(bool on) {
  soundOn_ = on;
  for (TMediaManager* m : All())
    if (m != video_.get()) m->SetEnabled(on);  // video has no switch
}

std::array<TMediaManager*, 5> TMediaManagers::All() { return {video_.get(), wmp_.get(), ogg_.get(), cdda_.get(), midi_.get()}; }

void TMediaManagers::SuspendAll() {
  for (TMediaManager* m : All()) m->Suspend();
}

void TMediaManagers::ResumeAll() {
  for (TMediaManager* m : All()) m->Resume();
}

TMediaManagers* MediaManagers() { return g_managers; }
void SetMediaManagers(TMediaManagers* managers) { g_managers = managers; }

}  // namespace orba
