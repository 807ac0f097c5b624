#include "values/sysfunc.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "base/cp932.h"
#include "base/error.h"
#include "base/process.h"
#include "components/baselist.h"
#include "components/listitems.h"
#include "components/propaccess.h"
#include "files/vrmanager.h"
#include "values/convert.h"
#include "values/dbtables.h"
#include "values/paramcollection.h"
#include "values/parser.h"
#include "values/sysvars.h"
#include "values/widthtable.h"

namespace orba {

namespace {

constexpr uint8_t I = PT_INT, F = PT_FLOAT, B = PT_BOOL, S = PT_STR;

// The row number is the function number stored in compiled pages: the order is fixed.
constexpr TSysFuncInfo kTable[kSysFuncCount] = {
    {"IntToStr", 1, 2, S},        {"IntToHex", 2, 2, S},         {"GetProp", 2, 2, S},
    {"SetProp", 3, 3, S},         {"GetArraySize", 1, 2, I},     {"Length", 1, 1, I},
    {"JLength", 1, 1, I},         {"Copy", 2, 3, S},             {"JCopy", 2, 3, S},
    {"Delete", 2, 3, S},          {"JDelete", 2, 3, S},          {"Insert", 3, 3, S},
    {"JInsert", 3, 3, S},         {"CompareStr", 2, 2, I},       {"CompareText", 2, 2, I},
    {"Pos", 2, 2, I},             {"JPos", 2, 2, I},             {"Trim", 1, 1, S},
    {"JTrim", 1, 1, S},           {"Exists", 1, 1, B},           {"Not", 1, 1, B},
    {"SetArray", 2, -1, I},       {"FillMem", 2, 2, I},          {"CopyMem", 2, 2, I},
    {"GetCheck", 2, 2, B},        {"SetCheck", 3, 3, I},         {"Random", 1, 1, I},
    {"GetSaveCaption", 1, 1, S},  {"ArrayToString", 1, 2, S},    {"StringToArray", 2, 3, I},
    {"IndexOfStr", 2, 4, I},      {"SortStr", 1, 1, I},          {"ListCompo", 1, 3, I},
    {"ToClientX", 2, 2, I},       {"ToClientY", 2, 2, I},        {"ToScreenX", 2, 2, I},
    {"ToScreenY", 2, 2, I},       {"Int", 1, 1, I},              {"Float", 1, 1, F},
    {"Sin", 1, 1, F},             {"Cos", 1, 1, F},              {"Tan", 1, 1, F},
    {"ArcSin", 1, 1, F},          {"ArcCos", 1, 1, F},           {"ArcTan", 1, 1, F},
    {"ArcTan2", 2, 2, F},         {"Hypot", 2, 2, F},            {"IndexOfMenu", 2, 2, I},
    {"Abs", 1, 1, I},             {"Fabs", 1, 1, F},             {"VarExists", 1, 1, B},
    {"EncodeDate", 3, 3, F},      {"EncodeTime", 3, 3, F},       {"DecodeDate", 4, 4, I},
    {"DecodeTime", 4, 4, I},      {"GetYear", 1, 1, I},          {"GetMonth", 1, 1, I},
    {"GetDay", 1, 1, I},          {"GetHour", 1, 1, I},          {"GetMin", 1, 1, I},
    {"GetSec", 1, 1, I},          {"GetWeek", 1, 1, I},          {"GetWeekStr", 1, 1, S},
    {"GetWeekJStr", 1, 1, S},     {"FixStr", 1, 1, S},           {"GetDisplayMode", 5, 5, B},
    {"AddArray", 2, 2, I},        {"InsertArray", 3, 3, I},      {"DeleteArray", 3, 3, I},
    {"InPrimary", 1, 1, B},       {"CopyArray", 2, 2, B},        {"FileExists", 1, 1, B},
    {"LoadTextFile", 2, 2, B},    {"LowerCase", 1, 1, S},        {"UpperCase", 1, 1, S},
    {"ExtractFilePath", 1, 1, S}, {"ExtractFileName", 1, 1, S},  {"ExtractFileExt", 1, 1, S},
    {"IsPathDelimiter", 2, 2, B}, {"AddBackSlash", 1, 1, S},     {"ChangeFileExt", 2, 2, S},
    {"IsDelimiter", 3, 3, B},     {"StringOfChar", 2, 2, S},     {"StringReplace", 3, 5, S},
    {"AssignTemp", 1, 1, B},      {"HanToZen", 1, 1, S},         {"ZenToHan", 1, 1, S},
    {"DBCreateTable", 2, 2, B},   {"DBSetActive", 1, 1, B},      {"DBAddField", 2, 3, B},
    {"DBSetRecNo", 1, 1, B},      {"DBInsert", 0, -1, B},        {"DBDelete", 0, 0, B},
    {"DBGetInt", 1, 1, I},        {"DBSetInt", 2, 2, B},         {"DBGetFloat", 1, 1, F},
    {"DBSetFloat", 2, 2, B},      {"DBGetBool", 1, 1, B},        {"DBSetBool", 2, 2, B},
    {"DBGetStr", 1, 1, S},        {"DBSetStr", 2, 2, B},         {"DBRecordCount", 0, 1, I},
    {"DBFindFirst", 0, 0, B},     {"DBFindLast", 0, 0, B},       {"DBFindNext", 0, 0, B},
    {"DBFindPrior", 0, 0, B},     {"DBLocate", 2, 4, B},         {"DBLoadTsvFile", 1, 1, B},
    {"DBDirectGetInt", 7, 7, I},  {"DBDirectSetInt", 7, 7, B},   {"DBDirectGetFloat", 7, 7, F},
    {"DBDirectSetFloat", 7, 7, B}, {"DBDirectGetBool", 7, 7, B}, {"DBDirectSetBool", 7, 7, B},
    {"DBDirectGetStr", 7, 7, S},  {"DBDirectSetStr", 7, 7, B},   {"DBCopyTable", 1, 5, B},
    {"DBDeleteTable", 0, 1, B},   {"DBInsertTable", 1, 5, B},    {"DBCopy", 1, 1, B},
    {"DBClearTable", 0, 0, B},    {"DBSort", 2, 2, B},           {"DBGetActive", 0, 0, S},
    {"DBGetRecNo", 0, 1, I},      {"DBClearRecord", 0, 1, B},    {"SetWallPaper", 2, 2, B},
    {"Min", 2, 2, I},             {"Max", 2, 2, I},              {"Fmin", 2, 2, F},
    {"Fmax", 2, 2, F},            {"GetVarType", 1, 1, I},       {"GetEnabled", 2, 2, B},
    {"SetEnabled", 3, 3, I},      {"AddDelimiter", 2, 2, S},     {"ListSaveCaption", 0, 2, I},
    {"OpenUrl", 1, 1, B},         {"Calc", 1, 1, S},             {"SaveScreen", 1, 5, B},
    {"StrToIntDef", 2, 2, I},     {"StrToFloatDef", 2, 2, F},    {"GetVisible", 2, 2, B},
    {"SetVisible", 3, 3, B},
};

[[noreturn]] void RaiseTooLong() { throw EOrbaError(Sjis(u8"文字列が長すぎます")); }

[[noreturn]] void RaiseNotInteger(const std::string& text) {
  throw EOrbaError("'" + text + Sjis(u8"' は有効な整数値ではありません"));
}

// ---- text helpers ---------------------------------------------------------------------

// Byte offsets of every character start, plus the end.
std::vector<size_t> CharStarts(std::string_view s) {
  std::vector<size_t> starts;
  for (size_t i = 0; i < s.size(); i += CharLenAt(s, i)) starts.push_back(i);
  starts.push_back(s.size());
  return starts;
}

// The 1-based piece [index, index + count) of n units, clamped as the classic string
// routines do: an index below 1 counts from 1, one past the end gives nothing.
void Clamp(int64_t n, int64_t index, int64_t count, int64_t& from, int64_t& len) {
  if (index < 1) index = 1;
  if (index > n || count <= 0) {
    from = 0;
    len = 0;
    return;
  }
  from = index - 1;
  len = std::min<int64_t>(count, n - from);
}

std::string CopyText(std::string_view s, int64_t index, int64_t count, bool chars) {
  if (!chars) {
    int64_t from, len;
    Clamp(static_cast<int64_t>(s.size()), index, count, from, len);
    return std::string(s.substr(static_cast<size_t>(from), static_cast<size_t>(len)));
  }
  auto starts = CharStarts(s);
  int64_t from, len;
  Clamp(static_cast<int64_t>(starts.size()) - 1, index, count, from, len);
  size_t b = starts[static_cast<size_t>(from)], e = starts[static_cast<size_t>(from + len)];
  return std::string(s.substr(b, e - b));
}

std::string DeleteText(std::string s, int64_t index, int64_t count, bool chars) {
  auto starts = chars ? CharStarts(s) : std::vector<size_t>{};
  const int64_t n = chars ? static_cast<int64_t>(starts.size()) - 1 : static_cast<int64_t>(s.size());
  if (index < 1 || index > n || count <= 0) return s;
  const int64_t len = std::min<int64_t>(count, n - index + 1);
  size_t b = chars ? starts[static_cast<size_t>(index - 1)] : static_cast<size_t>(index - 1);
  size_t e = chars ? starts[static_cast<size_t>(index - 1 + len)] : static_cast<size_t>(index - 1 + len);
  s.erase(b, e - b);
  return s;
}

std::string InsertText(std::string_view piece, std::string s, int64_t index, bool chars) {
  auto starts = chars ? CharStarts(s) : std::vector<size_t>{};
  const int64_t n = chars ? static_cast<int64_t>(starts.size()) - 1 : static_cast<int64_t>(s.size());
  index = std::clamp<int64_t>(index, 1, n + 1);
  size_t at = chars ? starts[static_cast<size_t>(index - 1)] : static_cast<size_t>(index - 1);
  s.insert(at, piece);
  return s;
}

// Byte position (0-based) of needle in hay at a character start, from byte from; npos if
// none.
size_t FindChars(std::string_view hay, std::string_view needle, size_t from) {
  for (size_t i = from; i + needle.size() <= hay.size(); i += CharLenAt(hay, i))
    if (hay.compare(i, needle.size(), needle) == 0) return i;
  return std::string_view::npos;
}

int32_t CompareBytes(std::string_view a, std::string_view b) {
  for (size_t i = 0; i < a.size() && i < b.size(); ++i)
    if (a[i] != b[i]) return static_cast<uint8_t>(a[i]) - static_cast<uint8_t>(b[i]);
  return static_cast<int32_t>(static_cast<int64_t>(a.size()) - static_cast<int64_t>(b.size()));
}

std::string JTrim(std::string_view s) {
  const std::string_view wide = "\x81\x40";
  for (;;) {
    if (!s.empty() && s[0] == ' ') s.remove_prefix(1);
    else if (s.substr(0, 2) == wide) s.remove_prefix(2);
    else break;
  }
  for (;;) {
    if (s.empty()) break;
    // The last character starts at the last character start, found from the front.
    size_t last = 0;
    for (size_t i = 0; i < s.size(); i += CharLenAt(s, i)) last = i;
    std::string_view c = s.substr(last);
    if (c == " " || c == wide) s.remove_suffix(c.size());
    else break;
  }
  return std::string(s);
}

std::string Trim(std::string_view s) {
  size_t b = 0, e = s.size();
  while (b < e && static_cast<uint8_t>(s[b]) <= 32) ++b;
  while (e > b && static_cast<uint8_t>(s[e - 1]) <= 32) --e;
  return std::string(s.substr(b, e - b));
}

std::string Repeat(std::string_view s, int64_t times) {
  if (times <= 0 || s.empty()) return {};
  if (static_cast<int64_t>(s.size()) * times > kMaxBuiltText) RaiseTooLong();
  std::string out;
  out.reserve(s.size() * static_cast<size_t>(times));
  for (int64_t k = 0; k < times; ++k) out += s;
  return out;
}

// Decimal digits of i with at least minDigits digits, "-" first for negatives.
std::string PaddedDecimal(int32_t i, int64_t minDigits) {
  if (minDigits > kMaxBuiltText) RaiseTooLong();
  const uint32_t magnitude = i < 0 ? 0u - static_cast<uint32_t>(i) : static_cast<uint32_t>(i);
  std::string digits = std::to_string(magnitude);
  if (static_cast<int64_t>(digits.size()) < minDigits) digits.insert(0, static_cast<size_t>(minDigits) - digits.size(), '0');
  return i < 0 ? "-" + digits : digits;
}

std::string Hex(int32_t i, int64_t minDigits) {
  if (minDigits > kMaxBuiltText) RaiseTooLong();
  static const char* digits = "0123456789ABCDEF";
  std::string out;
  for (uint32_t v = static_cast<uint32_t>(i); v; v >>= 4) out.insert(out.begin(), digits[v & 15]);
  if (out.empty()) out = "0";
  if (static_cast<int64_t>(out.size()) < minDigits) out.insert(0, static_cast<size_t>(minDigits) - out.size(), '0');
  return out;
}

std::string ReplaceText(const std::string& s, const std::string& from, const std::string& to, bool all, bool ignoreCase) {
  if (from.empty()) return s;
  const std::string hay = ignoreCase ? UpperCase(s) : s;
  const std::string needle = ignoreCase ? UpperCase(from) : from;
  std::string out;
  size_t pos = 0;
  for (;;) {
    size_t at = FindChars(hay, needle, pos);
    if (at == std::string::npos) break;
    out.append(s, pos, at - pos);
    out += to;
    if (static_cast<int64_t>(out.size()) > kMaxBuiltText) RaiseTooLong();
    pos = at + needle.size();
    if (!all) break;
  }
  out.append(s, pos, std::string::npos);
  return out;
}

// Lines of a text: CR, LF or CR LF end a line; a break at the very end adds no line.
std::vector<std::string> SplitLines(std::string_view s) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t i = 0; i < s.size();) {
    if (s[i] == '\r' || s[i] == '\n') {
      lines.emplace_back(s.substr(start, i - start));
      i += (s[i] == '\r' && i + 1 < s.size() && s[i + 1] == '\n') ? 2 : 1;
      start = i;
    } else {
      i += CharLenAt(s, i);
    }
  }
  if (start < s.size()) lines.emplace_back(s.substr(start));
  return lines;
}

