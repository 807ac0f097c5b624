// Frames written as PNG files: the headless run's dumps and the player's screenshots.
#pragma once

#include <ctime>
#include <string>

#include "platform/platform.h"

namespace orba {

// Writes a frame as an 8-bit RGB PNG through a temporary file; the same pixels always give
// the same bytes. False when it could not be written.
bool WriteFramePng(const std::string& path, const platform::Frame& frame);

// The file a screenshot goes to in folder (native, trailing '/'): the project's name (UTF-8,
// '/' and control characters replaced) and the local time, "-2" and so on added while a file
// of that name exists.
std::string ScreenshotPath(const std::string& folder, const std::string& projectName, std::time_t when);

}  // namespace orba
