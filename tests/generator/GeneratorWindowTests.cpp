#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "filter/Window_Filter.h"
#include "generator/Window_Done.h"
#include "generator/Window_RE.h"
#include "platform/FolderItem.h"
#include "prefs/REALEasyPrefs.h"
#include "shell/App.h"
#include "shell/MenuBar1.h"
#include "shell/StartUp.h"

using namespace platform;
namespace fs = std::filesystem;
using testing_support::ModalAnswers;
using testing_support::ReadFile;
using testing_support::WaitUntil;
using testing_support::WriteFile;
using testing_support::folderNames;
using Texts = std::vector<std::string>;

namespace {

constexpr const char* kRE = "Bass.re";

const std::string kDescription =
    "<?xml version=\"1.0\"?>\r\n"
    "<Value property=\"/custom_properties/cutoff\"  type=\"number\">\r\n"
    "\t{{integer|0|127|Cutoff|Filter|64}}\r\n"
    "</Value>\r\n"
    "<Value property=\"/custom_properties/on\"  type=\"boolean\">\r\n"
    "\t{{boolean|0|1|On|Main|1}}\r\n"
    "</Value>";
// Nothing is enabled without a filter file: every placeholder takes its default.
const std::string kPatch =
    "<?xml version=\"1.0\"?>\n"
    "<Value property=\"/custom_properties/cutoff\"  type=\"number\">\n"
    "\t64\n"
    "</Value>\n"
    "<Value property=\"/custom_properties/on\"  type=\"boolean\">\n"
    "\ttrue\n"
    "</Value>\n";

std::string prefFilePath() {
  return SpecialFolder::Preferences().Child(REALEasyPrefs::kBundleIdentifier).AbsolutePath();
}

std::function<void(QFileDialog*)> chooseFolder(const std::string& path,
                                               std::function<void()> afterChoice = {}) {
  return [path, afterChoice](QFileDialog* dialog) {
    if (afterChoice) QObject::connect(dialog, &QFileDialog::fileSelected, afterChoice);
    dialog->findChild<QLineEdit*>("fileNameEdit")->setText(QString::fromStdString(path));
    QMetaObject::invokeMethod(dialog, "accept");
  };
}

std::function<void(QFileDialog*)> cancel() {
  return [](QFileDialog* dialog) { dialog->reject(); };
}

Texts patchNames(int from, int to) {
  Texts names;
  for (int n = from; n <= to; ++n) names.push_back(std::string(kRE) + "_" + std::to_string(n) + ".repatch");
  std::sort(names.begin(), names.end());
  return names;
}

Window_Done* openNotice() {
  for (Window* window : Window::OpenWindows())
    if (auto* done = dynamic_cast<Window_Done*>(window)) return done;
  return nullptr;
}

// A notice of an earlier batch, still counting down, would pass for this one's.
void closeEarlierNotice() {
  if (Window_Done* notice = openNotice()) notice->Close();
  ASSERT_TRUE(WaitUntil([] { return openNotice() == nullptr; }));
}

class GeneratorWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    app = std::make_unique<App>();
    fs::create_directories(RELibraryFolder().Path());
    WriteFile(RELibraryFolder().Child(kRE).AbsolutePath(), kDescription);
    InstallApplication(*app);
    app->Open();
  }

  // Chooses the RE entry of the "Rack Extensions" menu, as the user does.
  Window_RE* Open(const std::string& name = kRE) {
    MenuItem* menu = RackExtensions();
    for (int i = 0; i < menu->Count(); ++i)
      if (menu->Item(i)->Text() == name) {
        app->Choose(menu->Item(i));
        break;
      }
    window = the::Window_RE();
    return window;
  }

  QLineEdit* countField() const { return window->widget()->findChild<QLineEdit*>("TextField1"); }

  // Types the count and presses Return in the count field.
  void Start(const std::string& count) {
    countField()->setText(QString::fromStdString(count));
    QTest::keyClick(countField(), Qt::Key_Return);
  }

  std::string Folder(const std::string& name) const {
    const std::string path = QDir::homePath().toStdString() + "/" + name;
    fs::create_directories(path);
    return path;
  }

  std::unique_ptr<App> app;
  Window_RE* window = nullptr;
};

