// The menus show the state of the frontmost window as soon as it comes to the
// front, and a menu that window disables cannot be opened or used.
#include <QApplication>
#include <QMainWindow>
#include <QTest>
#include <vector>

#include "InputFixture.h"
#include "TestSupport.h"
#include "platform/QtInternal.h"
#include "shell/MenuBar1.h"

using namespace platform;

namespace {

using MenuEnabling = StartedWithTwoDevices;

std::vector<bool> entryStates() {
  std::vector<bool> states;
  for (int i = 0; i < RackExtensions()->Count(); ++i) states.push_back(RackExtensions()->Item(i)->Enabled());
  return states;
}

const std::vector<bool> kAllEntries(7, true);
// The filter editor disables the five entries its rule counts, not "Show in Finder".
const std::vector<bool> kOnlyTail = {false, false, false, false, false, true, true};

// No menu is opened and nothing asks for a refresh: every state below is the
// one the activation alone left.
TEST_F(MenuEnabling, followsTheFrontWindow_withoutAnyMenuOpened) {
  Window_RE* generator = OpenGenerator();
  EXPECT_FALSE(RackExtensions()->Enabled());
  EXPECT_TRUE(generator->FileCloseWindow()->Enabled());
  EXPECT_TRUE(generator->FileFilter()->Enabled());
  EXPECT_FALSE(Title(MenuBarOf(generator->widget()), "Rack Extensions")->isEnabled());
  EXPECT_FALSE(Title(MenuBarOf(MenuBarWindow()), "Rack Extensions")->isEnabled());

  Window_Filter* editor = OpenFilterEditor(generator);
  EXPECT_TRUE(RackExtensions()->Enabled());
  EXPECT_EQ(entryStates(), kOnlyTail);
  EXPECT_FALSE(editor->FileCloseWindow()->Enabled());
  EXPECT_FALSE(FileImport()->Enabled());
  EXPECT_TRUE(Title(MenuBarOf(editor->widget()), "Rack Extensions")->isEnabled());

  // Whether or not a window manager activates it, the generator window is in front again.
  editor->PushButtonCancel_Action();
  EXPECT_EQ(Window::Frontmost(), generator);
  EXPECT_FALSE(RackExtensions()->Enabled());

  generator->Close();
  EXPECT_TRUE(RackExtensions()->Enabled());
  EXPECT_EQ(entryStates(), kAllEntries);
  EXPECT_FALSE(the::MenuBar1()->Lookup("FileCloseWindow")->Enabled());
  EXPECT_FALSE(the::MenuBar1()->Lookup("FileFilter")->Enabled());
}

// The menu-bar window stands in for a global menu bar: activating it leaves
// the generator window in front, for the rules and for the handlers.
TEST_F(MenuEnabling, menuBarWindow_leavesTheLastWindowInFront) {
  Window_RE* generator = OpenGenerator("Bass.re");
  MenuBarWindow()->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(MenuBarWindow()));
  EXPECT_EQ(Window::Frontmost(), generator);

  app->UpdateMenus();  // what opening a menu does
  EXPECT_FALSE(RackExtensions()->Enabled());
  for (int i = 0; i < RackExtensions()->Count(); ++i) RackExtensions()->Item(i)->impl()->action->trigger();
  QTest::keyClick(MenuBarWindow(), Qt::Key_2, Qt::ControlModifier);
  EXPECT_EQ(app->Selected_RE, "Bass.re");
  EXPECT_EQ(generator->Title(), "Quirlomatic: Bass.re");

  // Its handlers act on that window too: "Close" closes it.
  QTest::keyClick(MenuBarWindow(), Qt::Key_W, Qt::ControlModifier);
  EXPECT_TRUE(Window::OpenWindows().empty());
  EXPECT_TRUE(RackExtensions()->Enabled());
}

// A disabled menu takes its items' shortcuts with it; with nothing in front
// the same key chooses the entry.
TEST_F(MenuEnabling, disabledMenu_itsEntriesShortcutsDoNothing) {
  Window_RE* generator = OpenGenerator("Bass.re");
  QTest::keyClick(CountField(generator), Qt::Key_2, Qt::ControlModifier);
  EXPECT_EQ(app->Selected_RE, "Bass.re");

  Window_Filter* editor = OpenFilterEditor(generator);
  QTest::keyClick(editor->widget(), Qt::Key_2, Qt::ControlModifier);
  EXPECT_EQ(app->Selected_RE, "Bass.re");

  editor->Close();
  generator->Close();
  MenuBarWindow()->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(MenuBarWindow()));
  QTest::keyClick(MenuBarWindow(), Qt::Key_2, Qt::ControlModifier);
  EXPECT_EQ(app->Selected_RE, "Lead.re");
  EXPECT_EQ(the::Window_RE()->Title(), "Quirlomatic: Lead.re");
}

// The title's state is refreshed before the menu bar takes the press, so a
// state left over from before cannot open the menu.
TEST_F(MenuEnabling, pressOnADisabledTitle_opensNothing) {
  Window_RE* generator = OpenGenerator();
  RackExtensions()->SetEnabled(true);  // as an earlier refresh may have left it
  QMenuBar* bar = MenuBarOf(generator->widget());
  QTest::mouseClick(bar, Qt::LeftButton, {}, bar->actionGeometry(Title(bar, "Rack Extensions")).center());
  testing_support::WaitUntil([] { return QApplication::activePopupWidget() != nullptr; }, 200);
  EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
  EXPECT_FALSE(RackExtensions()->Enabled());

  // The File menu still opens from the same bar.
  QTest::mouseClick(bar, Qt::LeftButton, {}, bar->actionGeometry(Title(bar, "File")).center());
  EXPECT_TRUE(testing_support::WaitUntil([] { return QApplication::activePopupWidget() != nullptr; }));
}

TEST_F(MenuEnabling, menuBarWindow_isAsLargeAsItsMenuBar_andCannotBeMaximised) {
  QMainWindow* window = MenuBarWindow();
  ASSERT_NE(window, nullptr);
  EXPECT_FALSE(window->windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
  EXPECT_TRUE(window->windowFlags().testFlag(Qt::WindowCloseButtonHint));
  EXPECT_EQ(window->minimumSize(), window->maximumSize());
  EXPECT_EQ(window->height(), window->menuBar()->height());
  EXPECT_GE(window->width(), window->menuBar()->sizeHint().width());
}

}  // namespace
