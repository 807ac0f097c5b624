// The system variables: 49 variables whose values live elsewhere in the player (mouse and
// keys, clock and date, the current call, screen, sound, focus). The subsystems that own
// those values answer through ISystemVariableSource as they are built; every question has
// a default, which is the answer while its subsystem is absent. The same source answers the
// built-in functions that read player state kept outside the values (the save captions).
#pragma once

#include <array>
#include <cstdint>
#include <ctime>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "values/params.h"

namespace orba {

struct TBaseInput;
struct TKeyboardState;

enum : uint8_t {
  SV_RESULT = 0, SV_LCLICK, SV_RCLICK, SV_LPUSH, SV_RPUSH, SV_MOUSEX, SV_MOUSEY, SV_TEXTDELAY,
  SV_HISTORYCOUNT, SV_PARAMCOUNT, SV_PARAMSTR, SV_SENDER, SV_SCRWIDTH, SV_SCRHEIGHT, SV_TICKCOUNT,
  SV_PCTICKCOUNT, SV_UPDATECOUNT, SV_YEAR, SV_MONTH, SV_DAY, SV_WEEK, SV_HOUR, SV_MIN, SV_SEC,
  SV_FONTS, SV_FIXEDFONTS, SV_FULLSCR, SV_CURSOR, SV_SELSTR, SV_SELINDEX, SV_PI, SV_CGDITHER,
  SV_1HOUR, SV_1MIN, SV_1SEC, SV_KEYPUSH, SV_KEYCLICK, SV_DISPLAYMODECOUNT, SV_DISPLAYMODEINDEX,
  SV_TITLE, SV_SOUNDON, SV_ACTIVECOMPO, SV_KEYREPEAT, SV_HISTORYMAXCOUNT, SV_TEMP, SV_MIDIPORT,
  SV_MIDIPORTS, SV_WHEELDOWN, SV_WHEELUP,
  SV_COUNT
};

// Name of system variable number n (0..48), "@Result" and so on.
std::string_view SystemVariableName(int32_t n);

// One saved game as the caption functions see it.
struct TSlotCaption {
  std::string Caption;
  int32_t Slot = 0;
  friend bool operator==(const TSlotCaption&, const TSlotCaption&) = default;
};

// What the system variables read and write. The defaults answer from the process state,
// the clock, and the input state when one is attached; the rest give their documented
// default and ignore writes.
class ISystemVariableSource {
 public:
  virtual ~ISystemVariableSource() = default;

  // Input of the current screen page and the keyboard, written by the window each tick.
  void AttachInput(TBaseInput* mouse, TKeyboardState* keys) { mouse_ = mouse; keys_ = keys; }
  // The same with the mouse state of both pages, read from the one shown: a screen change
  // moves the clicks the script sees to the other page.
  void AttachInput(std::array<TBaseInput, 2>* pages, std::function<int()> shown, TKeyboardState* keys) {
    pages_ = pages;
    shown_ = std::move(shown);
    keys_ = keys;
  }

  // The result value of the current call frame; null without a frame.
  virtual TCustomParam* CallResult() { return nullptr; }
  // Argument texts of the current call.
  virtual std::vector<std::string> CallArgs() { return {}; }
  // The sender component of the running event if it still exists, else empty.
  virtual std::string Sender() { return {}; }

  virtual bool Click(bool right);
  virtual void SetClick(bool right, bool value);
  virtual bool ButtonHeld(bool right);
  virtual int32_t MouseX();
  virtual int32_t MouseY();
  // Moves the mouse on the player screen.
  virtual void MoveMouse(int32_t x, int32_t y);
  // Wheel turned down (or up) this frame.
  virtual bool Wheel(bool up);
  // Key k (virtual-key code) held, clicked or repeating this frame.
  enum class KeyState { Push, Click, Repeat };
  virtual bool Key(KeyState state, int32_t k);

  virtual int32_t HistoryCount() { return 0; }
  virtual int32_t HistoryMaxCount() { return historyMax_; }  // 0: no limit
  virtual void SetHistoryMaxCount(int32_t n) { historyMax_ = n; }

  virtual int32_t ScreenWidth() { return 640; }
  virtual int32_t ScreenHeight() { return 480; }
  virtual std::string Title() { return {}; }

  virtual int32_t TickCount();      // game time in ms
  virtual int32_t PcTickCount();    // the system's millisecond clock
  virtual int32_t UpdateCount();    // ticks that reached the component update
  virtual std::tm Now();            // local date and time

