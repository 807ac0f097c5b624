#include "values/parser.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <unordered_map>

#include "base/binio.h"
#include "base/cp932.h"
#include "base/error.h"
#include "base/stream.h"
#include "values/convert.h"
#include "values/paramcollection.h"
#include "values/sysfunc.h"

namespace orba {

namespace {

constexpr const char* kOpNames[] = {
    "ocNone", "ocTo", "ocPlus", "ocMinus", "ocMul", "ocDiv", "ocMod", "ocOr", "ocAnd", "ocXor", "ocDimTo",
    "ocFunc", "ocEqual", "ocBig", "ocSmall", "ocEBig", "ocESmall", "ocShiftL", "ocShiftR", "ocComboStr", "ocNEqual"};

[[noreturn]] void RaiseSyntax() { throw EOrbaError(Sjis(u8"構文エラー")); }

// ---- compiler text ----------------------------------------------------------------------
// The compiler works on characters, not bytes: a double-byte character is one unit whose
// value (lead byte × 256 + second byte) is never an ASCII operator, so a second byte such as
// '\' or '|' can never end a token or a literal.

using Chars = std::u16string;

Chars Decode(std::string_view s) {
  Chars out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size();) {
    size_t len = CharLenAt(s, i);
    auto b = static_cast<uint8_t>(s[i]);
    out.push_back(len == 2 ? static_cast<char16_t>(b << 8 | static_cast<uint8_t>(s[i + 1])) : char16_t{b});
    i += len;
  }
  return out;
}

std::string Encode(const Chars& s) {
  std::string out;
  out.reserve(s.size());
  for (char16_t c : s) {
    if (c > 0xFF) out.push_back(static_cast<char>(c >> 8));
    out.push_back(static_cast<char>(c & 0xFF));
  }
  return out;
}

Chars FromAscii(std::string_view s) { return Chars(s.begin(), s.end()); }

bool IsBlank(char16_t c) { return c <= 0x20; }
bool IsIdent(char16_t c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}
bool IsIn(char16_t c, std::u16string_view set) { return set.find(c) != std::u16string_view::npos; }
bool IsOperatorChar(char16_t c) { return IsIn(c, u"+-*/%|&^=[](),<>"); }
bool HasOperatorChar(const Chars& s) {
  return std::any_of(s.begin(), s.end(), [](char16_t c) { return IsOperatorChar(c); });
}

Chars Trim(const Chars& s) {
  size_t b = 0, e = s.size();
  while (b < e && IsBlank(s[b])) ++b;
  while (e > b && IsBlank(s[e - 1])) --e;
  return s.substr(b, e - b);
}

// Position of the ")" that closes the "(" at open; a missing one is a syntax error.
size_t MatchParen(const Chars& s, size_t open) {
  int depth = 0;
  for (size_t i = open; i < s.size(); ++i) {
    if (s[i] == '(') ++depth;
    if (s[i] == ')' && --depth == 0) return i;
  }
  RaiseSyntax();
}

void CheckParens(const Chars& s) {
  int depth = 0;
  for (char16_t c : s) {
    if (c == '(') ++depth;
    if (c == ')' && --depth < 0) RaiseSyntax();
  }
  if (depth != 0) RaiseSyntax();
}

// While the text is wrapped in one pair of parentheses, removes it.
Chars StripParens(Chars s) {
  while (s.size() >= 2 && s.front() == '(' && s.back() == ')' && MatchParen(s, 0) == s.size() - 1)
    s = Trim(s.substr(1, s.size() - 2));
  return s;
}

// Position of the last "(" whose nearest non-blank character before it is (call) or is not
// (group) an identifier character, or npos. nameEnd receives the end of that run.
size_t FindParen(const Chars& s, bool call, size_t& nameEnd) {
  for (size_t i = s.size(); i-- > 0;) {
    if (s[i] != '(') continue;
    size_t j = i;
    while (j > 0 && IsBlank(s[j - 1])) --j;
    bool ident = j > 0 && IsIdent(s[j - 1]);
    if (ident == call) {
      nameEnd = j;
      return i;
    }
  }
  return Chars::npos;
}

uint8_t OperatorCode(const Chars& t) {
  static const std::pair<std::u16string_view, uint8_t> table[] = {
      {u"=", ocTo},        {u"+", ocPlus},      {u"-", ocMinus},   {u"*", ocMul},     {u"/", ocDiv},
      {u"%", ocMod},       {u"|", ocOr},        {u"&", ocAnd},     {u"^", ocXor},     {u"==", ocEqual},
      {u">", ocBig},       {u"<", ocSmall},     {u">=", ocEBig},   {u"<=", ocESmall}, {u"<<", ocShiftL},
      {u">>", ocShiftR},   {u"++", ocComboStr}, {u"<>", ocNEqual}};
  for (const auto& [sym, code] : table)
    if (t == sym) return code;
  return ocNone;
}

// Splits at commas; inside "[" … "]" (when brackets is set) commas do not split.
std::vector<Chars> SplitCommas(const Chars& s, bool brackets) {
  std::vector<Chars> parts;
  Chars cur;
  int depth = 0;
  for (char16_t c : s) {
    if (brackets && c == '[') ++depth;
    if (brackets && c == ']' && --depth < 0) RaiseSyntax();
    if (c == ',' && depth == 0) {
      parts.push_back(Trim(cur));
      cur.clear();
    } else {
      cur.push_back(c);
    }
  }
  if (depth != 0) RaiseSyntax();
  parts.push_back(Trim(cur));
  return parts;
}

}  // namespace

std::string OpeCodeName(uint8_t code) { return code <= ocLast ? kOpNames[code] : IntToText(code); }

// ---- compilation --------------------------------------------------------------------------

std::string TBuildOrbaParser::NewTemp() { return "____" + IntToText(counter_++); }
std::string TBuildOrbaParser::NewDimTemp() { return "____d_" + IntToText(counter_++); }

