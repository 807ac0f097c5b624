// Writing a whole file so that it is never seen half-written: the bytes go to a temporary
// file in the same folder, which is then renamed over the old one. A failure at any point
// leaves the old file as it was. Saves, status data and install descriptions go this way.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <span>

namespace orba {

class TKvBigStream;

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
// The same with the content written by write into a seekable stream over the temporary
// file, so that a large file is never built in memory first. An exception from write
// removes the temporary file and passes on; the old file stays.
void WriteFileReplacing(const std::filesystem::path& path, const std::function<void(TKvBigStream&)>& write);

// Removes the temporary files that writers of path killed before their rename left behind:
// only names this writer makes ("<file name>.<8 hex digits>.tmp"), only regular files not
// written to for minStaleAge (a writer of another process may still be busy with a newer
// one), and nothing while a replacing write of this process is in progress. Returns the
// number of files removed; never raises.
int RemoveStaleTemporaries(const std::filesystem::path& path,
                           std::filesystem::file_time_type::duration minStaleAge = std::chrono::minutes(1));

}  // namespace orba
