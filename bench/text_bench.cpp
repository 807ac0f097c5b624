// Building a message page from tagged source: tokenizing and applying tags to a page of
// 2,000 characters, mostly double-byte, with a style change every few words, as a novel's
// message window gets them. The whole build should stay well under half a millisecond.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "text/kvword.h"
#include "text/tagparse.h"

namespace {

// 40 lines of 50 characters: 40 double-byte characters (表 ソ あ 漢) and 10 ASCII, with
// bold, colour and ruby runs and a link.
const std::vector<std::string>& Page() {
  static const std::vector<std::string> lines = [] {
    const std::string kanji[] = {"\x95\x5C", "\x83\x5C", "\x82\xA0", "\x8A\xBF"};
    std::vector<std::string> out;
    for (int line = 0; line < 40; ++line) {
      std::string s;
      for (int i = 0; i < 40; ++i) {
        if (i == 8) s += "<B>";
        if (i == 16) s += "</B><FONT COLOR=#FF8000 SIZE=24>";
        if (i == 24) s += "</FONT><RUBY VALUE=\"\x82\xA0\x82\xA0\">";
        if (i == 28) s += "</RUBY>";
        s += kanji[(line + i) % 4];
      }
      s += line % 10 == 0 ? "<A HREF=next>next page</A>" : "abc  def\\<g";
      out.push_back(s);
    }
    return out;
  }();
  return lines;
}

void BM_TextTokenizePage(benchmark::State& state) {
  std::string source;
  for (const auto& line : Page()) source += line + "\r";
  for (auto _ : state) benchmark::DoNotOptimize(orba::TokenizeTaggedText(source));
}
BENCHMARK(BM_TextTokenizePage)->Unit(benchmark::kMicrosecond);

void BM_TextBuildPage(benchmark::State& state) {
  orba::TKvWord word;
  for (auto _ : state) {
    word.SetText(Page());
    benchmark::DoNotOptimize(word.GlyphCount());
  }
  state.counters["glyphs"] = static_cast<double>(word.GlyphCount());
}
BENCHMARK(BM_TextBuildPage)->Unit(benchmark::kMicrosecond);

}  // namespace