// ---- Opening, design and menus ----

TEST_F(GeneratorWindow, firstOpening_hasTheDesignAndRecordsTheTimeButNoBounds) {
  Open();
  ASSERT_NE(window, nullptr);
  EXPECT_TRUE(window->Visible());
  EXPECT_EQ(window->Width(), 350);
  EXPECT_EQ(window->Height(), 88);
  EXPECT_EQ(window->Title(), "Quirlomatic: Bass.re");
  const std::string prefs = ReadFile(prefFilePath());
  EXPECT_NE(prefs.find("Time Bass.re="), std::string::npos) << prefs;
  EXPECT_EQ(prefs.find("Window_RE"), std::string::npos) << prefs;
  EXPECT_EQ(REALEasyPrefs::GetPrefString("Time Bass.re", "").size(), 19u);

  ASSERT_TRUE(QTest::qWaitForWindowActive(window->widget()));
  EXPECT_EQ(QApplication::focusWidget(), countField());
  EXPECT_EQ(countField()->text(), "1");
  EXPECT_EQ(countField()->selectedText(), "1");
  // Digits only, three at most.
  QTest::keyClicks(countField(), "4a-5.67");
  EXPECT_EQ(countField()->text(), "456");
}

TEST_F(GeneratorWindow, controls_standAtTheirPlacesInTabOrder) {
  Open();
  struct Row {
    const char* name;
    int left, top, width, height;
    const char* text;
  };
  const std::vector<Row> rows = {
      {"Label1", 111, 15, 44, 20, "Create"},
      {"PushButton1", 134, 48, 82, 20, "Start"},
      {"Label2", 197, 15, 71, 20, "patch(es)..."},
      {"TextField1", 159, 14, 32, 22, "1"},
      {"Canvas1", 326, 0, 24, 24, ""},
      {"PushButton2", 137, -56, 80, 20, "Cancel"},
  };
  QWidget* previous = nullptr;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    auto* w = window->widget()->findChild<QWidget*>(row.name);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->geometry(), QRect(row.left, row.top, row.width, row.height));
    QString text;
    if (auto* label = qobject_cast<QLabel*>(w); label && label->pixmap().isNull()) text = label->text();
    if (auto* button = qobject_cast<QPushButton*>(w)) text = button->text();
    if (auto* edit = qobject_cast<QLineEdit*>(w)) text = edit->text();
    EXPECT_EQ(text.toStdString(), row.text);
    // The focus chain holds the controls in this order.
    if (previous) {
      QWidget* next = previous->nextInFocusChain();
      while (next && next->objectName().isEmpty()) next = next->nextInFocusChain();
      EXPECT_EQ(next, w);
    }
    previous = w;
  }
  auto* start = window->widget()->findChild<QPushButton*>("PushButton1");
  EXPECT_TRUE(start->isDefault());
  EXPECT_TRUE(window->Canvas1()->HasBackdrop());
  EXPECT_EQ(window->Canvas1()->HelpTag(), "Adjust Filter");
  EXPECT_TRUE(window->widget()->findChild<QWidget*>("PushButton2")->visibleRegion().isEmpty());
}