  // Installed font names, CR LF between them; fixed pitch only when fixedOnly.
  virtual std::string Fonts(bool /*fixedOnly*/) { return {}; }

  virtual bool FullScreen() { return false; }
  virtual void SetFullScreen(bool) {}
  virtual bool CGDither() { return dither_; }
  virtual void SetCGDither(bool on) { dither_ = on; }
  virtual int32_t DisplayModeCount() { return 0; }
  virtual int32_t DisplayModeIndex() { return 0; }
  virtual void SetDisplayModeIndex(int32_t) {}
  virtual bool SoundOn() { return soundOn_; }
  virtual void SetSoundOn(bool on) { soundOn_ = on; }
  virtual std::string ActiveCompo() { return {}; }
  virtual void SetActiveCompo(std::string_view) {}
  virtual std::string MidiPort();
  virtual void SetMidiPort(std::string_view) {}
  virtual std::vector<std::string> MidiPorts();

  // The project's list of saved games: the caption stored with a slot (empty when none),
  // and the whole list in its order.
  virtual std::string SaveCaption(int32_t /*slot*/) { return {}; }
  virtual std::vector<TSlotCaption> SaveCaptions() { return {}; }

  // Whether the project lets a file be used (the project may ask for another disc); without
  // a project, whether the virtual file manager finds it.
  virtual bool FileAvailable(const std::string& name);

 private:
  TBaseInput* Mouse();

  TBaseInput* mouse_ = nullptr;
  std::array<TBaseInput, 2>* pages_ = nullptr;
  std::function<int()> shown_;
  TKeyboardState* keys_ = nullptr;
  int32_t historyMax_ = 0;
  bool dither_ = false;
  bool soundOn_ = true;
};

class TParamCollection;

// The value object of a system variable: every operation goes to the player state the
// number stands for. Writing a read-only one is ignored; shape, fill and copy operations
// raise "内部エラー" except on "@Result" and "@Temp", which forward every operation to the
// value they stand for.
class TParamSystem final : public TCustomParam {
 public:
  // A number outside 0..48 raises "内部エラー".
  TParamSystem(uint8_t number, TParamCollection& collection);

  uint8_t Number() const { return number_; }

  int32_t Count() const override;
  void SetCount(int32_t n) override;
  uint8_t ValueType() const override;

  bool AsFlag() const override { return ItemFlag(0); }
  TExtended AsFloat() const override { return ItemFloat(0); }
  int32_t AsInt() const override { return ItemInt(0); }
  std::string AsString() const override { return ItemString(0); }
  void SetFlag(bool b) override;
  void SetFloat(TExtended x) override;
  void SetInt(int32_t i) override;
  void SetString(std::string_view s) override;

  int32_t ItemInt(int32_t k) const override;
  void SetItemInt(int32_t k, int32_t i) override;
  TExtended ItemFloat(int32_t k) const override;
  void SetItemFloat(int32_t k, TExtended x) override;
  bool ItemFlag(int32_t k) const override;
  void SetItemFlag(int32_t k, bool b) override;
  std::string ItemString(int32_t k) const override;
  void SetItemString(int32_t k, std::string_view s) override;

  int32_t DimCount() const override;
  int32_t DimSize(int32_t d) const override;
  void AssignRaw(const TCustomParam& other) override;
  void SetDims(std::span<const int32_t> sizes) override;
  void FillInt(int32_t i) override;
  void FillFloat(TExtended x) override;
  void FillFlag(bool b) override;
  void FillString(std::string_view s) override;
  void CopyFrom(const TCustomParam& other) override;
  void SaveToStream(TBinaryWriter& w) const override;
  void LoadFromStream(TBinaryReader& r) override;
  void MakeScalar() override;
  int32_t IndexOfValue(std::string_view text, bool caseSensitive, bool partial) const override;
  const TCustomParam* Holder() const override;

 private:
  struct Value;
  // The value "@Result" or "@Temp" stands for, or null (then reads give 0 and writes are
  // ignored). Other numbers give null too.
  TCustomParam* Forwarded() const;
  bool Forwards() const { return number_ == SV_RESULT || number_ == SV_TEMP; }
  bool IsArray() const;
  Value Read(int32_t k) const;
  void Write(const Value& v);

  uint8_t number_;
  TParamCollection& collection_;
};

}  // namespace orba
