#include "script/source.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <optional>
#include <set>
#include <sstream>

#include "base/binio.h"
#include "base/cp932.h"
#include "files/diskpath.h"
#include "render/imagefiles.h"
#include "render/trn.h"
#include "values/convert.h"
#include "values/sysfunc.h"

namespace orba {

ESourceError::ESourceError(const std::string& file, int line, const std::string& message)
    : EOrbaError(FromUtf8(file) + ":" + std::to_string(line) + ": " + message), File(file), Line(line) {}

// ---- properties ---------------------------------------------------------------------------

namespace {

struct TPropertyInfo {
  const char* Name;
  char Kind;
};

// By code, PR_NAME (0) to PR_CARETHEIGHT (161): the constant's name without "PR_", lower case.
constexpr TPropertyInfo kProperties[kPropertyCount] = {
    {"name", 's'}, {"parent", 's'}, {"source", 's'}, {"left", 'i'}, {"top", 'i'}, {"width", 'i'},
    {"height", 'i'}, {"zoomx", 'i'}, {"color", 'i'}, {"borderwidth", 'i'}, {"bordercolor", 'i'}, {"alpha", 'i'},
    {"priority", 'i'}, {"offsetx", 'i'}, {"offsety", 'i'}, {"fontname", 's'}, {"fontheight", 'i'}, {"fontstyle", 'i'},
    {"linespace", 'i'}, {"fontcolor", 'i'}, {"fontlinkcolor", 'i'}, {"fontbordercolor", 'i'}, {"fonthovercolor", 'i'},
    {"fonthoverstyle", 'i'}, {"hovercolor", 'i'}, {"antialias", 'b'}, {"delay", 'i'}, {"paused", 'b'},
    {"volume", 'i'}, {"repeat", 'b'}, {"balance", 'i'}, {"angle", 'i'}, {"onplaying", 's'}, {"onnotify", 's'},
    {"onmousemove", 's'}, {"onmouseout", 's'}, {"onlbtndown", 's'}, {"onlbtnup", 's'}, {"onrbtndown", 's'},
    {"onrbtnup", 's'}, {"onwheeldown", 's'}, {"onwheelup", 's'}, {"brightness", 'i'}, {"onplayend", 's'},
    {"index", 'i'}, {"count", 'i'}, {"onlink", 's'}, {"visible", 'b'}, {"colcount", 'i'}, {"rowcount", 'i'},
    {"text", 's'}, {"marginx", 'i'}, {"marginy", 'i'}, {"halign", 'i'}, {"bordersourcetl", 's'},
    {"bordersourcetc", 's'}, {"bordersourcetr", 's'}, {"bordersourcecl", 's'}, {"bordersourcecc", 's'},
    {"bordersourcecr", 's'}, {"bordersourcebl", 's'}, {"bordersourcebc", 's'}, {"bordersourcebr", 's'},
    {"borderhalignt", 'i'}, {"borderhalignc", 'i'}, {"borderhalignb", 'i'}, {"bordervalignl", 'i'},
    {"bordervalignc", 'i'}, {"bordervalignr", 'i'}, {"scrollsource", 's'}, {"checksource", 's'}, {"autoscrap", 'b'},
    {"onselect", 's'}, {"rclickscrap", 'b'}, {"onopening", 's'}, {"onopened", 's'}, {"onclosing", 's'},
    {"onclosed", 's'}, {"caretx", 'i'}, {"carety", 'i'}, {"ignoremouse", 'i'}, {"textpaused", 'b'},
    {"textdelay", 'i'}, {"hoversource", 's'}, {"pressedsource", 's'}, {"groupindex", 'i'}, {"allowallup", 'b'},
    {"selected", 'b'}, {"capturemask", 'b'}, {"power", 'i'}, {"origwidth", 'i'}, {"origheight", 'i'},
    {"appearx", 'i'}, {"appeary", 'i'}, {"partmotion", 'i'}, {"param1", 'f'}, {"param2", 'f'}, {"topindex", 'i'},
    {"readonly", 'b'}, {"cursor", 's'}, {"poszoomed", 'b'}, {"onplaystart", 's'}, {"param3", 'f'},
    {"onmousein", 's'}, {"onmapin", 's'}, {"onmapout", 's'}, {"mapsource", 's'}, {"amp", 'i'}, {"wavelen", 'i'},
    {"scrollx", 'i'}, {"scrolly", 'i'}, {"fliph", 'b'}, {"flipv", 'b'}, {"onidle", 's'}, {"distancex", 'i'},
    {"distancey", 'i'}, {"clipleft", 'i'}, {"cliptop", 'i'}, {"clipwidth", 'i'}, {"clipheight", 'i'},
    {"duration", 'i'}, {"thumbsource", 's'}, {"buttonsource", 's'}, {"min", 'i'}, {"max", 'i'}, {"value", 'i'},
    {"orientation", 'i'}, {"smallchange", 'i'}, {"largechange", 'i'}, {"maptext", 's'}, {"glyphwidth", 'i'},
    {"glyphheight", 'i'}, {"zoomy", 'i'}, {"clickedsource", 's'}, {"anipaused", 'b'}, {"onhold", 's'},
    {"onrelease", 's'}, {"reverse", 'b'}, {"playing", 'b'}, {"rewindonload", 'b'}, {"compotype", 'i'},
    {"fontshadowcolor", 'i'}, {"fontborder", 'i'}, {"fontshadow", 'i'}, {"onkeydown", 's'}, {"onkeyup", 's'},
    {"onkeyrepeat", 's'}, {"handlekey", 'b'}, {"onfocusin", 's'}, {"onfocusout", 's'}, {"overlay", 'b'},
    {"tag", 's'}, {"capturelink", 'b'}, {"fonthoverborder", 'i'}, {"fonthoverbordercolor", 'i'},
    {"fonthovershadow", 'i'}, {"fonthovershadowcolor", 'i'}, {"barsize", 'i'}, {"muteonload", 'b'},
    {"plusx", 'i'}, {"plusy", 'i'}, {"caretheight", 'i'},
};

}  // namespace

const char* PropertyName(int code) { return code >= 0 && code < kPropertyCount ? kProperties[code].Name : ""; }
char PropertyValueKind(int code) { return code >= 0 && code < kPropertyCount ? kProperties[code].Kind : 0; }
int PropertyCode(std::string_view name) {
  for (int i = 0; i < kPropertyCount; ++i)
    if (name == kProperties[i].Name) return i;
  return -1;
}

std::string CompiledPageName(std::string_view sourceName) {
  std::string s(sourceName);
  if (s.size() < 3) return s + "rsb";
  return s.substr(0, s.size() - 3) + "rsb";
}

namespace {

// ---- text helpers -------------------------------------------------------------------------

std::string Trim(std::string_view s) {
  size_t a = 0, b = s.size();
  while (a < b && (s[a] == ' ' || s[a] == '\t' || s[a] == '\r')) ++a;
  while (b > a && (s[b - 1] == ' ' || s[b - 1] == '\t' || s[b - 1] == '\r')) --b;
  return std::string(s.substr(a, b - a));
}

std::string Hex(std::span<const uint8_t> bytes) {
  static const char digits[] = "0123456789ABCDEF";
  std::string out;
  for (uint8_t b : bytes) {
    out += digits[b >> 4];
    out += digits[b & 15];
  }
  return out;
}

std::optional<std::vector<uint8_t>> Unhex(std::string_view s) {
  auto nibble = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  std::vector<uint8_t> out;
  std::string t;
  for (char c : s)
    if (c != ' ') t += c;
  if (t.size() % 2) return std::nullopt;
  for (size_t i = 0; i < t.size(); i += 2) {
    int h = nibble(t[i]), l = nibble(t[i + 1]);
    if (h < 0 || l < 0) return std::nullopt;
    out.push_back(static_cast<uint8_t>(h * 16 + l));
  }
  return out;
}

bool ParseInt(std::string_view s, int32_t& out) {
  std::string t = Trim(s);
  if (t.empty()) return false;
  size_t i = t[0] == '-' ? 1 : 0;
  if (i == t.size()) return false;
  int64_t v = 0;
  for (; i < t.size(); ++i) {
    if (t[i] < '0' || t[i] > '9') return false;
    v = v * 10 + (t[i] - '0');
    if (v > 2147483648LL) return false;
  }
  if (t[0] == '-') v = -v;
  if (v > INT32_MAX || v < INT32_MIN) return false;
  out = static_cast<int32_t>(v);
  return true;
}

// A code page 932 string as a quoted source string.
std::string Quote(std::string_view cp932) {
  std::string utf8 = ToUtf8(cp932);
  const bool clean = FromUtf8(utf8) == cp932;
  std::string out = "\"";
  auto escapeByte = [&](unsigned char c) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "\\x%02X", c);
    out += buf;
  };
  for (unsigned char c : clean ? std::string_view(utf8) : cp932) {
    if (c == '"') out += "\\\"";
    else if (c == '\\') out += "\\\\";
    else if (c == '\n') out += "\\n";
    else if (c == '\r') out += "\\r";
    else if (c == '\t') out += "\\t";
    else if (c < 0x20 || c == 0x7F || (!clean && c >= 0x80)) escapeByte(c);
    else out += static_cast<char>(c);
  }
  return out + "\"";
}

