#include "components/properties.h"

#include <array>

#include "values/sysfunc.h"

namespace orba {

namespace {

using enum TPropKind;
using namespace kinds;
// Writers taken from Readers; no kind takes a write.
constexpr uint32_t kSame = ~uint32_t{0}, kReadOnly = 0;
constexpr int kRaises = -1;

struct TRow {
  const char* Name;
  TPropKind Kind;
  uint32_t Readers;
  int64_t Writers;  // kSame, kReadOnly, kRaises or a mask
};

// By code, PR_NAME (0) to PR_CARETHEIGHT (161).
constexpr TRow kRows[] = {
    {"name", Str, kAll, kSame},
    {"parent", Str, kControls, kSame},
    {"source", Str, kBox | kImage | kImages | kTile | kMapImage | kParticle | kCinema | kPrevMenu | kLabel | kCGLabel
         | kSlider | kGauge | kVideo | kSound | kHttp, kSame},
    {"left", Int, kControls, kSame},
    {"top", Int, kControls, kSame},
    {"width", Int, kControls, kSame},
    {"height", Int, kControls, kSame},
    {"zoomx", Int, kImageKinds | kFire | kLabel, kSame},
    {"color", Int, kControls, kSame},
    {"borderwidth", Int, kBox | kMenu, kSame},
    {"bordercolor", Int, kBox | kMenu, kSame},
    {"alpha", Int, kBox | kImageKinds | kMapImage | kParticle | kLabel | kCGLabel | kMes | kMenu | kSlider | kGauge,
         kSame},
    {"priority", Int, kAll, kSame},
    {"offsetx", Int, kControls, kSame},
    {"offsety", Int, kControls, kSame},
    {"fontname", Str, kLabel | kMes | kEdit | kMemo | kMenu, kSame},
    {"fontheight", Int, kLabel | kMes | kEdit | kMemo | kMenu, kSame},
    {"fontstyle", Int, kLabel | kEdit | kMemo | kMenu, kSame},
    {"linespace", Int, kLabel | kCGLabel | kMes | kMenu, kSame},
    {"fontcolor", Int, kLabel | kMes | kEdit | kMemo | kMenu, kSame},
    {"fontlinkcolor", Int, kMes, kSame},
    {"fontbordercolor", Int, kMes | kMenu, kSame},
    {"fonthovercolor", Int, kMes | kMenu, kSame},
    {"fonthoverstyle", Int, kMenu, kSame},
    {"hovercolor", Int, kMenu, kSame},
    {"antialias", Bool, kLabel | kMes | kMenu, kSame},
    {"delay", Int, kWave | kMes | kMenu | kGauge | kVideo | kSound | kTimer, kSame},
    {"paused", Bool, kBox | kMultiFrame | kMapImage | kFire | kWave | kParticle | kCinema | kPrevMenu | kLabel |
         kCGLabel | kMes | kEdit | kMemo | kMenu | kSlider | kGauge | kVideo | kSound | kTimer | kPropMotion, kSame},
    {"volume", Int, kCinema | kVideo | kSound, kSame},
    {"repeat", Bool, kBox | kImages | kTile | kMapImage | kParticle | kButton | kCinema | kLabel | kVideo | kSound,
         kBox | kImages | kButton | kCinema | kLabel | kVideo | kSound},
    {"balance", Int, kVideo | kSound, kSame},
    {"angle", Int, kImageKinds | kLabel, kSame},
    {"onplaying", Str, kMes, kSame},
    {"onnotify", Str, kButton | kMes | kEdit | kMemo | kSlider | kTimer, kSame},
    {"onmousemove", Str, kControls, kSame},
    {"onmouseout", Str, kControls, kSame},
    {"onlbtndown", Str, kControls, kSame},
    {"onlbtnup", Str, kControls, kSame},
    {"onrbtndown", Str, kControls, kSame},
    {"onrbtnup", Str, kControls, kSame},
    {"onwheeldown", Str, kControls, kSame},
    {"onwheelup", Str, kControls, kSame},
    {"brightness", Int, kImage | kMultiFrame | kMapImage, kSame},
    // The button answers the play-end handler and auto-scrap of the animated pictures it is
    // built on: its click animation ends with the one or the other.
    {"onplayend", Str, kBox | kImages | kButton | kCinema | kPrevMenu | kLabel | kMes | kVideo | kSound | kHttp,
         kSame},
    {"index", Int, kMultiFrame | kParticle | kCinema | kMes | kMenu | kVideo | kSound, kSame},
    {"count", Int, kMultiFrame | kCinema | kPrevMenu | kMes | kMenu | kVideo | kSound, kReadOnly},
    {"onlink", Str, kMes, kSame},
    {"visible", Bool, kControls, kSame},
    {"colcount", Int, 0, kReadOnly},
    {"rowcount", Int, kMenu, kSame},
    {"text", Str, kPrevMenu | kLabel | kCGLabel | kMes | kEdit | kMemo | kMenu | kHttp, kLabel | kCGLabel | kMes |
         kEdit | kMemo | kMenu},
    {"marginx", Int, kMenu, kSame},
    {"marginy", Int, kMenu, kSame},
    {"halign", Int, kLabel | kCGLabel | kMemo | kMenu, kSame},
    {"bordersourcetl", Str, kMenu, kSame},
    {"bordersourcetc", Str, kMenu, kSame},
    {"bordersourcetr", Str, kMenu, kSame},
    {"bordersourcecl", Str, kMenu, kSame},
    {"bordersourcecc", Str, kMenu, kSame},
    {"bordersourcecr", Str, kMenu, kSame},
    {"bordersourcebl", Str, kMenu, kSame},
    {"bordersourcebc", Str, kMenu, kSame},
    {"bordersourcebr", Str, kMenu, kSame},
    {"borderhalignt", Int, kMenu, kSame},
    {"borderhalignc", Int, kMenu, kSame},
    {"borderhalignb", Int, kMenu, kSame},
    {"bordervalignl", Int, kMenu, kSame},
    {"bordervalignc", Int, kMenu, kSame},
    {"bordervalignr", Int, kMenu, kSame},
    {"scrollsource", Str, kMenu, kSame},
    {"checksource", Str, kMenu, kSame},
    {"autoscrap", Bool,
         kBox | kImages | kButton | kMapImage | kCinema | kPrevMenu | kLabel | kMenu | kVideo | kSound | kTimer, kSame},
    {"onselect", Str, kMapImage | kPrevMenu | kMenu, kSame},
    {"rclickscrap", Bool, kMapImage | kPrevMenu | kMenu, kSame},
    {"onopening", Str, kMenu, kSame},
    {"onopened", Str, kMenu, kSame},
    {"onclosing", Str, kMenu, kSame},
    {"onclosed", Str, kMenu, kSame},
    {"caretx", Int, kMes, kReadOnly},
    {"carety", Int, kMes, kReadOnly},
    {"ignoremouse", Int, kControls, kSame},
    {"textpaused", Bool, kMes, kSame},
    {"textdelay", Int, kMes, kSame},
    {"hoversource", Str, kMapImage | kButton, kSame},
    {"pressedsource", Str, kButton, kSame},
    {"groupindex", Int, kButton, kSame},
    {"allowallup", Bool, kButton, kSame},
    {"selected", Bool, kButton, kSame},
    {"capturemask", Bool, kImageKinds | kSlider, kSame},
    {"power", Int, kFire, kSame},
    {"origwidth", Int, kImageKinds | kFire | kCGLabel, kFire},
    {"origheight", Int, kImageKinds | kFire | kCGLabel | kMenu, kFire},
    {"appearx", Int, 0, kRaises},
    {"appeary", Int, 0, kRaises},
    {"partmotion", Int, kParticle, kSame},
    {"param1", Float, kParticle, kSame},
    {"param2", Float, kParticle, kSame},
    {"topindex", Int, kMenu, kSame},
    {"readonly", Bool, kEdit | kMemo, kSame},
    {"cursor", Str, kControls, kSame},
    {"poszoomed", Bool, kControls, kSame},
    {"onplaystart", Str, kMes, kSame},
    {"param3", Float, kParticle, kSame},
    {"onmousein", Str, kControls, kSame},
    {"onmapin", Str, kMapImage | kPrevMenu | kMenu, kSame},
    {"onmapout", Str, kMapImage | kPrevMenu | kMenu, kSame},
    {"mapsource", Str, kMapImage, kSame},
    {"amp", Int, kWave, kSame},
    {"wavelen", Int, kWave, kSame},
    {"scrollx", Int, kTile, kSame},
    {"scrolly", Int, kTile | kMes, kSame},
    {"fliph", Bool, kImageKinds | kLabel, kSame},
    {"flipv", Bool, kImageKinds | kLabel, kSame},
    {"onidle", Str, kBox | kImages | kTile | kMapImage | kFire | kWave | kParticle | kButton | kCinema | kPrevMenu |
         kLabel | kCGLabel | kMes | kMenu | kSlider | kGauge | kVideo, kSame},
    {"distancex", Int, kTile, kSame},
    {"distancey", Int, kTile, kSame},
    {"clipleft", Int, kControls, kSame},
    {"cliptop", Int, kControls, kSame},
    {"clipwidth", Int, kControls, kSame},
    {"clipheight", Int, kControls, kSame},
    {"duration", Int, kParticle | kGauge, kSame},
    {"thumbsource", Str, kSlider, kSame},
    {"buttonsource", Str, kSlider, kSame},
    {"min", Int, kSlider | kGauge, kSame},
    {"max", Int, kSlider | kGauge, kSame},
    {"value", Int, kSlider | kGauge, kSame},
    {"orientation", Int, kSlider | kGauge, kSame},
    {"smallchange", Int, kSlider, kSame},
    {"largechange", Int, kScrollbar, kSame},
    {"maptext", Str, kCGLabel, kSame},
    {"glyphwidth", Int, kCGLabel, kSame},
    {"glyphheight", Int, kCGLabel, kSame},
    {"zoomy", Int, kImageKinds | kFire | kLabel, kSame},
    {"clickedsource", Str, kButton, kSame},
    {"anipaused", Bool, kControls | kSound, kSame},
    {"onhold", Str, kSlider, kSame},
    {"onrelease", Str, kSlider, kSame},
    {"reverse", Bool, kGauge, kSame},
    {"playing", Bool, kControls | kSound, kReadOnly},
    {"rewindonload", Bool, kCinema | kVideo | kSound, kSame},
    {"compotype", Int, kAll, kReadOnly},
    {"fontshadowcolor", Int, kMes | kMenu, kSame},
    {"fontborder", Int, kMes | kMenu, kSame},
    {"fontshadow", Int, kMes | kMenu, kSame},
    {"onkeydown", Str, kControls, kSame},
    {"onkeyup", Str, kControls, kSame},
    {"onkeyrepeat", Str, kControls, kSame},
    {"handlekey", Bool, kControls, kSame},
    {"onfocusin", Str, kControls, kSame},
    {"onfocusout", Str, kControls, kSame},
    {"overlay", Bool, kVideo, kSame},
    {"tag", Str, kAll, kSame},
    {"capturelink", Bool, kMes, kSame},
    {"fonthoverborder", Int, kMenu, kSame},
    {"fonthoverbordercolor", Int, kMenu, kSame},
    {"fonthovershadow", Int, kMenu, kSame},
    {"fonthovershadowcolor", Int, kMenu, kSame},
    {"barsize", Int, kSlider | kGauge, kSame},
    {"muteonload", Bool, kCinema | kVideo | kSound, kSame},
    {"plusx", Int, kControls, kSame},
    {"plusy", Int, kControls, kSame},
    {"caretheight", Int, kMes, kReadOnly},
};
static_assert(std::size(kRows) == kPropertyCodeCount);
static_assert(kMaxPropertyCode + 1 == kPropertyCodeCount);

constexpr std::array<TPropertyInfo, kPropertyCodeCount> kTable = [] {
  std::array<TPropertyInfo, kPropertyCodeCount> t{};
  for (size_t i = 0; i < t.size(); ++i) {
    const TRow& r = kRows[i];
    const uint32_t writers = r.Writers == kSame ? r.Readers : r.Writers < 0 ? 0 : static_cast<uint32_t>(r.Writers);
    t[i] = {r.Name, r.Kind, r.Readers, writers, r.Writers == kRaises};
  }
  return t;
}();

}  // namespace

const TPropertyInfo& PropertyInfo(int32_t code) { return kTable[static_cast<size_t>(code)]; }

const char* PropertyName(int code) { return code >= 0 && code < kPropertyCodeCount ? kTable[static_cast<size_t>(code)].Name : ""; }

int PropertyCode(std::string_view name) {
  for (int i = 0; i < kPropertyCodeCount; ++i)
    if (name == kTable[static_cast<size_t>(i)].Name) return i;
  return -1;
}

uint8_t PropertyValueType(int32_t code) {
  switch (PropertyInfo(code).Kind) {
    case Int: return PT_INT;
    case Float: return PT_FLOAT;
    case Bool: return PT_BOOL;
    case Str: break;
  }
  return PT_STR;
}

}  // namespace orba
