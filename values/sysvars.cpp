#include "values/sysvars.h"

#include <chrono>
#include <numbers>

#include "base/cp932.h"
#include "base/process.h"
#include "components/input_state.h"
#include "files/vrmanager.h"
#include "values/convert.h"
#include "values/paramcollection.h"

namespace orba {

namespace {

enum class Kind : uint8_t { Forward, Scalar, Array };

struct SysInfo {
  const char* name;
  uint8_t type;
  Kind kind;
  bool writable;
};

constexpr SysInfo kSys[SV_COUNT] = {
    {"@Result", PT_NONE, Kind::Forward, true},
    {"@LClick", PT_BOOL, Kind::Scalar, true},
    {"@RClick", PT_BOOL, Kind::Scalar, true},
    {"@LPush", PT_BOOL, Kind::Scalar, false},
    {"@RPush", PT_BOOL, Kind::Scalar, false},
    {"@MouseX", PT_INT, Kind::Scalar, true},
    {"@MouseY", PT_INT, Kind::Scalar, true},
    {"@TextDelay", PT_INT, Kind::Scalar, true},
    {"@HistoryCount", PT_INT, Kind::Scalar, false},
    {"@ParamCount", PT_INT, Kind::Scalar, false},
    {"@ParamStr", PT_STR, Kind::Array, false},
    {"@Sender", PT_STR, Kind::Scalar, false},
    {"@ScrWidth", PT_INT, Kind::Scalar, false},
    {"@ScrHeight", PT_INT, Kind::Scalar, false},
    {"@TickCount", PT_INT, Kind::Scalar, false},
    {"@PCTickCount", PT_INT, Kind::Scalar, false},
    {"@UpdateCount", PT_INT, Kind::Scalar, false},
    {"@Year", PT_INT, Kind::Scalar, false},
    {"@Month", PT_INT, Kind::Scalar, false},
    {"@Day", PT_INT, Kind::Scalar, false},
    {"@Week", PT_INT, Kind::Scalar, false},
    {"@Hour", PT_INT, Kind::Scalar, false},
    {"@Min", PT_INT, Kind::Scalar, false},
    {"@Sec", PT_INT, Kind::Scalar, false},
    {"@Fonts", PT_STR, Kind::Scalar, false},
    {"@FixedFonts", PT_STR, Kind::Scalar, false},
    {"@FullScr", PT_BOOL, Kind::Scalar, true},
    {"@Cursor", PT_STR, Kind::Scalar, true},
    {"@SelStr", PT_STR, Kind::Scalar, true},
    {"@SelIndex", PT_INT, Kind::Scalar, true},
    {"@Pi", PT_FLOAT, Kind::Scalar, false},
    {"@CGDither", PT_BOOL, Kind::Scalar, true},
    {"@1Hour", PT_FLOAT, Kind::Scalar, false},
    {"@1Min", PT_FLOAT, Kind::Scalar, false},
    {"@1Sec", PT_FLOAT, Kind::Scalar, false},
    {"@KeyPush", PT_BOOL, Kind::Array, false},
    {"@KeyClick", PT_BOOL, Kind::Array, false},
    {"@DisplayModeCount", PT_INT, Kind::Scalar, false},
    {"@DisplayModeIndex", PT_INT, Kind::Scalar, true},
    {"@Title", PT_STR, Kind::Scalar, false},
    {"@SoundON", PT_BOOL, Kind::Scalar, true},
    {"@ActiveCompo", PT_STR, Kind::Scalar, true},
    {"@KeyRepeat", PT_BOOL, Kind::Array, false},
    {"@HistoryMaxCount", PT_INT, Kind::Scalar, true},
    {"@Temp", PT_NONE, Kind::Forward, true},
    {"@MidiPort", PT_STR, Kind::Scalar, true},
    {"@MidiPorts", PT_STR, Kind::Array, false},
    {"@WheelDown", PT_BOOL, Kind::Scalar, false},
    {"@WheelUp", PT_BOOL, Kind::Scalar, false},
};

constexpr int32_t kKeyElements = 258;  // 256 keys, then wheel down and wheel up

}  // namespace

std::string_view SystemVariableName(int32_t n) {
  if (n < 0 || n >= SV_COUNT) RaiseInternalError();
  return kSys[n].name;
}

// ---- default source ------------------------------------------------------------------

bool ISystemVariableSource::FileAvailable(const std::string& name) { return VrFileManager().HasFile(name); }

TBaseInput* ISystemVariableSource::Mouse() {
  return pages_ ? &(*pages_)[static_cast<size_t>(shown_() & 1)] : mouse_;
}

bool ISystemVariableSource::Click(bool right) {
  TBaseInput* mouse = Mouse();
  return mouse && (right ? mouse->RightClick : mouse->LeftClick);
}

void ISystemVariableSource::SetClick(bool right, bool value) {
  TBaseInput* mouse = Mouse();
  if (mouse) (right ? mouse->RightClick : mouse->LeftClick) = value;
}

bool ISystemVariableSource::ButtonHeld(bool right) {
  TBaseInput* mouse = Mouse();
  return mouse && (right ? mouse->RightHeld : mouse->LeftHeld);
}

int32_t ISystemVariableSource::MouseX() {
  TBaseInput* mouse = Mouse();
  return mouse ? mouse->MouseX : 0;
}
int32_t ISystemVariableSource::MouseY() {
  TBaseInput* mouse = Mouse();
  return mouse ? mouse->MouseY : 0;
}

void ISystemVariableSource::MoveMouse(int32_t x, int32_t y) {
  TBaseInput* mouse = Mouse();
  if (mouse) mouse->SetMouse(x, y);
}

bool ISystemVariableSource::Wheel(bool up) {
  TBaseInput* mouse = Mouse();
  return mouse && (up ? mouse->WheelUpTick : mouse->WheelDownTick) > 0;
}

bool ISystemVariableSource::Key(KeyState state, int32_t k) {
  if (k == 256) return Wheel(false);
  if (k == 257) return Wheel(true);
  if (!keys_ || k < 0 || k > 255) return false;
  switch (state) {
    case KeyState::Push: return keys_->KeyDown[k] != 0;
    case KeyState::Click: return keys_->KeyClickedTick[k] != 0;
    case KeyState::Repeat: return keys_->KeyRepeatTick[k] != 0;
  }
  return false;
}

int32_t ISystemVariableSource::TickCount() { return Process().GameTime; }
int32_t ISystemVariableSource::UpdateCount() { return Process().UpdateCount; }

int32_t ISystemVariableSource::PcTickCount() {
  auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch());
  return static_cast<int32_t>(static_cast<uint32_t>(ms.count()));
}

