// Reading and writing a component's property by code, as scripts do: the row of the property
// table decides whether the kind answers (others read 0, false or "" and ignore writes) and
// which of the four typed accessors, or which indexed accessor, serves the code. One table
// lookup and one virtual call; no name is looked up.
#pragma once

#include <cstdint>
#include <string>

#include "components/orbaobject.h"

namespace orba {

class TCustomParam;

int32_t PropInt(const TOrbaObject& o, int32_t code);
double PropFloat(const TOrbaObject& o, int32_t code);
bool PropBool(const TOrbaObject& o, int32_t code);
std::string PropStr(const TOrbaObject& o, int32_t code);
void SetPropInt(TOrbaObject& o, int32_t code, int32_t v);
void SetPropFloat(TOrbaObject& o, int32_t code, double v);
void SetPropBool(TOrbaObject& o, int32_t code, bool v);
void SetPropStr(TOrbaObject& o, int32_t code, const std::string& v);

// The property into a variable (converted to the variable's type); a code outside 0..161
// raises "GetPropエラー".
void GetPropByCode(const TOrbaObject& o, int32_t code, TCustomParam& out);
// A value into the property, converted to the property's kind; a code outside 0..161 and the
// emission point of particles (PR_APPEARX, PR_APPEARY) raise "SetPropエラー".
void SetPropByCode(TOrbaObject& o, int32_t code, const TCustomParam& value);

}  // namespace orba
