#include "REMenu.h"

#include <algorithm>
#include <memory>
#include <numeric>
#include <vector>

#include "App.h"
#include "MenuBar1.h"
#include "generator/Window_RE.h"
#include "platform/Dialogs.h"
#include "platform/Text.h"
#include "prefs/REALEasyPrefs.h"

using namespace platform;

namespace {
bool isListed(const FolderItem& item) {
  const std::string name = item.Name();
  return !(name.rfind('.', 0) == 0) && !TextEquals(name, "Quirlomatic Filters");
}
}  // namespace

void App::Update_RE_Menu() {
  const FolderItem library = RELibraryFolder();
  if (library.IsNil()) return;
  MenuItem* menu = RackExtensions();

  if (RE_Menu_Number > 0)
    while (menu->Count() > 0) menu->Item(menu->Count() - 1)->Close();
  RE_Menu_Number = 0;
  RE_Menu_Entry = nullptr;

  const std::vector<FolderItem> items = library.Items();
  std::vector<std::string> names, times;
  for (const FolderItem& item : items) {
    if (!isListed(item)) continue;
    names.push_back(item.Name());
    times.push_back(REALEasyPrefs::GetPrefString("Time " + item.Name(), ""));
  }

  std::vector<std::size_t> order(names.size());
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(),
                   [&](std::size_t a, std::size_t b) { return TextLess(times[a], times[b]); });

  std::vector<std::string> recent;
  for (auto it = order.rbegin(); it != order.rend() && recent.size() < 10; ++it)
    if (!times[*it].empty()) recent.push_back(names[*it]);
  std::sort(recent.begin(), recent.end(),
            [](const std::string& a, const std::string& b) { return TextLess(a, b); });

  if (recent.size() >= 2) {
    for (std::size_t k = 0; k < recent.size(); ++k) {
      auto entry = std::make_unique<RE_Menu_Item>();
      RE_Menu_Entry = entry.get();
      entry->SetText(recent[k]);
      entry->SetKeyboardShortcut(k == 9 ? "0" : Str(static_cast<int>(k + 1)));
      menu->Append(std::move(entry));
    }
    menu->Append(std::make_unique<MenuItem>("-"));
    RE_Menu_Number = static_cast<std::int32_t>(recent.size());
  }

  std::int32_t listed = 0;
  for (const std::string& name : names) {
    auto entry = std::make_unique<RE_Menu_Item>();
    RE_Menu_Entry = entry.get();
    entry->SetText(name);
    menu->Append(std::move(entry));
    ++listed;
  }
  RE_Menu_Number += listed;

  menu->Append(std::make_unique<MenuItem>("-"));
  auto showFolder = std::make_unique<RE_Menu_ShowFolder>();
  showFolder->SetText("Show in Finder");
  menu->Append(std::move(showFolder));
  RE_Menu_Number += 1;
}

bool RE_Menu_Item::Event_Action() {
  const FolderItem item = RELibraryFolder().Child(Text());
  if (!item.IsNil()) {
    the::App()->Selected_RE = item.Name();
    the::Window_RE()->Show();
  }
  return false;
}

bool RE_Menu_ShowFolder::Event_Action() {
  // A folder removed since the start is made again only at the next start:
  // until then there is nothing to show, and nothing is said.
  if (const FolderItem library = RELibraryFolder(); library.Directory()) library.Launch();
  return false;
}
