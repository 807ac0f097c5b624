#include "script/projectfile.h"

#include "base/binio.h"
#include "base/cp932.h"
#include "base/error.h"

namespace orba {

void TProjectFile::LoadFromBytes(std::span<const uint8_t> bytes) {
  TKvViewStream stream(bytes);
  LoadFromStream(stream);
}

void TProjectFile::LoadFromStream(TKvBigStream& stream) {
  TBinaryReader r(stream);
  TProjectFile f;
  f.Version = r.I32();
  if (f.Version > kMaxVersion) throw EOrbaError(Sjis(u8"プロジェクトファイルのバージョンが新しすぎます"));
  f.Name = r.String();
  f.ScreenWidth = r.I32();
  f.ScreenHeight = r.I32();
  f.FullScreenWidth = r.I32();
  f.FullScreenHeight = r.I32();
  f.StartPage = r.String();
  if (f.Version >= 110) f.ExitPage = r.String();
  f.RegistryKey = r.String();
  f.ImageSeed = r.I32();
  f.SaveEnabled = f.Version >= 104 ? r.U8() : 1;
  f.Pacing = f.Version >= 106 ? r.U8() : 0;
  f.OptionalMediaExts = f.Version >= 109 ? r.String() : ".wav.wma.ogg.mid";
  f.DiskPrompt = r.String();
  f.ExitMessage = r.String();
  int32_t n = r.Count(5);  // a type byte and a name length at least
  for (int32_t i = 0; i < n; ++i) {
    TProjectVariable v;
    v.Type = r.U8();
    v.Name = r.String();
    switch (v.Type) {
      case 1: v.Int = r.I32(); break;
      case 2: v.Float = r.Extended(); break;
      case 3: v.Flag = r.U8() != 0; break;
      case 4: v.Text = r.String(); break;
      default: break;  // no value
    }
    f.Variables.push_back(std::move(v));
  }
  f.DiskList.LoadFromStream(r);
  *this = std::move(f);
}

void TProjectFile::SaveToStream(TKvBigStream& stream) const {
  TBinaryWriter w(stream);
  w.I32(Version);
  w.String(Name);
  w.I32(ScreenWidth);
  w.I32(ScreenHeight);
  w.I32(FullScreenWidth);
  w.I32(FullScreenHeight);
  w.String(StartPage);
  if (Version >= 110) w.String(ExitPage);
  w.String(RegistryKey);
  w.I32(ImageSeed);
  if (Version >= 104) w.U8(SaveEnabled);
  if (Version >= 106) w.U8(Pacing);
  if (Version >= 109) w.String(OptionalMediaExts);
  w.String(DiskPrompt);
  w.String(ExitMessage);
  w.I32(static_cast<int32_t>(Variables.size()));
  for (const auto& v : Variables) {
    w.U8(v.Type);
    w.String(v.Name);
    switch (v.Type) {
      case 1: w.I32(v.Int); break;
      case 2: w.Extended(v.Float); break;
      case 3: w.U8(v.Flag); break;
      case 4: w.String(v.Text); break;
      default: break;
    }
  }
  DiskList.SaveToStream(w);
}

}  // namespace orba
