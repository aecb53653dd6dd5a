// Faults and bad input met through the real windows: each one is reported
// plainly, and the user's files (preferences, filters, descriptions, patches
// already written) come out of it whole.
#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <random>
#include <regex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "AppDriver.h"
#include "TestSupport.h"
#include "filter/Window_Filter.h"
#include "generator/Window_Done.h"
#include "generator/Window_RE.h"
#include "platform/QtInternal.h"
#include "platform/TextStream.h"
#include "prefs/REALEasyPrefs.h"
#include "shell/App.h"
#include "shell/MenuBar1.h"
#include "shell/StartUp.h"

using namespace platform;
using namespace testing_support;
namespace fs = std::filesystem;
using Texts = std::vector<std::string>;
using namespace std::string_literals;

namespace {

constexpr const char* kRE = "Bass.re";
const std::string kDescription =
    "<Patch>\n"
    "<Value property=\"cutoff\"  type=\"number\">\n"
    "  {{integer|0|127|Cutoff|Filter|64}}\n"
    "</Value>\n"
    "</Patch>\n";
const std::string kPatch = "<Patch>\n<Value property=\"cutoff\"  type=\"number\">\n  64\n</Value>\n</Patch>\n";

std::string home() { return QDir::homePath().toStdString(); }
std::string prefFilePath() {
  return SpecialFolder::Preferences().Child(REALEasyPrefs::kBundleIdentifier).AbsolutePath();
}
std::string libraryPath(const std::string& name) { return RELibraryFolder().Child(name).AbsolutePath(); }
std::string filterPath(const std::string& name) { return FilterFolder().Child(name).AbsolutePath(); }
std::string patchName(const std::string& re, int n) { return re + "_" + std::to_string(n) + ".repatch"; }

std::string folder(const std::string& name) {
  const std::string path = home() + "/" + name;
  fs::create_directories(path);
  return path;
}

Window_RE* openGenerator(const std::string& name) {
  MenuItem* entry = reEntry(name);
  EXPECT_NE(entry, nullptr) << name;
  if (!entry) return nullptr;
  choose(entry);
  return openWindow<Window_RE>();
}

// Types the count and presses Return: the folder dialog and the batch follow.
void start(Window_RE* window, const std::string& count) {
  auto* field = child<QLineEdit>(window, "TextField1");
  field->setText(QString::fromStdString(count));
  QTest::keyClick(field, Qt::Key_Return);
}

// The notice of a batch that went well, closed at once.
void closeNotice() {
  Window_Done* notice = openWindow<Window_Done>();
  ASSERT_NE(notice, nullptr) << "the batch did not finish";
  click(child<QPushButton>(notice, "PushButton1"));
  ASSERT_TRUE(WaitUntil([] { return openWindow<Window_Done>() == nullptr; }));
}

void closeAll() {
  for (Window* window : Window::OpenWindows()) window->Close();
  ASSERT_TRUE(WaitUntil([] { return Window::OpenWindows().empty(); }));
}

std::string lineEndsToLF(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r') {
      out += '\n';
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      out += text[i];
    }
  }
  if (!out.empty() && out.back() != '\n') out += '\n';
  return out;
}

std::string randomBytes(std::size_t size, unsigned seed) {
  std::mt19937 draw(seed);
  std::string bytes(size, '\0');
  for (char& c : bytes) c = static_cast<char>(draw() & 0xff);
  return bytes;
}

// Lowers the file-size limit of this process (SIGXFSZ is ignored by the test
// main) until it goes out of scope.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &old_);
    rlimit limit{bytes, old_.rlim_max};
    EXPECT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
  }
  ~FileSizeLimit() { setrlimit(RLIMIT_FSIZE, &old_); }

 private:
  rlimit old_{};
};

class Faults : public ::testing::Test {
 protected:
  void SetUp() override {
    app = std::make_unique<App>();
    fs::create_directories(FilterFolder().Path());
    WriteFile(libraryPath(kRE), kDescription);
    InstallApplication(*app);
    app->Open();
  }

  std::unique_ptr<App> app;
};

// ---- The file-size limit reached ----

// The limit lies below one patch: the batch stops at its first file, the
// patches of earlier batches stay as they were, no temporary file is left.
TEST_F(Faults, fileSizeLimit_duringABatch_namesThePatch_andKeepsTheEarlierOnes) {
  struct Case {
    const char* name;
    int counterBefore;  // patches 1..3 exist from an earlier batch
    int failsAt;
  };
  const std::vector<Case> cases = {{"afterTheEarlierPatches", 3, 4}, {"overAnEarlierPatch", 0, 1}};
  // Big enough to pass the limit, which leaves the preference file below it.
  const std::string bigDescription = std::string(20000, '#') + "\n" + kDescription;
  WriteFile(libraryPath(kRE), bigDescription);
  const std::string filterBefore = "Filter\n#+#+#+#+#\ncutoff\n";
  WriteFile(filterPath(kRE), filterBefore);
  Window_RE* window = openGenerator(kRE);
  ASSERT_NE(window, nullptr);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string out = folder(c.name);
    {
      ModalAnswers answers({Choose(out)});
      REALEasyPrefs::SetPrefNumber("Counter Bass.re", 0);
      start(window, "3");
      closeNotice();
      ASSERT_TRUE(answers.boxes.empty());
    }
    std::vector<std::string> earlier;
    for (int n = 1; n <= 3; ++n) earlier.push_back(ReadFile(out + "/" + patchName(kRE, n)));
    const std::string prefsBefore = ReadFile(prefFilePath());
    REALEasyPrefs::SetPrefNumber("Counter Bass.re", c.counterBefore);
    ModalAnswers answers({Choose(out)});
    {
      FileSizeLimit limit(8192);
      start(window, "2");
    }
    ASSERT_EQ(answers.boxes.size(), 1u);
    const std::string& box = answers.boxes[0];
    EXPECT_EQ(box.rfind("IOErrorBox: ", 0), 0u) << box;
    EXPECT_NE(box.find(out + "/" + patchName(kRE, c.failsAt)), std::string::npos) << box;
    EXPECT_NE(box.find(std::strerror(EFBIG)), std::string::npos) << box;
    EXPECT_TRUE(window->Visible());
    EXPECT_EQ(openWindow<Window_Done>(), nullptr);

    EXPECT_EQ(folderNames(out), (Texts{patchName(kRE, 1), patchName(kRE, 2), patchName(kRE, 3)}));
    for (int n = 1; n <= 3; ++n) EXPECT_EQ(ReadFile(out + "/" + patchName(kRE, n)), earlier[n - 1]) << n;
    EXPECT_EQ(REALEasyPrefs::GetPrefNumber("Counter Bass.re", -1), c.counterBefore);
    EXPECT_NE(ReadFile(prefFilePath()).find("Counter Bass.re=" + std::to_string(c.counterBefore) + "\n"),
              std::string::npos);
    EXPECT_NE(prefsBefore, "");
  }
  EXPECT_EQ(ReadFile(libraryPath(kRE)), bigDescription);
  EXPECT_EQ(ReadFile(filterPath(kRE)), filterBefore);
}