std::string TBuildOrbaParser::Argument(Chars text) {
  text = StripParens(Trim(text));
  if (text.empty()) return {};
  if (!HasOperatorChar(text)) return Encode(text);
  std::string u = NewTemp();
  Compile(FromAscii(u + " = ") + text);
  return u;
}

void TBuildOrbaParser::Parse(std::string_view text) {
  const size_t from = ops_.size();
  Compile(Decode(text));
  Merge(from);
}

void TBuildOrbaParser::Compile(Chars t) {
  const Chars whole = t;

  // Phase 1: string literals become temporaries holding them.
  for (;;) {
    size_t q = t.find(u'"');
    if (q == Chars::npos) break;
    Chars content;
    size_t j = q + 1;
    bool closed = false;
    while (j < t.size()) {
      char16_t c = t[j];
      if (c == '\\' && j + 1 < t.size() && (t[j + 1] == '"' || t[j + 1] == '\\')) {
        content.push_back(t[j + 1]);
        j += 2;
      } else if (c == '\\' && j + 1 < t.size() && t[j + 1] == 'n') {
        content += u"\r\n";
        j += 2;
      } else if (c == '"') {
        closed = true;
        break;
      } else {
        content.push_back(c);
        ++j;
      }
    }
    if (!closed) break;  // a lone quote is no literal and stays in the text
    std::string temp = NewTemp();
    ops_.push_back({ocTo, temp, {Encode(u"\"" + content + u"\"")}});
    t.replace(q, j + 1 - q, FromAscii(temp));
  }

  // Phase 2: function calls, the innermost and rightmost first.
  for (;;) {
    CheckParens(t);
    size_t nameEnd = 0;
    size_t open = FindParen(t, true, nameEnd);
    if (open == Chars::npos) break;
    size_t nameStart = nameEnd;
    while (nameStart > 0 && IsIdent(t[nameStart - 1])) --nameStart;
    size_t close = MatchParen(t, open);
    Chars name = Trim(t.substr(nameStart, open - nameStart));
    Chars args = t.substr(open + 1, close - open - 1);
    std::string temp = NewTemp();
    t.replace(nameStart, close + 1 - nameStart, FromAscii(temp));
    TBuildOpeData op{ocFunc, temp, {Encode(name)}};
    // An empty argument text is a call without arguments.
    if (!Trim(args).empty())
      for (Chars& a : SplitCommas(args, true)) op.Operands.push_back(Argument(std::move(a)));
    ops_.push_back(std::move(op));
  }

  // Phase 3: array elements become references bound to them, inner brackets first.
  for (;;) {
    if (std::count(t.begin(), t.end(), u'[') != std::count(t.begin(), t.end(), u']')) RaiseSyntax();
    size_t open = t.rfind(u'[');
    if (open == Chars::npos) break;
    size_t j = open;
    while (j > 0 && IsBlank(t[j - 1])) --j;
    if (j == 0 || IsOperatorChar(t[j - 1])) RaiseSyntax();
    size_t nameStart = j;
    while (nameStart > 0 && !IsBlank(t[nameStart - 1]) && !IsOperatorChar(t[nameStart - 1])) --nameStart;
    size_t close = t.find(u']', open);
    if (close == Chars::npos) RaiseSyntax();
    Chars name = Trim(t.substr(nameStart, open - nameStart));
    Chars inner = t.substr(open + 1, close - open - 1);
    std::string temp = NewDimTemp();
    t.replace(nameStart, close + 1 - nameStart, FromAscii(temp));
    if (Trim(inner).empty()) throw EOrbaError(Sjis(u8"配列の添え字が不正です"));
    TBuildOpeData op{ocDimTo, temp, {Encode(name)}};
    for (Chars& index : SplitCommas(inner, false)) op.Operands.push_back(Argument(std::move(index)));
    ops_.push_back(std::move(op));
  }

  // Phase 4: parenthesised groups, each compiled as an assignment to a temporary.
  for (;;) {
    size_t ignored = 0;
    size_t open = FindParen(t, false, ignored);
    if (open == Chars::npos) break;
    size_t close = MatchParen(t, open);
    Chars inner = t.substr(open + 1, close - open - 1);
    std::string temp = NewTemp();
    t.replace(open, close + 1 - open, FromAscii(temp));
    Compile(FromAscii(temp + " = ") + inner);
  }

  if (Trim(t).empty()) {
    ops_.push_back({ocTo, "____arg", {Encode(whole)}});
    return;
  }

  // Phase 5: operators.
  std::vector<Chars> tokens;
  {
    Chars operand;
    auto flush = [&] {
      Chars o = Trim(operand);
      if (!o.empty()) tokens.push_back(std::move(o));
      operand.clear();
    };
    for (size_t i = 0; i < t.size(); ++i) {
      char16_t c = t[i];
      if (!IsIn(c, u"%&*+-/<=>^|")) {
        operand.push_back(c);
        continue;
      }
      flush();
      Chars two = t.substr(i, 2);
      if (two == u"==" || two == u">=" || two == u"<=" || two == u"++" || two == u"<>" || two == u"<<" || two == u">>") {
        tokens.push_back(two);
        ++i;
      } else {
        tokens.push_back(Chars(1, c));
      }
    }
    flush();
  }

  // Unary signs, from the second-last token down to the second.
  for (size_t i = tokens.size() >= 2 ? tokens.size() - 2 : 0; i >= 1 && i + 1 < tokens.size(); --i) {
    if ((tokens[i] == u"+" || tokens[i] == u"-") && IsIn(tokens[i - 1][0], u"=+-*/%&^|[(,<>")) {
      if (tokens[i] == u"+") {
        tokens.erase(tokens.begin() + static_cast<std::ptrdiff_t>(i));
      } else {
        std::string temp = NewTemp();
        ops_.push_back({ocMinus, temp, {"0", Encode(tokens[i + 1])}});
        tokens[i] = FromAscii(temp);
        tokens.erase(tokens.begin() + static_cast<std::ptrdiff_t>(i) + 1);
      }
    }
  }

  static const std::vector<std::vector<std::u16string_view>> groups = {
      {u"*", u"/", u"%"}, {u"+", u"-"}, {u"<<", u">>"}, {u"==", u">=", u"<=", u">", u"<", u"<>"},
      {u"++"}, {u"&"}, {u"^"}, {u"|"}, {u"="}};
  bool assigned = false;
  while (!tokens.empty()) {
    size_t p = Chars::npos;
    for (const auto& group : groups) {
      for (size_t k = 0; k < tokens.size() && p == Chars::npos; ++k)
        if (std::find(group.begin(), group.end(), tokens[k]) != group.end()) p = k;
      if (p != Chars::npos) break;
    }
    if (p == Chars::npos) {
      if (assigned || tokens.size() > 1) RaiseSyntax();
      ops_.push_back({ocTo, "____arg", {Encode(tokens[0])}});
      tokens.clear();
      break;
    }
    // An operator without its right operand ("a +") is a syntax error.
    if (p + 1 >= tokens.size()) RaiseSyntax();
    if (tokens[p] == u"=") {
      if (p == 0) RaiseSyntax();
      ops_.push_back({ocTo, Encode(tokens[p - 1]), {Encode(tokens[p + 1])}});
      tokens.erase(tokens.begin() + static_cast<std::ptrdiff_t>(p) - 1, tokens.begin() + static_cast<std::ptrdiff_t>(p) + 2);
      assigned = true;
      continue;
    }
    const uint8_t code = OperatorCode(tokens[p]);
    std::string temp = NewTemp();
    if (p == 0) {
      if (tokens[0] != u"+" && tokens[0] != u"-") RaiseSyntax();
      ops_.push_back({code, temp, {"0", Encode(tokens[1])}});
      tokens.erase(tokens.begin());
      tokens[0] = FromAscii(temp);
      continue;
    }
    if (IsIn(tokens[p - 1][0], u"+-*/%|&^=[(<>")) RaiseSyntax();
    ops_.push_back({code, temp, {Encode(tokens[p - 1]), Encode(tokens[p + 1])}});
    tokens[p - 1] = FromAscii(temp);
    tokens.erase(tokens.begin() + static_cast<std::ptrdiff_t>(p), tokens.begin() + static_cast<std::ptrdiff_t>(p) + 2);
  }
}

