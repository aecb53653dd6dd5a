// Menus, focus and presses as a user meets them on a desktop: menus that show
// the front window's state as soon as it comes forward, focus only where the
// user can see it, and check boxes whose rules never run without the toggle.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QStyle>
#include <QStyleOptionButton>
#include <QWindow>
#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "AppDriver.h"
#include "Desktop.h"
#include "TestSupport.h"
#include "filter/Window_Filter.h"
#include "generator/Window_Done.h"
#include "generator/Window_RE.h"
#include "platform/QtInternal.h"
#include "prefs/REALEasyPrefs.h"
#include "shell/WindowAbout.h"

using namespace desktop;
using platform::MenuBarWindow;
using testing_support::openWindow;

namespace {

// Two groups: Filter holds Cutoff and Resonance, Amp holds Attack.
const std::string kDescription =
    "<Value property=\"cutoff\"  type=\"number\">\n"
    "{{integer|0|127|Cutoff|Filter|64}}\n"
    "</Value>\n"
    "<Value property=\"reso\"  type=\"number\">\n"
    "{{integer|0|127|Resonance|Filter|64}}\n"
    "</Value>\n"
    "<Value property=\"attack\"  type=\"number\">\n"
    "{{integer|0|127|Attack|Amp|0}}\n"
    "</Value>\n";

QMenuBar* barOf(QWidget* window) { return window->findChild<QMenuBar*>(); }

QAction* title(QMenuBar* bar, const char* text) {
  for (QAction* action : bar->actions())
    if (action->text() == text) return action;
  ADD_FAILURE() << "no title " << text;
  return nullptr;
}

QPoint titlePoint(QMenuBar* bar, const char* text) { return bar->actionGeometry(title(bar, text)).center(); }

QMenu* popup() { return qobject_cast<QMenu*>(QApplication::activePopupWidget()); }

// The popup opened by a click on a title, or nullptr when none opens (the
// menu bar opens it as it takes the press).
QMenu* clickTitle(QMenuBar* bar, const char* text) {
  click(bar, titlePoint(bar, text));
  return popup();
}

void chooseInPopup(QMenu* menu, const char* text) {
  for (QAction* action : menu->actions())
    if (action->text() == text) return click(menu, menu->actionGeometry(action).center());
  ADD_FAILURE() << "no entry " << text;
}

void closePopups() {
  for (int i = 0; i < 3 && popup(); ++i) key("Escape");
  EXPECT_EQ(popup(), nullptr) << "Escape leaves a menu open";
  // The menu bar keeps the keyboard until a further Escape.
  if (qobject_cast<QMenuBar*>(QApplication::focusWidget())) key("Escape");
}

// Whether each of the first `count` entries of the menu can be chosen.
std::vector<bool> entriesEnabled(QMenu* menu, int count) {
  std::vector<bool> enabled;
  for (QAction* action : menu->actions())
    if (static_cast<int>(enabled.size()) < count) enabled.push_back(action->isEnabled());
  return enabled;
}

std::string focusName() {
  QWidget* focus = QApplication::focusWidget();
  return focus ? focus->objectName().toStdString() : "(none)";
}

class MenuFocus : public DesktopApp {
 protected:
  void StartWithDevices() {
    AddDescription("Bass.re", kDescription);
    AddDescription("Lead.re", kDescription);
    Start();
  }

  // Chosen in the menu-bar window's "Rack Extensions" menu, with real clicks.
  Window_RE* OpenGenerator(const char* name = "Bass.re") {
    QMenu* menu = clickTitle(barOf(MenuBarWindow()), "Rack Extensions");
    if (!menu) {
      ADD_FAILURE() << "the menu did not open; " << activeWindows();
      return nullptr;
    }
    chooseInPopup(menu, name);
    Window_RE* window = nullptr;
    waitFor([&] { return (window = openWindow<Window_RE>()) != nullptr; });
    if (window) {
      EXPECT_TRUE(waitFramed(window->widget()));
      EXPECT_TRUE(waitActive(window->widget()));
    }
    return window;
  }

