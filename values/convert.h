// The conversions between the four value types of script variables, the same for scalars,
// array elements and fills. Text is code page 932; only "TRUE" is a true flag; "$" starts
// a hexadecimal integer; a float becomes an integer by truncation toward zero keeping the
// low 32 bits. Unparsable text converts to 0 without failing.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "base/extended.h"

namespace orba {

std::string IntToText(int32_t i);
// General form with up to 15 significant digits: integral values print without a decimal
// point, and an exponent "E" is used for very large or small magnitudes ('1E20', '1E-5').
std::string FloatToText(TExtended x);
inline std::string FlagToText(bool b) { return b ? "TRUE" : "FALSE"; }

// A decimal integer with an optional sign, or "$" and up to 32 bits of hexadecimal digits;
// spaces may lead. 0 for anything else, and for decimals outside the 32-bit range.
int32_t TextToInt(std::string_view s);
// The same reading, telling whether the text was a valid integer (out stays as it was when
// not).
bool TryTextToInt(std::string_view s, int32_t& out);
// A decimal float (digits, optional fraction and exponent) with optional surrounding
// spaces, read to the precision of TExtended; 0.0 for anything else, including values too
// large for it.
TExtended TextToFloat(std::string_view s);
bool TryTextToFloat(std::string_view s, TExtended& out);
inline bool TextToFlag(std::string_view s) { return s == "TRUE"; }

// Truncation toward zero keeping the low 32 bits; NaN and infinities give 0.
int32_t FloatToInt(TExtended x);

}  // namespace orba