std::tm ISystemVariableSource::Now() {
  std::time_t t = std::time(nullptr);
  std::tm* local = std::localtime(&t);
  return local ? *local : std::tm{};
}

std::string ISystemVariableSource::MidiPort() { return Sjis(u8"MIDIマッパー"); }
std::vector<std::string> ISystemVariableSource::MidiPorts() { return {Sjis(u8"MIDIマッパー")}; }

// ---- system variable values ----------------------------------------------------------------

struct TParamSystem::Value {
  uint8_t type = PT_INT;
  int32_t i = 0;
  TExtended x = 0.0;
  bool b = false;
  std::string s;

  int32_t AsInt() const {
    switch (type) {
      case PT_FLOAT: return FloatToInt(x);
      case PT_BOOL: return b ? 1 : 0;
      case PT_STR: return TextToInt(s);
      default: return i;
    }
  }
  TExtended AsFloat() const {
    switch (type) {
      case PT_FLOAT: return x;
      case PT_BOOL: return b ? 1.0 : 0.0;
      case PT_STR: return TextToFloat(s);
      default: return i;
    }
  }
  bool AsFlag() const {
    switch (type) {
      case PT_FLOAT: return x != 0;
      case PT_BOOL: return b;
      case PT_STR: return TextToFlag(s);
      default: return i != 0;
    }
  }
  std::string AsString() const {
    switch (type) {
      case PT_FLOAT: return FloatToText(x);
      case PT_BOOL: return FlagToText(b);
      case PT_STR: return s;
      default: return IntToText(i);
    }
  }
  static Value Int(int32_t v) { Value r; r.type = PT_INT; r.i = v; return r; }
  static Value Float(TExtended v) { Value r; r.type = PT_FLOAT; r.x = v; return r; }
  static Value Flag(bool v) { Value r; r.type = PT_BOOL; r.b = v; return r; }
  static Value Text(std::string v) { Value r; r.type = PT_STR; r.s = std::move(v); return r; }
};

