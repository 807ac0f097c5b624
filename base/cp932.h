// Code page 932 is the byte encoding of every text inside the player. This module is the
// one place that knows how its double-byte characters are built, so nothing else walks
// the bytes by hand: lead-byte tests, ASCII-only case folding that never touches a second
// byte, character counting, and conversion to and from UTF-8 at the edges (file names,
// window caption, fonts, clipboard).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace orba {

// True for the first byte of a double-byte character (0x81..0x9F, 0xE0..0xFC).
constexpr bool IsLeadByte(uint8_t b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }
constexpr bool IsLeadByte(char c) { return IsLeadByte(static_cast<uint8_t>(c)); }

// Byte length (1 or 2) of the character starting at s[i]. A lead byte at the very end
// counts as one byte, so callers never step past the text.
inline size_t CharLenAt(std::string_view s, size_t i) {
  return (IsLeadByte(s[i]) && i + 1 < s.size()) ? 2 : 1;
}

// The code of the character at s[i] as the text engine holds it: one byte, or lead × 256 +
// trail; and the bytes of such a code appended to out.
inline uint16_t CharCodeAt(std::string_view s, size_t i) {
  return CharLenAt(s, i) == 2 ? static_cast<uint16_t>(static_cast<uint8_t>(s[i]) << 8 | static_cast<uint8_t>(s[i + 1]))
                              : static_cast<uint8_t>(s[i]);
}
inline void AppendCharCode(std::string& out, uint16_t code) {
  if (code > 0xFF) out.push_back(static_cast<char>(code >> 8));
  out.push_back(static_cast<char>(code & 0xFF));
}

// True when s[i] is the second byte of a double-byte character, scanning from the start.
bool IsTrailByteAt(std::string_view s, size_t i);

// Number of characters: a double-byte character counts once.
size_t CharCount(std::string_view s);

// Byte offset of character number index (0-based); s.size() when index is past the end.
size_t ByteOffsetOfChar(std::string_view s, size_t index);

// ASCII-only case folding; second bytes of double-byte characters are left alone, so two
// different kanji never fold to the same text.
std::string UpperCase(std::string_view s);
std::string LowerCase(std::string_view s);

// Case-insensitive comparison with the same folding; returns <0, 0 or >0.
int CompareText(std::string_view a, std::string_view b);
inline bool SameText(std::string_view a, std::string_view b) { return a.size() == b.size() && CompareText(a, b) == 0; }

// Conversion at the edges, through iconv's "CP932" table (which keeps 0x5C a backslash).
// A byte sequence the table rejects becomes U+FFFD, one per rejected byte; a character
// that CP932 cannot hold, or a malformed UTF-8 byte, becomes '?'.
std::string ToUtf8(std::string_view cp932);
std::string FromUtf8(std::string_view utf8);

// CP932 bytes of a text written in UTF-8 in our sources (messages, keywords). Converted
// once per call site: use it for literals, not in loops.
inline std::string Sjis(std::u8string_view utf8) {
  return FromUtf8(std::string_view(reinterpret_cast<const char*>(utf8.data()), utf8.size()));
}

// The extension of a stored name (bgm\title.ogg gives ".ogg"): from the last dot of the
// part after the last backslash, dot included; empty when that part has no dot (a dot in a
// folder name does not count).
std::string StoredExtension(std::string_view name);

}  // namespace orba
