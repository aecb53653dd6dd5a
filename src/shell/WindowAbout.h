#pragma once
// The about box, also the start-up splash: icon, name, version and notice
// above "Close". It closes itself after 1 s while the application has just
// started, after 10 s at every later showing.
#include <cstdint>
#include <string>

#include "platform/Controls.h"
#include "platform/Window.h"

class WindowAbout : public platform::Window {
 public:
  void Layout() override;
  void CreateControls() override;
  void _CreateControls0();

  platform::Timer* Timer1() const { return timer1_; }
  platform::Canvas* Canvas1() const;
  platform::Label* Label1() const;
  platform::Label* Label2() const;
  platform::Label* Label3() const;
  platform::PushButton* PushButton1() const;

  void Timer1_Action();
  void Label2_Open(platform::Label* label);
  void Label3_Open(platform::Label* label);
  void PushButton1_Action();

  bool Event_MouseDown(int x, int y) override;
  void Event_Open() override;
  void Event_Close() override;

 private:
  platform::Timer* timer1_ = nullptr;
};

namespace the {
WindowAbout* WindowAbout();
}  // namespace the

// "Version 1.2.3b (build 45)": stage 0 "Dev", 1 "a", 2 "b", any other nothing.
std::string VersionLine(std::int32_t major, std::int32_t minor, std::int32_t bug, std::int32_t stage,
                        std::int32_t build);

// The maker and the first year; the line goes on with the current year.
inline constexpr const char* kMakerNotice = "\u00A9 2026 Quirlomatic Team - ";
