#pragma once
// The notice a finished batch shows: "Done!" for a second, then the generator
// window again.
#include "platform/Controls.h"
#include "platform/Window.h"

class Window_Done : public platform::Window {
 public:
  void Layout() override;
  void CreateControls() override;
  void _CreateControls0();

  platform::Label* Label1() const;
  platform::PushButton* PushButton1() const;
  platform::Timer* Timer1() const { return timer1_; }

  void PushButton1_Action();
  void Timer1_Action();

  void Event_Close() override;

 private:
  platform::Timer* timer1_ = nullptr;
};

namespace the {
Window_Done* Window_Done();
}  // namespace the