// Pieces of a text cut at every character that occurs in separators.
std::vector<std::string> SplitAt(std::string_view s, std::string_view separators) {
  std::vector<std::string> seps;
  for (size_t i = 0; i < separators.size(); i += CharLenAt(separators, i))
    seps.emplace_back(separators.substr(i, CharLenAt(separators, i)));
  std::vector<std::string> pieces;
  if (s.empty()) return pieces;
  std::string cur;
  for (size_t i = 0; i < s.size();) {
    std::string_view c = s.substr(i, CharLenAt(s, i));
    if (std::find(seps.begin(), seps.end(), c) != seps.end()) {
      pieces.push_back(std::move(cur));
      cur.clear();
    } else {
      cur += c;
    }
    i += c.size();
  }
  pieces.push_back(std::move(cur));
  return pieces;
}

// Position after the last backslash or colon that is not a second byte, 0 when none.
size_t PathEnd(std::string_view s) {
  size_t end = 0;
  for (size_t i = 0; i < s.size(); i += CharLenAt(s, i))
    if (s[i] == '\\' || s[i] == ':') end = i + 1;
  return end;
}

// Position of the extension's dot after the path, or npos.
size_t ExtStart(std::string_view s) {
  size_t dot = std::string_view::npos;
  for (size_t i = PathEnd(s); i < s.size(); i += CharLenAt(s, i))
    if (s[i] == '.') dot = i;
  return dot;
}

