// Operation lists made from a string of choice bytes, for checking that the evaluator's short
// paths give exactly what the plain step gives. The lists are shaped the way the compiler
// shapes them ("T = a op b", then "V = T" or "____arg = T"), over variables of every value
// type, arrays and element bindings, so that each short path is taken with every pair of
// types. The test draws the bytes at random; the fuzz target takes them from the fuzzer.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "base/binio.h"
#include "base/stream.h"
#include "values/paramcollection.h"
#include "values/parser.h"
#include "values/params.h"

namespace orba::testing_support {

class TChoices {
 public:
  explicit TChoices(std::span<const uint8_t> bytes) : bytes_(bytes) {}
  // A number below n (0 once the bytes are used up).
  size_t Below(size_t n) { return pos_ < bytes_.size() ? bytes_[pos_++] % n : 0; }
  bool Done() const { return pos_ >= bytes_.size(); }

 private:
  std::span<const uint8_t> bytes_;
  size_t pos_ = 0;
};

// The variables every list runs against: one scalar of each type and an array of each type.
inline const char* const kDiffVariables[] = {"i", "f", "b", "s", "ia", "fa", "ba", "sa"};

inline void AddDiffVariables(TParamCollection& vars) {
  const uint8_t types[] = {PT_INT, PT_FLOAT, PT_BOOL, PT_STR};
  const int32_t dims[] = {2, 2};
  for (int k = 0; k < 8; ++k) {
    TCustomParam& p = *vars.AddVariable(types[k % 4], kDiffVariables[k])->Param();
    if (k >= 4) p.SetDims(dims);
  }
  TCustomParam& s = *vars.FindVariable("s")->Param();
  s.SetString("12");
  vars.FindVariable("f")->Param()->SetFloat(2.5);
  vars.FindVariable("i")->Param()->SetInt(-7);
  vars.FindVariable("sa")->Param()->SetItemString(1, "TRUE");
}

// A stored operation list of up to maxOps operations.
inline std::vector<uint8_t> RandomOpList(TChoices& c, size_t maxOps = 12) {
  struct Op {
    uint8_t code;
    std::string target;
    std::vector<std::pair<uint8_t, std::string>> operands;  // tag 0 (name) or a literal tag, and its text
  };
  std::vector<Op> ops;
  std::vector<std::string> temps;
  int counter = 0;
  auto operand = [&]() -> std::pair<uint8_t, std::string> {
    static const char* const literals[] = {"0", "1", "-1", "3", "2147483647", "2.5", "-0.1", "1E20", "0.1",
                                           "", "1", "2", "TRUE", "FALSE", "abc", "2.5"};
    switch (c.Below(4)) {
      case 0:
        if (!temps.empty()) return {0, temps[c.Below(temps.size())]};
        [[fallthrough]];
      case 1: return {0, kDiffVariables[c.Below(8)]};
      default: {
        size_t k = c.Below(16);
        // Entries 0-4 are integers, 5-8 floats, 9-15 strings; a flag now and then.
        if (c.Below(8) == 0) return {3, k % 2 ? "1" : "0"};
        return {static_cast<uint8_t>(k < 5 ? 1 : k < 9 ? 2 : 4), literals[k]};
      }
    }
  };
  const size_t count = 1 + c.Below(maxOps);
  while (ops.size() < count && !c.Done()) {
    static const uint8_t codes[] = {ocTo,     ocPlus,  ocMinus, ocMul,    ocDiv,    ocMod,      ocOr,
                                    ocAnd,    ocXor,   ocEqual, ocBig,    ocSmall,  ocEBig,     ocESmall,
                                    ocShiftL, ocShiftR, ocComboStr, ocNEqual, ocDimTo, ocPlus, ocComboStr};
    Op op;
    op.code = codes[c.Below(sizeof codes)];
    if (op.code == ocDimTo) {
      // A binding of an array element: "____d_N" = arr[x, y].
      op.target = "____d_" + std::to_string(counter++);
      op.operands = {{0, kDiffVariables[4 + c.Below(4)]}, {1, std::to_string(c.Below(2))}, {1, std::to_string(c.Below(3))}};
    } else {
      op.operands.push_back(operand());
      if (op.code != ocTo) op.operands.push_back(operand());
      switch (c.Below(8)) {
        case 0: op.target = kDiffVariables[c.Below(8)]; break;
        case 1:  // an earlier temporary again, an element binding among them
          if (!temps.empty()) {
            op.target = temps[c.Below(temps.size())];
            break;
          }
          [[fallthrough]];
        default: op.target = "____" + std::to_string(counter++);
      }
    }
    const bool fresh = op.target.starts_with("____") &&
                       std::find(temps.begin(), temps.end(), op.target) == temps.end();
    ops.push_back(op);
    if (fresh) {
      // Its result copied into a variable, as the compiler ends an assignment.
      if (c.Below(2) == 0) ops.push_back({ocTo, kDiffVariables[c.Below(8)], {{0, op.target}}});
      else temps.push_back(op.target);
    }
  }
  if (!ops.empty() && c.Below(2) == 0) {
    const Op& last = ops.back();
    ops.push_back({ocTo, "____arg", {{0, last.target}}});
  }

  TKvMemoryStream out;
  TBinaryWriter w(out);
  w.I32(static_cast<int32_t>(ops.size()));
  for (const Op& op : ops) {
    w.U8(op.code);
    w.String(op.target);
    w.I32(static_cast<int32_t>(op.operands.size()));
    for (const auto& [tag, text] : op.operands) {
      w.U8(tag);
      switch (tag) {
        case 1: w.I32(static_cast<int32_t>(std::stoll(text))); break;
        case 2: w.Extended(std::stod(text)); break;
        case 3: w.U8(text == "1"); break;
        default: w.String(text); break;
      }
    }
  }
  return out.TakeBytes();
}

// Everything an evaluation can change, as text: each variable's type, shape and elements
// (floats exactly, in hexadecimal), the result's, and the error that ended it.
inline std::string DescribeValue(const TCustomParam& p) {
  std::string out = std::to_string(p.ValueType()) + "[";
  for (int32_t d : p.Dims()) out += std::to_string(d) + ",";
  out += "]";
  for (int32_t k = 0; k < p.Count(); ++k) {
    if (p.ValueType() == PT_FLOAT) {
      char hex[64];
      std::snprintf(hex, sizeof hex, " %La", static_cast<long double>(p.ItemFloat(k)));
      out += hex;
    } else {
      out += " '" + p.ItemString(k) + "'";
    }
  }
  return out;
}

inline std::string EvaluationState(const TParamCollection& vars, const TOrbaParser& parser) {
  std::string out;
  for (const char* name : kDiffVariables) out += std::string(name) + ": " + DescribeValue(*vars.FindVariable(name)->Param()) + "\n";
  if (const TCustomParam* r = parser.Result()) out += "result: " + DescribeValue(*r) + "\n";
  return out + "error: " + parser.LastError() + "\n";
}

// Runs the list with and without the short paths, on fresh variables each, twice in a row
// (the second run reuses the temporaries' storage of the first). Returns the two states of
// the first run that differs, or two empty texts.
inline std::pair<std::string, std::string> ShortPathDifference(const std::vector<uint8_t>& list) {
  TParamCollection fastVars, plainVars;
  AddDiffVariables(fastVars);
  AddDiffVariables(plainVars);
  TOrbaParser fast, plain;
  TKvMemoryStream a(list), b(list);
  fast.ReadOps(a);
  plain.ReadOps(b);
  plain.SetShortPaths(false);
  for (int run = 0; run < 2; ++run) {
    fast.Execute(fastVars);
    plain.Execute(plainVars);
    std::string f = EvaluationState(fastVars, fast), p = EvaluationState(plainVars, plain);
    if (f != p) return {f, p};
  }
  return {};
}

}  // namespace orba::testing_support
