// Conversion between the half-width characters of code page 932 (ASCII and half-width
// kana) and their full-width double-byte forms, for the script's width functions.
#pragma once

#include <string>
#include <string_view>

namespace orba {

// Every single-byte character becomes its full-width form; a kana followed by a voicing
// mark that combines becomes the one voiced kana. Double-byte characters stay; single bytes
// without a full-width form (controls, 0x7F, 0x80, 0xA0, 0xFD..0xFF) are dropped.
std::string HanToZen(std::string_view s);
// The reverse: listed full-width characters become their single-byte forms (a voiced kana
// two bytes); single bytes stay; every other double-byte character is dropped.
std::string ZenToHan(std::string_view s);

}  // namespace orba
