#include "base/binio.h"

#include <bit>
#include <limits>

#include "base/cp932.h"
#include "base/extended.h"

namespace orba {

namespace {

[[noreturn]] void Truncated() {
  // "The data ends before the record does."
  throw EReadError(Sjis(u8"データが途中で終わっています"));
}

}  // namespace

TBinaryReader::TBinaryReader(TKvBigStream& stream)
    : stream_(stream), position_(stream.GetPosition()), end_(stream.GetSize()) {
  if (end_ < position_) end_ = position_;
}

TBinaryReader::TBinaryReader(TKvBigStream& stream, int64_t limit) : TBinaryReader(stream) {
  if (limit >= 0 && limit < end_ - position_) end_ = position_ + limit;
}

void TBinaryReader::Need(int64_t count) const {
  if (count < 0 || count > end_ - position_) Truncated();
}

void TBinaryReader::Read(void* buffer, int64_t count) {
  Need(count);
  if (count == 0) return;
  if (stream_.Read(buffer, count) != count) Truncated();
  position_ += count;
}

void TBinaryReader::Skip(int64_t count) {
  Need(count);
  position_ += count;
  stream_.SetPosition(position_);
}

uint8_t TBinaryReader::U8() {
  uint8_t b;
  Read(&b, 1);
  return b;
}

uint16_t TBinaryReader::U16() {
  uint8_t b[2];
  Read(b, 2);
  return static_cast<uint16_t>(b[0] | (b[1] << 8));
}

uint32_t TBinaryReader::U32() {
  uint8_t b[4];
  Read(b, 4);
  return uint32_t{b[0]} | (uint32_t{b[1]} << 8) | (uint32_t{b[2]} << 16) | (uint32_t{b[3]} << 24);
}

uint64_t TBinaryReader::U64() {
  uint64_t lo = U32();
  return lo | (uint64_t{U32()} << 32);
}

TExtended TBinaryReader::Extended() {
  uint8_t b[kExtendedSize];
  Read(b, kExtendedSize);
  return FromExtendedBytes(b);
}

double TBinaryReader::Double() { return std::bit_cast<double>(U64()); }
float TBinaryReader::Single() { return std::bit_cast<float>(U32()); }

std::string TBinaryReader::String() {
  int32_t n = I32();
  return Bytes(n);
}

std::string TBinaryReader::Bytes(int64_t count) {
  Need(count);
  std::string s(static_cast<size_t>(count), '\0');
  Read(s.data(), count);
  return s;
}

int32_t TBinaryReader::Count(int64_t minItemSize) {
  int32_t n = I32();
  if (n < 0) Truncated();
  if (minItemSize > 0 && n > Remaining() / minItemSize) Truncated();
  return n;
}

void TBinaryWriter::Write(const void* buffer, int64_t count) {
  if (count > 0 && stream_.Write(buffer, count) != count) throw EOrbaError(Sjis(u8"書き込みに失敗しました"));
}

void TBinaryWriter::U16(uint16_t v) {
  uint8_t b[2] = {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8)};
  Write(b, 2);
}

void TBinaryWriter::U32(uint32_t v) {
  uint8_t b[4];
  for (int i = 0; i < 4; ++i) b[i] = static_cast<uint8_t>(v >> (8 * i));
  Write(b, 4);
}

void TBinaryWriter::U64(uint64_t v) {
  U32(static_cast<uint32_t>(v));
  U32(static_cast<uint32_t>(v >> 32));
}

void TBinaryWriter::Extended(TExtended v) {
  uint8_t b[kExtendedSize];
  ToExtendedBytes(v, b);
  Write(b, kExtendedSize);
}

void TBinaryWriter::Double(double v) { U64(std::bit_cast<uint64_t>(v)); }
void TBinaryWriter::Single(float v) { U32(std::bit_cast<uint32_t>(v)); }

void TBinaryWriter::String(std::string_view s) {
  if (s.size() > static_cast<size_t>(std::numeric_limits<int32_t>::max())) throw EOrbaError("string too long");
  I32(static_cast<int32_t>(s.size()));
  Write(s.data(), static_cast<int64_t>(s.size()));
}

std::vector<uint8_t> ToBytes(std::string_view s) { return std::vector<uint8_t>(s.begin(), s.end()); }

}  // namespace orba
