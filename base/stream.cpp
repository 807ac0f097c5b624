#include "base/stream.h"

#include <algorithm>
#include <cstring>

namespace orba {

namespace {

// Moves count bytes from source to target in blocks of at most 1 MiB; stops early at the
// end of the source or when the target takes less than offered.
int64_t CopyBytes(TKvBigStream& source, TKvBigStream& target, int64_t count) {
  if (auto* memory = dynamic_cast<TKvMemoryStream*>(&source)) {
    // Bytes already in memory go across in one write, without a staging buffer.
    int64_t n = std::clamp<int64_t>(count, 0, memory->GetSize() - memory->GetPosition());
    int64_t w = target.Write(memory->Bytes().data() + memory->GetPosition(), n);
    memory->SetPosition(memory->GetPosition() + w);
    return w;
  }
  std::vector<uint8_t> buffer(static_cast<size_t>(std::clamp<int64_t>(count, 0, 1 << 20)));
  int64_t copied = 0;
  while (count > 0) {
    int64_t n = source.Read(buffer.data(), std::min<int64_t>(count, static_cast<int64_t>(buffer.size())));
    if (n <= 0) break;
    int64_t w = target.Write(buffer.data(), n);
    copied += w;
    count -= n;
    if (w < n) break;
  }
  return copied;
}

}  // namespace

int64_t TKvBigStream::CopyFromBig(TKvBigStream& source, int64_t count) {
  if (count == 0) {
    source.SetPosition(0);
    count = source.GetSize();
  }
  return CopyBytes(source, *this, count);
}

int64_t TKvBigStream::CopyToStream(TKvBigStream& target, int64_t count) { return CopyBytes(*this, target, count); }

void TKvMemoryStream::SetPosition(int64_t p) { position_ = std::clamp<int64_t>(p, 0, GetSize()); }

int64_t TKvMemoryStream::Write(const void* buffer, int64_t count) {
  if (count <= 0) return 0;
  size_t end = static_cast<size_t>(position_ + count);
  auto* bytes = static_cast<const uint8_t*>(buffer);
  if (static_cast<size_t>(position_) == data_.size()) {
    data_.insert(data_.end(), bytes, bytes + count);  // appending: no zero fill first
    position_ = static_cast<int64_t>(end);
    return count;
  }
  if (end > data_.size()) data_.resize(end);
  std::memcpy(data_.data() + position_, buffer, static_cast<size_t>(count));
  position_ = static_cast<int64_t>(end);
  return count;
}

int64_t TKvMemoryStream::Read(void* buffer, int64_t count) {
  int64_t n = std::clamp<int64_t>(count, 0, GetSize() - position_);
  if (n > 0) std::memcpy(buffer, data_.data() + position_, static_cast<size_t>(n));
  position_ += n;
  return n;
}

void TKvViewStream::SetPosition(int64_t p) { position_ = std::clamp<int64_t>(p, 0, GetSize()); }

int64_t TKvViewStream::Read(void* buffer, int64_t count) {
  int64_t n = std::clamp<int64_t>(count, 0, GetSize() - position_);
  if (n > 0) std::memcpy(buffer, data_.data() + position_, static_cast<size_t>(n));
  position_ += n;
  return n;
}

int32_t ReadVersionTag(TKvBigStream& stream, std::string_view tag) {
  const int64_t start = stream.GetPosition();
  char head[16];
  const size_t size = tag.size() + 3;
  if (size > sizeof head || stream.Read(head, static_cast<int64_t>(size)) != static_cast<int64_t>(size) ||
      std::string_view(head, tag.size()) != tag) {
    stream.SetPosition(start);
    return 0;
  }
  int32_t version = 0;
  for (size_t i = tag.size(); i < size; ++i) {
    if (head[i] < '0' || head[i] > '9') return 0;
    version = version * 10 + (head[i] - '0');
  }
  return version;
}

}  // namespace orba
