// A whole batch of patch files, against writing as many files of the same size
// three ways: plain open/write/close; open/write/fsync/close (every file on
// the disk before it takes its name, one flush per file); and the batched
// flush: every file written to a temporary name, one flush of the file system
// and of the folder, the renames in order, one more flush of the folder. The
// first is the floor of any batch, the third the floor of a durable one.
//
// Every iteration writes into a folder of its own, made before it and removed
// only at the end: on ext4 creating files right after deleting many is slowed
// by the file system, which would be measured instead of the batch.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

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
  fs::path root;
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
    if (!generator::ExpandPatchFile(RELibraryFolder().Child(kRE), FilterFolder().Child(kRE), text))
      std::abort();
    s.patchSize = text.size();
    return s;
  }();
  return setup;
}

// A new, empty folder for one iteration, made outside the timing; the disk
// catches up first, so that no iteration pays for the write-back of the one
// before.
fs::path freshFolder() {
  static int made = 0;
  const fs::path folder = TheSetup().root / ("run-" + std::to_string(++made));
  fs::create_directories(folder);
  ::sync();
  return folder;
}

std::string patchName(int n) { return std::string(kRE) + "_" + std::to_string(n) + ".repatch"; }

void BM_Batch(benchmark::State& state) {
  const Setup& s = TheSetup();
  for (auto _ : state) {
    state.PauseTiming();
    const platform::FolderItem folder(freshFolder());
    state.ResumeTiming();
    std::int32_t counter = 0;
    if (!Window_RE::WriteBatch(folder, kRE, kFiles, counter)) state.SkipWithError("batch failed");
  }
  state.counters["bytes_per_file"] = static_cast<double>(s.patchSize);
}
BENCHMARK(BM_Batch)->Unit(benchmark::kMillisecond)->UseRealTime();

void plainFileWrites(benchmark::State& state, bool flush) {
  const std::string text(TheSetup().patchSize, 'x');
  for (auto _ : state) {
    state.PauseTiming();
    const fs::path folder = freshFolder();
    state.ResumeTiming();
    for (int n = 1; n <= kFiles; ++n) {
      const int fd = ::open((folder / patchName(n)).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
      if (fd < 0 || ::write(fd, text.data(), text.size()) != static_cast<ssize_t>(text.size()) ||
          (flush && ::fsync(fd) != 0))
        state.SkipWithError("write failed");
      ::close(fd);
    }
  }
}
void BM_PlainFileWrites(benchmark::State& state) { plainFileWrites(state, false); }
void BM_PlainFileWritesFlushed(benchmark::State& state) { plainFileWrites(state, true); }
BENCHMARK(BM_PlainFileWrites)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PlainFileWritesFlushed)->Unit(benchmark::kMillisecond)->UseRealTime();

// The durable batch in plain system calls, with nothing else around it.
void BM_BatchedFlushFloor(benchmark::State& state) {
  const std::string text(TheSetup().patchSize, 'x');
  for (auto _ : state) {
    state.PauseTiming();
    const fs::path folder = freshFolder();
    state.ResumeTiming();
    const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    std::vector<int> files;
    bool ok = dir >= 0;
    for (int n = 1; ok && n <= kFiles; ++n) {
      const std::string temporary = ".tmp-" + std::to_string(n);
      const int fd = ::openat(dir, temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
      ok = fd >= 0 && ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
      files.push_back(fd);
    }
#if defined(__linux__)
    ok = ok && ::syncfs(dir) == 0;
#else
    for (int fd : files) ok = ok && ::fsync(fd) == 0;
#endif
    ok = ok && ::fsync(dir) == 0;
    for (int n = 1; n <= static_cast<int>(files.size()); ++n) {
      ok = ::close(files[n - 1]) == 0 && ok;
      const std::string temporary = ".tmp-" + std::to_string(n);
      ok = ok && ::renameat(dir, temporary.c_str(), dir, patchName(n).c_str()) == 0;
    }
    ok = ok && ::fsync(dir) == 0;
    if (dir >= 0) ::close(dir);
    if (!ok) state.SkipWithError("write failed");
  }
}
BENCHMARK(BM_BatchedFlushFloor)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  fs::remove_all(TheSetup().root);
  return 0;
}
