// The built-in functions that expressions call by name: the fixed table whose row numbers
// compiled pages store, and the one manager that runs a function on an operation's
// operands and writes its result into the operation's target.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "values/params.h"

namespace orba {

class TParamCollection;

struct TSysFuncInfo {
  const char* Name;
  int8_t MinArgs;  // -1: no limit
  int8_t MaxArgs;  // -1: no limit
  uint8_t ResultType;
};

constexpr int32_t kSysFuncCount = 142;

// Row number of the table; the number is below kSysFuncCount.
const TSysFuncInfo& SysFuncInfo(int32_t number);
// Number of the function of exactly this name (case-sensitive), or -1.
int32_t FindSysFunc(std::string_view name);

// Function numbers the evaluator treats specially.
constexpr int32_t kFuncGetProp = 2;

// Highest component property code; GetProp of a code above it raises
// "GetPropの引数が違います".
constexpr int32_t kMaxPropertyCode = 161;
// The value type a property code reads as (int, float, bool or str: PT_INT .. PT_STR), for
// the temporary that receives GetProp; code must be 0..kMaxPropertyCode.
uint8_t PropertyValueType(int32_t code);

class TSysFuncMan {
 public:
  // Runs function number on operands (resolved references are TParamVar objects bound to
  // their variables, literals are plain values) and writes the result into target. A
  // number of kSysFuncCount or more does nothing. Errors are raised.
  void CallFunction(TParamCollection& vars, TCustomParam& target, int32_t number,
                    std::span<TCustomParam* const> operands) const;
};

// The player's one function manager; it has no state.
const TSysFuncMan& SysFuncMan();

// Longest text a function builds by repetition, padding or replacing (StringOfChar,
// IntToStr digits, StringReplace, ArrayToString): longer requests raise
// "文字列が長すぎます" instead of exhausting memory.
constexpr int64_t kMaxBuiltText = int64_t{1} << 24;

}  // namespace orba
