// Loads any picture the player reads (BMP, TGA, icon, cursor, PNG, JPEG) and writes it as PNG,
// with its alpha plane when it has one: for looking at project pictures and at test output.
//   imgtopng <input> <output.png>
#include <cstdio>
#include <exception>

#include "base/error.h"
#include "base/stream.h"
#include "render/dibsfc.h"
#include "render/imagefiles.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s <input picture> <output.png>\n", argv[0]);
    return 2;
  }
  try {
    orba::TDIBSurface surface;
    int64_t transparent = surface.LoadImage(argv[1], true);
    orba::TKvMemoryStream out;
    orba::SavePng(out, surface);
    orba::WriteFileBytes(argv[2], out.Bytes());
    std::printf("%dx%d, %d bits%s, transparent %lld\n", surface.Width(), surface.Height(), surface.PixelFormat(),
                surface.Alpha() ? " with alpha" : "", static_cast<long long>(transparent));
  } catch (...) {
    // The player's messages are code page 932 inside; a terminal reads UTF-8.
    std::fprintf(stderr, "%s: %s\n", argv[1], orba::CurrentErrorText().c_str());
    return 1;
  }
  return 0;
}