// The end of the quoted string that starts at s[at] (the index after its closing quote), or npos.
size_t QuotedEnd(std::string_view s, size_t at) {
  for (size_t i = at + 1; i < s.size(); ++i) {
    if (s[i] == '\\') ++i;
    else if (s[i] == '"') return i + 1;
  }
  return std::string_view::npos;
}

// Every quoted string in s ends before s does.
bool QuotesClosed(std::string_view s) {
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] != '"') continue;
    size_t end = QuotedEnd(s, i);
    if (end == std::string_view::npos) return false;
    i = end - 1;
  }
  return true;
}

// A quoted source string (the whole of s) as code page 932; nullopt when s is not one.
std::optional<std::string> Unquote(std::string_view s) {
  if (s.size() < 2 || s[0] != '"' || QuotedEnd(s, 0) != s.size()) return std::nullopt;
  std::string out, run;
  auto flush = [&] {
    out += FromUtf8(run);
    run.clear();
  };
  for (size_t i = 1; i + 1 < s.size(); ++i) {
    if (s[i] != '\\') {
      run += s[i];
      continue;
    }
    char e = s[++i];
    flush();
    switch (e) {
      case 'n': out += '\n'; break;
      case 'r': out += '\r'; break;
      case 't': out += '\t'; break;
      case 'x': {
        auto b = i + 2 < s.size() ? Unhex(s.substr(i + 1, 2)) : std::nullopt;
        if (!b) return std::nullopt;
        out += static_cast<char>((*b)[0]);
        i += 2;
        break;
      }
      default: out += e; break;  // \" and \\ and any other character as itself
    }
  }
  flush();
  return out;
}

// A word that can stand unquoted: no blanks, separators, quotes or colons.
bool IsBareWord(std::string_view cp932) {
  if (cp932.empty() || cp932[0] == '@' || cp932[0] == '#' || cp932.substr(0, 2) == "//") return false;
  for (unsigned char c : cp932)
    if (c <= ' ' || c == ';' || c == '"' || c == ':' || c == '\\' || c == ',' || c == 0x7F || c >= 0x80) return false;
  return true;
}

std::string StringSource(std::string_view cp932) { return IsBareWord(cp932) ? std::string(cp932) : Quote(cp932); }

// Splits at separator outside quoted strings and, when nested, outside brackets.
std::vector<std::string> SplitOutside(std::string_view s, char separator, bool nested) {
  std::vector<std::string> parts;
  std::string cur;
  int depth = 0;
  for (size_t i = 0; i < s.size(); ++i) {
    char c = s[i];
    if (c == '"') {
      size_t end = QuotedEnd(s, i);
      if (end == std::string_view::npos) end = s.size();
      cur.append(s.substr(i, end - i));
      i = end - 1;
      continue;
    }
    if (nested && (c == '(' || c == '[')) ++depth;
    if (nested && (c == ')' || c == ']')) --depth;
    if (c == separator && depth <= 0) {
      parts.push_back(Trim(cur));
      cur.clear();
    } else {
      cur += c;
    }
  }
  parts.push_back(Trim(cur));
  return parts;
}

// "name: value" -> name and value; false for a positional value.
bool SplitNamed(const std::string& segment, std::string& name, std::string& value) {
  size_t i = 0;
  while (i < segment.size() && ((segment[i] >= 'a' && segment[i] <= 'z') || (i > 0 && segment[i] >= '0' && segment[i] <= '9')))
    ++i;
  if (i == 0) return false;
  size_t j = i;
  while (j < segment.size() && segment[j] == ' ') ++j;
  if (j >= segment.size() || segment[j] != ':') return false;
  name = segment.substr(0, i);
  value = Trim(std::string_view(segment).substr(j + 1));
  return true;
}

// ---- expressions --------------------------------------------------------------------------

constexpr std::string_view kRawOps = "@ops:";

std::vector<uint8_t> StoredBytes(const TOrbaParser& p) {
  TKvMemoryStream s;
  p.WriteOps(s);
  return s.TakeBytes();
}

// Compiles an expression value of a source; errors name the field.
// The condition of a jump, call, exit, break or continue that the author leaves out is TRUE:
// stored empty it would count as false and the command would never act.
bool ConditionDefaultsTrue(uint8_t kind, const char* field) {
  return (kind == 4 || kind == 5 || kind == 6 || kind == 34 || kind == 35) && std::string_view(field) == "condition";
}

