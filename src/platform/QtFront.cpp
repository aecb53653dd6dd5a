// Which window is in front: the last activated of the program's windows that
// is still shown and not minimised. Activating the menu-bar window, a dialog
// or another program changes nothing, as with a global menu bar. Every event
// that can change the answer reports here; a change is announced once, and
// the menus follow it.
#include <QWidget>

#include <list>

#include "QtInternal.h"

namespace platform {
namespace {

struct Front {
  std::list<Window*> order;  // open windows, the most recently brought forward first
  Window* window = nullptr;
};

Front& front() {
  static Front state;
  return state;
}

bool inFront(Window* window) {
  QWidget* widget = window->widget();
  return widget && widget->isVisible() && !widget->isMinimized();
}

}  // namespace

void FrontMayHaveChanged() {
  Front& state = front();
  Window* now = nullptr;
  for (Window* window : state.order)
    if (inFront(window)) {
      now = window;
      break;
    }
  if (now == state.window) return;
  state.window = now;
  RefreshMenus();
}

void BringForward(Window* window) {
  auto& order = front().order;
  order.remove(window);
  order.push_front(window);
  FrontMayHaveChanged();
}

void BringForward(QWidget* topLevel) {
  if (auto* w = dynamic_cast<WindowWidget*>(topLevel); w && w->owner() && !w->owner()->IsClosed())
    BringForward(w->owner());
}

void ForgetWindow(Window* window) {
  front().order.remove(window);
  FrontMayHaveChanged();
}

Window* Window::Frontmost() { return front().window; }

std::vector<Window*> Window::OpenWindows() { return {front().order.begin(), front().order.end()}; }

}  // namespace platform
