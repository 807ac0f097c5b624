// Variables inside text: a variable glyph shows the value of its expression as generated
// glyphs that follow it and are rebuilt whenever the owner asks, and history freezes what
// was shown. Also the list operations that keep style references and indices right.
#include <algorithm>

#include "base/cp932.h"
#include "base/error.h"
#include "text/kvword.h"
#include "text/wordlayout.h"
#include "values/params.h"
#include "values/parser.h"

namespace orba {
namespace {

// The frozen value of name from NAME=value entries, with 0x01 as line breaks.
bool FrozenValue(const std::vector<std::string>& list, const std::string& name, std::string& value) {
  for (const std::string& entry : list) {
    if (entry.size() > name.size() && entry[name.size()] == '=' && entry.compare(0, name.size(), name) == 0) {
      value = entry.substr(name.size() + 1);
      for (char& c : value)
        if (c == '\x01') c = '\r';
      return true;
    }
  }
  return false;
}

std::string Evaluate(TWdOpeVar& glyph, TParamCollection* vars) {
  try {
    TOrbaParser compiled;
    TOrbaParser* parser = glyph.Compiled.get();
    if (parser == nullptr) {
      CompileExpression(glyph.Name, compiled);
      parser = &compiled;
    }
    TOrbaParser& run = *parser;
    if (vars != nullptr)
      run.Execute(*vars);
    else
      run.Execute();
    return run.Result() != nullptr ? run.Result()->AsString() : std::string();
  } catch (const EOrbaError&) {
    return {};
  }
}

}  // namespace

void TKvWord::InsertGlyph(size_t index, std::unique_ptr<TWdGlyph> glyph) {
  glyphs_.insert(glyphs_.begin() + static_cast<std::ptrdiff_t>(index), std::move(glyph));
}

void TKvWord::DeleteGlyph(size_t index) {
  Pages.clear();  // rows may point at the glyph: the owner lays the text out again
  CurrentPage = 0;
  styles_.Release(StyleOf(*glyphs_[index]));
  glyphs_.erase(glyphs_.begin() + static_cast<std::ptrdiff_t>(index));
}

namespace {

template <typename G>
std::unique_ptr<TWdGlyph> Copy(const TWdGlyph& glyph) {
  return std::make_unique<G>(static_cast<const G&>(glyph));
}

}  // namespace

void TKvWord::CopyGlyphs(const TKvWord& source, size_t first, size_t last) {
  for (size_t i = first; i <= last && i < source.GlyphCount(); ++i) {
    const TWdGlyph& from = *source.Glyph(i);
    if (from.Generated) continue;
    std::unique_ptr<TWdGlyph> copy;
    switch (from.Type) {
      case TGlyphType::Char: copy = Copy<TWdChar>(from); break;
      case TGlyphType::Align: copy = Copy<TWdOpeAlign>(from); break;
      case TGlyphType::Return: copy = Copy<TWdOpeReturn>(from); break;
      case TGlyphType::Indent: copy = Copy<TWdOpeIndent>(from); break;
      case TGlyphType::Undent: copy = Copy<TWdOpeUndent>(from); break;
      case TGlyphType::Event: copy = Copy<TWdOpeEvent>(from); break;
      case TGlyphType::Img: copy = Copy<TWdImg>(from); break;
      case TGlyphType::Var: {
        const auto& v = static_cast<const TWdOpeVar&>(from);
        auto var = std::make_unique<TWdOpeVar>();
        var->Name = v.Name;
        var->Style = v.Style;
        var->Wait = v.Wait;
        var->Link = v.Link;
        if (v.Compiled) {
          var->Compiled = std::make_unique<TOrbaParser>();
          var->Compiled->AssignOps(*v.Compiled);
        }
        copy = std::move(var);
        break;
      }
      default:
        continue;  // layout-only glyphs belong to the source's layout
    }
    TDecorate* style = StyleOf(*copy);
    if (style != nullptr) {
      TDecorate* own = styles_.Acquire(*style);
      if (copy->Type == TGlyphType::Char)
        static_cast<TWdChar&>(*copy).Style = own;
      else
        static_cast<TWdOpeVar&>(*copy).Style = own;
    }
    glyphs_.push_back(std::move(copy));
  }
}

int32_t TKvWord::IndexOf(const TWdGlyph* glyph) const {
  for (size_t i = 0; i < glyphs_.size(); ++i)
    if (glyphs_[i].get() == glyph) return static_cast<int32_t>(i);
  return -1;
}

size_t TKvWord::SourceIndex(size_t index) const {
  size_t count = 0;
  for (size_t i = 0; i < index && i < glyphs_.size(); ++i)
    if (!glyphs_[i]->Generated && glyphs_[i]->Type != TGlyphType::Space) ++count;
  return count;
}

size_t TKvWord::ListIndex(size_t count) const {
  size_t passed = 0;
  size_t i = 0;
  for (; i < glyphs_.size() && passed < count; ++i)
    if (!glyphs_[i]->Generated && glyphs_[i]->Type != TGlyphType::Space) ++passed;
  return i;
}

void TKvWord::UpdateVariables(size_t first, size_t last, TParamCollection* vars) {
  if (glyphs_.empty()) return;
  last = std::min(last, glyphs_.size() - 1);
  // From the end, so inserting after one variable does not move those still to do.
  for (size_t i = last + 1; i-- > first;) {
    if (glyphs_[i]->Type != TGlyphType::Var || glyphs_[i]->Generated) continue;
    while (i + 1 < glyphs_.size() && glyphs_[i + 1]->Generated) DeleteGlyph(i + 1);
    auto& var = static_cast<TWdOpeVar&>(*glyphs_[i]);
    std::string value;
    if (!FrozenValue(FrozenValues, var.Name, value)) value = Evaluate(var, vars);
    size_t at = i + 1;
    for (size_t k = 0; k < value.size();) {
      const size_t len = CharLenAt(value, k);
      const auto byte = static_cast<uint8_t>(value[k]);
      std::unique_ptr<TWdGlyph> glyph;
      if (len == 1 && byte == '\r') {
        glyph = std::make_unique<TWdOpeReturn>();
      } else if (len == 2 || byte >= 32) {
        auto c = std::make_unique<TWdChar>();
        c->Code = CharCodeAt(value, k);
        c->Style = var.Style;
        if (c->Style != nullptr) ++c->Style->RefCount;
        c->Link = var.Link;
        c->Wait = var.Wait;
        glyph = std::move(c);
      }
      k += len;
      if (!glyph) continue;
      glyph->Generated = true;
      InsertGlyph(at++, std::move(glyph));
    }
  }
}

void TKvWord::FreezeVariables(std::vector<std::string>& list) const {
  for (size_t i = 0; i < glyphs_.size(); ++i) {
    if (glyphs_[i]->Type != TGlyphType::Var || glyphs_[i]->Generated) continue;
    const auto& var = static_cast<const TWdOpeVar&>(*glyphs_[i]);
    std::string ignored;
    if (FrozenValue(list, var.Name, ignored)) continue;
    std::string entry = var.Name + "=";
    for (size_t k = i + 1; k < glyphs_.size() && glyphs_[k]->Generated; ++k) {
      if (glyphs_[k]->Type == TGlyphType::Return) {
        entry += '\x01';
      } else {
        AppendCharCode(entry, static_cast<const TWdChar&>(*glyphs_[k]).Code);
      }
    }
    list.push_back(std::move(entry));
  }
}

}  // namespace orba
