// The sound, timer and property-motion components.
#include "components/sound.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "base/process.h"
#include "components/baselist.h"
#include "components/propaccess.h"
#include "media/mediaman.h"
#include "values/params.h"

namespace orba {

namespace {

std::function<bool(const std::string&)>& FileCheck() {
  static std::function<bool(const std::string&)> check;
  return check;
}

bool SourceAvailable(const std::string& source) {
  if (source.starts_with("CD_")) return true;
  return !FileCheck() || FileCheck()(source);
}

}  // namespace

void SetSoundFileCheck(std::function<bool(const std::string&)> check) { FileCheck() = std::move(check); }

int32_t MappedVolume(int32_t volume, bool midi) {
  if (midi) return 10 * volume - 10000;
  if (volume <= 0) return -10000;
  if (volume > 1000) return 0;
  return 5 * volume - 5000;
}

// ---- fades ----------------------------------------------------------------------------------

TOrbaMixer::TOrbaMixer(TDMediaItem& item, int32_t to, int32_t duration)
    : item_(item), to_(to), duration_(duration), midi_(MediaManagers() && &item.Manager() == &MediaManagers()->Midi()) {}

int32_t TOrbaMixer::ValueAt(uint32_t e) const {
  if (duration_ <= 0 || e >= static_cast<uint32_t>(duration_)) return to_;
  const int64_t d = to_ - from_;
  const int64_t step = midi_ ? d : d / 2;
  const int64_t moved = static_cast<int64_t>(e) * step / duration_;
  if (from_ > to_) return static_cast<int32_t>(from_ + moved);
  const int64_t v = from_ + step + moved;
  return static_cast<int32_t>(midi_ ? std::min<int64_t>(v, to_) : v);
}

bool TOrbaMixerFadein::Step() {
  if (!started_) {
    item_.SetVolume(-10000);
    item_.Play();
    from_ = -10000;
    startTime_ = Process().GameTime;
    started_ = true;
    return false;
  }
  const uint32_t e = static_cast<uint32_t>(Process().GameTime - startTime_);
  item_.SetVolume(ValueAt(e));
  return e >= static_cast<uint32_t>(duration_);
}

bool TOrbaMixerFadeout::Step() {
  if (!started_) {
    from_ = item_.GetVolume();
    startTime_ = Process().GameTime;
    started_ = true;
    return false;
  }
  const uint32_t e = static_cast<uint32_t>(Process().GameTime - startTime_);
  if (e >= static_cast<uint32_t>(duration_)) return true;  // the item keeps its last volume
  item_.SetVolume(ValueAt(e));
  return false;
}

// ---- sound ----------------------------------------------------------------------------------

TOrbaSound::~TOrbaSound() {
  fade_.reset();
  if (item_) item_->SetVolume(-10000);
  ReleaseItem();
}

bool TOrbaSound::IsMidi() const { return item_ && MediaManagers() && &item_->Manager() == &MediaManagers()->Midi(); }

void TOrbaSound::ReleaseItem() {
  if (!item_) return;
  item_->Manager().Release(item_);
  item_ = nullptr;
}

void TOrbaSound::CreateItem() {
  if (!SourceAvailable(Source)) {
    if (AutoScrap && Owner) Owner->Scrap(this);
    return;
  }
  TMediaManager* manager = MediaManagers() ? MediaManagers()->ManagerFor(Source) : nullptr;
  if (!manager) return;
  item_ = manager->Add(Source);
  item_->SetPan(Balance);
  if (StartPosition > 0) item_->SetPosition(StartPosition);
}

void TOrbaSound::StartFadein() {
  fade_ = std::make_unique<TOrbaMixerFadein>(*item_, Mapped(), Delay);
}

void TOrbaSound::SetPlayState(uint8_t state) {
  fade_.reset();
  Ended = false;
  if (state == kFadingIn && Delay <= 0) state = kPlaying;
  PlayState = state;
  if ((state == kPlaying || state == kFadingIn) && !item_) {
    CreateItem();
    if (IsScrapped()) return;
  }
  switch (state) {
    case kStopped:
      if (!item_) return;
      ReleaseItem();
      StartPosition = 0;
      if (Owner) Owner->Scrap(this);
      return;
    case kPlaying:
      if (!item_) return;
      item_->SetLoop(Repeat);
      item_->SetVolume(Mapped());
      if (Paused) item_->Pause();
      else item_->Play();
      if (StartPosition > 0) item_->SetPosition(StartPosition);
      return;
    case kFadingIn:
      if (!item_) return;
      item_->SetLoop(Repeat);
      if (!Paused) StartFadein();
      return;
    case kFadingOut:
      if (!item_) {
        if (Owner) Owner->Scrap(this);
        return;
      }
      fade_ = std::make_unique<TOrbaMixerFadeout>(*item_, Delay);
      StartPosition = 0;
      // The name is free at once for a new sound of the same name.
      SetName(std::string(1, kInternalMark) + "SCRAP_" + Name());
      return;
    default:
      return;
  }
}

void TOrbaSound::Play() {
  StartPosition = 0;
  Paused = false;
  Ended = false;
  SetPlayState(kFadingIn);
  if (!item_) return;
  fade_.reset();
  if (Delay <= 0) {
    item_->SetVolume(Mapped());
    item_->SetPosition(0);
    if (!item_->IsPlaying()) item_->Play();
  } else {
    item_->Pause();
    item_->SetVolume(-10000);
    item_->SetPosition(0);
    StartFadein();
  }
}

void TOrbaSound::ApplyPause() {
  if (!item_) return;
  if (Paused || AniPaused) {
    item_->Pause();
    item_->SetVolume(-10000);
  } else if (PlayState == kFadingIn) {
    StartFadein();
  } else {
    item_->SetVolume(Mapped());
    item_->Play();
  }
}

int32_t TOrbaSound::Length() {
  if (item_) return item_->GetLength();
  if (Source.empty() || !SourceAvailable(Source)) return 0;
  TMediaManager* manager = MediaManagers() ? MediaManagers()->ManagerFor(Source) : nullptr;
  if (!manager) return 0;
  TDMediaItem* probe = manager->Add(Source);
  const int32_t length = probe->GetLength();
  manager->Release(probe);
  return length;
}

int32_t TOrbaSound::GetInt(int32_t code) const {
  switch (code) {
    case PR_VOLUME: return Volume;
    case PR_BALANCE: return Balance;
    case PR_DELAY: return Delay;
    case PR_INDEX: return item_ ? item_->GetPosition() : 0;
    case PR_COUNT: return const_cast<TOrbaSound*>(this)->Length();
    default: return TOrbaComponent::GetInt(code);
  }
}

void TOrbaSound::SetInt(int32_t code, int32_t v) {
  switch (code) {
    case PR_VOLUME:
      Volume = v;
      if (item_) item_->SetVolume(Mapped());
      return;
    case PR_BALANCE:
      Balance = std::clamp(v, -10000, 10000);
      if (item_) item_->SetPan(Balance);
      return;
    case PR_DELAY: Delay = v; return;
    case PR_INDEX:
      StartPosition = v;
      Ended = false;
      if (!item_) return;
      item_->SetPosition(v);
      if (!Paused && !item_->IsPlaying()) item_->Play();
      return;
    default: TOrbaComponent::SetInt(code, v);
  }
}

bool TOrbaSound::GetBool(int32_t code) const {
  switch (code) {
    case PR_REPEAT: return Repeat;
    case PR_PAUSED: return Paused;
    case PR_ANIPAUSED: return AniPaused;
    case PR_AUTOSCRAP: return AutoScrap;
    case PR_PLAYING: return item_ && item_->IsPlaying();
    case PR_REWINDONLOAD: return RewindOnLoad;
    case PR_MUTEONLOAD: return MuteOnLoad;
    default: return false;
  }
}

void TOrbaSound::SetBool(int32_t code, bool v) {
  switch (code) {
    case PR_REPEAT:
      Repeat = v;
      if (!item_) return;
      item_->SetLoop(v);
      if (v && !Paused && item_->GetPosition() >= item_->GetLength() - 1) {
        item_->SetPosition(0);
        Ended = false;
      }
      return;
    case PR_PAUSED:
    case PR_ANIPAUSED: {
      bool& field = code == PR_PAUSED ? Paused : AniPaused;
      if (field == v) return;
      field = v;
      ApplyPause();
      return;
    }
    case PR_AUTOSCRAP: AutoScrap = v; return;
    case PR_REWINDONLOAD: RewindOnLoad = v; return;
    case PR_MUTEONLOAD: MuteOnLoad = v; return;
    default: return;
  }
}

std::string TOrbaSound::GetStr(int32_t code) const {
  switch (code) {
    case PR_SOURCE: return Source;
    case PR_ONPLAYEND: return OnPlayEnd;
    default: return TOrbaComponent::GetStr(code);
  }
}

void TOrbaSound::SetStr(int32_t code, const std::string& v) {
  switch (code) {
    case PR_SOURCE:
      if (v == Source) return;
      fade_.reset();
      ReleaseItem();
      Source = v;
      PlayState = kStopped;
      Paused = false;
      StartPosition = 0;
      Ended = false;
      return;
    case PR_ONPLAYEND: OnPlayEnd = v; return;
    default: TOrbaComponent::SetStr(code, v);
  }
}

bool TOrbaSound::Tick() {
  bool finished = false;
  // The item reports its end until it is started again: a non-repeating sound ends once.
  if (item_ && !Ended && item_->IsEnd()) {
    if (Repeat) {
      item_->SetPosition(0);
    } else {
      Ended = true;
      if (AutoScrap) finished = true;
      else QueueEvent(PR_ONPLAYEND);
    }
  }
  if (fade_ && fade_->Step()) {
    const bool out = dynamic_cast<TOrbaMixerFadeout*>(fade_.get()) != nullptr;
    fade_.reset();
    finished = finished || out;
  }
  return finished;
}

void TOrbaSound::Transfer(TTreeIO& io) {
  TOrbaComponent::Transfer(io);
  const bool reading = io.Mode != TTreeIO::TMode::Write;
  std::string source = Source;
  io.Str(source);
  bool repeat = Repeat, autoScrap = AutoScrap, paused = Paused, aniPaused = AniPaused, ended = Ended;
  io.Flag(repeat);
  io.Flag(autoScrap);
  io.Flag(paused);
  io.Flag(aniPaused);
  io.Flag(ended);
  int32_t volume = Volume, balance = Balance, delay = Delay;
  io.I32(volume);
  io.I32(balance);
  io.I32(delay);
  int32_t position = item_ ? item_->GetPosition() : 0;
  io.I32(position);
  // A short sound that plays once is over before anyone loads the game: it is saved stopped.
  uint8_t state = PlayState;
  if (!reading && !(Repeat || PlayState > kFadingIn || Length() > 2999)) state = kStopped;
  io.Byte(state);
  io.Str(OnPlayEnd);
  bool rewind = RewindOnLoad, mute = MuteOnLoad;
  if (io.Version > 107) io.Flag(rewind);
  else rewind = false;
  if (io.Version > 128) io.Flag(mute);
  else mute = false;
  if (io.Mode != TTreeIO::TMode::Read) return;

  Repeat = repeat;
  AutoScrap = autoScrap;
  Volume = mute ? 0 : volume;
  Balance = balance;
  RewindOnLoad = rewind;
  MuteOnLoad = mute;
  SetStr(PR_SOURCE, source);
  StartPosition = rewind ? 0 : position;
  Paused = paused;
  AniPaused = aniPaused;
  Ended = ended;
  if (state == kFadingOut) SetPlayState(kPlaying);
  Delay = delay;
  if (Ended) PlayState = state;
  else SetPlayState(state);
  if (Paused || AniPaused) ApplyPause();
}

// ---- timer ----------------------------------------------------------------------------------

TOrbaTimer::TOrbaTimer(TOrbaBaseList* owner) : TOrbaComponent(owner), LastTime(Process().GameTime) {}

void TOrbaTimer::Reset() {
  if (Owner) Owner->Events().RemoveWaiting(Id);
  LastTime = Process().GameTime;
}

int32_t TOrbaTimer::GetInt(int32_t code) const { return code == PR_DELAY ? Delay : TOrbaComponent::GetInt(code); }
void TOrbaTimer::SetInt(int32_t code, int32_t v) {
  if (code != PR_DELAY) return TOrbaComponent::SetInt(code, v);
  Delay = v;
  Reset();
}
bool TOrbaTimer::GetBool(int32_t code) const { return code == PR_PAUSED ? Paused : code == PR_AUTOSCRAP && AutoScrap; }
void TOrbaTimer::SetBool(int32_t code, bool v) {
  if (code == PR_AUTOSCRAP) AutoScrap = v;
  if (code != PR_PAUSED) return;
  Paused = v;
  Reset();
}
std::string TOrbaTimer::GetStr(int32_t code) const {
  return code == PR_ONNOTIFY ? OnNotify : TOrbaComponent::GetStr(code);
}
void TOrbaTimer::SetStr(int32_t code, const std::string& v) {
  if (code != PR_ONNOTIFY) return TOrbaComponent::SetStr(code, v);
  OnNotify = v;
  Reset();
}

bool TOrbaTimer::Tick() {
  if (Fired && AutoScrap) return !(Owner && Owner->Events().Has(Id, PR_ONNOTIFY));
  if (Delay < 0 || Paused) return false;
  if (Delay > 0 && Process().GameTime - LastTime < Delay) return false;
  // A late tick catches up one interval at a time, never with a second waiting event.
  LastTime += Delay;
  if (Owner && !Owner->Events().Has(Id, PR_ONNOTIFY) && !OnNotify.empty()) {
    QueueEvent(PR_ONNOTIFY);
    Fired = true;
  }
  return false;
}

void TOrbaTimer::Transfer(TTreeIO& io) {
  TOrbaComponent::Transfer(io);
  io.Str(OnNotify);
  io.I32(Delay);
  io.Flag(Paused);
  if (io.Version > 103) {
    io.Flag(AutoScrap);
    io.Flag(Fired);
  }
  if (io.Mode == TTreeIO::TMode::Read) LastTime = Process().GameTime;
}

// ---- property motion ------------------------------------------------------------------------

TExtended TOrbaPropMotion::ValueAt(int32_t e) const {
  if (e == 0) return StartValue;
  if (e >= Duration - 1) return EndValue;
  const TExtended l = Duration, quarter = std::numbers::pi_v<TExtended> / 2;
  switch (Easing) {
    case kSlowStart: return EndValue - std::sin((l - e - 1) * quarter / l) * (EndValue - StartValue);
    case kSlowEnd: return StartValue + std::sin(e * quarter / l) * (EndValue - StartValue);
    default: return StartValue + (EndValue - StartValue) * e / l;
  }
}

bool TOrbaPropMotion::Tick() {
  if (Paused || !Owner) return false;
  TOrbaObject* target = nullptr;
  if (!target_) {
    target = Owner->FindComponent(TargetName);
    if (!target || Property < 0 || Property >= kPropertyCodeCount) return true;
    target_ = target->Id;
    StartValue = PropertyInfo(Property).Kind == TPropKind::Float ? PropFloat(*target, Property)
                                                                 : PropInt(*target, Property);
  } else {
    for (int32_t i = 0; i < Owner->Count() && !target; ++i)
      if (Owner->Item(i).Id == target_ && !Owner->Item(i).IsScrapped()) target = &Owner->Item(i);
    if (!target) return true;
  }
  const bool last = Elapsed != 0 && Elapsed >= Duration - 1;
  TParamFloat value;
  value.SetFloat(ValueAt(Elapsed));
  SetPropByCode(*target, Property, value);
  Elapsed += Process().FrameDelta;
  return last;
}

void TOrbaPropMotion::Transfer(TTreeIO& io) {
  TOrbaComponent::Transfer(io);
  std::string name = TargetName;
  if (io.Mode == TTreeIO::TMode::Write && target_ && Owner) {
    std::string living;
    name = Owner->ComponentName(target_, living) ? living : std::string();
  }
  io.Str(name);
  TargetName = name;
  io.I32(Property);
  io.Ext(EndValue);
  io.I32(Duration);
  int32_t easing = Easing;
  io.I32(easing);
  Easing = static_cast<uint8_t>(easing);
  io.Ext(StartValue);
  io.I32(Elapsed);
  if (io.Version > 125) io.Flag(Paused);
}

}  // namespace orba
