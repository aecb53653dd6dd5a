// Keyboard focus reaches only what the user can see, never a control parked
// above the visible area.
#include <QApplication>
#include <QCheckBox>
#include <QTest>
#include <QToolButton>
#include <set>
#include <string>

#include "InputFixture.h"
#include "TestSupport.h"
#include "platform/Window.h"

using namespace platform;

namespace {

using Focus = StartedWithTwoDevices;

std::string focusName() {
  QWidget* focus = QApplication::focusWidget();
  return focus ? focus->objectName().toStdString() : "";
}

// Tab and Shift+Tab from the count field, many times round.
TEST_F(Focus, generatorWindow_tabReachesOnlyTheVisibleControls) {
  Window_RE* window = OpenGenerator();
  EXPECT_EQ(focusName(), "TextField1");
  EXPECT_EQ(window->widget()->findChild<QWidget*>("PushButton2")->focusPolicy(), Qt::NoFocus);
  for (Qt::Key key : {Qt::Key_Tab, Qt::Key_Backtab}) {
    std::set<std::string> reached;
    for (int i = 0; i < 6; ++i) {
      QTest::keyClick(QApplication::focusWidget(), key);
      reached.insert(focusName());
    }
    EXPECT_EQ(reached, (std::set<std::string>{"TextField1", "PushButton1"})) << key;
  }
}

// Boxes take focus while they stand on the shown page; a focused box that
// leaves the page gives the focus on.
TEST_F(Focus, filterEditor_boxesOnThePageTakeFocus_parkedOnesNever) {
  testing_support::WriteFile(RELibraryFolder().Child("Bass.re").AbsolutePath(),
                             "{{integer|0|1|Cutoff|Filter|0}}\n"
                             "{{integer|0|1|Attack|Amp|0}}\n"
                             "{{integer|0|1|Resonance|Filter|0}}\n");
  Window_Filter* editor = OpenFilterEditor(OpenGenerator());
  auto box = [editor](const char* array, int index) {
    return editor->widget()->findChild<QCheckBox*>(QString("%1_%2").arg(array).arg(index));
  };
  auto focusable = [](QWidget* w) { return w->focusPolicy() != Qt::NoFocus; };
  EXPECT_TRUE(focusable(box("CheckBox_EnableGroup", 0)));
  EXPECT_TRUE(focusable(box("CheckBox_EnableParameter", 0)));
  EXPECT_TRUE(focusable(box("CheckBox_EnableParameter", 2)));
  EXPECT_FALSE(focusable(box("CheckBox_EnableGroup", 1)));
  EXPECT_FALSE(focusable(box("CheckBox_EnableParameter", 1)));

  // Tab goes round the page in reading order.
  box("CheckBox_EnableGroup", 0)->setFocus(Qt::TabFocusReason);
  std::vector<std::string> order;
  for (int i = 0; i < 7; ++i) {
    order.push_back(focusName());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  }
  EXPECT_EQ(order, (std::vector<std::string>{"CheckBox_EnableGroup_0", "PopupMenu_Group",
                                             "CheckBox_EnableParameter_0", "CheckBox_EnableParameter_2",
                                             "PushButtonSave", "PushButtonCancel", "PushButton1"}));

  box("CheckBox_EnableParameter", 2)->setFocus(Qt::TabFocusReason);
  QTest::mouseClick(editor->widget()->findChild<QToolButton*>("Down"), Qt::LeftButton);
  EXPECT_FALSE(focusable(box("CheckBox_EnableParameter", 2)));
  EXPECT_NE(focusName(), "CheckBox_EnableParameter_2");
  EXPECT_GE(QApplication::focusWidget()->y(), 0);
  EXPECT_TRUE(focusable(box("CheckBox_EnableGroup", 1)));
  EXPECT_TRUE(focusable(box("CheckBox_EnableParameter", 1)));
  // Space goes to the focused control, never to the box that left.
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
  EXPECT_FALSE(box("CheckBox_EnableParameter", 2)->isChecked());
}

}  // namespace