// A filter file above the limit: the old one stays, so does the editor with the user's choice.
TEST_F(Faults, fileSizeLimit_duringAFilterSave_namesTheFile_andKeepsTheOldOne) {
  std::string description;
  for (int k = 0; k < 40; ++k) {
    description += "<Value property=\"" + std::string(300, 'p') + std::to_string(k) + "\"  type=\"number\">\n";
    description += "  {{integer|0|9|P" + std::to_string(k) + "|Group|0}}\n";
  }
  WriteFile(libraryPath(kRE), description);
  const std::string filterBefore = "Group\n#+#+#+#+#\n" + std::string(300, 'p') + "7\n";
  WriteFile(filterPath(kRE), filterBefore);
  const Texts filterFolderBefore = folderNames(FilterFolder().Path());
  const std::string prefsBefore = ReadFile(prefFilePath());

  ModalAnswers answers;
  app->Selected_RE = kRE;
  Window_Filter* editor = the::Window_Filter();
  ASSERT_EQ(editor->Prop.size(), 40u);
  EXPECT_EQ(editor->CheckBox_EnableParameter(7)->State(), 1);
  click(child<QPushButton>(editor, "PushButton1"));  // check all
  {
    FileSizeLimit limit(4096);
    click(child<QPushButton>(editor, "PushButtonSave"));
  }
  ASSERT_EQ(answers.boxes.size(), 1u);
  EXPECT_EQ(answers.boxes[0].rfind("IOErrorBox: ", 0), 0u) << answers.boxes[0];
  EXPECT_NE(answers.boxes[0].find(filterPath(kRE)), std::string::npos) << answers.boxes[0];
  EXPECT_NE(answers.boxes[0].find(std::strerror(EFBIG)), std::string::npos) << answers.boxes[0];
  EXPECT_EQ(openWindow<Window_Filter>(), editor);
  EXPECT_EQ(editor->CheckBox_EnableParameter(39)->State(), 1);
  EXPECT_EQ(ReadFile(filterPath(kRE)), filterBefore);
  EXPECT_EQ(folderNames(FilterFolder().Path()), filterFolderBefore);
  EXPECT_EQ(ReadFile(prefFilePath()), prefsBefore);
  EXPECT_EQ(ReadFile(libraryPath(kRE)), description);

  // Without the limit the same choice is saved.
  click(child<QPushButton>(editor, "PushButtonSave"));
  EXPECT_EQ(answers.boxes.size(), 1u);
  ASSERT_TRUE(WaitUntil([] { return openWindow<Window_Filter>() == nullptr; }));
  EXPECT_EQ(ReadFile(filterPath(kRE)).substr(0, 17), "Group\n#+#+#+#+#\n" + std::string(1, 'p'));
}

// ---- Folders removed while the application runs ----

TEST_F(Faults, foldersRemovedWhileRunning_areMetWithoutLosingAnything) {
  struct Case {
    const char* name;
    std::function<void()> remove;
    Texts boxes;  // on "Start"
    int patches;  // written by a batch of 2
    Texts editorBoxes;
    bool filterFileAfterSave;
  };
  const std::vector<Case> cases = {
      {"libraryFolder",
       [] { fs::remove_all(RELibraryFolder().Path()); },
       {"MsgBox: RE description not found!"},
       0,
       {"MsgBox: File not found."},
       false},
      // Nothing enabled any more: the defaults, and the editor's save makes the folder again.
      {"filterFolder", [] { fs::remove_all(FilterFolder().Path()); }, {}, 2, {}, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::create_directories(FilterFolder().Path());
    WriteFile(libraryPath(kRE), kDescription);
    WriteFile(filterPath(kRE), "#+#+#+#+#\ncutoff\n");
    REALEasyPrefs::SetPrefString("Keep", "this");
    app->Update_RE_Menu();
    Window_RE* window = openGenerator(kRE);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->Title(), "Quirlomatic: Bass.re");
    c.remove();

    const std::string out = folder(std::string("out-") + c.name);
    {
      ModalAnswers answers({Choose(out)});
      start(window, "2");
      if (c.patches) closeNotice();
      WaitUntil([&] { return answers.boxes.size() > c.boxes.size(); }, 200);
      EXPECT_EQ(answers.boxes, c.boxes);
    }
    ASSERT_TRUE(WaitUntil([window] { return window->Visible(); }));
    EXPECT_EQ(folderNames(out).size(), static_cast<std::size_t>(c.patches));
    for (int n = 1; n <= c.patches; ++n) EXPECT_EQ(ReadFile(out + "/" + patchName(kRE, n)), kPatch);
    EXPECT_TRUE(folderNames(home() + "/Desktop").empty());
    {
      ModalAnswers answers;
      click(child(window, "Canvas1"));
      Window_Filter* editor = openWindow<Window_Filter>();
      ASSERT_NE(editor, nullptr);
      EXPECT_EQ(answers.boxes, c.editorBoxes);
      click(child<QPushButton>(editor, "PushButtonSave"));
      ASSERT_TRUE(WaitUntil([] { return openWindow<Window_Filter>() == nullptr; }));
      EXPECT_EQ(answers.boxes, c.editorBoxes);
    }
    EXPECT_EQ(fs::exists(filterPath(kRE)), c.filterFileAfterSave);
    closeAll();
    const std::string prefs = ReadFile(prefFilePath());
    EXPECT_NE(prefs.find("Keep=this\n"), std::string::npos) << prefs;
    EXPECT_NE(prefs.find("Time Bass.re="), std::string::npos) << prefs;
  }
}

// ---- Preference files of bad content ----

struct PrefCase {
  const char* name;
  std::function<std::string()> bytes;
  bool exact;  // written back byte for byte; otherwise entry for entry
};

void PrintTo(const PrefCase& c, std::ostream* os) { *os << c.name; }

class BadPreferenceFile : public ::testing::TestWithParam<PrefCase> {};

