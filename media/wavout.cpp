#include "media/wavout.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace orba {

namespace {

constexpr size_t kChunkBytes = 16384;  // what Prepare decodes at a time

// Output bytes one byte of a source format becomes, or 0 for a format the mixer leaves silent.
int ExpansionOf(const TWavFormat& f) {
  if (f.FormatTag != 1 || (f.Channels != 1 && f.Channels != 2) || (f.BitsPerSample != 8 && f.BitsPerSample != 16))
    return 0;
  int factor;
  if (f.SamplesPerSec == 44100) factor = 1;
  else if (f.SamplesPerSec == 22050) factor = 2;
  else return 0;
  if (f.Channels == 1) factor *= 2;
  if (f.BitsPerSample == 8) factor *= 2;
  return factor;
}

int16_t Saturate(int32_t v) { return static_cast<int16_t>(std::clamp<int32_t>(v, -32768, 32767)); }

}  // namespace

TWavBuffer::TWavBuffer(TWavOut& owner, std::unique_ptr<TPcmStream> stream, size_t ringBytes)
    : owner_(owner), format_(stream->Format()), stream_(std::move(stream)) {
  size_ = stream_->Size();
  mixed_.assign(owner.BufferSize() / 2, 0);
  ring_.assign(ringBytes, 0);
}

void TWavBuffer::Play() {
  std::lock_guard g(owner_.lock_);
  if (!owner_.IsOpen()) return;
  playing_ = true;
  stopped_ = false;
  finished_ = false;
  // A source that gave nothing to the buffer now playing joins it where the device is.
  if (converted_ == 0) convertedIn_ = UINT64_MAX;
  auto& active = owner_.activeSources_;
  if (std::find(active.begin(), active.end(), this) == active.end()) active.push_back(this);
}

void TWavBuffer::Stop() {
  std::lock_guard g(owner_.lock_);
  if (!owner_.IsOpen()) return;
  stopped_ = true;
  auto& active = owner_.activeSources_;
  active.erase(std::remove(active.begin(), active.end(), this), active.end());
}

void TWavBuffer::SetReadPosition(int64_t bytes) {
  {
    std::lock_guard g(owner_.lock_);
    MoveReadPosition(bytes);
  }
  // Decoded again from the new place at once, so the next mix does not find the ring empty.
  std::lock_guard d(owner_.decoderLock_);
  Fill(owner_.scratch_);
}

void TWavBuffer::MoveReadPosition(int64_t bytes) {
  int64_t align = std::max<int64_t>(1, format_.BlockAlign);
  bytes = std::max<int64_t>(0, bytes);
  if (size_ >= 0) bytes = std::min(bytes, size_);
  bytes -= bytes % align;
  readPosition_ = bytes;
  taken_ = written_;
  endCount_ = 0;
  ++generation_;
  seekPending_ = true;
  seekTo_ = bytes;
}

void TWavBuffer::SetVolume(int32_t volume) {
  std::lock_guard g(owner_.lock_);
  volume_ = std::clamp(volume, 0, 256);
  // Pan takes hundredths of a decibel off one side; centred, both sides keep the volume as is.
  double off = std::pow(10.0, -std::abs(pan_) / 2000.0);
  int32_t other = static_cast<int32_t>(std::lround(volume_ * off));
  volumeLeft_ = pan_ > 0 ? other : volume_;
  volumeRight_ = pan_ < 0 ? other : volume_;
}

void TWavBuffer::SetPan(int32_t pan) {
  {
    std::lock_guard g(owner_.lock_);
    pan_ = std::clamp(pan, -10000, 10000);
  }
  SetVolume(Volume());
}

int32_t TWavBuffer::Volume() const {
  std::lock_guard g(owner_.lock_);
  return volume_;
}

void TWavBuffer::SetLoop(bool loop) {
  std::lock_guard g(owner_.lock_);
  loop_ = loop;
}

bool TWavBuffer::Loop() const {
  std::lock_guard g(owner_.lock_);
  return loop_;
}

bool TWavBuffer::Playing() const {
  std::lock_guard g(owner_.lock_);
  return playing_;
}

