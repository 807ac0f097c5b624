#include <gtest/gtest.h>

#include "base/binio.h"
#include "base/error.h"
#include "script/projectfile.h"

namespace orba {
namespace {

TProjectFile Sample(int32_t version) {
  TProjectFile f;
  f.Version = version;
  f.Name = "\x83\x65\x83\x58\x83\x67";
  f.ScreenWidth = 800;
  f.ScreenHeight = 600;
  f.StartPage = "start.rsb";
  f.ExitPage = version >= 110 ? "exit.rsb" : "";
  f.ImageSeed = 1234;
  f.Pacing = version >= 106 ? 1 : 0;
  f.OptionalMediaExts = version >= 109 ? "wav.wma.ogg" : ".wav.wma.ogg.mid";
  f.DiskPrompt = "disc %d";
  f.ExitMessage = "bye";
  f.Variables = {{1, "count", 42, 0, false, ""}, {2, "ratio", 0, 0.125, false, ""}, {3, "seen", 0, 0, true, ""},
                 {4, "who", 0, 0, false, "me"}, {9, "odd", 0, 0, false, ""}};
  f.DiskList.Add("BGM", 2);
  return f;
}

TEST(ProjectFile, RoundTripsEachVersion) {
  for (int32_t version : {103, 104, 106, 109, 110}) {
    TProjectFile f = Sample(version);
    TKvMemoryStream s;
    f.SaveToStream(s);
    TProjectFile back;
    back.LoadFromBytes(s.Bytes());
    EXPECT_EQ(back.Name, f.Name) << version;
    EXPECT_EQ(back.ExitPage, f.ExitPage) << version;
    EXPECT_EQ(back.Variables, f.Variables) << version;
    EXPECT_EQ(back.DiskList.Items(), f.DiskList.Items()) << version;
    EXPECT_EQ(back.Pacing, f.Pacing) << version;
    EXPECT_EQ(back.OptionalMediaExts, f.OptionalMediaExts) << version;
    EXPECT_EQ(back.SaveEnabled, 1) << version;
  }
}

TEST(ProjectFile, RejectsDamageAndNewerVersions) {
  TKvMemoryStream s;
  Sample(110).SaveToStream(s);
  std::vector<uint8_t> bytes = s.TakeBytes();
  for (size_t cut = 0; cut < bytes.size(); cut += 7) {
    TProjectFile f;
    EXPECT_THROW(f.LoadFromBytes({bytes.data(), cut}), EReadError) << cut;
  }
  bytes[0] = 111;
  TProjectFile f;
  EXPECT_THROW(f.LoadFromBytes(bytes), EOrbaError);
}

}  // namespace
}  // namespace orba
