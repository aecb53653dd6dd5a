#include <QApplication>
#include <QElapsedTimer>
#include <QFontMetrics>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <string>

#include "ShellFixture.h"
#include "TestSupport.h"
#include "platform/Date.h"
#include "platform/Dialogs.h"
#include "shell/WindowAbout.h"

using namespace platform;
using testing_support::WaitUntil;

namespace {

struct VersionRow {
  int stage;
  std::string line;
};

void PrintTo(const VersionRow& row, std::ostream* os) { *os << "stage " << row.stage; }

class VersionLineTest : public ::testing::TestWithParam<VersionRow> {};

TEST_P(VersionLineTest, stageTextFollowsTheThirdNumberWithoutBlank) {
  EXPECT_EQ(VersionLine(1, 2, 3, GetParam().stage, 45), GetParam().line);
}

INSTANTIATE_TEST_SUITE_P(
    Stages, VersionLineTest,
    ::testing::Values(VersionRow{0, "Version 1.2.3Dev (build 45)"},
                      VersionRow{1, "Version 1.2.3a (build 45)"}, VersionRow{2, "Version 1.2.3b (build 45)"},
                      VersionRow{3, "Version 1.2.3 (build 45)"}, VersionRow{7, "Version 1.2.3 (build 45)"},
                      VersionRow{-1, "Version 1.2.3 (build 45)"}),
    [](const auto& info) {
      const int stage = info.param.stage;
      return stage < 0 ? "stageMinus" + std::to_string(-stage) : "stage" + std::to_string(stage);
    });

// The box's widget is deleted on the event-loop pass after Close.
bool Ended(const QPointer<QWidget>& box) { return box.isNull(); }

QTimer* TimerOf(WindowAbout* box) { return box->widget()->findChild<QTimer*>(); }

// Milliseconds since the box's timer started. Start-up, before it, takes
// longer under load and is no part of the times the box keeps.
class TimerClock {
 public:
  explicit TimerClock(WindowAbout* box) : ran_(box->Timer1()->Period() - TimerOf(box)->remainingTime()) {
    clock_.start();
  }
  qint64 elapsed() const { return ran_ + clock_.elapsed(); }

 private:
  qint64 ran_;
  QElapsedTimer clock_;
};

class AboutBox : public StartedApp {
 protected:
  // Start-up, then the splash it showed.
  WindowAbout* StartWithSplash() {
    Start();
    auto* splash = the::WindowAbout();
    EXPECT_TRUE(splash->Visible());
    return splash;
  }

  // After the splash: the about item shows a new box for ten seconds.
  void ExpectNextShowingKeepsTenSeconds() {
    ASSERT_TRUE(WaitUntil([&] { return Ended(closedWidget_); }, 2000));
    app->_AppleAbout_Action();
    WindowAbout* next = the::WindowAbout();
    EXPECT_TRUE(next->Visible());
    EXPECT_EQ(next->Timer1()->Period(), 10000);
    EXPECT_TRUE(next->Timer1()->Running());
  }

