// Tokenizer and tag splitter of the tag language; see tagparse.h.
#include "text/tagparse.h"

#include <charconv>

#include "base/cp932.h"

namespace orba {
namespace {

bool StartsWithText(std::string_view s, size_t at, std::string_view prefix) {
  return s.size() - at >= prefix.size() && SameText(s.substr(at, prefix.size()), prefix);
}

bool EndsWithSpace(const std::string& s) { return !s.empty() && s.back() == ' '; }

// Walks the source once, character by character, keeping the pending token.
class Tokenizer {
 public:
  explicit Tokenizer(std::string_view text) : text_(text) {}

  std::vector<std::string> Run() {
    size_t i = 0;
    while (i < text_.size()) i = Step(i);
    Flush();
    return std::move(tokens_);
  }

 private:
  // Handles the character at i and returns the position after what it consumed.
  size_t Step(size_t i) {
    const size_t len = CharLenAt(text_, i);
    if (len == 2) {
      pending_.append(text_.substr(i, 2));
      return i + 2;
    }
    const char c = text_[i];
    if (block_depth_ > 0) return InBlock(i);
    if (c == '"') return Quoted(i);
    if (tag_depth_ > 0) return InTag(i);
    if (c == '<' && (StartsWithText(text_, i, "<!--") || StartsWithText(text_, i, "<SCRIPT") ||
                     StartsWithText(text_, i, "<STYLE"))) {
      Flush();
      return InBlock(i);
    }
    if (c == '\\' && i + 1 < text_.size()) {
      const char next = text_[i + 1];
      if (next == '%' || next == '<' || next == '>' || next == '\\' || next == '{' || next == '}') {
        pending_ += next;
        return i + 2;
      }
    }
    const bool keep_lines = pre_ || textarea_;
    switch (c) {
      case '<':
        Flush();
        pending_.assign(1, '<');
        tag_depth_ = 1;
        return i + 1;
      case '\r':
        if (keep_lines) {
          Flush();
          if (pre_) tokens_.push_back("<BR>");
        } else if (!pending_.empty() && !EndsWithSpace(pending_)) {
          pending_ += ' ';
        }
        return i + 1;
      case '\x14':
        if (keep_lines || !EndsWithSpace(pending_)) pending_ += c;
        return i + 1;
      case '\t':
        if (keep_lines) pending_.append(8, ' ');
        return i + 1;
      case ' ':
        if (!EndsWithSpace(pending_)) pending_ += c;
        return i + 1;
      default:
        pending_ += c;
        return i + 1;
    }
  }

  // A quoted run is copied as it stands, quotes included, without CR, LF and TAB.
  size_t Quoted(size_t i) {
    pending_ += '"';
    ++i;
    while (i < text_.size()) {
      const size_t len = CharLenAt(text_, i);
      const char c = text_[i];
      if (len == 1 && c == '"') {
        pending_ += c;
        return i + 1;
      }
      if (len == 2 || (c != '\r' && c != '\n' && c != '\t')) pending_.append(text_.substr(i, len));
      i += len;
    }
    return i;
  }

  size_t InTag(size_t i) {
    const char c = text_[i];
    pending_ += c;
    if (c == '<') ++tag_depth_;
    if (c != '>' || --tag_depth_ > 0) return i + 1;
    std::string tag = std::move(pending_);
    pending_.clear();
    ++i;
    if (StartsWithText(tag, 0, "<PRE")) {
      pre_ = true;
      i = SkipCr(i);
    } else if (StartsWithText(tag, 0, "</PRE")) {
      pre_ = false;
      if (!tokens_.empty() && tokens_.back() == "<BR>") tokens_.pop_back();
    } else if (StartsWithText(tag, 0, "<TEXTAREA")) {
      textarea_ = true;
      i = SkipCr(i);
    } else if (StartsWithText(tag, 0, "</TEXTAREA")) {
      textarea_ = false;
      if (!tokens_.empty() && tokens_.back() == "<BR>") tokens_.pop_back();
    }
    tokens_.push_back(std::move(tag));
    return i;
  }

  // Comment and code blocks nest; the outermost one becomes a single token.
  size_t InBlock(size_t i) {
    for (std::string_view open : {"<!--", "<SCRIPT", "<STYLE"}) {
      if (StartsWithText(text_, i, open)) {
        ++block_depth_;
        pending_.append(text_.substr(i, open.size()));
        return i + open.size();
      }
    }
    for (std::string_view close : {"-->", "</SCRIPT>", "</STYLE>"}) {
      if (StartsWithText(text_, i, close)) {
        pending_.append(text_.substr(i, close.size()));
        if (--block_depth_ == 0) Flush();
        return i + close.size();
      }
    }
    pending_ += text_[i];
    return i + 1;
  }

