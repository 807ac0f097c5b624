// One player runs per project folder. The folder is turned into a key (upper-cased, with a
// trailing delimiter, delimiters made '-') and the key names the lock a second player finds.
#pragma once

#include <string>
#include <string_view>

namespace orba {

// text: code page 932. Upper-cases ASCII letters (never a second byte), appends '\' unless
// the text ends with one, then turns every '\' that is not the second byte of a double-byte
// character into '-'. "c:\games\a" gives "C:-GAMES-A-".
std::string BuildInstanceKey(std::string_view text);

}  // namespace orba
