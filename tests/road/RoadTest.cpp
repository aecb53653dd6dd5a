// The user's whole road through the real windows and dialogs: first start,
// import, choose the device, set its filter, write a batch, quit, start again.
#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "AppDriver.h"
#include "TestSupport.h"
#include "filter/Window_Filter.h"
#include "generator/Window_Done.h"
#include "generator/Window_RE.h"
#include "platform/QtInternal.h"
#include "prefs/REALEasyPrefs.h"
#include "shell/App.h"
#include "shell/MenuBar1.h"
#include "shell/StartUp.h"

using namespace platform;
using namespace testing_support;
namespace fs = std::filesystem;

namespace {

const char* kRE = "Device.re";
const std::string kTemplate =
    "<Patch>\n"
    "  <Value property=\"cutoff\"  type=\"number\">\n"
    "    {{float|0|1|Cutoff|Filter|0.5}}\n"
    "  </Value>\n"
    "  <Value property=\"reso\"  type=\"number\">\n"
    "    {{integer|0|127|Resonance|Filter|64}}\n"
    "  </Value>\n"
    "  <Value property=\"attack\"  type=\"number\">\n"
    "    {{integer|10|20|Attack|Amp|15}}\n"
    "  </Value>\n"
    "  <Value property=\"on\"  type=\"boolean\">\n"
    "    {{boolean|0|1|On|Amp|1}}\n"
    "  </Value>\n"
    "</Patch>\n";

std::string home() { return QDir::homePath().toStdString(); }
std::string outFolder() { return home() + "/Patches"; }

// A batch through the count field and the folder dialog; waits until the
// notice has closed and the generator window is back.
void runBatch(Window_RE* window, const std::string& count, ModalAnswers& answers) {
  auto* field = child<QLineEdit>(window, "TextField1");
  field->selectAll();
  QTest::keyClicks(field, QString::fromStdString(count));
  QTest::keyClick(field, Qt::Key_Return);
  ASSERT_TRUE(WaitUntil([] { return openWindow<Window_Done>() == nullptr; }, 5000));
  ASSERT_TRUE(WaitUntil([window] { return window->Visible(); }, 5000));
  (void)answers;
}

// Each patch holds random values exactly on the checked properties, within
// their bounds and kinds, and the defaults everywhere else.
void checkPatch(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  ASSERT_EQ(lines.size(), 14u) << text;
  EXPECT_EQ(text.back(), '\n');
  auto value = [&](int line) { return lines[line].substr(4); };
  EXPECT_EQ(lines[2].substr(0, 4), "    ");
  const double cutoff = std::stod(value(2));
  EXPECT_TRUE(std::regex_match(value(2), std::regex("0|1|0\\.[0-9]{1,4}"))) << value(2);
  EXPECT_GE(cutoff, 0.0);
  EXPECT_LE(cutoff, 1.0);
  EXPECT_TRUE(std::regex_match(value(5), std::regex("[0-9]{1,3}"))) << value(5);
  EXPECT_LE(std::stoi(value(5)), 127);
  EXPECT_TRUE(std::regex_match(value(8), std::regex("1[0-9]|20"))) << value(8);
  EXPECT_EQ(value(11), "true");  // not checked: the boolean default 1
  EXPECT_EQ(lines[0], "<Patch>");
  EXPECT_EQ(lines[13], "</Patch>");
}

std::string expectationsFile() { return home() + "/road-expect.txt"; }

}  // namespace

