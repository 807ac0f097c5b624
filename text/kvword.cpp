// The text model: interned styles and the builder that applies tags to the style state and
// appends glyphs; see kvword.h.
#include "text/kvword.h"

#include <array>

#include "base/cp932.h"
#include "base/error.h"
#include "render/dibsfc.h"
#include "text/tagparse.h"
#include "text/wordlayout.h"

namespace orba {

bool TDecorate::SameValues(const TDecorate& o) const {
  return Color == o.Color && BorderColor == o.BorderColor && ShadowColor == o.ShadowColor && Size == o.Size &&
         Flags == o.Flags && NoBreak == o.NoBreak && BorderWidth == o.BorderWidth && Shadow == o.Shadow &&
         FontName == o.FontName && Ruby == o.Ruby;
}

TDecorate* TDecorateList::Acquire(const TDecorate& values) {
  for (const auto& style : styles_) {
    if (style->SameValues(values)) {
      ++style->RefCount;
      return style.get();
    }
  }
  TDecorate* style = Append(values);
  style->RefCount = 1;
  return style;
}

TDecorate* TDecorateList::Append(const TDecorate& values) {
  styles_.push_back(std::make_unique<TDecorate>(values));
  return styles_.back().get();
}

void TDecorateList::Release(TDecorate* style) {
  if (style == nullptr || --style->RefCount > 0) return;
  const int32_t index = IndexOf(style);
  if (index >= 0) styles_.erase(styles_.begin() + index);
}

int32_t TDecorateList::IndexOf(const TDecorate* style) const {
  for (size_t i = 0; i < styles_.size(); ++i)
    if (styles_[i].get() == style) return static_cast<int32_t>(i);
  return -1;
}

namespace {

// A stack of style values: its top, or its bottom value when empty.
template <typename T>
class StyleStack {
 public:
  explicit StyleStack(T bottom) : bottom_(std::move(bottom)) {}
  const T& Current() const { return values_.empty() ? bottom_ : values_.back(); }
  void Push(T value) { values_.push_back(std::move(value)); }
  void Pop() {
    if (!values_.empty()) values_.pop_back();
  }

 private:
  T bottom_;
  std::vector<T> values_;
};

// The style state while building (the tag value list), and the glyphs it appends.
class Builder {
 public:
  explicit Builder(TKvWord& word) : word_(word), wait_(word.DefaultWait) {}

  void Apply(const std::string& token);

  TKvWord& word_;
  StyleStack<int32_t> size_{0};
  StyleStack<int32_t> color_{-1};
  StyleStack<int32_t> border_color_{-1};
  StyleStack<int32_t> shadow_color_{-1};
  StyleStack<std::string> font_name_{std::string()};
  StyleStack<uint8_t> align_{AL_LEFT};
  StyleStack<int32_t> wait_;
  StyleStack<int32_t> border_{-1};
  StyleStack<int32_t> shadow_{-1};
  uint8_t flags_ = 0;
  bool no_break_ = false;
  std::string ruby_;
  std::string link_;

  // The style every character of the current state shares; null after a tag changed it.
  TDecorate* current_ = nullptr;

  TDecorate* Style() {
    if (current_ == nullptr) {
      TDecorate values;
      values.Color = color_.Current();
      values.BorderColor = border_color_.Current();
      values.ShadowColor = shadow_color_.Current();
      values.Size = size_.Current();
      values.Flags = flags_;
      values.FontName = font_name_.Current();
      values.NoBreak = no_break_ ? 1 : 0;
      values.Ruby = ruby_;
      values.BorderWidth = border_.Current();
      values.Shadow = shadow_.Current();
      current_ = word_.Styles().Acquire(values);
      return current_;
    }
    ++current_->RefCount;
    return current_;
  }

  template <typename G>
  G& Append() {
    auto glyph = std::make_unique<G>();
    G& ref = *glyph;
    word_.AppendGlyph(std::move(glyph));
    return ref;
  }

  void Text(std::string_view text) {
    for (size_t i = 0; i < text.size();) {
      const size_t len = CharLenAt(text, i);
      auto& glyph = Append<TWdChar>();
      glyph.Code = CharCodeAt(text, i);
      glyph.Style = Style();
      glyph.Link = link_;
      glyph.Wait = wait_.Current();
      i += len;
    }
  }

