#include <QAction>
#include <QApplication>
#include <QDesktopServices>
#include <QMainWindow>
#include <QTest>
#include <QUrl>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "ShellFixture.h"
#include "TestSupport.h"
#include "platform/QtInternal.h"
#include "prefs/REALEasyPrefs.h"

using namespace platform;
namespace fs = std::filesystem;

namespace {

struct MenuCase {
  const char* name;
  std::vector<std::string> files;               // library files, in any order
  std::vector<std::pair<std::string, std::string>> times;  // "Time " entries
  std::vector<std::string> texts;                // the menu after a build
  std::vector<std::string> shortcuts;            // of every item, "" when none
  int number;
};

std::vector<std::string> twelve() {
  std::vector<std::string> names;
  for (char c = 'A'; c <= 'L'; ++c) names.push_back(std::string(1, c));
  return names;
}

std::vector<std::pair<std::string, std::string>> twelveTimes() {
  // L is opened first, A last: the ten newest are A to J.
  std::vector<std::pair<std::string, std::string>> times;
  for (int i = 0; i < 12; ++i)
    times.emplace_back(std::string(1, char('L' - i)), "2026-12-10 10:00:" + std::string(i < 10 ? "0" : "") +
                                                          std::to_string(i));
  return times;
}

std::vector<std::string> concat(std::vector<std::string> a, const std::vector<std::string>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

const std::vector<MenuCase> kMenuCases = {
    {"emptyLibrary", {}, {}, {"-", "Show in Finder"}, {"", ""}, 1},
    {"oneOpened_noRecentBlock",
     {"Y", "X", "Z"},
     {{"Y", "2026-01-01 00:00:00"}},
     {"X", "Y", "Z", "-", "Show in Finder"},
     {"", "", "", "", ""},
     4},
    {"threeOpened_recentBlockInTextOrder",
     {"Z", "X", "Y"},
     {{"Z", "2026-01-03 00:00:00"}, {"X", "2026-01-01 00:00:00"}, {"Y", "2026-01-02 00:00:00"}},
     {"X", "Y", "Z", "-", "X", "Y", "Z", "-", "Show in Finder"},
     {"1", "2", "3", "", "", "", "", "", ""},
     7},
    {"emptyTime_countsAsNeverOpened",
     {"X", "Y"},
     {{"X", ""}, {"Y", "2026-01-01 00:00:00"}},
     {"X", "Y", "-", "Show in Finder"},
     {"", "", "", ""},
     3},
    {"twelveOpened_tenNewest",
     twelve(),
     twelveTimes(),
     concat(concat({"A", "B", "C", "D", "E", "F", "G", "H", "I", "J", "-"}, twelve()), {"-", "Show in Finder"}),
     concat(concat({"1", "2", "3", "4", "5", "6", "7", "8", "9", "0", ""}, std::vector<std::string>(12, "")),
            {"", ""}),
     23},
    {"dotFilesAndFilterFolderHidden_subFolderListed",
     {".hidden", "Synth", "Pads/"},
     {},
     {"Pads", "Synth", "-", "Show in Finder"},
     {"", "", "", ""},
     3},
};

void PrintTo(const MenuCase& c, std::ostream* os) { *os << c.name; }

class REMenuBuild : public StartedApp, public ::testing::WithParamInterface<MenuCase> {};

}  // namespace

TEST_P(REMenuBuild, listsTheLibrary) {
  const MenuCase& c = GetParam();
  for (const auto& file : c.files) {
    if (file.back() == '/') fs::create_directories(RELibraryFolder().Child(file.substr(0, file.size() - 1)).Path());
    else AddDescription(file, "x");
  }
  Start();
  for (const auto& [name, time] : c.times) REALEasyPrefs::SetPrefString("Time " + name, time);
  app->Update_RE_Menu();
  EXPECT_EQ(MenuTexts(), c.texts);
  EXPECT_EQ(MenuShortcuts(), c.shortcuts);
  EXPECT_EQ(app->RE_Menu_Number, c.number);
}

INSTANTIATE_TEST_SUITE_P(Cases, REMenuBuild, ::testing::ValuesIn(kMenuCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(StartedApp, rebuild_leavesNoItemOfThePreviousBuild) {
  AddDescription("A", "x");
  AddDescription("B", "x");
  Start();
  fs::remove(RELibraryFolder().Child("A").Path());
  app->Update_RE_Menu();
  EXPECT_EQ(MenuTexts(), (std::vector<std::string>{"B", "-", "Show in Finder"}));
  app->Update_RE_Menu();
  EXPECT_EQ(MenuTexts(), (std::vector<std::string>{"B", "-", "Show in Finder"}));
}

TEST_F(StartedApp, choosingAnEntry_selectsItsName_evenWhenTheFileHasGone) {
  AddDescription("Bass.re", "x");
  Start();
  fs::remove(RELibraryFolder().Child("Bass.re").Path());
  app->Choose(RackExtensions()->Item(0));
  EXPECT_EQ(app->Selected_RE, "Bass.re");
}

// The application's rule enables the first RE_Menu_Number items by position.
TEST_F(StartedApp, enablingRule_coversTheFirstNumberItems) {
  struct Row {
    int number;
    std::vector<bool> enabled;
  };
  AddDescription("X", "x");
  AddDescription("Y", "x");
  AddDescription("Z", "x");
  Start();
  REALEasyPrefs::SetPrefString("Time X", "2026-01-01 00:00:00");
  REALEasyPrefs::SetPrefString("Time Y", "2026-01-02 00:00:00");
  app->Update_RE_Menu();
  ASSERT_EQ(app->RE_Menu_Number, 6);
  // Every item starts disabled, so what the rule enables shows.
  for (int i = 0; i < RackExtensions()->Count(); ++i) RackExtensions()->Item(i)->SetEnabled(false);
  FileResetNumbers()->SetEnabled(false);
  app->Event_EnableMenuItems();
  std::vector<bool> enabled;
  for (int i = 0; i < RackExtensions()->Count(); ++i) enabled.push_back(RackExtensions()->Item(i)->Enabled());
  EXPECT_EQ(enabled, (std::vector<bool>{true, true, true, true, true, true, false, false}));
  EXPECT_TRUE(FileResetNumbers()->Enabled());
  EXPECT_TRUE(FileImport()->Enabled());
  EXPECT_TRUE(AppleAbout()->Enabled());
}

TEST_F(StartedApp, enablingRule_beforeTheFirstBuild_touchesOnlyImportAndAbout) {
  InstallApplication(*app);  // no Open event: the RE menu was never built
  FileResetNumbers()->SetEnabled(false);
  FileImport()->SetEnabled(false);
  app->Event_EnableMenuItems();
  EXPECT_TRUE(FileImport()->Enabled());
  EXPECT_FALSE(FileResetNumbers()->Enabled());
}

TEST_F(StartedApp, menuBar_holdsTheFileMenuItemsInOrder) {
  InstallApplication(*app);
  MenuItem* file = the::MenuBar1()->Lookup("FileMenu");
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(the::MenuBar1()->Item(0), file);
  EXPECT_EQ(the::MenuBar1()->Item(1), RackExtensions());
  EXPECT_EQ(RackExtensions()->Text(), "Rack Extensions");
  struct Row {
    const char* name;
    const char* text;
    const char* shortcut;
    bool autoEnable;
  };
  const std::vector<Row> rows = {
      {"FileCloseWindow", "Close", "Cmd+W", false},       {"FileFilter", "Show Filter...", "Cmd+F", false},
      {"UntitledSeparator1", "-", "", true},              {"FileResetNumbers", "Reset Numbers", "", true},
      {"UntitledSeparator0", "-", "", true},              {"FileImport", "Import RE description...", "Cmd+I", false},
      {"UntitledSeparator", "-", "", true},               {"FileQuit", "Quit", "Cmd+Q", true},
      {"AppleAbout", "About Quirlomatic", "", true},
  };
  ASSERT_EQ(file->Count(), static_cast<int>(rows.size()));
  for (int i = 0; i < file->Count(); ++i) {
    SCOPED_TRACE(rows[i].name);
    EXPECT_EQ(file->Item(i)->Name(), rows[i].name);
    EXPECT_EQ(file->Item(i)->Text(), rows[i].text);
    EXPECT_EQ(file->Item(i)->KeyboardShortcut(), rows[i].shortcut);
    EXPECT_EQ(file->Item(i)->AutoEnable(), rows[i].autoEnable);
    EXPECT_EQ(the::MenuBar1()->Lookup(rows[i].name), file->Item(i));
  }
  EXPECT_EQ(file->Item(7)->role(), MenuItem::Role::Quit);
  EXPECT_EQ(file->Item(8)->role(), MenuItem::Role::About);
}

// A key press brings the menus up to date first, so a shortcut whose item the
// rules leave disabled does nothing.
TEST_F(StartedApp, shortcutOfADisabledItem_doesNothing) {
  int imports = 0;
  Start();
  app->AddMenuHandler("FileImport", [&] {
    ++imports;
    return false;
  });
  QMainWindow* window = platform::MenuBarWindow();
  ASSERT_NE(window, nullptr);
  window->show();
  window->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(window));
  QTest::keyClick(window, Qt::Key_I, Qt::ControlModifier);
  EXPECT_EQ(imports, 1);
  // "Close" has no rule that enables it while no generator window is in front.
  int closes = 0;
  app->AddMenuHandler("FileCloseWindow", [&] {
    ++closes;
    return false;
  });
  QTest::keyClick(window, Qt::Key_W, Qt::ControlModifier);
  EXPECT_EQ(closes, 0);
}

// ---- "Show in Finder" ----

// Takes what the desktop would be asked to open, while it lives.
class OpenedUrls : public QObject {
  Q_OBJECT
 public:
  OpenedUrls() { QDesktopServices::setUrlHandler("file", this, "open"); }
  ~OpenedUrls() override { QDesktopServices::unsetUrlHandler("file"); }
  Q_INVOKABLE void open(const QUrl& url) { urls.push_back(url.toLocalFile().toStdString()); }
  std::vector<std::string> urls;
};

namespace {
struct ShowFolderCase {
  const char* name;
  std::function<void()> prepare;  // after the start
  // Each test has a home of its own: the paths are known only while it runs.
  std::function<std::vector<std::string>()> opened;
};

void PrintTo(const ShowFolderCase& c, std::ostream* os) { *os << c.name; }

class ShowInFinder : public StartedApp, public ::testing::WithParamInterface<ShowFolderCase> {};

std::string libraryPath() { return RELibraryFolder().AbsolutePath(); }
std::vector<std::string> nothing() { return {}; }
std::vector<std::string> theLibrary() { return {libraryPath()}; }
}  // namespace

// The library folder is shown when it is there. Removed since the start, it
// is made again only at the next start: until then nothing is shown, nothing
// is said and nothing is made.
TEST_P(ShowInFinder, opensTheLibraryFolder) {
  const ShowFolderCase& c = GetParam();
  AddDescription("Bass", "b");
  Start();
  c.prepare();
  const std::string before = testing_support::Snapshot(libraryPath());
  OpenedUrls desktop;
  testing_support::ModalAnswers answers;
  app->Choose(RackExtensions()->Item(RackExtensions()->Count() - 1));
  EXPECT_EQ(RackExtensions()->Item(RackExtensions()->Count() - 1)->Text(), "Show in Finder");
  EXPECT_EQ(desktop.urls, c.opened());
  EXPECT_EQ(answers.boxes, std::vector<std::string>{});
  EXPECT_EQ(testing_support::Snapshot(libraryPath()), before);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ShowInFinder,
    ::testing::Values(
        ShowFolderCase{"present", [] {}, theLibrary},
        ShowFolderCase{"removedSinceTheStart", [] { fs::remove_all(RELibraryFolder().Path()); }, nothing},
        ShowFolderCase{"aFileInItsPlace",
                       [] {
                         fs::remove_all(RELibraryFolder().Path());
                         testing_support::WriteFile(libraryPath(), "not a folder");
                       },
                       nothing}),
    [](const auto& info) { return std::string(info.param.name); });

#include "REMenuTests.moc"
