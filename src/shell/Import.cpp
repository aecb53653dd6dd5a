#include <cerrno>
#include <filesystem>
#include <string>
#include <system_error>

#include "App.h"
#include "platform/Dialogs.h"
#include "prefs/REALEasyPrefs.h"

using namespace platform;

namespace {

constexpr const char* kFilterFolderName = "Quirlomatic Filters";

bool sameFolder(const FolderItem& a, const FolderItem& b) {
  std::error_code ec;
  return !a.IsNil() && !b.IsNil() && std::filesystem::equivalent(a.Path(), b.Path(), ec);
}

std::string quoted(const std::string& name) { return "\u201c" + name + "\u201d"; }

// A dot name, so that no menu build lists a half-done import.
FolderItem unusedTemporaryName(const FolderItem& library) {
  for (int n = 1;; ++n) {
    FolderItem candidate = library.Child(".import-" + std::to_string(n));
    if (!candidate.Exists()) return candidate;
  }
}

// Why the chosen file may not go into the library, or "" when it may.
std::string refusal(const FolderItem& chosen, const FolderItem& library) {
  const std::string name = chosen.Name();
  if (sameFolder(chosen.Parent(), library)) return quoted(name) + " is already in the library.";
  if (sameFolder(chosen.Parent(), library.Child(kFilterFolderName)))
    return quoted(name) + " is a filter file of the library, not an RE description.";
  if (name == kFilterFolderName)
    return "A description cannot be named " + quoted(name) +
           ", the name of the library's filter folder. Please rename the file first.";
  if (library.Child(name).Directory())
    return "The library holds a folder named " + quoted(name) +
           ", which an import does not replace. Please move or rename that folder first.";
  return {};
}

// The old description of that name is replaced only once the new one is
// wholly inside the library and on the disk; on failure both it and the chosen
// file survive. A copy whose original cannot be removed afterwards is still a
// finished import: `originalKept` then says where the original stays and why.
bool moveIntoLibrary(const FolderItem& chosen, const FolderItem& library, std::string& originalKept) {
  const FolderItem target = library.Child(chosen.Name());
  const FolderItem temporary = unusedTemporaryName(library);

  bool copied = false;
  if (IOResult moved = chosen.RenameTo(temporary); !moved) {
    if (moved.error != EXDEV) return ReportIOError(moved);
    if (IOResult copy = chosen.CopyFileTo(temporary); !copy) {
      (void)temporary.Delete();
      return ReportIOError(copy);
    }
    copied = true;
  }

  // A copy is flushed as it is made; a moved file was written by someone else.
  if (!copied)
    if (IOResult synced = temporary.SyncToDisk(); !synced) {
      ReportIOError(IOResult::Fail("move", chosen.AbsolutePath(), synced.reason));
      ReportIOError(temporary.RenameTo(chosen));
      return false;
    }

  if (IOResult replaced = temporary.RenameTo(target); !replaced) {
    ReportIOError(IOResult::Fail("replace", target.AbsolutePath(), replaced.reason));
    if (copied)
      (void)temporary.Delete();
    else
      ReportIOError(temporary.RenameTo(chosen));
    return false;
  }

  if (copied)
    if (IOResult removed = chosen.Delete(); !removed)
      originalKept =
          "The original file " + chosen.AbsolutePath() + " could not be removed: " + removed.reason + ".";
  return true;
}

void importFile(const FolderItem& chosen) {
  if (!chosen.Exists()) {
    MsgBox("File not found!");
    return;
  }
  const FolderItem library = RELibraryFolder();
  if (library.IsNil()) return;
  if (const std::string why = refusal(chosen, library); !why.empty()) {
    MsgBox(why);
    return;
  }
  std::string originalKept;
  if (!moveIntoLibrary(chosen, library, originalKept)) return;
  MessageDialog notice;
  notice.Icon = MessageDialog::Information;
  notice.ActionButtonCaption = "Ok";
  notice.Message = "Import successful!";
  notice.Explanation = "Please adjust the filter settings!";
  if (!originalKept.empty()) notice.Explanation += "\n\n" + originalKept;
  notice.ShowModal();
}

}  // namespace

bool App::_FileImport_Action() {
  OpenDialog dialog;
  dialog.Title = "Import RE description...";
  if (const FolderItem chosen = dialog.ShowModal(); !chosen.IsNil()) importFile(chosen);
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
