// The names of the component properties: scripts and tools write a property by the name of
// its constant without "PR_", in lower case ("left" for PR_LEFT, code 3). Components and the
// project source both read this one table.
#pragma once

#include <string_view>

namespace orba {

// The name of property code 0..kMaxPropertyCode, or "" for another code.
const char* PropertyName(int code);
// The code of a property name (exact, lower case), or -1.
int PropertyCode(std::string_view name);

}  // namespace orba
