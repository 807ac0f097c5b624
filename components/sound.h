// The invisible sound kinds: a sound or piece of music played through a media item, with its
// volume, balance, loop, pause and timed fades; a timer that raises its notify event at a fixed
// interval; and a motion that moves one numeric property of another component over a time.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "base/extended.h"
#include "components/mediacomponent.h"
#include "components/orbaobject.h"

namespace orba {

class TDMediaItem;

// Whether a sound's file is there to be played (the project's files); without a check set
// every name counts as there and the manager gives a silent item for a missing one.
void SetSoundFileCheck(std::function<bool(const std::string&)> check);

// A component volume 0..1000 in the item's hundredths of a decibel (0 full, -10000 silent):
// MIDI spreads the whole range, the sampled routes the upper half with silence at 0.
int32_t MappedVolume(int32_t volume, bool midi);

// A timed change of an item's volume, stepped once per tick on the game clock.
class TOrbaMixer {
 public:
  TOrbaMixer(TDMediaItem& item, int32_t to, int32_t duration);
  virtual ~TOrbaMixer() = default;
  // True when the fade is complete.
  virtual bool Step() = 0;
  // The volume e ms into the fade. The sampled routes cover only half of the decibel range
  // on the way (a fade-out then drops to silence, a fade-in starts at half attenuation); MIDI
  // covers all of it, and its rise is held at the target it would otherwise overshoot.
  int32_t ValueAt(uint32_t e) const;

 protected:
  TDMediaItem& item_;
  int32_t from_ = 0, to_, duration_;
  int32_t startTime_ = 0;
  bool started_ = false;
  bool midi_;
};

class TOrbaMixerFadein final : public TOrbaMixer {
 public:
  using TOrbaMixer::TOrbaMixer;
  bool Step() override;
};

class TOrbaMixerFadeout final : public TOrbaMixer {
 public:
  TOrbaMixerFadeout(TDMediaItem& item, int32_t duration) : TOrbaMixer(item, -10000, duration) {}
  bool Step() override;
};

class TOrbaSound : public TOrbaComponent, public IMediaComponent {
 public:
  using IMediaComponent::kPlaying, IMediaComponent::kFadingIn, IMediaComponent::kStopped, IMediaComponent::kFadingOut;
  explicit TOrbaSound(TOrbaBaseList* owner) : TOrbaComponent(owner) {}
  ~TOrbaSound() override;
  int32_t GetCompoType() const override { return 17; }

  std::string Source;
  uint8_t PlayState = kStopped;
  bool Repeat = false, Paused = false, AniPaused = false, AutoScrap = false, Ended = false;
  int32_t Volume = 1000, Balance = 0, Delay = 0, StartPosition = 0;
  std::string OnPlayEnd;
  bool RewindOnLoad = false, MuteOnLoad = false;

  TDMediaItem* Item() const { return item_; }
  bool Fading() const { return fade_ != nullptr; }
  void SetPlayState(uint8_t state) override;
  // Starts from the beginning, with a fade-in when Delay is set.
  void Play() override;
  int32_t Length();
  uint8_t MediaPlayState() const override { return PlayState; }
  const std::string& MediaSource() const override { return Source; }
  int32_t FadeTime() const override { return Delay; }
  void SetFadeTime(int32_t ms) override { Delay = ms; }

  int32_t GetInt(int32_t code) const override;
  void SetInt(int32_t code, int32_t v) override;
  bool GetBool(int32_t code) const override;
  void SetBool(int32_t code, bool v) override;
  std::string GetStr(int32_t code) const override;
  void SetStr(int32_t code, const std::string& v) override;
  bool Tick() override;
  void Transfer(TTreeIO& io) override;

 private:
  bool IsMidi() const;
  int32_t Mapped() const { return MappedVolume(Volume, IsMidi()); }
  void CreateItem();
  void ReleaseItem();
  void ApplyPause();
  void StartFadein();
  TDMediaItem* item_ = nullptr;
  std::unique_ptr<TOrbaMixer> fade_;
};

class TOrbaTimer : public TOrbaComponent {
 public:
  explicit TOrbaTimer(TOrbaBaseList* owner);
  int32_t GetCompoType() const override { return 15; }

  std::string OnNotify;
  int32_t Delay = 0;
  bool Paused = false, AutoScrap = false, Fired = false;
  int32_t LastTime = 0;

  // Drops the waiting notify events and counts the interval from now.
  void Reset();
  int32_t GetInt(int32_t code) const override;
  void SetInt(int32_t code, int32_t v) override;
  bool GetBool(int32_t code) const override;
  void SetBool(int32_t code, bool v) override;
  std::string GetStr(int32_t code) const override;
  void SetStr(int32_t code, const std::string& v) override;
  bool Tick() override;
  void Transfer(TTreeIO& io) override;
};

class TOrbaPropMotion : public TOrbaComponent {
 public:
  enum : uint8_t { kLinear = 0, kSlowStart = 1, kSlowEnd = 2 };
  using TOrbaComponent::TOrbaComponent;
  int32_t GetCompoType() const override { return 26; }

  std::string TargetName;
  int32_t Property = 255;
  uint8_t Easing = kLinear;
  TExtended EndValue = 0, StartValue = 0;
  int32_t Duration = 0, Elapsed = 0;
  bool Paused = false;

  // The value written elapsed ms into the motion (after the start value was read).
  TExtended ValueAt(int32_t elapsed) const;
  bool GetBool(int32_t code) const override { return code == PR_PAUSED && Paused; }
  void SetBool(int32_t code, bool v) override {
    if (code == PR_PAUSED) Paused = v;
  }
  bool Tick() override;
  void Transfer(TTreeIO& io) override;

 private:
  TComponentId target_ = 0;
};

}  // namespace orba
