#include "values/convert.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace orba {

std::string IntToText(int32_t i) { return std::to_string(i); }

std::string FloatToText(TExtended x) {
  if (std::isnan(x)) return "NAN";
  if (std::isinf(x)) return x < 0 ? "-INF" : "INF";
  if (x == 0) return "0";  // also for -0
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.15LG", static_cast<long double>(x));
  std::string s(buf);
  // "1E+20" -> "1E20", "1E-05" -> "1E-5".
  size_t e = s.find('E');
  if (e == std::string::npos) return s;
  std::string mant = s.substr(0, e);
  char sign = s[e + 1];
  size_t d = e + 2;
  while (d + 1 < s.size() && s[d] == '0') ++d;
  return mant + "E" + (sign == '-' ? "-" : "") + s.substr(d);
}

int32_t TextToInt(std::string_view s) {
  int32_t v = 0;
  return TryTextToInt(s, v) ? v : 0;
}

bool TryTextToInt(std::string_view s, int32_t& out) {
  size_t i = 0;
  while (i < s.size() && s[i] == ' ') ++i;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
  if (i >= s.size()) return false;
  uint64_t value = 0;
  if (s[i] == '$') {
    if (++i >= s.size()) return false;
    for (; i < s.size(); ++i) {
      char c = s[i];
      int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
      if (digit < 0) return false;
      value = value * 16 + static_cast<uint64_t>(digit);
      if (value > 0xFFFFFFFFull) return false;
    }
    // Hexadecimal gives the 32 bits as they are: "$FFFFFFFF" is -1.
    uint32_t bits = static_cast<uint32_t>(value);
    out = static_cast<int32_t>(negative ? 0u - bits : bits);
    return true;
  }
  for (; i < s.size(); ++i) {
    if (s[i] < '0' || s[i] > '9') return false;
    value = value * 10 + static_cast<uint64_t>(s[i] - '0');
    if (value > 0x80000000ull) return false;
  }
  if (negative) {
    out = static_cast<int32_t>(0u - static_cast<uint32_t>(value));
    return true;
  }
  if (value > 0x7FFFFFFFull) return false;
  out = static_cast<int32_t>(value);
  return true;
}

TExtended TextToFloat(std::string_view s) {
  TExtended x = 0.0;
  return TryTextToFloat(s, x) ? x : 0.0;
}

bool TryTextToFloat(std::string_view s, TExtended& out) {
  size_t b = 0, e = s.size();
  while (b < e && s[b] == ' ') ++b;
  while (e > b && s[e - 1] == ' ') --e;
  std::string_view t = s.substr(b, e - b);
  // Checked by hand first: the library parser also takes "inf", "nan" and hexadecimal.
  size_t i = 0;
  if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
  size_t digits = 0;
  while (i < t.size() && t[i] >= '0' && t[i] <= '9') ++i, ++digits;
  if (i < t.size() && t[i] == '.') {
    ++i;
    while (i < t.size() && t[i] >= '0' && t[i] <= '9') ++i, ++digits;
  }
  if (digits == 0) return false;
  if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
    ++i;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
    size_t expDigits = 0;
    while (i < t.size() && t[i] >= '0' && t[i] <= '9') ++i, ++expDigits;
    if (expDigits == 0) return false;
  }
  if (i != t.size()) return false;
  if (t[0] == '+') t.remove_prefix(1);
  TExtended x = 0.0;
  auto r = std::from_chars(t.data(), t.data() + t.size(), x);
  if (r.ec != std::errc()) return false;  // out of range is no float either
  out = x;
  return true;
}

int32_t FloatToInt(TExtended x) {
  if (!std::isfinite(x)) return 0;
  TExtended t = std::trunc(x);
  if (std::abs(t) < 9.2e18) return static_cast<int32_t>(static_cast<uint32_t>(static_cast<int64_t>(t)));
  // Outside the 64-bit range the value is an integer whose remainder by 2^32 is exact.
  TExtended r = std::fmod(t, TExtended{4294967296.0});
  if (r < 0) r += 4294967296.0;
  return static_cast<int32_t>(static_cast<uint32_t>(r));
}

}  // namespace orba
