// The media managers: every sound, piece of music and video is an item that one manager
// owns, one manager per route (video, media-player audio, Ogg and wave, CD audio tracks,
// MIDI). The sound and video components ask a manager for an item by file name, drive it
// through the common item operations and hand it back. The managers pause what plays when
// the player loses the focus and start it again when it comes back, and carry the sound
// switch. Sampled sound of every route plays through the one wave mixer.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "media/orbalib.h"
#include "media/wavout.h"
#include "platform/audio.h"
#include "platform/platform.h"

namespace orba {

class TMediaManager;

// One media item. Volume is in hundredths of a decibel (0 full, −10000 silent), pan −10000
// (left) .. 10000 (right), times in ms. The base does nothing and answers 0 or false.
class TDMediaItem {
 public:
  explicit TDMediaItem(TMediaManager& manager) : manager_(manager) {}
  virtual ~TDMediaItem() = default;
  virtual bool GetLoop() { return false; }
  virtual void SetLoop(bool) {}
  virtual int32_t GetPan() { return 0; }
  virtual int32_t GetVolume() { return 0; }
  virtual void SetPan(int32_t) {}
  virtual void SetVolume(int32_t) {}
  virtual int32_t GetPosition() { return 0; }
  virtual void SetPosition(int32_t) {}
  virtual int32_t GetLength() { return 0; }
  virtual bool IsEnd() { return false; }
  virtual bool IsPlaying() { return false; }
  virtual bool IsPaused() { return false; }
  virtual void Play() {}
  virtual void Pause() {}

  TMediaManager& Manager() const { return manager_; }
  // Set by a suspend for an item that was playing, so the resume starts it again.
  bool ResumeMark = false;

 protected:
  TMediaManager& manager_;
};

class TMediaManager {
 public:
  virtual ~TMediaManager() = default;
  // A new item for a file name (a project file, or a disk file when the name begins with '\'
  // or has ':' second), appended to the list. A file that cannot be played gives a silent item.
  virtual TDMediaItem* Add(const std::string& name) = 0;
  // Frees an item of this manager (others are ignored).
  void Release(TDMediaItem* item);
  // Pauses every item that plays, marking it; Resume plays the marked ones again.
  void Suspend();
  void Resume();
  // The sound switch: off suspends, on resumes. While off, Play only marks an item.
  void SetEnabled(bool on);
  bool Enabled() const { return enabled_; }
  bool Suspended() const { return suspended_; }
  size_t Count() const { return items_.size(); }
  TDMediaItem* Item(size_t i) const { return items_[i].get(); }

 protected:
  TDMediaItem* Append(std::unique_ptr<TDMediaItem> item);
  std::vector<std::unique_ptr<TDMediaItem>> items_;
  bool enabled_ = true, suspended_ = false;
  bool hasEnabled_ = true;  // the video manager has no switch
};

// What the managers need from the rest of the player.
struct TMediaEnvironment {
  platform::IAudioOutput* Audio = nullptr;   // null: no sound device, items stay silent
  platform::IAudioCodecs* Codecs = nullptr;  // null: wave files only
  platform::IClock* Clock = nullptr;
  int32_t DelayMs = 500;
  IOrbaMediaLibrary* Library = nullptr;      // video
  // A file's bytes by the name a script gives (the file-access rule above); raises when missing.
  std::function<std::vector<uint8_t>(const std::string&)> LoadFile;
  // Folder (native, with '/') of the CD audio track files: tracks named by number.
  std::string CdTrackFolder;
};

// A sampled sound in the wave mixer (wave, Ogg, compressed audio, CD tracks).
class TMixerItem : public TDMediaItem {
 public:
  TMixerItem(TMediaManager& manager, TWavOut& mixer, TWavBuffer* source);
  ~TMixerItem() override;
  bool GetLoop() override;
  void SetLoop(bool loop) override;
  int32_t GetPan() override { return pan_; }
  int32_t GetVolume() override { return volume_; }
  void SetPan(int32_t pan) override;
  void SetVolume(int32_t volume) override;
  int32_t GetPosition() override;
  void SetPosition(int32_t ms) override;
  int32_t GetLength() override;
  bool IsEnd() override;
  bool IsPlaying() override;
  bool IsPaused() override { return paused_; }
  void Play() override;
  void Pause() override;
  // The mixer source, or null for a silent item.
  TWavBuffer* Source() const { return source_; }
  // The mixer volume (0..256) of a volume in hundredths of a decibel: linear over −5000..0.
  static int32_t MixerVolumeOf(int32_t volume);

 protected:
  TWavOut& mixer_;
  TWavBuffer* source_;
  bool paused_ = false, played_ = false, loop_ = false;
  int32_t volume_ = 0, pan_ = 0;
};

// Items in the wave mixer for one route.
class TMixerManager : public TMediaManager {
 public:
  TMixerManager(const TMediaEnvironment& env, TWavOut& mixer) : env_(env), mixer_(mixer) {}
  TDMediaItem* Add(const std::string& name) override;
  TWavOut& Mixer() { return mixer_; }

