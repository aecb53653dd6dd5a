#include "ShellFixture.h"

#include <filesystem>

#include "TestSupport.h"

void StartedApp::SetUp() { app = std::make_unique<App>(); }

void StartedApp::TearDown() {}

void StartedApp::Start() {
  InstallApplication(*app);
  app->Open();
}

void StartedApp::AddDescription(const std::string& name, const std::string& text) {
  const auto library = RELibraryFolder();
  std::filesystem::create_directories(library.Path());
  testing_support::WriteFile(library.Child(name).AbsolutePath(), text);
}

std::vector<std::string> StartedApp::MenuTexts() const {
  std::vector<std::string> texts;
  for (int i = 0; i < RackExtensions()->Count(); ++i) texts.push_back(RackExtensions()->Item(i)->Text());
  return texts;
}

std::vector<std::string> StartedApp::MenuShortcuts() const {
  std::vector<std::string> keys;
  for (int i = 0; i < RackExtensions()->Count(); ++i)
    keys.push_back(RackExtensions()->Item(i)->KeyboardShortcut());
  return keys;
}
