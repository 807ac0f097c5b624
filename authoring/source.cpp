#include "authoring/source.h"

#include <algorithm>
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
#include "text/kvword.h"
#include "values/exprprint.h"

namespace orba {

ESourceError::ESourceError(const std::string& file, int line, const std::string& message)
    : EOrbaError(FromUtf8(file) + ":" + std::to_string(line) + ": " + message), File(file), Line(line) {}

std::string CompiledPageName(std::string_view sourceName) {
  std::string s(sourceName);
  if (s.size() < 3) return s + "rsb";
  return s.substr(0, s.size() - 3) + "rsb";
}

namespace {

// The source words of the value types 1 to 4.
constexpr const char* kTypeNames[] = {"", "int", "float", "flag", "string"};

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
  return (kind == cmd::kJump || kind == cmd::kCall || kind == cmd::kExit || kind == cmd::kBreak || kind == cmd::kContinue) &&
         std::string_view(field) == "condition";
}

// The expression compiler speaks to players in their language; the build speaks English.
std::string EnglishExpressionError(const std::string& message) {
  static const struct {
    const char8_t* Japanese;  // the message, or its tail after a name
    const char* English;   // with %s for the name
  } kMessages[] = {
      {u8"構文エラー", "syntax error"},
      {u8"配列の添え字が不正です", "an array element needs its index"},
      {u8"\" 関数名がありません", "no function is called %s"},
      {u8" 引数の数が不正です", "wrong number of arguments for %s"},
      {u8"データが途中で終わっています", "the operations end early"},
  };
  for (const auto& m : kMessages) {
    const std::string tail = Sjis(m.Japanese);
    if (message.size() < tail.size() || message.compare(message.size() - tail.size(), tail.size(), tail) != 0) continue;
    std::string name = message.substr(0, message.size() - tail.size());
    if (!name.empty() && name[0] == '"') name.erase(0, 1);
    std::string out = m.English;
    if (size_t at = out.find("%s"); at != std::string::npos) out.replace(at, 2, name);
    return out;
  }
  return "not an expression";
}

void CompileExpressionValue(const std::string& value, TOrbaParser& parser, const std::string& file, int line,
                            const std::string& what) {
  std::string text = Trim(value);
  // The expression compiler would take an unclosed quote for part of a variable's name.
  if (!QuotesClosed(text)) throw ESourceError(file, line, what + ": a quoted string must end with its quote");
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
    throw ESourceError(file, line, what + ": " + EnglishExpressionError(e.what()) + " in " + FromUtf8(text));
  }
}

// An expression as source text: written out when compiling it gives the same bytes and the
// text survives the line syntax around it, else the stored operations in hex.
std::string ExpressionSource(const TOrbaParser& parser) {
  auto text = ExpressionText(parser, [](const std::string& cp932) {
    std::string utf8 = ToUtf8(cp932);
    if (FromUtf8(utf8) != cp932 || utf8.find_first_of("\r\n") != std::string::npos) return false;
    if (!QuotesClosed(utf8) || SplitOutside(utf8, ';', false).size() != 1 || SplitOutside(utf8, ',', true).size() != 1)
      return false;
    std::string n, v;
    return !SplitNamed(utf8, n, v) && Trim(utf8) == utf8 && utf8.substr(0, 1) != "@" && utf8.substr(0, 2) != "//";
  });
  return text ? ToUtf8(*text) : std::string(kRawOps) + Hex(StoredBytes(parser));
}

bool IsEmptyExpression(const TOrbaParser* p) { return !p || p->Ops().empty(); }

// ---- page sources -------------------------------------------------------------------------

constexpr int32_t kDefaultVersion = TPage::kMaxVersion;

enum class TIndexRule { None, Label, Auto };

// How an int32 field is written: a command index found from a label, or from the block structure.
TIndexRule IndexRule(uint8_t kind, const char* field) {
  std::string_view f = field;
  switch (kind) {
    case cmd::kWhile: case cmd::kWhileLoop: case cmd::kBreak: case cmd::kContinue: return TIndexRule::Auto;
    case cmd::kJump: case cmd::kCall: case cmd::kPCReset: case cmd::kReset:
      return f == "target" ? TIndexRule::Label : TIndexRule::None;
    case cmd::kGameSave: return f == "index" ? TIndexRule::Label : TIndexRule::None;  // the resume point
    default: return TIndexRule::None;
  }
}

