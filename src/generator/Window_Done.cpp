#include "Window_Done.h"

#include "Window_RE.h"
#include "platform/Application.h"

using namespace platform;

Window_Done* the::Window_Done() { return platform::SharedWindow<::Window_Done>(); }

void Window_Done::Layout() {
  WindowDesign design;
  design.width = 140;
  design.height = 86;
  design.frame = Frame::Alert;
  design.placement = Placement::ParentCentered;
  design.title = "Ohne Titel";
  design.closeButton = false;
  design.minimizeButton = true;
  design.visible = true;
  ApplyDesign(design);
}

void Window_Done::CreateControls() { _CreateControls0(); }

void Window_Done::_CreateControls0() {
  auto* label = AddControl<Label>("Label1", {20, 14, 100, 20});
  label->SetText("Done!");
  label->SetCentered(true);

  auto* ok = AddControl<PushButton>("PushButton1", {30, 46, 80, 20});
  ok->SetCaption("Ok");
  ok->SetDefault(true);
  ok->Action = [this] { PushButton1_Action(); };

  timer1_ = AddTimer(1000);
  timer1_->Action = [this] { Timer1_Action(); };
}

Label* Window_Done::Label1() const { return static_cast<Label*>(ControlByName("Label1")); }
PushButton* Window_Done::PushButton1() const {
  return static_cast<PushButton*>(ControlByName("PushButton1"));
}

void Window_Done::PushButton1_Action() { Close(); }

void Window_Done::Timer1_Action() { Close(); }

void Window_Done::Event_Close() {
  // Quitting closes every window; a generator window made now would only be closed again.
  if (Application* app = Application::Instance(); app && app->Quitting()) return;
  the::Window_RE()->Show();
}