TParamSystem::TParamSystem(uint8_t number, TParamCollection& collection) : number_(number), collection_(collection) {
  if (number >= SV_COUNT) RaiseInternalError();
}

TCustomParam* TParamSystem::Forwarded() const {
  if (number_ == SV_RESULT) return collection_.Source().CallResult();
  if (number_ == SV_TEMP) {
    TParamCollectionItem* item = collection_.FindVariable(collection_.TempVarName);
    return item ? item->Param() : nullptr;
  }
  return nullptr;
}

bool TParamSystem::IsArray() const { return kSys[number_].kind == Kind::Array; }

int32_t TParamSystem::Count() const {
  if (Forwards()) {
    TCustomParam* f = Forwarded();
    if (!f) return 1;
    TForwardGuard guard(kSys[number_].name);
    return f->Count();
  }
  switch (number_) {
    case SV_PARAMSTR: return static_cast<int32_t>(collection_.Source().CallArgs().size());
    case SV_KEYPUSH: case SV_KEYCLICK: case SV_KEYREPEAT: return kKeyElements;
    case SV_MIDIPORTS: return static_cast<int32_t>(collection_.Source().MidiPorts().size());
    default: return 1;
  }
}

uint8_t TParamSystem::ValueType() const {
  if (Forwards()) {
    TCustomParam* f = Forwarded();
    if (!f) return PT_NONE;
    TForwardGuard guard(kSys[number_].name);
    return f->ValueType();
  }
  return kSys[number_].type;
}

TParamSystem::Value TParamSystem::Read(int32_t k) const {
  ISystemVariableSource& src = collection_.Source();
  if (IsArray()) {
    // Elements outside an array of the player state read as false or empty.
    switch (number_) {
      case SV_PARAMSTR: {
        auto args = src.CallArgs();
        return Value::Text(k >= 0 && k < static_cast<int32_t>(args.size()) ? args[static_cast<size_t>(k)] : std::string());
      }
      case SV_MIDIPORTS: {
        // An index outside the port list names the system's MIDI mapper, like port 0.
        auto ports = src.MidiPorts();
        return Value::Text(k >= 0 && k < static_cast<int32_t>(ports.size()) ? ports[static_cast<size_t>(k)] : Sjis(u8"MIDIマッパー"));
      }
      case SV_KEYPUSH: return Value::Flag(src.Key(ISystemVariableSource::KeyState::Push, k));
      case SV_KEYCLICK: return Value::Flag(src.Key(ISystemVariableSource::KeyState::Click, k));
      default: return Value::Flag(src.Key(ISystemVariableSource::KeyState::Repeat, k));
    }
  }
  if (k != 0) RaiseBadIndex();
  switch (number_) {
    case SV_LCLICK: return Value::Flag(src.Click(false));
    case SV_RCLICK: return Value::Flag(src.Click(true));
    case SV_LPUSH: return Value::Flag(src.ButtonHeld(false));
    case SV_RPUSH: return Value::Flag(src.ButtonHeld(true));
    case SV_MOUSEX: return Value::Int(src.MouseX());
    case SV_MOUSEY: return Value::Int(src.MouseY());
    case SV_TEXTDELAY: return Value::Int(collection_.TextDelay);
    case SV_HISTORYCOUNT: return Value::Int(src.HistoryCount());
    case SV_PARAMCOUNT: return Value::Int(static_cast<int32_t>(src.CallArgs().size()));
    case SV_SENDER: return Value::Text(src.Sender());
    case SV_SCRWIDTH: return Value::Int(src.ScreenWidth());
    case SV_SCRHEIGHT: return Value::Int(src.ScreenHeight());
    case SV_TICKCOUNT: return Value::Int(src.TickCount());
    case SV_PCTICKCOUNT: return Value::Int(src.PcTickCount());
    case SV_UPDATECOUNT: return Value::Int(src.UpdateCount());
    case SV_YEAR: return Value::Int(src.Now().tm_year + 1900);
    case SV_MONTH: return Value::Int(src.Now().tm_mon + 1);
    case SV_DAY: return Value::Int(src.Now().tm_mday);
    case SV_WEEK: return Value::Int(src.Now().tm_wday + 1);
    case SV_HOUR: return Value::Int(src.Now().tm_hour);
    case SV_MIN: return Value::Int(src.Now().tm_min);
    case SV_SEC: return Value::Int(src.Now().tm_sec);
    case SV_FONTS: return Value::Text(src.Fonts(false));
    case SV_FIXEDFONTS: return Value::Text(src.Fonts(true));
    case SV_FULLSCR: return Value::Flag(src.FullScreen());
    case SV_CURSOR: return Value::Text(collection_.CursorName);
    case SV_SELSTR: return Value::Text(collection_.SelStr);
    case SV_SELINDEX: return Value::Int(collection_.SelIndex);
    case SV_PI: return Value::Float(std::numbers::pi_v<TExtended>);
    case SV_CGDITHER: return Value::Flag(src.CGDither());
    case SV_1HOUR: return Value::Float(1.0 / 24);
    case SV_1MIN: return Value::Float(1.0 / 1440);
    case SV_1SEC: return Value::Float(1.0 / 86400);
    case SV_DISPLAYMODECOUNT: return Value::Int(src.DisplayModeCount());
    case SV_DISPLAYMODEINDEX: return Value::Int(src.DisplayModeIndex());
    case SV_TITLE: return Value::Text(src.Title());
    case SV_SOUNDON: return Value::Flag(src.SoundOn());
    case SV_ACTIVECOMPO: return Value::Text(src.ActiveCompo());
    case SV_HISTORYMAXCOUNT: return Value::Int(src.HistoryMaxCount());
    case SV_MIDIPORT: return Value::Text(src.MidiPort());
    case SV_WHEELDOWN: return Value::Flag(src.Wheel(false));
    case SV_WHEELUP: return Value::Flag(src.Wheel(true));
    default: RaiseInternalError();
  }
}

