// Any bytes as a description, and as its filter file after the first NUL byte:
// the filter editor builds its model and pages, reads the filter back, checks
// every box and saves; nothing may crash, and the saved file must list every
// group and every parameter.
#include <QApplication>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "filter/Window_Filter.h"
#include "platform/Controls.h"
#include "shell/App.h"
#include "shell/StartUp.h"

namespace {
App* app = nullptr;

void write(const std::filesystem::path& path, std::string_view bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::size_t countLines(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  std::size_t n = 0;
  for (char c : bytes.str()) n += c == '\n';
  return n;
}
}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  char dir[] = "/tmp/qm-fuzz-filter-XXXXXX";
  const char* home = mkdtemp(dir);
  if (!home) std::abort();
  setenv("HOME", home, 1);
  setenv("XDG_DATA_HOME", (std::string(home) + "/.local/share").c_str(), 1);
  setenv("XDG_CONFIG_HOME", (std::string(home) + "/.config").c_str(), 1);
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  new QApplication(*argc, *argv);
  app = new App();
  InstallApplication(*app);
  app->Open();
  app->justStarted = false;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const auto split = input.find('\0');
  const std::string name = "Device.re";
  write(RELibraryFolder().Child(name).Path(), input.substr(0, split));
  const auto filterPath = FilterFolder().Child(name).Path();
  if (split != std::string_view::npos) write(filterPath, input.substr(split + 1));
  else std::filesystem::remove(filterPath);

  app->Selected_RE = name;
  Window_Filter* editor = the::Window_Filter();
  const std::size_t groups = editor->ListOfGroups.size(), parameters = editor->Prop.size();
  editor->UpDownArrows1_Down();
  editor->UpDownArrows1_Up();
  editor->PushButton1_Action();
  editor->PushButtonSave_Action();
  if (!editor->IsClosed()) std::abort();
  QApplication::processEvents();  // the closed editor ends here
  if (countLines(filterPath) != groups + 1 + parameters) std::abort();
  return 0;
}