TEST(Road, firstStartImportFilterBatchQuitAndStartAgain) {
  App app;
  InstallApplication(app);
  app.Open();
  ASSERT_TRUE(RELibraryFolder().Directory());
  ASSERT_TRUE(WaitUntil([&] { return !app.justStarted; }, 3000)) << "the splash closes by itself";

  // Import the template with the open dialog.
  const std::string downloads = home() + "/Downloads";
  fs::create_directories(downloads);
  WriteFile(downloads + "/" + kRE, kTemplate);
  {
    ModalAnswers answers({Choose(downloads + "/" + kRE)});
    choose(FileImport());
    EXPECT_EQ(answers.boxes, std::vector<std::string>{"MessageDialog: Import successful!"});
  }
  EXPECT_FALSE(fs::exists(downloads + "/" + kRE));
  EXPECT_EQ(ReadFile(RELibraryFolder().Child(kRE).AbsolutePath()), kTemplate);

  // Choose it in the "Rack Extensions" menu.
  choose(reEntry(kRE));
  Window_RE* generator = openWindow<Window_RE>();
  ASSERT_NE(generator, nullptr);
  EXPECT_EQ(generator->Title(), "Quirlomatic: Device.re");

  // The gear opens the filter editor: check the group Filter, then Attack on the Amp page.
  click(child(generator, "Canvas1"));
  Window_Filter* filter = openWindow<Window_Filter>();
  ASSERT_NE(filter, nullptr);
  click(child<QCheckBox>(filter, "CheckBox_EnableGroup_0"));
  click(child<QToolButton>(filter, "Down"));
  click(child<QCheckBox>(filter, "CheckBox_EnableParameter_2"));
  filter->SetLeft(140);
  filter->SetTop(90);
  const std::string filterBounds = std::to_string(filter->Left()) + "," +
                                   std::to_string(filter->Top()) + "," + std::to_string(filter->Width()) + "," +
                                   std::to_string(filter->Height());
  click(child<QPushButton>(filter, "PushButtonSave"));
  EXPECT_EQ(ReadFile(FilterFolder().Child(kRE).AbsolutePath()), "Filter\nAmp\n#+#+#+#+#\ncutoff\nreso\nattack\n");
  ASSERT_TRUE(WaitUntil([] { return openWindow<Window_Filter>() == nullptr; }));

  // A batch of 5 into a chosen folder.
  fs::create_directories(outFolder());
  {
    ModalAnswers answers({Choose(outFolder())});
    runBatch(generator, "5", answers);
    EXPECT_TRUE(answers.boxes.empty());
  }
  for (int n = 1; n <= 5; ++n) {
    SCOPED_TRACE(n);
    checkPatch(ReadFile(outFolder() + "/Device.re_" + std::to_string(n) + ".repatch"));
  }

  // Move the generator window, close it, quit.
  generator->SetLeft(210);
  generator->SetTop(160);
  const std::string generatorBounds = std::to_string(generator->Left()) + "," + std::to_string(generator->Top()) +
                                      "," + std::to_string(generator->Width()) + "," +
                                      std::to_string(generator->Height());
  QTest::keyClick(generator->widget(), Qt::Key_Escape);
  ASSERT_TRUE(WaitUntil([] { return openWindow<Window_RE>() == nullptr; }));
  app.Quit();

  // Start again, in a new process with the same home.
  std::ofstream(expectationsFile()) << generatorBounds << "\n" << filterBounds << "\n";
  QProcess second;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("QM_TEST_HOME", QString::fromStdString(home()));
  second.setProcessEnvironment(env);
  second.setProcessChannelMode(QProcess::MergedChannels);
  second.start(QCoreApplication::applicationFilePath(),
               {"--gtest_filter=Road.DISABLED_secondStart", "--gtest_also_run_disabled_tests"});
  ASSERT_TRUE(second.waitForFinished(60000));
  EXPECT_EQ(second.exitCode(), 0) << second.readAll().toStdString();
}

// The second half of the road, run by the test above in the same home.
TEST(Road, DISABLED_secondStart) {
  std::ifstream expected(expectationsFile());
  std::string generatorBounds, filterBounds;
  std::getline(expected, generatorBounds);
  std::getline(expected, filterBounds);
  ASSERT_FALSE(generatorBounds.empty());

  App app;
  InstallApplication(app);
  app.Open();
  EXPECT_EQ(REALEasyPrefs::GetPrefNumber(std::string("Counter ") + kRE, 0), 5);
  EXPECT_EQ(REALEasyPrefs::GetPrefString("SavePath", ""), outFolder());
  EXPECT_FALSE(REALEasyPrefs::GetPrefString(std::string("Time ") + kRE, "").empty());
  EXPECT_EQ(REALEasyPrefs::GetPrefString("Window_RE", ""), generatorBounds);
  EXPECT_EQ(REALEasyPrefs::GetPrefString("Window_Filter", ""), filterBounds);

  choose(reEntry(kRE));
  Window_RE* generator = openWindow<Window_RE>();
  ASSERT_NE(generator, nullptr);
  EXPECT_EQ(std::to_string(generator->Left()) + "," + std::to_string(generator->Top()) + "," +
                std::to_string(generator->Width()) + "," + std::to_string(generator->Height()),
            generatorBounds);
  click(child(generator, "Canvas1"));
  Window_Filter* filter = openWindow<Window_Filter>();
  ASSERT_NE(filter, nullptr);
  EXPECT_EQ(filter->Left(), 140);
  EXPECT_EQ(filter->Top(), 90);
  // The saved choice comes back checked.
  EXPECT_TRUE(child<QCheckBox>(filter, "CheckBox_EnableGroup_0")->isChecked());
  EXPECT_TRUE(child<QCheckBox>(filter, "CheckBox_EnableParameter_2")->isChecked());
  EXPECT_FALSE(child<QCheckBox>(filter, "CheckBox_EnableParameter_3")->isChecked());
  click(child<QPushButton>(filter, "PushButtonCancel"));
  ASSERT_TRUE(WaitUntil([] { return openWindow<Window_Filter>() == nullptr; }));

  ModalAnswers answers({Choose(outFolder())});
  runBatch(generator, "1", answers);
  ASSERT_EQ(answers.fileDialogDirectories, std::vector<std::string>{outFolder()});
  checkPatch(ReadFile(outFolder() + "/Device.re_6.repatch"));
  EXPECT_EQ(REALEasyPrefs::GetPrefNumber(std::string("Counter ") + kRE, 0), 6);
  app.Quit();
}
