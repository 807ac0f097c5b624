#include "files/bigstream.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <map>

#include "base/cp932.h"
#include "base/error.h"

namespace orba {

namespace fs = std::filesystem;

std::string TKvBigFileStream::VolumeName(const std::string& fileName, int index) {
  if (index == 0) return fileName;
  fs::path p(fileName);
  char suffix[16];
  std::snprintf(suffix, sizeof suffix, ".%.3d", index);
  return (p.parent_path() / p.stem()).string() + suffix;
}

TKvBigFileStream::TKvBigFileStream(std::string fileName, uint16_t mode, int64_t volumeSize)
    : fileName_(std::move(fileName)), mode_(mode), volumeSize_(volumeSize > 0 ? volumeSize : kVolumeSize) {
  const bool single = volumeSize_ == kNoVolumes;
  unsigned access = mode & 0x0F;
  if (access == fmOpenRead || access == fmOpenReadWrite) {
    const char* how = access == fmOpenRead ? "rb" : "r+b";
    for (int i = 0; i == 0 || !single; ++i) {
      std::string name = VolumeName(fileName_, i);
      std::error_code ec;
      if (!fs::is_regular_file(name, ec)) break;
      std::FILE* f = std::fopen(name.c_str(), how);
      if (!f) break;
      volumes_.push_back(f);
      sizes_.push_back(static_cast<int64_t>(fs::file_size(name, ec)));
    }
    if (volumes_.empty()) throw EOrbaError(FromUtf8(fileName_) + Sjis(u8":ファイルが開けません"));
  } else {
    // Volume 0 goes whether or not it exists, then every numbered volume up to the first
    // missing number: a stale 'a.002' left beside a missing 'a.dat' would otherwise be read
    // as part of the new stream.
    std::error_code ec;
    fs::remove(fileName_, ec);
    if (single) Volume(0, true);
    else
      for (int i = 1; fs::remove(VolumeName(fileName_, i), ec); ++i) {
      }
  }
}

TKvBigFileStream::~TKvBigFileStream() {
  for (std::FILE* f : volumes_)
    if (f) std::fclose(f);
}

void TKvBigFileStream::Close() {
  bool ok = !failed_;
  for (std::FILE*& f : volumes_) {
    if (!f) continue;
    ok = std::fflush(f) == 0 && !std::ferror(f) && ok;
    ok = std::fclose(f) == 0 && ok;
    f = nullptr;
  }
  volumes_.clear();
  sizes_.clear();
  if (!ok) throw EOrbaError(Sjis(u8"ファイルに書き込めません: ") + FromUtf8(fileName_));
}

std::FILE* TKvBigFileStream::Volume(int index, bool create) {
  if (index < static_cast<int>(volumes_.size()) && volumes_[index]) return volumes_[index];
  if (!create) return nullptr;
  if (index > static_cast<int>(volumes_.size())) return nullptr;  // volumes are created in order
  std::FILE* f = std::fopen(VolumeName(fileName_, index).c_str(), "w+b");
  if (!f) throw EOrbaError(FromUtf8(VolumeName(fileName_, index)) + Sjis(u8":ファイルが作れません"));
  volumes_.push_back(f);
  sizes_.push_back(0);
  return f;
}

int64_t TKvBigFileStream::GetSize() {
  int64_t total = 0;
  for (int64_t s : sizes_) total += s;
  return total;
}

void TKvBigFileStream::SetPosition(int64_t p) { position_ = std::clamp<int64_t>(p, 0, GetSize()); }

int64_t TKvBigFileStream::Read(void* buffer, int64_t count) {
  auto* out = static_cast<uint8_t*>(buffer);
  int64_t total = 0;
  int index = static_cast<int>(position_ / volumeSize_);
  while (count > 0) {
    std::FILE* f = Volume(index, false);
    if (!f) break;
    int64_t offset = position_ % volumeSize_;
    int64_t n = std::min(sizes_[index] - offset, count);
    if (n <= 0) break;
    if (std::fseek(f, static_cast<long>(offset), SEEK_SET) != 0) break;
    size_t got = std::fread(out, 1, static_cast<size_t>(n), f);
    position_ += static_cast<int64_t>(got);
    out += got;
    total += static_cast<int64_t>(got);
    count -= static_cast<int64_t>(got);
    if (static_cast<int64_t>(got) < n) break;
    ++index;
  }
  return total;
}

int64_t TKvBigFileStream::Write(const void* buffer, int64_t count) {
  if ((mode_ & 0x0F) == fmOpenRead) return 0;
  auto* in = static_cast<const uint8_t*>(buffer);
  int64_t total = 0;
  while (count > 0) {
    int index = static_cast<int>(position_ / volumeSize_);
    std::FILE* f = Volume(index, true);
    if (!f) break;
    int64_t offset = position_ % volumeSize_;
    int64_t n = std::min(volumeSize_ - offset, count);
    if (std::fseek(f, static_cast<long>(offset), SEEK_SET) != 0) break;
    size_t put = std::fwrite(in, 1, static_cast<size_t>(n), f);
    if (static_cast<int64_t>(put) < n) failed_ = true;
    position_ += static_cast<int64_t>(put);
    sizes_[index] = std::max(sizes_[index], offset + static_cast<int64_t>(put));
    in += put;
    total += static_cast<int64_t>(put);
    count -= static_cast<int64_t>(put);
    if (static_cast<int64_t>(put) < n) break;
  }
  return total;
}

TKvBuffBigStream::~TKvBuffBigStream() {
  size_t unused = buffer_.size() - used_;
  if (unused > 0) source_.SetPosition(source_.GetPosition() - static_cast<int64_t>(unused));
}

int64_t TKvBuffBigStream::Read(void* buffer, int64_t count) {
  auto* out = static_cast<uint8_t*>(buffer);
  int64_t total = 0;
  while (count > 0) {
    if (used_ == buffer_.size()) {
      int64_t n = std::min(source_.GetSize() - source_.GetPosition(), kChunkSize);
      if (n <= 0) break;
      buffer_.resize(static_cast<size_t>(n));
      n = source_.Read(buffer_.data(), n);
      buffer_.resize(static_cast<size_t>(std::max<int64_t>(n, 0)));
      used_ = 0;
      if (buffer_.empty()) break;
    }
    size_t n = static_cast<size_t>(std::min<int64_t>(count, static_cast<int64_t>(buffer_.size() - used_)));
    std::memcpy(out, buffer_.data() + used_, n);
    used_ += n;
    out += n;
    total += static_cast<int64_t>(n);
    count -= static_cast<int64_t>(n);
  }
  return total;
}

TRangeStream::TRangeStream(std::unique_ptr<TKvBigStream> stream, int64_t start, int64_t length)
    : stream_(std::move(stream)) {
  int64_t size = stream_->GetSize();
  start_ = std::clamp<int64_t>(start, 0, size);
  length_ = length == kWhole ? size - start_ : std::clamp<int64_t>(length, 0, size - start_);
  stream_->SetPosition(start_);
}

int64_t TRangeStream::Seek(int64_t offset, Origin origin) {
  int64_t base = origin == soBeginning ? start_ : origin == soCurrent ? stream_->GetPosition() : start_ + length_;
  int64_t target = std::clamp<int64_t>(base + offset, start_, start_ + length_);
  stream_->SetPosition(target);
  return target - start_;
}

void TRangeStream::SetPosition(int64_t p) { Seek(p, soBeginning); }

int64_t TRangeStream::Read(void* buffer, int64_t count) {
  int64_t left = start_ + length_ - stream_->GetPosition();
  count = std::min(count, left);
  if (count <= 0) return 0;
  return stream_->Read(buffer, count);
}

std::unique_ptr<TRangeStream> NewFileRangeStream(const std::string& fileName, int64_t length, int64_t start,
                                                 int64_t volumeSize) {
  constexpr uint16_t mode = fmOpenRead | fmShareDenyWrite;
  std::unique_ptr<TKvBigStream> file;
  if (volumeSize > 0) file = std::make_unique<TKvBigFileStream>(fileName, mode, volumeSize);
  else file = std::make_unique<TKvFileStream>(fileName, mode);
  return std::make_unique<TRangeStream>(std::move(file), start, length);
}

namespace {
std::map<std::pair<std::string, std::string>, std::span<const uint8_t>>& Resources() {
  static std::map<std::pair<std::string, std::string>, std::span<const uint8_t>> resources;
  return resources;
}
}  // namespace

void RegisterResource(const std::string& type, const std::string& name, std::span<const uint8_t> bytes) {
  Resources()[{UpperCase(type), UpperCase(name)}] = bytes;
}

std::span<const uint8_t> FindResource(const std::string& type, const std::string& name) {
  auto it = Resources().find({UpperCase(type), UpperCase(name)});
  return it == Resources().end() ? std::span<const uint8_t>() : it->second;
}

std::unique_ptr<TRangeStream> NewResourceRangeStream(const std::string& resourceType, int64_t length, int64_t start,
                                                     const std::string& resourceName) {
  return std::make_unique<TRangeStream>(std::make_unique<TKvBigResourceStream>(resourceName, resourceType), start,
                                        length);
}

}  // namespace orba
