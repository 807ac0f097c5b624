// The 64-bit stream interface every stored structure is read from and written to, and the
// memory streams that save data is built in. File, volume, resource and range streams
// derive from the same base.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace orba {

class TKvBigStream {
 public:
  virtual ~TKvBigStream() = default;

  virtual int64_t GetSize() { return 0; }
  virtual int64_t GetPosition() { return 0; }
  virtual void SetPosition(int64_t) {}
  // Both return the number of bytes moved; short at the end of the data.
  virtual int64_t Write(const void*, int64_t) { return 0; }
  virtual int64_t Read(void*, int64_t) { return 0; }
  // Appends count bytes read from source at this stream's position. A count of 0 means the
  // whole source, which is first positioned at 0.
  virtual int64_t CopyFromBig(TKvBigStream& source, int64_t count);
  // Writes count bytes from this stream's position into target at its position (a count of
  // 0 copies nothing).
  virtual int64_t CopyToStream(TKvBigStream& target, int64_t count);

  int64_t Remaining() { return GetSize() - GetPosition(); }
};

// A growable stream in memory (save data, whole files read for parsing).
class TKvMemoryStream : public TKvBigStream {
 public:
  TKvMemoryStream() = default;
  explicit TKvMemoryStream(std::vector<uint8_t> bytes) : data_(std::move(bytes)) {}

  int64_t GetSize() override { return static_cast<int64_t>(data_.size()); }
  int64_t GetPosition() override { return position_; }
  // Clamped to 0..size, like the file streams.
  void SetPosition(int64_t p) override;
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Read(void* buffer, int64_t count) override;

  const std::vector<uint8_t>& Bytes() const { return data_; }
  std::vector<uint8_t> TakeBytes() { position_ = 0; return std::move(data_); }
  void Clear() { data_.clear(); position_ = 0; }

 private:
  std::vector<uint8_t> data_;
  int64_t position_ = 0;
};

// A read-only stream over bytes owned by someone else (fuzz inputs, cached entries).
class TKvViewStream : public TKvBigStream {
 public:
  explicit TKvViewStream(std::span<const uint8_t> bytes) : data_(bytes) {}
  int64_t GetSize() override { return static_cast<int64_t>(data_.size()); }
  int64_t GetPosition() override { return position_; }
  void SetPosition(int64_t p) override;
  int64_t Read(void* buffer, int64_t count) override;

 private:
  std::span<const uint8_t> data_;
  int64_t position_ = 0;
};

// A version header of stored state: tag followed by three decimal digits ("orba100",
// "Status103"). Returns the number and leaves the stream after the header; 0 when the digits
// are no number. Without the tag the stream is put back and 0 is returned, so data written
// before such headers existed reads as version 0 from its first byte.
int32_t ReadVersionTag(TKvBigStream& stream, std::string_view tag);

}  // namespace orba
