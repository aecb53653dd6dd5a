#pragma once
// The one menu bar: the File menu and the "Rack Extensions" menu.
#include <string_view>

#include "platform/Menu.h"

namespace platform {
class Window;
}

class MenuBar1 : public platform::MenuBar {
 public:
  MenuBar1();  // builds every item

  void Untitled0();  // the File menu
  void Untitled1();  // the "Rack Extensions" menu, empty
};

// One accessor per item, for a window whose menu bar is a MenuBar1: items found
// by name under that window's menu bar, nullptr while it has none.
class MenuBar1Accessors {
 public:
  explicit MenuBar1Accessors(const platform::Window& window) : window_(window) {}
  MenuBar1Accessors(const MenuBar1Accessors&) = delete;
  MenuBar1Accessors& operator=(const MenuBar1Accessors&) = delete;

  platform::MenuItem* RackExtensions() const;
  platform::MenuItem* FileMenu() const;
  platform::AppleMenuItem* AppleAbout() const;
  platform::QuitMenuItem* FileQuit() const;
  platform::MenuItem* UntitledSeparator() const;
  platform::MenuItem* FileImport() const;
  platform::MenuItem* UntitledSeparator0() const;
  platform::MenuItem* FileResetNumbers() const;
  platform::MenuItem* UntitledSeparator1() const;
  platform::MenuItem* FileFilter() const;
  platform::MenuItem* FileCloseWindow() const;

 private:
  platform::MenuItem* menuItem(std::string_view name) const;

  const platform::Window& window_;
};

namespace the {
MenuBar1* MenuBar1();  // made on first call, kept for the run
}  // namespace the

// The application's item accessors: items found by name under its menu bar.
platform::MenuItem* RackExtensions();
platform::AppleMenuItem* AppleAbout();
platform::MenuItem* FileImport();
platform::MenuItem* FileResetNumbers();
