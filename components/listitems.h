// What the expression functions ask of the list components about their items: the check
// marks of a menu's lines, and the enabled and shown states of a preview menu's buttons.
// The list components implement these; the functions reach them through them, so they work
// with any list kind (and with stand-ins in tests).
#pragma once

#include <cstdint>
#include <string>

namespace orba {

class ILineChecks {
 public:
  // False outside the lines.
  virtual bool GetChecked(int32_t line) const = 0;
  virtual void SetChecked(int32_t line, bool checked) = 0;

 protected:
  ~ILineChecks() = default;
};

class IButtonStates {
 public:
  // The position of the button of that name (bytes compared exactly), or -1.
  virtual int32_t IndexOfButton(const std::string& name) const = 0;
  virtual bool GetEnabled(int32_t button) const = 0;
  virtual void SetEnabled(int32_t button, bool enabled) = 0;
  virtual bool GetShown(int32_t button) const = 0;
  virtual void SetShown(int32_t button, bool shown) = 0;

 protected:
  ~IButtonStates() = default;
};

}  // namespace orba