TEST_P(BadPreferenceFile, startsAndWritesTheEntriesBack) {
  const std::string original = GetParam().bytes();
  fs::create_directories(SpecialFolder::Preferences().Path());
  WriteFile(prefFilePath(), original);
  fs::create_directories(RELibraryFolder().Path());
  WriteFile(libraryPath(kRE), kDescription);

  App app;
  ModalAnswers answers;
  InstallApplication(app);
  app.Open();
  EXPECT_TRUE(answers.boxes.empty());
  EXPECT_TRUE(FilterFolder().Directory());
  ASSERT_NE(reEntry(kRE), nullptr);
  const Texts names = REALEasyPrefs::prefNames, items = REALEasyPrefs::prefItems;
  EXPECT_FALSE(names.empty());

  // The application adds its own entries: the time of the device, the window's bounds.
  Window_RE* window = openGenerator(kRE);
  ASSERT_NE(window, nullptr);
  closeAll();
  app.Quit();
  EXPECT_TRUE(answers.boxes.empty());

  const std::string written = ReadFile(prefFilePath());
  if (GetParam().exact) {
    ASSERT_EQ(written.substr(0, original.size()), original);
    EXPECT_TRUE(std::regex_match(written.substr(original.size()),
                                 std::regex("Time Bass\\.re=[-0-9: ]{19}\nWindow_RE=[-0-9]+,[-0-9]+,350,88\n")))
        << written.substr(original.size());
  }
  REALEasyPrefs::prefNames.clear();
  REALEasyPrefs::prefItems.clear();
  ASSERT_TRUE(REALEasyPrefs::InitPrefFile("Quirlomatic"));
  ASSERT_EQ(REALEasyPrefs::prefNames.size(), names.size() + 2);
  EXPECT_TRUE(std::equal(names.begin(), names.end(), REALEasyPrefs::prefNames.begin()));
  EXPECT_TRUE(std::equal(items.begin(), items.end(), REALEasyPrefs::prefItems.begin()));
  EXPECT_EQ(REALEasyPrefs::prefNames[names.size()], "Time Bass.re");
  // Stable from here on: another write gives the same bytes.
  ASSERT_TRUE(REALEasyPrefs::WritePrefFile());
  EXPECT_EQ(ReadFile(prefFilePath()), written);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, BadPreferenceFile,
    ::testing::Values(
        PrefCase{"binaryGarbage", [] { return randomBytes(65536, 7); }, false},
        PrefCase{"invalidUtf8",
                 [] {
                   return std::string("\xff\xfe=\xc3\x28\nCounter \xe2\x82.re=7\nSavePath=/tmp/\xed\xa0\x80\n"
                                      "Time \xf8\x88\x80\x80\x80.re=2020-01-01 00:00:00\n");
                 },
                 true},
        PrefCase{"nulBytes",
                 [] {
                   return "a\0b=c\0d\n\0=\0\nTime x\0.re=2020-01-01 00:00:00\nend=\0\n"s;
                 },
                 true},
        PrefCase{"megabyteLines",
                 [] {
                   return "big=" + std::string(1 << 20, 'v') + "\n" + std::string(1 << 20, 'n') + "=x\n" +
                          "Counter Bass.re=4\n";
                 },
                 true}),
    [](const ::testing::TestParamInfo<PrefCase>& info) { return std::string(info.param.name); });

// ---- A preference file that exists but cannot be read ----

using UnreadableCase = testing_support::UnreadableItem;
using testing_support::Snapshot;

class UnreadablePreferenceFile : public ::testing::TestWithParam<UnreadableCase> {
 protected:
  void SetUp() override {
    fs::create_directories(SpecialFolder::Preferences().Path());
    fs::remove_all(prefFilePath());
    if (GetParam().onlyWithoutRoot && ::geteuid() == 0) GTEST_SKIP() << "root reads any file";
    GetParam().make(prefFilePath());
  }
  void TearDown() override {
    std::error_code ec;
    fs::permissions(prefFilePath(), fs::perms::owner_all, ec);
    fs::remove_all(prefFilePath(), ec);
  }
};

// Told once at start; then the generator window, a batch and quit all run
// without a word, and the item is exactly as it was.
TEST_P(UnreadablePreferenceFile, isReportedOnceAtStart_andLeftAsItIs) {
  fs::create_directories(RELibraryFolder().Path());
  WriteFile(libraryPath(kRE), kDescription);
  const std::string out = home() + "/out-unreadable";
  fs::remove_all(out);
  fs::create_directories(out);
  const std::string before = Snapshot(prefFilePath());
  auto preferencesFolder = [] { return folderNames(SpecialFolder::Preferences().AbsolutePath()); };
  const Texts folderBefore = preferencesFolder();

  App app;
  ModalAnswers answers({Choose(out)});
  InstallApplication(app);
  app.Open();
  ASSERT_EQ(answers.boxesSeen.size(), 1u);
  const ModalAnswers::BoxSeen& box = answers.boxesSeen[0];
  EXPECT_EQ(box.text, "Cannot read file " + prefFilePath() + ":\n" + std::strerror(GetParam().error) + ".");
  EXPECT_EQ(box.informativeText,
            "Quirlomatic runs with default settings: patch numbers start at 1 again, and patches of the same "
            "name in the chosen folder are replaced. Settings changed while it runs are not saved, so that "
            "the file stays as it is.");
  EXPECT_EQ(box.icon, QMessageBox::Warning);

  Window_RE* window = openGenerator(kRE);
  ASSERT_NE(window, nullptr);
  start(window, "2");
  closeNotice();
  EXPECT_EQ(folderNames(out), (Texts{patchName(kRE, 1), patchName(kRE, 2)}));
  EXPECT_EQ(REALEasyPrefs::GetPrefNumber("Counter Bass.re", 0), 2);
  closeAll();
  app.Quit();

  EXPECT_EQ(answers.boxes.size(), 1u) << ::testing::PrintToString(answers.boxes);
  EXPECT_EQ(Snapshot(prefFilePath()), before);
  EXPECT_EQ(preferencesFolder(), folderBefore);
  if (GetParam().onlyWithoutRoot) {
    fs::permissions(prefFilePath(), fs::perms::owner_read);
    EXPECT_EQ(ReadFile(prefFilePath()), "Counter Bass.re=7\nSavePath=/tmp\n");
  }
}

INSTANTIATE_TEST_SUITE_P(
    Faults, UnreadablePreferenceFile, ::testing::ValuesIn(testing_support::UnreadableItems()),
    [](const ::testing::TestParamInfo<UnreadableCase>& info) { return std::string(info.param.name); });

// ---- Descriptions of bad content ----

struct TemplateCase {
  const char* name;
  std::function<std::string()> bytes;
  std::size_t parameters;  // in the filter editor
  // The patch with nothing enabled; then with everything enabled.
  std::function<void(const std::string& text, const std::string& patch)> checkDefault, checkRandom;
};

void PrintTo(const TemplateCase& c, std::ostream* os) { *os << c.name; }

class BadDescription : public ::testing::TestWithParam<TemplateCase> {};

