#include <filesystem>
#include <functional>

#include "ShellFixture.h"
#include "TestSupport.h"
#include "prefs/REALEasyPrefs.h"

using namespace platform;
namespace fs = std::filesystem;

namespace {
FolderItem prefFile() { return SpecialFolder::Preferences().Child(REALEasyPrefs::kBundleIdentifier); }
}  // namespace

TEST_F(StartedApp, firstStart_createsLibraryThenFilterFolderAndEmptyPreferences) {
  ASSERT_FALSE(RELibraryFolder().Exists());
  EXPECT_EQ(the::App(), app.get());
  EXPECT_EQ(app->Selected_RE, "");
  EXPECT_EQ(app->RE_Menu_Number, 0);
  EXPECT_TRUE(app->justStarted);
  Start();
  EXPECT_TRUE(RELibraryFolder().Directory());
  EXPECT_TRUE(FilterFolder().Directory());
  EXPECT_TRUE(prefFile().Exists());
  EXPECT_EQ(testing_support::ReadFile(prefFile().AbsolutePath()), "");
  EXPECT_EQ(app->RE_Menu_Number, 1);
  EXPECT_EQ(MenuTexts(), (std::vector<std::string>{"-", "Show in Finder"}));
}

TEST_F(StartedApp, freshHome_withoutConfigAndDataFolders_startsCleanly) {
  fs::remove_all(SpecialFolder::Preferences().Path());
  fs::remove_all(SpecialFolder::ApplicationData().Path());
  Start();
  EXPECT_TRUE(prefFile().Exists());
  EXPECT_TRUE(FilterFolder().Directory());
}

TEST_F(StartedApp, existingFolders_stayUntouched) {
  AddDescription("Synth.re", "line\n");
  fs::create_directories(FilterFolder().Path());
  testing_support::WriteFile(FilterFolder().Child("Synth.re").AbsolutePath(), "G\n#+#+#+#+#\np\n");
  const auto before = fs::last_write_time(RELibraryFolder().Path());
  Start();
  EXPECT_EQ(fs::last_write_time(RELibraryFolder().Path()), before);
  EXPECT_EQ(testing_support::ReadFile(RELibraryFolder().Child("Synth.re").AbsolutePath()), "line\n");
  EXPECT_EQ(testing_support::ReadFile(FilterFolder().Child("Synth.re").AbsolutePath()),
            "G\n#+#+#+#+#\np\n");
}

TEST_F(StartedApp, libraryWithoutFilterFolder_getsOnlyTheFilterFolder) {
  AddDescription("Synth.re", "x");
  Start();
  EXPECT_TRUE(FilterFolder().Directory());
  EXPECT_EQ(MenuTexts(), (std::vector<std::string>{"Synth.re", "-", "Show in Finder"}));
}

TEST_F(StartedApp, quit_writesThePreferencesFromMemory) {
  Start();
  REALEasyPrefs::SetPrefString("Counter A", "4");
  app->Quit();
  EXPECT_EQ(testing_support::ReadFile(prefFile().AbsolutePath()), "Counter A=4\n");
}

TEST_F(StartedApp, quit_withoutChanges_stillRewritesTheFile) {
  fs::create_directories(SpecialFolder::Preferences().Path());
  testing_support::WriteFile(prefFile().AbsolutePath(), "Counter A=4\nbare\n");
  Start();
  fs::remove(prefFile().Path());
  app->Quit();
  EXPECT_EQ(testing_support::ReadFile(prefFile().AbsolutePath()), "Counter A=4\nbare=\n");
}

TEST_F(StartedApp, bundlePictures_loadFromResourcesAndStayCached) {
  const Picture gear = monotone_cog_settings_gear();
  ASSERT_FALSE(gear.IsNil());
  EXPECT_EQ(gear.Width(), 24);
  EXPECT_EQ(monotone_cog_settings_gear().image(), gear.image());
  EXPECT_EQ(QuirlomaticIconklein().Width(), 100);
}

// ---- A file where a folder of the application must be ----

struct BlockedFolderCase {
  const char* name;
  std::function<FolderItem()> folder;  // the folder a file stands in for
  std::vector<std::string> menu;       // the "Rack Extensions" menu built after it
};

void PrintTo(const BlockedFolderCase& c, std::ostream* os) { *os << c.name; }

class BlockedFolder : public StartedApp, public ::testing::WithParamInterface<BlockedFolderCase> {
 protected:
  void SetUp() override {
    StartedApp::SetUp();
    fs::remove_all(SpecialFolder::ApplicationData().Path());
    // The menu bar outlives the application objects of earlier tests in this process.
    platform::MenuItem* menu = the::MenuBar1()->Lookup("RackExtensions");
    while (menu->Count() > 0) menu->Item(menu->Count() - 1)->Close();
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove(GetParam().folder().Path(), ec);
    fs::create_directories(SpecialFolder::ApplicationData().Path(), ec);
  }
};

// The folders are made in order; the first that cannot be made is named in
// one message, and the start goes on.
TEST_P(BlockedFolder, isNamedInOneMessage_andTheMenuIsStillBuilt) {
  AddDescription("Synth.re", "x");
  const FolderItem blocked = GetParam().folder();
  fs::remove_all(blocked.Path());
  testing_support::WriteFile(blocked.AbsolutePath(), "not a folder");

  testing_support::ModalAnswers answers;
  Start();
  ASSERT_EQ(answers.boxes.size(), 1u) << ::testing::PrintToString(answers.boxes);
  EXPECT_EQ(answers.boxes[0].rfind("IOErrorBox: Cannot create folder " + blocked.AbsolutePath() + ":\n", 0), 0u)
      << answers.boxes[0];
  EXPECT_EQ(testing_support::ReadFile(blocked.AbsolutePath()), "not a folder");
  EXPECT_EQ(MenuTexts(), GetParam().menu);
  EXPECT_EQ(app->RE_Menu_Number, static_cast<std::int32_t>(GetParam().menu.size()) - 1);
}

INSTANTIATE_TEST_SUITE_P(
    StartedApp, BlockedFolder,
    ::testing::Values(
        BlockedFolderCase{"applicationDataFolder", [] { return SpecialFolder::ApplicationData(); },
                          {"-", "Show in Finder"}},
        BlockedFolderCase{"libraryFolder", [] { return RELibraryFolder(); }, {"-", "Show in Finder"}},
        BlockedFolderCase{"filterFolder", [] { return FilterFolder(); }, {"Synth.re", "-", "Show in Finder"}}),
    [](const ::testing::TestParamInfo<BlockedFolderCase>& info) { return std::string(info.param.name); });
