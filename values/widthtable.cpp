#include "values/widthtable.h"

#include <array>
#include <cstdint>
#include <unordered_map>

#include "base/cp932.h"

namespace orba {

namespace {

// Full-width code of each single byte, 0 when it has none.
std::array<uint16_t, 256> BuildWide() {
  std::array<uint16_t, 256> w{};
  const std::pair<uint8_t, uint16_t> singles[] = {
      {0x20, 0x8140}, {0x21, 0x8149}, {0x22, 0x8168}, {0x23, 0x8194}, {0x24, 0x8190}, {0x25, 0x8193},
      {0x26, 0x8195}, {0x27, 0x8166}, {0x28, 0x8169}, {0x29, 0x816A}, {0x2A, 0x8196}, {0x2B, 0x817B},
      {0x2C, 0x8143}, {0x2D, 0x817C}, {0x2E, 0x8144}, {0x2F, 0x815E}, {0x3A, 0x8146}, {0x3B, 0x8147},
      {0x3C, 0x8183}, {0x3D, 0x8181}, {0x3E, 0x8184}, {0x3F, 0x8148}, {0x40, 0x8197}, {0x5B, 0x816D},
      {0x5C, 0x818F}, {0x5D, 0x816E}, {0x5E, 0x814F}, {0x5F, 0x8151}, {0x60, 0x8165}, {0x7B, 0x816F},
      {0x7C, 0x8162}, {0x7D, 0x8170}, {0x7E, 0x8160}, {0xA1, 0x8142}, {0xA2, 0x8175}, {0xA3, 0x8176},
      {0xA4, 0x8141}, {0xA5, 0x8145}, {0xA6, 0x8392}, {0xA7, 0x8340}, {0xA8, 0x8342}, {0xA9, 0x8344},
      {0xAA, 0x8346}, {0xAB, 0x8348}, {0xAC, 0x8383}, {0xAD, 0x8385}, {0xAE, 0x8387}, {0xAF, 0x8362},
      {0xB0, 0x815B}, {0xB1, 0x8341}, {0xB2, 0x8343}, {0xB3, 0x8345}, {0xB4, 0x8347}, {0xB5, 0x8349},
      {0xC2, 0x8363}, {0xC3, 0x8365}, {0xC4, 0x8367}, {0xCF, 0x837D}, {0xD0, 0x837E}, {0xD1, 0x8380},
      {0xD2, 0x8381}, {0xD3, 0x8382}, {0xD4, 0x8384}, {0xD5, 0x8386}, {0xD6, 0x8388}, {0xDC, 0x838F},
      {0xDD, 0x8393}, {0xDE, 0x814A}, {0xDF, 0x814B}};
  for (auto [b, code] : singles) w[b] = code;
  for (int k = 0; k < 10; ++k) w[0x30 + k] = static_cast<uint16_t>(0x824F + k);
  for (int k = 0; k < 26; ++k) {
    w[0x41 + k] = static_cast<uint16_t>(0x8260 + k);
    w[0x61 + k] = static_cast<uint16_t>(0x8281 + k);
  }
  for (int k = 0; k < 12; ++k) w[0xB6 + k] = static_cast<uint16_t>(0x834A + 2 * k);  // ｶ..ﾁ
  for (int k = 0; k < 5; ++k) {
    w[0xC5 + k] = static_cast<uint16_t>(0x8369 + k);      // ﾅ..ﾉ
    w[0xCA + k] = static_cast<uint16_t>(0x836E + 3 * k);  // ﾊ..ﾎ
    w[0xD7 + k] = static_cast<uint16_t>(0x8389 + k);      // ﾗ..ﾛ
  }
  return w;
}

const std::array<uint16_t, 256>& Wide() {
  static const auto table = BuildWide();
  return table;
}

bool Voices(uint8_t b) { return b >= 0xB6 && b <= 0xC4; }      // ｶ..ﾄ take ﾞ
bool HalfVoices(uint8_t b) { return b >= 0xCA && b <= 0xCE; }  // ﾊ..ﾎ take ﾞ and ﾟ

// Single-byte text of each full-width code that has one.
const std::unordered_map<uint16_t, std::string>& Narrow() {
  static const auto table = [] {
    std::unordered_map<uint16_t, std::string> n;
    const auto& w = Wide();
    for (int b = 0; b < 256; ++b)
      if (w[b]) n.emplace(w[b], std::string(1, static_cast<char>(b)));
    for (int b = 0; b < 256; ++b) {
      if (Voices(static_cast<uint8_t>(b)) || HalfVoices(static_cast<uint8_t>(b)))
        n.emplace(static_cast<uint16_t>(w[b] + 1), std::string{static_cast<char>(b), '\xDE'});
      if (HalfVoices(static_cast<uint8_t>(b)))
        n.emplace(static_cast<uint16_t>(w[b] + 2), std::string{static_cast<char>(b), '\xDF'});
    }
    n.emplace(0x8167, "\"");
    return n;
  }();
  return table;
}

void Put(std::string& out, uint16_t code) {
  out.push_back(static_cast<char>(code >> 8));
  out.push_back(static_cast<char>(code & 0xFF));
}

}  // namespace

std::string HanToZen(std::string_view s) {
  const auto& w = Wide();
  std::string out;
  for (size_t i = 0; i < s.size();) {
    const size_t len = CharLenAt(s, i);
    if (len == 2) {
      out.append(s.substr(i, 2));
      i += 2;
      continue;
    }
    const auto b = static_cast<uint8_t>(s[i]);
    const uint8_t next = i + 1 < s.size() ? static_cast<uint8_t>(s[i + 1]) : 0;
    ++i;
    if (!w[b]) continue;
    if ((Voices(b) || HalfVoices(b)) && next == 0xDE) {
      Put(out, static_cast<uint16_t>(w[b] + 1));
      ++i;
    } else if (HalfVoices(b) && next == 0xDF) {
      Put(out, static_cast<uint16_t>(w[b] + 2));
      ++i;
    } else {
      Put(out, w[b]);
    }
  }
  return out;
}

std::string ZenToHan(std::string_view s) {
  const auto& n = Narrow();
  std::string out;
  for (size_t i = 0; i < s.size();) {
    const size_t len = CharLenAt(s, i);
    if (len == 1) {
      out.push_back(s[i++]);
      continue;
    }
    const auto code = static_cast<uint16_t>(static_cast<uint8_t>(s[i]) << 8 | static_cast<uint8_t>(s[i + 1]));
    i += 2;
    if (auto it = n.find(code); it != n.end()) out += it->second;
  }
  return out;
}

}  // namespace orba
