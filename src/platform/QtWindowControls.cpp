// A window's controls: registered, found by name and index, and reached with
// Tab in their tab order.
#include <QApplication>
#include <QWidget>

#include "QtInternal.h"

namespace platform {

int ControlSet::nextFreeIndex(std::string_view arrayName) const {
  auto it = named_.find(arrayName);
  return it == named_.end() ? 0 : static_cast<int>(it->second.members.size());
}

void ControlSet::add(std::unique_ptr<Control> control) {
  Control* added = control.get();
  auto named = named_.find(added->Name());
  if (named == named_.end()) named = named_.emplace(added->Name(), Named{}).first;
  auto place = tabOrder_.end();
  if (added->Index() < 0) {
    named->second.single = added;
  } else {
    auto& members = named->second.members;
    if (!members.empty()) place = std::next(tabPlace_.at(members.back()->widget()));
    members.push_back(added);
  }
  tabPlace_[added->widget()] = tabOrder_.insert(place, added);
  owned_.push_back(std::move(control));
}

Control* ControlSet::find(std::string_view name, int index) const {
  auto it = named_.find(name);
  if (it == named_.end()) return nullptr;
  if (index == -1) return it->second.single;
  const auto& members = it->second.members;
  return index >= 0 && index < static_cast<int>(members.size()) ? members[static_cast<std::size_t>(index)]
                                                                 : nullptr;
}

Control* ControlSet::first(std::string_view name) const {
  auto it = named_.find(name);
  if (it == named_.end()) return nullptr;
  return it->second.single ? it->second.single
                           : it->second.members.empty() ? nullptr : it->second.members.front();
}

int ControlSet::count(std::string_view name) const {
  auto it = named_.find(name);
  if (it == named_.end()) return 0;
  return (it->second.single ? 1 : 0) + static_cast<int>(it->second.members.size());
}

Control* ControlSet::holding(const QWidget* widget) const {
  for (; widget; widget = widget->isWindow() ? nullptr : widget->parentWidget())
    if (auto it = tabPlace_.find(widget); it != tabPlace_.end()) return *it->second;
  return nullptr;
}

Control* ControlSet::nextTabStop(const Control* from, bool forwards) const {
  auto tabStop = [](const Control* control) {
    const QWidget* widget = control->widget();
    return (widget->focusPolicy() & Qt::TabFocus) && widget->isEnabled() && widget->isVisibleTo(widget->window());
  };
  if (tabOrder_.empty()) return nullptr;
  // From no control: the first, or backwards the last.
  std::list<Control*>::const_iterator it = forwards ? std::prev(tabOrder_.end()) : tabOrder_.begin();
  if (from) {
    auto place = tabPlace_.find(from->widget());
    if (place == tabPlace_.end()) return nullptr;
    it = place->second;
  }
  const auto start = it;
  do {
    if (forwards) {
      if (++it == tabOrder_.end()) it = tabOrder_.begin();
    } else {
      if (it == tabOrder_.begin()) it = tabOrder_.end();
      --it;
    }
    if (*it != from && tabStop(*it)) return *it;
  } while (it != start);
  return nullptr;
}

void ControlSet::clear() {
  tabPlace_.clear();
  tabOrder_.clear();
  named_.clear();
  owned_.clear();
}

bool WindowWidget::focusNextPrevChild(bool next) {
  if (!owner_) return QMainWindow::focusNextPrevChild(next);
  const ControlSet& controls = owner_->impl()->controls;
  Control* from = controls.holding(focusWidget());
  // The focus elsewhere (the menu bar) moves as Qt moves it.
  if (!from && focusWidget()) return QMainWindow::focusNextPrevChild(next);
  if (Control* to = controls.nextTabStop(from, next))
    to->widget()->setFocus(next ? Qt::TabFocusReason : Qt::BacktabFocusReason);
  return true;
}

Control* Window::ControlByName(std::string_view name) const { return impl_->controls.first(name); }

Control* Window::ControlByNameIndex(std::string_view name, int index) const {
  return impl_->controls.find(name, index);
}

int Window::ControlCount(std::string_view name) const { return impl_->controls.count(name); }

void Window::registerControl(std::unique_ptr<Control> control, std::string_view name, Rect rect,
                             bool inArray) {
  control->name_ = name;
  if (inArray) control->index_ = impl_->controls.nextFreeIndex(name);
  QWidget* w = control->widget();
  w->setObjectName(toQ(name) + (inArray ? QString("_%1").arg(control->index_) : QString()));
  w->setGeometry(rect.left, rect.top, rect.width, rect.height);
  Control* added = control.get();
  impl_->controls.add(std::move(control));
  added->focusFollowsPlace();
  w->show();
}

}  // namespace platform