void CompileExpressionValue(const std::string& value, TOrbaParser& parser, const std::string& file, int line,
                            const std::string& what) {
  std::string text = Trim(value);
  try {
    if (text.substr(0, kRawOps.size()) == kRawOps) {
      auto bytes = Unhex(std::string_view(text).substr(kRawOps.size()));
      if (!bytes) throw ESourceError(file, line, what + ": bad hex after @ops:");
      TKvViewStream s(*bytes);
      parser.ReadOps(s);
      if (s.GetPosition() != static_cast<int64_t>(bytes->size()))
        throw ESourceError(file, line, what + ": bytes left over after the operations");
      return;
    }
    TBuildOrbaParser build;
    if (!text.empty()) build.Parse(FromUtf8(text));
    TKvMemoryStream s;
    build.WriteOps(s);
    s.SetPosition(0);
    parser.ReadOps(s);
  } catch (const ESourceError&) {
    throw;
  } catch (const EOrbaError& e) {
    throw ESourceError(file, line, what + ": " + e.what() + " in " + FromUtf8(text));
  }
}

// Turns a stored operation list back into expression text (code page 932). The compiler
// numbers its temporaries by where they appear in the text, so the text is written the way
// it was most likely typed: no parentheses the precedence does not need. unary chooses how a
// subtraction from 0 is written ("-x" or "0 - x").
class TExpressionWriter {
 public:
  std::optional<std::string> Write(std::span<const uint8_t> bytes, bool unary) {
    unary_ = unary;
    try {
      TKvViewStream stream(bytes);
      TBinaryReader r(stream);
      int32_t n = r.I32();
      if (n < 0) return std::nullopt;
      std::vector<std::string> statements;
      for (int32_t i = 0; i < n; ++i) {
        uint8_t code = r.U8();
        std::string target = r.String();
        int32_t count = r.I32();
        if (count < 0 || count > 1000) return std::nullopt;
        uint8_t func = code == ocFunc ? r.U8() : 0;
        std::vector<Operand> ops;
        for (int32_t k = 0; k < count; ++k) {
          Operand o;
          o.Tag = r.U8();
          switch (o.Tag) {
            case 0: o.Text = r.String(); break;
            case 1: o.Text = IntToText(r.I32()); break;
            case 2: {
              auto t = FloatText(r.Extended());
              if (!t) return std::nullopt;
              o.Text = *t;
              break;
            }
            case 3: o.Text = r.U8() ? "TRUE" : "FALSE"; break;
            case 4: o.Text = QuoteLiteral(r.String()); break;
            default: return std::nullopt;
          }
          ops.push_back(std::move(o));
        }
        if (!Step(code, target, func, ops, statements)) return std::nullopt;
      }
      if (r.Remaining() != 0 || statements.size() > 1) return std::nullopt;
      return statements.empty() ? std::string() : statements[0];
    } catch (const EOrbaError&) {
      return std::nullopt;
    }
  }

 private:
  struct Node {
    std::string Text;
    int Prec = -1;  // -1: a single token; else the operator group
  };
  struct Operand {
    uint8_t Tag = 0;
    std::string Text;
  };

  static bool PlainTemp(const std::string& s) { return IsTempName(s) && s.compare(0, 6, "____d_") != 0 && s != "____arg"; }

  static std::string QuoteLiteral(const std::string& s) {
    std::string out = "\"";
    for (size_t i = 0; i < s.size(); ++i) {
      if (s[i] == '\r' && i + 1 < s.size() && s[i + 1] == '\n') {
        out += "\\n";
        ++i;
      } else if (s[i] == '"' || s[i] == '\\') {
        out += '\\';
        out += s[i];
      } else {
        out += s[i];
      }
    }
    return out + "\"";
  }

  static std::optional<std::string> FloatText(TExtended x) {
    if (!std::isfinite(x)) return std::nullopt;
    for (int digits = 1; digits <= 21; ++digits) {
      char buf[48];
      std::snprintf(buf, sizeof buf, "%.*Lg", digits, static_cast<long double>(x));
      std::string t = buf;
      if (t.find_first_of(".e") == std::string::npos) t += ".0";
      TExtended back = 0;
      if (TryTextToFloat(t, back) && back == x && t.find('e') == std::string::npos) return t;
    }
    // The compiler reads "1e+30" as a sum: write such numbers out in full.
    for (int digits = 1; digits <= 40; ++digits) {
      char buf[5000];
      std::snprintf(buf, sizeof buf, "%.*Lf", digits, static_cast<long double>(x));
      TExtended back = 0;
      if (TryTextToFloat(buf, back) && back == x) return std::string(buf);
    }
    return std::nullopt;
  }

  std::optional<Node> Value(const Operand& o) {
    if (o.Tag == 0 && IsTempName(o.Text)) {
      auto it = temps_.find(o.Text);
      if (it == temps_.end()) return std::nullopt;
      return it->second;
    }
    return Node{o.Text, -1};
  }

  static int Group(uint8_t code) {
    switch (code) {
      case ocMul: case ocDiv: case ocMod: return 0;
      case ocPlus: case ocMinus: return 1;
      case ocShiftL: case ocShiftR: return 2;
      case ocEqual: case ocBig: case ocSmall: case ocEBig: case ocESmall: case ocNEqual: return 3;
      case ocComboStr: return 4;
      case ocAnd: return 5;
      case ocXor: return 6;
      case ocOr: return 7;
      default: return -1;
    }
  }

  static const char* Symbol(uint8_t code) {
    switch (code) {
      case ocPlus: return "+"; case ocMinus: return "-"; case ocMul: return "*"; case ocDiv: return "/";
      case ocMod: return "%"; case ocOr: return "|"; case ocAnd: return "&"; case ocXor: return "^";
      case ocEqual: return "=="; case ocBig: return ">"; case ocSmall: return "<"; case ocEBig: return ">=";
      case ocESmall: return "<="; case ocShiftL: return "<<"; case ocShiftR: return ">>";
      case ocComboStr: return "++"; case ocNEqual: return "<>";
      default: return nullptr;
    }
  }

  bool Step(uint8_t code, const std::string& target, uint8_t func, const std::vector<Operand>& ops,
            std::vector<std::string>& statements) {
    if (code == ocTo) {
      if (ops.size() != 1) return false;
      auto v = Value(ops[0]);
      if (!v) return false;
      if (target == "____arg") {
        statements.push_back(v->Text);
      } else if (PlainTemp(target)) {
        temps_[target] = ops[0].Tag == 4 ? Node{v->Text, -1} : Node{"(" + v->Text + ")", -1};
      } else {
        std::string name = target;
        if (IsTempName(target)) {
          auto it = temps_.find(target);
          if (it == temps_.end()) return false;
          name = it->second.Text;
        }
        statements.push_back(name + " = " + v->Text);
      }
      return true;
    }
    if (!PlainTemp(target) && code != ocDimTo) return false;
    if (code == ocFunc) {
      if (func >= kSysFuncCount) return false;
      std::string text = std::string(SysFuncInfo(func).Name) + "(";
      for (size_t k = 0; k < ops.size(); ++k) {
        auto v = Value(ops[k]);
        if (!v) return false;
        text += (k ? ", " : "") + v->Text;
      }
      temps_[target] = {text + ")", -1};
      return true;
    }
    if (code == ocDimTo) {
      if (ops.empty() || ops[0].Tag != 0) return false;
      std::string text = ops[0].Text + "[";
      for (size_t k = 1; k < ops.size(); ++k) {
        auto v = Value(ops[k]);
        if (!v) return false;
        text += (k > 1 ? ", " : "") + v->Text;
      }
      temps_[target] = {text + "]", -1};
      return true;
    }
    const char* symbol = Symbol(code);
    if (!symbol || ops.size() != 2) return false;
    auto a = Value(ops[0]), b = Value(ops[1]);
    if (!a || !b) return false;
    const int g = Group(code);
    if (unary_ && (code == ocMinus || code == ocPlus) && ops[0].Tag == 1 && ops[0].Text == "0" && b->Prec < 0) {
      temps_[target] = {std::string(symbol) + b->Text, -1};
      return true;
    }
    std::string left = a->Prec > g ? "(" + a->Text + ")" : a->Text;
    std::string right = b->Prec >= g ? "(" + b->Text + ")" : b->Text;
    temps_[target] = {left + " " + symbol + " " + right, g};
    return true;
  }

