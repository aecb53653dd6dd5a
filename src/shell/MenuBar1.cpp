#include "MenuBar1.h"

#include <memory>

#include "App.h"
#include "platform/Window.h"

using namespace platform;

namespace {

template <class Item = MenuItem>
std::unique_ptr<MenuItem> makeItem(const char* name, bool autoEnable, const char* text,
                                   const char* shortcut) {
  auto item = std::make_unique<Item>();
  item->SetName(name);
  item->SetAutoEnable(autoEnable);
  item->SetText(text);
  if (shortcut) item->SetKeyboardShortcut(shortcut);
  return item;
}

MenuItem* lookup(const char* name) { return the::App()->GetMenuBar()->Lookup(name); }

}  // namespace

MenuBar1::MenuBar1() {
  Untitled0();
  Untitled1();
}

void MenuBar1::Untitled0() {
  Append(makeItem("FileMenu", true, "File", ""));
  MenuItem* file = Child("FileMenu");
  file->Append(makeItem("FileCloseWindow", false, "Close", "Cmd+W"));
  file->Append(makeItem("FileFilter", false, "Show Filter...", "Cmd+F"));
  file->Append(makeItem("UntitledSeparator1", true, "-", nullptr));
  file->Append(makeItem("FileResetNumbers", true, "Reset Numbers", ""));
  file->Append(makeItem("UntitledSeparator0", true, "-", nullptr));
  file->Append(makeItem("FileImport", false, "Import RE description...", "Cmd+I"));
  file->Append(makeItem("UntitledSeparator", true, "-", nullptr));
  file->Append(makeItem<QuitMenuItem>("FileQuit", true, "Quit", "Cmd+Q"));
  file->Append(makeItem<AppleMenuItem>("AppleAbout", true, "About Quirlomatic", ""));
}

void MenuBar1::Untitled1() { Append(makeItem("RackExtensions", true, "Rack Extensions", "")); }

MenuBar1* the::MenuBar1() {
  static auto* instance = new ::MenuBar1();
  return instance;
}

MenuItem* RackExtensions() { return lookup("RackExtensions"); }
AppleMenuItem* AppleAbout() { return static_cast<AppleMenuItem*>(lookup("AppleAbout")); }
MenuItem* FileImport() { return lookup("FileImport"); }
MenuItem* FileResetNumbers() { return lookup("FileResetNumbers"); }

MenuItem* MenuBar1Accessors::menuItem(std::string_view name) const {
  MenuBar* bar = window_.GetMenuBar();
  return bar ? bar->Lookup(name) : nullptr;
}
MenuItem* MenuBar1Accessors::RackExtensions() const { return menuItem("RackExtensions"); }
MenuItem* MenuBar1Accessors::FileMenu() const { return menuItem("FileMenu"); }
AppleMenuItem* MenuBar1Accessors::AppleAbout() const {
  return static_cast<AppleMenuItem*>(menuItem("AppleAbout"));
}
QuitMenuItem* MenuBar1Accessors::FileQuit() const { return static_cast<QuitMenuItem*>(menuItem("FileQuit")); }
MenuItem* MenuBar1Accessors::UntitledSeparator() const { return menuItem("UntitledSeparator"); }
MenuItem* MenuBar1Accessors::FileImport() const { return menuItem("FileImport"); }
MenuItem* MenuBar1Accessors::UntitledSeparator0() const { return menuItem("UntitledSeparator0"); }
MenuItem* MenuBar1Accessors::FileResetNumbers() const { return menuItem("FileResetNumbers"); }
MenuItem* MenuBar1Accessors::UntitledSeparator1() const { return menuItem("UntitledSeparator1"); }
MenuItem* MenuBar1Accessors::FileFilter() const { return menuItem("FileFilter"); }
MenuItem* MenuBar1Accessors::FileCloseWindow() const { return menuItem("FileCloseWindow"); }