bool TWavBuffer::Stopped() const {
  std::lock_guard g(owner_.lock_);
  return stopped_;
}

int64_t TWavBuffer::ReadPosition() const {
  std::lock_guard g(owner_.lock_);
  return readPosition_;
}

int64_t TWavBuffer::StreamSize() const { return size_; }

int64_t TWavBuffer::Position() const {
  std::lock_guard g(owner_.lock_);
  int32_t e = std::max<int32_t>(0, static_cast<int32_t>(owner_.clock_.NowMs() - lastMixTime_));
  int64_t pos = readPosition_;
  if (e <= 2 * owner_.delay_) {
    // The device still has about one buffer to play out of what was mixed at lastMixTime_.
    double perMs = static_cast<double>(format_.BitsPerSample) * format_.Channels * format_.SamplesPerSec / 8000.0;
    pos = readPosition_ - std::llround(perMs * owner_.delay_) + std::llround(perMs * e);
  }
  pos = std::max<int64_t>(0, pos);
  if (size_ >= 0) pos = std::min(pos, size_);
  return pos;
}

bool TWavBuffer::IsDone() const {
  std::lock_guard g(owner_.lock_);
  if (!owner_.IsOpen()) return true;
  if (!finished_) return false;
  return static_cast<int32_t>(owner_.clock_.NowMs() - lastMixTime_) > 2 * owner_.delay_ + 10;
}

size_t TWavBuffer::TakeFromRing(uint8_t* out, size_t count, bool& atEnd) {
  atEnd = false;
  size_t got = 0;
  bool wrappedEmpty = false;  // a loop restart that has not given a byte yet
  auto popEnd = [this] {
    std::memmove(ends_, ends_ + 1, sizeof(uint64_t) * (kMaxEnds - 1));
    --endCount_;
    readPosition_ = 0;
  };
  const size_t cap = ring_.size();
  while (got < count) {
    if (endCount_ > 0 && taken_ == ends_[0]) {
      if (loop_ && !wrappedEmpty) {
        popEnd();
        wrappedEmpty = true;
        continue;
      }
      atEnd = true;  // the end, or a looping stream that gives nothing
      break;
    }
    uint64_t limit = (endCount_ > 0 ? ends_[0] : written_) - taken_;
    size_t take = static_cast<size_t>(std::min<uint64_t>(count - got, limit));
    if (take == 0) break;  // the decoder is behind: the rest of this buffer stays silent
    size_t at = static_cast<size_t>(taken_ % cap);
    size_t first = std::min(take, cap - at);
    std::memcpy(out + got, ring_.data() + at, first);
    std::memcpy(out + got + first, ring_.data(), take - first);
    taken_ += take;
    readPosition_ += static_cast<int64_t>(take);
    got += take;
    wrappedEmpty = false;
  }
  // A looping source that stopped right at its end starts over now, so it never counts as finished.
  if (got == count && loop_ && endCount_ > 0 && taken_ == ends_[0]) popEnd();
  return got;
}