  std::map<std::string, Node> temps_;
  bool unary_ = false;
};

// An expression as source text: written out when compiling it gives the same bytes, else
// the stored operations in hex.
std::string ExpressionSource(const TOrbaParser& parser) {
  std::vector<uint8_t> bytes = StoredBytes(parser);
  for (bool unary : {true, false}) {
    auto text = TExpressionWriter().Write(bytes, unary);
    if (!text) continue;
    std::string utf8 = ToUtf8(*text);
    if (FromUtf8(utf8) != *text) continue;
    // The text must survive the line syntax too.
    if (utf8.find_first_of("\r\n") != std::string::npos) continue;
    if (!QuotesClosed(utf8) || SplitOutside(utf8, ';', false).size() != 1 || SplitOutside(utf8, ',', true).size() != 1)
      continue;
    std::string n, v;
    if (SplitNamed(utf8, n, v) || Trim(utf8) != utf8 || utf8.substr(0, 1) == "@" || utf8.substr(0, 2) == "//")
      continue;
    try {
      TBuildOrbaParser build;
      if (!text->empty()) build.Parse(*text);
      TKvMemoryStream s;
      build.WriteOps(s);
      if (s.Bytes() == bytes) return utf8;
    } catch (const EOrbaError&) {
    }
  }
  return std::string(kRawOps) + Hex(bytes);
}

bool IsEmptyExpression(const TOrbaParser* p) { return !p || p->Ops().empty(); }

// ---- page sources -------------------------------------------------------------------------

constexpr int32_t kDefaultVersion = TPage::kMaxVersion;

enum class TIndexRule { None, Label, Auto };

// How an int32 field is written: a command index found from a label, or from the block structure.
TIndexRule IndexRule(uint8_t kind, const char* field) {
  std::string_view f = field;
  switch (kind) {
    case 31: case 33: case 34: case 35: return TIndexRule::Auto;  // While, WhileLoop, Break, Continue
    case 4: case 5: case 40: case 41: return f == "target" ? TIndexRule::Label : TIndexRule::None;
    case 38: return f == "index" ? TIndexRule::Label : TIndexRule::None;  // GameSave's resume point
    default: return TIndexRule::None;
  }
}

struct TLoop {
  int32_t While = -1, Loop = -1, End = -1;
};

// The loop that starts with the While at index w: its closing WhileLoop (same indent, right
// after the body) and the index after it.
TLoop LoopAt(const std::vector<std::pair<uint8_t, int32_t>>& cmds, int32_t w) {
  TLoop loop;
  loop.While = w;
  const int32_t n = static_cast<int32_t>(cmds.size());
  int32_t j = w + 1;
  while (j < n && cmds[j].second > cmds[w].second) ++j;
  if (j < n && cmds[j].first == 33 && cmds[j].second == cmds[w].second) {
    loop.Loop = j;
    loop.End = j + 1;
  } else {
    loop.End = j;
  }
  return loop;
}

// The value an automatic index field takes from the kinds and indents of the commands.
int32_t AutoIndex(const std::vector<std::pair<uint8_t, int32_t>>& cmds, int32_t i) {
  const uint8_t kind = cmds[i].first;
  const int32_t indent = cmds[i].second;
  if (kind == 31) return LoopAt(cmds, i).End;
  if (kind == 33) {
    int32_t k = i - 1;
    while (k >= 0 && cmds[k].second > indent) --k;
    return k >= 0 && cmds[k].first == 31 && cmds[k].second == indent ? k : -1;
  }
  // Break and Continue: the innermost While whose body holds the command.
  int32_t level = indent;
  for (int32_t k = i - 1; k >= 0; --k) {
    if (cmds[k].second >= level) continue;
    level = cmds[k].second;
    if (cmds[k].first == 31) {
      TLoop loop = LoopAt(cmds, k);
      if (kind == 34) return loop.End;
      return loop.Loop >= 0 ? loop.Loop : loop.While;
    }
  }
  return -1;
}

std::vector<std::pair<uint8_t, int32_t>> Shape(const TPage& page) {
  std::vector<std::pair<uint8_t, int32_t>> cmds;
  cmds.reserve(page.Commands.size());
  for (const auto& c : page.Commands) cmds.emplace_back(c->Kind(), c->Indent);
  return cmds;
}

int KindOfKeyword(std::string_view word) {
  const auto& layouts = CommandLayouts();
  for (int k = 0; k < kCommandKinds; ++k)
    if (word == layouts[k].Keyword) return k;
  return -1;
}

bool HasProps(const TCommandLayout& layout) {
  return std::any_of(layout.Fields.begin(), layout.Fields.end(), [](const TFieldLayout& f) { return f.Kind == TFieldKind::Props; });
}

// One command line, split but not yet compiled.
struct TSourceCommand {
  int Line = 0;
  uint8_t Kind = 0;
  int32_t Indent = 0;
  std::vector<std::pair<std::string, std::string>> Values;  // by field, property or flag name
};

struct TSourcePage {
  int32_t Version = kDefaultVersion;
  uint8_t ResultType = 1;
  std::array<TPropertySet, kCommandKinds> ExtraProps{};
  std::vector<TSourceCommand> Commands;
};

// Walks a source text line by line, without the line ends; a byte-order mark at the very
// start is dropped. Lines count from 1.
class TSourceLines {
 public:
  explicit TSourceLines(std::string_view source) : source_(source) {}
  bool Next(std::string_view& line) {
    if (pos_ > source_.size()) return false;
    size_t eol = source_.find('\n', pos_);
    if (eol == std::string_view::npos) eol = source_.size();
    line = source_.substr(pos_, eol - pos_);
    pos_ = eol + 1;
    if (++number_ == 1 && line.substr(0, 3) == "\xEF\xBB\xBF") line.remove_prefix(3);
    return true;
  }
  int Number() const { return number_; }

 private:
  std::string_view source_;
  size_t pos_ = 0;
  int number_ = 0;
};

bool IsFlagName(std::string_view n) { return n == "line" || n == "indent" || n == "runon" || n == "disabled"; }