void TBuildOrbaParser::Merge(size_t from) {
  auto plainTemp = [](const std::string& s) {
    return IsTempName(s) && s.compare(0, 6, "____d_") != 0 && s != "____arg";
  };
  for (size_t i = from; i < ops_.size();) {
    TBuildOpeData& op = ops_[i];
    if (op.OpCode == ocTo && op.Operands.size() == 1 && plainTemp(op.Target) && plainTemp(op.Operands[0])) {
      const std::string target = op.Target, source = op.Operands[0];
      ops_.erase(ops_.begin() + static_cast<std::ptrdiff_t>(i));
      for (size_t k = i; k < ops_.size(); ++k) {
        if (ops_[k].Target == target) ops_[k].Target = source;
        for (auto& o : ops_[k].Operands)
          if (o == target) o = source;
      }
      continue;
    }
    ++i;
  }
}

// ---- stored layout -----------------------------------------------------------------------

namespace {

enum : uint8_t { TAG_NAME = 0, TAG_INT = 1, TAG_FLOAT = 2, TAG_FLAG = 3, TAG_STR = 4 };

void WriteOperandText(TBinaryWriter& w, const std::string& text) {
  int32_t i = 0;
  TExtended x = 0;
  if (TryTextToInt(text, i) && !text.empty() && text[0] != ' ' && text[0] != '+' && text[0] != '-') {
    w.U8(TAG_INT);
    w.I32(i);
  } else if (TryTextToFloat(text, x) && !text.empty() && text[0] != ' ' && text.back() != ' ') {
    w.U8(TAG_FLOAT);
    w.Extended(x);
  } else if (text == "TRUE" || text == "FALSE") {
    w.U8(TAG_FLAG);
    w.U8(text == "TRUE" ? 1 : 0);
  } else if (text.size() > 1 && text.front() == '"' && text.back() == '"') {
    w.U8(TAG_STR);
    w.String(std::string_view(text).substr(1, text.size() - 2));
  } else {
    w.U8(TAG_NAME);
    w.String(text);
  }
}

// The smallest stored operation (op code, empty target, no operands) and operand (a flag).
constexpr int64_t kMinOpSize = 1 + 4 + 4;
constexpr int64_t kMinOperandSize = 2;

}  // namespace

void TBuildOrbaParser::WriteOps(TKvBigStream& stream) const {
  TBinaryWriter w(stream);
  // Checked before anything is written, so a failure leaves the stream as it was.
  std::vector<int32_t> numbers(ops_.size(), 0);
  for (size_t i = 0; i < ops_.size(); ++i) {
    const TBuildOpeData& op = ops_[i];
    if (op.OpCode != ocFunc) continue;
    const std::string name = op.Operands.empty() ? std::string() : op.Operands[0];
    int32_t n = FindSysFunc(name);
    if (n < 0) throw EOrbaError("\"" + name + Sjis(u8"\" 関数名がありません"));
    const TSysFuncInfo& f = SysFuncInfo(n);
    const int32_t args = static_cast<int32_t>(op.Operands.size()) - 1;
    if ((f.MinArgs != -1 && f.MinArgs > args) || (f.MaxArgs != -1 && f.MaxArgs < args))
      throw EOrbaError(std::string(f.Name) + Sjis(u8" 引数の数が不正です"));
    numbers[i] = n;
  }
  w.I32(static_cast<int32_t>(ops_.size()));
  for (size_t i = 0; i < ops_.size(); ++i) {
    const TBuildOpeData& op = ops_[i];
    w.U8(op.OpCode);
    w.String(op.Target);
    const size_t skip = op.OpCode == ocFunc && !op.Operands.empty() ? 1 : 0;
    w.I32(static_cast<int32_t>(op.Operands.size() - skip));
    if (op.OpCode == ocFunc) w.U8(static_cast<uint8_t>(numbers[i]));
    for (size_t k = skip; k < op.Operands.size(); ++k) WriteOperandText(w, op.Operands[k]);
  }
}

