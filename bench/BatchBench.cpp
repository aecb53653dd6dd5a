// A whole batch of patch files, against writing as many files of the same size
// with plain open/write/close, and with open/write/fsync/close: every patch is
// on the disk before it takes its name, so the second is the floor a batch can
// reach.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "generator/PatchExpansion.h"
#include "generator/Window_RE.h"
#include "shell/App.h"

namespace fs = std::filesystem;

namespace {

constexpr int kFiles = 999;
constexpr int kLines = 2000;
constexpr int kPlaceholders = 500;
constexpr const char* kRE = "Bench Synth.re";

struct Setup {
  fs::path root, out, floor;
  std::size_t patchSize = 0;
};

// A description of kLines lines with kPlaceholders parameters, all enabled,
// in the library of a temporary data folder.
const Setup& TheSetup() {
  static const Setup setup = [] {
    Setup s;
    char pattern[] = "/tmp/quirlomatic-bench-XXXXXX";
    s.root = mkdtemp(pattern);
    setenv("XDG_DATA_HOME", (s.root / "data").c_str(), 1);
    fs::create_directories(FilterFolder().Path());
    static constexpr const char* kKinds[] = {"integer|0|127", "float|0|1", "boolean|0|1", "float|-2.5|2.5"};
    std::ofstream description(RELibraryFolder().Child(kRE).Path(), std::ios::binary);
    std::ofstream filter(FilterFolder().Child(kRE).Path(), std::ios::binary);
    filter << "#+#+#+#+#\n";
    description
        << "<?xml version=\"1.0\"?>\n<JukeboxPatch version=\"2.0\"  deviceProductID=\"com.example.Synth\">\n";
    int lines = 2;
    for (int p = 0; p < kPlaceholders; ++p) {
      const std::string name = "/custom_properties/parameter_" + std::to_string(p);
      filter << name << "\n";
      description << "\t\t<Value property=\"" << name << "\"  type=\"number\">\n"
                  << "\t\t\t{{" << kKinds[p % 4] << "|Parameter " << p << "|Group " << p / 50 << "|0}}\n"
                  << "\t\t</Value>\n";
      lines += 3;
    }
    for (; lines < kLines - 1; ++lines)
      description << "\t<!-- " << lines << " plain patch text of a usual length -->\n";
    description << "</JukeboxPatch>\n";
    description.close();
    filter.close();
    std::string text;
    if (!generator::ExpandPatchFile(RELibraryFolder().Child(kRE), FilterFolder().Child(kRE), text)) std::abort();
    s.patchSize = text.size();
    s.out = s.root / "out";
    s.floor = s.root / "floor";
    fs::create_directories(s.out);
    fs::create_directories(s.floor);
    return s;
  }();
  return setup;
}

// Between iterations, outside the timing: the files go, and the disk catches
// up, so that no iteration pays for the write-back of the one before.
void emptyFolder(const fs::path& folder) {
  for (const auto& entry : fs::directory_iterator(folder)) fs::remove(entry.path());
  ::sync();
}

void BM_Batch(benchmark::State& state) {
  const Setup& s = TheSetup();
  const platform::FolderItem folder(s.out);
  for (auto _ : state) {
    std::int32_t counter = 0;
    if (!Window_RE::WriteBatch(folder, kRE, kFiles, counter)) state.SkipWithError("batch failed");
    state.PauseTiming();
    emptyFolder(s.out);
    state.ResumeTiming();
  }
  state.counters["bytes_per_file"] = static_cast<double>(s.patchSize);
}
BENCHMARK(BM_Batch)->Unit(benchmark::kMillisecond)->UseRealTime();

void plainFileWrites(benchmark::State& state, bool flush) {
  const Setup& s = TheSetup();
  const std::string text(s.patchSize, 'x');
  for (auto _ : state) {
    for (int n = 1; n <= kFiles; ++n) {
      const fs::path file = s.floor / (std::string(kRE) + "_" + std::to_string(n) + ".repatch");
      const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
      if (fd < 0 || ::write(fd, text.data(), text.size()) != static_cast<ssize_t>(text.size()) ||
          (flush && ::fsync(fd) != 0))
        state.SkipWithError("write failed");
      ::close(fd);
    }
    state.PauseTiming();
    emptyFolder(s.floor);
    state.ResumeTiming();
  }
}
void BM_PlainFileWrites(benchmark::State& state) { plainFileWrites(state, false); }
void BM_PlainFileWritesFlushed(benchmark::State& state) { plainFileWrites(state, true); }
BENCHMARK(BM_PlainFileWrites)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PlainFileWritesFlushed)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  fs::remove_all(TheSetup().root);
  return 0;
}
