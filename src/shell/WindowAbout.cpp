#include "WindowAbout.h"

#include "App.h"
#include "platform/Date.h"

using namespace platform;

WindowAbout* the::WindowAbout() { return platform::SharedWindow<::WindowAbout>(); }

std::string VersionLine(std::int32_t major, std::int32_t minor, std::int32_t bug, std::int32_t stage,
                        std::int32_t build) {
  const char* stageText = stage == 0 ? "Dev" : stage == 1 ? "a" : stage == 2 ? "b" : "";
  return "Version " + std::to_string(major) + "." + std::to_string(minor) + "." + std::to_string(bug) +
         stageText + " (build " + std::to_string(build) + ")";
}

void WindowAbout::Layout() {
  WindowDesign design;
  design.width = 360;
  design.height = 166;
  design.frame = Frame::PlainBox;
  design.placement = Placement::Default;
  design.title = "Ohne Titel";
  design.closeButton = true;
  design.minimizeButton = true;
  design.visible = true;
  ApplyDesign(design);
}

void WindowAbout::CreateControls() {
  _CreateControls0();
  // The labels' Open events, which come before the window's.
  Label2_Open(Label2());
  Label3_Open(Label3());
}

void WindowAbout::_CreateControls0() {
  timer1_ = AddTimer(10000);
  timer1_->Action = [this] { Timer1_Action(); };

  auto* canvas = AddControl<Canvas>("Canvas1", {19, 14, 100, 100});
  canvas->SetBackdrop(QuirlomaticIconklein());

  auto* name = AddControl<Label>("Label1", {131, 22, 208, 20});
  name->SetTextSize(20);
  name->SetBold(true);
  name->SetCentered(true);
  name->SetText("Quirlomatic");

  AddControl<Label>("Label2", {131, 54, 208, 20})->SetCentered(true);
  AddControl<Label>("Label3", {131, 86, 208, 20})->SetCentered(true);

  auto* close = AddControl<PushButton>("PushButton1", {140, 126, 80, 20});
  close->SetCaption("Close");
  close->SetDefault(true);
  close->Action = [this] { PushButton1_Action(); };
}

Canvas* WindowAbout::Canvas1() const { return static_cast<Canvas*>(ControlByName("Canvas1")); }
Label* WindowAbout::Label1() const { return static_cast<Label*>(ControlByName("Label1")); }
Label* WindowAbout::Label2() const { return static_cast<Label*>(ControlByName("Label2")); }
Label* WindowAbout::Label3() const { return static_cast<Label*>(ControlByName("Label3")); }
PushButton* WindowAbout::PushButton1() const {
  return static_cast<PushButton*>(ControlByName("PushButton1"));
}

void WindowAbout::Timer1_Action() { Close(); }

void WindowAbout::Label2_Open(Label* label) {
  const App* app = the::App();
  label->SetText(VersionLine(app->MajorVersion, app->MinorVersion, app->BugVersion, app->StageCode,
                             app->NonReleaseVersion));
}

void WindowAbout::Label3_Open(Label* label) { label->SetText(kMakerNotice + std::to_string(Date().Year())); }

void WindowAbout::PushButton1_Action() { Close(); }

bool WindowAbout::Event_MouseDown(int /*x*/, int /*y*/) {
  Close();
  return false;
}

void WindowAbout::Event_Open() { timer1_->SetPeriod(the::App()->justStarted ? 1000 : 10000); }

void WindowAbout::Event_Close() { the::App()->justStarted = false; }
