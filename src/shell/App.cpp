#include "App.h"

#include "MenuBar1.h"
#include "REMenu.h"
#include "WindowAbout.h"
#include "platform/Dialogs.h"
#include "platform/TextStream.h"
#include "prefs/REALEasyPrefs.h"

using namespace platform;

namespace {
App* theApp = nullptr;

IOResult ensureFolder(const FolderItem& folder) {
  if (folder.IsNil() || folder.Directory()) return IOResult::Ok();
  return folder.CreateAsFolder();
}


void loadPreferences() {
  const IOResult loaded = REALEasyPrefs::InitPrefFile("Quirlomatic");
  if (loaded || !REALEasyPrefs::prefFileUnreadable) {
    ReportIOError(loaded);
    return;
  }
  MessageDialog dialog;
  dialog.Icon = MessageDialog::Caution;
  dialog.Message = loaded.Message();
  dialog.Explanation =
      "Quirlomatic runs with default settings: patch numbers start at 1 again, and patches of the same "
      "name in the chosen folder are replaced. Settings changed while it runs are not saved, so that the "
      "file stays as it is.";
  dialog.ShowModal();
}
}  // namespace

App::App() { theApp = this; }

App::~App() {
  if (theApp == this) theApp = nullptr;
}

App* the::App() { return theApp; }

FolderItem RELibraryFolder() { return SpecialFolder::ApplicationData().Child("Quirlomatic"); }

FolderItem FilterFolder() { return RELibraryFolder().Child("Quirlomatic Filters"); }

// Each folder lies inside the one before, so after a failure the rest cannot
// be made either: one message names the folder that failed. The parts that use
// the folders meet their absence in their own way.
void CreateLibraryFolders() {
  // On a fresh system the application-data folder itself may not exist yet.
  const FolderItem data = SpecialFolder::ApplicationData();
  if (!ReportIOError(data.CreateFolderPath())) return;
  if (!ReportIOError(ensureFolder(data.Child("Quirlomatic")))) return;
  ReportIOError(ensureFolder(data.Child("Quirlomatic").Child("Quirlomatic Filters")));
}

void App::Event_Open() {
  the::WindowAbout()->Show();
  loadPreferences();
  CreateLibraryFolders();
  // What a run that crashed left there; a folder written to rarely would keep it long.
  for (const FolderItem& folder : {SpecialFolder::Preferences(), RELibraryFolder(), FilterFolder()})
    RemoveTemporaryLeftovers(folder);
  TextOutputBatch::RaiseOpenFileLimit();
  Update_RE_Menu();
}

void App::Event_Close() { ReportIOError(REALEasyPrefs::WritePrefFile()); }

void App::Event_EnableMenuItems() {
  FileImport()->Enable();
  AppleAbout()->Enable();
  if (RE_Menu_Number > 0) {
    FileResetNumbers()->SetEnabled(true);
    for (int i = 0; i <= RE_Menu_Number - 1; ++i)
      if (MenuItem* item = RackExtensions()->Item(i)) item->SetEnabled(true);
  }
}

bool App::_AppleAbout_Action() {
  the::WindowAbout()->Show();
  return false;
}
