#include "components/propaccess.h"

#include "base/cp932.h"
#include "base/error.h"
#include "values/params.h"

namespace orba {

namespace {

bool Reads(const TOrbaObject& o, int32_t code) { return PropertyInfo(code).Readers & o.KindMask(); }

// Writing: false when the kind ignores the write; raises for the codes that refuse writes.
bool Writes(const TOrbaObject& o, int32_t code) {
  const TPropertyInfo& p = PropertyInfo(code);
  if (p.WriteRaises) throw EOrbaError(Sjis(u8"SetPropエラー"));
  return p.Writers & o.KindMask();
}

bool InRange(int32_t code) { return code >= 0 && code < kPropertyCodeCount; }

// The cell of the border picture codes, of their alignment codes, the index of the particle
// parameters: -1 for other codes.
int32_t BorderSourceCell(int32_t code) { return code >= PR_BORDERSOURCETL && code <= PR_BORDERSOURCEBR ? code - 54 : -1; }
int32_t BorderAlignCell(int32_t code) {
  if (code >= PR_BORDERHALIGNT && code <= PR_BORDERHALIGNB) return code * 3 - 188;
  if (code >= PR_BORDERVALIGNL && code <= PR_BORDERVALIGNR) return code - 63;
  return -1;
}
int32_t ParamIndex(int32_t code) { return code == PR_PARAM1 ? 0 : code == PR_PARAM2 ? 1 : code == PR_PARAM3 ? 2 : -1; }

}  // namespace

int32_t PropInt(const TOrbaObject& o, int32_t code) {
  if (!Reads(o, code)) return 0;
  if (int32_t cell = BorderAlignCell(code); cell >= 0) return o.GetBorderAlign(cell);
  if (code == PR_CARETX) return o.GetCaretPos().X;
  if (code == PR_CARETY) return o.GetCaretPos().Y;
  return o.GetInt(code);
}

double PropFloat(const TOrbaObject& o, int32_t code) {
  if (!Reads(o, code)) return 0;
  if (int32_t i = ParamIndex(code); i >= 0) return o.GetParam(i);
  return o.GetFloat(code);
}

bool PropBool(const TOrbaObject& o, int32_t code) { return Reads(o, code) && o.GetBool(code); }

std::string PropStr(const TOrbaObject& o, int32_t code) {
  if (!Reads(o, code)) return {};
  if (int32_t cell = BorderSourceCell(code); cell >= 0) return o.GetBorderSource(cell);
  return o.GetStr(code);
}

void SetPropInt(TOrbaObject& o, int32_t code, int32_t v) {
  if (!Writes(o, code)) return;
  if (int32_t cell = BorderAlignCell(code); cell >= 0) o.SetBorderAlign(cell, v);
  else o.SetInt(code, v);
}

void SetPropFloat(TOrbaObject& o, int32_t code, double v) {
  if (!Writes(o, code)) return;
  if (int32_t i = ParamIndex(code); i >= 0) o.SetParam(i, v);
  else o.SetFloat(code, v);
}

void SetPropBool(TOrbaObject& o, int32_t code, bool v) {
  if (Writes(o, code)) o.SetBool(code, v);
}

void SetPropStr(TOrbaObject& o, int32_t code, const std::string& v) {
  if (!Writes(o, code)) return;
  if (int32_t cell = BorderSourceCell(code); cell >= 0) o.SetBorderSource(cell, v);
  else o.SetStr(code, v);
}

void GetPropByCode(const TOrbaObject& o, int32_t code, TCustomParam& out) {
  if (!InRange(code)) throw EOrbaError(Sjis(u8"GetPropエラー"));
  switch (PropertyInfo(code).Kind) {
    case TPropKind::Int: out.SetInt(PropInt(o, code)); break;
    case TPropKind::Float: out.SetFloat(PropFloat(o, code)); break;
    case TPropKind::Bool: out.SetFlag(PropBool(o, code)); break;
    case TPropKind::Str: out.SetString(PropStr(o, code)); break;
  }
}

void SetPropByCode(TOrbaObject& o, int32_t code, const TCustomParam& value) {
  if (!InRange(code)) throw EOrbaError(Sjis(u8"SetPropエラー"));
  switch (PropertyInfo(code).Kind) {
    case TPropKind::Int: SetPropInt(o, code, value.AsInt()); break;
    case TPropKind::Float: SetPropFloat(o, code, static_cast<double>(value.AsFloat())); break;
    case TPropKind::Bool: SetPropBool(o, code, value.AsFlag()); break;
    case TPropKind::Str: SetPropStr(o, code, value.AsString()); break;
  }
}

}  // namespace orba
