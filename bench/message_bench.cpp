// The message window's hot paths: turning to a new page of 400 characters (its layout, the
// fresh render and the first reveal tick) must stay well under a 60 Hz frame; with a history
// of 2,000 pages, leaving a page (it enters the history) and opening a history screen must
// stay under 5 ms.
#include <benchmark/benchmark.h>

#include <string>

#include "components/baselist.h"
#include "components/history.h"
#include "components/mes.h"
#include "components/propaccess.h"
#include "platform/fonts.h"
#include "text/fontpixels.h"
#include "text/wordlayout.h"

namespace {

using namespace orba;

// count characters of running Japanese text (CP932), a ruby and a line break every 40.
std::string Text(int count) {
  const std::string kana[] = {"\x82\xA0", "\x82\xA2", "\x95\x5C", "\x8A\xBF", "\x81\x42"};
  std::string s;
  for (int i = 0; i < count; ++i) {
    if (i % 40 == 10) s += "<RUBY VALUE=\"\x82\xA0\x82\xA2\">";
    s += kana[i % 5];
    if (i % 40 == 12) s += "</RUBY>";
    if (i % 40 == 39) s += "<BR>";
  }
  return s;
}

struct Scene {
  TOrbaBaseList list;
  TOrbaMes* window;
  Scene() {
    SetFontSourceMaker(platform::CreateFontSource);
    list.SetSize(1280, 720, 32);
    SetComponentRoot(&list);
    window = static_cast<TOrbaMes*>(list.CreateByCode(13));
    window->SetParent(&list.Current());
    window->SetName("mes");
    window->SetInt(PR_WIDTH, 1000);
    window->SetInt(PR_HEIGHT, 300);
    window->SetInt(PR_FONTHEIGHT, 24);
    window->SetInt(PR_TEXTDELAY, 256);
  }
  ~Scene() { SetComponentRoot(nullptr); }
};

void BM_MessageTurnPage400(benchmark::State& state) {
  Scene scene;
  const std::string pages[2] = {Text(400), Text(400).substr(2) + "\x82\xA0"};
  int n = 0;
  for (auto _ : state) {
    scene.window->SetStr(PR_TEXT, pages[n++ & 1]);
    scene.window->Tick();  // the fresh render
    scene.window->Tick();  // the first glyph revealed
  }
  state.counters["rows"] = static_cast<double>(scene.window->Word.Pages[0]->Rows.size());
}
BENCHMARK(BM_MessageTurnPage400)->Unit(benchmark::kMicrosecond);

// A history of 2,000 pages of 100 characters from one compiled text, laid out in screens of
// 480 pixels.
struct HistoryScene : Scene {
  TCompiledTextLoader previous;
  HistoryScene() {
    previous = SetCompiledTextLoader([](const std::string&, int32_t, TKvWord& word) {
      TKvWord parsed;
      parsed.SetText({Text(100)});
      word.CopyGlyphs(parsed, 0, parsed.GlyphCount() - 1);
      return TTextLoad::Loaded;
    });
    TOrbaNewHistory& h = MessageHistory();
    h.Clear();
    h.SetSettings({24, 0, 0, 1000, 480, 4});
    h.MaxCount = 0;
    for (int i = 0; i < 2000; ++i) Enter(i);
  }
  ~HistoryScene() {
    MessageHistory().Clear();
    MessageHistory().SetSettings({});
    MessageHistory().Word.PageWidth = 0;
    SetCompiledTextLoader(previous);
  }
  void Enter(int i) {
    MessageHistory().SetPending(*window, "story.rss", {}, 0, -1, 0, i % 8);
    MessageHistory().Commit("mes");
  }
};

void BM_MessageHistoryEnterPage(benchmark::State& state) {
  HistoryScene scene;
  MessageHistory().MaxCount = MessageHistory().Count();  // stays at its size
  int i = 0;
  for (auto _ : state) scene.Enter(i++);
  state.counters["screens"] = MessageHistory().Count();
}
BENCHMARK(BM_MessageHistoryEnterPage)->Unit(benchmark::kMicrosecond);

void BM_MessageHistoryOpenScreen(benchmark::State& state) {
  HistoryScene scene;
  const int32_t total = MessageHistory().Total();
  for (auto _ : state) {
    MessageHistory().Show(total - 480, 480, *scene.window);
    scene.window->Tick();
  }
  state.counters["pixels"] = total;
}
BENCHMARK(BM_MessageHistoryOpenScreen)->Unit(benchmark::kMicrosecond);

}  // namespace
