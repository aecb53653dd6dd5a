#include <QKeySequence>

#include <algorithm>
#include <vector>

#include "Application.h"
#include "QtInternal.h"

namespace platform {
namespace {

std::vector<std::pair<MenuBar*, QPointer<QMainWindow>>>& menuBarViews() {
  static std::vector<std::pair<MenuBar*, QPointer<QMainWindow>>> views;
  return views;
}

QKeySequence keySequence(std::string_view shortcut) {
  QString text = toQ(shortcut);
  if (text.isEmpty()) return {};
  // A single key takes the command key, like the menu shortcuts with "Cmd+".
  if (!text.contains('+')) text = "Ctrl+" + text;
  // Qt's "Ctrl" is the command key on macOS and the Control key elsewhere.
  text.replace("Cmd+", "Ctrl+");
  return QKeySequence(text, QKeySequence::PortableText);
}

QAction::MenuRole menuRole(MenuItem::Role role) {
  switch (role) {
    case MenuItem::Role::Quit: return QAction::QuitRole;
    case MenuItem::Role::About: return QAction::AboutRole;
    case MenuItem::Role::Plain: break;
  }
  // Keep Qt from moving items to the macOS application menu by their text.
  return QAction::NoRole;
}

}  // namespace

MenuItem::MenuItem() : MenuItem(Role::Plain) {}

MenuItem::MenuItem(std::string_view text) : MenuItem(Role::Plain) { SetText(text); }

MenuItem::MenuItem(Role role) : role_(role), impl_(std::make_unique<Impl>()) {
  impl_->action = new QAction();
  impl_->action->setMenuRole(menuRole(role));
  // Shortcuts act from every window of the program, as from a global menu bar.
  impl_->action->setShortcutContext(Qt::ApplicationShortcut);
  QObject::connect(impl_->action, &QAction::triggered, [this] {
    // A disabled menu takes its items with it, their shortcuts included.
    for (MenuItem* menu = parent_; menu; menu = menu->parent_)
      if (!menu->Enabled()) return;
    if (Application* app = Application::Instance()) app->Choose(this);
  });
}

MenuItem::~MenuItem() {
  children_.clear();
  delete impl_->menu;
  delete impl_->action;
}

void MenuItem::SetText(std::string_view text) {
  text_ = text;
  impl_->action->setSeparator(IsSeparator());
  // '&' would be taken for a mnemonic; RE names may hold one.
  impl_->action->setText(IsSeparator() ? QString() : toQ(text).replace('&', "&&"));
  if (impl_->menu) impl_->menu->setTitle(impl_->action->text());
}

void MenuItem::SetKeyboardShortcut(std::string_view shortcut) {
  shortcut_ = shortcut;
  impl_->action->setShortcut(keySequence(shortcut));
}

bool MenuItem::Enabled() const { return impl_->enabled; }

void MenuItem::SetEnabled(bool enabled) {
  impl_->enabled = enabled;
  impl_->action->setEnabled(enabled);
}

QMenu* EnsureMenu(MenuItem* item) {
  auto* impl = item->impl();
  if (!impl->menu) {
    impl->menu = new QMenu();
    impl->menu->setTitle(impl->action->text());
    impl->action->setMenu(impl->menu);
    QObject::connect(impl->menu, &QMenu::aboutToShow, [] { RefreshMenus(); });
  }
  return impl->menu;
}

MenuItem* MenuItem::Append(std::unique_ptr<MenuItem> item) {
  MenuItem* raw = item.get();
  raw->parent_ = this;
  children_.push_back(std::move(item));
  attachChild(raw);
  return raw;
}

void MenuItem::attachChild(MenuItem* child) {
  if (dynamic_cast<MenuBar*>(this)) {
    EnsureMenu(child);
    MenuBarChanged(static_cast<MenuBar*>(this));
  } else {
    EnsureMenu(this)->addAction(child->impl_->action);
  }
}

void MenuItem::detachChild(MenuItem* child) {
  if (impl_->menu) impl_->menu->removeAction(child->impl_->action);
  for (auto& [bar, window] : menuBarViews())
    if (bar == this && window && window->menuBar()) window->menuBar()->removeAction(child->impl_->action);
}

void MenuItem::Close() {
  MenuItem* parent = parent_;
  if (!parent) return;
  parent->detachChild(this);
  // Menus are emptied from their end: look there first.
  auto& siblings = parent->children_;
  auto it = std::find_if(siblings.rbegin(), siblings.rend(), [this](auto& c) { return c.get() == this; });
  if (it != siblings.rend()) siblings.erase(std::next(it).base());  // destroys this item
}

MenuItem* MenuItem::Child(std::string_view name) const {
  for (auto& child : children_)
    if (child->name_ == name || (child->name_.empty() && child->text_ == name)) return child.get();
  return nullptr;
}

MenuItem* MenuItem::Item(int index) const {
  if (index < 0 || index >= Count()) return nullptr;
  return children_[static_cast<std::size_t>(index)].get();
}

MenuItem* MenuItem::Lookup(std::string_view name) {
  for (auto& child : children_) {
    if (child->name_ == name) return child.get();
    if (MenuItem* found = child->Lookup(name)) return found;
  }
  return nullptr;
}

MenuBar::MenuBar() = default;

MenuBar::~MenuBar() {
  auto& views = menuBarViews();
  views.erase(std::remove_if(views.begin(), views.end(), [this](auto& v) { return v.first == this; }),
              views.end());
}

void InstallMenuBar(MenuBar* menuBar, QMainWindow* window) {
  auto* bar = window->menuBar();
  bar->clear();
  for (int i = 0; i < menuBar->Count(); ++i) bar->addAction(menuBar->Item(i)->impl()->action);
  // Windows that have gone leave no entry behind: a long session opens many.
  auto& views = menuBarViews();
  views.erase(std::remove_if(views.begin(), views.end(), [](auto& v) { return v.second.isNull(); }), views.end());
  views.emplace_back(menuBar, window);
}

void MenuBarChanged(MenuBar* menuBar) {
  for (auto& [bar, window] : menuBarViews()) {
    if (bar != menuBar || !window) continue;
    window->menuBar()->clear();
    for (int i = 0; i < menuBar->Count(); ++i)
      window->menuBar()->addAction(menuBar->Item(i)->impl()->action);
  }
}

}  // namespace platform
