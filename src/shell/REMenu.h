#pragma once
// The entries of the "Rack Extensions" menu that act on their own.
#include "platform/Menu.h"

// An RE of the library: selects it and shows its generator window.
class RE_Menu_Item : public platform::MenuItem {
 public:
  bool Event_Action() override;
};

// "Show in Finder": opens the RE library folder in the file browser.
class RE_Menu_ShowFolder : public platform::MenuItem {
 public:
  bool Event_Action() override;
};
