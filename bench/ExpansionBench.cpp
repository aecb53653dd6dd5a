// One patch from a large description, against copying the same lines.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "generator/PatchExpansion.h"
#include "platform/Text.h"

namespace {

constexpr int kLines = 20000;
constexpr int kPlaceholders = 4000;

struct Template {
  std::vector<std::string> storage;
  std::vector<std::string_view> lines;
  std::vector<std::string> enabled;
};

// Each parameter is a property line, its placeholder and the closing line;
// plain patch text makes up the rest.
const Template& BigTemplate() {
  static const Template t = [] {
    static constexpr const char* kKinds[] = {"integer|0|127", "float|0|1", "boolean|0|1", "float|-2.5|2.5"};
    Template t;
    t.storage.reserve(kLines);
    t.storage.emplace_back("<?xml version=\"1.0\"?>");
    t.storage.emplace_back("<JukeboxPatch version=\"2.0\"  deviceProductID=\"com.example.Synth\">");
    int filler = kLines - 3 - 3 * kPlaceholders;
    for (int p = 0; p < kPlaceholders; ++p) {
      const std::string name = "/custom_properties/parameter_" + std::to_string(p);
      t.enabled.push_back(name);
      t.storage.push_back("\t\t<Value property=\"" + name + "\"  type=\"number\">");
      t.storage.push_back("\t\t\t{{" + std::string(kKinds[p % 4]) + "|Parameter " + std::to_string(p) +
                          "|Group " + std::to_string(p / 50) + "|0" + (p % 10 == 0 ? "|nl" : "") + "}}");
      t.storage.emplace_back("\t\t</Value>");
      for (int k = 0; k < 2 && filler > 0; ++k, --filler)
        t.storage.push_back("\t<!-- " + std::to_string(filler) + " plain patch text of a usual length -->");
    }
    t.storage.emplace_back("</JukeboxPatch>");
    t.lines.assign(t.storage.begin(), t.storage.end());
    if (t.lines.size() != kLines) std::abort();
    return t;
  }();
  return t;
}

void BM_ExpandPatch(benchmark::State& state) {
  const Template& t = BigTemplate();
  for (auto _ : state) {
    std::string out = generator::ExpandPatch(t.lines, t.enabled, generator::MakeNumberValue);
    benchmark::DoNotOptimize(out.data());
  }
}
BENCHMARK(BM_ExpandPatch)->Unit(benchmark::kMicrosecond);

// The filter editor lists the names in parameter order, which the lookup
// follows; in any other order every name goes through the table.
void BM_ExpandPatchShuffledList(benchmark::State& state) {
  const Template& t = BigTemplate();
  std::vector<std::string> enabled = t.enabled;
  std::shuffle(enabled.begin(), enabled.end(), std::mt19937(1));
  for (auto _ : state) {
    std::string out = generator::ExpandPatch(t.lines, enabled, generator::MakeNumberValue);
    benchmark::DoNotOptimize(out.data());
  }
}
BENCHMARK(BM_ExpandPatchShuffledList)->Unit(benchmark::kMicrosecond);

void BM_PlainCopy(benchmark::State& state) {
  const Template& t = BigTemplate();
  for (auto _ : state) {
    std::size_t size = 0;
    for (const std::string_view line : t.lines) size += line.size() + platform::EndOfLine.size();
    std::string out;
    out.reserve(size);
    for (const std::string_view line : t.lines) {
      out += line;
      out += platform::EndOfLine;
    }
    benchmark::DoNotOptimize(out.data());
  }
}
BENCHMARK(BM_PlainCopy)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