void TParamSystem::Write(const Value& v) {
  if (!kSys[number_].writable || IsArray()) return;
  ISystemVariableSource& src = collection_.Source();
  switch (number_) {
    case SV_LCLICK: src.SetClick(false, v.AsFlag()); break;
    case SV_RCLICK: src.SetClick(true, v.AsFlag()); break;
    case SV_MOUSEX: src.MoveMouse(v.AsInt(), src.MouseY()); break;
    case SV_MOUSEY: src.MoveMouse(src.MouseX(), v.AsInt()); break;
    case SV_TEXTDELAY: collection_.TextDelay = v.AsInt(); break;
    case SV_FULLSCR: src.SetFullScreen(v.AsFlag()); break;
    case SV_CURSOR: collection_.CursorName = v.AsString(); break;
    case SV_SELSTR: collection_.SelStr = v.AsString(); break;
    case SV_SELINDEX: collection_.SelIndex = v.AsInt(); break;
    case SV_CGDITHER: src.SetCGDither(v.AsFlag()); break;
    case SV_DISPLAYMODEINDEX: src.SetDisplayModeIndex(v.AsInt()); break;
    case SV_SOUNDON: src.SetSoundOn(v.AsFlag()); break;
    case SV_ACTIVECOMPO: src.SetActiveCompo(v.AsString()); break;
    case SV_HISTORYMAXCOUNT: src.SetHistoryMaxCount(v.AsInt()); break;
    case SV_MIDIPORT: src.SetMidiPort(v.AsString()); break;
    default: RaiseInternalError();
  }
}

// Operations of "@Result" and "@Temp" go to the value they stand for, guarded against a
// loop (a "@Temp" naming a reference to "@Temp"); without one they read as 0 and ignore
// writes. Every other number goes to the player state.
#define ORBA_SYS(forwardExpr, fallback, ownExpr)   \
  if (Forwards()) {                                \
    TCustomParam* f = Forwarded();                 \
    if (!f) return fallback;                       \
    TForwardGuard guard(kSys[number_].name);       \
    return forwardExpr;                            \
  }                                                \
  return ownExpr;

