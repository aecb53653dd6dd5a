// The filter editor with 3,000 and 12,000 placeholders in four groups: opening
// it (every box made, every name of the filter file checked again, the first
// page laid out) and changing its page.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "BenchHome.h"
#include "filter/Window_Filter.h"
#include "platform/Application.h"
#include "prefs/REALEasyPrefs.h"
#include "shell/App.h"
#include "shell/StartUp.h"

namespace fs = std::filesystem;

namespace {

constexpr int kGroups = 4;
constexpr const char* kRE = "Bench Synth.re";

bench::Home* home = nullptr;

// Every tenth parameter starts a row of its own; the filter file names every
// group and every parameter.
void useDescription(int placeholders) {
  home->UseDataFolder(std::to_string(placeholders));
  if (fs::exists(RELibraryFolder().Path())) return;
  fs::create_directories(FilterFolder().Path());
  std::ofstream description(RELibraryFolder().Child(kRE).Path());
  std::ofstream filter(FilterFolder().Child(kRE).Path());
  const int perGroup = placeholders / kGroups;
  for (int g = 0; g < kGroups; ++g) filter << "Group " << g << "\n";
  filter << "#+#+#+#+#\n";
  for (int p = 0; p < placeholders; ++p) {
    const std::string name = "/custom_properties/parameter_" + std::to_string(p);
    filter << name << "\n";
    description << "\t\t<Value property=\"" << name << "\"  type=\"number\">\n"
                << "\t\t\t{{integer|0|127|Parameter " << p << "|Group " << p / perGroup << "|0"
                << (p % 10 == 0 ? "|nl" : "") << "}}\n"
                << "\t\t</Value>\n";
  }
}

Window_Filter* open() {
  the::App()->Selected_RE = kRE;
  return the::Window_Filter();
}

void close(Window_Filter* editor) {
  editor->Close();
  for (int i = 0; i < 3; ++i) QApplication::processEvents();
}

void BM_FilterEditorOpen(benchmark::State& state) {
  useDescription(static_cast<int>(state.range(0)));
  // The first window of a run also loads what every later one shares.
  close(open());
  for (auto _ : state) {
    Window_Filter* editor = open();
    state.PauseTiming();
    if (editor->Prop.size() != static_cast<std::size_t>(state.range(0)) ||
        editor->CheckBox_EnableParameter(1)->State() != 1)
      state.SkipWithError("wrong model");
    close(editor);
    state.ResumeTiming();
  }
}
BENCHMARK(BM_FilterEditorOpen)->Arg(3000)->Arg(12000)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_FilterEditorPageChange(benchmark::State& state) {
  useDescription(static_cast<int>(state.range(0)));
  Window_Filter* editor = open();
  platform::PopupMenu* popup = editor->PopupMenu_Group();
  for (auto _ : state) popup->SetListIndex((popup->ListIndex() + 1) % popup->ListCount());
  close(editor);
}
BENCHMARK(BM_FilterEditorPageChange)->Arg(3000)->Arg(12000)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  bench::Home theHome;
  home = &theHome;
  platform::Runtime runtime(argc, argv);
  auto app = std::make_unique<App>();
  InstallApplication(*app);
  if (!REALEasyPrefs::InitPrefFile("Quirlomatic")) return 1;
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
