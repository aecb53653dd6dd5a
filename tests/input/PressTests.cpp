// Every press that reaches a check box raises its MouseDown and then toggles
// it, so a rule run on MouseDown always sees the toggle it expects; the
// canvas raises MouseDown for each press of a double click.
#include <QCheckBox>
#include <QTest>
#include <functional>
#include <string>
#include <vector>

#include "InputFixture.h"
#include "platform/Controls.h"
#include "platform/Window.h"

using namespace platform;

namespace {

class PressWindow : public Window {
 public:
  void Layout() override {
    WindowDesign design;
    design.width = 300;
    design.height = 100;
    ApplyDesign(design);
  }
  void CreateControls() override {
    box = AddControl<CheckBox>("Box", {20, 20, 190, 20});
    box->SetCaption("Gain");
    box->MouseDown = [this](int, int) {
      statesSeen.push_back(box->State());
      return false;
    };
    gear = AddControl<Canvas>("Gear", {276, 0, 24, 24});
    gear->MouseDown = [this](int, int) {
      ++gearPresses;
      return false;
    };
  }
  CheckBox* box = nullptr;
  Canvas* gear = nullptr;
  std::vector<int> statesSeen;  // the state each MouseDown saw
  int gearPresses = 0;
};

void doubleClick(QWidget* w, QPoint at) {
  // A user's double click: the second press arrives as a double-click event.
  QTest::mouseClick(w, Qt::LeftButton, {}, at);
  QTest::mouseDClick(w, Qt::LeftButton, {}, at);
  QTest::mouseRelease(w, Qt::LeftButton, {}, at);
}

struct PressCase {
  const char* name;
  std::function<void(QCheckBox*)> press;
  std::vector<int> statesSeen;
  int stateAfter;
};

const std::vector<PressCase> kPressCases = {
    {"indicator", [](QCheckBox* b) { QTest::mouseClick(b, Qt::LeftButton, {}, QPoint(6, 10)); }, {0}, 1},
    {"rightOfAShortCaption",
     [](QCheckBox* b) { QTest::mouseClick(b, Qt::LeftButton, {}, QPoint(180, 10)); },
     {0},
     1},
    {"corner", [](QCheckBox* b) { QTest::mouseClick(b, Qt::LeftButton, {}, QPoint(189, 19)); }, {0}, 1},
    {"doubleClick", [](QCheckBox* b) { doubleClick(b, QPoint(6, 10)); }, {0, 1}, 0},
    {"releasedOutside",
     [](QCheckBox* b) {
       QTest::mousePress(b, Qt::LeftButton, {}, QPoint(6, 10));
       QTest::mouseRelease(b, Qt::LeftButton, {}, QPoint(6, -40));
     },
     {0},
     1},
    {"space", [](QCheckBox* b) { QTest::keyClick(b, Qt::Key_Space); }, {0}, 1},
    {"spaceHeldDown",
     [](QCheckBox* b) {
       QTest::simulateEvent(b, true, Qt::Key_Space, {}, " ", false);
       for (int i = 0; i < 3; ++i) QTest::simulateEvent(b, true, Qt::Key_Space, {}, " ", true);
       QTest::simulateEvent(b, false, Qt::Key_Space, {}, " ", false);
     },
     {0},
     1},
    {"rightButton", [](QCheckBox* b) { QTest::mouseClick(b, Qt::RightButton, {}, QPoint(6, 10)); }, {}, 0},
};

class CheckBoxPress : public ::testing::TestWithParam<PressCase> {
 protected:
  void SetUp() override { CloseAllWindows(); }
  void TearDown() override { CloseAllWindows(); }
};

TEST_P(CheckBoxPress, raisesMouseDownOnceForEachToggle) {
  auto* window = SharedWindow<PressWindow>();
  auto* box = qobject_cast<QCheckBox*>(window->box->widget());
  box->setFocus();
  GetParam().press(box);
  EXPECT_EQ(window->statesSeen, GetParam().statesSeen);
  EXPECT_EQ(window->box->State(), GetParam().stateAfter);
}

INSTANTIATE_TEST_SUITE_P(Presses, CheckBoxPress, ::testing::ValuesIn(kPressCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(CanvasPress, doubleClick_raisesMouseDownForEachPress) {
  CloseAllWindows();
  auto* window = SharedWindow<PressWindow>();
  doubleClick(window->gear->widget(), QPoint(12, 12));
  EXPECT_EQ(window->gearPresses, 2);
  CloseAllWindows();
}

// The filter editor's rules, kept in step by any kind of press.
using CheckRules = StartedWithTwoDevices;

TEST_F(CheckRules, everyKindOfPress_keepsGroupAndMembersInStep) {
  Window_Filter* editor = OpenFilterEditor(OpenGenerator());
  auto* group = editor->widget()->findChild<QCheckBox*>("CheckBox_EnableGroup_0");
  auto* cutoff = editor->widget()->findChild<QCheckBox*>("CheckBox_EnableParameter_0");
  auto* resonance = editor->widget()->findChild<QCheckBox*>("CheckBox_EnableParameter_1");
  auto states = [&] {
    return std::vector<bool>{group->isChecked(), cutoff->isChecked(), resonance->isChecked()};
  };

  QTest::mouseClick(group, Qt::LeftButton, {}, QPoint(18, 18));  // beside the indicator
  EXPECT_EQ(states(), (std::vector<bool>{true, true, true}));
  doubleClick(group, QPoint(6, 10));
  EXPECT_EQ(states(), (std::vector<bool>{true, true, true}));
  group->setFocus();
  QTest::keyClick(group, Qt::Key_Space);
  EXPECT_EQ(states(), (std::vector<bool>{false, false, false}));

  cutoff->setFocus();
  QTest::keyClick(cutoff, Qt::Key_Space);
  EXPECT_EQ(states(), (std::vector<bool>{true, true, false}));
  group->setChecked(false);
  doubleClick(resonance, QPoint(150, 10));  // right of the caption
  EXPECT_EQ(states(), (std::vector<bool>{true, true, false}));
}

}  // namespace
