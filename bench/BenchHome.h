#pragma once
// A home of its own for a benchmark that runs the application headless: its
// data and configuration folders in a temporary folder, removed at the end.
#include <stdlib.h>

#include <filesystem>
#include <string>

namespace bench {

class Home {
 public:
  Home() {
    char pattern[] = "/tmp/quirlomatic-bench-XXXXXX";
    root_ = mkdtemp(pattern);
    setenv("HOME", root_.c_str(), 1);
    setenv("XDG_CONFIG_HOME", (root_ / "config").c_str(), 1);
    setenv("XDG_RUNTIME_DIR", root_.c_str(), 1);
    if (!getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    std::filesystem::create_directories(root_ / "config");
  }
  ~Home() {
    std::error_code ec;
    std::filesystem::remove_all(root_, ec);
  }
  Home(const Home&) = delete;
  Home& operator=(const Home&) = delete;

  // The application-data folder of a library of its own, one per size, so
  // that the sizes do not meet in one folder.
  std::filesystem::path UseDataFolder(const std::string& name) const {
    const std::filesystem::path data = root_ / ("data-" + name);
    setenv("XDG_DATA_HOME", data.c_str(), 1);
    return data;
  }

 private:
  std::filesystem::path root_;
};

}  // namespace bench
