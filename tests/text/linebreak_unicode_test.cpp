// Our break rules beside the Unicode line-breaking classes that Debian's unicode-data ships:
// where the Unicode rules forbid a break before a closing mark (classes CL, CP, EX) or after
// an opening one (OP), and allow one between two ideographs (ID), ours must agree on every
// code page 932 character, except for the differences listed here.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "base/cp932.h"
#include "text/wordlayout.h"

namespace orba {
namespace {

constexpr const char* kLineBreakFile = "/usr/share/unicode/LineBreak.txt";

// The class of every code point listed in the file.
std::map<char32_t, std::string> ReadClasses() {
  std::map<char32_t, std::string> classes;
  std::ifstream in(kLineBreakFile);
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    const size_t semi = line.find(';');
    if (semi == std::string::npos) continue;
    const std::string range = line.substr(0, semi);
    std::string cls = line.substr(semi + 1);
    cls = cls.substr(0, cls.find_first_of(" #"));
    const size_t dots = range.find("..");
    const char32_t first = static_cast<char32_t>(std::stoul(range.substr(0, dots), nullptr, 16));
    const char32_t last = dots == std::string::npos ? first : static_cast<char32_t>(std::stoul(range.substr(dots + 2), nullptr, 16));
    for (char32_t c = first; c <= last; ++c) classes[c] = cls;
  }
  return classes;
}

// The Unicode code point of a code page 932 character, or 0.
char32_t CodePoint(uint16_t code) {
  std::string bytes;
  if (code > 0xFF) bytes.push_back(static_cast<char>(code >> 8));
  bytes.push_back(static_cast<char>(code & 0xFF));
  const std::string u = ToUtf8(bytes);
  if (u.empty() || u == "?") return 0;
  const auto b = [&](size_t i) { return static_cast<char32_t>(static_cast<uint8_t>(u[i]) & 0x3F); };
  const uint8_t lead = static_cast<uint8_t>(u[0]);
  if (lead < 0x80) return u.size() == 1 ? lead : 0;
  if (lead < 0xE0) return u.size() == 2 ? ((lead & 0x1Fu) << 6 | b(1)) : 0;
  if (lead < 0xF0) return u.size() == 3 ? ((lead & 0x0Fu) << 12 | b(1) << 6 | b(2)) : 0;
  return 0;
}

// Every printable code page 932 character: single bytes, and lead × 256 + trail pairs.
std::vector<uint16_t> AllCodes() {
  std::vector<uint16_t> codes;
  for (int c = 0x21; c <= 0x7E; ++c) codes.push_back(static_cast<uint16_t>(c));
  for (int c = 0xA1; c <= 0xDF; ++c) codes.push_back(static_cast<uint16_t>(c));
  for (int lead = 0x81; lead <= 0xFC; ++lead) {
    if (lead > 0x9F && lead < 0xE0) continue;
    for (int trail = 0x40; trail <= 0xFC; ++trail)
      if (trail != 0x7F) codes.push_back(static_cast<uint16_t>(lead << 8 | trail));
  }
  return codes;
}

std::string Show(const std::set<uint16_t>& codes) {
  std::ostringstream os;
  for (uint16_t c : codes) {
    std::string bytes;
    if (c > 0xFF) bytes.push_back(static_cast<char>(c >> 8));
    bytes.push_back(static_cast<char>(c & 0xFF));
    os << ToUtf8(bytes) << " ";
  }
  return os.str();
}

TEST(LineBreakUnicode, ClosingOpeningAndIdeographsAgreeWithTheUnicodeClasses) {
  if (!std::ifstream(kLineBreakFile)) GTEST_SKIP() << kLineBreakFile << " missing: run scripts/install-deps.sh";
  const auto classes = ReadClasses();
  std::set<uint16_t> noBreakBefore, noBreakAfter, betweenIdeographs;  // disagreements
  int ideographs = 0;
  for (uint16_t code : AllCodes()) {
    const char32_t cp = CodePoint(code);
    if (cp == 0) continue;
    const auto it = classes.find(cp);
    const std::string cls = it == classes.end() ? "XX" : it->second;
    const bool unicodeBefore = cls == "CL" || cls == "CP" || cls == "EX";
    if (unicodeBefore != IsLineStartForbidden(code)) noBreakBefore.insert(code);
    if ((cls == "OP") != IsLineEndForbidden(code)) noBreakAfter.insert(code);
    if (cls == "ID") {
      ++ideographs;
      TWdChar a, b;
      a.Code = b.Code = code;
      if (!BreakAllowedBefore(b, a)) betweenIdeographs.insert(code);
    }
  }
  EXPECT_GT(ideographs, 6000);
  // Our lists are the projects' own and shorter than the Unicode classes: brackets of other
  // shapes, the full-width comma and full stop and the closing double prime may start a row,
  // and the matching opening brackets end one. The half-width "<" is an opening mark in our
  // list and an ordinary letter to Unicode.
  EXPECT_EQ(Show(noBreakBefore), Show({0x5D, 0x7D, 0x8143, 0x8144, 0x816C, 0x816E, 0x8170, 0x8172, 0x8174, 0x8781}));
  EXPECT_EQ(Show(noBreakAfter), Show({0x3C, 0x7B, 0x816B, 0x816D, 0x816F, 0x8171, 0x8173, 0x8780}));
  // Half-width katakana are ideographs to Unicode but single-byte letters to us, kept
  // together like a word (the small ones, the prolonged sound mark and the sound marks are
  // other classes); every two-byte ideograph takes a break.
  std::set<uint16_t> halfWidthKana{0xA6};
  for (uint16_t code = 0xB1; code <= 0xDD; ++code) halfWidthKana.insert(code);
  EXPECT_EQ(Show(betweenIdeographs), Show(halfWidthKana));
}

}  // namespace
}  // namespace orba
