// "Reset Numbers" and the build of the "Rack Extensions" menu, over libraries
// of 1,000 and 3,000 descriptions: both walk the whole library folder and look
// up two preferences per description.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "BenchHome.h"
#include "platform/Application.h"
#include "prefs/REALEasyPrefs.h"
#include "shell/App.h"
#include "shell/MenuBar1.h"
#include "shell/StartUp.h"

namespace fs = std::filesystem;

namespace {

bench::Home* home = nullptr;
App* app = nullptr;

std::string deviceName(int n) {
  char name[32];
  std::snprintf(name, sizeof name, "Device %05d.re", n);
  return name;
}

// A library of `descriptions` files, each opened once and with a counter, in
// a store loaded afresh from an empty preference file.
void useLibrary(int descriptions) {
  home->UseDataFolder(std::to_string(descriptions));
  const fs::path library = RELibraryFolder().Path();
  if (!fs::exists(library)) {
    fs::create_directories(FilterFolder().Path());
    for (int n = 0; n < descriptions; ++n)
      std::ofstream(library / deviceName(n)) << "{{integer|0|1|P|G|0}}\n";
    // A folder changed within the last tick of its clock is listed afresh at
    // every step; a user's library has not just changed when the menu item
    // is chosen.
    fs::last_write_time(library, fs::file_time_type::clock::now() - std::chrono::hours(1));
  }
  fs::remove(platform::SpecialFolder::Preferences().Child(REALEasyPrefs::kBundleIdentifier).Path());
  if (!REALEasyPrefs::InitPrefFile("Quirlomatic")) std::abort();
  for (int n = 0; n < descriptions; ++n) {
    char time[32];
    std::snprintf(time, sizeof time, "2026-01-01 %02d:%02d:%02d", n / 3600 % 24, n / 60 % 60, n % 60);
    REALEasyPrefs::SetPrefString("Time " + deviceName(n), time);
    REALEasyPrefs::SetPrefNumber("Counter " + deviceName(n), n);
  }
}

void BM_ResetNumbers(benchmark::State& state) {
  useLibrary(static_cast<int>(state.range(0)));
  for (auto _ : state) app->_FileResetNumbers_Action();
  if (REALEasyPrefs::GetPrefNumber("Counter " + deviceName(1), -1) != 0) state.SkipWithError("not reset");
}
BENCHMARK(BM_ResetNumbers)->Arg(1000)->Arg(3000)->Unit(benchmark::kMillisecond)->UseRealTime();

// Every build but the first also removes the items of the build before.
void BM_REMenuBuild(benchmark::State& state) {
  useLibrary(static_cast<int>(state.range(0)));
  app->Update_RE_Menu();
  for (auto _ : state) app->Update_RE_Menu();
  if (RackExtensions()->Count() != state.range(0) + 13) state.SkipWithError("wrong menu");
}
BENCHMARK(BM_REMenuBuild)->Arg(1000)->Arg(3000)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  bench::Home theHome;
  home = &theHome;
  platform::Runtime runtime(argc, argv);
  auto theApp = std::make_unique<App>();
  app = theApp.get();
  InstallApplication(*app);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