TEST_P(BadDescription, batchWritesSaneFiles_andTheEditorOpensIt) {
  const TemplateCase& c = GetParam();
  const std::string name = std::string(c.name) + ".re";
  App app;
  ModalAnswers answers;
  InstallApplication(app);
  app.Open();
  const std::string text = c.bytes();
  WriteFile(libraryPath(name), text);
  const std::string out = folder("out");

  std::int32_t counter = 0;
  IOResult result = Window_RE::WriteBatch(FolderItem(out), name, 1, counter);
  ASSERT_TRUE(result) << result.Message();
  c.checkDefault(text, ReadFile(out + "/" + patchName(name, 1)));

  app.Selected_RE = name;
  Window_Filter* editor = the::Window_Filter();
  EXPECT_TRUE(answers.boxes.empty());
  EXPECT_EQ(editor->Prop.size(), c.parameters);
  click(child<QPushButton>(editor, "PushButton1"));  // check all
  click(child<QPushButton>(editor, "PushButtonSave"));
  ASSERT_TRUE(WaitUntil([] { return openWindow<Window_Filter>() == nullptr; }));
  EXPECT_TRUE(answers.boxes.empty());
  EXPECT_TRUE(fs::exists(filterPath(name)));

  result = Window_RE::WriteBatch(FolderItem(out), name, 1, counter);
  ASSERT_TRUE(result) << result.Message();
  EXPECT_EQ(counter, 2);
  c.checkRandom(text, ReadFile(out + "/" + patchName(name, 2)));
  EXPECT_EQ(folderNames(out), (Texts{patchName(name, 1), patchName(name, 2)}));
  EXPECT_EQ(ReadFile(libraryPath(name)), text);
}

// No placeholder, no property: every line as it stands, each ended by LF.
void asText(const std::string& text, const std::string& patch) {
  EXPECT_TRUE(patch == lineEndsToLF(text)) << "patch of " << patch.size() << " bytes";
}

// A value of 0..9 (default 5) where the one placeholder line was.
std::function<void(const std::string&, const std::string&)> oneValue(std::string before, std::string after,
                                                                      bool random) {
  return [=](const std::string&, const std::string& patch) {
    std::smatch m;
    ASSERT_TRUE(std::regex_match(patch, m, std::regex("([\\s\\S]*\n)\t(\\d+)(\n[\\s\\S]*)"))) << patch;
    EXPECT_EQ(m[1].str(), before);
    EXPECT_EQ(m[3].str(), after);
    const int value = std::stoi(m[2].str());
    if (random) {
      EXPECT_GE(value, 0);
      EXPECT_LE(value, 9);
    } else {
      EXPECT_EQ(value, 5);
    }
  };
}

INSTANTIATE_TEST_SUITE_P(
    Faults, BadDescription,
    ::testing::Values(
        // Without "{" or "<" the garbage holds no placeholder and no property by chance.
        TemplateCase{"binary",
                     [] {
                       std::string bytes = randomBytes(200000, 3);
                       std::replace(bytes.begin(), bytes.end(), '{', '[');
                       std::replace(bytes.begin(), bytes.end(), '<', '(');
                       return bytes;
                     },
                     0, asText, asText},
        TemplateCase{"invalidUtf8",
                     [] {
                       return std::string("<Value property=\"\xff\xfe\"  type=\"number\">\n"
                                          "\t{{integer|0|9|N\xff|G\xc3\x28|5}}\n</Value>\n");
                     },
                     1, oneValue("<Value property=\"\xff\xfe\"  type=\"number\">\n", "\n</Value>\n", false),
                     oneValue("<Value property=\"\xff\xfe\"  type=\"number\">\n", "\n</Value>\n", true)},
        TemplateCase{"oneLineOf50MB", [] { return std::string(50 << 20, 'x'); }, 0, asText, asText},
        TemplateCase{"crOnly",
                     [] {
                       return std::string("<P>\r<Value property=\"cut\"  type=\"number\">\r"
                                          "\t{{integer|0|9|Cut|F|5}}\r</Value>\r</P>");
                     },
                     1, oneValue("<P>\n<Value property=\"cut\"  type=\"number\">\n", "\n</Value>\n</P>\n", false),
                     oneValue("<P>\n<Value property=\"cut\"  type=\"number\">\n", "\n</Value>\n</P>\n", true)},
        TemplateCase{"thousandsOfPlaceholdersOnOneLine",
                     [] {
                       std::string line = "\t";
                       for (int i = 0; i < 5000; ++i) line += "{{integer|0|9|P" + std::to_string(i) + "|G|5}}";
                       return "<Value property=\"many\"  type=\"number\">\n" + line + "\n</Value>\n";
                     },
                     1, oneValue("<Value property=\"many\"  type=\"number\">\n", "\n</Value>\n", false),
                     oneValue("<Value property=\"many\"  type=\"number\">\n", "\n</Value>\n", true)}),
    [](const ::testing::TestParamInfo<TemplateCase>& info) { return std::string(info.param.name); });

// ---- Filter files of bad content ----

struct FilterCase {
  const char* name;
  std::function<std::string()> bytes;
  std::vector<int> groupStates, parameterStates;  // as the editor shows them
  bool randomised;                                // cutoff gets a random value
};

void PrintTo(const FilterCase& c, std::ostream* os) { *os << c.name; }

class BadFilterFile : public ::testing::TestWithParam<FilterCase> {};