// The page a command names for its label or index field: its field called "page" (empty when
// it has none, or names no page: this page).
const std::string& NamedPage(const TCommand& c) {
  static const std::string none;
  const auto& fields = c.Layout().Fields;
  for (size_t i = 0; i < fields.size(); ++i)
    if (fields[i].Kind == TFieldKind::String && std::string_view(fields[i].Name) == "page") return c.Fields[i].Text;
  return none;
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
  if (j < n && cmds[j].first == cmd::kWhileLoop && cmds[j].second == cmds[w].second) {
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
  if (kind == cmd::kWhile) return LoopAt(cmds, i).End;
  if (kind == cmd::kWhileLoop) {
    int32_t k = i - 1;
    while (k >= 0 && cmds[k].second > indent) --k;
    return k >= 0 && cmds[k].first == cmd::kWhile && cmds[k].second == indent ? k : -1;
  }
  // Break and Continue: the innermost While whose body holds the command.
  int32_t level = indent;
  for (int32_t k = i - 1; k >= 0; --k) {
    if (cmds[k].second >= level) continue;
    level = cmds[k].second;
    if (cmds[k].first == cmd::kWhile) {
      TLoop loop = LoopAt(cmds, k);
      if (kind == cmd::kBreak) return loop.End;
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
  bool Unchecked = false;  // "#unchecked": keep what the checks would refuse
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
      } else if (word == "#unchecked") {
        if (!rest.empty()) fail("#unchecked takes no value");
        page.Unchecked = true;
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
    if (kind == cmd::kComment && !rest.empty() && rest[0] != '"') {
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

// A text insertion's tagged text is stored as the glyph list the message window loads, so the
// player never parses tags of inserted text.
std::string CompileTaggedText(const std::string& text) {
  std::vector<std::string> lines;
  for (size_t start = 0;;) {
    const size_t end = text.find('\n', start);
    std::string line = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(std::move(line));
    if (end == std::string::npos) break;
    start = end + 1;
  }
  TKvWord word;
  word.SetText(lines);
  TKvMemoryStream out;
  word.SaveGlyphs(out);
  return std::string(out.Bytes().begin(), out.Bytes().end());
}

// The tagged text a stored glyph list came from, as far as the tags can say it: characters,
// line breaks, bold, italic, underline, strike-out, ruby, links, events, variables and images.
// The caller keeps the result only when it compiles back to the same bytes.
std::string TaggedTextOf(const TKvWord& word) {
  std::string out, ruby, link;
  uint8_t flags = 0;
  static constexpr std::pair<uint8_t, const char*> kFlags[] = {
      {DF_BOLD, "B"}, {DF_ITALIC, "I"}, {DF_UNDERLINE, "U"}, {DF_STRIKEOUT, "S"}};
  auto value = [](const std::string& v) {
    std::string q = "\"";
    for (char c : v) q += (c == '"' || c == '\\') ? std::string{'\\', c} : std::string{c};
    return q + "\"";
  };
  auto style = [&](const TDecorate* d, const std::string& glyphLink) {
    const std::string wantRuby = d ? d->Ruby : std::string();
    const uint8_t wantFlags = d ? d->Flags : 0;
    if (glyphLink != link) {
      if (!link.empty()) out += "</A>";
      if (!glyphLink.empty()) out += "<A HREF=" + value(glyphLink) + ">";
      link = glyphLink;
    }
    if (wantRuby != ruby) {
      if (!ruby.empty()) out += "</RUBY>";
      if (!wantRuby.empty()) out += "<RUBY VALUE=" + value(wantRuby) + ">";
      ruby = wantRuby;
    }
    for (const auto& [flag, tag] : kFlags)
      if ((flags ^ wantFlags) & flag) out += std::string(wantFlags & flag ? "<" : "</") + tag + ">";
    flags = wantFlags;
  };
  for (size_t i = 0; i < word.GlyphCount(); ++i) {
    const TWdGlyph& g = *word.Glyph(i);
    switch (g.Type) {
      case TGlyphType::Char: {
        const auto& c = static_cast<const TWdChar&>(g);
        style(c.Style, c.Link);
        if (c.Code == '<' || c.Code == '>' || c.Code == '\\' || c.Code == '%' || c.Code == '{' || c.Code == '}')
          out += '\\';
        AppendCharCode(out, c.Code);
        break;
      }
      case TGlyphType::Return: out += static_cast<const TWdOpeReturn&>(g).Clear ? "<BR CLEAR>" : "<BR>"; break;
      case TGlyphType::Event: {
        const auto& e = static_cast<const TWdOpeEvent&>(g);
        out += "<EVENT VALUE=" + value(e.Value) + (e.IsEnd ? " END>" : ">");
        break;
      }
      case TGlyphType::Var: {
        const auto& v = static_cast<const TWdOpeVar&>(g);
        style(v.Style, v.Link);
        out += "<VAR NAME=" + value(v.Name) + ">";
        break;
      }
      case TGlyphType::Img: {
        const auto& m = static_cast<const TWdImg&>(g);
        style(nullptr, m.Link);
        out += "<IMG SRC=" + value(m.Src) + ">";
        break;
      }
      default: return {};  // alignment and indentation: left to the bytes
    }
  }
  style(nullptr, {});
  return out;
}

}  // namespace

const TPageOutline* TProjectOutline::FindPage(const std::string& name) const {
  auto it = Pages.find(LowerCase(name));
  return it == Pages.end() ? nullptr : &it->second;
}

void TProjectOutline::AddPage(const std::string& name, TPageOutline outline) {
  for (const std::string& v : outline.Variables) Variables.insert(LowerCase(v));
  Pages[LowerCase(name)] = std::move(outline);
}

TPageOutline PageSourceOutline(std::string_view source, const std::string& file) {
  TPageOutline outline;
  TSourcePage page = ParsePageSource(source, file);
  for (size_t i = 0; i < page.Commands.size(); ++i) {
    const TSourceCommand& c = page.Commands[i];
    if (c.Kind == cmd::kLabel || c.Kind == cmd::kComment)
      outline.Labels.emplace_back(StringValue(Find(c, c.Kind == cmd::kLabel ? "name" : "text")), static_cast<int32_t>(i));
    if (c.Kind == cmd::kVarNew) outline.Variables.push_back(StringValue(Find(c, "name")));
  }
  outline.CommandCount = static_cast<int32_t>(page.Commands.size());
  return outline;
}

TPageOutline PageOutline(const TPage& page) {
  TPageOutline outline;
  for (size_t i = 0; i < page.Commands.size(); ++i) {
    const TCommand& c = *page.Commands[i];
    if (c.Kind() == cmd::kLabel || c.Kind() == cmd::kComment) outline.Labels.emplace_back(c.Fields[0].Text, static_cast<int32_t>(i));
    if (c.Kind() == cmd::kVarNew) outline.Variables.push_back(c.Fields[0].Text);
  }
  outline.CommandCount = static_cast<int32_t>(page.Commands.size());
  return outline;
}

namespace {

// The first command index of label in an outline (labels and comments answer alike, the
// first in page order winning, as the player finds them), or -1.
int32_t FindOutlineLabel(const TPageOutline& outline, const std::string& label) {
  for (const auto& [name, index] : outline.Labels)
    if (name == label) return index;
  return -1;
}

// The page and the label of an event handler's text: a ":" met, from the end, before any "."
// or "\" ends the page name, whose last three characters become "rsb" as the player reads it.
std::pair<std::string, std::string> SplitHandler(const std::string& handler) {
  size_t last = std::string::npos;  // the last ':', '.' or '\' that is a character of its own
  for (size_t i = 0; i < handler.size(); i += CharLenAt(handler, i))
    if (handler[i] == ':' || handler[i] == '.' || handler[i] == '\\') last = i;
  if (last == std::string::npos || handler[last] != ':') return {CompiledPageName(handler), ""};
  return {CompiledPageName(handler.substr(0, last)), handler.substr(last + 1)};
}

// Checks of a page's block structure and labels that need the whole page: each else and
// elseif follows an if or elseif at its indent, each whileloop closes a while (unless its
// start is written out), and no label name is given twice.
void CheckStructure(const TSourcePage& src, const std::string& file) {
  std::vector<std::pair<uint8_t, int32_t>> shape;
  for (const auto& c : src.Commands) shape.emplace_back(c.Kind, c.Indent);
  std::map<std::string, int> labelLines;
  for (size_t i = 0; i < src.Commands.size(); ++i) {
    const TSourceCommand& c = src.Commands[i];
    auto fail = [&](const std::string& message) { throw ESourceCheck(file, c.Line, message); };
    if (c.Kind == cmd::kElse || c.Kind == cmd::kElseif) {
      size_t k = i;
      while (k > 0 && shape[k - 1].second > c.Indent) --k;
      const bool afterIf = k > 0 && shape[k - 1].second == c.Indent &&
                           (shape[k - 1].first == cmd::kIf || shape[k - 1].first == cmd::kElseif);
      if (!afterIf) fail(std::string(CommandLayouts()[c.Kind].Keyword) + " without an if or elseif before it at its indent");
    } else if (c.Kind == cmd::kWhileLoop && !Has(c, "start") && AutoIndex(shape, static_cast<int32_t>(i)) < 0) {
      fail("whileloop without a while before it at its indent");
    } else if (c.Kind == cmd::kLabel) {
      std::string name = StringValue(Find(c, "name"));
      auto [at, added] = labelLines.emplace(name, c.Line);
      if (!added) fail("label " + name + " is already on line " + std::to_string(at->second));
    }
  }
}

// The value of an expression that is one literal of type, or null. A string literal comes
// through a temporary of its own: "____0 = "text"; ____arg = ____0".
const TCustomParam* LoneLiteral(const TOrbaParser& expr, uint8_t type) {
  const auto& ops = expr.Ops();
  auto copies = [](const TOpeData& op) { return op.OpCode == ocTo && op.Operands.size() == 1 && op.Operands[0].Value; };
  if (ops.empty() || ops.size() > 2 || !copies(ops.back()) || ops.back().Target != "____arg") return nullptr;
  const TOperand* source = &ops.back().Operands[0];
  if (ops.size() == 2) {
    if (!copies(ops[0]) || !source->IsName ||
        static_cast<const TParamVar&>(*source->Value).TargetName() != ops[0].Target)
      return nullptr;
    source = &ops[0].Operands[0];
  }
  return !source->IsName && source->Value->ValueType() == type ? source->Value.get() : nullptr;
}

// A property code written as a number must name one of the properties.
void CheckPropertyCode(const TOrbaParser& expr, const std::string& file, int line) {
  const TCustomParam* literal = LoneLiteral(expr, PT_INT);
  if (!literal) return;
  const int32_t code = literal->AsInt();
  if (code < 0 || code >= kPropertyCount)
    throw ESourceCheck(file, line, "property: " + std::to_string(code) + " is no property code (0 to " +
                                       std::to_string(kPropertyCount - 1) + ")");
}

// The largest value a byte field takes, where fewer than 256 mean something.
int32_t ByteFieldMax(uint8_t kind, std::string_view field) {
  if (kind == cmd::kVarNew && field == "scope") return 3;
  if (kind == cmd::kPCReset && field == "wholestack") return 1;
  return 255;
}

// A component is named by text; a lone bare word in its place reads a variable, which is
// what the author meant only when the project has such a variable.
void CheckComponentName(const TOrbaParser& expr, const TProjectOutline& project, const std::string& what,
                        const std::string& file, int line) {
  const auto& ops = expr.Ops();
  if (ops.size() != 1 || ops[0].OpCode != ocTo || ops[0].Operands.size() != 1 || !ops[0].Operands[0].IsName) return;
  const std::string& name = static_cast<const TParamVar&>(*ops[0].Operands[0].Value).TargetName();
  if (name.empty() || name[0] == '@' || IsTempName(name) || project.Variables.count(LowerCase(name))) return;
  throw ESourceCheck(file, line, what + ": " + name + " is no variable of the project; a component's name is text, in quotes: \"" +
                                     name + "\"");
}

// The fields and properties whose value is the name of a component.
bool NamesComponent(std::string_view field) {
  for (const char* f : {"component", "window", "menu", "motion", "names", "name", "parent"})
    if (field == f) return true;
  return false;
}

bool IsHandlerProperty(int code) {
  const std::string_view name = PropertyName(code);
  return name.substr(0, 2) == "on";
}

}  // namespace

void CompilePage(std::string_view source, const std::string& file, TPage& page, const TProjectOutline* project) {
  TSourcePage src = ParsePageSource(source, file);
  const bool check = !src.Unchecked;
  if (check) CheckStructure(src, file);
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

  // A page named by a command or a handler: this page, one of the project's, or (without the
  // project) unknown, and then only labels of this page are checked.
  const TPageOutline* self = nullptr;
  auto outlineOf = [&](const std::string& name, const std::string& file, int line) -> const TPageOutline* {
    if (name.empty() || SameText(name, page.Name)) return self;
    if (!project) return nullptr;
    const TPageOutline* found = project->FindPage(name);
    if (!found && check) throw ESourceCheck(file, line, "the project has no page " + name);
    return found;
  };

  struct Pending {
    size_t Command, Field;
    std::string Label;  // empty: an index written as a number
    int Line;
  };
  std::vector<Pending> targets;
  struct Handler {
    std::string Text;
    const char* Property;
    int Line;
  };
  std::vector<Handler> handlers;
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
        case TFieldKind::Expr:
          CompileExpressionValue(value, *v.Expr, file, c.Line, f.Name);
          if (check && std::string_view(f.Name) == "property") CheckPropertyCode(*v.Expr, file, c.Line);
          if (check && project && NamesComponent(f.Name)) CheckComponentName(*v.Expr, *project, f.Name, file, c.Line);
          break;
        case TFieldKind::String: v.Text = StringValue(value); break;
        case TFieldKind::Block:
          if (value.substr(0, 5) == "@hex:") {
            auto bytes = Unhex(std::string_view(value).substr(5));
            if (!bytes) fail(std::string(f.Name) + ": bad hex");
            v.Text.assign(bytes->begin(), bytes->end());
          } else {
            v.Text = StringValue(value);
            if (c.Kind == cmd::kTextIns && !v.Text.empty()) v.Text = CompileTaggedText(v.Text);
          }
          break;
        case TFieldKind::Byte: {
          int32_t n = 0;
          bool found = false;
          if (c.Kind == cmd::kVarNew && std::string_view(f.Name) == "type")
            for (int t = 1; t <= 4; ++t)
              if (value == kTypeNames[t]) n = t, found = true;
          if (!found && !value.empty() && (!ParseInt(value, n) || n < 0 || n > 255))
            fail(std::string(f.Name) + " takes a number from 0 to 255");
          if (check && c.Kind == cmd::kVarNew && std::string_view(f.Name) == "type" && (n < 1 || n > 4))
            throw ESourceCheck(file, c.Line, "type takes int, float, flag or string (1 to 4)");
          if (const int32_t max = ByteFieldMax(c.Kind, f.Name); check && n > max)
            throw ESourceCheck(file, c.Line, std::string(f.Name) + " takes a number from 0 to " + std::to_string(max));
          v.Number = n;
          break;
        }
        case TFieldKind::Int32: {
          TIndexRule rule = IndexRule(c.Kind, f.Name);
          if (value.empty()) {
            if (rule == TIndexRule::Auto) autos.emplace_back(page.Commands.size(), i);
            v.Number = 0;
          } else if (value[0] != '"' && ParseInt(value, v.Number)) {
            if (rule == TIndexRule::Label) targets.push_back({page.Commands.size(), i, "", c.Line});
          } else if (rule == TIndexRule::Label) {
            targets.push_back({page.Commands.size(), i, StringValue(value), c.Line});
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
          if (check && project && NamesComponent(f.Name))
            for (const auto& item : v.List) CheckComponentName(*item, *project, f.Name, file, c.Line);
          break;
        case TFieldKind::Props:
          for (int code = 0; code < kPropertyCount; ++code) {
            if (!HasProperty(page.PropertySets[c.Kind], code)) continue;
            TOrbaParser& expr = cmd->Props.Add(code);
            CompileExpressionValue(std::string(Find(c, PropertyName(code))), expr, file, c.Line, PropertyName(code));
            if (check && project && NamesComponent(PropertyName(code)))
              CheckComponentName(expr, *project, PropertyName(code), file, c.Line);
            // A handler written as one string can be checked; one computed at run time cannot.
            const TCustomParam* handler = IsHandlerProperty(code) ? LoneLiteral(expr, PT_STR) : nullptr;
            if (handler && !handler->AsString().empty()) handlers.push_back({handler->AsString(), PropertyName(code), c.Line});
          }
          break;
      }
    }
    page.Commands.push_back(std::move(cmd));
  }

  auto shape = Shape(page);
  for (auto [ci, fi] : autos) page.Commands[ci]->Fields[fi].Number = AutoIndex(shape, static_cast<int32_t>(ci));
  const TPageOutline own = PageOutline(page);
  self = &own;
  for (const Pending& p : targets) {
    TCommand& cmd = *page.Commands[p.Command];
    const std::string& target = NamedPage(cmd);
    const TPageOutline* outline = outlineOf(target, file, p.Line);
    const std::string inPage = target.empty() ? std::string() : " in page " + target;
    int32_t& index = cmd.Fields[p.Field].Number;
    if (!p.Label.empty()) {
      index = outline ? FindOutlineLabel(*outline, p.Label) : -1;
      if (index < 0) throw ESourceError(file, p.Line, "unknown label " + p.Label + inPage);
    } else if (check && outline && (index < 0 || index >= outline->CommandCount)) {
      throw ESourceCheck(file, p.Line, "command index " + std::to_string(index) + " is outside the page" + inPage);
    }
  }
  // Every command that names a page without a label still names a page.
  if (project && check)
    for (size_t ci = 0; ci < page.Commands.size(); ++ci) {
      const TCommand& cmd = *page.Commands[ci];
      for (size_t fi = 0; fi < cmd.Fields.size(); ++fi)
        if (cmd.Layout().Fields[fi].Kind == TFieldKind::String && std::string_view(cmd.Layout().Fields[fi].Name) == "page")
          outlineOf(cmd.Fields[fi].Text, file, src.Commands[ci].Line);
    }
  if (check)
    for (const Handler& h : handlers) {
      auto [pageName, label] = SplitHandler(h.Text);
      const TPageOutline* outline = outlineOf(pageName, file, h.Line);
      if (outline && !label.empty() && FindOutlineLabel(*outline, label) < 0)
        throw ESourceCheck(file, h.Line,
                           std::string(h.Property) + ": unknown label " + label + " in page " + pageName);
    }
}

namespace {

// The page as source; unchecked writes the directive that keeps what the checks refuse.
std::string PrintPage(const TPage& page, bool unchecked) {
  std::string out;
  int line = 0;
  auto emit = [&](const std::string& text) {
    out += text;
    out += '\n';
    ++line;
  };
  if (unchecked) emit("#unchecked");
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
          if (c.Kind() == cmd::kTextIns) {
            // Stored glyphs print as the tagged text they compile from, when that is exact.
            try {
              TKvWord word;
              TKvViewStream glyphs({reinterpret_cast<const uint8_t*>(v.Text.data()), v.Text.size()});
              word.LoadGlyphs(glyphs);
              const std::string tagged = TaggedTextOf(word);
              if (!tagged.empty() && CompileTaggedText(tagged) == v.Text) {
                text = Quote(tagged);
                break;
              }
            } catch (const EOrbaError&) {
            }
          }
          bool plain = FromUtf8(ToUtf8(v.Text)) == v.Text &&
                       std::none_of(v.Text.begin(), v.Text.end(), [](char ch) { return static_cast<unsigned char>(ch) < 0x20; });
          text = plain ? Quote(v.Text) : "@hex:" + Hex(std::span(reinterpret_cast<const uint8_t*>(v.Text.data()), v.Text.size()));
          break;
        }
        case TFieldKind::Byte:
          if (c.Kind() == cmd::kVarNew && std::string_view(f.Name) == "type" && v.Number >= 1 && v.Number <= 4) {
            text = kTypeNames[v.Number];
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
          const std::string& target = NamedPage(c);
          if (rule == TIndexRule::Label && (target.empty() || SameText(target, page.Name)) && v.Number >= 0 &&
              v.Number < static_cast<int32_t>(page.Commands.size())) {
            const TCommand& at = *page.Commands[v.Number];
            int32_t dummy = 0;
            if (at.Kind() == cmd::kLabel && page.FindLabel(at.Fields[0].Text) == v.Number && !ParseInt(at.Fields[0].Text, dummy)) {
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
    if (c.Kind() == cmd::kComment && values.size() == 1 && values[0].first == "text" && !c.Fields[0].Text.empty()) {
      std::string utf8 = ToUtf8(c.Fields[0].Text);
      if (FromUtf8(utf8) == c.Fields[0].Text && Trim(utf8) == utf8 && utf8[0] != '"' &&
          utf8.find_first_of("\r\n") == std::string::npos) {
        emit(text + " " + utf8);
        continue;
      }
    }
    if (c.Kind() == cmd::kComment && !values.empty() && values[0].first == "text") values[0].second = Quote(c.Fields[0].Text);
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

}  // namespace

std::string DecompilePage(const TPage& page) {
  std::string text = PrintPage(page, false);
  // A page another tool made may hold what our compiler refuses; its source says to keep it.
  try {
    TPage again;
    again.Name = page.Name;
    CompilePage(text, "", again);
  } catch (const ESourceCheck&) {
    return PrintPage(page, true);
  } catch (const EOrbaError&) {
  }
  return text;
}

// ---- project description ------------------------------------------------------------------

namespace {

// The words of a project line: bare words and quoted strings (converted to code page 932).
// A "//" outside a quoted string starts a comment to the end of the line.
std::vector<std::string> ProjectWords(std::string_view s, const std::string& file, int line) {
  std::vector<std::string> words;
  size_t i = 0;
  while (i < s.size()) {
    if (s[i] == ' ' || s[i] == '\t' || s[i] == '\r') {
      ++i;
      continue;
    }
    if (s.substr(i, 2) == "//") break;
    size_t end;
    if (s[i] == '"') {
      end = QuotedEnd(s, i);
      auto q = end == std::string_view::npos ? std::nullopt : Unquote(s.substr(i, end - i));
      if (!q) throw ESourceError(file, line, "unfinished string");
      words.push_back(*q);
    } else {
      end = std::min(s.find_first_of(" \t\r", i), s.find("//", i));
      if (end == std::string_view::npos) end = s.size();
      words.push_back(FromUtf8(s.substr(i, end - i)));
    }
    i = end;
  }
  return words;
}

}  // namespace

void CompileProjectDescription(std::string_view source, const std::string& file, TProjectFile& project,
                               const TProjectOutline* pages) {
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
    } else if (key == "start" || key == "exit") {
      count(1);
      if (pages && !w[1].empty() && !pages->FindPage(w[1])) fail("the project has no page " + w[1]);
      (key == "start" ? p.StartPage : p.ExitPage) = w[1];
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
      int32_t type = -1;
      for (int t = 1; t <= 4; ++t)
        if (w[1] == kTypeNames[t]) type = t;
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
  for (const auto& v : p.Variables) {
    out << "var " << (v.Type >= 1 && v.Type <= 4 ? kTypeNames[v.Type] : std::to_string(v.Type)) << " " << str(v.Name);
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

TCompiledProject CompileProjectFolder(const std::filesystem::path& dir, const std::vector<std::filesystem::path>& skip) {
  namespace fs = std::filesystem;
  if (!fs::is_directory(dir)) throw EOrbaError(FromUtf8(dir.string()) + " is not a folder");
  const fs::path description = dir / kProjectSourceName;
  if (!fs::exists(description)) throw EOrbaError("the project has no " + std::string(kProjectSourceName));

  std::vector<fs::path> skipped;
  for (const fs::path& p : skip) skipped.push_back(fs::weakly_canonical(p));
  std::vector<std::string> files;
  for (auto it = fs::recursive_directory_iterator(dir); it != fs::recursive_directory_iterator(); ++it) {
    // A build's output inside the source (an archive, or a folder of compiled files: the one
    // being made, or an earlier one, which holds a compiled project file) would be packed
    // into the next build.
    if (std::find(skipped.begin(), skipped.end(), fs::weakly_canonical(it->path())) != skipped.end() ||
        (it->is_directory() && fs::exists(it->path() / "orba.rpb"))) {
      it.disable_recursion_pending();
      continue;
    }
    std::string rel = fs::relative(it->path(), dir).generic_string();
    // Hidden files (".keep", editor state) are no part of the game.
    if (it->is_regular_file() && rel[0] != '.' && rel.find("/.") == std::string::npos) files.push_back(rel);
  }
  std::sort(files.begin(), files.end());

  TCompiledProject out;
  struct Source {
    std::string Rel, Stored, Text;
  };
  std::vector<Source> sources;
  std::vector<std::string> pictures;
  TProjectOutline outline;  // every page of the project and the variables it creates
  for (const std::string& rel : files) {
    if (rel == kProjectSourceName) continue;
    if (EndsWithNoCase(rel, kPageSourceExt)) {
      Source s{rel, StoredPathOf(CompiledPageName(rel)), ReadText(dir / rel)};
      outline.AddPage(s.Stored, PageSourceOutline(s.Text, rel));
      sources.push_back(std::move(s));
    } else if (EndsWithNoCase(rel, kPictureSourceExt)) {
      pictures.push_back(rel);
    } else {
      if (EndsWithNoCase(rel, ".rsb")) {
        // A page shipped compiled: commands may name it and its labels too.
        TPage page;
        try {
          page.LoadFromBytes(ReadFileBytes((dir / rel).string()));
        } catch (const std::exception&) {
          throw EOrbaError(FromUtf8(rel) + ": not a compiled page");
        }
        outline.AddPage(StoredPathOf(rel), PageOutline(page));
      }
      out.OtherFiles.push_back(rel);
    }
  }

  TProjectFile project;
  CompileProjectDescription(ReadText(description), kProjectSourceName, project, &outline);
  for (const TProjectVariable& v : project.Variables) outline.Variables.insert(LowerCase(v.Name));
  {
    TKvMemoryStream s;
    project.SaveToStream(s);
    out.ProjectFile = s.TakeBytes();
  }
  for (const std::string& rel : pictures) {
    // A project's pictures are layered images, stored in the order its image seed draws.
    TTarnFrameList picture(project.ImageSeed);
    try {
      picture.AddPngFrame(ReadFileBytes((dir / rel).string()));
    } catch (const std::exception&) {
      throw EOrbaError(FromUtf8(rel) + ": not a PNG picture the build can read");
    }
    TKvMemoryStream bytes;
    picture.SaveToStream(bytes);
    out.Pictures.emplace_back(StoredPathOf(CompiledPictureName(rel)), bytes.TakeBytes());
  }

  std::set<std::string> made{"orba.rpb"};  // lower-case stored names of the compiled files
  for (const Source& s : sources) made.insert(LowerCase(s.Stored));
  for (const auto& [stored, bytes] : out.Pictures)
    if (!made.insert(LowerCase(stored)).second) throw EOrbaError(stored + " would be made twice");
  for (const std::string& rel : out.OtherFiles)
    if (made.count(LowerCase(StoredPathOf(rel))))
      throw EOrbaError(FromUtf8(rel) + " would be overwritten by a compiled file");
  for (const Source& s : sources) {
    TPage page;
    page.Name = s.Stored;
    CompilePage(s.Text, s.Rel, page, &outline);
    TKvMemoryStream bytes;
    page.SaveToStream(bytes);
    out.Pages.emplace_back(s.Stored, bytes.TakeBytes());
  }
  return out;
}

}  // namespace orba