// ---- evaluation frames ----------------------------------------------------------------------

namespace {

// Stands in as the collection of temporaries: they are never linked into it.
THashCollection& TempHome() {
  static THashCollection home;
  return home;
}

thread_local int g_evaluationDepth = 0;

}  // namespace

struct TOrbaParser::Frame {
  std::vector<std::unique_ptr<TParamCollectionItem>> items;
  // A slot is live in the evaluation whose epoch it carries; a new epoch frees them all.
  std::vector<uint32_t> live;
  uint32_t epoch = 1;
  // The type of the plain value a slot holds; PT_NONE for a reference (an element binding).
  std::vector<uint8_t> types;
  // Scratch of one operation, kept to spare an allocation per evaluation.
  std::vector<TCustomParam*> values;
  std::vector<TParamVar*> bound;

  void Begin(int32_t slots) {
    if (static_cast<int32_t>(items.size()) < slots) {
      items.resize(static_cast<size_t>(slots));
      live.resize(static_cast<size_t>(slots));
      types.resize(static_cast<size_t>(slots));
    }
    if (++epoch == 0) {
      std::fill(live.begin(), live.end(), 0);
      epoch = 1;
    }
  }
  TParamCollectionItem* Find(int32_t slot) const {
    return slot >= 0 && live[static_cast<size_t>(slot)] == epoch ? items[static_cast<size_t>(slot)].get() : nullptr;
  }
  // A new temporary of the type in slot. The storage of an earlier evaluation is reused
  // when it is a plain value of that type; it is reset to the type's default unless the
  // operation is about to overwrite it (reset false).
  TParamCollectionItem& Create(int32_t slot, uint8_t type, const std::string& name, bool reset = true) {
    const size_t k = static_cast<size_t>(slot);
    auto& item = items[k];
    if (!item) {
      item = std::make_unique<TParamCollectionItem>(TempHome());
      item->SetName(name);
    }
    TCustomParam* p = item->Param();
    if (p && type != PT_NONE && types[k] == type) {
      if (reset) {
        p->MakeScalar();
        switch (type) {
          case PT_INT: p->SetInt(0); break;
          case PT_FLOAT: p->SetFloat(0.0); break;
          case PT_BOOL: p->SetFlag(false); break;
          default: p->SetString({}); break;
        }
      }
    } else {
      item->SetParam(CreateParam(type));
    }
    types[k] = type;
    live[k] = epoch;
    return *item;
  }
  // The slot's storage of an earlier evaluation as this evaluation's temporary when it
  // holds a plain value of the type, its value left for the caller to overwrite; else null.
  TParamCollectionItem* Reuse(int32_t slot, uint8_t type) {
    const size_t k = static_cast<size_t>(slot);
    if (type == PT_NONE || types[k] != type || !items[k] || !items[k]->Param()) return nullptr;
    live[k] = epoch;
    return items[k].get();
  }
  // Puts a value of the caller's making into a new temporary.
  TParamCollectionItem& Adopt(int32_t slot, std::unique_ptr<TCustomParam> param, const std::string& name) {
    TParamCollectionItem& item = Create(slot, PT_NONE, name);
    item.SetParam(std::move(param));
    return item;
  }
};

// The frame is made at the first evaluation: most lists of a loaded page never run.
TOrbaParser::TOrbaParser() = default;
TOrbaParser::~TOrbaParser() = default;

void TOrbaParser::ReadOps(TKvBigStream& stream) {
  ops_.clear();
  slotCount_ = 0;
  setsResult_ = false;
  TBinaryReader r(stream);
  std::vector<TOpeData> ops;
  const int32_t n = r.Count(kMinOpSize);
  ops.reserve(static_cast<size_t>(n));
  for (int32_t i = 0; i < n; ++i) {
    TOpeData op;
    op.OpCode = r.U8();
    op.Target = r.String();
    const int32_t m = r.Count(kMinOperandSize);
    if (op.OpCode == ocFunc) op.FuncNo = r.U8();
    op.Operands.reserve(static_cast<size_t>(m));
    for (int32_t k = 0; k < m; ++k) {
      TOperand o;
      switch (r.U8()) {
        case TAG_INT: o.Value = std::make_unique<TParamInt>(); o.Value->SetInt(r.I32()); break;
        case TAG_FLOAT: o.Value = std::make_unique<TParamFloat>(); o.Value->SetFloat(r.Extended()); break;
        case TAG_FLAG: o.Value = std::make_unique<TParamFlag>(); o.Value->SetFlag(r.U8() != 0); break;
        case TAG_STR: o.Value = std::make_unique<TParamStr>(); o.Value->SetString(r.String()); break;
        default: {
          auto ref = std::make_unique<TParamVar>();
          ref->SetTargetName(r.String());
          o.Value = std::move(ref);
          o.IsName = true;
        }
      }
      op.Operands.push_back(std::move(o));
    }
    ops.push_back(std::move(op));
  }
  ops_ = std::move(ops);
  Prepare();
}

void TOrbaParser::WriteOps(TKvBigStream& stream) const {
  TBinaryWriter w(stream);
  w.I32(static_cast<int32_t>(ops_.size()));
  for (const TOpeData& op : ops_) {
    w.U8(op.OpCode);
    w.String(op.Target);
    w.I32(static_cast<int32_t>(op.Operands.size()));
    if (op.OpCode == ocFunc) w.U8(op.FuncNo);
    for (const TOperand& o : op.Operands) {
      if (o.IsName) {
        w.U8(TAG_NAME);
        w.String(static_cast<const TParamVar&>(*o.Value).TargetName());
        continue;
      }
      const uint8_t type = o.Value->ValueType();
      w.U8(type);
      switch (type) {
        case PT_INT: w.I32(o.Value->AsInt()); break;
        case PT_FLOAT: w.Extended(o.Value->AsFloat()); break;
        case PT_BOOL: w.U8(o.Value->AsFlag() ? 1 : 0); break;
        default: w.String(o.Value->AsString()); break;
      }
    }
  }
}

