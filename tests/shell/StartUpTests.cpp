#include <filesystem>

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