TEST_P(BadFilterFile, isReadWithoutHarm_andStaysAsItWasUnlessSaved) {
  const FilterCase& c = GetParam();
  App app;
  ModalAnswers answers;
  InstallApplication(app);
  app.Open();
  const std::string description =
      "<Value property=\"cutoff\"  type=\"number\">\n\t{{integer|1000|1000|Cutoff|Filter|64}}\n</Value>\n"
      "<Value property=\"\xff\xfe\"  type=\"number\">\n\t{{integer|0|1|Odd|\xc3\x28|0}}\n</Value>\n";
  WriteFile(libraryPath(kRE), description);
  const std::string filter = c.bytes();
  WriteFile(filterPath(kRE), filter);
  const std::string out = folder("out");

  std::int32_t counter = 0;
  const IOResult result = Window_RE::WriteBatch(FolderItem(out), kRE, 1, counter);
  ASSERT_TRUE(result) << result.Message();
  const std::string patch = ReadFile(out + "/" + patchName(kRE, 1));
  EXPECT_NE(patch.find(c.randomised ? "\t1000\n" : "\t64\n"), std::string::npos) << patch;

  app.Selected_RE = kRE;
  Window_Filter* editor = the::Window_Filter();
  EXPECT_TRUE(answers.boxes.empty());
  ASSERT_EQ(editor->Prop.size(), 2u);
  std::vector<int> groups, parameters;
  for (int g = 0; g < 2; ++g) groups.push_back(editor->CheckBox_EnableGroup(g)->State());
  for (int k = 0; k < 2; ++k) parameters.push_back(editor->CheckBox_EnableParameter(k)->State());
  EXPECT_EQ(groups, c.groupStates);
  EXPECT_EQ(parameters, c.parameterStates);
  click(child<QPushButton>(editor, "PushButtonCancel"));
  ASSERT_TRUE(WaitUntil([] { return openWindow<Window_Filter>() == nullptr; }));
  EXPECT_TRUE(ReadFile(filterPath(kRE)) == filter);
  EXPECT_TRUE(answers.boxes.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Faults, BadFilterFile,
    ::testing::Values(
        FilterCase{"binary", [] { return randomBytes(100000, 5); }, {0, 0}, {0, 0}, false},
        FilterCase{"invalidUtf8", [] { return std::string("\xc3\x28\n#+#+#+#+#\n\xff\xfe\n"); }, {0, 1}, {0, 1},
                   false},
        FilterCase{"oneLineOf50MB", [] { return std::string(50 << 20, 'c'); }, {0, 0}, {0, 0}, false},
        FilterCase{"crOnly", [] { return std::string("Filter\r#+#+#+#+#\rcutoff\r"); }, {1, 0}, {1, 0}, true},
        FilterCase{"thousandsOfNamesOnOneLine",
                   [] {
                     std::string line;
                     for (int i = 0; i < 5000; ++i) line += "cutoff ";
                     return "Filter " + line + "\n#+#+#+#+#\n" + line + "\n";
                   },
                   {0, 0},
                   {0, 0},
                   false}),
    [](const ::testing::TestParamInfo<FilterCase>& info) { return std::string(info.param.name); });

// ---- Awkward description names ----

// Import, menu entry, title, file names, filter file and the keys of the
// preference file, through a reload of the store.
TEST_F(Faults, awkwardNames_goTheWholeRoadAndSurviveAReload) {
  const Texts names = {"a=b.re", "50%.re", "My Bass 2 .re", "Ünïcødé Bäß.re", "-Lead.re"};
  const std::string downloads = folder("Downloads");
  const std::string out = folder("out");
  for (const std::string& name : names) {
    SCOPED_TRACE(name);
    WriteFile(downloads + "/" + name, kDescription);
    {
      ModalAnswers answers({Choose(downloads + "/" + name)});
      choose(FileImport());
      EXPECT_EQ(answers.boxes, Texts{"MessageDialog: Import successful!"});
    }
    EXPECT_EQ(ReadFile(libraryPath(name)), kDescription);
    Window_RE* window = openGenerator(name);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->Title(), "Quirlomatic: " + name);

    click(child(window, "Canvas1"));
    Window_Filter* editor = openWindow<Window_Filter>();
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->Title(), "Filter: " + name);
    click(child<QPushButton>(editor, "PushButton1"));
    click(child<QPushButton>(editor, "PushButtonSave"));
    ASSERT_TRUE(WaitUntil([] { return openWindow<Window_Filter>() == nullptr; }));
    EXPECT_EQ(ReadFile(filterPath(name)), "Filter\n#+#+#+#+#\ncutoff\n");

    {
      ModalAnswers answers({Choose(out)});
      start(window, "2");
      closeNotice();
      EXPECT_TRUE(answers.boxes.empty());
    }
    closeAll();
  }
  Texts expected;
  for (const std::string& name : names)
    for (int n = 1; n <= 2; ++n) expected.push_back(patchName(name, n));
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(folderNames(out), expected);
  for (const std::string& file : expected)
    EXPECT_TRUE(std::regex_match(ReadFile(out + "/" + file), std::regex("[\\s\\S]*\n  \\d+\n[\\s\\S]*"))) << file;

  ASSERT_TRUE(REALEasyPrefs::WritePrefFile());
  REALEasyPrefs::prefNames.clear();
  REALEasyPrefs::prefItems.clear();
  ASSERT_TRUE(REALEasyPrefs::InitPrefFile("Quirlomatic"));
  app->Update_RE_Menu();
  for (const std::string& name : names) {
    SCOPED_TRACE(name);
    EXPECT_EQ(REALEasyPrefs::GetPrefNumber("Counter " + name, 0), 2);
    EXPECT_EQ(REALEasyPrefs::GetPrefString("Time " + name, "").size(), 19u);
    EXPECT_NE(reEntry(name), nullptr);
  }
  // The recent block lists all five, ahead of the library's list.
  for (std::size_t i = 0; i < names.size(); ++i)
    EXPECT_EQ(RackExtensions()->Item(static_cast<int>(i))->KeyboardShortcut(), std::to_string(i + 1));

  // The next batch of one of them numbers on.
  Window_RE* window = openGenerator("a=b.re");
  ASSERT_NE(window, nullptr);
  ModalAnswers answers({Choose(out)});
  start(window, "1");
  closeNotice();
  EXPECT_TRUE(fs::exists(out + "/" + patchName("a=b.re", 3)));
}

}  // namespace

// ---- Names as long as the file system takes (255 bytes) ----

namespace {
std::string longName(std::size_t bytes, const std::string& ending = "") {
  return std::string(bytes - ending.size(), 'L') + ending;
}

// The items of a folder that a writer left behind under a dot name.
Texts dotNames(const std::string& folder) {
  Texts dots;
  for (const std::string& name : folderNames(folder))
    if (name[0] == '.') dots.push_back(name);
  return dots;
}

struct LongNameCase {
  const char* name;
  std::function<void(App& app)> run;
};

void PrintTo(const LongNameCase& c, std::ostream* os) { *os << c.name; }

class LongNames : public Faults, public ::testing::WithParamInterface<LongNameCase> {};

void importAndCheck(App& app, const std::string& from) {
  const std::string name = longName(255);
  const std::string chosen = from + "/" + name;
  WriteFile(chosen, kDescription);
  {
    ModalAnswers answers({Choose(chosen)});
    choose(FileImport());
    EXPECT_EQ(answers.boxes, Texts{"MessageDialog: Import successful!"});
  }
  EXPECT_FALSE(fs::exists(chosen));
  EXPECT_EQ(ReadFile(libraryPath(name)), kDescription);
  EXPECT_EQ(dotNames(RELibraryFolder().AbsolutePath()), Texts{});
  app.Update_RE_Menu();
  EXPECT_NE(reEntry(name), nullptr);
}
}  // namespace

TEST_P(LongNames, areWrittenWhole_andLeaveNoTemporaryFile) { GetParam().run(*app); }

