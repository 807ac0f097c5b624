// Operation lists back to expression text: a compiled page holds only the operations, so the
// tools that print a page as source (and people reading a trace) need the text that compiles
// to them. The compiler numbers its temporaries by where they appear in the text, so the text
// is written the way it was most likely typed, without parentheses the precedence does not
// need.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "values/parser.h"

namespace orba {

// Text (code page 932) that compiles to exactly the operations of parser, and that accept,
// when given, takes; nullopt when there is none (operations the compiler never makes).
std::optional<std::string> ExpressionText(const TOrbaParser& parser,
                                          const std::function<bool(const std::string&)>& accept = {});

}  // namespace orba
