// After each test of a suite that runs the application: every window of the
// test has ended and the one menu bar is as it was built.
#include <QApplication>
#include <gtest/gtest.h>

#include <algorithm>

#include "TestSupport.h"
#include "platform/Application.h"
#include "platform/QtInternal.h"
#include "platform/Window.h"
#include "shell/MenuBar1.h"

using namespace platform;

namespace {

bool anyWindowLeft() {
  const auto widgets = QApplication::topLevelWidgets();
  return std::any_of(widgets.begin(), widgets.end(),
                     [](QWidget* widget) { return dynamic_cast<WindowWidget*>(widget) != nullptr; });
}

void endWindows() {
  // Still open: they end without their Close events, which would act for a
  // test that is over, on an application object that has gone with it.
  for (Window* window : Window::OpenWindows()) delete window;
  // Closed ones end from the event loop once no dialog of theirs is open.
  if (!testing_support::WaitUntil([] { return !anyWindowLeft(); }))
    ADD_FAILURE() << "a closed window has not ended";
}

void enableAll(MenuItem* menu) {
  for (int i = 0; i < menu->Count(); ++i) {
    menu->Item(i)->SetEnabled(true);
    enableAll(menu->Item(i));
  }
}

// The next App starts with RE_Menu_Number 0 and so never removes the entries
// of an earlier build.
void restoreMenuBar() {
  MenuItem* bar = the::MenuBar1();
  MenuItem* rackExtensions = bar->Lookup("RackExtensions");
  while (rackExtensions->Count() > 0) rackExtensions->Item(rackExtensions->Count() - 1)->Close();
  enableAll(bar);
}

const testing_support::ResetStep windowsAndMenus([] {
  // Each test makes its own; one left over would act for the next test's.
  if (Application::Instance()) ADD_FAILURE() << "the application object outlived its test";
  endWindows();
  restoreMenuBar();
});

}  // namespace