TEST_F(GeneratorWindow, frontmost_enablesCloseAndFilter_disablesTheREMenu_untilItCloses) {
  REALEasyPrefs::SetPrefString("Time Other.re", "2020-01-01 00:00:00");
  WriteFile(RELibraryFolder().Child("Other.re").AbsolutePath(), "x");
  app->Update_RE_Menu();
  Open();
  ASSERT_TRUE(QTest::qWaitForWindowActive(window->widget()));
  app->UpdateMenus();
  EXPECT_TRUE(window->FileCloseWindow()->Enabled());
  EXPECT_TRUE(window->FileFilter()->Enabled());
  EXPECT_FALSE(RackExtensions()->Enabled());

  window->PushButton2_Action();
  EXPECT_TRUE(RackExtensions()->Enabled());
  // Rebuilt: the RE just opened joins the recent list.
  EXPECT_EQ(RackExtensions()->Item(0)->Text(), "Bass.re");
  EXPECT_EQ(RackExtensions()->Item(1)->Text(), "Other.re");
  EXPECT_TRUE(RackExtensions()->Item(2)->IsSeparator());
}

TEST_F(GeneratorWindow, gearAndShowFilter_showOneFilterEditor) {
  Open();
  ASSERT_TRUE(QTest::qWaitForWindowActive(window->widget()));
  QTest::mouseClick(window->widget()->findChild<QWidget*>("Canvas1"), Qt::LeftButton);
  Window_Filter* editor = the::Window_Filter();
  EXPECT_TRUE(editor->Visible());
  window->Show();
  ASSERT_TRUE(QTest::qWaitForWindowActive(window->widget()));
  QTest::keyClick(countField(), Qt::Key_F, Qt::ControlModifier);
  EXPECT_EQ(the::Window_Filter(), editor);
  int editors = 0;
  for (Window* w : Window::OpenWindows()) editors += dynamic_cast<Window_Filter*>(w) != nullptr;
  EXPECT_EQ(editors, 1);
}

// Each way of closing stores the bounds in memory; the next write takes them to the file.
TEST_F(GeneratorWindow, closing_storesTheBoundsInMemoryOnly) {
  struct Way {
    const char* name;
    std::function<void(Window_RE*, QLineEdit*)> close;
  };
  const std::vector<Way> ways = {
      {"Escape", [](Window_RE*, QLineEdit* field) { QTest::keyClick(field, Qt::Key_Escape); }},
      {"CtrlW", [](Window_RE*, QLineEdit* field) { QTest::keyClick(field, Qt::Key_W, Qt::ControlModifier); }},
      {"closeBox", [](Window_RE* w, QLineEdit*) { w->widget()->close(); }},
  };
  int shift = 0;
  for (const Way& way : ways) {
    SCOPED_TRACE(way.name);
    Open();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window->widget()));
    window->SetLeft(100 + shift);
    window->SetTop(140 + shift);
    shift += 10;
    const std::string bounds =
        std::to_string(window->Left()) + "," + std::to_string(window->Top()) + ",350,88";
    way.close(window, countField());
    ASSERT_TRUE(window->IsClosed());
    EXPECT_EQ(REALEasyPrefs::GetPrefString("Window_RE", ""), bounds);
    EXPECT_EQ(ReadFile(prefFilePath()).find("Window_RE=" + bounds), std::string::npos);
    ASSERT_TRUE(WaitUntil([] { return Window::OpenWindows().empty(); }));

    Open();
    EXPECT_NE(ReadFile(prefFilePath()).find("Window_RE=" + bounds + "\n"), std::string::npos);
    EXPECT_EQ(std::to_string(window->Left()) + "," + std::to_string(window->Top()) + ",350,88", bounds);
    window->Close();
    ASSERT_TRUE(WaitUntil([] { return Window::OpenWindows().empty(); }));
  }
}

// ---- The batch ----

