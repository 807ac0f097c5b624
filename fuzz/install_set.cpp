// Feeds arbitrary bytes to the install-set reader: every input must end in a set or in
// EReadError, never a crash, an overread or an allocation the input cannot pay for. A set
// that loads must survive a rewrite unchanged, since the player rewrites "install.dat".
#include <cstddef>
#include <cstdint>

#include "base/stream.h"
#include "files/header.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  orba::TKvViewStream stream({data, size});
  orba::TOrbaInstallSet set;
  try {
    set.LoadFromStream(stream);
  } catch (const orba::EReadError&) {
    return 0;
  }
  orba::TKvMemoryStream written;
  set.SaveToStream(written);
  written.SetPosition(0);
  orba::TOrbaInstallSet again;
  again.LoadFromStream(written);
  if (!(again == set) || written.GetPosition() != written.GetSize()) __builtin_trap();
  return 0;
}