bool TWavBuffer::Convert(size_t at) {
  converted_ = 0;
  from_ = at;
  convertedIn_ = owner_.bufferNo_;
  if (size_ == 0 || finished_ || stopped_ || !owner_.IsOpen()) return false;
  const int factor = ExpansionOf(format_);
  if (factor == 0) return false;
  const size_t outSamples = owner_.bufferSize_ / 2 - at;
  uint8_t* raw = reinterpret_cast<uint8_t*>(mixed_.data());
  bool atEnd = false;
  size_t got = TakeFromRing(raw, outSamples * 2 / factor, atEnd);
  size_t n = got * factor / 2;  // output samples the bytes read make

  // Widen in place from the back, so no source byte is overwritten before it is read.
  int16_t* m = mixed_.data();
  const int repeat = format_.SamplesPerSec == 22050 ? 2 : 1;
  if (format_.BitsPerSample == 16) {
    const int16_t* in = m;
    if (format_.Channels == 2) {
      if (repeat == 2)
        for (size_t f = got / 4; f-- > 0;) {
          int16_t l = in[2 * f], r = in[2 * f + 1];
          m[4 * f] = l; m[4 * f + 1] = r; m[4 * f + 2] = l; m[4 * f + 3] = r;
        }
    } else {
      const size_t copies = 2 * repeat;
      for (size_t f = got / 2; f-- > 0;) {
        int16_t v = in[f];
        for (size_t k = 0; k < copies; ++k) m[copies * f + k] = v;
      }
    }
  } else {
    const size_t copies = static_cast<size_t>(factor) / 2;  // output samples per source byte
    for (size_t b = got; b-- > 0;) {
      int16_t v = static_cast<int16_t>((raw[b] - 128) * 256);
      if (format_.Channels == 2 && repeat == 2) {
        // a stereo pair is repeated as a frame: left right left right
        size_t frame = b / 2, side = b % 2;
        m[4 * frame + side] = v;
        m[4 * frame + 2 + side] = v;
      } else {
        for (size_t k = 0; k < copies; ++k) m[copies * b + k] = v;
      }
    }
  }

  // A looping source ends only at its stream's real end (a size given by a decoder or a rate
  // converter is an estimate that must not cut a loop short).
  finished_ = atEnd || (!loop_ && size_ >= 0 && readPosition_ >= size_);
  converted_ = std::min(n, outSamples) & ~size_t{1};
  // Joining late, the source was mixed as if with the whole buffer, that much earlier: the
  // position estimate then counts from the moment its first sample plays.
  lastMixTime_ = owner_.clock_.NowMs() - static_cast<uint32_t>(at * 1000 / (2 * platform::kAudioRate));
  return true;
}

void TWavBuffer::AddScaled(int16_t* out, size_t from, size_t count) const {
  const size_t lo = std::max(from, from_), hi = std::min(from + count, from_ + converted_);
  if (lo >= hi) return;
  const int16_t* m = mixed_.data() + (lo - from_);
  int16_t* o = out + (lo - from);
  // Volumes of 255 and 256 leave samples as they are, which a factor of 256 does exactly; below,
  // (s · volume) >> 8 always fits 16 bits. One branch-free loop the compiler vectorises.
  const int32_t vl = volumeLeft_ < 255 ? volumeLeft_ : 256, vr = volumeRight_ < 255 ? volumeRight_ : 256;
  for (size_t i = 0; i + 1 < hi - lo; i += 2) {
    o[i] = Saturate(o[i] + ((m[i] * vl) >> 8));
    o[i + 1] = Saturate(o[i + 1] + ((m[i + 1] * vr) >> 8));
  }
}

void TWavBuffer::Fill(std::vector<uint8_t>& scratch) {
  const size_t align = std::max<size_t>(1, format_.BlockAlign);
  const size_t cap = ring_.size();
  for (int round = 0; round < 256; ++round) {
    uint32_t generation;
    size_t room;
    bool loop, seek = false, endsFull;
    int64_t seekTo = 0;
    {
      std::lock_guard g(owner_.lock_);
      generation = generation_;
      if (seekPending_) {
        seek = true;
        seekTo = seekTo_;
        seekPending_ = false;
      }
      room = cap - static_cast<size_t>(written_ - taken_);
      loop = loop_;
      endsFull = endCount_ == kMaxEnds;
    }
    if (seek) {
      stream_->Seek(seekTo);
      fillEnded_ = false;
    }
    if (fillEnded_) {
      if (!loop || endsFull) return;
      stream_->Seek(0);
      fillEnded_ = false;
    }
    size_t want = std::min(scratch.size(), room);
    want -= want % align;
    if (want == 0) return;
    size_t n = stream_->Read(scratch.data(), want);
    n = std::min(n, want);
    n -= n % align;
    std::lock_guard g(owner_.lock_);
    if (generation != generation_) continue;  // a seek came meanwhile: this data is stale
    if (n > 0) {
      size_t at = static_cast<size_t>(written_ % cap);
      size_t first = std::min(n, cap - at);
      std::memcpy(ring_.data() + at, scratch.data(), first);
      std::memcpy(ring_.data(), scratch.data() + first, n - first);
      written_ += n;
    } else {
      if (endCount_ < kMaxEnds) ends_[endCount_++] = written_;
      fillEnded_ = true;
    }
  }
}