TEST_F(GeneratorWindow, batches_numberOnAcrossFoldersAndRestarts) {
  const std::string first = Folder("first"), second = Folder("second");
  Open();
  {
    ModalAnswers answers(ModalAnswers::EveryFileDialog{}, chooseFolder(first));
    Start("3");
    ASSERT_EQ(answers.fileDialogsSeen.size(), 1u);
    EXPECT_EQ(answers.fileDialogsSeen[0].title, "Select folder...");
    EXPECT_EQ(answers.fileDialogsSeen[0].accept, "Select");
    EXPECT_EQ(answers.fileDialogsSeen[0].directory, QDir::homePath().toStdString() + "/Desktop");
    EXPECT_TRUE(answers.boxes.empty());
  }
  EXPECT_EQ(folderNames(first), patchNames(1, 3));
  for (const std::string& name : patchNames(1, 3)) EXPECT_EQ(ReadFile(first + "/" + name), kPatch) << name;
  const std::string prefs = ReadFile(prefFilePath());
  EXPECT_NE(prefs.find("Counter Bass.re=3\n"), std::string::npos) << prefs;
  EXPECT_NE(prefs.find("SavePath=" + first + "\n"), std::string::npos) << prefs;
  EXPECT_EQ(countField()->selectedText(), "3");

  ASSERT_TRUE(WaitUntil([this] { return window->Visible(); }));
  {
    ModalAnswers answers(ModalAnswers::EveryFileDialog{}, chooseFolder(second));
    Start("2");
    ASSERT_EQ(answers.fileDialogsSeen.size(), 1u);
    EXPECT_EQ(answers.fileDialogsSeen[0].directory, first);
  }
  EXPECT_EQ(folderNames(second), patchNames(4, 5));
  EXPECT_NE(ReadFile(prefFilePath()).find("Counter Bass.re=5\n"), std::string::npos);

  // A restart reads the preferences from the file again.
  ASSERT_TRUE(WaitUntil([this] { return window->Visible(); }));
  window->Close();
  ASSERT_TRUE(WaitUntil([] { return Window::OpenWindows().empty(); }));
  REALEasyPrefs::prefNames.clear();
  REALEasyPrefs::prefItems.clear();
  ASSERT_TRUE(REALEasyPrefs::InitPrefFile("Quirlomatic"));
  Open();
  {
    ModalAnswers answers(ModalAnswers::EveryFileDialog{}, chooseFolder(first));
    Start("007");
    ASSERT_EQ(answers.fileDialogsSeen.size(), 1u);
    EXPECT_EQ(answers.fileDialogsSeen[0].directory, second);
  }
  Texts expected = patchNames(1, 3);
  for (const std::string& name : patchNames(6, 12)) expected.push_back(name);
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(folderNames(first), expected);
}

TEST_F(GeneratorWindow, countNotAboveZero_opensNoDialog) {
  Open();
  for (const char* count : {"0", "000", ""}) {
    SCOPED_TRACE(count);
    ModalAnswers answers(ModalAnswers::EveryFileDialog{}, chooseFolder(Folder("never")));
    Start(count);
    WaitUntil([&] { return !answers.fileDialogsSeen.empty(); }, 100);
    EXPECT_TRUE(answers.fileDialogsSeen.empty());
    EXPECT_TRUE(window->Visible());
    EXPECT_EQ(countField()->selectedText().toStdString(), count);
  }
  EXPECT_TRUE(folderNames(Folder("never")).empty());
  EXPECT_EQ(REALEasyPrefs::GetPrefString("Counter Bass.re", "none"), "none");
}

TEST_F(GeneratorWindow, cancelledDialog_changesNothing) {
  Open();
  const std::string before = ReadFile(prefFilePath());
  {
    ModalAnswers answers(ModalAnswers::EveryFileDialog{}, cancel());
    Start("12");
    EXPECT_EQ(answers.fileDialogsSeen.size(), 1u);
  }
  EXPECT_TRUE(window->Visible());
  EXPECT_EQ(openNotice(), nullptr);
  EXPECT_EQ(countField()->selectedText(), "12");
  EXPECT_EQ(ReadFile(prefFilePath()), before);
  EXPECT_EQ(REALEasyPrefs::GetPrefString("SavePath", "none"), "none");
  EXPECT_EQ(REALEasyPrefs::GetPrefString("Counter Bass.re", "none"), "none");
  EXPECT_TRUE(folderNames(QDir::homePath().toStdString() + "/Desktop").empty());
}

