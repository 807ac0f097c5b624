// Writing a whole file so that it is never seen half-written: the bytes go to a temporary
// file in the same folder, which is then renamed over the old one. A failure at any point
// leaves the old file as it was. Saves, status data and install descriptions go this way.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <span>

namespace orba {

// Pushes a written file's bytes through to the storage device, so that a replaced file
// survives a power cut too; false when that fails. The platform supplies it (the core has
// no system calls); without one, files are flushed from the process only.
using TFileSync = bool (*)(std::FILE* file);
void SetFileSync(TFileSync sync);
// The same for a folder, after a file in it was renamed, so that the new name survives a
// power cut as well. Its failure is not the write's: the old or the new file is there whole.
using TFolderSync = bool (*)(const std::filesystem::path& folder);
void SetFolderSync(TFolderSync sync);

// Replaces the file at path with bytes: written and synced under a temporary name, renamed
// over the old file, then the folder synced. Raises EOrbaError ("ファイルを作成できません: " or
// "ファイルに書き込めません: " and the path) and removes the temporary file on failure.
void WriteFileReplacing(const std::filesystem::path& path, std::span<const uint8_t> bytes);

}  // namespace orba
