#include "components/properties.h"

#include <iterator>

#include "values/sysfunc.h"

namespace orba {

namespace {

// By code, PR_NAME (0) to PR_CARETHEIGHT (161).
constexpr const char* kPropertyNames[] = {
    "name", "parent", "source", "left", "top", "width", "height", "zoomx", "color", "borderwidth",
    "bordercolor", "alpha", "priority", "offsetx", "offsety", "fontname", "fontheight", "fontstyle",
    "linespace", "fontcolor", "fontlinkcolor", "fontbordercolor", "fonthovercolor", "fonthoverstyle",
    "hovercolor", "antialias", "delay", "paused", "volume", "repeat", "balance", "angle", "onplaying",
    "onnotify", "onmousemove", "onmouseout", "onlbtndown", "onlbtnup", "onrbtndown", "onrbtnup", "onwheeldown",
    "onwheelup", "brightness", "onplayend", "index", "count", "onlink", "visible", "colcount", "rowcount",
    "text", "marginx", "marginy", "halign", "bordersourcetl", "bordersourcetc", "bordersourcetr",
    "bordersourcecl", "bordersourcecc", "bordersourcecr", "bordersourcebl", "bordersourcebc", "bordersourcebr",
    "borderhalignt", "borderhalignc", "borderhalignb", "bordervalignl", "bordervalignc", "bordervalignr",
    "scrollsource", "checksource", "autoscrap", "onselect", "rclickscrap", "onopening", "onopened",
    "onclosing", "onclosed", "caretx", "carety", "ignoremouse", "textpaused", "textdelay", "hoversource",
    "pressedsource", "groupindex", "allowallup", "selected", "capturemask", "power", "origwidth", "origheight",
    "appearx", "appeary", "partmotion", "param1", "param2", "topindex", "readonly", "cursor", "poszoomed",
    "onplaystart", "param3", "onmousein", "onmapin", "onmapout", "mapsource", "amp", "wavelen", "scrollx",
    "scrolly", "fliph", "flipv", "onidle", "distancex", "distancey", "clipleft", "cliptop", "clipwidth",
    "clipheight", "duration", "thumbsource", "buttonsource", "min", "max", "value", "orientation",
    "smallchange", "largechange", "maptext", "glyphwidth", "glyphheight", "zoomy", "clickedsource",
    "anipaused", "onhold", "onrelease", "reverse", "playing", "rewindonload", "compotype", "fontshadowcolor",
    "fontborder", "fontshadow", "onkeydown", "onkeyup", "onkeyrepeat", "handlekey", "onfocusin", "onfocusout",
    "overlay", "tag", "capturelink", "fonthoverborder", "fonthoverbordercolor", "fonthovershadow",
    "fonthovershadowcolor", "barsize", "muteonload", "plusx", "plusy", "caretheight",
};
static_assert(std::size(kPropertyNames) == kMaxPropertyCode + 1);

}  // namespace

const char* PropertyName(int code) { return code >= 0 && code <= kMaxPropertyCode ? kPropertyNames[code] : ""; }

int PropertyCode(std::string_view name) {
  for (int i = 0; i <= kMaxPropertyCode; ++i)
    if (name == kPropertyNames[i]) return i;
  return -1;
}

}  // namespace orba