  void SetFlag(uint8_t flag, bool on) { flags_ = on ? (flags_ | flag) : (flags_ & ~flag); }
};

// Outline width and shadow offset: present gives its number (1 when not a number, never
// below 0), absent keeps the current value.
int32_t WidthAttribute(const TTag& tag, std::string_view name, int32_t current) {
  if (!tag.Has(name)) return current;
  const int32_t width = TagNumber(tag.Value(name), 1);
  return width < 0 ? 0 : width;
}

uint8_t AlignAttribute(const TTag& tag, std::initializer_list<uint8_t> allowed, uint8_t fallback) {
  static constexpr std::array<std::string_view, 6> kNames = {"", "LEFT", "RIGHT", "CENTER", "TOP", "BOTTOM"};
  const auto value = tag.Value("ALIGN");
  if (!value) return fallback;
  for (uint8_t align : allowed)
    if (SameText(*value, kNames[align])) return align;
  return fallback;
}

using TagHandler = void (*)(Builder&, const TTag&);

struct TagRow {
  std::string_view Name;
  TagHandler Handler;
};

// One row a tag of the language; a tag name not in the table is ignored.
const TagRow kTags[] = {
    {"A",
     [](Builder& b, const TTag& t) {
       const auto href = t.Value("HREF");
       if (!t.Has("HREF"))
         // "<A>タグにHREF値がありません"
         throw EOrbaError("<A>\x83\x5e\x83\x4f\x82\xc9HREF\x92\x6c\x82\xaa\x82\xa0\x82\xe8\x82\xdc\x82\xb9\x82\xf1");
       b.link_ = UnescapeTagValue(href.value_or(std::string()));
     }},
    {"/A", [](Builder& b, const TTag&) { b.link_.clear(); }},
    {"B", [](Builder& b, const TTag&) { b.SetFlag(DF_BOLD, true); }},
    {"/B", [](Builder& b, const TTag&) { b.SetFlag(DF_BOLD, false); }},
    {"FONT",
     [](Builder& b, const TTag& t) {
       b.size_.Push(TagNumber(t.Value("SIZE"), b.size_.Current()));
       b.color_.Push(TagColor(t.Value("COLOR"), b.color_.Current()));
       b.border_color_.Push(TagColor(t.Value("BCOLOR"), b.border_color_.Current()));
       b.shadow_color_.Push(TagColor(t.Value("SCOLOR"), b.shadow_color_.Current()));
       b.font_name_.Push(t.Value("NAME").value_or(b.font_name_.Current()));
       b.border_.Push(WidthAttribute(t, "BORDER", b.border_.Current()));
       b.shadow_.Push(WidthAttribute(t, "SHADOW", b.shadow_.Current()));
     }},
    {"/FONT",
     [](Builder& b, const TTag&) {
       b.size_.Pop();
       b.color_.Pop();
       b.border_color_.Pop();
       b.shadow_color_.Pop();
       b.font_name_.Pop();
       b.border_.Pop();
       b.shadow_.Pop();
     }},
    {"I", [](Builder& b, const TTag&) { b.SetFlag(DF_ITALIC, true); }},
    {"/I", [](Builder& b, const TTag&) { b.SetFlag(DF_ITALIC, false); }},
    {"S", [](Builder& b, const TTag&) { b.SetFlag(DF_STRIKEOUT, true); }},
    {"/S", [](Builder& b, const TTag&) { b.SetFlag(DF_STRIKEOUT, false); }},
    {"U", [](Builder& b, const TTag&) { b.SetFlag(DF_UNDERLINE, true); }},
    {"/U", [](Builder& b, const TTag&) { b.SetFlag(DF_UNDERLINE, false); }},
    {"NOBR", [](Builder& b, const TTag&) { b.no_break_ = true; }},
    {"/NOBR", [](Builder& b, const TTag&) { b.no_break_ = false; }},
    {"RUBY", [](Builder& b, const TTag& t) { b.ruby_ = t.Value("VALUE").value_or(std::string()); }},
    {"/RUBY", [](Builder& b, const TTag&) { b.ruby_.clear(); }},
    {"DIV",
     [](Builder& b, const TTag& t) {
       b.align_.Push(AlignAttribute(t, {AL_LEFT, AL_RIGHT, AL_CENTER}, AL_LEFT));
       b.Append<TWdOpeAlign>().Align = b.align_.Current();
     }},
    {"/DIV",
     [](Builder& b, const TTag&) {
       b.align_.Pop();
       b.Append<TWdOpeAlign>().Align = b.align_.Current();
     }},
    {"INDENT", [](Builder& b, const TTag&) { b.Append<TWdOpeIndent>(); }},
    {"UNDENT", [](Builder& b, const TTag&) { b.Append<TWdOpeUndent>(); }},
    {"BR", [](Builder& b, const TTag& t) { b.Append<TWdOpeReturn>().Clear = t.Has("CLEAR") ? 1 : 0; }},
    {"CLEAR", [](Builder& b, const TTag&) { b.Append<TWdOpeReturn>().Clear = 1; }},
    {"EVENT",
     [](Builder& b, const TTag& t) {
       auto& glyph = b.Append<TWdOpeEvent>();
       glyph.Value = UnescapeTagValue(t.Value("VALUE").value_or(std::string()));
       glyph.IsEnd = t.Has("END");
     }},
    {"WAIT", [](Builder& b, const TTag& t) { b.wait_.Push(TagNumber(t.Value("VALUE"), b.wait_.Current())); }},
    {"/WAIT", [](Builder& b, const TTag&) { b.wait_.Pop(); }},
    {"VAR",
     [](Builder& b, const TTag& t) {
       if (!t.Has("NAME")) return;
       auto& glyph = b.Append<TWdOpeVar>();
       glyph.Name = t.Value("NAME").value_or(std::string());
       glyph.Style = b.Style();
       glyph.Wait = b.wait_.Current();
       glyph.Link = b.link_;
     }},
    {"IMG",
     [](Builder& b, const TTag& t) {
       if (!t.Has("SRC")) return;
       auto& glyph = b.Append<TWdImg>();
       glyph.Src = t.Value("SRC").value_or(std::string());
       glyph.Align = AlignAttribute(t, {AL_CENTER, AL_TOP, AL_BOTTOM}, AL_BOTTOM);
       glyph.NoBreak = b.no_break_;
       glyph.Ruby = b.ruby_;
       glyph.Link = b.link_;
       glyph.Wait = b.wait_.Current();
     }},
};

void Builder::Apply(const std::string& token) {
  const TTag tag = ParseTag(token);
  if (!tag.IsTag) {
    Text(token);
    return;
  }
  if (tag.IsBlock) return;
  for (const TagRow& row : kTags) {
    if (SameText(row.Name, tag.Name)) {
      current_ = nullptr;
      row.Handler(*this, tag);
      return;
    }
  }
}

}  // namespace

TKvWord::TKvWord() : DefaultFontName("\x82\x6c\x82\x72\x20\x83\x53\x83\x56\x83\x62\x83\x4e") {}  // "ＭＳ ゴシック"

TKvWord::~TKvWord() = default;

std::unique_ptr<TWdGlyph> TKvWord::CreateGlyph(int type) {
  switch (type) {
    case 1: return std::make_unique<TWdChar>();
    case 2: return std::make_unique<TWdOpeAlign>();
    case 3: return std::make_unique<TWdOpeReturn>();
    case 4: return std::make_unique<TWdOpeIndent>();
    case 5: return std::make_unique<TWdOpeUndent>();
    case 6: return std::make_unique<TWdOpeEvent>();
    case 7: return std::make_unique<TWdOpeVar>();
    case 9: return std::make_unique<TWdImg>();
    default: return nullptr;
  }
}

void TKvWord::Clear() {
  Pages.clear();  // rows point into the glyphs
  CurrentPage = 0;
  glyphs_.clear();
  styles_.Clear();
  FrozenValues.clear();
  StyleBase = 0;
}

void TKvWord::SetText(const std::vector<std::string>& lines) {
  Clear();
  std::string source;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (i > 0) source += '\r';
    source += lines[i];
  }
  Builder builder(*this);
  for (const std::string& token : TokenizeTaggedText(source)) builder.Apply(token);
}

}  // namespace orba
