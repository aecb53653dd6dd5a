#include "InputFixture.h"

#include <QApplication>
#include <QTest>
#include <filesystem>

#include "TestSupport.h"
#include "platform/Window.h"
#include "prefs/REALEasyPrefs.h"
#include "shell/StartUp.h"
#include "shell/WindowAbout.h"

using namespace platform;
namespace fs = std::filesystem;

namespace {

// Two parameters in one group, so the editor shows one page of two boxes.
const std::string kDescription =
    "<Value property=\"cutoff\"  type=\"number\">\n"
    "{{integer|0|127|Cutoff|Filter|64}}\n"
    "</Value>\n"
    "<Value property=\"reso\"  type=\"number\">\n"
    "{{integer|0|127|Resonance|Filter|0}}\n"
    "</Value>\n";

}  // namespace

void CloseAllWindows() {
  for (Window* window : Window::OpenWindows())
    if (!window->IsClosed()) window->Close();
  testing_support::WaitUntil([] { return Window::OpenWindows().empty(); });
  if (QWidget* popup = QApplication::activePopupWidget()) popup->close();
}

void StartedWithTwoDevices::SetUp() {
  CloseAllWindows();
  app = std::make_unique<App>();
  fs::remove_all(RELibraryFolder().Path());
  fs::create_directories(FilterFolder().Path());
  for (const char* name : {"Bass.re", "Lead.re"})
    testing_support::WriteFile(RELibraryFolder().Child(name).AbsolutePath(), kDescription);
  InstallApplication(*app);
  app->Open();
  // The splash would stand in front of every window the test opens.
  for (Window* window : Window::OpenWindows())
    if (dynamic_cast<WindowAbout*>(window)) window->Close();
  REALEasyPrefs::SetPrefString("Time Bass.re", "2026-01-01 10:00:00");
  REALEasyPrefs::SetPrefString("Time Lead.re", "2026-01-01 11:00:00");
  app->Update_RE_Menu();
  ASSERT_EQ(app->RE_Menu_Number, 5);
}

void StartedWithTwoDevices::TearDown() {
  CloseAllWindows();
  app.reset();
}

Window_RE* StartedWithTwoDevices::OpenGenerator(const std::string& name) {
  app->Selected_RE = name;
  Window_RE* window = the::Window_RE();
  window->Show();
  EXPECT_TRUE(QTest::qWaitForWindowActive(window->widget()));
  return window;
}

Window_Filter* StartedWithTwoDevices::OpenFilterEditor(Window_RE* generator) {
  QTest::mouseClick(generator->widget()->findChild<QWidget*>("Canvas1"), Qt::LeftButton);
  Window_Filter* editor = the::Window_Filter();
  EXPECT_TRUE(QTest::qWaitForWindowActive(editor->widget()));
  return editor;
}

QLineEdit* StartedWithTwoDevices::CountField(Window_RE* window) {
  return window->widget()->findChild<QLineEdit*>("TextField1");
}

QMenuBar* StartedWithTwoDevices::MenuBarOf(QWidget* window) { return window->findChild<QMenuBar*>(); }

QAction* StartedWithTwoDevices::Title(QMenuBar* bar, const char* text) {
  for (QAction* action : bar->actions())
    if (action->text() == text) return action;
  return nullptr;
}
