#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QToolButton>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "TestSupport.h"
#include "filter/Window_Filter.h"
#include "platform/FolderItem.h"
#include "prefs/REALEasyPrefs.h"
#include "shell/App.h"
#include "shell/MenuBar1.h"
#include "shell/StartUp.h"

using namespace platform;
namespace fs = std::filesystem;
using testing_support::AnswerNextModal;
using testing_support::ReadFile;
using testing_support::WaitUntil;
using testing_support::WriteFile;
using States = std::vector<int>;

namespace {

constexpr const char* kRE = "Synth.re";

// Four parameters cutoff, reso, attack, decay in the groups Filter, Filter,
// Amp, Filter; only attack carries the new-line marker, in a seventh field.
// The first two lines yield no parameter.
const std::string kExample =
    "<Value property=\"ignored\"  type=\"number\">{{integer|0|1|Both|Filter|0}}</Value>\r\n"
    "\t{{integer|0|1|Unclosed|Filter|0\r\n"
    "<Value property=\"cutoff\"  type=\"number\">\r\n"
    "\t{{float|0|1|Cutoff|Filter|0.5}}\r\n"
    "</Value>\r\n"
    "<Value property=\"reso\"  type=\"number\">\r\n"
    "\t{{float|0|1| Resonance | Filter |0}}\r\n"
    "</Value>\r\n"
    "<Value property=\"attack\"  type=\"number\">\r\n"
    "\t{{integer|0|127|Attack|Amp|10| nl }}\r\n"
    "</Value>\r\n"
    "<Value property=\"decay\"  type=\"number\">\r\n"
    "\t{{integer|0|127|Decay|Filter|20}}\r\n"
    "</Value>\r\n";

// One parameter per entry: its group and the placeholder's fields after the
// group ("|0" when empty).
std::string describe(const std::vector<std::pair<std::string, std::string>>& groupAndTail) {
  std::string text;
  int n = 0;
  for (const auto& [group, tail] : groupAndTail) {
    const std::string name = "p" + std::to_string(n++);
    text += "<Value property=\"" + name + "\"  type=\"number\">\n";
    text += "  {{integer|0|9|" + name + "|" + group + (tail.empty() ? "|0" : tail) + "}}\n";
  }
  return text;
}

class FilterEditor : public ::testing::Test {
 protected:
  void SetUp() override {
    app = std::make_unique<App>();
    InstallApplication(*app);
    app->Open();
  }

  void AddDescription(const std::string& name, const std::string& text) {
    fs::create_directories(RELibraryFolder().Path());
    WriteFile(RELibraryFolder().Child(name).AbsolutePath(), text);
  }
  static std::string FilterPath(const std::string& name) { return FilterFolder().Child(name).AbsolutePath(); }
  static void WriteFilter(const std::string& name, const std::string& text) {
    fs::create_directories(FilterFolder().Path());
    WriteFile(FilterPath(name), text);
  }

  Window_Filter* Open(const std::string& name = kRE) {
    the::App()->Selected_RE = name;
    return the::Window_Filter();
  }

  template <class W = QWidget>
  static W* Widget(Window_Filter* w, const QString& name) {
    W* found = w->widget()->findChild<W*>(name);
    EXPECT_NE(found, nullptr) << name.toStdString();
    return found;
  }
  static QCheckBox* GroupBox(Window_Filter* w, int g) {
    return Widget<QCheckBox>(w, QString("CheckBox_EnableGroup_%1").arg(g));
  }
  static QCheckBox* ParameterBox(Window_Filter* w, int k) {
    return Widget<QCheckBox>(w, QString("CheckBox_EnableParameter_%1").arg(k));
  }
  // On the indicator, which every box has whatever its caption.
  static void Click(QWidget* widget) {
    QTest::mouseClick(widget, Qt::LeftButton, {}, QPoint(6, widget->height() / 2));
  }
  static void ClickButton(Window_Filter* w, const char* name) {
    QTest::mouseClick(Widget(w, name), Qt::LeftButton);
  }
  static void ClickArrow(Window_Filter* w, const char* which) {
    QTest::mouseClick(Widget(w, "UpDownArrows1")->findChild<QToolButton*>(which), Qt::LeftButton);
  }

  static States GroupStates(Window_Filter* w) {
    States states;
    for (std::size_t g = 0; g < w->ListOfGroups.size(); ++g)
      states.push_back(w->CheckBox_EnableGroup(int(g))->State());
    return states;
  }
  static States ParameterStates(Window_Filter* w) {
    States states;
    for (std::size_t k = 0; k < w->Prop.size(); ++k)
      states.push_back(w->CheckBox_EnableParameter(int(k))->State());
    return states;
  }
  static bool IsOpen(Window_Filter* w) {
    const auto open = Window::OpenWindows();
    return std::find(open.begin(), open.end(), w) != open.end();
  }
  // Lets a closed instance end, so the next accessor call builds a new one.
  static void Settle() {
    QApplication::processEvents();
    QApplication::processEvents();
  }