TWavOut::TWavOut(platform::IAudioOutput* device, platform::IClock& clock, int32_t delayMs)
    : device_(device), clock_(clock), delay_(std::clamp(delayMs, 100, 500)) {
  bufferSize_ = static_cast<size_t>(delay_) * 176400 / 1000;
  pendingOffset_ = bufferSize_ / 2;
  scratch_.assign(kChunkBytes, 0);
}

TWavOut::~TWavOut() { Close(); }

bool TWavOut::Open() {
  if (IsOpen() || !device_) return false;
  pendingOffset_ = bufferSize_ / 2;
  if (!device_->Open(delay_, *this)) return false;
  open_ = true;
  return true;
}

void TWavOut::Close() {
  if (IsOpen()) device_->Close();
  std::lock_guard d(decoderLock_);
  std::lock_guard g(lock_);
  open_ = false;
  activeSources_.clear();
  sources_.clear();
}

TWavBuffer* TWavOut::AddSource(std::unique_ptr<TPcmStream> stream) {
  auto source = std::unique_ptr<TWavBuffer>(new TWavBuffer(*this, std::move(stream), 2 * bufferSize_ + 4 * kChunkBytes));
  TWavBuffer* s = source.get();
  std::lock_guard d(decoderLock_);
  {
    std::lock_guard g(lock_);
    sources_.push_back(std::move(source));
  }
  s->Fill(scratch_);  // its first data is there before it can be played
  return s;
}

void TWavOut::RemoveSource(TWavBuffer* source) {
  std::unique_ptr<TWavBuffer> dead;
  std::lock_guard d(decoderLock_);
  std::lock_guard g(lock_);
  activeSources_.erase(std::remove(activeSources_.begin(), activeSources_.end(), source), activeSources_.end());
  for (auto it = sources_.begin(); it != sources_.end(); ++it)
    if (it->get() == source) {
      dead = std::move(*it);
      sources_.erase(it);
      break;
    }
}

bool TWavOut::ConvertAll() {
  ++bufferNo_;
  bool any = false;
  for (auto& s : sources_) any = s->Convert() || any;
  return any;
}

void TWavOut::JoinStarted(size_t at) {
  // On a boundary of two output frames, where every source format's bytes fall whole.
  at = (at + 7) & ~size_t{7};
  if (at >= bufferSize_ / 2) return;
  for (TWavBuffer* s : activeSources_)
    if (s->convertedIn_ != bufferNo_) s->Convert(at);
}

void TWavOut::MixConverted(int16_t* out, size_t from, size_t count) const {
  std::fill(out, out + count, int16_t{0});
  for (auto& s : sources_) s->AddScaled(out, from, count);
}

bool TWavOut::MixAll(int16_t* out) {
  std::lock_guard g(lock_);
  bool any = ConvertAll();
  MixConverted(out, 0, bufferSize_ / 2);
  return any;
}

// The device takes the converted buffer piece by piece; each piece is scaled by the volumes of
// that moment, so what the listener hears follows a volume change within one device callback.
void TWavOut::Render(int16_t* out, size_t frames) noexcept {
  const size_t samples = frames * 2, perBuffer = bufferSize_ / 2;
  size_t done = 0;
  std::lock_guard g(lock_);
  while (done < samples) {
    if (pendingOffset_ >= perBuffer) {
      if (activeSources_.empty() || !ConvertAll()) {
        std::fill(out + done, out + samples, int16_t{0});
        return;
      }
      pendingOffset_ = 0;
    } else {
      JoinStarted(pendingOffset_);
    }
    size_t n = std::min(samples - done, perBuffer - pendingOffset_);
    MixConverted(out + done, pendingOffset_, n);
    pendingOffset_ += n;
    done += n;
  }
}

void TWavOut::Prepare() noexcept {
  std::lock_guard d(decoderLock_);
  for (auto& s : sources_) s->Fill(scratch_);
}

}  // namespace orba
