// Bounded little-endian reading and writing over the big streams. Every stored structure of
// the player goes through these: the reader checks each length and count against the bytes
// that remain and raises EReadError instead of reading past the end or allocating what a
// hostile file claims.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/error.h"
#include "base/extended.h"
#include "base/stream.h"

namespace orba {

class TBinaryReader {
 public:
  // Reads from the stream's current position up to its end.
  explicit TBinaryReader(TKvBigStream& stream);
  // Reads at most limit bytes from the current position (a record inside a larger stream).
  TBinaryReader(TKvBigStream& stream, int64_t limit);

  int64_t Remaining() const { return end_ - position_; }
  // Takes the stream's position again after someone else read from it directly.
  void Resync() { position_ = stream_.GetPosition(); }
  int64_t Position() const { return position_; }

  uint8_t U8();
  int8_t I8() { return static_cast<int8_t>(U8()); }
  bool Bool() { return U8() != 0; }
  uint16_t U16();
  int16_t I16() { return static_cast<int16_t>(U16()); }
  uint32_t U32();
  int32_t I32() { return static_cast<int32_t>(U32()); }
  uint64_t U64();
  int64_t I64() { return static_cast<int64_t>(U64()); }
  TExtended Extended();  // 10-byte extended float
  double Double();    // 8-byte IEEE double
  float Single();     // 4-byte IEEE single

  // The saved-string form: int32 byte count, then the bytes.
  std::string String();
  std::string Bytes(int64_t count);
  void Read(void* buffer, int64_t count);
  void Skip(int64_t count);

  // A count read from the file, checked so that count items of at least minItemSize bytes
  // each can still be there; raises for a negative count.
  int32_t Count(int64_t minItemSize);

  // Raises EReadError unless count bytes remain (count < 0 raises too).
  void Need(int64_t count) const;

 private:
  TKvBigStream& stream_;
  int64_t position_;
  int64_t end_;
};

class TBinaryWriter {
 public:
  explicit TBinaryWriter(TKvBigStream& stream) : stream_(stream) {}

  void U8(uint8_t v) { Write(&v, 1); }
  void I8(int8_t v) { U8(static_cast<uint8_t>(v)); }
  void Bool(bool v) { U8(v ? 1 : 0); }
  void U16(uint16_t v);
  void I16(int16_t v) { U16(static_cast<uint16_t>(v)); }
  void U32(uint32_t v);
  void I32(int32_t v) { U32(static_cast<uint32_t>(v)); }
  void U64(uint64_t v);
  void I64(int64_t v) { U64(static_cast<uint64_t>(v)); }
  void Extended(TExtended v);
  void Double(double v);
  void Single(float v);
  void String(std::string_view s);
  void Write(const void* buffer, int64_t count);

 private:
  TKvBigStream& stream_;
};

// Stream-form helpers for byte buffers (tests and tools build records with these).
std::vector<uint8_t> ToBytes(std::string_view s);

}  // namespace orba