INSTANTIATE_TEST_SUITE_P(
    Faults, LongNames,
    ::testing::Values(
        LongNameCase{"patchFile",
                     [](App& app) {
                       const std::string re(245, 'L');
                       ASSERT_EQ((re + "_1.repatch").size(), 255u);
                       WriteFile(libraryPath(re), kDescription);
                       app.Update_RE_Menu();
                       Window_RE* window = openGenerator(re);
                       ASSERT_NE(window, nullptr);
                       const std::string out = folder("out-long");
                       ModalAnswers answers({Choose(out)});
                       start(window, "1");
                       closeNotice();
                       EXPECT_EQ(answers.boxes, Texts{});
                       EXPECT_EQ(ReadFile(out + "/" + patchName(re, 1)), kPatch);
                       EXPECT_EQ(folderNames(out), Texts{patchName(re, 1)});
                       closeAll();
                     }},
        LongNameCase{"filterFile",
                     [](App& app) {
                       const std::string re = longName(255);
                       WriteFile(libraryPath(re), kDescription);
                       ModalAnswers answers;
                       app.Selected_RE = re;
                       Window_Filter* editor = the::Window_Filter();
                       click(child<QPushButton>(editor, "PushButton1"));  // check all
                       click(child<QPushButton>(editor, "PushButtonSave"));
                       ASSERT_TRUE(WaitUntil([] { return openWindow<Window_Filter>() == nullptr; }));
                       EXPECT_EQ(answers.boxes, Texts{});
                       EXPECT_EQ(ReadFile(filterPath(re)), "Filter\n#+#+#+#+#\ncutoff\n");
                       EXPECT_EQ(dotNames(FilterFolder().AbsolutePath()), Texts{});
                     }},
        LongNameCase{"preferenceFile",
                     [](App&) {
                       const std::string name = longName(255);
                       const IOResult made = REALEasyPrefs::InitPrefFolderFileMac(name);
                       EXPECT_TRUE(made) << made.Message();
                       REALEasyPrefs::SetPrefString("Counter A", "3");
                       const IOResult written = REALEasyPrefs::WritePrefFile();
                       EXPECT_TRUE(written) << written.Message();
                       EXPECT_EQ(ReadFile(SpecialFolder::Preferences().Child(name).AbsolutePath()),
                                 "Counter A=3\n");
                       EXPECT_EQ(dotNames(SpecialFolder::Preferences().AbsolutePath()), Texts{});
                       fs::remove(SpecialFolder::Preferences().Child(name).Path());
                       ASSERT_TRUE(REALEasyPrefs::InitPrefFile("Quirlomatic"));
                     }},
        LongNameCase{"importFromTheSameFileSystem",
                     [](App& app) { importAndCheck(app, folder("Downloads")); }},
        // Copied into the library under a temporary name, then renamed.
        LongNameCase{"importFromAnotherFileSystem",
                     [](App& app) {
                       QTemporaryDir other("/dev/shm/quirlomatic-test-XXXXXX");
                       if (!other.isValid()) GTEST_SKIP() << "no /dev/shm";
                       importAndCheck(app, other.path().toStdString());
                     }}),
    [](const ::testing::TestParamInfo<LongNameCase>& info) { return std::string(info.param.name); });

// ---- Writers run in a child process, which the tests below stop or trace ----

namespace {
// The folder the writers write their patches into.
std::string outFolder() { return home() + "/out"; }
}  // namespace

TEST(Writers, DISABLED_batchOfThree) {
  std::int32_t counter = 0;
  const IOResult result = Window_RE::WriteBatch(FolderItem(outFolder()), kRE, 3, counter);
  EXPECT_TRUE(result) << result.Message();
}

TEST_F(Faults, DISABLED_saveTheFilter) {
  app->Selected_RE = kRE;
  Window_Filter* editor = the::Window_Filter();
  click(child<QPushButton>(editor, "PushButton1"));  // check all
  click(child<QPushButton>(editor, "PushButtonSave"));
}

TEST(Writers, DISABLED_writeThePreferences) {
  ASSERT_TRUE(REALEasyPrefs::InitPrefFile("Quirlomatic"));
  REALEasyPrefs::SetPrefString("Counter Bass.re", "7");
  ASSERT_TRUE(REALEasyPrefs::WritePrefFile());
}

// Writes a file of $QM_HOLD and keeps it open until killed.
TEST(Writers, DISABLED_holdATemporaryFile) {
  auto out = TextOutputStream::Create(GetFolderItem(qEnvironmentVariable("QM_HOLD").toStdString()));
  ASSERT_TRUE(out);
  out->Write(kPatch);
  std::puts("holding");
  std::fflush(stdout);
  std::this_thread::sleep_for(std::chrono::seconds(60));
}

namespace {
// A child process of this test binary, sharing this test's home, running the
// writer `test` (a disabled test), under strace with `strace` when given.
class Writer {
 public:
  Writer(const QString& test, const QStringList& strace = {}, const QProcessEnvironment& extra = {}) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(extra);
    environment.insert("QM_TEST_HOME", QString::fromStdString(home()));
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    // LeakSanitizer cannot run under ptrace; these tests are leak-checked in their own runs.
    const QString sanitizer = environment.value("ASAN_OPTIONS");
    environment.insert("ASAN_OPTIONS", sanitizer + (sanitizer.isEmpty() ? "" : ":") + "detect_leaks=0");
    process_.setProcessEnvironment(environment);
    process_.setProcessChannelMode(QProcess::MergedChannels);
    const QStringList test_ = {QCoreApplication::applicationFilePath(), "--gtest_filter=" + test,
                               "--gtest_also_run_disabled_tests"};
    if (strace.isEmpty()) {
      process_.start(test_[0], test_.mid(1));
    } else {
      process_.start(QStandardPaths::findExecutable("strace"),
                     QStringList{"-f", "-qq", "-e", "signal=none"} + strace + test_);
    }
  }
  ~Writer() {
    process_.kill();
    process_.waitForFinished();
  }

  // Whether it ran to its end and passed.
  bool finished() {
    EXPECT_TRUE(process_.waitForFinished(100000));
    output_ += process_.readAll().toStdString();
    return process_.exitStatus() == QProcess::NormalExit && process_.exitCode() == 0;
  }
  const std::string& output() const { return output_; }
  QProcess& process() { return process_; }

 private:
  QProcess process_;
  std::string output_;
};

bool haveStrace() { return !QStandardPaths::findExecutable("strace").isEmpty(); }

Texts temporaryFiles(const std::string& folder) {
  Texts names;
  for (const std::string& name : folderNames(folder))
    if (name.rfind(".quirlomatic-", 0) == 0) names.push_back(name);
  return names;
}

// Puts in this test's home what the writers need: the description, a filter
// and a preference file of the user's, the patch folder.
void prepareHome() {
  fs::create_directories(FilterFolder().Path());
  fs::create_directories(SpecialFolder::Preferences().Path());
  fs::create_directories(outFolder());
  WriteFile(libraryPath(kRE), kDescription);
  WriteFile(filterPath(kRE), "#+#+#+#+#\n");
  WriteFile(prefFilePath(), "Keep=this\n");
}

void nextBatch() {
  std::int32_t counter = 0;
  const IOResult result = Window_RE::WriteBatch(FolderItem(outFolder()), kRE, 1, counter);
  EXPECT_TRUE(result) << result.Message();
}