void TParamSystem::SetCount(int32_t n) { ORBA_SYS(f->SetCount(n), void(), RaiseInternalError()) }
void TParamSystem::SetFlag(bool b) { ORBA_SYS(f->SetFlag(b), void(), Write(Value::Flag(b))) }
void TParamSystem::SetFloat(TExtended x) { ORBA_SYS(f->SetFloat(x), void(), Write(Value::Float(x))) }
void TParamSystem::SetInt(int32_t i) { ORBA_SYS(f->SetInt(i), void(), Write(Value::Int(i))) }
void TParamSystem::SetString(std::string_view s) { ORBA_SYS(f->SetString(s), void(), Write(Value::Text(std::string(s)))) }

int32_t TParamSystem::ItemInt(int32_t k) const { ORBA_SYS(f->ItemInt(k), 0, Read(k).AsInt()) }
TExtended TParamSystem::ItemFloat(int32_t k) const { ORBA_SYS(f->ItemFloat(k), 0.0, Read(k).AsFloat()) }
bool TParamSystem::ItemFlag(int32_t k) const { ORBA_SYS(f->ItemFlag(k), false, Read(k).AsFlag()) }
std::string TParamSystem::ItemString(int32_t k) const { ORBA_SYS(f->ItemString(k), std::string(), Read(k).AsString()) }

// Element writes: a scalar's only element is the variable itself; arrays are read-only.
void TParamSystem::SetItemInt(int32_t k, int32_t i) {
  ORBA_SYS(f->SetItemInt(k, i), void(), (IsArray() ? void() : (k == 0 ? Write(Value::Int(i)) : RaiseBadIndex())))
}
void TParamSystem::SetItemFloat(int32_t k, TExtended x) {
  ORBA_SYS(f->SetItemFloat(k, x), void(), (IsArray() ? void() : (k == 0 ? Write(Value::Float(x)) : RaiseBadIndex())))
}
void TParamSystem::SetItemFlag(int32_t k, bool b) {
  ORBA_SYS(f->SetItemFlag(k, b), void(), (IsArray() ? void() : (k == 0 ? Write(Value::Flag(b)) : RaiseBadIndex())))
}
void TParamSystem::SetItemString(int32_t k, std::string_view s) {
  ORBA_SYS(f->SetItemString(k, s), void(),
           (IsArray() ? void() : (k == 0 ? Write(Value::Text(std::string(s))) : RaiseBadIndex())))
}

int32_t TParamSystem::DimCount() const { ORBA_SYS(f->DimCount(), 1, 1) }
int32_t TParamSystem::DimSize(int32_t d) const { ORBA_SYS(f->DimSize(d), 1, (IsArray() && d == 0 ? Count() : 1)) }
void TParamSystem::AssignRaw(const TCustomParam& other) { ORBA_SYS(f->AssignRaw(other), void(), RaiseInternalError()) }
void TParamSystem::SetDims(std::span<const int32_t> sizes) { ORBA_SYS(f->SetDims(sizes), void(), RaiseInternalError()) }
void TParamSystem::FillInt(int32_t i) { ORBA_SYS(f->FillInt(i), void(), RaiseInternalError()) }
void TParamSystem::FillFloat(TExtended x) { ORBA_SYS(f->FillFloat(x), void(), RaiseInternalError()) }
void TParamSystem::FillFlag(bool b) { ORBA_SYS(f->FillFlag(b), void(), RaiseInternalError()) }
void TParamSystem::FillString(std::string_view s) { ORBA_SYS(f->FillString(s), void(), RaiseInternalError()) }
void TParamSystem::CopyFrom(const TCustomParam& other) { ORBA_SYS(f->CopyFrom(other), void(), RaiseInternalError()) }
void TParamSystem::MakeScalar() { ORBA_SYS(f->MakeScalar(), void(), void()) }
int32_t TParamSystem::IndexOfValue(std::string_view text, bool caseSensitive, bool partial) const {
  ORBA_SYS(f->IndexOfValue(text, caseSensitive, partial), -1, TCustomParam::IndexOfValue(text, caseSensitive, partial))
}
const TCustomParam* TParamSystem::Holder() const { ORBA_SYS(f->Holder(), this, this) }

#undef ORBA_SYS

// System variables are never part of a saved game or status.
void TParamSystem::SaveToStream(TBinaryWriter&) const { RaiseInternalError(); }
void TParamSystem::LoadFromStream(TBinaryReader&) { RaiseInternalError(); }

}  // namespace orba
