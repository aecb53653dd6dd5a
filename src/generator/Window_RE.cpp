#include "Window_RE.h"

#include <algorithm>
#include <limits>
#include <vector>

#include "PatchExpansion.h"
#include "Window_Done.h"
#include "filter/Window_Filter.h"
#include "platform/Application.h"
#include "platform/Date.h"
#include "platform/Dialogs.h"
#include "platform/Text.h"
#include "platform/TextStream.h"
#include "prefs/REALEasyPrefs.h"
#include "shell/App.h"
#include "shell/MenuBar1.h"

using namespace platform;

namespace {

// Says why a patch of `description` could not be built; false after a failure.
bool reportSourceFailure(const IOResult& result, const FolderItem& description) {
  if (result) return true;
  if (result.NotFound() && result.path == description.AbsolutePath())
    MsgBox("RE description not found!");
  else
    ReportIOError(result);
  return false;
}

// Both files every patch of a batch reads, checked before the folder is asked
// for: a batch that cannot read them has nothing to write, and a filter file
// that cannot be read would give patches without a single random value.
bool sourcesReadable(const std::string& reName) {
  const FolderItem description = RELibraryFolder().Child(reName);
  IOResult result;
  if (!TextInputStream::Open(description, &result)) return reportSourceFailure(result, description);
  std::vector<std::string> enabled;
  return reportSourceFailure(generator::ReadEnabledParameterList(FilterFolder().Child(reName), enabled),
                             description);
}

}  // namespace

Window_RE* the::Window_RE() { return platform::SharedWindow<::Window_RE>(); }

void Window_RE::Layout() {
  SetMenuBar(the::MenuBar1());
  WindowDesign design;
  design.width = 350;
  design.height = 88;
  design.frame = Frame::Document;
  design.placement = Placement::Default;
  design.closeButton = true;
  design.minimizeButton = true;
  design.visible = true;
  ApplyDesign(design);
}

void Window_RE::CreateControls() { _CreateControls0(); }

void Window_RE::_CreateControls0() {
  // Made in tab order.
  AddControl<Label>("Label1", {111, 15, 44, 20})->SetText("Create");

  auto* start = AddControl<PushButton>("PushButton1", {134, 48, 82, 20});
  start->SetCaption("Start");
  start->SetDefault(true);
  start->Action = [this] { PushButton1_Action(); };

  AddControl<Label>("Label2", {197, 15, 71, 20})->SetText("patch(es)...");

  auto* count = AddControl<TextField>("TextField1", {159, 14, 32, 22});
  count->SetText("1");
  count->SetDigitsOnly(3);
  TextField1_Open();

  auto* gear = AddControl<Canvas>("Canvas1", {326, 0, 24, 24});
  gear->SetBackdrop(monotone_cog_settings_gear());
  gear->SetHelpTag("Adjust Filter");
  gear->MouseDown = [this](int x, int y) { return Canvas1_MouseDown(x, y); };

  // Above the visible area: only the cancel key reaches it.
  auto* cancel = AddControl<PushButton>("PushButton2", {137, -56, 80, 20});
  cancel->SetCaption("Cancel");
  cancel->SetCancel(true);
  cancel->Action = [this] { PushButton2_Action(); };
}

Label* Window_RE::Label1() const { return static_cast<Label*>(ControlByName("Label1")); }
PushButton* Window_RE::PushButton1() const { return static_cast<PushButton*>(ControlByName("PushButton1")); }
Label* Window_RE::Label2() const { return static_cast<Label*>(ControlByName("Label2")); }
TextField* Window_RE::TextField1() const { return static_cast<TextField*>(ControlByName("TextField1")); }
Canvas* Window_RE::Canvas1() const { return static_cast<Canvas*>(ControlByName("Canvas1")); }
PushButton* Window_RE::PushButton2() const { return static_cast<PushButton*>(ControlByName("PushButton2")); }

