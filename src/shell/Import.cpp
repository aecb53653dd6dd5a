#include "App.h"
#include "platform/Dialogs.h"
#include "prefs/REALEasyPrefs.h"

using namespace platform;

bool App::_FileImport_Action() {
  Update_RE_Menu();
  return false;
}

bool App::_FileResetNumbers_Action() {
  const FolderItem library = RELibraryFolder();
  for (int i = 1; i <= library.Count(); ++i) {
    const FolderItem item = library.Item(i);
    if (!item.Directory() && item.Name().rfind('.', 0) != 0)
      REALEasyPrefs::SetPrefNumber("Counter " + item.Name(), 0);
  }
  ReportIOError(REALEasyPrefs::WritePrefFile());
  return false;
}