void nextStart() {
  App app;
  ModalAnswers answers;
  InstallApplication(app);
  app.Open();
  EXPECT_EQ(answers.boxes, Texts{});
}

void nextFilterSave() {
  auto out = TextOutputStream::Create(FilterFolder().Child(kRE));
  ASSERT_TRUE(out);
  out->WriteLine("#+#+#+#+#");
  EXPECT_TRUE(out->Close());
}

void nextPreferenceWrite() {
  ASSERT_TRUE(REALEasyPrefs::InitPrefFile("Quirlomatic"));
  EXPECT_TRUE(REALEasyPrefs::WritePrefFile());
}

// The moments of a kill, for strace's fault injection, and where the writers write.
constexpr const char* kBeforeTheRenames = "syncfs:signal=KILL";
constexpr const char* kAtTheFirstRename = "renameat,renameat2:signal=KILL:when=1";
constexpr const char* kAtTheSecondRename = "renameat,renameat2:signal=KILL:when=2";
constexpr const char* kBatch = "Writers.DISABLED_batchOfThree";
constexpr const char* kFilterSave = "Faults.DISABLED_saveTheFilter";
constexpr const char* kPreferenceWrite = "Writers.DISABLED_writeThePreferences";
std::string filterFolder() { return FilterFolder().AbsolutePath(); }
std::string preferenceFolder() { return SpecialFolder::Preferences().AbsolutePath(); }
std::function<std::string()> patch(int n) {
  return [n] { return outFolder() + "/" + patchName(kRE, n); };
}
std::string filterFile() { return filterPath(kRE); }

struct KillCase {
  const char* name;
  const char* writer;
  std::function<std::string()> folder;  // where it writes
  const char* inject;                   // strace's: when the writer is killed
  std::size_t leftovers;                // temporary files the kill leaves there
  std::function<std::string()> target;  // a file the writer replaces...
  std::string targetAfterTheKill;       // ...and what it holds after the kill
  std::function<void()> next;           // the next write into the folder, or the next start
};

void PrintTo(const KillCase& c, std::ostream* os) { *os << c.name; }

class KilledWriter : public ::testing::TestWithParam<KillCase> {};
}  // namespace

// ---- Temporary files of writers that were killed ----

// kill -9 at a chosen moment: every file is the old one or the whole new one,
// and what the writer left goes with the next write into that folder, or
// with the next start.
TEST_P(KilledWriter, leavesWholeFiles_andItsLeftoversGoWithTheNextWriteOrStart) {
  const KillCase& c = GetParam();
  if (!haveStrace()) GTEST_SKIP() << "strace is not installed";
  prepareHome();
  const std::string folder = c.folder();
  {
    Writer writer(c.writer, {"-o", "/dev/null", "-P", QString::fromStdString(folder), "-e",
                             QString("inject=") + c.inject});
    EXPECT_FALSE(writer.finished()) << writer.output();
  }
  EXPECT_EQ(temporaryFiles(folder).size(), c.leftovers);
  EXPECT_EQ(ReadFile(c.target()), c.targetAfterTheKill);
  c.next();
  EXPECT_EQ(temporaryFiles(folder), Texts{});
  EXPECT_EQ(ReadFile(libraryPath(kRE)), kDescription);
}

INSTANTIATE_TEST_SUITE_P(
    Crash, KilledWriter,
    ::testing::Values(KillCase{"batchBeforeItsRenames_nextBatch", kBatch, outFolder, kBeforeTheRenames, 3,
                               patch(1), "", nextBatch},
                      KillCase{"batchAmidItsRenames_nextBatch", kBatch, outFolder, kAtTheSecondRename, 2,
                               patch(1), kPatch, nextBatch},
                      KillCase{"batchAmidItsRenames_nextStartLeavesItsFolder", kBatch, outFolder,
                               kAtTheSecondRename, 2, patch(2), "",
                               [] {
                                 nextStart();
                                 EXPECT_EQ(temporaryFiles(outFolder()).size(), 2u);  // not one of its folders
                                 nextBatch();
                               }},
                      KillCase{"filterSave_nextStart", kFilterSave, filterFolder, kAtTheFirstRename, 1,
                               filterFile, "#+#+#+#+#\n", nextStart},
                      KillCase{"filterSave_nextSave", kFilterSave, filterFolder, kAtTheFirstRename, 1,
                               filterFile, "#+#+#+#+#\n", nextFilterSave},
                      KillCase{"preferenceWrite_nextStart", kPreferenceWrite, preferenceFolder,
                               kAtTheFirstRename, 1, prefFilePath, "Keep=this\n", nextStart},
                      KillCase{"preferenceWrite_nextWrite", kPreferenceWrite, preferenceFolder,
                               kAtTheFirstRename, 1, prefFilePath, "Keep=this\n", nextPreferenceWrite}),
    [](const ::testing::TestParamInfo<KillCase>& info) { return std::string(info.param.name); });

namespace {
struct RunningCase {
  const char* name;
  std::function<std::string()> file;  // the file the running writer holds
  std::function<void()> next;
};

void PrintTo(const RunningCase& c, std::ostream* os) { *os << c.name; }

class RunningWriter : public ::testing::TestWithParam<RunningCase> {};
}  // namespace

// Another instance's temporary file is left alone while that instance runs,
// by the next write into its folder and by a start; once it has been killed,
// the next write removes it.
TEST_P(RunningWriter, keepsItsTemporaryFile_untilItIsKilled) {
  const RunningCase& c = GetParam();
  prepareHome();
  const std::string file = c.file();
  const std::string folder = fs::path(file).parent_path().string();
  QProcessEnvironment hold;
  hold.insert("QM_HOLD", QString::fromStdString(file));
  Writer writer("Writers.DISABLED_holdATemporaryFile", {}, hold);
  std::string said;
  ASSERT_TRUE(WaitUntil(
      [&] {
        said += writer.process().readAll().toStdString();
        return said.find("holding") != std::string::npos;
      },
      30000))
      << said;
  const Texts held = temporaryFiles(folder);
  ASSERT_EQ(held.size(), 1u);
  EXPECT_NE(held[0].find(std::to_string(writer.process().processId())), std::string::npos) << held[0];

  c.next();
  EXPECT_EQ(temporaryFiles(folder), held);
  writer.process().kill();
  ASSERT_TRUE(writer.process().waitForFinished());
  c.next();
  EXPECT_EQ(temporaryFiles(folder), Texts{});
}

INSTANTIATE_TEST_SUITE_P(
    Crash, RunningWriter,
    ::testing::Values(
        RunningCase{"patchFolder", [] { return outFolder() + "/" + patchName(kRE, 1); }, nextBatch},
        RunningCase{"preferenceFolder",
                    [] { return SpecialFolder::Preferences().Child("held").AbsolutePath(); }, nextStart}),
    [](const ::testing::TestParamInfo<RunningCase>& info) { return std::string(info.param.name); });