  static std::string PrefFileText() {
    return ReadFile(SpecialFolder::Preferences().Child(REALEasyPrefs::kBundleIdentifier).AbsolutePath());
  }

  std::unique_ptr<App> app;
};

TEST_F(FilterEditor, WorkedExampleSavesAndReopens) {
  AddDescription(kRE, kExample);
  Window_Filter* w = Open();

  EXPECT_EQ(w->Title(), std::string("Filter: ") + kRE);
  EXPECT_EQ(w->Prop, (std::vector<std::string>{"cutoff", "reso", "attack", "decay"}));
  EXPECT_EQ(w->Name, (std::vector<std::string>{"Cutoff", "Resonance", "Attack", "Decay"}));
  EXPECT_EQ(w->Group, (std::vector<std::string>{"Filter", "Filter", "Amp", "Filter"}));
  EXPECT_EQ(w->ListOfGroups, (std::vector<std::string>{"Filter", "Amp"}));
  EXPECT_EQ(w->ItemsInGroup, (std::vector<std::string>{"|0|1|3", "|2"}));
  EXPECT_EQ(w->NewLineInGroup, (std::vector<std::string>{"|||", "|nl"}));
  EXPECT_EQ(w->ControlCount("CheckBox_EnableParameter"), 4);
  EXPECT_EQ(w->ControlCount("CheckBox_EnableGroup"), 2);
  EXPECT_EQ(ParameterBox(w, 1)->text(), "Resonance");
  auto* popup = Widget<QComboBox>(w, "PopupMenu_Group");
  ASSERT_EQ(popup->count(), 2);
  EXPECT_EQ(popup->itemText(0), "Filter");
  EXPECT_EQ(popup->itemText(1), "Amp");
  EXPECT_EQ(popup->currentIndex(), 0);

  Click(GroupBox(w, 0));
  Click(ParameterBox(w, 1));
  EXPECT_EQ(GroupStates(w), (States{1, 0}));
  EXPECT_EQ(ParameterStates(w), (States{1, 0, 0, 1}));
  ClickButton(w, "PushButtonSave");
  EXPECT_FALSE(IsOpen(w));
  EXPECT_EQ(ReadFile(FilterPath(kRE)), "Filter\n#+#+#+#+#\ncutoff\ndecay\n");

  Settle();
  w = Open();
  EXPECT_EQ(GroupStates(w), (States{1, 0}));
  EXPECT_EQ(ParameterStates(w), (States{1, 0, 0, 1}));
}

struct LayoutCase {
  const char* name;
  std::vector<std::string> tails;  // one member per entry, all of group "G"
  std::vector<std::pair<int, int>> boxes;
  int buttonsTop, height;
};

void PrintTo(const LayoutCase& c, std::ostream* os) { *os << c.name; }

class PageLayout : public FilterEditor, public ::testing::WithParamInterface<LayoutCase> {};

TEST_P(PageLayout, PlacesBoxesButtonsAndHeight) {
  const LayoutCase& c = GetParam();
  std::vector<std::pair<std::string, std::string>> members;
  for (const auto& tail : c.tails) members.emplace_back("G", tail);
  AddDescription(kRE, describe(members));
  Window_Filter* w = Open();

  ASSERT_EQ(w->Prop.size(), c.boxes.size());
  for (std::size_t k = 0; k < c.boxes.size(); ++k) {
    QCheckBox* box = ParameterBox(w, int(k));
    EXPECT_EQ(std::make_pair(box->x(), box->y()), c.boxes[k]) << "member " << k;
  }
  EXPECT_EQ(std::make_pair(GroupBox(w, 0)->x(), GroupBox(w, 0)->y()), std::make_pair(249, 14));
  EXPECT_EQ(Widget(w, "PushButtonSave")->y(), c.buttonsTop);
  EXPECT_EQ(Widget(w, "PushButtonCancel")->y(), c.buttonsTop);
  EXPECT_EQ(Widget(w, "PushButtonSave")->x(), 334);
  EXPECT_EQ(Widget(w, "PushButtonCancel")->x(), 426);
  EXPECT_EQ(w->Height(), c.height);
  EXPECT_EQ(w->Width(), 840);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PageLayout,
    ::testing::Values(
        LayoutCase{"One", {""}, {{20, 46}}, 78, 118},
        LayoutCase{"Four", {"", "", "", ""}, {{20, 46}, {220, 46}, {420, 46}, {620, 46}}, 78, 118},
        LayoutCase{
            "Five", {"", "", "", "", ""}, {{20, 46}, {220, 46}, {420, 46}, {620, 46}, {20, 78}}, 110, 150},
        LayoutCase{"MarkerOnFirst", {"|0|nl"}, {{20, 78}}, 110, 150},
        LayoutCase{"MarkerOnFifthOfFive",
                   {"", "", "", "", "|0|nl"},
                   {{20, 46}, {220, 46}, {420, 46}, {620, 46}, {20, 110}},
                   142,
                   182},
        LayoutCase{"MarkerOnThirdOfFive",
                   {"", "", "|0|nl", "", ""},
                   {{20, 46}, {220, 46}, {20, 78}, {220, 78}, {420, 78}},
                   110,
                   150},
        LayoutCase{"MarkerTwice", {"", "|0|nl and nl"}, {{20, 46}, {20, 110}}, 142, 182},
        // The default field is the last one here, and "nl" is found inside any text.
        LayoutCase{"MarkerInsideDefault", {"", "|only"}, {{20, 46}, {20, 78}}, 110, 150}),
    [](const auto& info) { return std::string(info.param.name); });

// 3,000 parameters: two of every three in group "Big", every third in one of
// ten groups "Small 0" to "Small 9" of a hundred each; every eighth member of
// "Big" starts a row of its own, and the filter file names every seventh
// property.
TEST_F(FilterEditor, LargeDescriptionOpensWithEveryBoxOnItsPage) {
  constexpr int kParameters = 3000;
  auto groupOf = [](int k) { return k % 3 != 2 ? std::string("Big") : "Small " + std::to_string(k / 300); };
  std::string description, filter = "#+#+#+#+#\n";
  std::vector<int> big;
  for (int k = 0; k < kParameters; ++k) {
    const bool marker = groupOf(k) == "Big" && big.size() % 8 == 0;
    if (groupOf(k) == "Big") big.push_back(k);
    description += "<Value property=\"p" + std::to_string(k) + "\"  type=\"number\">\n";
    description +=
        "{{integer|0|9|P " + std::to_string(k) + "|" + groupOf(k) + "|0" + (marker ? "|nl" : "") + "}}\n";
    if (k % 7 == 0) filter += "p" + std::to_string(k) + "\n";
  }
  AddDescription(kRE, description);
  WriteFilter(kRE, filter);
  Window_Filter* w = Open();

  ASSERT_EQ(w->Prop.size(), std::size_t(kParameters));
  EXPECT_EQ(w->ControlCount("CheckBox_EnableParameter"), kParameters);
  EXPECT_EQ(w->ControlCount("CheckBox_EnableGroup"), 11);
  ASSERT_EQ(w->ListOfGroups.size(), 11u);
  EXPECT_EQ(w->ListOfGroups[1], "Small 0");
  EXPECT_EQ(w->ListOfGroups[10], "Small 9");
  States expectedStates;
  for (int k = 0; k < kParameters; ++k) expectedStates.push_back(k % 7 == 0 ? 1 : 0);
  EXPECT_EQ(ParameterStates(w), expectedStates);

  auto pos = [w](int k) { return w->CheckBox_EnableParameter(k)->widget()->pos(); };
  // "Big": blocks of eight members, each an empty row and two full ones.
  for (int m = 0; m < static_cast<int>(big.size()); ++m)
    ASSERT_EQ(pos(big[m]), QPoint(20 + 200 * (m % 4), 46 + 32 * (3 * (m / 8) + 1 + m % 8 / 4)))
        << "member " << m;
  for (int k = 2; k < kParameters; k += 3) ASSERT_EQ(pos(k).y(), -48) << k;
  const int lastRowTop = 46 + 32 * (3 * 249 + 2);
  EXPECT_EQ(w->PushButtonSave()->Top(), lastRowTop + 32);
  EXPECT_EQ(w->Height(), lastRowTop + 72);

  w->PopupMenu_Group()->SetListIndex(5);  // "Small 4": parameters 1202, 1205, ... 1499
  for (int m = 0; m < 100; ++m)
    ASSERT_EQ(pos(1202 + 3 * m), QPoint(20 + 200 * (m % 4), 46 + 32 * (m / 4))) << "member " << m;
  for (int k : big) ASSERT_EQ(pos(k).y(), -48) << k;
  EXPECT_EQ(pos(1199).y(), -48);
  EXPECT_EQ(pos(1502).y(), -48);
  EXPECT_EQ(GroupBox(w, 5)->pos(), QPoint(249, 14));
  EXPECT_EQ(GroupBox(w, 0)->y(), -48);
  EXPECT_EQ(w->Height(), 46 + 32 * 24 + 72);
}

TEST_F(FilterEditor, ArrowsWrapAndPagesKeepStates) {
  // Groups A (one member), B (five), C (two).
  AddDescription(
      kRE,
      describe({{"A", ""}, {"B", ""}, {"B", ""}, {"B", ""}, {"B", ""}, {"B", ""}, {"C", ""}, {"C", ""}}));
  Window_Filter* w = Open();
  auto* popup = Widget<QComboBox>(w, "PopupMenu_Group");
  ParameterBox(w, 2)->setChecked(true);

  const std::vector<std::pair<const char*, int>> steps = {{"Down", 1}, {"Down", 2}, {"Down", 0},
                                                          {"Up", 2},   {"Up", 1},   {"Up", 0}};
  const int heights[] = {118, 150, 118};
  for (const auto& [arrow, row] : steps) {
    ClickArrow(w, arrow);
    SCOPED_TRACE(std::string(arrow) + " to " + std::to_string(row));
    EXPECT_EQ(popup->currentIndex(), row);
    EXPECT_EQ(w->CurrentGroup, row);
    EXPECT_EQ(w->Height(), heights[row]);
    for (int g = 0; g < 3; ++g) EXPECT_EQ(GroupBox(w, g)->y(), g == row ? 14 : -48);
    EXPECT_EQ(ParameterBox(w, 0)->y(), row == 0 ? 46 : -48);
    EXPECT_EQ(ParameterBox(w, 6)->y(), row == 2 ? 46 : -48);
    EXPECT_TRUE(ParameterBox(w, 2)->isChecked());
    EXPECT_TRUE(ParameterBox(w, 2)->isVisible());  // parked, never hidden
  }
}

TEST_F(FilterEditor, ArrowsWithOneGroupKeepIt) {
  AddDescription(kRE, describe({{"Only", ""}, {"Only", ""}}));
  Window_Filter* w = Open();
  for (const char* arrow : {"Down", "Up"}) {
    ClickArrow(w, arrow);
    EXPECT_EQ(w->PopupMenu_Group()->ListIndex(), 0) << arrow;
    EXPECT_EQ(ParameterBox(w, 1)->pos(), QPoint(220, 46)) << arrow;
  }
}

TEST_F(FilterEditor, GroupBoxPressSetsEveryMemberToItsNewState) {
  AddDescription(kRE, kExample);
  Window_Filter* w = Open();

  ParameterBox(w, 1)->setChecked(true);
  Click(GroupBox(w, 0));
  EXPECT_EQ(GroupStates(w), (States{1, 0}));
  EXPECT_EQ(ParameterStates(w), (States{1, 1, 0, 1}));  // Amp's attack untouched

  ParameterBox(w, 3)->setChecked(false);
  Click(GroupBox(w, 0));
  EXPECT_EQ(GroupStates(w), (States{0, 0}));
  EXPECT_EQ(ParameterStates(w), (States{0, 0, 0, 0}));

  // The rule looks at the group box's own state, not at its members'.
  ParameterBox(w, 0)->setChecked(true);
  ParameterBox(w, 1)->setChecked(true);
  ParameterBox(w, 3)->setChecked(true);
  Click(GroupBox(w, 0));
  EXPECT_EQ(ParameterStates(w), (States{1, 1, 0, 1}));
  ParameterBox(w, 3)->setChecked(false);
  Click(GroupBox(w, 0));
  EXPECT_EQ(ParameterStates(w), (States{0, 0, 0, 0}));
}

TEST_F(FilterEditor, ParameterBoxPressChecksItsGroupButUncheckingLeavesIt) {
  AddDescription(kRE, kExample);
  Window_Filter* w = Open();

  Click(ParameterBox(w, 3));
  EXPECT_EQ(GroupStates(w), (States{1, 0}));
  EXPECT_EQ(ParameterStates(w), (States{0, 0, 0, 1}));

  Click(ParameterBox(w, 3));
  EXPECT_EQ(GroupStates(w), (States{1, 0}));
  EXPECT_EQ(ParameterStates(w), (States{0, 0, 0, 0}));

  ClickArrow(w, "Down");
  Click(ParameterBox(w, 2));
  EXPECT_EQ(GroupStates(w), (States{1, 1}));
  EXPECT_EQ(ParameterStates(w), (States{0, 0, 1, 0}));
}

TEST_F(FilterEditor, CheckAllChecksEveryPage) {
  AddDescription(kRE, kExample);
  Window_Filter* w = Open();
  ClickButton(w, "PushButton1");
  EXPECT_EQ(GroupStates(w), (States{1, 1}));
  EXPECT_EQ(ParameterStates(w), (States{1, 1, 1, 1}));
  ClickArrow(w, "Down");
  EXPECT_TRUE(ParameterBox(w, 2)->isChecked());
  EXPECT_EQ(ParameterBox(w, 2)->pos(), QPoint(20, 78));
  ClickButton(w, "PushButtonSave");
  EXPECT_EQ(ReadFile(FilterPath(kRE)), "Filter\nAmp\n#+#+#+#+#\ncutoff\nreso\nattack\ndecay\n");
}

// Parameters: k0 above every property line (""), k1 and k2 share "cutoff",
// k3 and k4 share " padded " untrimmed; k4 has no group ("").
const std::string kReaderDescription =
    "{{integer|0|1|Loose|Misc|0}}\n"
    "<Value property=\"cutoff\"  type=\"number\">\n"
    "{{integer|0|1|Cutoff|Filter|0}}\n"
    "{{integer|0|1|Cutoff too|Filter|0}}\n"
    "<Value property=\" padded \"  type=\"number\">\n"
    "{{integer|0|1|Padded|Amp|0}}\n"
    "{{integer|0|1|Padded too}}\n";

struct ReaderCase {
  const char* name;
  std::string filterFile;
  States groups;      // Misc, Filter, Amp, ""
  States parameters;  // k0 .. k4
  std::string saved;  // what "Save" writes back at once
};

void PrintTo(const ReaderCase& c, std::ostream* os) { *os << c.name; }

class FilterFileReader : public FilterEditor, public ::testing::WithParamInterface<ReaderCase> {};

TEST_P(FilterFileReader, RechecksBoxesAndSavesThemBack) {
  const ReaderCase& c = GetParam();
  AddDescription(kRE, kReaderDescription);
  WriteFilter(kRE, c.filterFile);
  Window_Filter* w = Open();
  ASSERT_EQ(w->ListOfGroups, (std::vector<std::string>{"Misc", "Filter", "Amp", ""}));
  ASSERT_EQ(w->Prop, (std::vector<std::string>{"", "cutoff", "cutoff", " padded ", " padded "}));
  EXPECT_EQ(GroupStates(w), c.groups);
  EXPECT_EQ(ParameterStates(w), c.parameters);
  ClickButton(w, "PushButtonSave");
  EXPECT_EQ(ReadFile(FilterPath(kRE)), c.saved);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FilterFileReader,
    ::testing::Values(
        ReaderCase{"NoSeparator", "Filter\ncutoff\n", {0, 1, 0, 0}, {0, 0, 0, 0, 0}, "Filter\n#+#+#+#+#\n"},
        ReaderCase{"SeparatorWithBlank",
                   "Amp\n#+#+#+#+# \nFilter\ncutoff\n",
                   {0, 1, 1, 0},
                   {0, 0, 0, 0, 0},
                   "Filter\nAmp\n#+#+#+#+#\n"},
        ReaderCase{"DuplicateNameChecksFirstOnly",
                   "#+#+#+#+#\ncutoff\ncutoff\n padded \n",
                   {0, 0, 0, 0},
                   {0, 1, 0, 1, 0},
                   "#+#+#+#+#\ncutoff\n padded \n"},
        ReaderCase{"EmptyNames", "\n#+#+#+#+#\n\n", {0, 0, 0, 1}, {1, 0, 0, 0, 0}, "\n#+#+#+#+#\n\n"},
        ReaderCase{"NamesNoLongerThere",
                   "Gone\nFilter\n#+#+#+#+#\ngone\npadded\nFilter\ncutoff\n",
                   {0, 1, 0, 0},
                   {0, 1, 0, 0, 0},
                   "Filter\n#+#+#+#+#\ncutoff\n"},
        ReaderCase{"SecondSeparatorIsAName",
                   "#+#+#+#+#\n#+#+#+#+#\ncutoff\n",
                   {0, 0, 0, 0},
                   {0, 1, 0, 0, 0},
                   "#+#+#+#+#\ncutoff\n"},
        ReaderCase{"CrLfLines",
                   "Misc\r\n#+#+#+#+#\r\ncutoff\r\n",
                   {1, 0, 0, 0},
                   {0, 1, 0, 0, 0},
                   "Misc\n#+#+#+#+#\ncutoff\n"}),
    [](const auto& info) { return std::string(info.param.name); });

struct ClosingCase {
  const char* name;
  void (*close)(Window_Filter*);
};

void PrintTo(const ClosingCase& c, std::ostream* os) { *os << c.name; }

class ClosingWithoutSave : public FilterEditor, public ::testing::WithParamInterface<ClosingCase> {};

TEST_P(ClosingWithoutSave, LeavesFilterFileButStoresBoundsAndRow) {
  AddDescription(kRE, kExample);
  const std::string before = "Amp\n#+#+#+#+#\nattack\n";
  WriteFilter(kRE, before);
  Window_Filter* w = Open();
  Click(GroupBox(w, 0));
  ClickArrow(w, "Down");
  w->SetLeft(123);
  w->SetTop(77);
  GetParam().close(w);
  EXPECT_FALSE(IsOpen(w));
  EXPECT_EQ(ReadFile(FilterPath(kRE)), before);
  const std::string prefs = PrefFileText();
  EXPECT_NE(prefs.find("PopupMenu_Group=1\n"), std::string::npos) << prefs;
  EXPECT_NE(prefs.find("Window_Filter=123,77,840,"), std::string::npos) << prefs;

  Settle();
  w = Open();
  EXPECT_EQ(w->PopupMenu_Group()->ListIndex(), 1);
  EXPECT_EQ(w->Left(), 123);
  EXPECT_EQ(GroupStates(w), (States{0, 1}));
  EXPECT_EQ(ParameterStates(w), (States{0, 0, 1, 0}));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ClosingWithoutSave,
    ::testing::Values(ClosingCase{"Cancel",
                                  [](Window_Filter* w) {
                                    QTest::mouseClick(
                                        w->widget()->findChild<QPushButton*>("PushButtonCancel"),
                                        Qt::LeftButton);
                                  }},
                      ClosingCase{"EscapeKey",
                                  [](Window_Filter* w) { QTest::keyClick(w->widget(), Qt::Key_Escape); }},
                      ClosingCase{"CloseBox", [](Window_Filter* w) { w->widget()->close(); }}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(FilterEditor, SavesForTheDeviceItWasOpenedFor) {
  AddDescription(kRE, kExample);
  AddDescription("Other.re", kExample);
  WriteFilter("Other.re", "Amp\n#+#+#+#+#\nattack\n");
  Window_Filter* w = Open();
  Click(ParameterBox(w, 0));
  the::App()->Selected_RE = "Other.re";
  ClickButton(w, "PushButtonSave");
  EXPECT_EQ(ReadFile(FilterPath(kRE)), "Filter\n#+#+#+#+#\ncutoff\n");
  EXPECT_EQ(ReadFile(FilterPath("Other.re")), "Amp\n#+#+#+#+#\nattack\n");
}

TEST_F(FilterEditor, SaveCreatesAMissingFilterFolderAgain) {
  AddDescription(kRE, kExample);
  Window_Filter* w = Open();
  fs::remove_all(FilterFolder().Path());
  Click(ParameterBox(w, 3));
  ClickButton(w, "PushButtonSave");
  EXPECT_FALSE(IsOpen(w));
  EXPECT_EQ(ReadFile(FilterPath(kRE)), "Filter\n#+#+#+#+#\ndecay\n");
}

TEST_F(FilterEditor, FailedSaveSaysWhyAndKeepsTheEditorOpen) {
  AddDescription(kRE, kExample);
  Window_Filter* w = Open();
  // A folder where the filter file belongs: the file cannot replace it.
  fs::create_directories(FilterFolder().Child(kRE).Path());
  Click(GroupBox(w, 0));
  std::string message;
  auto answered = AnswerNextModal([&](QWidget* modal) {
    message =
        modal->objectName().toStdString() + ": " + static_cast<QMessageBox*>(modal)->text().toStdString();
    static_cast<QMessageBox*>(modal)->accept();
  });
  ClickButton(w, "PushButtonSave");
  ASSERT_TRUE(WaitUntil([&] { return *answered; }));
  EXPECT_EQ(message.rfind("IOErrorBox: ", 0), 0u) << message;
  EXPECT_NE(message.find(FilterPath(kRE)), std::string::npos) << message;
  EXPECT_TRUE(IsOpen(w));
  EXPECT_EQ(ParameterStates(w), (States{1, 1, 0, 1}));
  EXPECT_TRUE(fs::is_directory(FilterFolder().Child(kRE).Path()));

  fs::remove(FilterFolder().Child(kRE).Path());
  ClickButton(w, "PushButtonSave");
  EXPECT_FALSE(IsOpen(w));
  EXPECT_EQ(ReadFile(FilterPath(kRE)), "Filter\n#+#+#+#+#\ncutoff\nreso\ndecay\n");
}

TEST_F(FilterEditor, SavedRowOutsideThisDevicesRowsShowsRowZero) {
  AddDescription(kRE, kExample);
  // -1 is what an editor without rows stores when it closes.
  for (int saved : {2, 7, -1}) {
    SCOPED_TRACE(saved);
    REALEasyPrefs::SetPrefNumber("PopupMenu_Group", saved);
    Window_Filter* w = Open();
    EXPECT_EQ(w->PopupMenu_Group()->ListIndex(), 0);
    EXPECT_EQ(w->CurrentGroup, 0);
    EXPECT_EQ(GroupBox(w, 0)->pos(), QPoint(249, 14));
    EXPECT_EQ(ParameterBox(w, 3)->pos(), QPoint(420, 46));
    w->PushButtonCancel_Action();
    Settle();
  }
}

TEST_F(FilterEditor, DeviceWithoutPlaceholdersShowsNoPageAndArrowsDoNothing) {
  AddDescription(kRE, "<Patch>\n<Value property=\"x\"  type=\"number\">\n</Patch>\n");
  REALEasyPrefs::SetPrefNumber("PopupMenu_Group", 1);
  Window_Filter* w = Open();
  EXPECT_EQ(w->PopupMenu_Group()->ListCount(), 0);
  for (const char* arrow : {"Down", "Up", "Down"}) ClickArrow(w, arrow);
  ClickButton(w, "PushButton1");
  EXPECT_EQ(w->PopupMenu_Group()->ListIndex(), -1);
  EXPECT_EQ(GroupBox(w, 0)->y(), -48);
  EXPECT_EQ(ParameterBox(w, 0)->y(), -48);
  EXPECT_FALSE(GroupBox(w, 0)->isChecked());
  EXPECT_EQ(Widget(w, "PushButtonSave")->y(), 560);
  EXPECT_EQ(w->Height(), 600);
  ClickButton(w, "PushButtonSave");
  EXPECT_EQ(ReadFile(FilterPath(kRE)), "#+#+#+#+#\n");
}

TEST_F(FilterEditor, MissingDescriptionSaysFileNotFound) {
  std::string message;
  auto answered = AnswerNextModal([&](QWidget* modal) {
    message = static_cast<QMessageBox*>(modal)->text().toStdString();
    static_cast<QMessageBox*>(modal)->accept();
  });
  Window_Filter* w = Open("Gone.re");
  EXPECT_TRUE(*answered);
  EXPECT_EQ(message, "File not found.");
  EXPECT_EQ(w->Title(), "Filter: Gone.re");
  EXPECT_TRUE(w->Prop.empty());
  EXPECT_EQ(w->PopupMenu_Group()->ListCount(), 0);
  EXPECT_TRUE(IsOpen(w));
}

// The filter of a description that has gone (it may be imported again) must
// not be replaced by the empty choice of an editor that shows nothing.
TEST_F(FilterEditor, SaveWithoutDescription_keepsTheFilterFile) {
  std::filesystem::create_directories(FilterFolder().Path());
  testing_support::WriteFile(FilterPath("Gone.re"), "Filter\n#+#+#+#+#\ncutoff\n");
  AnswerNextModal([](QWidget* modal) { static_cast<QMessageBox*>(modal)->accept(); });
  Window_Filter* w = Open("Gone.re");
  ClickButton(w, "PushButtonSave");
  EXPECT_FALSE(IsOpen(w));
  EXPECT_EQ(ReadFile(FilterPath("Gone.re")), "Filter\n#+#+#+#+#\ncutoff\n");
}

TEST_F(FilterEditor, SecondRequestBringsTheSameEditorForward) {
  AddDescription(kRE, kExample);
  Window_Filter* w = Open();
  Click(ParameterBox(w, 0));
  ClickArrow(w, "Down");
  AddDescription(kRE, describe({{"X", ""}}));
  Window_Filter* again = Open();
  again->Show();
  EXPECT_EQ(again, w);
  EXPECT_EQ(w->Prop.size(), 4u);
  EXPECT_EQ(w->ControlCount("CheckBox_EnableParameter"), 4);
  EXPECT_EQ(w->PopupMenu_Group()->ListIndex(), 1);
  EXPECT_EQ(ParameterStates(w), (States{1, 0, 0, 0}));
}

TEST_F(FilterEditor, MenuRuleDisablesCloseImportAndTheREEntries) {
  AddDescription("A.re", "");
  AddDescription(kRE, kExample);
  app->Update_RE_Menu();
  ASSERT_GE(app->RE_Menu_Number, 2);
  Window_Filter* w = Open();
  MenuItem* menu = RackExtensions();
  for (int i = 0; i < menu->Count(); ++i) menu->Item(i)->SetEnabled(true);
  FileImport()->SetEnabled(true);
  w->FileCloseWindow()->SetEnabled(true);

  w->Event_EnableMenuItems();
  EXPECT_FALSE(w->FileCloseWindow()->Enabled());
  EXPECT_FALSE(FileImport()->Enabled());
  for (int i = 0; i < menu->Count(); ++i)
    EXPECT_EQ(menu->Item(i)->Enabled(), i >= app->RE_Menu_Number) << menu->Item(i)->Text();
  EXPECT_EQ(w->GetMenuBar(), the::MenuBar1());
}

// ---- Descriptions and filter files that exist but cannot be read ----

// While it lives, opens the FIFO at `path` for writing now and then, which
// releases a reader that waits for a writer: a reader that blocks then fails
// its test instead of hanging it.
class FifoReleaser {
 public:
  explicit FifoReleaser(std::string path)
      : path_(std::move(path)), thread_([this] {
          while (!stop_) {
            const int fd = ::open(path_.c_str(), O_WRONLY | O_NONBLOCK);
            if (fd >= 0) ::close(fd);
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
          }
        }) {}
  ~FifoReleaser() {
    stop_ = true;
    thread_.join();
  }

 private:
  std::string path_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

// Made at `path`, in place of whatever an earlier test left there, and
// removed again at the end, so no later test meets a FIFO where it writes.
class MadeItem {
 public:
  MadeItem(fs::path path, const std::function<void(const fs::path&)>& make) : path_(std::move(path)) {
    fs::create_directories(path_.parent_path());
    fs::remove_all(path_);
    make(path_);
    if (fs::is_fifo(fs::symlink_status(path_))) releaser_.emplace(path_.string());
  }
  ~MadeItem() {
    releaser_.reset();
    std::error_code ec;
    fs::remove_all(path_, ec);
  }

 private:
  fs::path path_;
  std::optional<FifoReleaser> releaser_;
};

// An editor that an earlier test left open would only be brought forward.
void CloseLeftoverWindows() {
  for (Window* window : Window::OpenWindows()) window->Close();
  ASSERT_TRUE(WaitUntil([] { return Window::OpenWindows().empty(); }));
}

struct UnreadableCase {
  const char* name;
  std::function<void(const fs::path&)> make;
  std::string reason;
  std::function<bool(const fs::path&)> stillThere;
  bool rootReadsIt = false;  // permissions do not stop root
};

void PrintTo(const UnreadableCase& c, std::ostream* os) { *os << c.name; }

const std::vector<UnreadableCase> kUnreadable = {
    {"fifo", [](const fs::path& p) { ASSERT_EQ(::mkfifo(p.c_str(), 0600), 0); }, "Not a regular file",
     [](const fs::path& p) { return fs::is_fifo(fs::symlink_status(p)); }},
    {"linkToDevZero", [](const fs::path& p) { fs::create_symlink("/dev/zero", p); }, "Not a regular file",
     [](const fs::path& p) { return fs::read_symlink(p) == "/dev/zero"; }},
    {"linkLoop", [](const fs::path& p) { fs::create_symlink(p.filename(), p); },
     "Too many levels of symbolic links",
     [](const fs::path& p) { return fs::read_symlink(p) == p.filename(); }},
    {"noPermission",
     [](const fs::path& p) {
       WriteFile(p.string(), "secret");
       fs::permissions(p, fs::perms::none);
     },
     "Permission denied",
     [](const fs::path& p) {
       fs::permissions(p, fs::perms::owner_read);
       return ReadFile(p.string()) == "secret";
     },
     true},
};

class UnreadableDescription : public FilterEditor, public ::testing::WithParamInterface<UnreadableCase> {};

// The editor shows no parameters then: its "Save" must not replace the filter
// file with an empty choice.
TEST_P(UnreadableDescription, isReported_andSaveKeepsTheFilterFile) {
  const UnreadableCase& c = GetParam();
  if (c.rootReadsIt && ::geteuid() == 0) GTEST_SKIP() << "root reads it whatever its permissions";
  CloseLeftoverWindows();
  const std::string filter = "Filter\n#+#+#+#+#\ncutoff\n";
  WriteFilter(kRE, filter);
  const fs::path description = RELibraryFolder().Child(kRE).Path();
  const MadeItem made(description, c.make);

  testing_support::ModalAnswers answers;
  Window_Filter* w = Open();
  const std::string why = description.string() + ":\n" + c.reason + ".";
  EXPECT_EQ(answers.boxes, std::vector<std::string>{"IOErrorBox: Cannot read file " + why});
  EXPECT_TRUE(w->Prop.empty());
  ClickButton(w, "PushButtonSave");
  EXPECT_FALSE(IsOpen(w));
  EXPECT_EQ(answers.boxes.size(), 1u);
  EXPECT_EQ(ReadFile(FilterPath(kRE)), filter);
  EXPECT_TRUE(c.stillThere(description));
}

INSTANTIATE_TEST_SUITE_P(Cases, UnreadableDescription, ::testing::ValuesIn(kUnreadable),
                         [](const auto& info) { return std::string(info.param.name); });

class UnreadableFilterFile : public FilterEditor, public ::testing::WithParamInterface<UnreadableCase> {};

// What stands where the filter file belongs may hold choices the editor could
// not show: "Save" says why it keeps it, and the editor stays open with the
// user's choice.
TEST_P(UnreadableFilterFile, isReported_andSaveKeepsItAndTheEditor) {
  const UnreadableCase& c = GetParam();
  if (c.rootReadsIt && ::geteuid() == 0) GTEST_SKIP() << "root reads it whatever its permissions";
  CloseLeftoverWindows();
  AddDescription(kRE, kExample);
  const fs::path filter = FilterPath(kRE);
  const MadeItem made(filter, c.make);

  testing_support::ModalAnswers answers;
  Window_Filter* w = Open();
  const std::string why = filter.string() + ":\n" + c.reason + ".";
  EXPECT_EQ(answers.boxes, std::vector<std::string>{"IOErrorBox: Cannot read file " + why});
  ASSERT_EQ(w->Prop.size(), 4u);
  Click(ParameterBox(w, 0));
  ClickButton(w, "PushButtonSave");
  EXPECT_EQ(answers.boxes, (std::vector<std::string>{"IOErrorBox: Cannot read file " + why,
                                                     "IOErrorBox: Cannot write file " + why}));
  EXPECT_TRUE(IsOpen(w));
  EXPECT_EQ(ParameterStates(w), (States{1, 0, 0, 0}));
  EXPECT_TRUE(c.stillThere(filter));
  w->PushButtonCancel_Action();
}

namespace {
const std::vector<UnreadableCase> kUnreadableFilterFiles = [] {
  std::vector<UnreadableCase> cases = kUnreadable;
  cases.push_back({"folder",
                   [](const fs::path& p) {
                     fs::create_directory(p);
                     WriteFile((p / "inside").string(), "kept");
                   },
                   "Is a directory",
                   [](const fs::path& p) { return ReadFile((p / "inside").string()) == "kept"; }});
  return cases;
}();
}  // namespace

INSTANTIATE_TEST_SUITE_P(Cases, UnreadableFilterFile, ::testing::ValuesIn(kUnreadableFilterFiles),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
