#pragma once
// The one menu bar: the File menu and the "Rack Extensions" menu.
#include "platform/Menu.h"

class MenuBar1 : public platform::MenuBar {
 public:
  MenuBar1();  // builds every item

  void Untitled0();  // the File menu
  void Untitled1();  // the "Rack Extensions" menu, empty
};

namespace the {
MenuBar1* MenuBar1();  // made on first call, kept for the run
}  // namespace the

// The application's item accessors: items found by name under its menu bar.
platform::MenuItem* RackExtensions();
platform::AppleMenuItem* AppleAbout();
platform::MenuItem* FileImport();
platform::MenuItem* FileResetNumbers();
