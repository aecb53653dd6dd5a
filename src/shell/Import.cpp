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

// A folder removed while the program runs is made again only at the next
// start; until then an import says so, naming the folder.
IOResult missingLibrary(const FolderItem& chosen, const FolderItem& library) {
  if (library.Directory()) return IOResult::Ok();
  return IOResult::Fail("import", chosen.AbsolutePath(),
                        "The library folder " + library.AbsolutePath() +
                            (library.Exists() ? " is not a folder" : " does not exist") +
                            "; Quirlomatic makes it again when it next starts");
}

// The chosen file arrives under its own name, replacing the library's file of
// that name; a crash at any moment leaves it whole at one of the two places.
// A link is not moved (a relative one would no longer lead anywhere from the
// library): the library gets a copy of the file it names, and the link and
// that file stay as they are. `note` tells what the notice should add: an
// original that could not be removed, or a step after the arrival that failed.
// (Earlier versions moved the file through a hidden ".import-N" in the
// library: one that a crash left there may be the user's only copy, so no
// start or import removes or reuses such a name.)
bool moveIntoLibrary(const FolderItem& chosen, const FolderItem& library, std::string& note) {
  if (!ReportIOError(missingLibrary(chosen, library))) return false;
  if (chosen.IsLink()) return ReportIOError(chosen.CopyFileTo(library));
  IOResult afterwards;
  if (!ReportIOError(chosen.MoveFileTo(library, &afterwards))) return false;
  if (!afterwards)
    note = afterwards.verb == "delete" ? "The original file " + chosen.AbsolutePath() +
                                             " could not be removed: " + afterwards.reason + "."
                                       : afterwards.Message();
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
  std::string note;
  if (!moveIntoLibrary(chosen, library, note)) return;
  MessageDialog notice;
  notice.Icon = MessageDialog::Information;
  notice.ActionButtonCaption = "Ok";
  notice.Message = "Import successful!";
  notice.Explanation = "Please adjust the filter settings!";
  if (!note.empty()) notice.Explanation += "\n\n" + note;
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