// True when byte index (0-based) of s is a single-byte character or a lead byte, and equals
// one of the single-byte characters of set.
bool ByteIsOneOf(std::string_view s, int64_t index, std::string_view set) {
  if (index < 0 || index >= static_cast<int64_t>(s.size())) return false;
  const size_t i = static_cast<size_t>(index);
  if (IsTrailByteAt(s, i)) return false;
  for (size_t k = 0; k < set.size(); k += CharLenAt(set, k))
    if (CharLenAt(set, k) == 1 && set[k] == s[i]) return true;
  return false;
}

// ---- dates -------------------------------------------------------------------------------
// A date is a float of days since 30 December 1899, the fraction being the time of day.

int64_t DaysFromCivil(int64_t y, int64_t m, int64_t d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void CivilFromDays(int64_t z, int32_t& y, int32_t& m, int32_t& d) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  d = static_cast<int32_t>(doy - (153 * mp + 2) / 5 + 1);
  m = static_cast<int32_t>(mp < 10 ? mp + 3 : mp - 9);
  y = static_cast<int32_t>(yoe + era * 400 + (m <= 2));
}

const int64_t kEpochDays = DaysFromCivil(1899, 12, 30);

bool IsLeap(int32_t y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

double EncodeDate(int32_t y, int32_t m, int32_t d) {
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (y < 1 || y > 9999 || m < 1 || m > 12 || d < 1 || d > kDays[m - 1] + (m == 2 && IsLeap(y)))
    throw EOrbaError(Sjis(u8"日付のエンコードに対する引数が無効です"));
  return static_cast<double>(DaysFromCivil(y, m, d) - kEpochDays);
}

double EncodeTime(int32_t h, int32_t m, int32_t s) {
  if (h < 0 || h > 23 || m < 0 || m > 59 || s < 0 || s > 59)
    throw EOrbaError(Sjis(u8"時刻のエンコードに対する引数が無効です"));
  return (h * 3600.0 + m * 60.0 + s) / 86400.0;
}

struct TDateParts {
  int32_t year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, week = 0;
};

TDateParts DecodeDateTime(double x) {
  TDateParts p;
  if (!std::isfinite(x) || std::abs(x) > 3.0e6) return p;  // outside the years 1..9999
  const double days = std::trunc(x);
  CivilFromDays(static_cast<int64_t>(days) + kEpochDays, p.year, p.month, p.day);
  int64_t ms = std::llround(std::abs(x - days) * 86400000.0);
  if (ms >= 86400000) ms = 86399999;
  p.hour = static_cast<int32_t>(ms / 3600000);
  p.minute = static_cast<int32_t>(ms / 60000 % 60);
  p.second = static_cast<int32_t>(ms / 1000 % 60);
  // Day 0 was a Saturday; 1 is Sunday.
  p.week = static_cast<int32_t>(((static_cast<int64_t>(days) % 7 + 7) % 7 + 6) % 7 + 1);
  return p;
}

// ---- arrays -------------------------------------------------------------------------------

// The elements of a value read in one type, so they can be placed into another value after
// it changed shape (the two may be the same variable).
struct TElements {
  uint8_t type;
  std::vector<int32_t> ints;
  std::vector<TExtended> floats;
  std::vector<std::string> texts;

  TElements(const TCustomParam& p, uint8_t as, int32_t from = 0, int32_t count = -1) : type(as) {
    const int32_t end = count < 0 ? p.Count() : from + count;
    for (int32_t k = from; k < end; ++k) {
      switch (type) {
        case PT_INT: ints.push_back(p.ItemInt(k)); break;
        case PT_FLOAT: floats.push_back(p.ItemFloat(k)); break;
        case PT_BOOL: ints.push_back(p.ItemFlag(k)); break;
        default: texts.push_back(p.ItemString(k)); break;
      }
    }
  }
  int32_t Size() const {
    return static_cast<int32_t>(type == PT_FLOAT ? floats.size() : type == PT_STR ? texts.size() : ints.size());
  }
  void Put(TCustomParam& p, int32_t at) const {
    for (int32_t k = 0; k < Size(); ++k) {
      const size_t i = static_cast<size_t>(k);
      switch (type) {
        case PT_INT: p.SetItemInt(at + k, ints[i]); break;
        case PT_FLOAT: p.SetItemFloat(at + k, floats[i]); break;
        case PT_BOOL: p.SetItemFlag(at + k, ints[i] != 0); break;
        default: p.SetItemString(at + k, texts[i]); break;
      }
    }
  }
};

void FillStrings(TCustomParam& v, const std::vector<std::string>& items) {
  const int32_t n[1] = {static_cast<int32_t>(items.size())};
  v.SetDims(n);
  for (int32_t k = 0; k < n[0]; ++k) v.SetItemString(k, items[static_cast<size_t>(k)]);
}


// The call of one function: its operands and target.
class TCall {
 public:
  TCall(TParamCollection& vars, TCustomParam& target, std::span<TCustomParam* const> args)
      : vars_(vars), target_(target), args_(args) {}

  TParamCollection& Vars() const { return vars_; }
  int32_t Count() const { return static_cast<int32_t>(args_.size()); }
  bool Has(int32_t k) const { return k < Count(); }
  // Operand k; a missing one (a hand-made list) reads as nothing.
  TCustomParam& Arg(int32_t k) const { return Has(k) ? *args_[static_cast<size_t>(k)] : None(); }
  int32_t Int(int32_t k) const { return Arg(k).AsInt(); }
  TExtended Float(int32_t k) const { return Arg(k).AsFloat(); }
  bool Flag(int32_t k) const { return Arg(k).AsFlag(); }
  std::string Text(int32_t k) const { return Arg(k).AsString(); }

  // Operand k as a variable to write through: a bound reference. Literals of the list are
  // never written; they get a sink that ignores writes.
  TCustomParam& Var(int32_t k) const {
    auto* ref = Has(k) ? dynamic_cast<TParamVar*>(args_[static_cast<size_t>(k)]) : nullptr;
    return ref && ref->Target() ? *ref : None();
  }
  // The same, raising "<Name>:変数が見つかりません" unless it is a bound reference.
  TCustomParam& CheckedVar(int32_t k, const char* name) const {
    auto* ref = Has(k) ? dynamic_cast<TParamVar*>(args_[static_cast<size_t>(k)]) : nullptr;
    if (!ref || !ref->Target()) throw EOrbaError(name + Sjis(u8":変数が見つかりません"));
    return *ref;
  }

  TCustomParam& Target() const { return target_; }
  void Return(int32_t i) const { target_.SetInt(i); }
  void Return(double x) const { target_.SetFloat(x); }
  void Return(TExtended x) const { target_.SetFloat(x); }
  void Return(bool b) const { target_.SetFlag(b); }
  void Return(std::string_view s) const { target_.SetString(s); }
  void Return(const std::string& s) const { target_.SetString(s); }
  void Return(const char* s) const { target_.SetString(s); }

 private:
  static TCustomParam& None() {
    static TParamVar none;  // unresolved: reads 0 and empty, ignores writes
    return none;
  }
  TParamCollection& vars_;
  TCustomParam& target_;
  std::span<TCustomParam* const> args_;
};

void RandomFunc(const TCall& c) {
  uint32_t& seed = RandSeed();
  seed = seed * 134775813u + 1u;
  c.Return(static_cast<int32_t>(static_cast<uint32_t>((uint64_t{seed} * static_cast<uint32_t>(c.Int(0))) >> 32)));
}

void CalcFunc(const TCall& c) {
  const std::string text = Trim(c.Text(0));
  if (text.empty()) return;
  if (EvaluationDepth() >= kMaxEvaluationDepth) throw EOrbaError(Sjis(u8"式の入れ子が深すぎます"));
  TOrbaParser inner;
  CompileExpression(text, inner);
  inner.Execute(c.Vars());
  c.Return(true);
}

// LoadTextFile(name, var lines): the lines of a file the project lets be used; true only
// when there is at least one. A file that cannot be read gives false like a missing one.
void LoadTextFileFunc(const TCall& c) {
  const std::string name = c.Text(0);
  std::vector<std::string> lines;
  if (!name.empty() && c.Vars().Source().FileAvailable(name)) {
    try {
      TKvMemoryStream bytes;
      VrFileManager().LoadFile(bytes, name);
      lines = SplitLines(std::string_view(reinterpret_cast<const char*>(bytes.Bytes().data()), bytes.Bytes().size()));
    } catch (const EOrbaError&) {
    }
  }
  if (!lines.empty()) FillStrings(c.Var(1), lines);
  c.Return(!lines.empty());
}

// The functions that read and write components. Without a component list no name finds one.
void ComponentFunc(const TCall& c, int32_t number) {
  TOrbaBaseList* list = ComponentList();
  switch (number) {
    case 2:
      if (TOrbaComponent* o = list ? list->FindComponent(c.Text(0)) : nullptr) GetPropByCode(*o, c.Int(1), c.Target());
      break;
    case 3:
      if (TOrbaComponent* o = list ? list->FindComponent(c.Text(0)) : nullptr) SetPropByCode(*o, c.Int(1) & 0xFF, c.Arg(2));
      break;
    case 19: {
      const std::string name = c.Text(0);
      c.Return(!name.empty() && list && list->IndexOfName(name) >= 0);
      break;
    }
    case 32: {
      std::vector<std::string> names;
      int32_t code = c.Has(1) ? c.Int(1) : 0;
      if (code >= 28) code = 0;
      TOrbaControl* parent = nullptr;
      bool none = !list;
      if (list && c.Has(2)) {
        parent = list->FindControl(c.Text(2));
        none = !parent;
      }
      if (!none) list->ListNames(names, code, parent);
      TCustomParam& a = c.Var(0);
      if (names.empty()) {
        a.MakeScalar();
        a.SetString("");
      } else {
        FillStrings(a, names);
      }
      c.Return(static_cast<int32_t>(names.size()));
      break;
    }
    case 33: case 34: case 35: case 36: {
      // The screen coordinate a2 made relative to the control, or the other way.
      const TOrbaControl* control = list ? list->FindControl(c.Text(0)) : nullptr;
      const int32_t origin = !control ? 0 : number == 33 || number == 35 ? control->AbsoluteLeft() : control->AbsoluteTop();
      c.Return(SaturateI32(number <= 34 ? int64_t{c.Int(1)} - origin : int64_t{c.Int(1)} + origin));
      break;
    }
    case 47: {
      // The line of the component's text that reads a2, case aside (a menu's items).
      int32_t index = -1;
      if (TOrbaComponent* o = list ? list->FindComponent(c.Text(0)) : nullptr) {
        const std::vector<std::string> lines = SplitLines(Trim(PropStr(*o, PR_TEXT)));
        const std::string wanted = c.Text(1);
        for (size_t i = 0; i < lines.size() && index < 0; ++i)
          if (SameText(lines[i], wanted)) index = static_cast<int32_t>(i);
      }
      c.Return(index);
      break;
    }
    case 24: case 25:
      if (auto* lines = dynamic_cast<ILineChecks*>(list ? list->FindComponent(c.Text(0)) : nullptr)) {
        if (number == 24) c.Return(lines->GetChecked(c.Int(1)));
        else lines->SetChecked(c.Int(1), c.Flag(2));
      }
      break;
    case 131: case 132: case 140: case 141:
      if (auto* buttons = dynamic_cast<IButtonStates*>(list ? list->FindComponent(c.Text(0)) : nullptr)) {
        // A button is named by its position, or by a text: an integer text is a position,
        // any other text the button's name.
        int32_t button = c.Int(1);
        if (c.Arg(1).ValueType() == PT_STR && !TryTextToInt(c.Text(1), button)) button = buttons->IndexOfButton(c.Text(1));
        switch (number) {
          case 131: c.Return(buttons->GetEnabled(button)); break;
          case 132: buttons->SetEnabled(button, c.Flag(2)); break;
          case 140: c.Return(buttons->GetShown(button)); break;
          default: buttons->SetShown(button, c.Flag(2)); break;
        }
      }
      break;
    case 69: {
      TOrbaControl* control = list ? list->FindControl(c.Text(0)) : nullptr;
      c.Return(control && control->GetBase() == &list->Current() && !control->IsInCabinet());
      break;
    }
    default: break;
  }
}

// The number of saved games; a1 gets their captions and a2 their slots, in list order (an
// operand that is not a variable is left alone). Without saved games both become scalars
// (empty, 0), as an array has at least one element.
void ListSaveCaptions(const TCall& c) {
  const std::vector<TSlotCaption> list = c.Vars().Source().SaveCaptions();
  const auto n = static_cast<int32_t>(list.size());
  TCustomParam& captions = c.Var(0);
  TCustomParam& slots = c.Var(1);
  if (n == 0) {
    captions.MakeScalar();
    captions.SetString("");
    slots.MakeScalar();
    slots.SetInt(0);
  } else {
    const int32_t dims[1] = {n};
    captions.SetDims(dims);
    slots.SetDims(dims);
    for (int32_t k = 0; k < n; ++k) {
      captions.SetItemString(k, list[static_cast<size_t>(k)].Caption);
      slots.SetItemInt(k, list[static_cast<size_t>(k)].Slot);
    }
  }
  c.Return(n);
}

// a1 with the elements of source (converted to a1's type) inserted at position; returns
// the new count, or the old one for arrays of two or more dimensions.
int32_t GrowArray(TCustomParam& a1, int32_t position, const TCustomParam& source) {
  const int32_t n = a1.Count();
  if (a1.DimCount() >= 2 || source.DimCount() >= 2) return n;
  const uint8_t type = a1.ValueType();
  if (type < PT_INT || type > PT_STR) return n;
  TElements added(source, type);
  TElements before(a1, type, 0, position);
  TElements after(a1, type, position, n - position);
  const int32_t total[1] = {n + added.Size()};
  a1.SetDims(total);
  before.Put(a1, 0);
  added.Put(a1, position);
  after.Put(a1, position + added.Size());
  return total[0];
}

void DeleteArrayFunc(const TCall& c) {
  TCustomParam& a1 = c.Var(0);
  const int32_t n = a1.Count();
  const uint8_t type = a1.ValueType();
  if (a1.DimCount() >= 2 || type < PT_INT || type > PT_STR) {
    c.Return(n);
    return;
  }
  const int32_t p = std::clamp(c.Int(1), 0, std::max(n - 1, 0));
  const int32_t k = std::clamp(c.Int(2), 0, n - p);
  TElements before(a1, type, 0, p);
  TElements after(a1, type, p + k, n - p - k);
  const int32_t total[1] = {n - k};
  a1.SetDims(total);  // removing everything fails here with the shape error
  before.Put(a1, 0);
  after.Put(a1, p);
  c.Return(n - k);
}

// ---- data tables -----------------------------------------------------------------------

// What a table function needs before it does anything: an active table, or a current record
// in it as well.
TDBTable* ActiveTable() { return DBManager().Active(); }
TDBTable* CurrentTable() {
  TDBTable* t = DBManager().Active();
  return t && t->RecNo() >= 0 ? t : nullptr;
}

// The records of table matching the search operands from k on (names, values, ignoreCase,
// partial); missing names or values match every record.
std::vector<int32_t> FindFrom(const TCall& c, const TDBTable& table, int32_t k) {
  std::vector<int32_t> matches;
  const bool both = c.Has(k) && c.Has(k + 1);
  table.Find(matches, both ? &c.Arg(k) : nullptr, both ? &c.Arg(k + 1) : nullptr, c.Has(k + 2) && c.Flag(k + 2),
             c.Has(k + 3) && c.Flag(k + 3));
  return matches;
}

void DBInsertFunc(const TCall& c) {
  TDBTable* t = ActiveTable();
  if (!t) return c.Return(false);
  t->Append();
  const int32_t n = std::min(c.Count(), t->Fields.Count());
  for (int32_t k = 0; k < n; ++k) {
    const TCustomParam& v = c.Arg(k);
    switch (v.ValueType()) {
      case PT_INT: t->SetInt(t->RecNo(), k, v.AsInt()); break;
      case PT_FLOAT: t->SetFloat(t->RecNo(), k, v.AsFloat()); break;
      case PT_BOOL: t->SetBool(t->RecNo(), k, v.AsFlag()); break;
      default: t->SetStr(t->RecNo(), k, v.AsString()); break;
    }
  }
  c.Return(true);
}

void DBLoadTsvFileFunc(const TCall& c) {
  TDBTable* t = ActiveTable();
  const std::string name = c.Text(0);
  if (!t || !c.Vars().Source().FileAvailable(name)) return c.Return(false);
  TKvMemoryStream bytes;
  try {
    VrFileManager().LoadFile(bytes, name);
  } catch (const EOrbaError&) {
    return c.Return(false);
  }
  if (bytes.GetSize() == 0) return c.Return(false);
  c.Return(t->LoadTsv(SplitLines(std::string_view(reinterpret_cast<const char*>(bytes.Bytes().data()), bytes.Bytes().size()))));
}

// DBDirectGet…/DBDirectSet… (108–115): table, names, values, ignoreCase, partial, field,
// then the default or the value.
void DBDirectFunc(const TCall& c, int32_t number) {
  const TDBManager::TDirect d =
      DBManager().DirectFind(c.Text(0), c.Arg(1), c.Arg(2), c.Flag(3), c.Flag(4), c.Text(5));
  const bool set = (number - 108) % 2 == 1;
  if (set && !d.Table) return c.Return(false);
  switch ((number - 108) / 2) {
    case 0: {
      int32_t v = 0;
      if (set) return c.Return(d.Table->SetInt(d.Record, d.Field, c.Int(6)));
      return c.Return(d.Table && d.Table->GetInt(d.Record, d.Field, v) ? v : c.Int(6));
    }
    case 1: {
      TExtended v = 0;
      if (set) return c.Return(d.Table->SetFloat(d.Record, d.Field, c.Float(6)));
      return c.Return(d.Table && d.Table->GetFloat(d.Record, d.Field, v) ? v : c.Float(6));
    }
    case 2: {
      bool v = false;
      if (set) return c.Return(d.Table->SetBool(d.Record, d.Field, c.Flag(6)));
      return c.Return(d.Table && d.Table->GetBool(d.Record, d.Field, v) ? v : c.Flag(6));
    }
    default: {
      std::string v;
      if (set) return c.Return(d.Table->SetStr(d.Record, d.Field, c.Text(6)));
      return c.Return(d.Table && d.Table->GetStr(d.Record, d.Field, v) ? v : c.Text(6));
    }
  }
}

// The table named by operand 0, or the active table without one.
TDBTable* NamedOrActive(const TCall& c) { return c.Has(0) ? DBManager().Find(c.Text(0)) : ActiveTable(); }

void DBFunction(const TCall& c, int32_t number) {
  TDBManager& db = DBManager();
  TDBTable* active = ActiveTable();
  switch (number) {
    case 87: c.Return(db.CreateTable(c.Text(0), c.Flag(1) ? 1 : 0) >= 0); break;
    case 88: c.Return(db.SetActive(c.Text(0))); break;
    case 89: c.Return(active && active->Fields.Add(c.Text(0), c.Int(1), c.Has(2) ? c.Int(2) : 0) >= 0); break;
    case 90: c.Return(active && active->SetRecNo(c.Int(0))); break;
    case 91: DBInsertFunc(c); break;
    case 92: { TDBTable* t = CurrentTable(); c.Return(t && t->Delete()); break; }
    case 93: { int32_t v = 0; c.Return(active && active->GetInt(active->RecNo(), active->Fields.IndexOf(c.Text(0)), v) ? v : 0); break; }
    case 95: { TExtended v = 0; c.Return(active && active->GetFloat(active->RecNo(), active->Fields.IndexOf(c.Text(0)), v) ? v : TExtended{0}); break; }
    case 97: { bool v = false; c.Return(active && active->GetBool(active->RecNo(), active->Fields.IndexOf(c.Text(0)), v) && v); break; }
    case 99: { std::string v; c.Return(active && active->GetStr(active->RecNo(), active->Fields.IndexOf(c.Text(0)), v) ? v : std::string()); break; }
    case 94: case 96: case 98: case 100: {
      TDBTable* t = CurrentTable();
      const int32_t f = t ? t->Fields.IndexOf(c.Text(0)) : -1;
      bool ok = false;
      if (t) {
        if (number == 94) ok = t->SetInt(t->RecNo(), f, c.Int(1));
        else if (number == 96) ok = t->SetFloat(t->RecNo(), f, c.Float(1));
        else if (number == 98) ok = t->SetBool(t->RecNo(), f, c.Flag(1));
        else ok = t->SetStr(t->RecNo(), f, c.Text(1));
      }
      c.Return(ok);
      break;
    }
    case 101: { TDBTable* t = NamedOrActive(c); c.Return(t ? t->RecordCount() : int32_t{-1}); break; }
    case 102: c.Return(active && active->First()); break;
    case 103: c.Return(active && active->Last()); break;
    case 104: c.Return(active && active->Next()); break;
    case 105: c.Return(active && active->Prior()); break;
    case 106: {
      if (!active) return c.Return(false);
      const std::vector<int32_t> matches = FindFrom(c, *active, 0);
      if (!matches.empty()) active->SetRecNo(matches[0]);
      c.Return(!matches.empty());
      break;
    }
    case 107: DBLoadTsvFileFunc(c); break;
    case 108: case 109: case 110: case 111: case 112: case 113: case 114: case 115: DBDirectFunc(c, number); break;
    case 116: c.Return(active && db.CopyRecords(c.Text(0), FindFrom(c, *active, 1))); break;
    case 117: c.Return(c.Has(0) ? db.DeleteTable(c.Text(0)) : db.DeleteActive()); break;
    case 118: {
      TDBTable* source = db.Find(c.Text(0));
      c.Return(active && source && db.InsertRecords(c.Text(0), FindFrom(c, *source, 1)));
      break;
    }
    case 119: {
      TDBTable* t = CurrentTable();
      TDBTable* target = db.Find(c.Text(0));
      if (!t || !target || !target->Fields.SameAs(t->Fields)) return c.Return(false);
      const std::vector<uint8_t> record = *t->CurrentRecord();
      target->AppendCopy(record);
      c.Return(true);
      break;
    }
    case 120: db.Clear(); break;
    case 121:
      if (active) active->Sort(c.Arg(0), c.Arg(1));
      c.Return(active != nullptr);
      break;
    case 122: c.Return(active ? active->Name : std::string()); break;
    case 123: c.Return(active ? active->RecNo() : int32_t{-1}); break;
    case 124: {
      TDBTable* t = NamedOrActive(c);
      if (t) t->ClearRecords();
      c.Return(t != nullptr);
      break;
    }
    default: break;
  }
}

}  // namespace

