// Reading a command's expression fields at run time: an empty field, or an evaluation that
// gives nothing, reads as the default the command names.
#pragma once

#include <string>

#include "script/page.h"
#include "values/paramcollection.h"

namespace orba {

// The value of an expression (a property block's, a list's), or null when it has none.
inline const TCustomParam* Eval(TOrbaParser* expr, TParamCollection* vars = Variables()) {
  if (!expr || expr->Ops().empty()) return nullptr;
  if (vars) expr->Execute(*vars);
  else expr->Execute();
  return expr->Result();
}
// The value of an expression field, or null when it has none.
inline const TCustomParam* Eval(const TFieldValue& f, TParamCollection* vars = Variables()) {
  return f.Present ? Eval(f.Expr.get(), vars) : nullptr;
}
inline bool Flag(const TFieldValue& f, bool otherwise, TParamCollection* vars = Variables()) {
  const TCustomParam* v = Eval(f, vars);
  return v ? v->AsFlag() : otherwise;
}
inline int32_t Int(const TFieldValue& f, int32_t otherwise) {
  const TCustomParam* v = Eval(f);
  return v ? v->AsInt() : otherwise;
}
inline std::string Text(const TFieldValue& f) {
  const TCustomParam* v = Eval(f);
  return v ? v->AsString() : std::string();
}

// A state kept by a kind's handler, from the command it belongs to.
template <typename T>
T& StateOf(TCommand& c) {
  return static_cast<T&>(*c.State);
}
template <typename T>
const T& StateOf(const TCommand& c) {
  return static_cast<const T&>(*c.State);
}

}  // namespace orba