void Window_RE::PushButton1_Action() {
  const double count = Val(Trim(TextField1()->Text()));
  if (count > 0) {
    const std::string reName = the::App()->Selected_RE;
    if (sourcesReadable(reName)) {
      SelectFolderDialog dialog;
      dialog.ActionButtonCaption = "Select";
      dialog.Title = "Select folder...";
      dialog.PromptText = "Select folder...";
      dialog.InitialDirectory = REALEasyPrefs::GetPrefFolderItem("SavePath", SpecialFolder::Desktop());
      const FolderItem folder = dialog.ShowModal();
      if (!folder.IsNil()) {
        Hide();
        const std::string counterKey = "Counter " + reName;
        const std::int32_t before = REALEasyPrefs::GetPrefNumber(counterKey, 0);
        std::int32_t counter = before;
        IOResult result;
        {
          WaitCursor wait;
          result = WriteBatch(folder, reName, ToInt32(count), counter);
        }
        // After a failure too: the next batch must not overwrite what was written.
        REALEasyPrefs::SetPrefFolderItem("SavePath", folder);
        if (result || counter != before) REALEasyPrefs::SetPrefNumber(counterKey, counter);
        ReportIOError(REALEasyPrefs::WritePrefFile());
        if (result) {
          the::Window_Done()->Show();
        } else {
          Show();
          reportSourceFailure(result, RELibraryFolder().Child(reName));
        }
      }
    }
  }
  TextField1()->SelectAll();
}

IOResult Window_RE::WriteBatch(const FolderItem& folder, const std::string& reName, int count,
                               std::int32_t& counter) {
  const FolderItem description = RELibraryFolder().Child(reName);
  const FolderItem filterFile = FilterFolder().Child(reName);
  // Every patch is written first; the commit puts them all in place in their
  // order, with one flush of the disk for the whole batch.
  TextOutputBatch batch(folder);
  const std::int32_t first = counter;
  IOResult result;
  std::string text;
  for (std::int64_t number = std::int64_t{first} + 1; number <= std::int64_t{first} + count; ++number) {
    const FolderItem file = folder.Child(reName + "_" + Str(number) + ".repatch");
    // The reason without its full stop: the message adds it.
    if (number > std::numeric_limits<std::int32_t>::max()) {
      result = IOResult::Fail(
          "write", file.AbsolutePath(),
          "The patch counter has reached its highest number; \"Reset Numbers\" starts it again");
      break;
    }
    // Read afresh for every file, so a filter saved meanwhile applies at once.
    text.clear();
    if (result = generator::ExpandPatchFile(description, filterFile, text); !result) break;
    TextOutputStream* out = batch.Create(file, &result);
    if (!out) break;
    out->Write(text);
  }
  // After a failure too: the files written before it stay, and the counter
  // names the last one in place.
  const IOResult committed = batch.Commit();
  counter = first + batch.Committed();
  return committed ? result : committed;
}

void Window_RE::TextField1_Open() { TextField1()->SelectAll(); }

bool Window_RE::Canvas1_MouseDown(int /*x*/, int /*y*/) {
  the::Window_Filter()->Show();
  return false;
}

void Window_RE::PushButton2_Action() { Close(); }

void Window_RE::AddMenuHandlers() {
  AddMenuHandler("FileCloseWindow", [this] { return _FileCloseWindow_Action(); });
  AddMenuHandler("FileFilter", [this] { return _FileFilter_Action(); });
}

void Window_RE::Event_Open() {
  REALEasyPrefs::GetPrefWindow("Window_RE", *this);
  REALEasyPrefs::SetPrefString("Time " + the::App()->Selected_RE, Date().SQLDateTime());
  ReportIOError(REALEasyPrefs::WritePrefFile());
  SetTitle("Quirlomatic: " + the::App()->Selected_RE);
}

void Window_RE::Event_Close() {
  REALEasyPrefs::SetPrefWindow("Window_RE", this);
  RackExtensions()->SetEnabled(true);
  the::App()->Update_RE_Menu();
}

void Window_RE::Event_EnableMenuItems() {
  FileCloseWindow()->SetEnabled(true);
  FileFilter()->SetEnabled(true);
  RackExtensions()->SetEnabled(false);
}

bool Window_RE::_FileCloseWindow_Action() {
  Close();
  return false;
}

bool Window_RE::_FileFilter_Action() {
  the::Window_Filter()->Show();
  return false;
}

std::string Window_RE::Create_Random_Patch() {
  const std::string& reName = the::App()->Selected_RE;
  const FolderItem description = RELibraryFolder().Child(reName);
  std::string text;
  if (!reportSourceFailure(generator::ExpandPatchFile(description, FilterFolder().Child(reName), text),
                           description))
    return {};
  return text;
}

std::string Window_RE::MakeNumber(std::string_view kind, std::string_view minimum, std::string_view maximum) {
  return generator::MakeNumberValue(kind, minimum, maximum);
}