void TOrbaParser::AssignOps(const TOrbaParser& other) {
  if (&other == this) return;
  std::vector<TOpeData> ops;
  ops.reserve(other.ops_.size());
  for (const TOpeData& src : other.ops_) {
    TOpeData op;
    op.OpCode = src.OpCode;
    op.Target = src.Target;
    op.FuncNo = src.FuncNo;
    for (const TOperand& o : src.Operands) {
      TOperand copy;
      copy.IsName = o.IsName;
      if (o.IsName) {
        auto ref = std::make_unique<TParamVar>();
        ref->SetTargetName(static_cast<const TParamVar&>(*o.Value).TargetName());
        copy.Value = std::move(ref);
      } else {
        copy.Value = CreateParam(o.Value->ValueType());
        copy.Value->AssignRaw(*o.Value);
      }
      op.Operands.push_back(std::move(copy));
    }
    ops.push_back(std::move(op));
  }
  ops_ = std::move(ops);
  Prepare();
}

namespace {
bool IsSimple(const TOpeData& op);
}  // namespace

// Numbers the temporaries the list names and keeps the hashes of all other names, so an
// evaluation finds a temporary by position and a variable without hashing its name.
void TOrbaParser::Prepare() {
  // Temporaries by lower-case name. A page holds thousands of short lists, so a short list
  // searches a vector instead of paying for a hash table.
  const bool small = ops_.size() <= 32;
  std::vector<std::string> names;
  std::unordered_map<std::string, int32_t> slots;
  auto findSlot = [&](const std::string& lower) -> int32_t {
    if (!small) {
      auto it = slots.find(lower);
      return it == slots.end() ? -1 : it->second;
    }
    auto it = std::find(names.begin(), names.end(), lower);
    return it == names.end() ? -1 : static_cast<int32_t>(it - names.begin());
  };
  int32_t slotCount = 0;
  auto slotOf = [&](const std::string& name) {
    if (!IsTempName(name)) return -1;
    std::string lower = LowerCase(name);
    int32_t slot = findSlot(lower);
    if (slot >= 0) return slot;
    if (small) names.push_back(std::move(lower));
    else slots.emplace(std::move(lower), slotCount);
    return slotCount++;
  };
  for (TOpeData& op : ops_) {
    op.TargetSlot = slotOf(op.Target);
    op.TargetHash = THashCollection::HashOf(op.Target);
  }
  for (TOpeData& op : ops_) {
    for (TOperand& o : op.Operands) {
      if (!o.IsName) continue;
      const std::string& name = static_cast<const TParamVar&>(*o.Value).TargetName();
      o.Slot = IsTempName(name) ? findSlot(LowerCase(name)) : -1;
      o.Hash = THashCollection::HashOf(name);
    }
  }
  slotCount_ = slotCount;
  for (TOpeData& op : ops_) op.Simple = shortPaths_ && IsSimple(op);
  // Uses of each temporary, as target or operand, for joining an operation with the copy
  // of its result that follows.
  std::vector<int32_t> uses(static_cast<size_t>(slotCount), 0);
  for (const TOpeData& op : ops_) {
    if (op.TargetSlot >= 0) ++uses[static_cast<size_t>(op.TargetSlot)];
    for (const TOperand& o : op.Operands)
      if (o.Slot >= 0) ++uses[static_cast<size_t>(o.Slot)];
  }
  for (size_t i = 0; i + 1 < ops_.size(); ++i) {
    TOpeData& op = ops_[i];
    const TOpeData& next = ops_[i + 1];
    op.FuseNext = op.Simple && op.TargetSlot >= 0 && uses[static_cast<size_t>(op.TargetSlot)] == 2 &&
                  next.Simple && next.OpCode == ocTo && next.TargetSlot < 0 && next.Operands[0].IsName &&
                  next.Operands[0].Slot == op.TargetSlot;
  }
  setsResult_ = !ops_.empty() && ops_.back().OpCode == ocTo && ops_.back().Target == "____arg";
  if (setsResult_ && ops_.size() >= 2) {
    // "T = a op b; ____arg = T" at the end, the shape of every condition: the operation may
    // write the evaluation's result object straight away.
    TOpeData& op = ops_[ops_.size() - 2];
    const TOpeData& last = ops_.back();
    op.FuseResult = op.Simple && op.TargetSlot >= 0 && uses[static_cast<size_t>(op.TargetSlot)] == 2 && last.Simple &&
                    last.TargetSlot >= 0 && uses[static_cast<size_t>(last.TargetSlot)] == 1 &&
                    last.Operands[0].IsName && last.Operands[0].Slot == op.TargetSlot;
  }
}

// ---- evaluation -------------------------------------------------------------------------------

