#pragma once
// A started application in the test's temporary home.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/FolderItem.h"
#include "shell/App.h"
#include "shell/MenuBar1.h"
#include "shell/StartUp.h"

class StartedApp : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Runs start-up and the Open event, as the event loop would.
  void Start();
  // A file in the RE library folder (created with the folders if needed).
  void AddDescription(const std::string& name, const std::string& text = "");
  // The texts of the "Rack Extensions" menu, top to bottom.
  std::vector<std::string> MenuTexts() const;
  std::vector<std::string> MenuShortcuts() const;

  std::unique_ptr<App> app;
};