TSourcePage ParsePageSource(std::string_view source, const std::string& file) {
  TSourcePage page;
  TSourceLines lines(source);
  std::string_view raw;
  while (lines.Next(raw)) {
    const int lineNo = lines.Number();
    auto fail = [&](const std::string& message) { throw ESourceError(file, lineNo, message); };
    int spaces = 0;
    size_t i = 0;
    for (; i < raw.size() && (raw[i] == ' ' || raw[i] == '\t'); ++i) spaces += raw[i] == '\t' ? 2 : 1;
    std::string body = Trim(raw.substr(i));
    if (body.empty() || body.substr(0, 2) == "//") continue;

    size_t wordEnd = body.find_first_of(" \t;");
    std::string word = body.substr(0, wordEnd);
    std::string rest = wordEnd == std::string::npos ? std::string() : Trim(std::string_view(body).substr(wordEnd));
    if (!rest.empty() && rest[0] == ';') rest = Trim(std::string_view(rest).substr(1));

    if (word[0] == '#') {
      if (!page.Commands.empty()) fail("directive " + word + " after the first command");
      std::istringstream in(rest);
      if (word == "#version") {
        int32_t v = 0;
        if (!ParseInt(rest, v) || v < TPage::kOldestVersion || v > TPage::kMaxVersion)
          fail("#version takes a number from 103 to 110");
        page.Version = v;
      } else if (word == "#result") {
        int32_t v = 0;
        if (!ParseInt(rest, v) || v < 0 || v > 255) fail("#result takes a number from 0 to 255");
        page.ResultType = static_cast<uint8_t>(v);
      } else if (word == "#props") {
        std::string kindWord, prop;
        in >> kindWord;
        int kind = KindOfKeyword(kindWord);
        if (kind < 0) fail("#props: unknown command " + kindWord);
        while (in >> prop) {
          int32_t code = PropertyCode(prop);
          if (code < 0 && (!ParseInt(prop, code) || code < 0 || code >= kPropertySetSize * 8))
            fail("#props: unknown property " + prop);
          AddProperty(page.ExtraProps[kind], code);
        }
      } else {
        fail("unknown directive " + word);
      }
      continue;
    }

    int kind = KindOfKeyword(word);
    if (kind < 0) fail("unknown command " + word);
    if (spaces % 2) fail("indentation must be a multiple of two spaces");
    TSourceCommand cmd;
    cmd.Line = lineNo;
    cmd.Kind = static_cast<uint8_t>(kind);
    cmd.Indent = spaces / 2;
    const TCommandLayout& layout = CommandLayouts()[kind];

    std::vector<std::string> segments;
    if (kind == 27 && !rest.empty() && rest[0] != '"') {
      cmd.Values.emplace_back("text", rest);  // a comment's text is the rest of the line
    } else if (!rest.empty()) {
      segments = SplitOutside(rest, ';', false);
    }
    size_t positional = 0;
    bool named = false;
    for (const std::string& seg : segments) {
      std::string name, value;
      if (SplitNamed(seg, name, value)) {
        named = true;
      } else {
        if (named) fail("a value without a name after named values: " + seg);
        // The next field that takes a value by position.
        size_t seen = 0;
        const TFieldLayout* field = nullptr;
        for (const auto& f : layout.Fields) {
          if (f.Kind == TFieldKind::Props) continue;
          if (seen++ == positional) {
            field = &f;
            break;
          }
        }
        if (!field) fail(std::string("too many values for ") + layout.Keyword);
        ++positional;
        name = field->Name;
        value = seg;
      }
      for (const auto& [n, v] : cmd.Values)
        if (n == name) fail(name + " given twice");
      bool known = IsFlagName(name);
      for (const auto& f : layout.Fields)
        if (f.Kind != TFieldKind::Props && name == f.Name) {
          if (f.AfterVersion >= page.Version)
            fail(name + " needs a page version above " + std::to_string(f.AfterVersion));
          known = true;
        }
      if (!known && HasProps(layout) && PropertyCode(name) >= 0) known = true;
      if (!known) fail(std::string(layout.Keyword) + " has no field or property " + name);
      cmd.Values.emplace_back(name, value);
    }
    page.Commands.push_back(std::move(cmd));
  }
  return page;
}

std::string_view Find(const TSourceCommand& cmd, std::string_view name) {
  for (const auto& [n, v] : cmd.Values)
    if (n == name) return v;
  return {};
}

bool Has(const TSourceCommand& cmd, std::string_view name) {
  return std::any_of(cmd.Values.begin(), cmd.Values.end(), [&](const auto& p) { return p.first == name; });
}

std::string StringValue(std::string_view value) {
  if (!value.empty() && value[0] == '"') {
    auto s = Unquote(value);
    if (s) return *s;
  }
  return FromUtf8(value);
}

}  // namespace

std::vector<std::pair<std::string, int32_t>> PageSourceLabels(std::string_view source, const std::string& file) {
  std::vector<std::pair<std::string, int32_t>> labels;
  TSourcePage page = ParsePageSource(source, file);
  for (size_t i = 0; i < page.Commands.size(); ++i) {
    const TSourceCommand& c = page.Commands[i];
    if (c.Kind == 3 || c.Kind == 27) labels.emplace_back(StringValue(Find(c, c.Kind == 3 ? "name" : "text")), static_cast<int32_t>(i));
  }
  return labels;
}