namespace {

[[noreturn]] void RaiseMissing(const std::string& name) {
  throw EOrbaError("\"" + name + Sjis(u8"\" 変数がありません"));
}

[[noreturn]] void RaiseZeroDivide() { throw EOrbaError(Sjis(u8"0 で除算しました")); }

[[noreturn]] void RaiseInvalid(const TOpeData& op, const std::vector<TCustomParam*>& values) {
  std::string text = Sjis(u8"不正な式") + "\r\n\r\n" + Sjis(u8"代入先:") + op.Target + Sjis(u8"演算タイプ:") +
                     OpeCodeName(op.OpCode);
  for (size_t k = 0; k < op.Operands.size(); ++k)
    text += "\r\n" + (k < values.size() && values[k] ? values[k]->AsString() : op.Operands[k].Value->AsString());
  throw EOrbaError(text);
}

// Reading and writing values, straight to element 0 of plain values (the common case of
// every operand and temporary) and through the virtual conversions otherwise.
inline uint8_t TypeOf(const TCustomParam& p) { return p.PlainType() ? p.PlainType() : p.ValueType(); }
inline int32_t ReadInt(const TCustomParam& p) {
  return p.PlainType() == PT_INT ? static_cast<const TParamInt&>(p).First() : p.AsInt();
}
inline TExtended ReadFloat(const TCustomParam& p) {
  return p.PlainType() == PT_FLOAT ? static_cast<const TParamFloat&>(p).First() : p.AsFloat();
}
inline void WriteInt(TCustomParam& p, int32_t v) {
  if (p.PlainType() == PT_INT)
    static_cast<TParamInt&>(p).SetFirst(v);
  else
    p.SetInt(v);
}
inline void WriteFloat(TCustomParam& p, TExtended v) {
  if (p.PlainType() == PT_FLOAT)
    static_cast<TParamFloat&>(p).SetFirst(v);
  else
    p.SetFloat(v);
}

// Operands each operation needs at least.
size_t NeededOperands(uint8_t code) {
  switch (code) {
    case ocTo: case ocDimTo: return 1;
    case ocFunc: return 0;
    default: return 2;
  }
}

// 32-bit integer arithmetic defined for every input: wrapping, a remainder by zero raises
// like a division, and INT_MIN / -1 gives INT_MIN (its remainder 0).
int32_t Wrap(int64_t v) { return static_cast<int32_t>(static_cast<uint32_t>(v)); }

int32_t IntOp(uint8_t code, int32_t l, int32_t r) {
  switch (code) {
    case ocPlus: return Wrap(int64_t{l} + r);
    case ocMinus: return Wrap(int64_t{l} - r);
    case ocMul: return Wrap(int64_t{l} * r);
    case ocDiv: if (r == 0) RaiseZeroDivide(); return Wrap(int64_t{l} / r);
    case ocMod: if (r == 0) RaiseZeroDivide(); return Wrap(int64_t{l} % r);
    case ocOr: return l | r;
    case ocAnd: return l & r;
    case ocXor: return l ^ r;
    case ocShiftL: return static_cast<int32_t>(static_cast<uint32_t>(l) << (r & 31));
    case ocShiftR: return static_cast<int32_t>(static_cast<uint32_t>(l) >> (r & 31));
    default: return 0;
  }
}

TExtended FloatOp(uint8_t code, TExtended l, TExtended r) {
  switch (code) {
    case ocPlus: return l + r;
    case ocMinus: return l - r;
    case ocMul: return l * r;
    default: if (r == 0) RaiseZeroDivide(); return l / r;
  }
}

template <typename T>
bool Compare(uint8_t code, const T& l, const T& r) {
  switch (code) {
    case ocEqual: return l == r;
    case ocBig: return l > r;
    case ocSmall: return l < r;
    case ocEBig: return l >= r;
    case ocESmall: return l <= r;
    default: return l != r;
  }
}

inline TParamCollectionItem* Lookup(TParamCollection& vars, const std::string& name, uint64_t hash, TLookupCache& cache) {
  if (cache.Owner == &vars && cache.Generation == vars.Generation() && cache.Level == vars.CurrentLevel)
    return cache.Item;
  TParamCollectionItem* item = vars.FindVariable(name, hash);
  cache = {&vars, vars.Generation(), vars.CurrentLevel, item};
  return item;
}

// Counts evaluations in progress on this thread for the nesting limit.
class TDepthGuard {
 public:
  TDepthGuard() {
    if (g_evaluationDepth >= kMaxEvaluationDepth) throw EOrbaError(Sjis(u8"式の入れ子が深すぎます"));
    ++g_evaluationDepth;
  }
  ~TDepthGuard() { --g_evaluationDepth; }
  TDepthGuard(const TDepthGuard&) = delete;
  TDepthGuard& operator=(const TDepthGuard&) = delete;
};

}  // namespace

int EvaluationDepth() { return g_evaluationDepth; }

void TOrbaParser::Execute(TParamCollection& vars) {
  if (busy_) {
    // A list run again while it runs (through a function it calls) runs as a copy, with
    // temporaries and bound operands of its own.
    TOrbaParser copy;
    copy.shortPaths_ = shortPaths_;
    copy.AssignOps(*this);
    copy.Execute(vars);
    result_ = std::move(copy.result_);
    lastError_ = std::move(copy.lastError_);
    return;
  }
  if (result_) spareResult_ = std::move(result_);
  if (!lastError_.empty()) lastError_.clear();
  if (!frame_) frame_ = std::make_unique<Frame>();
  busy_ = true;
  try {
    TDepthGuard depth;
    Run(vars, *frame_);
  } catch (const std::bad_alloc&) {
    busy_ = false;
    throw;  // exhausted memory ends the run, not just this expression
  } catch (const std::exception& e) {
    // The evaluation ends here; nothing is shown and nothing goes further.
    result_.reset();
    lastError_ = e.what();
  }
  busy_ = false;
  // The temporaries are gone with this evaluation: the next one starts a new epoch.
}

