// Ogg Vorbis through libvorbisfile, reading the file from memory.
#include <vorbis/vorbisfile.h>

#include <algorithm>
#include <cstring>

#include "platform/codecs/codecs.h"

namespace orba::platform::codecs {

namespace {

struct MemoryFile {
  std::shared_ptr<const std::vector<uint8_t>> bytes;
  size_t position = 0;
};

size_t ReadMemory(void* out, size_t size, size_t count, void* source) {
  auto* f = static_cast<MemoryFile*>(source);
  if (size == 0) return 0;
  size_t n = std::min(count, (f->bytes->size() - f->position) / size);
  std::memcpy(out, f->bytes->data() + f->position, n * size);
  f->position += n * size;
  return n;
}

int SeekMemory(void* source, ogg_int64_t offset, int whence) {
  auto* f = static_cast<MemoryFile*>(source);
  int64_t base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? static_cast<int64_t>(f->position)
                                                              : static_cast<int64_t>(f->bytes->size());
  int64_t to = base + offset;
  if (to < 0 || to > static_cast<int64_t>(f->bytes->size())) return -1;
  f->position = static_cast<size_t>(to);
  return 0;
}

long TellMemory(void* source) { return static_cast<long>(static_cast<MemoryFile*>(source)->position); }

class VorbisDecoder final : public IPcmDecoder {
 public:
  explicit VorbisDecoder(std::shared_ptr<const std::vector<uint8_t>> file) { file_.bytes = std::move(file); }
  ~VorbisDecoder() override {
    if (open_) ov_clear(&vf_);
  }
  bool Open() {
    ov_callbacks callbacks{ReadMemory, SeekMemory, nullptr, TellMemory};
    if (ov_open_callbacks(&file_, &vf_, nullptr, 0, callbacks) != 0) return false;
    open_ = true;
    vorbis_info* info = ov_info(&vf_, -1);
    if (!info || info->channels < 1 || info->channels > 2 || info->rate <= 0) return false;
    rate_ = static_cast<int>(info->rate);
    channels_ = info->channels;
    return true;
  }
  int Rate() const override { return rate_; }
  int Channels() const override { return channels_; }
  int64_t TotalFrames() override {
    ogg_int64_t total = ov_pcm_total(&vf_, -1);
    return total < 0 ? -1 : total;
  }
  size_t Read(int16_t* out, size_t maxFrames) override {
    char* at = reinterpret_cast<char*>(out);
    size_t want = maxFrames * channels_ * 2, got = 0;
    int holes = 0;
    while (got < want) {
      int section = 0;
      long n = ov_read(&vf_, at + got, static_cast<int>(std::min<size_t>(want - got, 1 << 20)), 0, 2, 1, &section);
      if (n == OV_HOLE && ++holes < 64) continue;  // a gap in the data: go on after it
      if (n <= 0) break;
      // A chained stream whose format changes ends here: the mixer plays one format.
      vorbis_info* info = ov_info(&vf_, section);
      if (!info || info->channels != channels_ || info->rate != rate_) break;
      got += static_cast<size_t>(n);
    }
    return got / (channels_ * 2);
  }
  bool Seek(int64_t frame) override { return ov_pcm_seek(&vf_, frame) == 0; }

 private:
  MemoryFile file_;
  OggVorbis_File vf_{};
  bool open_ = false;
  int rate_ = 0, channels_ = 0;
};

}  // namespace

std::unique_ptr<IPcmDecoder> OpenVorbis(std::shared_ptr<const std::vector<uint8_t>> file) {
  auto d = std::make_unique<VorbisDecoder>(std::move(file));
  if (!d->Open()) return nullptr;
  return d;
}

}  // namespace orba::platform::codecs
