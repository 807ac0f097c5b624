// Loading a compiled page of 5,000 commands, the size of a long chapter: every record is read
// through the layout table and every expression through the stored-operation reader. The page
// is made by our source compiler from a mix of the commands scripts use most.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#include "authoring/source.h"

namespace {

using namespace orba;

constexpr int kCommands = 5000;

std::vector<uint8_t> ChapterBytes() {
  std::string source;
  const char* lines[] = {
      "calc score = score + bonus * 2\n",
      "textins \"A line of the story, long enough to look like one.\"; window: \"mes\"; waitend: TRUE\n",
      "imgnew name: \"chara\"; source: \"chara\" ++ IntToStr(face) ++ \".png\"; left: 120; top: 40; alpha: 255\n",
      "if flag & score > 10\n",
      "  setprop \"chara\"; property: 3; value: x + 10\n",
      "wait time: 500\n",
      "sound name: \"se\"; source: \"click.ogg\"; volume: 800\n",
      "label mark%d\n",
      "jump target: mark%d; condition: Random(10) < 2\n",
      "flip kind: 1; time: 300; names: \"bg\", \"chara\"\n",
  };
  // Each tenth of the page has a label of its own.
  for (int i = 0; i < kCommands; ++i) {
    char line[200];
    std::snprintf(line, sizeof line, lines[i % 10], i / 10);
    source += line;
  }
  TPage page;
  page.Name = "chapter.rsb";
  CompilePage(source, "chapter.rss", page);
  TKvMemoryStream s;
  page.SaveToStream(s);
  return s.TakeBytes();
}

void BM_LoadPageOf5000Commands(benchmark::State& state) {
  static const std::vector<uint8_t> bytes = ChapterBytes();
  for (auto _ : state) {
    TPage page;
    page.LoadFromBytes(bytes);
    benchmark::DoNotOptimize(page.Commands.data());
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(bytes.size()));
}
BENCHMARK(BM_LoadPageOf5000Commands)->Unit(benchmark::kMillisecond);

}  // namespace
