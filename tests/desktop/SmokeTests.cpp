// The desktop tier itself: a framed window, a title read from the window
// manager, a real click and a real key press reaching the application.
#include <gtest/gtest.h>

#include "AppDriver.h"
#include "Desktop.h"
#include "platform/QtInternal.h"
#include "shell/MenuBar1.h"
#include "shell/WindowAbout.h"

using namespace desktop;
using testing_support::openWindow;

namespace {

using Smoke = DesktopApp;

TEST_F(Smoke, RealInputReachesTheAboutBoxUnderTheWindowManager) {
  Start();
  QMainWindow* bar = platform::MenuBarWindow();
  ASSERT_NE(bar, nullptr);
  ASSERT_TRUE(waitFramed(bar));
  EXPECT_EQ(wmName(xid(bar)), "Quirlomatic");
  EXPECT_TRUE(screenRect().contains(rootGeometry(frameOf(xid(bar)))));

  testing_support::choose(AppleAbout());
  auto* about = openWindow<WindowAbout>();
  ASSERT_NE(about, nullptr);
  ASSERT_TRUE(waitFramed(about->widget()));
  click(about->widget(), QPoint(10, 150));  // a press anywhere in the box closes it
  EXPECT_TRUE(waitFor([] { return !openWindow<WindowAbout>(); }));

  testing_support::choose(AppleAbout());
  about = openWindow<WindowAbout>();
  ASSERT_NE(about, nullptr);
  ASSERT_TRUE(waitActive(about->widget()));
  key("Return");  // "Close", the default button
  EXPECT_TRUE(waitFor([] { return !openWindow<WindowAbout>(); }));
}

}  // namespace