TEST_F(GeneratorWindow, replacedFile_holdsOnlyTheNewPatch) {
  const std::string out = Folder("out");
  WriteFile(out + "/Bass.re_1.repatch", std::string(10000, 'x'));
  Open();
  ModalAnswers answers(ModalAnswers::EveryFileDialog{}, chooseFolder(out));
  Start("1");
  EXPECT_EQ(ReadFile(out + "/Bass.re_1.repatch"), kPatch);
  EXPECT_EQ(folderNames(out), patchNames(1, 1));
}

// ---- The done notice ----

TEST_F(GeneratorWindow, notice_closesAfterASecond_andBringsTheSameWindowBack) {
  Open();
  {
    ModalAnswers answers(ModalAnswers::EveryFileDialog{}, chooseFolder(Folder("out")));
    Start("2");
  }
  Window_Done* notice = openNotice();
  ASSERT_NE(notice, nullptr);
  // Timed from the start of the notice's timer, which the batch's return may
  // follow late under load.
  QElapsedTimer clock;
  clock.start();
  const qint64 ran = notice->Timer1()->Period() - notice->widget()->findChild<QTimer*>()->remainingTime();
  EXPECT_TRUE(notice->Visible());
  EXPECT_FALSE(window->Visible());
  EXPECT_EQ(notice->widget()->findChild<QLabel*>("Label1")->text(), "Done!");
  EXPECT_EQ(notice->widget()->findChild<QPushButton*>("PushButton1")->text(), "Ok");
  EXPECT_EQ(notice->Width(), 140);
  EXPECT_EQ(notice->Height(), 86);
  EXPECT_TRUE(notice->widget()->windowFlags().testFlag(Qt::FramelessWindowHint));

  ASSERT_TRUE(WaitUntil([this] { return window->Visible(); }, 5000));
  // A coarse timer may fire up to 5 % early.
  EXPECT_GE(ran + clock.elapsed(), 900);
  EXPECT_EQ(openNotice(), nullptr);
  EXPECT_EQ(the::Window_RE(), window);
  EXPECT_EQ(window->Title(), "Quirlomatic: Bass.re");
  EXPECT_EQ(countField()->text(), "2");
}

TEST_F(GeneratorWindow, notice_okOrReturn_closesItAtOnce) {
  const std::vector<std::pair<const char*, std::function<void(QPushButton*)>>> ways = {
      {"click", [](QPushButton* ok) { QTest::mouseClick(ok, Qt::LeftButton); }},
      {"Return", [](QPushButton* ok) { QTest::keyClick(ok->window(), Qt::Key_Return); }},
  };
  Open();
  for (const auto& [name, press] : ways) {
    SCOPED_TRACE(name);
    ASSERT_TRUE(WaitUntil([this] { return window->Visible(); }));
    {
      ModalAnswers answers(ModalAnswers::EveryFileDialog{}, chooseFolder(Folder("out")));
      Start("1");
    }
    Window_Done* notice = openNotice();
    ASSERT_NE(notice, nullptr);
    press(notice->widget()->findChild<QPushButton*>("PushButton1"));
    EXPECT_TRUE(notice->IsClosed());
    EXPECT_TRUE(window->Visible());
    ASSERT_TRUE(WaitUntil([] { return openNotice() == nullptr; }));
  }
}

// ---- Failures ----