// ---- Durability ----

namespace {
// "1234 renameat(4</a>, \".b.tmp\", AT_FDCWD</x>, \"/a/b\") = 0" (strace pads
// the process id with blanks): the two paths, relative ones completed by the
// folder of their descriptor.
bool renamed(const std::string& line, std::string& from, std::string& to) {
  static const std::regex rename(
      R"re(^\d+ +rename(?:at2?)?\((?:(?:AT_FDCWD|\d+)<([^>]*)>, )?"([^"]*)", (?:(?:AT_FDCWD|\d+)<([^>]*)>, )?"([^"]*)".*\) += 0$)re");
  std::smatch m;
  if (!std::regex_search(line, m, rename)) return false;
  auto full = [](const std::string& folder, const std::string& name) {
    return name.empty() || name[0] == '/' ? name : folder + "/" + name;
  };
  from = full(m[1], m[2]);
  to = full(m[3], m[4]);
  return true;
}

// The calls of `calls` under strace -y: "1234 fsync(7</a/b>) = 0" gives "/a/b".
bool call(const std::string& line, const std::string& calls, std::string& path) {
  const std::regex pattern("^\\d+ +(?:" + calls + ")\\(\\d+<([^>]*)>");
  std::smatch m;
  if (!std::regex_search(line, m, pattern)) return false;
  path = m[1];
  return true;
}

constexpr const char* kTraced =
    "trace=openat,write,pwrite64,fsync,fdatasync,syncfs,rename,renameat,renameat2";
}  // namespace

// Every file that takes the place of a user's file (patch, filter file,
// preferences, imported description) is on the disk before the rename that
// puts it there (its own flush, or a flush of the whole file system since it
// was last written), and a temporary file's folder is flushed after its
// rename: the writers above run again under strace, which shows the order.
TEST(Durability, everyFileIsOnTheDiskBeforeItsRename_andItsFolderAfter) {
  if (!haveStrace()) GTEST_SKIP() << "strace is not installed";
  QTemporaryDir work;
  ASSERT_TRUE(work.isValid());
  const QString log = work.filePath("trace");
  Writer writers("Faults/LongNames.*", {"-y", "-s", "4096", "-o", log, "-e", kTraced});
  ASSERT_TRUE(writers.finished()) << writers.output();
  ASSERT_EQ(writers.output().find("FAILED"), std::string::npos) << writers.output();

  // Without /dev/shm the import from another file system skips; every other writer runs.
  const std::string importSkipped =
      "[  SKIPPED ] Faults/LongNames.areWrittenWhole_andLeaveNoTemporaryFile/importFromAnotherFileSystem";
  const std::size_t ran = writers.output().find(importSkipped) == std::string::npos ? 5 : 4;
  ASSERT_NE(writers.output().find("[  PASSED  ] " + std::to_string(ran) + " tests"), std::string::npos)
      << writers.output();

  const std::string homePath = QDir(QString::fromStdString(home())).canonicalPath().toStdString() + "/";
  std::set<std::string> written, flushed, folderUnflushed;
  Texts renamedInPlace, notFlushed;
  std::ifstream trace(log.toStdString());
  for (std::string line, path, from, to; std::getline(trace, line);) {
    if (call(line, "write|pwrite64", path)) {
      written.insert(path);
      flushed.erase(path);
    } else if (call(line, "fsync|fdatasync", path)) {
      flushed.insert(path);
      folderUnflushed.erase(path);
    } else if (call(line, "syncfs", path)) {
      flushed.insert(written.begin(), written.end());
    } else if (renamed(line, from, to)) {
      // Steps towards the final place (dot names) and the toolkit's caches
      // are not the user's files.
      if (to.rfind(homePath, 0) != 0 || to.rfind(homePath + ".cache/", 0) == 0 ||
          fs::path(to).filename().string()[0] == '.')
        continue;
      renamedInPlace.push_back(fs::path(to).filename().string());
      if (!flushed.erase(from)) notFlushed.push_back(from + " -> " + to);
      if (fs::path(from).filename().string().rfind(".quirlomatic-", 0) == 0)
        folderUnflushed.insert(fs::path(to).parent_path().string());
    }
  }
  EXPECT_EQ(notFlushed, Texts{});
  EXPECT_EQ(folderUnflushed, std::set<std::string>{});
  // Each writer was seen: the patch, the filter and the preference file, both imports.
  for (const std::string& name : {longName(255, "_1.repatch"), longName(255)})
    EXPECT_NE(std::find(renamedInPlace.begin(), renamedInPlace.end(), name), renamedInPlace.end()) << name;
  EXPECT_GE(renamedInPlace.size(), ran);
}

// A batch flushes the disk once for all its files, renames them in their
// order and then flushes its folder: the calls on the batch's folder and its
// files, as strace shows them.
TEST(Durability, aBatchFlushesTheDiskOnce_renamesInOrder_thenFlushesItsFolder) {
  if (!haveStrace()) GTEST_SKIP() << "strace is not installed";
  prepareHome();
  QTemporaryDir work;
  ASSERT_TRUE(work.isValid());
  const QString log = work.filePath("trace");
  Writer writer("Writers.DISABLED_batchOfThree", {"-y", "-s", "300", "-o", log, "-e", kTraced});
  ASSERT_TRUE(writer.finished()) << writer.output();

  const std::string out = QDir(QString::fromStdString(outFolder())).canonicalPath().toStdString();
  Texts calls;
  std::ifstream trace(log.toStdString());
  for (std::string line, path, from, to; std::getline(trace, line);) {
    const bool temporary = line.find(out + "/.quirlomatic-") != std::string::npos;
    if (line.find(" openat(") != std::string::npos && temporary && line.find("O_CREAT") != std::string::npos)
      calls.push_back("create");
    else if (call(line, "write|pwrite64", path) && temporary)
      calls.push_back("write");
    else if (call(line, "syncfs", path))
      calls.push_back("syncfs");
    else if (call(line, "fsync|fdatasync", path) && (path == out || temporary))
      calls.push_back(path == out ? "flush folder" : "flush file");
    else if (renamed(line, from, to) && fs::path(to).parent_path() == out)
      calls.push_back("rename " + fs::path(to).filename().string());
  }
  EXPECT_EQ(calls, (Texts{"create", "write", "create", "write", "create", "write", "syncfs", "flush folder",
                          "rename " + patchName(kRE, 1), "rename " + patchName(kRE, 2),
                          "rename " + patchName(kRE, 3), "flush folder"}));
  for (int n = 1; n <= 3; ++n) EXPECT_EQ(ReadFile(outFolder() + "/" + patchName(kRE, n)), kPatch);
}