  size_t SkipCr(size_t i) const { return (i < text_.size() && text_[i] == '\r') ? i + 1 : i; }

  void Flush() {
    if (!pending_.empty()) tokens_.push_back(std::move(pending_));
    pending_.clear();
  }

  std::string_view text_;
  std::vector<std::string> tokens_;
  std::string pending_;
  int tag_depth_ = 0;
  int block_depth_ = 0;
  bool pre_ = false;
  bool textarea_ = false;
};

bool IsFieldSpace(char c) { return c == ' ' || c == '\r' || c == '\n' || c == '\t'; }

}  // namespace

std::vector<std::string> TokenizeTaggedText(std::string_view text) { return Tokenizer(text).Run(); }

const std::pair<std::string, std::optional<std::string>>* TTag::Find(std::string_view name) const {
  for (const auto& attribute : Attributes)
    if (SameText(attribute.first, name)) return &attribute;
  return nullptr;
}

std::optional<std::string> TTag::Value(std::string_view name) const {
  const auto* attribute = Find(name);
  if (attribute == nullptr) return std::nullopt;
  return attribute->second;
}

TTag ParseTag(std::string_view token) {
  TTag tag;
  if (token.size() <= 2 || token.front() != '<' || token.back() != '>') return tag;
  tag.IsTag = true;
  if (StartsWithText(token, 0, "<!--") || StartsWithText(token, 0, "<SCRIPT") ||
      StartsWithText(token, 0, "<STYLE")) {
    tag.IsBlock = true;
    return tag;
  }
  const std::string_view inside = token.substr(1, token.size() - 2);
  size_t i = 0;
  bool first = true;
  while (i < inside.size()) {
    while (i < inside.size() && IsFieldSpace(inside[i])) ++i;
    if (i >= inside.size()) break;
    const size_t name_start = i;
    while (i < inside.size() && !IsFieldSpace(inside[i]) && inside[i] != '=') i += CharLenAt(inside, i);
    std::string name(inside.substr(name_start, i - name_start));
    std::optional<std::string> value;
    if (i < inside.size() && inside[i] == '=') {
      ++i;
      value.emplace();
      const char quote = i < inside.size() ? inside[i] : 0;
      size_t end = i;
      if (quote == '"' || quote == '\'') {
        end = i + 1;
        while (end < inside.size() && inside[end] != quote) end += CharLenAt(inside, end);
        if (end < inside.size()) {
          *value = inside.substr(i + 1, end - i - 1);
          i = end + 1;
        } else {
          // Never closed: the value runs to the next space, after the quote.
          end = i + 1;
          while (end < inside.size() && !IsFieldSpace(inside[end])) end += CharLenAt(inside, end);
          *value = inside.substr(i + 1, end - i - 1);
          i = end;
        }
      } else {
        while (end < inside.size() && !IsFieldSpace(inside[end])) end += CharLenAt(inside, end);
        *value = inside.substr(i, end - i);
        i = end;
      }
    }
    if (first) {
      tag.Name = std::move(name);
      first = false;
    } else {
      tag.Attributes.emplace_back(std::move(name), std::move(value));
    }
  }
  return tag;
}

int32_t TagNumber(const std::optional<std::string>& value, int32_t fallback) {
  if (!value || value->empty()) return fallback;
  int32_t result = 0;
  const char* begin = value->data();
  const char* end = begin + value->size();
  const auto [ptr, ec] = std::from_chars(begin, end, result);
  return (ec == std::errc() && ptr == end) ? result : fallback;
}

int32_t TagColor(const std::optional<std::string>& value, int32_t fallback) {
  if (!value || value->size() != 7 || (*value)[0] != '#') return fallback;
  uint32_t rgb = 0;
  const char* begin = value->data() + 1;
  const char* end = value->data() + 7;
  const auto [ptr, ec] = std::from_chars(begin, end, rgb, 16);
  if (ec != std::errc() || ptr != end) return fallback;
  const uint32_t r = (rgb >> 16) & 0xFF, g = (rgb >> 8) & 0xFF, b = rgb & 0xFF;
  return static_cast<int32_t>(r | (g << 8) | (b << 16));
}

std::string UnescapeTagValue(std::string_view value) {
  std::string out;
  out.reserve(value.size());
  for (size_t i = 0; i < value.size();) {
    const size_t len = CharLenAt(value, i);
    if (len == 1 && value[i] == '\\' && i + 1 < value.size()) {
      const char next = value[i + 1];
      if (next == '"' || next == '\\') {
        out += next;
        i += 2;
        continue;
      }
      if (next == 'n') {
        out += "\r\n";
        i += 2;
        continue;
      }
    }
    out.append(value.substr(i, len));
    i += len;
  }
  return out;
}

}  // namespace orba
