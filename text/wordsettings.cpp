// The word-settings record a message window stores with its text: one table of fields, in
// stored order, each with the first version that has it; the reader and the writer both walk it.
#include "base/binio.h"
#include "base/stream.h"
#include "text/kvword.h"

namespace orba {
namespace {

struct SettingsField {
  enum Kind { Int, Bool, Text } kind;
  int32_t TKvWord::*integer = nullptr;
  bool TKvWord::*flag = nullptr;
  std::string TKvWord::*text = nullptr;
  int firstVersion = 0;  // stored when the record's version is at least this
};

constexpr SettingsField I(int32_t TKvWord::*m, int first = 0) { return {SettingsField::Int, m, nullptr, nullptr, first}; }
constexpr SettingsField B(bool TKvWord::*m) { return {SettingsField::Bool, nullptr, m, nullptr, 0}; }
constexpr SettingsField S(std::string TKvWord::*m) { return {SettingsField::Text, nullptr, nullptr, m, 0}; }

const SettingsField kSettings[] = {
    I(&TKvWord::ClipX),          I(&TKvWord::ClipY),        I(&TKvWord::DefaultSize),
    S(&TKvWord::DefaultFontName), I(&TKvWord::DefaultColor), I(&TKvWord::PageHeight),
    I(&TKvWord::PageWidth),      I(&TKvWord::Quality),      I(&TKvWord::LineSpace),
    B(&TKvWord::Paging),         I(&TKvWord::LinkColor),    I(&TKvWord::HoverColor),
    I(&TKvWord::FadeTime),       I(&TKvWord::DefaultBorderColor), I(&TKvWord::Alpha),
    B(&TKvWord::Paused),         I(&TKvWord::CaretX),       I(&TKvWord::CaretY),
    I(&TKvWord::SpeedRatio),     B(&TKvWord::EventsEnabled),
    I(&TKvWord::DefaultShadowColor, 110),
    I(&TKvWord::DefaultBorderWidth, 111), I(&TKvWord::DefaultShadow, 111),
};

}  // namespace

void TKvWord::LoadSettings(TKvBigStream& stream, int version) {
  // Read into a copy of the values first, so a short record leaves the word as it was.
  struct Values {
    std::vector<int32_t> ints;
    std::vector<bool> flags;
    std::vector<std::string> texts;
  } v;
  TBinaryReader in(stream);
  for (const SettingsField& f : kSettings) {
    if (version < f.firstVersion) continue;
    if (f.kind == SettingsField::Int) v.ints.push_back(in.I32());
    if (f.kind == SettingsField::Bool) v.flags.push_back(in.Bool());
    if (f.kind == SettingsField::Text) v.texts.push_back(in.String());
  }
  size_t i = 0, b = 0, t = 0;
  for (const SettingsField& f : kSettings) {
    if (version < f.firstVersion) continue;
    if (f.kind == SettingsField::Int) this->*f.integer = v.ints[i++];
    if (f.kind == SettingsField::Bool) this->*f.flag = v.flags[b++];
    if (f.kind == SettingsField::Text) this->*f.text = v.texts[t++];
  }
}

void TKvWord::SaveSettings(TKvBigStream& stream, int version) const {
  TBinaryWriter out(stream);
  for (const SettingsField& f : kSettings) {
    if (version < f.firstVersion) continue;
    if (f.kind == SettingsField::Int) out.I32(this->*f.integer);
    if (f.kind == SettingsField::Bool) out.Bool(this->*f.flag);
    if (f.kind == SettingsField::Text) out.String(this->*f.text);
  }
}

void TKvWord::VisitSettings(int version, const std::function<void(int32_t&)>& integer,
                            const std::function<void(bool&)>& flag, const std::function<void(std::string&)>& text) {
  for (const SettingsField& f : kSettings) {
    if (version < f.firstVersion) continue;
    if (f.kind == SettingsField::Int) integer(this->*f.integer);
    if (f.kind == SettingsField::Bool) flag(this->*f.flag);
    if (f.kind == SettingsField::Text) text(this->*f.text);
  }
}

}  // namespace orba
