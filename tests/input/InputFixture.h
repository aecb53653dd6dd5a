#pragma once
// A started application whose library holds Bass.re and Lead.re, both opened
// before, so the "Rack Extensions" menu lists them twice: on Ctrl+1 and
// Ctrl+2, then again below the separator.
#include <gtest/gtest.h>

#include <QAction>
#include <QLineEdit>
#include <QMenuBar>
#include <memory>
#include <string>

#include "filter/Window_Filter.h"
#include "generator/Window_RE.h"
#include "shell/App.h"

class StartedWithTwoDevices : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Shows the generator window of `name` and waits until it is active.
  Window_RE* OpenGenerator(const std::string& name = "Bass.re");
  // The gear picture, then waits until the filter editor is active.
  Window_Filter* OpenFilterEditor(Window_RE* generator);

  static QLineEdit* CountField(Window_RE* window);
  static QMenuBar* MenuBarOf(QWidget* window);
  static QAction* Title(QMenuBar* bar, const char* text);

  std::unique_ptr<App> app;
};

// Closes every window of the program and waits until they are gone.
void CloseAllWindows();
