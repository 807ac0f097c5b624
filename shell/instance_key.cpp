#include "shell/instance_key.h"

#include "base/cp932.h"

namespace orba {

std::string BuildInstanceKey(std::string_view text) {
  std::string key = UpperCase(text);
  bool endsWithDelimiter = !key.empty() && key.back() == '\\' && !IsTrailByteAt(key, key.size() - 1);
  if (!endsWithDelimiter) key += '\\';
  for (size_t i = 0; i < key.size(); i += CharLenAt(key, i))
    if (key[i] == '\\') key[i] = '-';
  return key;
}

}  // namespace orba
