// After each test of a suite that uses the platform layer: the test's
// application object is gone and every window of the test has ended.
#include <QApplication>
#include <gtest/gtest.h>

#include <algorithm>

#include "TestSupport.h"
#include "platform/Application.h"
#include "platform/QtInternal.h"
#include "platform/Window.h"

using namespace platform;

namespace {

bool anyWindowLeft() {
  const auto widgets = QApplication::topLevelWidgets();
  return std::any_of(widgets.begin(), widgets.end(),
                     [](QWidget* widget) { return dynamic_cast<WindowWidget*>(widget) != nullptr; });
}

const testing_support::ResetStep endWindows([] {
  // Each test makes its own; one left over would act for the next test's.
  if (Application::Instance()) ADD_FAILURE() << "the application object outlived its test";
  // Still open: they end without their Close events, which would act for a
  // test that is over, on an application object that has gone with it.
  for (Window* window : Window::OpenWindows()) delete window;
  // Closed ones end from the event loop once no dialog of theirs is open.
  if (!testing_support::WaitUntil([] { return !anyWindowLeft(); }))
    ADD_FAILURE() << "a closed window has not ended";
});

}  // namespace