  QPointer<QWidget> closedWidget_;
};

TEST_F(AboutBox, splash_showsTheBoxAndClosesByItselfAfterOneSecond) {
  WindowAbout* splash = StartWithSplash();
  const TimerClock clock(splash);
  EXPECT_EQ(splash->Timer1()->Period(), 1000);
  EXPECT_TRUE(app->justStarted);
  QPointer<QWidget> box = splash->widget();

  ASSERT_TRUE(WaitUntil([&] { return Ended(box); }, 3000));
  EXPECT_GE(clock.elapsed(), 950);
  EXPECT_LT(clock.elapsed(), 2500);
  EXPECT_FALSE(app->justStarted);
}

TEST_F(AboutBox, box_showsIconNameVersionAndNotice) {
  WindowAbout* box = StartWithSplash();
  EXPECT_EQ(box->Width(), 360);
  EXPECT_EQ(box->Height(), 166);
  EXPECT_TRUE(box->widget()->windowFlags() & Qt::FramelessWindowHint);
  EXPECT_TRUE(box->Canvas1()->HasBackdrop());
  EXPECT_EQ(box->Label1()->Text(), "Quirlomatic");
  EXPECT_EQ(box->Label2()->Text(), VersionLine(app->MajorVersion, app->MinorVersion, app->BugVersion,
                                               app->StageCode, app->NonReleaseVersion));
  EXPECT_EQ(box->PushButton1()->Caption(), "Close");
  EXPECT_TRUE(box->PushButton1()->Default());
  EXPECT_EQ(box->GetMenuBar(), nullptr);
}

// A centred label clips a line wider than itself at both ends.
TEST_F(AboutBox, everyLine_fitsItsLabel) {
  WindowAbout* box = StartWithSplash();
  for (Label* label : {box->Label1(), box->Label2(), box->Label3()}) {
    const QFontMetrics metrics(label->widget()->font());
    EXPECT_LE(metrics.horizontalAdvance(QString::fromStdString(label->Text())), label->Width())
        << label->Text();
    EXPECT_LE(metrics.tightBoundingRect(QString::fromStdString(label->Text())).height(), label->Height())
        << label->Text();
  }
}

TEST_F(AboutBox, notice_namesTheMakerFromTheFirstYearToTheCurrentYear) {
  WindowAbout* box = StartWithSplash();
  const std::string notice = box->Label3()->Text();
  const std::string year = std::to_string(Date().Year());
  EXPECT_EQ(notice, std::string(kMakerNotice) + year);
  EXPECT_EQ(notice.rfind("\u00A9 2026 ", 0), 0u);
  EXPECT_EQ(notice.substr(notice.size() - year.size() - 3), " - " + year);
}

enum class Way { CloseClicked, ReturnKey, PressOnBackground, PressOnLabel, PressOnIcon };

std::string WayName(const ::testing::TestParamInfo<Way>& info) {
  static const char* const names[] = {"CloseClicked", "ReturnKey", "PressOnBackground", "PressOnLabel",
                                      "PressOnIcon"};
  return names[static_cast<int>(info.param)];
}

void PrintTo(Way way, std::ostream* os) { *os << WayName(::testing::TestParamInfo<Way>(way, 0)); }

class ClosingEarly : public AboutBox, public ::testing::WithParamInterface<Way> {};

TEST_P(ClosingEarly, closesAtOnceClearsJustStartedAndTheNextShowingKeepsTenSeconds) {
  WindowAbout* splash = StartWithSplash();
  closedWidget_ = splash->widget();
  QWidget* content = splash->content();
  switch (GetParam()) {
    case Way::CloseClicked:
      QTest::mouseClick(splash->PushButton1()->widget(), Qt::LeftButton);
      break;
    case Way::ReturnKey:
      QTest::keyClick(splash->widget(), Qt::Key_Return);
      break;
    case Way::PressOnBackground:
      QTest::mousePress(content, Qt::LeftButton, {}, QPoint(350, 150));
      break;
    case Way::PressOnLabel:
      QTest::mousePress(splash->Label1()->widget(), Qt::LeftButton, {}, QPoint(100, 10));
      break;
    case Way::PressOnIcon:
      QTest::mousePress(splash->Canvas1()->widget(), Qt::LeftButton, {}, QPoint(50, 50));
      break;
  }
  EXPECT_TRUE(splash->IsClosed());
  EXPECT_FALSE(app->justStarted);
  ExpectNextShowingKeepsTenSeconds();
}

INSTANTIATE_TEST_SUITE_P(Ways, ClosingEarly,
                         ::testing::Values(Way::CloseClicked, Way::ReturnKey, Way::PressOnBackground,
                                           Way::PressOnLabel, Way::PressOnIcon),
                         WayName);

TEST_F(AboutBox, mouseDown_closesTheBoxAndReportsNotHandled) {
  WindowAbout* splash = StartWithSplash();
  EXPECT_FALSE(splash->Event_MouseDown(5, 5));
  EXPECT_TRUE(splash->IsClosed());
}

TEST_F(AboutBox, aboutItemDuringTheSplash_bringsItForwardWithoutRestartingItsTimer) {
  WindowAbout* splash = StartWithSplash();
  const TimerClock clock(splash);
  QPointer<QWidget> box = splash->widget();
  WaitUntil([] { return false; }, 500);

  app->_AppleAbout_Action();
  EXPECT_EQ(the::WindowAbout(), splash);
  EXPECT_EQ(splash->Timer1()->Period(), 1000);
  EXPECT_LT(TimerOf(splash)->remainingTime(), 600);

  ASSERT_TRUE(WaitUntil([&] { return Ended(box); }, 3000));
  EXPECT_LT(clock.elapsed(), 1450);
  EXPECT_FALSE(app->justStarted);

  app->_AppleAbout_Action();
  EXPECT_EQ(the::WindowAbout()->Timer1()->Period(), 10000);
}

TEST_F(AboutBox, aboutItemWhileTheTenSecondBoxIsOpen_keepsTheSameBoxAndTimer) {
  QPointer<QWidget> splash = StartWithSplash()->widget();
  ASSERT_TRUE(WaitUntil([&] { return Ended(splash); }, 3000));

  app->_AppleAbout_Action();
  WindowAbout* box = the::WindowAbout();
  const int remainingAtFirst = TimerOf(box)->remainingTime();
  WaitUntil([] { return false; }, 300);
  box->Hide();
  app->_AppleAbout_Action();
  EXPECT_EQ(the::WindowAbout(), box);
  EXPECT_TRUE(box->Visible());
  EXPECT_EQ(box->Timer1()->Period(), 10000);
  EXPECT_LE(TimerOf(box)->remainingTime(), remainingAtFirst - 250);
}

// A message box raised while the splash is up has the splash as its parent;
// the splash closing underneath it must not take the message box with it.
TEST_F(AboutBox, splashClosingUnderAnOpenMessageBox_leavesTheMessageBoxRunning) {
  QPointer<QWidget> splash = StartWithSplash()->widget();
  bool stillShownAfterSplash = false;
  QTimer::singleShot(1600, qApp, [&] {
    if (QWidget* modal = QApplication::activeModalWidget()) {
      stillShownAfterSplash = modal->isVisible();
      if (auto* box = qobject_cast<QMessageBox*>(modal)) box->button(QMessageBox::Ok)->click();
    }
  });
  MsgBox("busy");
  EXPECT_TRUE(stillShownAfterSplash);
  EXPECT_FALSE(app->justStarted);
  EXPECT_TRUE(WaitUntil([&] { return Ended(splash); }, 2000));
}

}  // namespace
