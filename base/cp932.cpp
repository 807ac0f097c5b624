#include "base/cp932.h"

#include <iconv.h>

#include <cerrno>
#include <stdexcept>

namespace orba {

bool IsTrailByteAt(std::string_view s, size_t i) {
  size_t p = 0;
  while (p < i) p += CharLenAt(s, p);
  return p > i;
}

size_t CharCount(std::string_view s) {
  size_t n = 0;
  for (size_t i = 0; i < s.size(); i += CharLenAt(s, i)) ++n;
  return n;
}

size_t ByteOffsetOfChar(std::string_view s, size_t index) {
  size_t i = 0;
  while (index > 0 && i < s.size()) {
    i += CharLenAt(s, i);
    --index;
  }
  return i < s.size() ? i : s.size();
}

namespace {

template <typename Fold>
std::string FoldCase(std::string_view s, Fold fold) {
  std::string out(s);
  for (size_t i = 0; i < out.size();) {
    size_t len = CharLenAt(out, i);
    if (len == 1) out[i] = fold(out[i]);
    i += len;
  }
  return out;
}

char AsciiUpper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; }
char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

// One iconv descriptor per direction and thread, opened on first use.
class Converter {
 public:
  Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {
    if (cd_ == reinterpret_cast<iconv_t>(-1)) throw std::runtime_error("iconv: CP932 is not available");
  }
  ~Converter() { iconv_close(cd_); }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  // Converts as much as it can; returns false and leaves `in` at the rejected byte.
  bool Run(std::string_view& in, std::string& out) {
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    char* src = const_cast<char*>(in.data());
    size_t left = in.size();
    char buf[1024];
    while (left > 0) {
      char* dst = buf;
      size_t room = sizeof buf;
      size_t r = iconv(cd_, &src, &left, &dst, &room);
      out.append(buf, dst - buf);
      if (r == static_cast<size_t>(-1) && errno != E2BIG) {
        in = std::string_view(src, left);
        return false;
      }
    }
    in = std::string_view();
    return true;
  }

 private:
  iconv_t cd_;
};

size_t Utf8SequenceLength(std::string_view s) {
  auto b = static_cast<uint8_t>(s[0]);
  size_t len = b < 0x80 ? 1 : (b & 0xE0) == 0xC0 ? 2 : (b & 0xF0) == 0xE0 ? 3 : (b & 0xF8) == 0xF0 ? 4 : 1;
  if (len > s.size()) return 1;
  for (size_t k = 1; k < len; ++k)
    if ((static_cast<uint8_t>(s[k]) & 0xC0) != 0x80) return 1;
  return len;
}

}  // namespace

std::string UpperCase(std::string_view s) { return FoldCase(s, AsciiUpper); }
std::string LowerCase(std::string_view s) { return FoldCase(s, AsciiLower); }

int CompareText(std::string_view a, std::string_view b) {
  // While the texts agree, a byte has the same role (single, lead or second) in both, so
  // one state serves both: folded equal bytes differ at most in ASCII case, and no ASCII
  // byte is a lead byte.
  bool second = false;
  for (size_t i = 0; i < a.size() && i < b.size(); ++i) {
    char ca = second ? a[i] : AsciiUpper(a[i]);
    char cb = second ? b[i] : AsciiUpper(b[i]);
    if (ca != cb) return static_cast<uint8_t>(ca) < static_cast<uint8_t>(cb) ? -1 : 1;
    second = !second && IsLeadByte(a[i]);
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

std::string ToUtf8(std::string_view cp932) {
  thread_local Converter conv("UTF-8", "CP932");
  std::string out;
  out.reserve(cp932.size() * 3 / 2);
  while (!conv.Run(cp932, out)) {
    out += "\xEF\xBF\xBD";
    cp932.remove_prefix(1);
  }
  return out;
}

std::string FromUtf8(std::string_view utf8) {
  thread_local Converter conv("CP932", "UTF-8");
  std::string out;
  out.reserve(utf8.size());
  while (!conv.Run(utf8, out)) {
    out += '?';
    utf8.remove_prefix(Utf8SequenceLength(utf8));
  }
  return out;
}

std::string StoredExtension(std::string_view name) {
  size_t dot = std::string_view::npos;
  for (size_t i = 0; i < name.size(); i += CharLenAt(name, i)) {
    if (CharLenAt(name, i) != 1) continue;
    if (name[i] == '\\') dot = std::string_view::npos;
    else if (name[i] == '.') dot = i;
  }
  return dot == std::string_view::npos ? std::string() : std::string(name.substr(dot));
}

}  // namespace orba