namespace {

// The type of a new temporary receiving the operation's result, from its first operand.
uint8_t TempType(const TOpeData& op, TCustomParam* const* values, size_t count) {
  const uint8_t left = count > 0 ? TypeOf(*values[0]) : PT_NONE;
  switch (op.OpCode) {
    case ocTo: return left;
    case ocPlus: return left == PT_STR ? PT_STR : left == PT_FLOAT ? PT_FLOAT : PT_INT;
    case ocMinus: case ocMul: case ocDiv: return left == PT_FLOAT ? PT_FLOAT : PT_INT;
    case ocEqual: case ocBig: case ocSmall: case ocEBig: case ocESmall: case ocNEqual: return PT_BOOL;
    case ocComboStr: return PT_STR;
    case ocDimTo: return PT_NONE;
    case ocFunc:
      if (op.FuncNo == kFuncGetProp && count >= 2) {
        // The temporary takes the kind of the property the low byte of the code names.
        const int32_t code = values[1]->AsInt() & 0xFF;
        if (code > kMaxPropertyCode) throw EOrbaError(Sjis(u8"GetPropの引数が違います"));
        return PropertyValueType(code);
      }
      return op.FuncNo < kSysFuncCount ? SysFuncInfo(op.FuncNo).ResultType : PT_INT;
    default: return PT_INT;
  }
}

// Step d of an operation other than ocDimTo and ocFunc: the result into out, whose type
// is outType.
inline void Apply(uint8_t code, TCustomParam& out, uint8_t outType, TCustomParam* const* values) {
  switch (code) {
    case ocTo: {
      const TCustomParam& l = *values[0];
      switch (outType) {
        case PT_INT: WriteInt(out, ReadInt(l)); break;
        case PT_FLOAT: WriteFloat(out, ReadFloat(l)); break;
        case PT_BOOL: out.SetFlag(l.AsFlag()); break;
        case PT_STR: out.SetString(l.AsString()); break;
        default: break;  // an unresolved reference is left alone
      }
      break;
    }
    case ocPlus: case ocMinus: case ocMul: case ocDiv:
      if (outType == PT_FLOAT)
        WriteFloat(out, FloatOp(code, ReadFloat(*values[0]), ReadFloat(*values[1])));
      else
        WriteInt(out, IntOp(code, ReadInt(*values[0]), ReadInt(*values[1])));
      break;
    case ocMod: case ocOr: case ocAnd: case ocXor: case ocShiftL: case ocShiftR:
      WriteInt(out, IntOp(code, ReadInt(*values[0]), ReadInt(*values[1])));
      break;
    case ocComboStr: out.SetString(values[0]->AsString() + values[1]->AsString()); break;
    case ocEqual: case ocBig: case ocSmall: case ocEBig: case ocESmall: case ocNEqual: {
      const TCustomParam& l = *values[0];
      const TCustomParam& r = *values[1];
      bool b;
      switch (TypeOf(l)) {
        case PT_STR: b = Compare(code, l.AsString(), r.AsString()); break;
        case PT_FLOAT: b = Compare(code, l.AsFloat(), r.AsFloat()); break;
        case PT_BOOL: b = Compare(code, l.AsFlag(), r.AsFlag()); break;
        default: b = Compare(code, ReadInt(l), ReadInt(r)); break;
      }
      out.SetFlag(b);
      break;
    }
    default: break;
  }
}

// Integer +, - and * of plain integers into a plain integer, the bulk of script arithmetic,
// without the general dispatch; false when the operands or target are of another kind.
inline bool QuickInt(uint8_t code, TCustomParam& out, TCustomParam* const* v) {
  if (out.PlainType() != PT_INT || v[0]->PlainType() != PT_INT || v[1]->PlainType() != PT_INT) return false;
  const int64_t l = static_cast<const TParamInt&>(*v[0]).First();
  const int64_t r = static_cast<const TParamInt&>(*v[1]).First();
  int64_t result;
  switch (code) {
    case ocPlus: result = l + r; break;
    case ocMinus: result = l - r; break;
    case ocMul: result = l * r; break;
    default: return false;
  }
  static_cast<TParamInt&>(out).SetFirst(Wrap(result));
  return true;
}

// The temporary's type without the general switch when the left operand is a plain
// integer under an integer operator.
inline uint8_t QuickTempType(const TOpeData& op, TCustomParam* const* v, size_t n) {
  if (n == 2 && op.OpCode >= ocPlus && op.OpCode <= ocXor && v[0]->PlainType() == PT_INT) return PT_INT;
  if ((op.OpCode >= ocEqual && op.OpCode <= ocESmall) || op.OpCode == ocNEqual) return PT_BOOL;
  return TempType(op, v, n);
}

// True for an operation of one or two operands that no function or binding is involved in,
// with as many operands as it needs: the evaluator runs these on a short path.
bool IsSimple(const TOpeData& op) {
  if (op.OpCode == ocNone || op.OpCode > ocLast || op.OpCode == ocFunc || op.OpCode == ocDimTo) return false;
  return op.Operands.size() == NeededOperands(op.OpCode);
}

}  // namespace

void TOrbaParser::Step(const TOpeData& op, TParamCollection& vars, Frame& frame) {
  std::vector<TCustomParam*>& values = frame.values;
  std::vector<TParamVar*>& bound = frame.bound;
  // a. Resolve the names among the operands.
  values.clear();
  bound.clear();
  struct Unbind {
    std::vector<TParamVar*>& refs;
    ~Unbind() {
      for (TParamVar* r : refs) r->SetTarget(nullptr, 0);
    }
  } unbind{bound};
  const bool needRefs = op.OpCode == ocFunc || op.OpCode == ocDimTo;
  for (const TOperand& o : op.Operands) {
    if (!o.IsName) {
      values.push_back(o.Value.get());
      continue;
    }
    auto& ref = static_cast<TParamVar&>(*o.Value);
    TParamCollectionItem* item = frame.Find(o.Slot);
    if (!item) item = Lookup(vars, ref.TargetName(), o.Hash, o.Cache);
    if (!item) RaiseMissing(ref.TargetName());
    if (needRefs) {
      // Functions receive references bound to the variables, as they write through them.
      // Binding takes the variable's spelling of the name; the stored one is kept.
      auto* inner = dynamic_cast<TParamVar*>(item->Param());
      std::string name = ref.TargetName();
      ref.SetTarget(item, inner ? inner->ElementIndex() : 0);
      ref.SetTargetName(name);
      bound.push_back(&ref);
      values.push_back(&ref);
    } else {
      values.push_back(item->Param());
    }
  }
  if (op.OpCode == ocNone || op.OpCode > ocLast || values.size() < NeededOperands(op.OpCode))
    RaiseInvalid(op, values);

  // b. A temporary is made on first use, of the type the operation gives.
  TParamCollectionItem* target = frame.Find(op.TargetSlot);
  int targetType = -1;
  if (!target && op.TargetSlot >= 0) {
    if (op.OpCode == ocDimTo) {
      auto* array = dynamic_cast<TParamVar*>(values[0]);
      if (!array || !array->Target()) RaiseInvalid(op, values);
      std::vector<int32_t> indexes;
      for (size_t k = 1; k < values.size(); ++k) indexes.push_back(values[k]->AsInt());
      auto binding = std::make_unique<TParamVar>(&vars);
      binding->BindElement(*array->Target(), indexes);
      target = &frame.Adopt(op.TargetSlot, std::move(binding), op.Target);
    } else {
      const uint8_t type = TempType(op, values.data(), values.size());
      // Only a function may leave its target as it is; every other operation writes it.
      target = &frame.Create(op.TargetSlot, type, op.Target, op.OpCode == ocFunc);
      targetType = type;
    }
  }
  // c. Otherwise the target is a variable.
  if (!target) target = Lookup(vars, op.Target, op.TargetHash, op.TargetCache);
  if (!target) RaiseMissing(op.Target);
  TCustomParam& out = *target->Param();

  // d. The operation.
  if (op.OpCode == ocFunc)
    SysFuncMan().CallFunction(vars, out, op.FuncNo, values);
  else if (op.OpCode != ocDimTo)
    Apply(op.OpCode, out, targetType >= 0 ? static_cast<uint8_t>(targetType) : TypeOf(out), values.data());
}

