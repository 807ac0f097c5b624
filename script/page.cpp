#include "script/page.h"

#include <algorithm>

#include "base/cp932.h"
#include "base/error.h"
#include "files/vrmanager.h"
#include "script/commandhandlers.h"
#include "values/paramcollection.h"

namespace orba {

namespace {

using K = TFieldKind;
constexpr int32_t kAlways = -1;

TFieldLayout E(const char* name, int32_t after = kAlways) { return {K::Expr, name, after}; }
TFieldLayout S(const char* name, int32_t after = kAlways) { return {K::String, name, after}; }
TFieldLayout I(const char* name, int32_t after = kAlways) { return {K::Int32, name, after}; }
TFieldLayout B(const char* name, int32_t after = kAlways) { return {K::Byte, name, after}; }
TFieldLayout Blk(const char* name) { return {K::Block, name, kAlways}; }
TFieldLayout L(const char* name) { return {K::ExprList, name, kAlways}; }
TFieldLayout P() { return {K::Props, "props", kAlways}; }

[[noreturn]] void BadCommand() { throw EOrbaError(Sjis(u8"不正なコマンド")); }

}  // namespace

const std::array<TCommandLayout, kCommandKinds>& CommandLayouts() {
  namespace H = handlers;
  static const std::array<TCommandLayout, kCommandKinds> layouts = {{
      {"TComIf", "if", {E("condition")}, &H::kIf},
      {"TComElseif", "elseif", {E("condition")}, &H::kElseif},
      {"TComElse", "else", {}, &H::kElse},
      {"TComLabel", "label", {S("name")}, &H::kLabel},
      {"TComJump", "jump", {S("page"), I("target"), E("condition")}, &H::kJump},
      {"TComCall", "call", {S("page"), I("target"), S("result"), E("condition"), L("arguments")}, &H::kCall},
      {"TComExit", "exit", {E("condition")}, &H::kExit},
      {"TComWait", "wait", {E("condition"), E("time"), E("blockevents", 106)}, &H::kWait},
      {"TComBoxNew", "boxnew", {P()}, H::Create(2)},
      {"TComImgNew", "imgnew", {P()}, H::Create(8)},
      {"TComMesNew", "mesnew", {P()}, H::Create(13)},
      {"TComTimer", "timer", {P()}, H::Create(15)},
      {"TComMovie", "movie", {P()}, H::Create(16)},
      {"TComFlip", "flip", {E("kind"), E("time"), E("reverse"), E("selection"), L("names"), E("clearold"),
                            E("param1"), E("param2"), E("mask", 100), E("blockevents", 106)}, &H::kFlip},
      {"TComCalc", "calc", {E("expression")}, &H::kCalc},
      {"TComVarNew", "varnew", {S("name"), B("type"), E("value"), B("scope")}, &H::kVarNew},
      {"TComVarDel", "vardel", {S("name")}, &H::kVarDel},
      {"TComGetProp", "getprop", {E("component"), E("property"), S("variable")}, &H::kGetProp},
      {"TComSetProp", "setprop", {E("component"), E("property"), E("value")}, &H::kSetProp},
      {"TComObjDel", "objdel", {E("component")}, &H::kObjDel},
      {"TComTextIns", "textins", {Blk("text"), E("window"), E("markread"), E("waitend"), E("blockevents", 106)}, &H::kTextIns},
      {"TComMovieStop", "moviestop", {E("component"), E("fade"), E("waitend"), E("blockevents", 106)}, &H::kMovieStop},
      {"TComClrHist", "clrhist", {}, &H::kClrHist},
      {"TComCinema", "cinema", {P()}, H::Create(4)},
      {"TComCaption", "caption", {P()}, H::Create(9)},
      {"TComMenu", "menu", {P()}, H::Create(12)},
      {"TComMenuClose", "menuclose", {E("menu")}, &H::kMenuClose},
      {"TComComment", "comment", {S("text")}, &H::kComment},
      {"TComTextClr", "textclr", {E("window")}, &H::kTextClr},
      {"TComCallHist", "callhist", {E("window"), E("first"), E("count"), E("flag")}, &H::kCallHist},
      {"TComBtnNew", "btnnew", {P()}, H::Create(3)},
      {"TComWhile", "while", {E("condition"), I("end")}, &H::kWhile},
      {"TComWhileInit", "whileinit", {E("init")}, &H::kWhileInit},
      {"TComWhileLoop", "whileloop", {E("step"), I("start")}, &H::kWhileLoop},
      {"TComBreak", "break", {E("condition"), I("target")}, &H::kBreak},
      {"TComContinue", "continue", {E("condition"), I("target")}, &H::kContinue},
      {"TComParticleNew", "particlenew", {P()}, H::Create(14)},
      {"TComFireNew", "firenew", {P()}, H::Create(6)},
      {"TComGameSave", "gamesave", {E("slot"), S("page"), I("index", 104), E("caption")}, &H::kGameSave},
      {"TComGameLoad", "gameload", {E("slot")}, &H::kGameLoad},
      {"TComPCReset", "pcreset", {S("page"), I("target"), B("wholestack")}, &H::kPCReset},
      {"TComReset", "reset", {S("page"), I("target"), B("unused")}, &H::kReset},
      {"TComSound", "sound", {P()}, H::Create(17)},
      {"TComEditNew", "editnew", {P()}, H::Create(5)},
      {"TComMemoNew", "memonew", {P()}, H::Create(11)},
      {"TComTerminate", "terminate", {}, &H::kTerminate},
      {"TComDoEvent", "doevent", {}, &H::kDoEvent},
      {"TComClrRead", "clrread", {}, &H::kClrRead},
      {"TComMapImgNew", "mapimgnew", {P()}, H::Create(18)},
      {"TComWaveNew", "wavenew", {P()}, H::Create(19)},
      {"TComTileNew", "tilenew", {P()}, H::Create(20)},
      {"TComSliderNew", "slidernew", {P()}, H::Create(21)},
      {"TComScrollbarNew", "scrollbarnew", {P()}, H::Create(22)},
      {"TComGaugeNew", "gaugenew", {P()}, H::Create(23)},
      {"TComCGCaption", "cgcaption", {P()}, H::Create(24)},
      {"TComMediaPlay", "mediaplay", {E("component")}, &H::kMediaPlay},
      {"TComPrevMenuNew", "prevmenunew", {P()}, H::Create(25)},
      {"TComPropMotion", "propmotion", {E("motion"), E("component"), E("property"), E("end"), E("time"),
                                        E("curve"), E("paused", 107)}, &H::kPropMotion},
      {"TComEntryHist", "entryhist", {E("window")}, &H::kEntryHist},
      {"TComCabinetSave", "cabinetsave", {P(), E("selection"), L("names")}, &H::kCabinetSave},
      {"TComCabinetLoad", "cabinetload", {P(), E("selection"), L("names")}, &H::kCabinetLoad},

  }};
  return layouts;
}

TOrbaParser* TPropertyBlock::operator[](int code) const {
  auto it = std::lower_bound(items_.begin(), items_.end(), code, [](const auto& item, int c) { return item.first < c; });
  return it != items_.end() && it->first == code ? it->second.get() : nullptr;
}

TOrbaParser& TPropertyBlock::Add(int code) {
  auto it = std::lower_bound(items_.begin(), items_.end(), code, [](const auto& item, int c) { return item.first < c; });
  if (it != items_.end() && it->first == code) {
    it->second = std::make_unique<TOrbaParser>();
    return *it->second;
  }
  return *items_.emplace(it, code, std::make_unique<TOrbaParser>())->second;
}

TCommand::TCommand(TPage& page, uint8_t kind)
    : page_(&page),
      handler_(CommandLayouts()[kind].Handler),
      kind_(kind),
      plain_(handler_->Traits.Plain),
      fixedRunOn_(handler_->Traits.RunOn),
      alwaysDisabled_(handler_->Traits.AlwaysDisabled) {
  State = handler_->NewState();
  const auto& layout = Layout();
  Fields.resize(layout.Fields.size());
  for (size_t i = 0; i < layout.Fields.size(); ++i) {
    TFieldValue& f = Fields[i];
    f.Present = layout.Fields[i].AfterVersion < page.Version;
    if (layout.Fields[i].Kind == K::Expr) f.Expr = std::make_unique<TOrbaParser>();
  }
}

bool TCommand::IsLabel(std::string_view name) const {
  return handler_->Traits.Labelled && Text(fields::Label::Name) == name;
}

void TCommand::ReadFromStream(TKvBigStream& stream, int32_t version) {
  TBinaryReader r(stream);
  Indent = r.I32();
  Disabled = r.U8() != 0;
  RunOn = r.U8() != 0;
  Line = r.I32();
  auto readExpr = [&](TOrbaParser& p) {
    p.ReadOps(stream);
    r.Resync();
  };
  const auto& layout = Layout();
  for (size_t i = 0; i < layout.Fields.size(); ++i) {
    TFieldValue& f = Fields[i];
    f.Present = layout.Fields[i].AfterVersion < version;
    if (!f.Present) continue;
    switch (layout.Fields[i].Kind) {
      case K::Expr:
        if (!f.Expr) f.Expr = std::make_unique<TOrbaParser>();
        readExpr(*f.Expr);
        break;
      case K::String:
      case K::Block: f.Text = r.String(); break;
      case K::Int32: f.Number = r.I32(); break;
      case K::Byte: f.Number = r.U8(); break;
      case K::ExprList: {
        int32_t n = r.Count(4);  // an expression takes at least its count of operations
        f.List.clear();
        for (int32_t k = 0; k < n; ++k) readExpr(*f.List.emplace_back(std::make_unique<TOrbaParser>()));
        break;
      }
      case K::Props: {
        const TPropertySet& set = page_->PropertySets[kind_];
        Props.Clear();
        for (int code = 0; code < kPropertyCount; ++code)
          if (HasProperty(set, code)) readExpr(Props.Add(code));
        break;
      }
    }
  }
}

void TCommand::WriteToStream(TKvBigStream& stream, int32_t version) const {
  TBinaryWriter w(stream);
  w.I32(Indent);
  w.U8(Disabled);
  w.U8(RunOn);
  w.I32(Line);
  TOrbaParser empty;
  auto writeExpr = [&](const TOrbaParser* p) { (p ? *p : empty).WriteOps(stream); };
  const auto& layout = Layout();
  for (size_t i = 0; i < layout.Fields.size(); ++i) {
    if (layout.Fields[i].AfterVersion >= version) continue;
    const TFieldValue& f = Fields[i];
    switch (layout.Fields[i].Kind) {
      case K::Expr: writeExpr(f.Expr.get()); break;
      case K::String:
      case K::Block: w.String(f.Text); break;
      case K::Int32: w.I32(f.Number); break;
      case K::Byte: w.U8(static_cast<uint8_t>(f.Number)); break;
      case K::ExprList:
        w.I32(static_cast<int32_t>(f.List.size()));
        for (const auto& p : f.List) writeExpr(p.get());
        break;
      case K::Props: {
        const TPropertySet& set = page_->PropertySets[kind_];
        for (int code = 0; code < kPropertyCount; ++code)
          if (HasProperty(set, code)) writeExpr(Props[code]);
        break;
      }
    }
  }
}

int32_t TCommand::ReadStateHeader(TKvBigStream& stream) { return ReadVersionTag(stream, "orba"); }

void TCommand::WriteStateHeader(TKvBigStream& stream) { stream.Write("orba100", 7); }

TPage::TPage() = default;

TPage::~TPage() {
  // The page's own variable (its name after the byte 0x01) goes with it.
  if (TParamCollection* vars = Variables()) {
    int32_t i = vars->IndexOf("\x01" + Name);
    if (i >= 0) vars->Delete(i);
  }
}

std::unique_ptr<TCommand> TPage::CreateCommand(uint8_t code) {
  uint8_t kind = code & 0x7F;
  if (kind >= kCommandKinds) BadCommand();
  return std::make_unique<TCommand>(*this, kind);
}

void TPage::LoadFromStream(TKvBigStream& stream) {
  Commands.clear();
  TBinaryReader r(stream);
  int32_t version = r.I32();
  if (version > kMaxVersion) return;  // from a newer authoring tool: the page runs empty
  if (version < kOldestVersion) throw ENeedsRebuild(Name + "\r\n" + Sjis(u8"リビルドしてください"));
  Version = version;
  ResultType = r.U8();
  int32_t n = r.I32();
  int32_t size = r.I32();
  if (n < 0 || size < 0) throw EReadError(Sjis(u8"データが途中で終わっています"));
  if (size > 0 && n > r.Remaining() / size) throw EReadError(Sjis(u8"データが途中で終わっています"));
  PropertySets = {};
  // Entries of size 0 hold nothing: however many there claim to be, none needs reading.
  if (size == 0) n = std::min(n, kCommandKinds);
  for (int32_t k = 0; k < n; ++k) {
    if (k < kCommandKinds) {
      int32_t take = std::min(size, kPropertySetSize);
      r.Read(PropertySets[static_cast<size_t>(k)].data(), take);
      r.Skip(size - take);
    } else {
      r.Skip(size);
    }
  }
  int32_t m = r.Count(11);  // a kind byte and the 10-byte base record at least
  std::vector<std::unique_ptr<TCommand>> commands;
  commands.reserve(static_cast<size_t>(m));
  for (int32_t i = 0; i < m; ++i) {
    auto command = CreateCommand(r.U8());
    command->ReadFromStream(stream, Version);
    r.Resync();
    commands.push_back(std::move(command));
  }
  Commands = std::move(commands);
}

void TPage::LoadFromBytes(std::span<const uint8_t> bytes) {
  TKvViewStream stream(bytes);
  LoadFromStream(stream);
}

void TPage::Load(const std::string& name) {
  Commands.clear();
  Name = name;
  TKvMemoryStream bytes;
  VrFileManager().LoadFile(bytes, name);
  LoadFromStream(bytes);
}

void TPage::SaveToStream(TKvBigStream& stream) const {
  TBinaryWriter w(stream);
  w.I32(Version);
  w.U8(ResultType);
  w.I32(kCommandKinds);
  w.I32(kPropertySetSize);
  for (const auto& set : PropertySets) w.Write(set.data(), kPropertySetSize);
  w.I32(static_cast<int32_t>(Commands.size()));
  for (const auto& c : Commands) {
    w.U8(c->Kind());
    c->WriteToStream(stream, Version);
  }
}

int TPage::IndexOf(const TCommand* command) const {
  for (size_t i = 0; i < Commands.size(); ++i)
    if (Commands[i].get() == command) return static_cast<int>(i);
  return -1;
}

int TPage::FindLabel(std::string_view name) const {
  for (size_t i = 0; i < Commands.size(); ++i)
    if (Commands[i]->IsLabel(name)) return static_cast<int>(i);
  return -1;
}

}  // namespace orba