void CompilePage(std::string_view source, const std::string& file, TPage& page, const TLabelResolver& resolve) {
  TSourcePage src = ParsePageSource(source, file);
  page.Commands.clear();
  page.Version = src.Version;
  page.ResultType = src.ResultType;
  page.PropertySets = src.ExtraProps;
  // Property sets first: every record of a kind carries the same block.
  for (const auto& c : src.Commands)
    for (const auto& [n, v] : c.Values)
      if (!IsFlagName(n) && HasProps(CommandLayouts()[c.Kind])) {
        int code = PropertyCode(n);
        bool isField = false;
        for (const auto& f : CommandLayouts()[c.Kind].Fields) isField |= n == f.Name;
        if (code >= 0 && !isField) AddProperty(page.PropertySets[c.Kind], code);
      }

  struct Pending {
    size_t Command, Field;
    std::string Label;
    int Line;
  };
  std::vector<Pending> labels;
  std::vector<std::pair<size_t, size_t>> autos;  // automatic index fields to fill at the end

  for (const auto& c : src.Commands) {
    auto cmd = page.CreateCommand(c.Kind);
    const TCommandLayout& layout = cmd->Layout();
    auto fail = [&](const std::string& message) { throw ESourceError(file, c.Line, message); };
    auto flagNumber = [&](std::string_view name, int32_t fallback) {
      if (!Has(c, name)) return fallback;
      int32_t v = 0;
      if (!ParseInt(Find(c, name), v)) fail(std::string(name) + " takes a number");
      return v;
    };
    cmd->Line = flagNumber("line", c.Line);
    cmd->Indent = flagNumber("indent", c.Indent);
    cmd->RunOn = flagNumber("runon", 1) != 0;
    cmd->Disabled = flagNumber("disabled", 0) != 0;
    for (size_t i = 0; i < layout.Fields.size(); ++i) {
      const TFieldLayout& f = layout.Fields[i];
      TFieldValue& v = cmd->Fields[i];
      if (!v.Present) continue;
      std::string value(Find(c, f.Name));
      if (value.empty() && ConditionDefaultsTrue(c.Kind, f.Name)) value = "TRUE";
      if (f.Kind != TFieldKind::Expr && f.Kind != TFieldKind::ExprList && !value.empty() && value[0] == '"' &&
          !Unquote(value))
        fail(std::string(f.Name) + ": a quoted string must end with its quote, and \\x takes two hex digits");
      switch (f.Kind) {
        case TFieldKind::Expr: CompileExpressionValue(value, *v.Expr, file, c.Line, f.Name); break;
        case TFieldKind::String: v.Text = StringValue(value); break;
        case TFieldKind::Block:
          if (value.substr(0, 5) == "@hex:") {
            auto bytes = Unhex(std::string_view(value).substr(5));
            if (!bytes) fail(std::string(f.Name) + ": bad hex");
            v.Text.assign(bytes->begin(), bytes->end());
          } else {
            v.Text = StringValue(value);
          }
          break;
        case TFieldKind::Byte: {
          int32_t n = 0;
          static const char* types[] = {"", "int", "float", "flag", "string"};
          bool found = false;
          if (c.Kind == 15 && std::string_view(f.Name) == "type")
            for (int t = 1; t <= 4; ++t)
              if (value == types[t]) n = t, found = true;
          if (!found && !value.empty() && (!ParseInt(value, n) || n < 0 || n > 255))
            fail(std::string(f.Name) + " takes a number from 0 to 255");
          v.Number = n;
          break;
        }
        case TFieldKind::Int32: {
          TIndexRule rule = IndexRule(c.Kind, f.Name);
          if (value.empty()) {
            if (rule == TIndexRule::Auto) autos.emplace_back(page.Commands.size(), i);
            v.Number = 0;
          } else if (value[0] != '"' && ParseInt(value, v.Number)) {
          } else if (rule == TIndexRule::Label) {
            labels.push_back({page.Commands.size(), i, StringValue(value), c.Line});
          } else {
            fail(std::string(f.Name) + " takes a number");
          }
          break;
        }
        case TFieldKind::ExprList:
          v.List.clear();
          if (!value.empty())
            for (const std::string& item : SplitOutside(value, ',', true))
              CompileExpressionValue(item, *v.List.emplace_back(std::make_unique<TOrbaParser>()), file, c.Line, f.Name);
          break;
        case TFieldKind::Props:
          for (int code = 0; code < kPropertyCount; ++code) {
            if (!HasProperty(page.PropertySets[c.Kind], code)) continue;
            CompileExpressionValue(std::string(Find(c, PropertyName(code))), cmd->Props.Add(code), file, c.Line,
                                   PropertyName(code));
          }
          break;
      }
    }
    page.Commands.push_back(std::move(cmd));
  }

  auto shape = Shape(page);
  for (auto [ci, fi] : autos) page.Commands[ci]->Fields[fi].Number = AutoIndex(shape, static_cast<int32_t>(ci));
  for (const Pending& p : labels) {
    TCommand& cmd = *page.Commands[p.Command];
    const std::string& target = cmd.Fields[0].Text;  // each labelled kind names its page first
    int32_t index = -1;
    if (target.empty() || SameText(target, page.Name)) index = page.FindLabel(p.Label);
    else if (resolve) index = resolve(target, p.Label);
    if (index < 0)
      throw ESourceError(file, p.Line,
                         "unknown label " + p.Label + (target.empty() ? std::string() : " in page " + target));
    cmd.Fields[p.Field].Number = index;
  }
}

std::string DecompilePage(const TPage& page) {
  std::string out;
  int line = 0;
  auto emit = [&](const std::string& text) {
    out += text;
    out += '\n';
    ++line;
  };
  if (page.Version != kDefaultVersion) emit("#version " + std::to_string(page.Version));
  if (page.ResultType != 1) emit("#result " + std::to_string(page.ResultType));
  // Bits of a kind's set that no command of the kind fills.
  std::array<TPropertySet, kCommandKinds> used{};
  for (const auto& c : page.Commands)
    for (int code = 0; code < kPropertyCount; ++code)
      if (!IsEmptyExpression(c->Props[code]) && HasProps(c->Layout()) && HasProperty(page.PropertySets[c->Kind()], code))
        AddProperty(used[c->Kind()], code);
  for (int k = 0; k < kCommandKinds; ++k) {
    std::string extra;
    for (int code = 0; code < kPropertySetSize * 8; ++code)
      if (HasProperty(page.PropertySets[k], code) && !(code < kPropertyCount && HasProperty(used[k], code)))
        extra += " " + (code < kPropertyCount ? std::string(PropertyName(code)) : std::to_string(code));
    if (!extra.empty()) emit(std::string("#props ") + CommandLayouts()[k].Keyword + extra);
  }

  auto shape = Shape(page);
  for (size_t ci = 0; ci < page.Commands.size(); ++ci) {
    const TCommand& c = *page.Commands[ci];
    const TCommandLayout& layout = c.Layout();
    std::vector<std::pair<std::string, std::string>> values;  // name, source text
    for (size_t i = 0; i < layout.Fields.size(); ++i) {
      const TFieldLayout& f = layout.Fields[i];
      const TFieldValue& v = c.Fields[i];
      if (f.AfterVersion >= page.Version) continue;
      std::string text;
      switch (f.Kind) {
        case TFieldKind::Expr:
          text = IsEmptyExpression(v.Expr.get()) ? "" : ExpressionSource(*v.Expr);
          if (ConditionDefaultsTrue(c.Kind(), f.Name)) {
            // TRUE is what an omitted condition gives; a stored empty one must be written out.
            if (text == "TRUE") text.clear();
            else if (text.empty()) text = std::string(kRawOps) + Hex(StoredBytes(*v.Expr));
          }
          break;
        case TFieldKind::String: text = v.Text.empty() ? "" : StringSource(v.Text); break;
        case TFieldKind::Block: {
          if (v.Text.empty()) break;
          bool plain = FromUtf8(ToUtf8(v.Text)) == v.Text &&
                       std::none_of(v.Text.begin(), v.Text.end(), [](char ch) { return static_cast<unsigned char>(ch) < 0x20; });
          text = plain ? Quote(v.Text) : "@hex:" + Hex(std::span(reinterpret_cast<const uint8_t*>(v.Text.data()), v.Text.size()));
          break;
        }
        case TFieldKind::Byte:
          if (c.Kind() == 15 && std::string_view(f.Name) == "type" && v.Number >= 1 && v.Number <= 4) {
            static const char* types[] = {"", "int", "float", "flag", "string"};
            text = types[v.Number];
          } else if (v.Number != 0) {
            text = std::to_string(v.Number);
          }
          break;
        case TFieldKind::Int32: {
          TIndexRule rule = IndexRule(c.Kind(), f.Name);
          if (rule == TIndexRule::Auto) {
            if (v.Number != AutoIndex(shape, static_cast<int32_t>(ci))) text = std::to_string(v.Number);
            break;
          }
          const std::string& target = c.Fields[0].Text;
          if (rule == TIndexRule::Label && (target.empty() || SameText(target, page.Name)) && v.Number >= 0 &&
              v.Number < static_cast<int32_t>(page.Commands.size())) {
            const TCommand& at = *page.Commands[v.Number];
            int32_t dummy = 0;
            if (at.Kind() == 3 && page.FindLabel(at.Fields[0].Text) == v.Number && !ParseInt(at.Fields[0].Text, dummy)) {
              text = StringSource(at.Fields[0].Text);
              break;
            }
          }
          if (v.Number != 0) text = std::to_string(v.Number);
          break;
        }
        case TFieldKind::ExprList: {
          if (v.List.empty()) break;
          for (size_t k = 0; k < v.List.size(); ++k) {
            std::string item = IsEmptyExpression(v.List[k].get()) ? "" : ExpressionSource(*v.List[k]);
            // A lone empty item would read as no list: write it raw.
            if (item.empty() && v.List.size() == 1) item = std::string(kRawOps) + Hex(StoredBytes(*v.List[k]));
            text += (k ? ", " : "") + item;
          }
          break;
        }
        case TFieldKind::Props:
          for (int code = 0; code < kPropertyCount; ++code)
            if (HasProperty(page.PropertySets[c.Kind()], code) && !IsEmptyExpression(c.Props[code]))
              values.emplace_back(PropertyName(code), ExpressionSource(*c.Props[code]));
          continue;
      }
      if (!text.empty()) values.emplace_back(f.Name, text);
    }
    // Blank lines bring the command to its source line when that lies a little ahead.
    if (c.Line > line + 1 && c.Line - line <= 100)
      while (line + 1 < c.Line) emit("");
    const int32_t outLine = line + 1;
    if (c.Line != outLine) values.emplace_back("line", std::to_string(c.Line));
    const bool bigIndent = c.Indent < 0 || c.Indent > 64;
    if (bigIndent) values.emplace_back("indent", std::to_string(c.Indent));
    if (!c.RunOn) values.emplace_back("runon", "0");
    if (c.Disabled) values.emplace_back("disabled", "1");

    std::string text(static_cast<size_t>(bigIndent ? 0 : c.Indent) * 2, ' ');
    text += layout.Keyword;
    // A comment alone shows its text as it is.
    if (c.Kind() == 27 && values.size() == 1 && values[0].first == "text" && !c.Fields[0].Text.empty()) {
      std::string utf8 = ToUtf8(c.Fields[0].Text);
      if (FromUtf8(utf8) == c.Fields[0].Text && Trim(utf8) == utf8 && utf8[0] != '"' &&
          utf8.find_first_of("\r\n") == std::string::npos) {
        emit(text + " " + utf8);
        continue;
      }
    }
    if (c.Kind() == 27 && !values.empty() && values[0].first == "text") values[0].second = Quote(c.Fields[0].Text);
    // The first field goes by position when it is the layout's first.
    const char* first = nullptr;
    for (const auto& f : layout.Fields)
      if (f.Kind != TFieldKind::Props) {
        first = f.Name;
        break;
      }
    for (size_t k = 0; k < values.size(); ++k) {
      text += k ? "; " : " ";
      std::string n, v;
      if (k == 0 && first && values[k].first == first && !SplitNamed(values[k].second, n, v)) text += values[k].second;
      else text += values[k].first + ": " + values[k].second;
    }
    emit(text);
  }
  return out;
}

