// After each test of a suite that runs the application: the one menu bar is
// as it was built.
#include "TestSupport.h"
#include "shell/MenuBar1.h"

using namespace platform;

namespace {

void enableAll(MenuItem* menu) {
  for (int i = 0; i < menu->Count(); ++i) {
    menu->Item(i)->SetEnabled(true);
    enableAll(menu->Item(i));
  }
}

// The next App starts with RE_Menu_Number 0 and so never removes the entries
// of an earlier build.
const testing_support::ResetStep restoreMenuBar([] {
  MenuItem* bar = the::MenuBar1();
  MenuItem* rackExtensions = bar->Lookup("RackExtensions");
  while (rackExtensions->Count() > 0) rackExtensions->Item(rackExtensions->Count() - 1)->Close();
  enableAll(bar);
});

}  // namespace
