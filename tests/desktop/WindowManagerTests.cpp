// What the window manager makes of the windows: where they open, that stored
// bounds come back exactly, the titles it shows, what stays out of the task
// bar, and a minimised window brought back.
#include <QImage>
#include <QMenuBar>
#include <QScreen>
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "AppDriver.h"
#include "Desktop.h"
#include "filter/Window_Filter.h"
#include "generator/Window_Done.h"
#include "generator/Window_RE.h"
#include "prefs/REALEasyPrefs.h"
#include "shell/WindowAbout.h"

using namespace desktop;
using platform::Window;
using testing_support::openWindow;
using testing_support::reEntry;

namespace {

constexpr const char* kRE = "Bass.re";
const std::string kDescription =
    "<Patch>\n"
    "<Value property=\"cutoff\"  type=\"number\">\n"
    "{{integer|0|127|Cutoff|Filter|64}}\n"
    "</Value>\n"
    "<Value property=\"reso\"  type=\"number\">\n"
    "{{integer|0|127|Resonance|Filter|64}}\n"
    "</Value>\n"
    "<Value property=\"attack\"  type=\"number\">\n"
    "{{integer|0|127|Attack|Amp|0}}\n"
    "</Value>\n"
    "</Patch>\n";

// Stored bounds: "Left,Top,Width,Height".
std::string boundsText(const QRect& r) {
  return std::to_string(r.left()) + "," + std::to_string(r.top()) + "," + std::to_string(r.width()) + "," +
         std::to_string(r.height());
}

QRect frameRect(const Window& w) { return rootGeometry(frameOf(xid(w.widget()))); }

// The content area as X shows it: the client window less the strip at its
// top where the window shows its own menu bar.
QRect contentOnScreen(const Window& w) {
  QRect area = rootGeometry(xid(w.widget()));
  if (const auto* bar = w.widget()->findChild<QMenuBar*>(); bar && bar->isVisible())
    area.setTop(area.top() + bar->height());
  return area;
}

QRect workArea() { return QGuiApplication::primaryScreen()->availableGeometry(); }

// As choosing the device's entry in the "Rack Extensions" menu does.
Window_RE* openGenerator() {
  platform::MenuItem* entry = reEntry(kRE);
  if (!entry) return nullptr;
  entry->impl()->action->trigger();
  return openWindow<Window_RE>();
}

// As "Show Filter..." in the generator window does.
Window_Filter* openFilter() {
  Window_RE* generator = openWindow<Window_RE>();
  if (!generator) generator = openGenerator();
  if (!generator) return nullptr;
  generator->_FileFilter_Action();
  return openWindow<Window_Filter>();
}

struct Kind {
  const char* key;    // where its bounds are stored
  const char* title;  // before the RE name
  std::function<Window*()> open;
};
const Kind kGenerator{"Window_RE", "Quirlomatic: ", [] { return openGenerator(); }};
const Kind kFilter{"Window_Filter", "Filter: ", [] { return openFilter(); }};

class WindowBounds : public DesktopApp {
 protected:
  Window* Open(const Kind& kind) {
    Window* w = kind.open();
    EXPECT_NE(w, nullptr) << kind.key;
    if (w) {
      EXPECT_TRUE(waitFramed(w->widget())) << kind.key;
    }
    return w;
  }
  // Left, Top, Width and Height are the content area, where X shows it.
  static void ExpectContentArea(const Window& w) {
    EXPECT_EQ(QRect(w.Left(), w.Top(), w.Width(), w.Height()), contentOnScreen(w));
  }
};

struct CycleRow {
  const Kind* kind;
  const char* stored;  // "" when nothing is stored
};

void PrintTo(const CycleRow& row, std::ostream* out) {
  *out << row.kind->key << " " << (*row.stored ? row.stored : "(nothing stored)");
}

class OpenCloseCycles : public WindowBounds, public ::testing::WithParamInterface<CycleRow> {};

TEST_P(OpenCloseCycles, BoundsComeBackExactlyAndTheWindowStaysOnScreen) {
  const Kind& kind = *GetParam().kind;
  const std::string stored = GetParam().stored;
  if (!stored.empty()) WritePrefFile(std::string(kind.key) + "=" + stored + "\n");
  AddDescription(kRE, kDescription);
  Start();

  std::string firstBounds;
  QRect firstFrame;
  for (int cycle = 0; cycle < 3; ++cycle) {
    SCOPED_TRACE("opening " + std::to_string(cycle + 1));
    Window* w = Open(kind);
    ASSERT_NE(w, nullptr);
    ExpectContentArea(*w);
    const QRect frame = frameRect(*w);
    const std::string bounds = boundsText(contentOnScreen(*w));
    if (cycle == 0) {
      firstBounds = bounds;
      firstFrame = frame;
      EXPECT_TRUE(workArea().contains(frame)) << "frame " << frame.x() << "," << frame.y();
      EXPECT_EQ(wmName(xid(w->widget())), kind.title + std::string(kRE));
      // The filter editor's page sets its height: only the place is compared.
      auto place = [](const std::string& text) { return text.substr(0, text.find(',', text.find(',') + 1)); };
      if (!stored.empty()) {
        EXPECT_EQ(place(bounds), place(stored));
      }
      if (stored.empty() && &kind == &kFilter) {
        EXPECT_NEAR(frame.center().x(), workArea().center().x(), 1);
        EXPECT_NEAR(frame.center().y(), workArea().center().y(), 1);
      }
    } else {
      EXPECT_EQ(bounds, firstBounds);
      EXPECT_EQ(frame, firstFrame);
    }
    w->Close();
    EXPECT_EQ(REALEasyPrefs::GetPrefString(kind.key, ""), bounds);
    settle();
  }
}

INSTANTIATE_TEST_SUITE_P(WindowManager, OpenCloseCycles,
                         ::testing::Values(CycleRow{&kGenerator, ""}, CycleRow{&kGenerator, "212,301,350,88"},
                                           CycleRow{&kFilter, ""}, CycleRow{&kFilter, "103,87,840,600"}),
                         [](const auto& info) {
                           return std::string(info.param.kind->key) + (*info.param.stored ? "_stored" : "_none");
                         });

class MovedByTheUser : public WindowBounds, public ::testing::WithParamInterface<const Kind*> {};

TEST_P(MovedByTheUser, TheNewPlaceIsStoredAndRestored) {
  const Kind& kind = *GetParam();
  AddDescription(kRE, kDescription);
  Start();
  Window* w = Open(kind);
  ASSERT_NE(w, nullptr);
  const QRect movedFrame = frameRect(*w).translated(61, 47);
  dragTitleBar(w->widget(), QPoint(61, 47));
  // Until the window manager has moved it all the way and Qt knows where it went.
  ASSERT_TRUE(waitFor([&] { return frameRect(*w) == movedFrame; })) << "the window did not move by the drag";
  ASSERT_TRUE(waitFramed(w->widget()));
  ExpectContentArea(*w);
  const std::string moved = boundsText(contentOnScreen(*w));
  w->Close();
  EXPECT_EQ(REALEasyPrefs::GetPrefString(kind.key, ""), moved);
  settle();

  w = Open(kind);
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(boundsText(contentOnScreen(*w)), moved);
  EXPECT_EQ(frameRect(*w), movedFrame);
}

void PrintTo(const Kind* kind, std::ostream* out) { *out << kind->key; }

INSTANTIATE_TEST_SUITE_P(WindowManager, MovedByTheUser, ::testing::Values(&kGenerator, &kFilter),
                         [](const auto& info) { return std::string(info.param->key); });

// Bounds stored on a screen that is gone, or left by an older version with
// the title bar above the screen, open where the whole window can be reached.
struct OffScreenRow {
  const char* name;
  const char* stored;
};

void PrintTo(const OffScreenRow& row, std::ostream* out) { *out << row.name << " " << row.stored; }

class OffScreenBounds : public WindowBounds, public ::testing::WithParamInterface<OffScreenRow> {};

TEST_P(OffScreenBounds, OpenFullyOnTheScreen) {
  WritePrefFile(std::string("Window_RE=") + GetParam().stored + "\n");
  AddDescription(kRE, kDescription);
  Start();
  Window* w = Open(kGenerator);
  ASSERT_NE(w, nullptr);
  const QRect frame = frameRect(*w);
  EXPECT_TRUE(workArea().contains(frame)) << "frame " << frame.x() << "," << frame.y();
  ExpectContentArea(*w);
  const QRect shown = contentOnScreen(*w);
  EXPECT_EQ(shown.size(), QSize(350, 88));
  // Where it was on the screen is stored, not where it was asked to be.
  w->Close();
  EXPECT_EQ(REALEasyPrefs::GetPrefString("Window_RE", ""), boundsText(shown));
}

INSTANTIATE_TEST_SUITE_P(WindowManager, OffScreenBounds,
                         ::testing::Values(OffScreenRow{"titleBarAboveTheScreen", "-4,-80,350,88"},
                                           OffScreenRow{"farBeyondTheScreen", "5000,4000,350,88"},
                                           OffScreenRow{"leftOfTheScreen", "-2000,300,350,88"},
                                           OffScreenRow{"partlyBelowTheScreen", "600,1010,350,88"}),
                         [](const auto& info) { return std::string(info.param.name); });

// A frameless window keeps "Ohne Titel" out of the task bar and has a visible edge.
void ExpectPlainBox(const Window& w) {
  const XWindow client = xid(w.widget());
  EXPECT_TRUE(hasState(client, "_NET_WM_STATE_SKIP_TASKBAR"));
  EXPECT_TRUE(hasState(client, "_NET_WM_STATE_SKIP_PAGER"));
  EXPECT_TRUE(workArea().contains(frameRect(w)));
  const QImage image = w.widget()->grab().toImage();
  const QRgb inside = image.pixel(4, 4);
  for (QPoint edge : {QPoint(0, 0), QPoint(image.width() - 1, image.height() / 2),
                      QPoint(image.width() / 2, image.height() - 1), QPoint(0, image.height() / 2)})
    EXPECT_NE(image.pixel(edge), inside) << edge.x() << "," << edge.y();
}

using FramelessWindows = WindowBounds;

TEST_F(FramelessWindows, TheSplashStaysOutOfTheTaskBar) {
  Start(/*keepSplash=*/true);
  auto* about = openWindow<WindowAbout>();
  ASSERT_NE(about, nullptr);
  ASSERT_TRUE(waitFramed(about->widget()));
  ExpectPlainBox(*about);
}

TEST_F(FramelessWindows, TheDoneNoticeStaysOutOfTheTaskBarCentredWhereTheGeneratorWas) {
  WritePrefFile("Window_RE=700,500,350,88\n");
  AddDescription(kRE, kDescription);
  Start();
  Window_RE* generator = openGenerator();
  ASSERT_NE(generator, nullptr);
  ASSERT_TRUE(waitFramed(generator->widget()));
  const QRect generatorFrame = frameRect(*generator);
  generator->Hide();  // as a batch does before the notice
  the::Window_Done()->Show();
  auto* notice = openWindow<Window_Done>();
  ASSERT_NE(notice, nullptr);
  ASSERT_TRUE(waitFramed(notice->widget()));
  ExpectPlainBox(*notice);
  EXPECT_NEAR(frameRect(*notice).center().x(), generatorFrame.center().x(), 1);
  EXPECT_NEAR(frameRect(*notice).center().y(), generatorFrame.center().y(), 1);
}

using Minimised = WindowBounds;

TEST_F(Minimised, ChoosingItsEntryBringsTheGeneratorWindowBackInFront) {
  AddDescription(kRE, kDescription);
  Start();
  Window_RE* generator = openGenerator();
  ASSERT_NE(generator, nullptr);
  // Activation comes after mapping, and activating a minimised window restores it.
  ASSERT_TRUE(waitActive(generator->widget()));
  const XWindow client = xid(generator->widget());
  minimize(generator->widget());
  ASSERT_TRUE(waitFor([&] { return hasState(client, "_NET_WM_STATE_HIDDEN") && !viewable(client); }));

  // On the way to the menu the user clicks the menu-bar window, which the
  // window manager then counts as the window in use.
  QMenuBar* menus = platform::MenuBarWindow()->menuBar();
  click(menus, QPoint(menus->width() - 5, menus->height() / 2));
  ASSERT_TRUE(waitActive(platform::MenuBarWindow()));
  ASSERT_EQ(openGenerator(), generator);
  EXPECT_TRUE(waitFor([&] { return !hasState(client, "_NET_WM_STATE_HIDDEN") && viewable(client); }));
  EXPECT_TRUE(waitActive(generator->widget()));
  EXPECT_FALSE(generator->widget()->isMinimized());
}

}  // namespace
