// A batch hides the generator window and the done notice shows it again: the
// window must come back exactly where it stood, whoever put it there (the
// window manager, the user's drag, the stored bounds), batch after batch.
// Everything as a user does it: the count typed, Return, the folder typed
// into the real folder dialog.
#include <QDir>
#include <QFileDialog>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "AppDriver.h"
#include "Desktop.h"
#include "TestSupport.h"
#include "generator/Window_Done.h"
#include "generator/Window_RE.h"
#include "prefs/REALEasyPrefs.h"

using namespace desktop;
using testing_support::openWindow;

namespace {

constexpr const char* kRE = "Bass.re";
const std::string kDescription =
    "<Value property=\"cutoff\"  type=\"number\">\n"
    "{{integer|0|127|Cutoff|Filter|64}}\n"
    "</Value>\n";
constexpr int kBatches = 3;

// The window manager's frame as X reports it, as text for readable failures.
std::string frameRect(const platform::Window& w) {
  const QRect frame = rootGeometry(frameOf(xid(w.widget())));
  return std::to_string(frame.x()) + "," + std::to_string(frame.y()) + " " + std::to_string(frame.width()) +
         "x" + std::to_string(frame.height());
}

// The content area's place as X reports the client window: what the stored
// bounds must say.
QPoint contentPlace(const platform::Window& w) {
  return rootGeometry(xid(w.widget())).topLeft() + w.content()->mapTo(w.widget(), QPoint(0, 0));
}

struct PlacementRow {
  const char* name;
  const char* stored;  // "Window_RE" bounds, "" for none
  bool dragFirst;      // the user moves the window before the first batch
};

void PrintTo(const PlacementRow& row, std::ostream* out) { *out << row.name; }

class BatchPlacement : public DesktopApp, public ::testing::WithParamInterface<PlacementRow> {};

TEST_P(BatchPlacement, TheGeneratorWindowComesBackWhereItStood) {
  const PlacementRow& row = GetParam();
  if (*row.stored) WritePrefFile(std::string("Window_RE=") + row.stored + "\n");
  AddDescription(kRE, kDescription);
  const std::string out = QDir::homePath().toStdString() + "/out";
  std::filesystem::remove_all(out);
  std::filesystem::create_directories(out);
  Start();

  platform::MenuItem* entry = testing_support::reEntry(kRE);
  ASSERT_NE(entry, nullptr);
  entry->impl()->action->trigger();
  Window_RE* generator = openWindow<Window_RE>();
  ASSERT_NE(generator, nullptr);
  ASSERT_TRUE(waitFramed(generator->widget()));
  ASSERT_TRUE(waitActive(generator->widget()));
  if (row.dragFirst) {
    const std::string placed = frameRect(*generator);
    dragTitleBar(generator->widget(), QPoint(83, 121));
    ASSERT_TRUE(waitFor([&] { return frameRect(*generator) != placed; })) << "the window did not move";
    ASSERT_TRUE(waitFramed(generator->widget()));
    ASSERT_TRUE(waitActive(generator->widget()));
  }
  const std::string frame = frameRect(*generator);
  const QPoint content = contentPlace(*generator);

  testing_support::ModalAnswers answers(testing_support::ModalAnswers::EveryFileDialog{},
                                        [out](QFileDialog* dialog) {
                                          ASSERT_TRUE(waitActive(dialog));
                                          type(out);
                                          returnWithoutWaiting();
                                        });
  for (int batch = 1; batch <= kBatches; ++batch) {
    SCOPED_TRACE("batch " + std::to_string(batch));
    type("1");
    key("Return");
    ASSERT_TRUE(waitFor([&] { return testing_support::folderNames(out).size() == std::size_t(batch); }))
        << "the batch wrote nothing";
    // The notice closes itself and shows the generator window again.
    ASSERT_TRUE(waitFor([] { return openWindow<Window_Done>() == nullptr; }));
    ASSERT_EQ(openWindow<Window_RE>(), generator);
    ASSERT_TRUE(waitFramed(generator->widget()));
    ASSERT_TRUE(waitActive(generator->widget()));
    EXPECT_EQ(frameRect(*generator), frame);
  }
  EXPECT_EQ(answers.fileDialogsSeen.size(), std::size_t(kBatches));

  // Closing stores where the window stood.
  generator->Close();
  const std::string bounds = REALEasyPrefs::GetPrefString("Window_RE", "");
  EXPECT_EQ(bounds.substr(0, bounds.find(',', bounds.find(',') + 1)),
            std::to_string(content.x()) + "," + std::to_string(content.y()));
}

INSTANTIATE_TEST_SUITE_P(WindowManager, BatchPlacement,
                         ::testing::Values(PlacementRow{"placedByTheWindowManager", "", false},
                                           PlacementRow{"placedByTheWindowManager_thenDragged", "", true},
                                           PlacementRow{"stored", "212,301,350,88", false},
                                           PlacementRow{"stored_thenDragged", "212,301,350,88", true}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
