#pragma once
// The generator window of the selected device.
#include <string>
#include <string_view>

#include "platform/Window.h"

class Window_RE : public platform::Window {
 public:
  // The text of one patch for App.Selected_RE; "" (after a message) when the
  // description is missing.
  static std::string Create_Random_Patch();
  static std::string MakeNumber(std::string_view kind, std::string_view minimum, std::string_view maximum);
};

namespace the {
Window_RE* Window_RE();
}  // namespace the
