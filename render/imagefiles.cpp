#include "render/dibsfc.h"
#include "base/error.h"
namespace orba {
int64_t TDIBSurface::LoadImage(const std::string&, bool) { throw EOrbaError("todo"); }
void TDIBSurface::SaveToFile(const std::string&) const { throw EOrbaError("todo"); }
}
#include "render/dibx.h"
namespace orba { void TCustomDIBX::LoadFromStream(TKvBigStream&) {} }
