// The source form of styled text is a small tag language in code page 932. This module cuts
// a source into tokens (runs of text, single tags, comment and code blocks) and splits a tag
// token into its name and attributes; what the tags mean is the text model's business
// (kvword.*). Both walk characters, never bytes, so the second byte of a double-byte
// character (0x5C in many kanji) is never mistaken for a backslash, a quote or a bracket.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace orba {

// Cuts source text (lines already joined with CR) into tokens: escapes resolved, whitespace
// collapsed, PRE and TEXTAREA line breaks kept (PRE as "<BR>" tokens).
std::vector<std::string> TokenizeTaggedText(std::string_view text);

// A tag token split into fields. Name and attribute names are kept as written; lookups
// ignore ASCII case and the first attribute of a name wins.
struct TTag {
  std::string Name;  // empty for a text token
  bool IsTag = false;
  bool IsBlock = false;  // comment or code block: a tag that means nothing
  std::vector<std::pair<std::string, std::optional<std::string>>> Attributes;

  bool Has(std::string_view name) const { return Find(name) != nullptr; }
  // The attribute's entry, or null when absent. Its value is empty when written without "=".
  const std::pair<std::string, std::optional<std::string>>* Find(std::string_view name) const;
  // The value, or std::nullopt when the attribute is absent or has no value.
  std::optional<std::string> Value(std::string_view name) const;
};

// A token is a tag when it is longer than two bytes and stands in angle brackets.
TTag ParseTag(std::string_view token);

// Attribute value conversions with the current value as fallback.
int32_t TagNumber(const std::optional<std::string>& value, int32_t fallback);
// "#RRGGBB" gives 0x00BBGGRR; any other form gives the fallback.
int32_t TagColor(const std::optional<std::string>& value, int32_t fallback);
// Backslash before a double quote or a backslash is removed; backslash n becomes CR LF.
std::string UnescapeTagValue(std::string_view value);

}  // namespace orba
