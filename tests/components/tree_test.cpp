// The component tree: names, z-order, positions, properties by code, the list's tick and the
// saved form of a tree.
#include <gtest/gtest.h>

#include "support/fuzz_seeds.h"

#include "base/cp932.h"
#include "base/error.h"
#include "base/stream.h"
#include "components/baselist.h"
#include "components/box.h"
#include "components/propaccess.h"
#include "values/params.h"

namespace orba {
namespace {

// A component that is no control (the sound, timer and HTTP kinds are such).
struct TPlain : TOrbaComponent {
  using TOrbaComponent::TOrbaComponent;
  int32_t GetCompoType() const override { return 7; }
};

TOrbaBox& NewBox(TOrbaBaseList& list, const std::string& name = {}, TOrbaControl* parent = nullptr) {
  auto& box = static_cast<TOrbaBox&>(*list.CreateByCode(2));
  if (!name.empty()) box.SetName(name);
  box.SetParent(parent ? parent : &list.Current());
  return box;
}

std::vector<std::string> ChildNames(const TOrbaControl& c) {
  std::vector<std::string> names;
  for (const TOrbaControl* child : c.Children()) names.push_back(child->Name());
  return names;
}

TEST(Names, AutomaticNamesAreReusedAfterAScrap) {
  TOrbaBaseList list;
  TOrbaBox& a = NewBox(list);
  TOrbaBox& b = NewBox(list);
  EXPECT_EQ(a.Name(), "object0");
  EXPECT_EQ(b.Name(), "object1");
  list.Scrap(&a);
  EXPECT_EQ(a.Name(), "");
  EXPECT_EQ(list.FindComponent("object0"), nullptr);
  EXPECT_EQ(NewBox(list).Name(), "object0");  // at once, before the scrapped one is freed
  list.Tick();
  EXPECT_EQ(list.Count(), 2);
}

TEST(Names, AControlRenamesTheOlderHolderAndAPlainObjectScrapsIt) {
  TOrbaBaseList list;
  TOrbaBox& first = NewBox(list, "Msg");
  TOrbaBox& second = NewBox(list, "Msg");
  EXPECT_EQ(first.Name(), "Msg_2");
  TOrbaBox& third = NewBox(list, "Msg");
  EXPECT_EQ(second.Name(), "Msg_3");
  EXPECT_EQ(third.Name(), "Msg");
  // A holder named with a suffix drops it first: Msg_3 taken by a new control becomes the
  // next free Msg_N, here Msg_4 (Msg_2 is held).
  TOrbaBox& fourth = NewBox(list, "Msg_3");
  EXPECT_EQ(second.Name(), "Msg_4");
  EXPECT_EQ(fourth.Name(), "Msg_3");
  // "_1" and "_x" are no suffixes of the chain.
  NewBox(list, "a_1");
  NewBox(list, "a_1");
  EXPECT_EQ(list.IndexOfName("a_1_2") >= 0, true);

  auto* plain = static_cast<TPlain*>(list.Adopt(std::make_unique<TPlain>(&list)));
  plain->SetName("Msg");
  EXPECT_TRUE(third.IsScrapped());
  EXPECT_EQ(list.FindComponent("Msg"), plain);
  EXPECT_EQ(first.Name(), "Msg_2");
}

TEST(ZOrder, InternalNamesFirstTheSnapshotLastThenPriorityThenBytes) {
  TOrbaBaseList list;
  TOrbaControl& base = list.Current();
  NewBox(list, "a");
  NewBox(list, "B");
  NewBox(list, "high").SetPriority(5);
  NewBox(list, std::string(kSnapshotName));
  NewBox(list, "\001inner\001").SetPriority(100);
  TOrbaBox& sub = NewBox(list, "sub");
  sub.SetSubPriority(3);
  EXPECT_EQ(ChildNames(base), (std::vector<std::string>{"\001inner\001", "B", "a", "sub", "high", std::string(kSnapshotName)}));
  // The priority setter resets the second term and sorts again.
  sub.SetPriority(4);
  EXPECT_EQ(sub.SubPriority, 0);
  EXPECT_EQ(ChildNames(base), (std::vector<std::string>{"\001inner\001", "B", "a", "sub", "high", std::string(kSnapshotName)}));
  sub.SetPriority(6);
  EXPECT_EQ(ChildNames(base)[4], "sub");
}

// A parent whose picture is rendered through its own surface of another size (the image kinds
// with children do so): positions of zoomed children follow that surface's scale.
struct TScaled : TOrbaBox {
  using TOrbaBox::TOrbaBox;
  TDIBX surface;
  int32_t zoom = 256;
  bool flip = false;
  int32_t ZoomX() const override { return zoom; }
  bool FlipH() const override { return flip; }
  const TCustomDIBX* GetDrawSurface() const override { return surface.Width() > 0 ? &surface : nullptr; }
};

TEST(Position, ZoomFlipOffsetPlusAndParentAsATable) {
  struct Case {
    const char* what;
    int32_t zoom, left, offset, width, plus;
    bool posZoomed, flip;
    int32_t parentLeft, expected;
  } cases[] = {
      {"plain", 256, 10, 0, 5, 0, false, false, 0, 10},
      {"offset", 256, 10, 3, 5, 0, false, false, 0, 7},
      {"zoomed offset, truncated", 384, 10, 3, 5, 0, false, false, 0, 10 - 4},
      {"negative zoomed offset truncates toward zero", 384, 10, -3, 5, 0, false, false, 0, 10 + 4},
      {"flip", 256, 10, 2, 8, 0, false, true, 0, 10 - (8 - 2 - 1)},
      {"flip with zoom", 512, 10, 2, 8, 0, false, true, 0, 10 - (8 - 4 - 1)},
      {"zoomed position", 384, 11, 0, 5, 0, true, false, 0, 16},
      {"zoomed negative position", 384, -11, 0, 5, 0, true, false, 0, -16},
      {"plus and parent", 256, 10, 0, 5, 7, false, false, 100, 117},
  };
  for (const Case& c : cases) {
    TOrbaBaseList list;
    TOrbaBox& parent = NewBox(list, "p");
    parent.SetLeft(c.parentLeft);
    auto* child = static_cast<TScaled*>(list.Adopt(std::make_unique<TScaled>(&list)));
    child->SetParent(&parent);
    child->zoom = c.zoom;
    child->flip = c.flip;
    child->SetWidth(c.width);
    child->SetOffsetX(c.offset);
    child->SetLeft(c.left);
    child->SetPlusX(c.plus);
    child->SetPosZoomed(c.posZoomed);
    EXPECT_EQ(child->AbsoluteLeft(), c.expected) << c.what;
    EXPECT_EQ(child->LeftInParent(), c.expected - c.parentLeft) << c.what;
  }
}

TEST(Position, AChildOfAScaledSurfaceFollowsItsScaleAndAParentOfNoWidthDividesNothing) {
  TOrbaBaseList list;
  auto* parent = static_cast<TScaled*>(list.Adopt(std::make_unique<TScaled>(&list)));
  parent->SetParent(&list.Current());
  parent->SetBounds(40, 0, 100, 10);
  parent->surface.SetSize(200, 20, 32);  // drawn at half its size
  auto* child = static_cast<TScaled*>(list.Adopt(std::make_unique<TScaled>(&list)));
  child->SetParent(parent);
  child->surface.SetSize(10, 10, 32);
  child->SetPosZoomed(true);
  child->SetLeft(31);
  // s = 200 / 100 * 65536; 31 * 65536 / s = 15.5, rounded up.
  EXPECT_EQ(child->AbsoluteLeft(), 40 + 16);
  child->flip = true;
  // Flipped: 200 - 31 - 10 = 159, halved and rounded: 79.5 -> 80.
  EXPECT_EQ(child->AbsoluteLeft(), 40 + 80);
  parent->SetWidth(0);
  EXPECT_EQ(child->AbsoluteLeft(), 40);
}

TEST(Properties, EveryRowOfTheTableOnABox) {
  TOrbaBaseList list;
  TOrbaBox& box = NewBox(list, "box");
  const uint32_t mask = box.KindMask();
  for (int32_t code = 0; code < kPropertyCodeCount; ++code) {
    const TPropertyInfo& p = PropertyInfo(code);
    if (code == PR_NAME || code == PR_PARENT || code == PR_COMPOTYPE || p.WriteRaises) continue;
    TParamInt i;
    TParamFloat f;
    TParamFlag b;
    TParamStr s;
    TCustomParam* value = p.Kind == TPropKind::Int ? static_cast<TCustomParam*>(&i)
                          : p.Kind == TPropKind::Float ? static_cast<TCustomParam*>(&f)
                          : p.Kind == TPropKind::Bool ? static_cast<TCustomParam*>(&b)
                                                      : static_cast<TCustomParam*>(&s);
    // A value no property holds by default.
    value->SetString(p.Kind == TPropKind::Bool ? "TRUE" : p.Kind == TPropKind::Str ? "x.rsb" : "3");
    if (code == PR_VISIBLE) value->SetFlag(false);
    SetPropByCode(box, code, *value);
    TParamStr read;
    GetPropByCode(box, code, read);
    const bool answers = (p.Readers & mask) && (p.Writers & mask);
    const std::string written = code == PR_VISIBLE ? "FALSE" : value->AsString();
    if (answers) EXPECT_EQ(read.AsString(), written) << PropertyName(code);
    else EXPECT_NE(read.AsString(), written) << PropertyName(code);
  }
}

TEST(Properties, ErrorsAndTheSpecialCodes) {
  TOrbaBaseList list;
  TOrbaBox& box = NewBox(list, "box");
  TParamInt v;
  v.SetInt(5);
  auto message = [&](auto fn) {
    try {
      fn();
    } catch (const EOrbaError& e) {
      return std::string(e.what());
    }
    return std::string("no error");
  };
  EXPECT_EQ(message([&] { SetPropByCode(box, PR_APPEARX, v); }), Sjis(u8"SetPropエラー"));
  EXPECT_EQ(message([&] { SetPropByCode(box, 162, v); }), "\x53\x65\x74\x50\x72\x6F\x70\x83\x47\x83\x89\x81\x5B");
  EXPECT_EQ(message([&] { GetPropByCode(box, 162, v); }), "\x47\x65\x74\x50\x72\x6F\x70\x83\x47\x83\x89\x81\x5B");
  GetPropByCode(box, PR_COLCOUNT, v);
  EXPECT_EQ(v.AsInt(), 0);
  GetPropByCode(box, PR_COMPOTYPE, v);
  EXPECT_EQ(v.AsInt(), 2);
  TParamStr s;
  GetPropByCode(box, PR_PARENT, s);
  EXPECT_EQ(s.AsString(), "\001BASE0");
  // A parent name that finds nothing leaves the parent; a page keeps none.
  s.SetString("nowhere");
  SetPropByCode(box, PR_PARENT, s);
  EXPECT_EQ(box.Parent(), &list.Current());
  s.SetString("box");
  SetPropByCode(list.Current(), PR_PARENT, s);
  EXPECT_EQ(list.Current().Parent(), nullptr);
  // A cabinet reads invisible.
  TOrbaObject* cabinet = list.CreateByCode(27);
  TParamFlag flag;
  GetPropByCode(*cabinet, PR_VISIBLE, flag);
  EXPECT_FALSE(flag.AsFlag());
}

// A kind that answers the codes served by the indexed accessors (as the menu, the particle
// and the message window do), keeping what each cell or index received.
struct TIndexed : TOrbaControl {
  using TOrbaControl::TOrbaControl;
  uint32_t KindMask() const override { return TOrbaControl::KindMask() | kinds::kMenu | kinds::kParticle | kinds::kMes; }
  std::array<std::string, 9> sources;
  std::array<int32_t, 9> aligns{};
  std::array<double, 3> params{};
  std::string GetBorderSource(int32_t cell) const override { return sources.at(static_cast<size_t>(cell)); }
  void SetBorderSource(int32_t cell, const std::string& v) override { sources.at(static_cast<size_t>(cell)) = v; }
  int32_t GetBorderAlign(int32_t cell) const override { return aligns.at(static_cast<size_t>(cell)); }
  void SetBorderAlign(int32_t cell, int32_t v) override { aligns.at(static_cast<size_t>(cell)) = v; }
  double GetParam(int32_t i) const override { return params.at(static_cast<size_t>(i)); }
  void SetParam(int32_t i, double v) override { params.at(static_cast<size_t>(i)) = v; }
  TPoint GetCaretPos() const override { return {11, 22}; }
};

TEST(Properties, IndexedCodesReachTheirCells) {
  TOrbaBaseList list;
  auto& o = static_cast<TIndexed&>(*list.Adopt(std::make_unique<TIndexed>(&list)));
  for (int32_t code = PR_BORDERSOURCETL; code <= PR_BORDERSOURCEBR; ++code) SetPropStr(o, code, PropertyName(code));
  EXPECT_EQ(o.sources[0], "bordersourcetl");
  EXPECT_EQ(o.sources[4], "bordersourcecc");
  EXPECT_EQ(o.sources[8], "bordersourcebr");
  // The horizontal alignments of the top, centre and bottom cells; the vertical ones of the
  // left, centre and right cells (the centre cell takes both, the later write wins).
  const std::pair<int32_t, size_t> aligns[] = {{PR_BORDERHALIGNT, 1}, {PR_BORDERHALIGNB, 7}, {PR_BORDERVALIGNL, 3},
                                               {PR_BORDERVALIGNR, 5}, {PR_BORDERHALIGNC, 4}};
  for (auto [code, cell] : aligns) {
    SetPropInt(o, code, code);
    EXPECT_EQ(o.aligns[cell], code) << PropertyName(code);
    EXPECT_EQ(PropInt(o, code), code);
  }
  EXPECT_EQ(PropInt(o, PR_BORDERVALIGNC), PR_BORDERHALIGNC);
  SetPropFloat(o, PR_PARAM1, 1.5);
  SetPropFloat(o, PR_PARAM2, 2.5);
  SetPropFloat(o, PR_PARAM3, 3.5);
  EXPECT_EQ(o.params, (std::array<double, 3>{1.5, 2.5, 3.5}));
  EXPECT_EQ(PropInt(o, PR_CARETX), 11);
  EXPECT_EQ(PropInt(o, PR_CARETY), 22);
  SetPropInt(o, PR_CARETX, 5);  // read-only: ignored
  EXPECT_EQ(PropInt(o, PR_CARETX), 11);
}

TEST(List, TheSpecialNamesFindThePages) {
  TOrbaBaseList list;
  EXPECT_EQ(list.FindComponent(""), &list.Base(0));
  EXPECT_EQ(list.FindComponent("\001"), &list.Base(1));
  list.BeginTransition(1, 0);
  EXPECT_EQ(list.FindComponent(""), &list.Base(1));
  EXPECT_EQ(list.FindComponent("\001BASE0"), &list.Base(1));  // relative to the page shown
  EXPECT_EQ(list.FindComponent("\001BASE1"), &list.Base(0));
  EXPECT_EQ(list.FindControl("\001BASE0"), &list.Base(0));    // absolute
  EXPECT_EQ(list.FindControl("\001BASE1"), &list.Base(1));
  EXPECT_EQ(list.FindControl("\001"), &list.Base(0));
}

TEST(List, TickQueuesIdleEventsFreesScrappedItemsAndLeavesCabinetsAlone) {
  TOrbaBaseList list;
  TOrbaBox& a = NewBox(list, "a");
  a.OnIdle = "idle.rsb";
  TOrbaBox& b = NewBox(list, "b");
  b.OnIdle = "idle.rsb";
  b.Handler(THandler::LBtnDown) = "down.rsb";
  auto* cabinet = static_cast<TOrbaCabinet*>(list.CreateByCode(27));
  cabinet->SetParent(&list.Base(0));
  TOrbaBox& kept = NewBox(list, "kept", cabinet);
  kept.OnIdle = "idle.rsb";
  list.Tick();
  list.Tick();  // not queued twice while waiting
  ASSERT_EQ(list.Events().Count(), 2);
  EXPECT_EQ(list.Events()[0].Sender, a.Id);
  EXPECT_EQ(list.Events()[1].Sender, b.Id);
  // A component scrapped (in its own handler, say) goes at the end of the tick, with its
  // waiting events; its name is free at once.
  list.Scrap(&b);
  EXPECT_EQ(list.FindComponent("b"), nullptr);
  TOrbaBox& again = NewBox(list, "b");
  EXPECT_EQ(list.Count(), 5);
  list.Tick();
  EXPECT_EQ(list.Count(), 4);
  EXPECT_EQ(list.Events().Count(), 1);
  EXPECT_EQ(list.FindComponent("b"), &again);
  EXPECT_EQ(list.FindComponent("kept"), &kept);
  // Freeing a parent frees its children.
  list.Free(cabinet);
  EXPECT_EQ(list.FindComponent("kept"), nullptr);
  EXPECT_EQ(list.Count(), 2);
}

TEST(List, ListNamesByTypeAndParent) {
  TOrbaBaseList list;
  TOrbaBox& p = NewBox(list, "p");
  NewBox(list, "c1", &p);
  NewBox(list, "c2", &p);
  list.Adopt(std::make_unique<TPlain>(&list))->SetName("t");
  std::vector<std::string> names;
  EXPECT_EQ(list.ListNames(names, 0, nullptr), 4);
  names.clear();
  EXPECT_EQ(list.ListNames(names, 2, &p), 2);
  EXPECT_EQ(names, (std::vector<std::string>{"c1", "c2"}));
  names.clear();
  EXPECT_EQ(list.ListNames(names, 7, nullptr), 1);
}

TEST(List, TheFocusLeavesAPageThatIsNoLongerShown) {
  TOrbaBaseList list;
  TOrbaBox& a = NewBox(list, "a");
  list.Focus = &a;
  list.RefocusPending = false;
  list.BeginTransition(1, 0);
  EXPECT_EQ(list.Focus, nullptr);
  EXPECT_TRUE(list.RefocusPending);
}

// ---- saved trees ----

// A tree with one of everything a version gate touches.
void BuildTree(TOrbaBaseList& list) {
  list.SetSize(64, 48);
  TOrbaBox& p = NewBox(list, "panel");
  p.SetBounds(3, 4, 30, 20);
  p.Color = 0x123456;
  p.Tag = "tag";
  p.SetSubPriority(2);
  p.ClipWidth = 7;
  p.ClipHeight = 8;
  p.Handler(THandler::MouseIn) = "in.rsb";
  p.Handler(THandler::KeyDown) = "key.rsb";
  p.HandleKey = true;
  p.MotionX = 5;
  p.PlusY = 6;
  p.BorderWidth = 2;
  p.BorderColor = 0xFF;
  p.Alpha = 300;
  TOrbaBox& c = NewBox(list, "child", &p);
  c.OnIdle = "idle.rsb";
  NewBox(list, "\001internal", &p);  // never saved
  NewBox(list, "back", &list.Back());
  list.Adopt(std::make_unique<TPlain>(&list));  // a kind the factory cannot make: not saved
  list.Events().Add({"idle.rsb", c.Id, PR_ONIDLE, 300, {}});
  list.Focus = &p;
}

std::vector<uint8_t> Saved(TOrbaBaseList& list, int32_t version) {
  TKvMemoryStream s;
  list.SaveTree(s, version);
  return s.Bytes();
}

TEST(SaveTree, VersionsWriteAndReadTheirFields) {
  // Each gate from both sides.
  for (int32_t version : {101, 102, 103, 104, 113, 114, 117, 118, 119, 120, 129, 130, kTreeVersion}) {
    TOrbaBaseList list;
    BuildTree(list);
    TKvMemoryStream s(Saved(list, version));
    TOrbaBaseList loaded;
    loaded.LoadTree(s, version);
    EXPECT_EQ(s.Remaining(), 0) << version;
    auto* p = dynamic_cast<TOrbaBox*>(loaded.FindComponent("panel"));
    ASSERT_NE(p, nullptr) << version;
    EXPECT_EQ(p->Parent(), &loaded.Base(0));
    EXPECT_EQ(p->AbsoluteRect(), Bounds(3, 4 + (version >= 130 ? 6 : 0), 30, 20));
    EXPECT_EQ(p->Color, 0x123456);
    EXPECT_EQ(p->Alpha, 300);
    EXPECT_EQ(p->BorderColor, 0xFF);
    EXPECT_EQ(p->Tag, version >= 120 ? "tag" : "") << version;
    EXPECT_EQ(p->SubPriority, version > 103 ? 2 : 0);
    EXPECT_EQ(p->ClipWidth, version > 103 ? 7 : 0);
    EXPECT_EQ(p->Handler(THandler::MouseIn), version > 101 ? "in.rsb" : "");
    EXPECT_EQ(p->Handler(THandler::KeyDown), version > 117 ? "key.rsb" : "");
    EXPECT_EQ(p->HandleKey, version > 117);
    EXPECT_EQ(p->MotionX, version >= 130 ? 5 : 0) << version;
    EXPECT_EQ(p->PlusY, version >= 130 ? 6 : 0);
    EXPECT_EQ(ChildNames(*p), std::vector<std::string>{"child"});
    EXPECT_NE(loaded.FindComponent("back"), nullptr);
    EXPECT_EQ(static_cast<TOrbaControl*>(loaded.FindComponent("back"))->Parent(), &loaded.Base(1));
    ASSERT_EQ(loaded.Events().Count(), 1);
    EXPECT_EQ(loaded.Events()[0].RunningId, version > 113 ? 300 : 1);
    EXPECT_EQ(loaded.Events()[0].Sender, loaded.FindComponent("child")->Id);
    EXPECT_EQ(loaded.Focus, version > 118 ? p : nullptr);
    EXPECT_EQ(loaded.Width(), 64);
    // Written again at the same version, the tree gives the same bytes.
    EXPECT_EQ(Saved(loaded, version), Saved(list, version)) << version;
  }
}

TEST(SaveTree, ATreeThatCannotBeLoadedLeavesTheCurrentTreeAsItWas) {
  TOrbaBaseList source;
  BuildTree(source);
  const std::vector<uint8_t> good = Saved(source, kTreeVersion);
  // The child's type code (2) after the panel's data: find "child" and step back over its
  // length and the code.
  const std::string text(good.begin(), good.end());
  const size_t at = text.find("child") - 5;
  ASSERT_EQ(good[at], 2);
  std::vector<std::vector<uint8_t>> bad;
  bad.push_back(good);
  bad.back()[at] = 10;  // a code no kind has
  bad.push_back(good);
  bad.back()[at] = 15;  // a kind that is no control cannot be a child
  // The screen size comes first (width, height): each side under its own limit, the area
  // (15,000 x 9,000) more than any surface takes.
  bad.push_back(good);
  for (int i = 0; i < 4; ++i) {
    bad.back()[static_cast<size_t>(i)] = static_cast<uint8_t>(15000 >> (8 * i));
    bad.back()[static_cast<size_t>(4 + i)] = static_cast<uint8_t>(9000 >> (8 * i));
  }
  for (size_t cut : {size_t{5}, good.size() / 2, good.size() - 1}) bad.emplace_back(good.begin(), good.begin() + static_cast<ptrdiff_t>(cut));
  for (const auto& bytes : bad) {
    TOrbaBaseList list;
    TOrbaBox& kept = NewBox(list, "kept");
    list.Events().Add({"x.rsb", kept.Id, 36, 0, {}});
    TKvMemoryStream s(bytes);
    EXPECT_THROW(list.LoadTree(s, kTreeVersion), EOrbaError);
    EXPECT_EQ(list.FindComponent("kept"), &kept);
    EXPECT_EQ(list.Count(), 1);
    EXPECT_EQ(list.Events().Count(), 1);
  }
}

TEST(SaveTree, FuzzSeedsComeFromOurWriter) {
  for (int32_t version : {129, kTreeVersion}) {
    TOrbaBaseList list;
    BuildTree(list);
    std::vector<uint8_t> seed{static_cast<uint8_t>(version - 100)};
    const std::vector<uint8_t> tree = Saved(list, version);
    seed.insert(seed.end(), tree.begin(), tree.end());
    testing_support::ExpectFuzzSeed("component_tree", "v" + std::to_string(version), seed);
  }
}

}  // namespace
}  // namespace orba
