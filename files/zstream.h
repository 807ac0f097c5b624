// zlib streams of archive entries: deflating at the fastest level, inflating with a cap on
// the output (the format stores no uncompressed size, so a small hostile entry could
// otherwise inflate to gigabytes), and the CRC-32 of a whole stream.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "base/stream.h"

namespace orba {

constexpr int64_t kDefaultInflateLimit = int64_t{1} << 30;

std::vector<uint8_t> Deflate(std::span<const uint8_t> data, int level = 1);
// Deflates count bytes of source, from its position, into target in pieces of 1 MiB; returns
// the CRC-32 of the bytes read. Raises when the source ends early or target takes less.
uint32_t DeflateStream(TKvBigStream& source, int64_t count, TKvBigStream& target, int level = 1);
// Copies count bytes the same way and returns their CRC-32.
uint32_t CopyStream(TKvBigStream& source, int64_t count, TKvBigStream& target);
// The same without the checksum.
void CopyBytes(TKvBigStream& source, int64_t count, TKvBigStream& target);

// Inflates one zlib stream into target; raises EOrbaError on damaged data or when the output
// would pass limit bytes.
void InflateTo(std::span<const uint8_t> zdata, TKvBigStream& target, int64_t limit = kDefaultInflateLimit);

// Inflates one zlib stream into exactly dst.size() bytes; raises EOrbaError on damaged data or
// when the stream holds fewer or more bytes.
void InflateExactly(std::span<const uint8_t> zdata, std::span<uint8_t> dst);

// CRC-32 of bytes of any length (zlib takes at most 4 GiB at a time: the bytes go in 1 MiB
// pieces), continued from crc when it is given.
uint32_t Crc32(std::span<const uint8_t> data, uint32_t crc = 0);

}  // namespace orba