 protected:
  // The mixer source of a file's bytes, or null (with a trace line) when it cannot play.
  TWavBuffer* SourceOf(const std::string& name, const std::function<std::vector<uint8_t>()>& load);
  const TMediaEnvironment& env_;
  TWavOut& mixer_;
};

// Ogg Vorbis and wave files.
class TOggManager final : public TMixerManager {
 public:
  using TMixerManager::TMixerManager;
};

// Windows Media audio and the other compressed formats.
class TWmpManager final : public TMixerManager {
 public:
  using TMixerManager::TMixerManager;
};

// CD audio: "CD_" and a track number. A Linux machine has no CD audio device to ask, so a
// track plays from a file named by its number in the track folder. One item owns the "drive"
// at a time: playing another stops the one before.
class TCddaManager final : public TMixerManager {
 public:
  using TMixerManager::TMixerManager;
  ~TCddaManager() override { items_.clear(); }  // the items still see a CD manager as they go
  TDMediaItem* Add(const std::string& name) override;
  // The track file for track n, if the folder holds one ("2.ogg", "02.flac", "002.wav"...).
  std::optional<std::string> TrackFile(int track) const;
  TDMediaItem* Current() const { return current_; }

 private:
  friend class TCddaItem;
  TDMediaItem* current_ = nullptr;
};

// MIDI: the seam for the sequencer. Items keep their settings and position; until a
// sequencer is plugged in they are silent and end as soon as they play (unless looping).
class TMidiManager final : public TMediaManager {
 public:
  TDMediaItem* Add(const std::string& name) override;
  std::vector<std::string> Ports() const;  // code page 932
  int32_t SelectedPort() const { return port_; }
  void SelectPort(const std::string& name);

 private:
  int32_t port_ = 0;
};

// Video through the runtime media library: the seam for the video component.
class TVideoItem final : public TDMediaItem {
 public:
  TVideoItem(TMediaManager& manager, IOrbaMediaLibrary& library, TMediaHandle handle);
  ~TVideoItem() override;
  bool GetLoop() override;
  void SetLoop(bool loop) override;
  int32_t GetPan() override;
  int32_t GetVolume() override;
  void SetPan(int32_t pan) override;
  void SetVolume(int32_t volume) override;
  int32_t GetPosition() override;
  void SetPosition(int32_t ms) override;
  int32_t GetLength() override;
  bool IsEnd() override;
  bool IsPlaying() override;
  bool IsPaused() override;
  void Play() override;
  void Pause() override;
  TMediaHandle Handle() const { return handle_; }

 private:
  IOrbaMediaLibrary& library_;
  TMediaHandle handle_;
};

class TVideoManager final : public TMediaManager {
 public:
  explicit TVideoManager(const TMediaEnvironment& env) : env_(env) { hasEnabled_ = false; }
  TDMediaItem* Add(const std::string& name) override { return Add(name, true); }
  // copy: the video component copies the picture (false: the platform shows it over the panel).
  TDMediaItem* Add(const std::string& name, bool copy);

 private:
  const TMediaEnvironment& env_;
};

// Every manager and the mixer, made in the start-up order and freed in the shutdown order.
class TMediaManagers {
 public:
  explicit TMediaManagers(TMediaEnvironment env);
  ~TMediaManagers();
  TWavOut& Mixer() { return *mixer_; }
  TVideoManager& Video() { return *video_; }
  TWmpManager& Wmp() { return *wmp_; }
  TOggManager& Ogg() { return *ogg_; }
  TCddaManager& Cdda() { return *cdda_; }
  TMidiManager& Midi() { return *midi_; }

  // The manager a sound component uses for a source name: ".mid" ".sgt" MIDI; ".wma" ".asf"
  // ".wmv" media player; ".ogg" ".wav" Ogg; a name beginning "CD_" CD audio; else none.
  TMediaManager* ManagerFor(const std::string& source);
  // The sound switch on every sound manager.
  void SetSoundOn(bool on);
  bool SoundOn() const { return soundOn_; }
  // Deactivation, menu and move loops: video first, then media player, Ogg, CD and MIDI.
  void SuspendAll();
  void ResumeAll();

 private:
  // In the order of start-up: video, media player, Ogg, CD, MIDI.
  std::array<TMediaManager*, 5> All();
  TMediaEnvironment env_;
  std::unique_ptr<TWavOut> mixer_;
  std::unique_ptr<TVideoManager> video_;
  std::unique_ptr<TWmpManager> wmp_;
  std::unique_ptr<TOggManager> ogg_;
  std::unique_ptr<TCddaManager> cdda_;
  std::unique_ptr<TMidiManager> midi_;
  bool soundOn_ = true;
};

// The player's media managers (null before start-up's media step and after shutdown's).
TMediaManagers* MediaManagers();
void SetMediaManagers(TMediaManagers* managers);

}  // namespace orba