  Window_Filter* OpenFilterEditor(Window_RE* generator) {
    click(generator->widget()->findChild<QWidget*>("Canvas1"));
    Window_Filter* editor = nullptr;
    waitFor([&] { return (editor = openWindow<Window_Filter>()) != nullptr; });
    if (editor) {
      EXPECT_TRUE(waitFramed(editor->widget()));
      EXPECT_TRUE(waitActive(editor->widget()));
    }
    return editor;
  }
};

// ---- Menus

TEST_F(MenuFocus, GeneratorInFront_REMenuDisabledInEveryMenuBar_rightAfterItsActivation) {
  StartWithDevices();
  Window_RE* generator = OpenGenerator();
  ASSERT_NE(generator, nullptr);
  // No menu has been opened since the window came to the front.
  EXPECT_FALSE(title(barOf(generator->widget()), "Rack Extensions")->isEnabled());
  EXPECT_FALSE(title(barOf(MenuBarWindow()), "Rack Extensions")->isEnabled());

  // Its own title, clicked at once, opens nothing.
  EXPECT_EQ(clickTitle(barOf(generator->widget()), "Rack Extensions"), nullptr);
  closePopups();

  // Nor does the menu-bar window's: the generator window stays in front.
  QMenuBar* bar = barOf(MenuBarWindow());
  click(bar->mapToGlobal(titlePoint(bar, "File")) + QPoint(0, -200));  // nothing there: the desktop
  QMenu* menu = clickTitle(barOf(MenuBarWindow()), "Rack Extensions");
  if (menu) {
    EXPECT_EQ(entriesEnabled(menu, app->RE_Menu_Number), std::vector<bool>(app->RE_Menu_Number, false));
  }
  closePopups();
  EXPECT_EQ(app->Selected_RE, "Bass.re");

  // Another window of the program in front: the menu is there again at once.
  QMenu* file = clickTitle(barOf(generator->widget()), "File");
  ASSERT_NE(file, nullptr);
  chooseInPopup(file, "About Quirlomatic");
  auto* about = openWindow<WindowAbout>();
  ASSERT_NE(about, nullptr);
  ASSERT_TRUE(waitActive(about->widget()));
  EXPECT_TRUE(title(barOf(MenuBarWindow()), "Rack Extensions")->isEnabled());
  about->Close();

  // "Close" from the menu-bar window closes the window in front.
  ASSERT_TRUE(waitActive(generator->widget()));
  EXPECT_FALSE(title(barOf(MenuBarWindow()), "Rack Extensions")->isEnabled());
  click(bar, QPoint(bar->width() - 4, 4));
  ASSERT_TRUE(waitActive(MenuBarWindow()));
  key("ctrl+w");
  EXPECT_TRUE(waitFor([] { return openWindow<Window_RE>() == nullptr; }));
  EXPECT_TRUE(title(barOf(MenuBarWindow()), "Rack Extensions")->isEnabled());
}

TEST_F(MenuFocus, FilterEditorInFront_REEntriesDisabled_titleEnabled) {
  StartWithDevices();
  Window_RE* generator = OpenGenerator();
  ASSERT_NE(generator, nullptr);
  Window_Filter* editor = OpenFilterEditor(generator);
  ASSERT_NE(editor, nullptr);
  // Before any menu opens, and in the menu that then opens.
  EXPECT_TRUE(title(barOf(editor->widget()), "Rack Extensions")->isEnabled());
  EXPECT_TRUE(title(barOf(MenuBarWindow()), "Rack Extensions")->isEnabled());
  EXPECT_EQ(entriesEnabled(title(barOf(editor->widget()), "Rack Extensions")->menu(), app->RE_Menu_Number),
            std::vector<bool>(app->RE_Menu_Number, false));

  QMenu* menu = clickTitle(barOf(editor->widget()), "Rack Extensions");
  ASSERT_NE(menu, nullptr);
  EXPECT_EQ(entriesEnabled(menu, app->RE_Menu_Number), std::vector<bool>(app->RE_Menu_Number, false));
  closePopups();

  // Back to the generator window: its rule again, before any menu opens.
  key("Escape");  // the editor's "Cancel"
  ASSERT_TRUE(waitFor([] { return openWindow<Window_Filter>() == nullptr; }));
  ASSERT_TRUE(waitActive(generator->widget()));
  EXPECT_FALSE(title(barOf(generator->widget()), "Rack Extensions")->isEnabled());
}

TEST_F(MenuFocus, MinimisedGenerator_leavesTheFront) {
  StartWithDevices();
  Window_RE* generator = OpenGenerator();
  ASSERT_NE(generator, nullptr);
  ASSERT_FALSE(title(barOf(MenuBarWindow()), "Rack Extensions")->isEnabled());
  minimize(generator->widget());
  ASSERT_TRUE(waitFor([generator] { return generator->widget()->isMinimized(); }));
  EXPECT_TRUE(waitFor([] { return title(barOf(MenuBarWindow()), "Rack Extensions")->isEnabled(); }));
  QMenu* menu = clickTitle(barOf(MenuBarWindow()), "Rack Extensions");
  ASSERT_NE(menu, nullptr);
  EXPECT_EQ(entriesEnabled(menu, app->RE_Menu_Number), std::vector<bool>(app->RE_Menu_Number, true));
  closePopups();
}

// ---- Focus

TEST_F(MenuFocus, AfterTheNotice_theCountFieldHasTheFocus_soTypingStartsTheNextBatch) {
  StartWithDevices();
  const std::string out = QDir::homePath().toStdString() + "/out";
  std::filesystem::create_directories(out);
  Window_RE* generator = OpenGenerator();
  ASSERT_NE(generator, nullptr);
  auto* count = generator->widget()->findChild<QLineEdit*>("TextField1");

  // Answered as a user does: the folder typed into the dialog, then Return,
  // which the dialog's own loop takes, so the batch runs at once.
  testing_support::ModalAnswers answers(testing_support::ModalAnswers::EveryFileDialog{},
                                        [out](QFileDialog* dialog) {
                                          ASSERT_TRUE(waitActive(dialog));
                                          type(out);
                                          returnWithoutWaiting();
                                        });
  type("2");
  key("Return");
  ASSERT_TRUE(waitFor([] { return openWindow<Window_Done>() != nullptr; }));
  // The notice closes itself and brings the generator window back.
  ASSERT_TRUE(waitFor([] { return openWindow<Window_Done>() == nullptr; }));
  ASSERT_TRUE(waitActive(generator->widget()));
  EXPECT_EQ(focusName(), "TextField1");
  EXPECT_EQ(count->selectedText(), "2");

  type("7");
  key("Return");
  EXPECT_EQ(count->text(), "7");
  ASSERT_TRUE(waitFor([&] { return testing_support::folderNames(out).size() == 9; }));
  EXPECT_EQ(answers.fileDialogsSeen.size(), 2u);
  EXPECT_EQ(REALEasyPrefs::GetPrefNumber("Counter Bass.re", 0), 9);
}

TEST_F(MenuFocus, TabReachesOnlyTheVisibleControls_andSpaceNeverClosesTheWindow) {
  StartWithDevices();
  Window_RE* generator = OpenGenerator();
  ASSERT_NE(generator, nullptr);
  // "Start" takes Space too: its folder dialog is cancelled as a user does,
  // once it is in front.
  testing_support::ModalAnswers answers(testing_support::ModalAnswers::EveryFileDialog{},
                                        [](QFileDialog* dialog) {
                                          ASSERT_TRUE(waitActive(dialog)) << activeWindows();
                                          key("Escape");
                                        });
  for (int tabs = 1; tabs <= 5; ++tabs) {
    SCOPED_TRACE(tabs);
    key(tabs % 2 ? "Tab" : "shift+Tab");
    EXPECT_TRUE(focusName() == "TextField1" || focusName() == "PushButton1") << focusName();
    key("space");
    ASSERT_EQ(openWindow<Window_RE>(), generator) << "the window closed";
    ASSERT_TRUE(waitActive(generator->widget())) << activeWindows();
  }
  // The hidden "Cancel" still answers Escape.
  key("Escape");
  EXPECT_TRUE(waitFor([] { return openWindow<Window_RE>() == nullptr; }));
}

// ---- Presses on the filter editor's boxes

struct PressRow {
  const char* name;
  const char* filterFile;  // "" for none
  const char* box;         // the pressed box's object name
  enum { Click, DoubleClick, Space } how;
  QPoint at;                // where a click lands, inside the box
  bool outsideQtsHitArea;   // the point lies beyond the indicator and caption text
  std::vector<bool> after;  // Filter's group box, Cutoff, Resonance
};

void PrintTo(const PressRow& row, std::ostream* out) { *out << row.name; }

const std::vector<PressRow> kPressRows = {
    {"cornerOfTheGroupBox",
     "",
     "CheckBox_EnableGroup_0",
     PressRow::Click,
     {18, 18},
     true,
     {true, true, true}},
    {"rightOfACaption",
     "",
     "CheckBox_EnableParameter_0",
     PressRow::Click,
     {170, 10},
     true,
     {true, true, false}},
    {"doubleClickOnTheGroupBox",
     "",
     "CheckBox_EnableGroup_0",
     PressRow::DoubleClick,
     {7, 10},
     false,
     {false, false, false}},
    // Checked without its group: each press of the double click runs the rule.
    {"doubleClickOnACheckedParameter",
     "#+#+#+#+#\ncutoff\n",
     "CheckBox_EnableParameter_0",
     PressRow::DoubleClick,
     {7, 10},
     false,
     {true, true, false}},
    {"spaceOnTheGroupBox", "", "CheckBox_EnableGroup_0", PressRow::Space, {}, false, {true, true, true}},
    {"spaceOnAParameter", "", "CheckBox_EnableParameter_0", PressRow::Space, {}, false, {true, true, false}},
};

class BoxPresses : public MenuFocus, public ::testing::WithParamInterface<PressRow> {};

TEST_P(BoxPresses, KeepGroupAndMembersInStep) {
  const PressRow& row = GetParam();
  if (*row.filterFile) {
    std::filesystem::create_directories(FilterFolder().Path());
    testing_support::WriteFile(FilterFolder().Child("Bass.re").AbsolutePath(), row.filterFile);
  }
  StartWithDevices();
  Window_RE* generator = OpenGenerator();
  ASSERT_NE(generator, nullptr);
  Window_Filter* editor = OpenFilterEditor(generator);
  ASSERT_NE(editor, nullptr);
  auto box = [editor](const char* name) { return editor->widget()->findChild<QCheckBox*>(name); };
  QCheckBox* pressed = box(row.box);
  ASSERT_NE(pressed, nullptr);

  if (row.how == PressRow::Space) {
    pressed->setFocus(Qt::TabFocusReason);
    ASSERT_EQ(QApplication::focusWidget(), pressed);
    key("space");
  } else {
    if (row.outsideQtsHitArea) {
      QStyleOptionButton option;
      option.initFrom(pressed);
      option.text = pressed->text();
      EXPECT_FALSE(
          pressed->style()->subElementRect(QStyle::SE_CheckBoxClickRect, &option, pressed).contains(row.at));
    }
    row.how == PressRow::Click ? click(pressed, row.at) : doubleClick(pressed, row.at);
  }
  EXPECT_EQ((std::vector<bool>{box("CheckBox_EnableGroup_0")->isChecked(),
                               box("CheckBox_EnableParameter_0")->isChecked(),
                               box("CheckBox_EnableParameter_1")->isChecked()}),
            row.after);
  EXPECT_FALSE(box("CheckBox_EnableParameter_2")->isChecked());  // another group's
}

INSTANTIATE_TEST_SUITE_P(Presses, BoxPresses, ::testing::ValuesIn(kPressRows),
                         [](const auto& info) { return std::string(info.param.name); });

// The editor open behind the generator window: the second press of a double
// click on the gear, which also brings the generator window forward, shows
// the editor in front again.
TEST_F(MenuFocus, DoubleClickOnTheGear_showsTheOneFilterEditorInFront) {
  StartWithDevices();
  Window_RE* generator = OpenGenerator();
  ASSERT_NE(generator, nullptr);
  Window_Filter* editor = OpenFilterEditor(generator);
  ASSERT_NE(editor, nullptr);
  // Apart, so that each press lands on the generator window.
  editor->SetLeft(600);
  editor->SetTop(500);
  generator->Show();
  ASSERT_TRUE(waitActive(generator->widget()));
  ASSERT_FALSE(editor->widget()->frameGeometry().intersects(generator->widget()->frameGeometry()));

  // A user who sees the editor come forward before pressing again.
  QWidget* gear = generator->widget()->findChild<QWidget*>("Canvas1");
  UnhurriedDoubleClick doubleClick;
  click(gear);
  ASSERT_TRUE(waitActive(editor->widget())) << activeWindows();
  std::vector<QWindow*> activated;
  const auto connection = QObject::connect(qApp, &QGuiApplication::focusWindowChanged,
                                           [&activated](QWindow* window) { activated.push_back(window); });
  click(gear);
  EXPECT_EQ(doubleClick.doubleClicks(), 1);
  EXPECT_TRUE(waitActive(editor->widget())) << activeWindows();
  QObject::disconnect(connection);
  EXPECT_NE(std::find(activated.begin(), activated.end(), generator->widget()->windowHandle()),
            activated.end())
      << "the second press did not bring the generator window forward";
  EXPECT_EQ(openWindow<Window_Filter>(), editor);
  int editors = 0;
  for (platform::Window* w : platform::Window::OpenWindows())
    editors += dynamic_cast<Window_Filter*>(w) != nullptr;
  EXPECT_EQ(editors, 1);
}

}  // namespace