// ---- project description ------------------------------------------------------------------

namespace {

// The words of a project line: bare words and quoted strings (converted to code page 932).
std::vector<std::string> ProjectWords(std::string_view s, const std::string& file, int line) {
  std::vector<std::string> words;
  size_t i = 0;
  while (i < s.size()) {
    if (s[i] == ' ' || s[i] == '\t' || s[i] == '\r') {
      ++i;
      continue;
    }
    size_t end;
    if (s[i] == '"') {
      end = QuotedEnd(s, i);
      auto q = end == std::string_view::npos ? std::nullopt : Unquote(s.substr(i, end - i));
      if (!q) throw ESourceError(file, line, "unfinished string");
      words.push_back(*q);
    } else {
      end = s.find_first_of(" \t\r", i);
      if (end == std::string_view::npos) end = s.size();
      words.push_back(FromUtf8(s.substr(i, end - i)));
    }
    i = end;
  }
  return words;
}

}  // namespace

void CompileProjectDescription(std::string_view source, const std::string& file, TProjectFile& project) {
  TProjectFile p;
  TSourceLines lines(source);
  std::string_view raw;
  while (lines.Next(raw)) {
    const int lineNo = lines.Number();
    std::string body = Trim(raw);
    if (body.empty() || body.substr(0, 2) == "//") continue;
    auto fail = [&](const std::string& message) { throw ESourceError(file, lineNo, message); };
    std::vector<std::string> w = ProjectWords(body, file, lineNo);
    const std::string key = w[0];
    auto count = [&](size_t n) {
      if (w.size() != n + 1) fail(key + " takes " + std::to_string(n) + (n == 1 ? " value" : " values"));
    };
    auto number = [&](size_t i) {
      int32_t v = 0;
      if (!ParseInt(w[i], v)) fail(key + ": " + w[i] + " is not a number");
      return v;
    };
    auto byte = [&](size_t i) {
      int32_t v = number(i);
      if (v < 0 || v > 255) fail(key + " takes a number from 0 to 255");
      return static_cast<uint8_t>(v);
    };
    if (key == "version") {
      count(1);
      p.Version = number(1);
      if (p.Version > TProjectFile::kMaxVersion) fail("the newest project version is 110");
    } else if (key == "name") { count(1); p.Name = w[1];
    } else if (key == "screen") { count(2); p.ScreenWidth = number(1); p.ScreenHeight = number(2);
    } else if (key == "fullscreen") { count(2); p.FullScreenWidth = number(1); p.FullScreenHeight = number(2);
    } else if (key == "start") { count(1); p.StartPage = w[1];
    } else if (key == "exit") { count(1); p.ExitPage = w[1];
    } else if (key == "registrykey") { count(1); p.RegistryKey = w[1];
    } else if (key == "imageseed") { count(1); p.ImageSeed = number(1);
    } else if (key == "save") { count(1); p.SaveEnabled = byte(1);
    } else if (key == "pacing") { count(1); p.Pacing = byte(1);
    } else if (key == "mediaexts") { count(1); p.OptionalMediaExts = w[1];
    } else if (key == "diskprompt") { count(1); p.DiskPrompt = w[1];
    } else if (key == "exitmessage") { count(1); p.ExitMessage = w[1];
    } else if (key == "disc") { count(2); p.DiskList.Add(w[1], number(2));
    } else if (key == "var") {
      if (w.size() < 3) fail("var takes a type, a name and a value");
      TProjectVariable v;
      static const char* types[] = {"", "int", "float", "flag", "string"};
      int32_t type = -1;
      for (int t = 1; t <= 4; ++t)
        if (w[1] == types[t]) type = t;
      if (type < 0 && (!ParseInt(w[1], type) || type < 0 || type > 255)) fail("var: unknown type " + w[1]);
      v.Type = static_cast<uint8_t>(type);
      v.Name = w[2];
      if (type >= 1 && type <= 4) {
        if (w.size() != 5 || w[3] != "=") fail("var " + w[1] + " takes: NAME = VALUE");
        const std::string& value = w[4];
        switch (type) {
          case 1: v.Int = number(4); break;
          case 2: {
            char* end = nullptr;
            v.Float = std::strtold(value.c_str(), &end);
            if (value.empty() || *end) fail("var: " + value + " is not a number");
            break;
          }
          case 3:
            if (value != "TRUE" && value != "FALSE") fail("var flag takes TRUE or FALSE");
            v.Flag = value == "TRUE";
            break;
          case 4: v.Text = value; break;
        }
      } else if (w.size() != 3) {
        fail("a variable of type " + w[1] + " has no value");
      }
      p.Variables.push_back(std::move(v));
    } else {
      fail("unknown setting " + key);
    }
  }
  project = std::move(p);
}

