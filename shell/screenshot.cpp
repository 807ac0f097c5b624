#include "shell/screenshot.h"

#include <cstring>
#include <filesystem>

#include "base/stream.h"
#include "files/replacefile.h"
#include "render/dibsfc.h"
#include "render/imagefiles.h"

namespace orba {

bool WriteFramePng(const std::string& path, const platform::Frame& frame) {
  if (!frame.pixels || frame.width <= 0 || frame.height <= 0) return false;
  try {
    // 0x00RRGGBB pixels are the rows of a 32-bit picture as they stand.
    TDIBSurface picture(frame.width, frame.height, 32);
    for (int y = 0; y < frame.height; ++y)
      std::memcpy(picture.ScanLine(y), frame.pixels + static_cast<size_t>(y) * frame.pitch,
                  static_cast<size_t>(frame.width) * 4);
    TKvMemoryStream png;
    SavePng(png, picture);
    WriteFileReplacing(path, png.Bytes());
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

std::string ScreenshotPath(const std::string& folder, const std::string& projectName, std::time_t when) {
  std::string name;
  for (char c : projectName) name += c == '/' || static_cast<unsigned char>(c) < 0x20 ? '_' : c;
  if (name.empty() || name == "." || name == "..") name = "orbaplayer";
  char stamp[32] = "";
  std::tm local{};
  if (localtime_r(&when, &local)) std::strftime(stamp, sizeof stamp, "-%Y%m%d-%H%M%S", &local);
  std::string base = folder + name + stamp;
  std::string path = base + ".png";
  std::error_code ec;
  for (int n = 2; std::filesystem::exists(path, ec); ++n) path = base + "-" + std::to_string(n) + ".png";
  return path;
}

}  // namespace orba
