// The bundle pictures, in a binary of its own: its bundle "Resources" folder
// (own-bundle/Resources beside own-bundle/MacOS) belongs to this one test, so
// pictures may come and go there while other tests run.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "AppDriver.h"
#include "TestSupport.h"
#include "generator/Window_RE.h"
#include "shell/StartUp.h"
#include "shell/WindowAbout.h"

using namespace platform;
using namespace testing_support;
namespace fs = std::filesystem;

namespace {
struct PictureCase {
  const char* file;
  std::function<Picture()> accessor;
  std::function<Window*()> show;  // makes the window that shows the picture
  std::function<Canvas*(Window*)> area;
};
}  // namespace

// A missing picture is looked for again on every use; once one is loaded it
// stays, also when its file goes.
TEST(BundlePictures, missingOnesAreLookedForOnEveryUse_loadedOnesAreKept) {
  const fs::path resources =
      fs::path(QCoreApplication::applicationDirPath().toStdString()).parent_path() / "Resources";
  ASSERT_EQ(resources.parent_path().filename(), "own-bundle");
  fs::remove_all(resources);

  App app;
  InstallApplication(app);
  app.Open();  // the splash asks for its picture: none
  fs::create_directories(RELibraryFolder().Path());
  WriteFile(RELibraryFolder().Child("Bass").AbsolutePath(), "");
  app.Update_RE_Menu();

  const std::vector<PictureCase> cases = {
      {"monotone_cog_settings_gear.png", monotone_cog_settings_gear,
       [] {
         choose(reEntry("Bass"));
         return openWindow<Window_RE>();
       },
       [](Window* w) { return static_cast<Window_RE*>(w)->Canvas1(); }},
      {"Quirlomatic Icon klein.png", QuirlomaticIconklein,
       [&app] {
         app._AppleAbout_Action();
         return openWindow<WindowAbout>();
       },
       [](Window* w) { return static_cast<WindowAbout*>(w)->Canvas1(); }},
  };
  for (const PictureCase& c : cases) {
    SCOPED_TRACE(c.file);
    // Shows the window afresh; whether its picture area holds a picture.
    auto shown = [&c] {
      for (Window* window : Window::OpenWindows()) window->Close();
      EXPECT_TRUE(WaitUntil([] { return Window::OpenWindows().empty(); }));
      Window* window = c.show();
      EXPECT_NE(window, nullptr);
      return window && c.area(window)->HasBackdrop();
    };

    EXPECT_TRUE(c.accessor().IsNil());  // no Resources folder
    EXPECT_FALSE(shown());
    fs::create_directories(resources);
    EXPECT_TRUE(c.accessor().IsNil());  // the folder without the file
    EXPECT_FALSE(shown());

    fs::copy_file(fs::path(QM_PICTURES_DIR) / c.file, resources / c.file);
    const Picture loaded = c.accessor();
    ASSERT_FALSE(loaded.IsNil());
    EXPECT_TRUE(shown());

    fs::remove_all(resources);
    EXPECT_EQ(c.accessor().image(), loaded.image());
    EXPECT_TRUE(shown());
  }
  for (Window* window : Window::OpenWindows()) window->Close();
}
