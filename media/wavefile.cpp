#include "media/wavefile.h"

#include <algorithm>
#include <cstring>

#include "base/cp932.h"
#include "base/error.h"

namespace orba {

namespace {

[[noreturn]] void BadSound() { throw EReadError(Sjis(u8"サウンドデータが不正です")); }

uint32_t U32At(std::span<const uint8_t> b, size_t at) {
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}
uint16_t U16At(std::span<const uint8_t> b, size_t at) { return static_cast<uint16_t>(b[at] | b[at + 1] << 8); }

void Put16(std::vector<uint8_t>& out, uint32_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}
void Put32(std::vector<uint8_t>& out, uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}

class TWavePcmStream final : public TPcmStream {
 public:
  TWavePcmStream(std::shared_ptr<const std::vector<uint8_t>> file, const TWaveInfo& info)
      : file_(std::move(file)), info_(info) {}
  TWavFormat Format() const override { return info_.Format; }
  int64_t Size() override { return static_cast<int64_t>(info_.DataSize); }
  void Seek(int64_t pos) override {
    pos = std::clamp<int64_t>(pos, 0, static_cast<int64_t>(info_.DataSize));
    position_ = static_cast<size_t>(pos - pos % info_.Format.BlockAlign);
  }
  size_t Read(void* out, size_t count) override {
    size_t n = std::min(count, info_.DataSize - position_);
    n -= n % info_.Format.BlockAlign;
    std::memcpy(out, file_->data() + info_.DataOffset + position_, n);
    position_ += n;
    return n;
  }

 private:
  std::shared_ptr<const std::vector<uint8_t>> file_;
  TWaveInfo info_;
  size_t position_ = 0;
};

}  // namespace

TWaveInfo ReadWaveInfo(std::span<const uint8_t> file) {
  if (file.size() < 12 || std::memcmp(file.data(), "RIFF", 4) != 0 || std::memcmp(file.data() + 8, "WAVE", 4) != 0)
    BadSound();
  // The RIFF size may be wrong in files made by streaming writers; the chunks decide.
  size_t at = 12;
  bool haveFormat = false, haveData = false;
  TWaveInfo info;
  while (file.size() - at >= 8 && !(haveFormat && haveData)) {
    const uint8_t* id = file.data() + at;
    size_t length = U32At(file, at + 4);
    at += 8;
    size_t remaining = file.size() - at;
    if (std::memcmp(id, "data", 4) == 0) {
      if (!haveFormat) BadSound();  // samples without a format cannot be played
      info.DataOffset = at;
      info.DataSize = std::min(length, remaining);
      info.DataSize -= info.DataSize % info.Format.BlockAlign;
      haveData = true;
      break;
    }
    if (length > remaining) BadSound();
    if (std::memcmp(id, "fmt ", 4) == 0) {
      if (length < 16) BadSound();
      uint16_t tag = U16At(file, at);
      if (tag == 0xFFFE) {
        // the extensible record: its sub-format's first two bytes give the real tag
        if (length < 40 || U16At(file, at + 16) < 22) BadSound();
        tag = U16At(file, at + 24);
      }
      TWavFormat& f = info.Format;
      f.FormatTag = 1;
      f.Channels = U16At(file, at + 2);
      f.SamplesPerSec = U32At(file, at + 4);
      f.AvgBytesPerSec = U32At(file, at + 8);
      f.BlockAlign = U16At(file, at + 12);
      f.BitsPerSample = U16At(file, at + 14);
      if (tag != 1 || (f.Channels != 1 && f.Channels != 2) || (f.BitsPerSample != 8 && f.BitsPerSample != 16) ||
          f.SamplesPerSec == 0 || f.SamplesPerSec > 384000)
        BadSound();
      // The block alignment follows from the rest; a file that says otherwise is not trusted.
      f.BlockAlign = static_cast<uint16_t>(f.Channels * f.BitsPerSample / 8);
      f.AvgBytesPerSec = f.SamplesPerSec * f.BlockAlign;
      haveFormat = true;
    }
    at += length + (length & 1);  // chunks are padded to an even length
    if (at > file.size()) at = file.size();
  }
  if (!haveData) BadSound();
  return info;
}

std::unique_ptr<TPcmStream> OpenWaveStream(std::shared_ptr<const std::vector<uint8_t>> file) {
  TWaveInfo info = ReadWaveInfo(*file);
  return std::make_unique<TWavePcmStream>(std::move(file), info);
}

std::vector<uint8_t> WriteWave(const TWavFormat& format, std::span<const uint8_t> samples) {
  std::vector<uint8_t> out;
  out.reserve(44 + samples.size() + 1);
  uint32_t data = static_cast<uint32_t>(samples.size());
  out.insert(out.end(), {'R', 'I', 'F', 'F'});
  Put32(out, 36 + data + (data & 1));
  out.insert(out.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
  Put32(out, 16);
  Put16(out, 1);
  Put16(out, format.Channels);
  Put32(out, format.SamplesPerSec);
  Put32(out, format.SamplesPerSec * format.Channels * format.BitsPerSample / 8);
  Put16(out, static_cast<uint32_t>(format.Channels * format.BitsPerSample / 8));
  Put16(out, format.BitsPerSample);
  out.insert(out.end(), {'d', 'a', 't', 'a'});
  Put32(out, data);
  out.insert(out.end(), samples.begin(), samples.end());
  if (data & 1) out.push_back(0);
  return out;
}

std::vector<uint8_t> WriteWave(const TWavFormat& format, std::span<const int16_t> samples) {
  std::vector<uint8_t> bytes(samples.size() * 2);
  for (size_t i = 0; i < samples.size(); ++i) {
    bytes[2 * i] = static_cast<uint8_t>(samples[i]);
    bytes[2 * i + 1] = static_cast<uint8_t>(static_cast<uint16_t>(samples[i]) >> 8);
  }
  return WriteWave(format, std::span<const uint8_t>(bytes));
}

}  // namespace orba
