#include "values/exprprint.h"

#include <cmath>
#include <cstdio>
#include <map>
#include <span>
#include <vector>

#include "base/binio.h"
#include "values/convert.h"
#include "values/sysfunc.h"

namespace orba {

namespace {

// Turns a stored operation list back into expression text (code page 932).
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

}  // namespace

std::optional<std::string> ExpressionText(const TOrbaParser& parser, const std::function<bool(const std::string&)>& accept) {
  TKvMemoryStream stored;
  parser.WriteOps(stored);
  const std::vector<uint8_t>& bytes = stored.Bytes();
  // unary chooses how a subtraction from 0 is written: "-x" first, else "0 - x".
  for (bool unary : {true, false}) {
    auto text = TExpressionWriter().Write(bytes, unary);
    if (!text || (accept && !accept(*text))) continue;
    try {
      TBuildOrbaParser build;
      if (!text->empty()) build.Parse(*text);
      TKvMemoryStream s;
      build.WriteOps(s);
      if (s.Bytes() == bytes) return text;
    } catch (const EOrbaError&) {
    }
  }
  return std::nullopt;
}

}  // namespace orba