// What stops every patch is said once, before the folder is asked for, and
// the batch leaves no trace.
TEST_F(GeneratorWindow, unreadableSources_saySoOnce_beforeTheDialog_andWriteNothing) {
  struct Case {
    const char* name;
    std::function<void()> arrange;
    std::function<std::string()> box;
  };
  const std::string description = RELibraryFolder().Child(kRE).AbsolutePath();
  const std::string filter = FilterFolder().Child(kRE).AbsolutePath();
  const std::vector<Case> cases = {
      {"descriptionMissing", [&] { fs::remove(description); },
       [] { return std::string("MsgBox: RE description not found!"); }},
      {"descriptionIsAFolder",
       [&] {
         fs::remove(description);
         fs::create_directories(description);
       },
       [&] { return "IOErrorBox: Cannot read file " + description + ":\n" + std::strerror(EISDIR) + "."; }},
      // As root, as the tests run, a mode of 000 stops no read; a folder does.
      {"filterFileIsAFolder", [&] { fs::create_directories(filter); },
       [&] { return "IOErrorBox: Cannot read file " + filter + ":\n" + std::strerror(EISDIR) + "."; }},
  };
  closeEarlierNotice();
  Open();
  // Return reaches "Start" only in the active window, as a user's does.
  ASSERT_TRUE(QTest::qWaitForWindowActive(window->widget()));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(description);
    fs::remove_all(filter);
    WriteFile(description, kDescription);
    c.arrange();
    const std::string before = ReadFile(prefFilePath());
    const std::string counter = REALEasyPrefs::GetPrefString("Counter Bass.re", "none");
    const std::string savePath = REALEasyPrefs::GetPrefString("SavePath", "none");
    const std::string desktop = QDir::homePath().toStdString() + "/Desktop";
    const Texts onDesktop = folderNames(desktop);
    const std::string out = Folder(std::string("out-") + c.name);
    {
      ModalAnswers answers(ModalAnswers::EveryFileDialog{}, chooseFolder(out));
      Start("5");
      WaitUntil([&] { return answers.boxes.size() > 1; }, 300);
      EXPECT_EQ(answers.boxes, Texts{c.box()});
      EXPECT_TRUE(answers.fileDialogsSeen.empty());
    }
    EXPECT_TRUE(folderNames(out).empty());
    EXPECT_EQ(folderNames(desktop), onDesktop);
    EXPECT_EQ(ReadFile(prefFilePath()), before);
    EXPECT_EQ(REALEasyPrefs::GetPrefString("Counter Bass.re", "none"), counter);
    EXPECT_EQ(REALEasyPrefs::GetPrefString("SavePath", "none"), savePath);
    EXPECT_TRUE(window->Visible());
    EXPECT_EQ(openNotice(), nullptr);
    EXPECT_EQ(countField()->selectedText(), "5");
  }
  fs::remove_all(description);
  fs::remove_all(filter);
  WriteFile(description, kDescription);
}

