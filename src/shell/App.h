#pragma once
// The application object: the shared state every window reads, its Open and
// Close events, its menu handlers and the "Rack Extensions" menu builder.
#include <cstdint>
#include <string>

#include "platform/Application.h"

class RE_Menu_Item;

class App : public platform::Application {
 public:
  App();
  ~App() override;  // the::App() is nullptr again from here on

  void Event_EnableMenuItems() override;
  void Event_Close() override;
  void Event_Open() override;
  bool _FileImport_Action();
  bool _FileResetNumbers_Action();
  bool _AppleAbout_Action();
  void Update_RE_Menu();

  std::int32_t RE_Menu_Number = 0;
  RE_Menu_Item* RE_Menu_Entry = nullptr;  // the RE entry made last; owned by the menu
  std::string Selected_RE;
  bool justStarted = true;
};

namespace the {
// The application object; made once by main() (or a test) before anything else asks.
App* App();
}  // namespace the

// The two folders, formed afresh from their names at every use.
#include "platform/FolderItem.h"
platform::FolderItem RELibraryFolder();  // "Quirlomatic" in the application-data folder
platform::FolderItem FilterFolder();     // "Quirlomatic Filters" inside it
// Makes whichever of the two is missing; a failure is shown.
void CreateLibraryFolders();

// The bundle's pictures, each loaded once a load succeeds and kept for the run.
#include "platform/Picture.h"
platform::Picture monotone_cog_settings_gear();
platform::Picture QuirlomaticIconklein();
