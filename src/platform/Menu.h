#pragma once
// Menus: a tree of items under one menu bar. The same item objects stand in
// every window that installs the menu bar (and in the global menu bar on macOS),
// so enabling an item shows everywhere.
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

class MenuBar;

class MenuItem {
 public:
  MenuItem();
  // An item created with a text only (a separator is the text "-"); Child()
  // finds it by that text while it has no name.
  explicit MenuItem(std::string_view text);
  virtual ~MenuItem();
  MenuItem(const MenuItem&) = delete;
  MenuItem& operator=(const MenuItem&) = delete;

  const std::string& Name() const { return name_; }
  void SetName(std::string_view name) { name_ = name; }
  const std::string& Text() const { return text_; }
  void SetText(std::string_view text);
  // "Cmd+W", or a single key such as "1" (which also takes the command key);
  // Cmd is the Control key outside macOS.
  const std::string& KeyboardShortcut() const { return shortcut_; }
  void SetKeyboardShortcut(std::string_view shortcut);
  bool Enabled() const;
  void SetEnabled(bool enabled);
  void Enable() { SetEnabled(true); }
  bool AutoEnable() const { return autoEnable_; }
  void SetAutoEnable(bool autoEnable) { autoEnable_ = autoEnable; }
  bool IsSeparator() const { return text_ == "-"; }

  // Appends at the end; the menu owns the item from then on.
  MenuItem* Append(std::unique_ptr<MenuItem> item);
  // Removes this item from its menu and destroys it.
  void Close();
  MenuItem* Child(std::string_view name) const;  // a direct child, by name (or text)
  MenuItem* Item(int index) const;               // from 0, separators included
  int Count() const { return static_cast<int>(children_.size()); }
  MenuItem* Parent() const { return parent_; }
  // The item of that name anywhere below this one.
  MenuItem* Lookup(std::string_view name);

  // The item's own Action event, for items of the program's own classes.
  virtual bool Event_Action() { return false; }

  enum class Role { Plain, Quit, About };
  Role role() const { return role_; }

  struct Impl;
  Impl* impl() const { return impl_.get(); }

 protected:
  explicit MenuItem(Role role);

 private:
  friend class MenuBar;
  void attachChild(MenuItem* child);
  void detachChild(MenuItem* child);

  std::string name_, text_, shortcut_;
  bool autoEnable_ = true;
  Role role_ = Role::Plain;
  MenuItem* parent_ = nullptr;
  std::vector<std::unique_ptr<MenuItem>> children_;
  std::unique_ptr<Impl> impl_;
};

// Choosing it quits the application. On macOS it goes to the application menu.
class QuitMenuItem : public MenuItem {
 public:
  QuitMenuItem() : MenuItem(Role::Quit) {}
};

// The about item: on macOS in the application menu, elsewhere where it was appended.
class AppleMenuItem : public MenuItem {
 public:
  AppleMenuItem() : MenuItem(Role::About) {}
};

// The top of a menu tree; its children are the menus on the bar.
class MenuBar : public MenuItem {
 public:
  MenuBar();
  ~MenuBar() override;
};

}  // namespace platform