// A batch stops at the first file it cannot write; what it wrote stays and is counted.
TEST_F(GeneratorWindow, failedFile_stopsTheBatch_andKeepsWhatWasWritten) {
  struct Case {
    const char* name;
    int counterBefore;  // -1: none stored
    // Breaks the batch; returns the start of the one message and what else it must hold.
    std::function<Texts(const std::string& folder)> arrange;
    std::function<void()> afterChoice;  // runs when the dialog has accepted the folder
    Texts left;                         // in the folder afterwards
    int counterAfter;                   // -1: none stored
  };
  std::string vanishing;
  const std::vector<Case> cases = {
      {"folderInTheWayOfTheThirdFile",
       4,
       [](const std::string& folder) {
         fs::create_directories(folder + "/Bass.re_7.repatch");
         return Texts{"IOErrorBox: ", folder + "/Bass.re_7.repatch", std::strerror(EISDIR)};
       },
       {},
       patchNames(5, 6),
       6},
      // Nothing at its end to write: the link stays a link.
      {"linkLoopInThePlaceOfTheThirdFile",
       4,
       [](const std::string& folder) {
         fs::create_symlink("Bass.re_7.repatch", folder + "/Bass.re_7.repatch");
         return Texts{"IOErrorBox: ", folder + "/Bass.re_7.repatch", std::strerror(ELOOP)};
       },
       {},
       patchNames(5, 6),
       6},
      {"folderRemovedAfterTheDialog",
       -1,
       [&vanishing](const std::string& folder) {
         vanishing = folder;
         return Texts{"IOErrorBox: ", folder + "/Bass.re_1.repatch", std::strerror(ENOENT)};
       },
       [&vanishing] { fs::remove_all(vanishing); },
       {},
       -1},
      {"descriptionRemovedAfterTheDialog",
       2,
       [](const std::string&) { return Texts{"MsgBox: RE description not found!"}; },
       [] { fs::remove(RELibraryFolder().Child(kRE).Path()); },
       {},
       2},
      {"descriptionFolderAfterTheDialog",
       2,
       [](const std::string&) {
         return Texts{"IOErrorBox: Cannot read file " + RELibraryFolder().Child(kRE).AbsolutePath() + ":\n" +
                      std::strerror(EISDIR) + "."};
       },
       [] {
         fs::remove(RELibraryFolder().Child(kRE).Path());
         fs::create_directories(RELibraryFolder().Child(kRE).Path());
       },
       {},
       2},
      {"filterFileUnreadableAfterTheDialog",
       -1,
       [](const std::string&) {
         return Texts{"IOErrorBox: Cannot read file " + FilterFolder().Child(kRE).AbsolutePath() + ":\n" +
                      std::strerror(EISDIR) + "."};
       },
       [] { fs::create_directories(FilterFolder().Child(kRE).Path()); },
       {},
       -1},
  };
  closeEarlierNotice();
  Open();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(RELibraryFolder().Child(kRE).Path());
    fs::remove_all(FilterFolder().Child(kRE).Path());
    WriteFile(RELibraryFolder().Child(kRE).AbsolutePath(), kDescription);
    REALEasyPrefs::DeletePref("Counter Bass.re");
    if (c.counterBefore >= 0) REALEasyPrefs::SetPrefNumber("Counter Bass.re", c.counterBefore);
    const std::string folder = Folder(c.name);
    const Texts message = c.arrange(folder);
    const std::string inTheWay = folder + "/Bass.re_7.repatch";
    const fs::file_type inTheWayBefore = fs::symlink_status(inTheWay).type();
    ModalAnswers answers(ModalAnswers::EveryFileDialog{}, chooseFolder(folder, c.afterChoice));
    Start("5");
    ASSERT_EQ(answers.boxes.size(), 1u);
    EXPECT_EQ(answers.boxes[0].rfind(message[0], 0), 0u) << answers.boxes[0];
    for (const std::string& piece : message)
      EXPECT_NE(answers.boxes[0].find(piece), std::string::npos) << answers.boxes[0];

    // What stood in the way stands there still, as it was.
    Texts left = folderNames(folder);
    EXPECT_EQ(fs::symlink_status(inTheWay).type(), inTheWayBefore);
    if (inTheWayBefore != fs::file_type::not_found)
      left.erase(std::find(left.begin(), left.end(), "Bass.re_7.repatch"));
    EXPECT_EQ(left, c.left);  // no temporary file either
    for (const std::string& name : c.left) EXPECT_EQ(ReadFile(folder + "/" + name), kPatch) << name;

    const std::string prefs = ReadFile(prefFilePath());
    if (c.counterAfter >= 0)
      EXPECT_NE(prefs.find("Counter Bass.re=" + std::to_string(c.counterAfter) + "\n"), std::string::npos)
          << prefs;
    else
      EXPECT_EQ(prefs.find("Counter Bass.re="), std::string::npos) << prefs;
    EXPECT_NE(prefs.find("SavePath=" + folder + "\n"), std::string::npos) << prefs;
    EXPECT_TRUE(window->Visible());
    EXPECT_EQ(openNotice(), nullptr);
    EXPECT_EQ(countField()->selectedText(), "5");
  }
  fs::remove_all(RELibraryFolder().Child(kRE).Path());
  fs::remove_all(FilterFolder().Child(kRE).Path());
  WriteFile(RELibraryFolder().Child(kRE).AbsolutePath(), kDescription);
}