const TSysFuncInfo& SysFuncInfo(int32_t number) { return kTable[number]; }

int32_t FindSysFunc(std::string_view name) {
  for (int32_t i = 0; i < kSysFuncCount; ++i)
    if (name == kTable[i].Name) return i;
  return -1;
}

const TSysFuncMan& SysFuncMan() {
  static const TSysFuncMan manager;
  return manager;
}

void TSysFuncMan::CallFunction(TParamCollection& vars, TCustomParam& target, int32_t number,
                               std::span<TCustomParam* const> operands) const {
  const TCall c(vars, target, operands);
  switch (number) {
    // Text.
    case 0:
      if (!c.Has(1)) {
        c.Return(IntToText(c.Int(0)));
      } else {
        // The digit count is read as a number, never placed into a format.
        int32_t digits = 0;
        const std::string t = c.Text(1);
        if (!TryTextToInt(t, digits)) RaiseNotInteger(t);
        c.Return(PaddedDecimal(c.Int(0), digits));
      }
      break;
    case 1: c.Return(Hex(c.Int(0), c.Int(1))); break;
    case 5: c.Return(static_cast<int32_t>(c.Text(0).size())); break;
    case 6: c.Return(static_cast<int32_t>(CharCount(c.Text(0)))); break;
    case 7: case 8: c.Return(CopyText(c.Text(0), c.Int(1), c.Has(2) ? c.Int(2) : INT32_MAX, number == 8)); break;
    case 9: case 10: {
      TCustomParam& v = c.Var(0);
      v.SetString(DeleteText(v.AsString(), c.Int(1), c.Has(2) ? c.Int(2) : INT32_MAX, number == 10));
      break;
    }
    case 11: case 12: {
      TCustomParam& v = c.Var(1);
      v.SetString(InsertText(c.Text(0), v.AsString(), c.Int(2), number == 12));
      break;
    }
    case 13: c.Return(CompareBytes(c.Text(0), c.Text(1))); break;
    case 14: c.Return(CompareBytes(UpperCase(c.Text(0)), UpperCase(c.Text(1)))); break;
    case 15: case 16: {
      const std::string needle = c.Text(0), hay = c.Text(1);
      if (needle.empty()) { c.Return(int32_t{0}); break; }
      if (number == 15) {
        size_t at = hay.find(needle);
        c.Return(at == std::string::npos ? 0 : static_cast<int32_t>(at + 1));
      } else {
        size_t at = FindChars(hay, needle, 0);
        c.Return(at == std::string::npos ? 0 : static_cast<int32_t>(CharCount(std::string_view(hay).substr(0, at)) + 1));
      }
      break;
    }
    case 17: c.Return(Trim(c.Text(0))); break;
    case 18: c.Return(JTrim(c.Text(0))); break;
    case 20: c.Return(!c.Flag(0)); break;
    case 28: {
      const TCustomParam& a = c.Arg(0);
      const std::string sep = c.Has(1) ? c.Text(1) : "\r\n";
      std::string out;
      for (int32_t k = 0; k < a.Count(); ++k) {
        if (k) out += sep;
        out += a.ItemString(k);
        if (static_cast<int64_t>(out.size()) > kMaxBuiltText) RaiseTooLong();
      }
      c.Return(out);
      break;
    }
    case 29: {
      const std::string sep = c.Has(2) ? c.Text(2) : "\r\n";
      auto pieces = sep == "\r\n" ? SplitLines(c.Text(0)) : SplitAt(c.Text(0), sep);
      TCustomParam& v = c.Var(1);
      if (pieces.empty()) {
        v.MakeScalar();
        v.SetString("");
      } else {
        FillStrings(v, pieces);
      }
      break;
    }
    case 64: {
      std::string s = c.Text(0);
      if (!s.empty() && IsLeadByte(s.back()) && !IsTrailByteAt(s, s.size() - 1)) s.pop_back();
      c.Return(s);
      break;
    }
    case 73: c.Return(LowerCase(c.Text(0))); break;
    case 74: c.Return(UpperCase(c.Text(0))); break;
    case 75: { std::string s = c.Text(0); c.Return(s.substr(0, PathEnd(s))); break; }
    case 76: { std::string s = c.Text(0); c.Return(s.substr(PathEnd(s))); break; }
    case 77: { std::string s = c.Text(0); size_t d = ExtStart(s); c.Return(d == std::string::npos ? std::string() : s.substr(d)); break; }
    case 78: c.Return(ByteIsOneOf(c.Text(0), int64_t{c.Int(1)} - 1, "\\")); break;
    case 79: {
      std::string s = c.Text(0);
      if (s.empty() || !ByteIsOneOf(s, static_cast<int64_t>(s.size()) - 1, "\\")) s += '\\';
      c.Return(s);
      break;
    }
    case 80: {
      std::string s = c.Text(0);
      size_t d = ExtStart(s);
      c.Return((d == std::string::npos ? s : s.substr(0, d)) + c.Text(1));
      break;
    }
    case 81: c.Return(ByteIsOneOf(c.Text(1), int64_t{c.Int(2)} - 1, c.Text(0))); break;
    case 82: c.Return(Repeat(c.Text(0), c.Int(1))); break;
    case 83: c.Return(ReplaceText(c.Text(0), c.Text(1), c.Text(2), c.Has(3) && c.Flag(3), c.Has(4) && c.Flag(4))); break;
    case 85: c.Return(HanToZen(c.Text(0))); break;
    case 86: c.Return(ZenToHan(c.Text(0))); break;
    case 133: { std::string s = c.Text(1); c.Return(s.empty() ? std::string() : s + c.Text(0)); break; }
    case 138: {
      int32_t i = 0;
      c.Return(TryTextToInt(c.Text(0), i) ? i : c.Int(1));
      break;
    }
    case 139: {
      TExtended x = 0;
      c.Return(TryTextToFloat(c.Text(0), x) ? x : c.Float(1));
      break;
    }

    // Numbers.
    case 26: RandomFunc(c); break;
    case 37: c.Return(FloatToInt(c.Float(0))); break;
    case 38: c.Return(c.Float(0)); break;
    case 39: c.Return(std::sin(c.Float(0))); break;
    case 40: c.Return(std::cos(c.Float(0))); break;
    case 41: c.Return(std::tan(c.Float(0))); break;
    case 42: c.Return(std::asin(c.Float(0))); break;
    case 43: c.Return(std::acos(c.Float(0))); break;
    case 44: c.Return(std::atan(c.Float(0))); break;
    case 45: c.Return(std::atan2(c.Float(0), c.Float(1))); break;
    case 46: c.Return(std::hypot(c.Float(0), c.Float(1))); break;
    case 48: { int32_t i = c.Int(0); c.Return(i < 0 ? static_cast<int32_t>(0u - static_cast<uint32_t>(i)) : i); break; }
    case 49: c.Return(std::fabs(c.Float(0))); break;
    case 126: c.Return(std::min(c.Int(0), c.Int(1))); break;
    case 127: c.Return(std::max(c.Int(0), c.Int(1))); break;
    case 128: c.Return(std::fmin(c.Float(0), c.Float(1))); break;
    case 129: c.Return(std::fmax(c.Float(0), c.Float(1))); break;

    // Dates and times.
    case 51: c.Return(EncodeDate(c.Int(0), c.Int(1), c.Int(2))); break;
    case 52: c.Return(EncodeTime(c.Int(0), c.Int(1), c.Int(2))); break;
    case 53: case 54: {
      TDateParts p = DecodeDateTime(c.Float(0));
      c.Var(1).SetInt(number == 53 ? p.year : p.hour);
      c.Var(2).SetInt(number == 53 ? p.month : p.minute);
      c.Var(3).SetInt(number == 53 ? p.day : p.second);
      break;
    }
    case 55: c.Return(DecodeDateTime(c.Float(0)).year); break;
    case 56: c.Return(DecodeDateTime(c.Float(0)).month); break;
    case 57: c.Return(DecodeDateTime(c.Float(0)).day); break;
    case 58: c.Return(DecodeDateTime(c.Float(0)).hour); break;
    case 59: c.Return(DecodeDateTime(c.Float(0)).minute); break;
    case 60: c.Return(DecodeDateTime(c.Float(0)).second); break;
    case 61: c.Return(DecodeDateTime(c.Float(0)).week); break;
    case 62: case 63: {
      static const char* kNames[] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};
      static const char8_t* kJNames[] = {u8"日", u8"月", u8"火", u8"水", u8"木", u8"金", u8"土"};
      const int32_t w = DecodeDateTime(c.Float(0)).week;
      if (w >= 1) c.Return(number == 62 ? std::string(kNames[w - 1]) : Sjis(kJNames[w - 1]));
      break;
    }

    // Variables and arrays.
    case 4: {
      TCustomParam& a = c.CheckedVar(0, "GetArraySize");
      c.Return(c.Has(1) ? a.DimSize(a.DimCount() - 1 - c.Int(1)) : a.Count());
      break;
    }
    case 21: {
      TCustomParam& a = c.CheckedVar(0, "SetArray");
      std::vector<int32_t> sizes;
      for (int32_t k = 1; k < c.Count(); ++k) sizes.push_back(c.Int(k));
      a.SetDims(sizes);
      break;
    }
    case 22: {
      TCustomParam& a = c.CheckedVar(0, "FillMem");
      switch (a.ValueType()) {
        case PT_INT: a.FillInt(c.Int(1)); break;
        case PT_FLOAT: a.FillFloat(c.Float(1)); break;
        case PT_BOOL: a.FillFlag(c.Flag(1)); break;
        case PT_STR: a.FillString(c.Text(1)); break;
        default: break;
      }
      break;
    }
    case 23: {
      TCustomParam& a = c.CheckedVar(0, "CopyMem");
      TCustomParam& b = c.CheckedVar(1, "CopyMem");
      a.CopyFrom(b);
      break;
    }
    case 30: c.Return(c.Arg(0).IndexOfValue(c.Text(1), c.Has(2) ? c.Flag(2) : true, c.Has(3) && c.Flag(3))); break;
    case 31: {
      TCustomParam& a = c.Var(0);
      std::vector<std::string> items;
      for (int32_t k = 0; k < a.Count(); ++k) items.push_back(a.ItemString(k));
      std::stable_sort(items.begin(), items.end(),
                       [](const std::string& x, const std::string& y) { return CompareText(x, y) < 0; });
      for (int32_t k = 0; k < static_cast<int32_t>(items.size()); ++k) a.SetItemString(k, items[static_cast<size_t>(k)]);
      break;
    }
    case 50: c.Return(c.Vars().FindVariable(c.Text(0)) != nullptr); break;
    case 66: { TCustomParam& a = c.Var(0); c.Return(GrowArray(a, a.Count(), c.Arg(1))); break; }
    case 67: {
      TCustomParam& a = c.Var(0);
      c.Return(GrowArray(a, std::clamp(c.Int(1), 0, a.Count()), c.Arg(2)));
      break;
    }
    case 68: DeleteArrayFunc(c); break;
    case 70: c.Var(0).ConvertFrom(c.Arg(1)); c.Return(true); break;
    case 84: {
      const std::string name = c.Text(0);
      const bool ok = !name.empty() && c.Vars().FindVariable(name);
      if (ok) c.Vars().TempVarName = name;
      c.Return(ok);
      break;
    }
    case 130: c.Return(static_cast<int32_t>(c.Arg(0).ValueType())); break;
    case 136: CalcFunc(c); break;

    // Saved games.
    case 27: c.Return(c.Vars().Source().SaveCaption(c.Int(0))); break;
    case 134: ListSaveCaptions(c); break;

    // Components, files and player services belong to subsystems that answer
    // later; until then each gives what it gives when its object does not exist.
    // Files of the project.
    case 71: { const std::string name = c.Text(0); c.Return(!name.empty() && VrFileManager().HasFile(name)); break; }
    case 72: LoadTextFileFunc(c); break;

    // Components, by name.
    case 2: case 3: case 19: case 24: case 25: case 32: case 33: case 34: case 35: case 36: case 47: case 69:
    case 131: case 132: case 140: case 141: ComponentFunc(c, number); break;
    case 125: case 137: case 65: c.Return(false); break;
    default:
      if (number >= 87 && number <= 124) DBFunction(c, number);
      break;  // links: nothing
  }
}

}  // namespace orba