std::string DecompileProject(const TProjectFile& p) {
  std::ostringstream out;
  auto str = [](const std::string& s) { return s.empty() ? std::string("\"\"") : StringSource(s); };
  out << "version " << p.Version << "\n";
  out << "name " << str(p.Name) << "\n";
  out << "screen " << p.ScreenWidth << " " << p.ScreenHeight << "\n";
  out << "fullscreen " << p.FullScreenWidth << " " << p.FullScreenHeight << "\n";
  out << "start " << str(p.StartPage) << "\n";
  out << "exit " << str(p.ExitPage) << "\n";
  out << "registrykey " << str(p.RegistryKey) << "\n";
  out << "imageseed " << p.ImageSeed << "\n";
  out << "save " << int(p.SaveEnabled) << "\n";
  out << "pacing " << int(p.Pacing) << "\n";
  out << "mediaexts " << str(p.OptionalMediaExts) << "\n";
  out << "diskprompt " << str(p.DiskPrompt) << "\n";
  out << "exitmessage " << str(p.ExitMessage) << "\n";
  static const char* types[] = {"", "int", "float", "flag", "string"};
  for (const auto& v : p.Variables) {
    out << "var " << (v.Type >= 1 && v.Type <= 4 ? types[v.Type] : std::to_string(v.Type)) << " " << str(v.Name);
    switch (v.Type) {
      case 1: out << " = " << v.Int; break;
      case 2: {
        char buf[48];
        std::snprintf(buf, sizeof buf, "%.21Lg", static_cast<long double>(v.Float));
        out << " = " << buf;
        break;
      }
      case 3: out << " = " << (v.Flag ? "TRUE" : "FALSE"); break;
      case 4: out << " = " << str(v.Text); break;
      default: break;
    }
    out << "\n";
  }
  for (const auto& e : p.DiskList.Items()) out << "disc " << str(e.Folder) << " " << e.Disc << "\n";
  return out.str();
}

// ---- project folders ----------------------------------------------------------------------

namespace {

std::string ReadText(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw EOrbaError("cannot read " + FromUtf8(path.string()));
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

bool EndsWithNoCase(std::string_view s, std::string_view tail) {
  if (s.size() < tail.size()) return false;
  for (size_t i = 0; i < tail.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(s[s.size() - tail.size() + i])) != tail[i]) return false;
  return true;
}

}  // namespace

std::string CompiledPictureName(std::string_view sourceName) {
  return std::string(sourceName.substr(0, sourceName.size() - 3)) + "trn";
}

TCompiledProject CompileProjectFolder(const std::filesystem::path& dir) {
  namespace fs = std::filesystem;
  if (!fs::is_directory(dir)) throw EOrbaError(FromUtf8(dir.string()) + " is not a folder");
  const fs::path description = dir / kProjectSourceName;
  if (!fs::exists(description)) throw EOrbaError("the project has no " + std::string(kProjectSourceName));
  TCompiledProject out;
  int32_t imageSeed = 0;
  {
    TProjectFile project;
    CompileProjectDescription(ReadText(description), description.string(), project);
    TKvMemoryStream s;
    project.SaveToStream(s);
    out.ProjectFile = s.TakeBytes();
    imageSeed = project.ImageSeed;
  }

  std::vector<std::string> files;
  for (const auto& f : fs::recursive_directory_iterator(dir)) {
    std::string rel = fs::relative(f.path(), dir).generic_string();
    // Hidden files (".keep", editor state) are no part of the game.
    if (f.is_regular_file() && rel[0] != '.' && rel.find("/.") == std::string::npos) files.push_back(rel);
  }
  std::sort(files.begin(), files.end());

  struct Source {
    std::string Rel, Stored, Text;
  };
  std::vector<Source> pages;
  std::map<std::string, std::vector<std::pair<std::string, int32_t>>> labels;  // by lower-case stored name
  for (const std::string& rel : files) {
    if (rel == kProjectSourceName) continue;
    if (EndsWithNoCase(rel, kPageSourceExt)) {
      Source s{rel, StoredPathOf(CompiledPageName(rel)), ReadText(dir / rel)};
      labels[LowerCase(s.Stored)] = PageSourceLabels(s.Text, rel);
      pages.push_back(std::move(s));
    } else if (EndsWithNoCase(rel, kPictureSourceExt)) {
      // A project's pictures are layered images, stored in the order its image seed draws.
      TTarnFrameList picture(imageSeed);
      try {
        picture.AddPngFrame(ReadFileBytes((dir / rel).string()));
      } catch (const std::exception& e) {
        throw EOrbaError(FromUtf8(rel) + ": " + e.what());
      }
      TKvMemoryStream bytes;
      picture.SaveToStream(bytes);
      out.Pictures.emplace_back(StoredPathOf(CompiledPictureName(rel)), bytes.TakeBytes());
    } else {
      out.OtherFiles.push_back(rel);
    }
  }
  std::set<std::string> made{"orba.rpb"};  // lower-case stored names of the compiled files
  for (const Source& s : pages) made.insert(LowerCase(s.Stored));
  for (const auto& [stored, bytes] : out.Pictures)
    if (!made.insert(LowerCase(stored)).second) throw EOrbaError(stored + " would be made twice");
  for (const std::string& rel : out.OtherFiles)
    if (made.count(LowerCase(StoredPathOf(rel))))
      throw EOrbaError(FromUtf8(rel) + " would be overwritten by a compiled file");
  TLabelResolver resolve = [&](const std::string& page, const std::string& label) -> int32_t {
    auto it = labels.find(LowerCase(page));
    if (it == labels.end()) return -1;
    for (const auto& [name, index] : it->second)
      if (name == label) return index;
    return -1;
  };
  for (const Source& s : pages) {
    TPage page;
    page.Name = s.Stored;
    CompilePage(s.Text, s.Rel, page, resolve);
    TKvMemoryStream bytes;
    page.SaveToStream(bytes);
    out.Pages.emplace_back(s.Stored, bytes.TakeBytes());
  }
  return out;
}

}  // namespace orba