// Texts are built ahead of the writing; long batches go round the buffers many times.
TEST(WriteBatch, longBatches_writeEveryFileInOrder_andStopCleanly) {
  struct Case {
    const char* name;
    int count;
    int blockedAt;  // a folder in the way of this file, 0 for none
    int counterAfter;
  };
  const std::vector<Case> cases = {{"whole", 60, 0, 60}, {"stopsAtTheFortyFirst", 80, 41, 40}};
  fs::create_directories(RELibraryFolder().Path());
  WriteFile(RELibraryFolder().Child(kRE).AbsolutePath(), kDescription);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string folder = QDir::homePath().toStdString() + "/" + c.name;
    fs::create_directories(folder);
    if (c.blockedAt) fs::create_directories(folder + "/Bass.re_" + std::to_string(c.blockedAt) + ".repatch");
    std::int32_t counter = 0;
    const IOResult result = Window_RE::WriteBatch(FolderItem(folder), kRE, c.count, counter);
    EXPECT_EQ(static_cast<bool>(result), c.blockedAt == 0) << result.Message();
    EXPECT_EQ(counter, c.counterAfter);
    Texts expected = patchNames(1, c.counterAfter);
    if (c.blockedAt) expected.push_back("Bass.re_" + std::to_string(c.blockedAt) + ".repatch");
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(folderNames(folder), expected);
    for (int n = 1; n <= c.counterAfter; ++n)
      EXPECT_EQ(ReadFile(folder + "/Bass.re_" + std::to_string(n) + ".repatch"), kPatch) << n;
  }
  // The counter cannot go past its highest number.
  std::int32_t counter = 2147483646;
  const std::string folder = QDir::homePath().toStdString() + "/top";
  fs::create_directories(folder);
  const IOResult top = Window_RE::WriteBatch(FolderItem(folder), kRE, 3, counter);
  EXPECT_FALSE(top);
  EXPECT_EQ(top.Message(),
            "Cannot write file " + folder +
                "/Bass.re_2147483648.repatch:\n"
                "The patch counter has reached its highest number; \"Reset Numbers\" starts it again.");
  EXPECT_EQ(counter, 2147483647);
  EXPECT_EQ(folderNames(folder), Texts{"Bass.re_2147483647.repatch"});
}

TEST(GeneratorWrapper, createRandomPatch_expandsTheSelectedDescription) {
  App app;
  app.Selected_RE = kRE;
  fs::create_directories(RELibraryFolder().Path());
  WriteFile(RELibraryFolder().Child(kRE).AbsolutePath(), kDescription);
  EXPECT_EQ(Window_RE::Create_Random_Patch(), kPatch);
  // Enabled through the filter file: read afresh on the next call.
  fs::create_directories(FilterFolder().Path());
  WriteFile(FilterFolder().Child(kRE).AbsolutePath(), "#+#+#+#+#\n/custom_properties/cutoff\n");
  const std::string patch = Window_RE::Create_Random_Patch();
  const std::string value =
      patch.substr(patch.find("\t") + 1, patch.find("\n</Value>") - patch.find("\t") - 1);
  EXPECT_GE(std::stoi(value), 0);
  EXPECT_LE(std::stoi(value), 127);
  EXPECT_EQ(Window_RE::MakeNumber("integer", "9", "9"), "9");

  // A filter file that cannot be read never passes for "nothing enabled".
  ModalAnswers answers;
  fs::remove(FilterFolder().Child(kRE).Path());
  fs::create_directories(FilterFolder().Child(kRE).Path());
  EXPECT_EQ(Window_RE::Create_Random_Patch(), "");
  EXPECT_EQ(answers.boxes, Texts{"IOErrorBox: Cannot read file " + FilterFolder().Child(kRE).AbsolutePath() +
                                 ":\n" + std::strerror(EISDIR) + "."});
  fs::remove(FilterFolder().Child(kRE).Path());

  fs::remove(RELibraryFolder().Child(kRE).Path());
  answers.boxes.clear();
  EXPECT_EQ(Window_RE::Create_Random_Patch(), "");
  EXPECT_EQ(answers.boxes, Texts{"MsgBox: RE description not found!"});
}

}  // namespace
