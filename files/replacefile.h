// Writing a whole file so that it is never seen half-written: the bytes go to a temporary
// file in the same folder, which is then renamed over the old one. A failure at any point
// leaves the old file as it was. Saves, status data and install descriptions go this way.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>

namespace orba {

// Replaces the file at path with bytes. Raises EOrbaError ("ファイルを作成できません: " or
// "ファイルに書き込めません: " and the path) and removes the temporary file on failure.
void WriteFileReplacing(const std::filesystem::path& path, std::span<const uint8_t> bytes);

}  // namespace orba
