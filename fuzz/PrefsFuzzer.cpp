// Any bytes as the preference file: loading, writing and loading again must
// give the same entries, and the second write the same bytes as the first.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "prefs/REALEasyPrefs.h"

namespace {
std::filesystem::path prefPath;

std::string readAll() {
  std::ifstream in(prefPath, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  char dir[] = "/tmp/qm-fuzz-prefs-XXXXXX";
  const char* home = mkdtemp(dir);
  if (!home) std::abort();
  setenv("HOME", home, 1);
  setenv("XDG_CONFIG_HOME", (std::string(home) + "/.config").c_str(), 1);
  std::filesystem::create_directories(std::string(home) + "/.config");
  prefPath = std::filesystem::path(home) / ".config" / REALEasyPrefs::kBundleIdentifier;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::ofstream(prefPath, std::ios::binary | std::ios::trunc).write(reinterpret_cast<const char*>(data),
                                                                     static_cast<std::streamsize>(size));
  if (!REALEasyPrefs::InitPrefFile("Quirlomatic")) std::abort();
  const auto names = REALEasyPrefs::prefNames;
  const auto items = REALEasyPrefs::prefItems;
  if (!REALEasyPrefs::WritePrefFile()) std::abort();
  const std::string first = readAll();
  if (!REALEasyPrefs::InitPrefFile("Quirlomatic")) std::abort();
  if (REALEasyPrefs::prefNames != names || REALEasyPrefs::prefItems != items) std::abort();
  if (!REALEasyPrefs::WritePrefFile()) std::abort();
  if (readAll() != first) std::abort();
  return 0;
}
