// Errors of the player are exceptions carrying a message in code page 932: the same text a
// dialog shows to the player. Readers of files raise EReadError when data ends too soon or
// a count does not fit what remains.
#pragma once

#include <stdexcept>
#include <string>

namespace orba {

class EOrbaError : public std::runtime_error {
 public:
  // message: code page 932 bytes.
  explicit EOrbaError(const std::string& message) : std::runtime_error(message) {}
  std::string Message() const { return what(); }
};

// A stored structure is shorter than it claims or holds an impossible count or length.
class EReadError : public EOrbaError {
 public:
  using EOrbaError::EOrbaError;
};

// The text of the exception being handled (call inside a catch block), in UTF-8 for a dialog
// or a terminal: the player's own errors carry code page 932, the libraries' are ASCII or
// UTF-8 already.
std::string CurrentErrorText();

}  // namespace orba
