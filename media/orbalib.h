// The runtime media library: Ogg and PCM streams, media-player files and video, played on
// threads of its own. It lives inside the player; this is its entry-point table as an
// internal interface, so the media managers call it the same way whatever implements it.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>

#include "base/geometry.h"

namespace orba {

class TKvBigStream;

// A handle from one of the Add calls; 0 is no handle.
using TMediaHandle = int32_t;

// The window message record handed to ProcessEvent.
struct TMediaWindowEvent {
  uint32_t Message = 0;
  uintptr_t WParam = 0;
  intptr_t LParam = 0;
};

class IOrbaMediaLibrary {
 public:
  static constexpr int32_t kRequiredVersion = 108;

  virtual ~IOrbaMediaLibrary() = default;

  virtual int32_t orbaVersion() = 0;
  virtual void orbaInit() = 0;
  virtual void orbaFinal() = 0;

  // Ogg files played whole; the stream is kept until Del.
  virtual void orbaOggmanSetUseThread(bool on) = 0;
  virtual TMediaHandle orbaOggmanAdd(std::shared_ptr<TKvBigStream> stream, bool isOgg) = 0;
  virtual void orbaOggmanDel(TMediaHandle h) = 0;
  virtual void orbaOggmanRestore() = 0;

  // Ogg decoded to PCM for the wave mixer.
  virtual TMediaHandle orbaOggStrmanAdd(std::shared_ptr<TKvBigStream> stream, bool isOgg) = 0;
  virtual void orbaOggStrmanDel(TMediaHandle h) = 0;
  // Fills the 16-byte PCM format record; false when the data is not sound.
  virtual bool orbaOggStrGetFormat(TMediaHandle h, uint8_t format[16]) = 0;
  virtual int32_t orbaOggStrRead(TMediaHandle h, void* buffer, int32_t count) = 0;
  virtual int32_t orbaOggStrGetPos(TMediaHandle h) = 0;
  virtual int32_t orbaOggStrGetSize(TMediaHandle h) = 0;
  virtual void orbaOggStrSetPos(TMediaHandle h, int32_t pos) = 0;
  virtual int32_t orbaOggStrGetLen(TMediaHandle h) = 0;

  // Media-player files (whole file in memory) and video (a path, or a stream).
  virtual TMediaHandle orbaWmpmanAdd(const void* data, int64_t size) = 0;
  virtual void orbaWmpmanDel(TMediaHandle h) = 0;
  virtual void orbaWmpmanRestore() = 0;
  virtual void orbaWmpmanProcessEvent(const TMediaWindowEvent& e) = 0;
  virtual TMediaHandle orbaVidmanAdd(const std::string& path, std::shared_ptr<TKvBigStream> stream, bool flag) = 0;
  virtual void orbaVidmanDel(TMediaHandle h) = 0;
  virtual void orbaVidmanSuspend() = 0;
  virtual void orbaVidmanResume() = 0;
  virtual void orbaVidmanProcessEvent(const TMediaWindowEvent& e) = 0;

  // Playback controls shared by the three families (Ogg, media player, video).
  enum class Family { Ogg, Wmp, Video };
  virtual void Play(Family f, TMediaHandle h) = 0;
  virtual void Pause(Family f, TMediaHandle h) = 0;
  virtual bool IsPaused(Family f, TMediaHandle h) = 0;
  virtual bool IsPlaying(Family f, TMediaHandle h) = 0;
  virtual bool IsEnd(Family f, TMediaHandle h) = 0;
  virtual int32_t GetLen(Family f, TMediaHandle h) = 0;       // ms
  virtual int32_t GetPosition(Family f, TMediaHandle h) = 0;  // ms
  virtual void SetPosition(Family f, TMediaHandle h, int32_t ms) = 0;
  virtual int32_t GetVol(Family f, TMediaHandle h) = 0;  // hundredths of a dB, 0 loudest
  virtual void SetVol(Family f, TMediaHandle h, int32_t vol) = 0;
  virtual int32_t GetPan(Family f, TMediaHandle h) = 0;  // -10000..10000
  virtual void SetPan(Family f, TMediaHandle h, int32_t pan) = 0;
  virtual bool GetAutoRepeat(Family f, TMediaHandle h) = 0;
  virtual void SetAutoRepeat(Family f, TMediaHandle h, bool on) = 0;

  // Video placement and picture.
  virtual void orbaVideoSetRect(TMediaHandle h, const TRect& source, const TRect& window) = 0;
  virtual void orbaVideoSetVisible(TMediaHandle h, bool visible) = 0;
  virtual bool orbaVideoGetVisible(TMediaHandle h) = 0;
  virtual int32_t orbaVideoGetSourceWidth(TMediaHandle h) = 0;
  virtual int32_t orbaVideoGetSourceHeight(TMediaHandle h) = 0;
  virtual bool orbaVideoNeedPaint(TMediaHandle h) = 0;
};

// The library until the media players are built: answers the version, hands out handles and
// keeps each item's settings; every item is silent and of length 0, so a played item ends at
// once (unless it repeats) and scripts that wait for it go on.
std::unique_ptr<IOrbaMediaLibrary> CreateNullMediaLibrary();

// The optional trace log (dbglog.txt): the interpreter's trace lines, one per line.
class TOrbaLog {
 public:
  // Opens (truncates) the log file; without a call to Init nothing is logged.
  void Init(const std::string& path);
  void Final();
  bool Enabled() const { return file_ != nullptr; }
  // line: code page 932 bytes; CR LF is appended.
  void Write(const std::string& line);
  ~TOrbaLog() { Final(); }

 private:
  std::FILE* file_ = nullptr;
};

// The interpreter asks whether to trace before every command, so the log is a plain global
// (constant-initialised: usable at any time) behind an inline accessor.
namespace detail { extern TOrbaLog g_orbaLog; }
inline TOrbaLog& OrbaLog() { return detail::g_orbaLog; }

}  // namespace orba