void TOrbaParser::Run(TParamCollection& vars, Frame& frame) {
  frame.Begin(slotCount_);
  const size_t count = ops_.size();
  for (size_t i = 0; i < count; ++i) {
    const TOpeData& op = ops_[i];
    if (op.Simple) {
      // a. The operands: literals as they are, names looked up.
      TCustomParam* v[2];
      const size_t n = op.Operands.size();
      for (size_t k = 0; k < n; ++k) {
        const TOperand& o = op.Operands[k];
        if (!o.IsName) {
          v[k] = o.Value.get();
          continue;
        }
        TParamCollectionItem* item = frame.Find(o.Slot);
        if (!item) {
          const std::string& name = static_cast<const TParamVar&>(*o.Value).TargetName();
          item = Lookup(vars, name, o.Hash, o.Cache);
          if (!item) RaiseMissing(name);
        }
        v[k] = item->Param();
      }
      if (op.FuseNext) {
        // "T = a op b; V = T" with T used nowhere else and V a plain value of T's type: the
        // copy would convert nothing, so the result goes straight into V. (Of another type,
        // V would convert the operation's own value, not T's: "1" + "2" is 3 as an
        // integer, but the text "3" in a string T, which is FALSE as a flag.)
        const TOpeData& next = ops_[i + 1];
        TParamCollectionItem* dest = Lookup(vars, next.Target, next.TargetHash, next.TargetCache);
        const uint8_t type = QuickTempType(op, v, n);
        if (dest && type != PT_NONE && dest->Param()->PlainType() == type && !frame.Find(op.TargetSlot)) {
          if (n != 2 || !QuickInt(op.OpCode, *dest->Param(), v)) Apply(op.OpCode, *dest->Param(), type, v);
          ++i;
          continue;
        }
      }
      if (op.FuseResult) {
        // Copying a temporary into "____arg" and that into the result converts nothing: the
        // result object takes the operation's value directly.
        const uint8_t type = QuickTempType(op, v, n);
        if (type >= PT_INT && type <= PT_STR && !frame.Find(op.TargetSlot)) {
          if (!spareResult_ || spareResult_->ValueType() != type) spareResult_ = CreateParam(type);
          TCustomParam& out = *spareResult_;
          if (n != 2 || !QuickInt(op.OpCode, out, v)) Apply(op.OpCode, out, type, v);
          result_ = std::move(spareResult_);
          return;
        }
      }
      // b, c. The target: a temporary made on first use, or a variable.
      TParamCollectionItem* target = frame.Find(op.TargetSlot);
      int targetType = -1;  // known without asking when the temporary was just made
      if (!target && op.TargetSlot >= 0) {
        const uint8_t type = QuickTempType(op, v, n);
        target = frame.Reuse(op.TargetSlot, type);  // about to be written: no reset
        if (!target) target = &frame.Create(op.TargetSlot, type, op.Target, false);
        targetType = type;
      }
      if (!target) target = Lookup(vars, op.Target, op.TargetHash, op.TargetCache);
      if (!target) RaiseMissing(op.Target);
      TCustomParam& out = *target->Param();
      // d. The operation.
      if (n == 2 && QuickInt(op.OpCode, out, v)) continue;
      Apply(op.OpCode, out, targetType >= 0 ? static_cast<uint8_t>(targetType) : TypeOf(out), v);
      continue;
    }
    Step(op, vars, frame);
  }
  if (setsResult_) {
    const TOpeData& last = ops_.back();
    TParamCollectionItem* arg = frame.Find(last.TargetSlot);
    if (!arg) arg = vars.FindVariable(last.Target, last.TargetHash);
    if (arg) {
      const uint8_t type = arg->Param()->ValueType();
      if (type < PT_INT || type > PT_STR) throw EOrbaError(last.Target + Sjis(u8":不正な変数です"));
      // Conditions run every tick: the result's object is made once and refilled.
      if (!spareResult_ || spareResult_->ValueType() != type) spareResult_ = CreateParam(type);
      spareResult_->ConvertFrom(*arg->Param());
      result_ = std::move(spareResult_);
    }
  }
}

void CompileExpression(std::string_view text, TOrbaParser& parser) {
  TBuildOrbaParser build;
  build.Parse(text);
  TKvMemoryStream stream;
  build.WriteOps(stream);
  stream.SetPosition(0);
  parser.ReadOps(stream);
}

}  // namespace orba
