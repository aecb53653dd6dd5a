#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QKeyEvent>
#include <QLayout>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QTimer>

#include <algorithm>
#include <list>

#include "Application.h"
#include "QtInternal.h"

namespace platform {
namespace {

// Open instances, the most recently brought forward first.
std::list<Window*>& stacking() {
  static std::list<Window*> windows;
  return windows;
}

std::map<std::type_index, Window*>& shared() {
  static std::map<std::type_index, Window*> windows;
  return windows;
}

void bringForward(Window* window) {
  auto& order = stacking();
  order.remove(window);
  order.push_front(window);
}

// Presses on the content area reach the window's MouseDown event.
class ContentWidget : public QWidget {
 public:
  explicit ContentWidget(Window* owner) : owner_(owner) {}

 protected:
  void mousePressEvent(QMouseEvent* event) override {
    if (owner_ && !owner_->IsClosed()) {
      const QPoint at = event->position().toPoint();
      if (owner_->Event_MouseDown(at.x(), at.y())) return;
    }
    QWidget::mousePressEvent(event);
  }

 private:
  Window* owner_;
};

// A dialog still running on a closed window (its parent, e.g. the splash
// that timed out under a message box) would be deleted with the window's
// widget in the middle of its exec: end the instance once none is left.
void endWhenNoDialogIsOpen(Window* window) {
  QList<QDialog*> dialogs;
  if (QWidget* widget = window->widget()) dialogs = widget->findChildren<QDialog*>();
  if (std::any_of(dialogs.begin(), dialogs.end(), [](QDialog* dialog) { return dialog->isVisible(); })) {
    QTimer::singleShot(50, qApp, [window] { endWhenNoDialogIsOpen(window); });
    return;
  }
  delete window;
}

int clamp(int value, int low, int high) { return std::max(low, std::min(value, high)); }

}  // namespace

void WindowWidget::closeEvent(QCloseEvent* event) {
  if (owner_ && !owner_->IsClosed()) {
    owner_->Close();
  }
  event->accept();
}

void WindowWidget::keyPressEvent(QKeyEvent* event) {
  if ((event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
    const bool isReturn = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    const bool isEscape = event->key() == Qt::Key_Escape;
    if (owner_ && (isReturn || isEscape)) {
      for (QPushButton* button : findChildren<QPushButton*>()) {
        auto* control = static_cast<PushButton*>(button->property("qm_control").value<void*>());
        if (!control || !button->isEnabled()) continue;
        if ((isReturn && control->Default()) || (isEscape && control->Cancel())) {
          control->Push();
          return;
        }
      }
    }
  }
  QMainWindow::keyPressEvent(event);
}

bool WindowWidget::event(QEvent* event) {
  if (event->type() == QEvent::WindowActivate && owner_ && !owner_->IsClosed()) bringForward(owner_);
  // A minimised window is no longer in front.
  if (event->type() == QEvent::WindowStateChange) RefreshMenus();
  return QMainWindow::event(event);
}

void BringForward(QWidget* topLevel) {
  if (auto* w = dynamic_cast<WindowWidget*>(topLevel); w && w->owner() && !w->owner()->IsClosed())
    bringForward(w->owner());
}

Window::Window() : impl_(std::make_unique<Impl>()) {
  impl_->widget = new WindowWidget(this);
  impl_->content = new ContentWidget(this);
  impl_->widget->setCentralWidget(impl_->content);
  impl_->widget->layout()->setSizeConstraint(QLayout::SetFixedSize);
  impl_->widget->setAttribute(Qt::WA_DeleteOnClose, false);
}

Window::~Window() {
  stacking().remove(this);
  for (auto it = shared().begin(); it != shared().end();)
    it = it->second == this ? shared().erase(it) : std::next(it);
  controls_.clear();
  timers_.clear();
  if (impl_->widget) {
    impl_->widget->disown();
    delete impl_->widget.data();
  }
}

Window* Window::findShared(std::type_index type) {
  auto it = shared().find(type);
  return it == shared().end() ? nullptr : it->second;
}

void Window::registerShared(std::type_index type, Window* window) { shared()[type] = window; }

void Window::build() {
  Layout();
  CreateControls();
  AddMenuHandlers();
  bringForward(this);
  Event_Open();
  if (!closed_ && impl_->design.visible) Show();
}

void Window::ApplyDesign(const WindowDesign& design) {
  impl_->design = design;
  auto* w = impl_->widget.data();
  Qt::WindowFlags flags = Qt::Window;
  switch (design.frame) {
    case Frame::Document:
      flags |= Qt::WindowTitleHint | Qt::WindowSystemMenuHint;
      if (design.closeButton) flags |= Qt::WindowCloseButtonHint;
      if (design.minimizeButton) flags |= Qt::WindowMinimizeButtonHint;
      flags |= Qt::CustomizeWindowHint;
      break;
    case Frame::PlainBox:
    case Frame::Alert:
      flags = Qt::Dialog | Qt::FramelessWindowHint;
      break;
  }
  w->setWindowFlags(flags);
  w->setWindowTitle(toQ(design.title));
  SetWidth(design.width);
  SetHeight(design.height);
}

void Window::Show() {
  if (closed_) return;
  auto* w = impl_->widget.data();
  if (!impl_->placed) {
    impl_->placed = true;
    QScreen* screen = QGuiApplication::primaryScreen();
    QWidget* parent = nullptr;
    if (impl_->design.placement == Placement::ParentCentered)
      if (Window* front = Frontmost(); front && front != this && front->Visible()) parent = front->widget();
    if (impl_->design.placement != Placement::Default && screen) {
      w->adjustSize();
      const QRect area = parent ? parent->frameGeometry() : screen->availableGeometry();
      const QSize size = w->frameGeometry().size();
      w->move(area.center() - QPoint(size.width() / 2, size.height() / 2));
    }
  }
  bringForward(this);
  w->show();
  w->raise();
  w->activateWindow();
  restoreFocus();
  RefreshMenus();
}

void Window::Hide() {
  if (impl_->widget) {
    impl_->focusOnShow = impl_->widget->focusWidget();
    impl_->widget->hide();
  }
  RefreshMenus();
}

// An activation that reaches a hidden window (the window manager's answer to
// an earlier request) moves its focus on, since the focused control is not
// visible: the window takes back the focus it had, or was given, while hidden.
void Window::restoreFocus() {
  QWidget* focus = impl_->focusOnShow;
  impl_->focusOnShow = nullptr;
  if (focus && focus->window() == impl_->widget && focus->isEnabled() && focus->focusPolicy() != Qt::NoFocus)
    focus->setFocus(Qt::OtherFocusReason);
}

bool Window::Visible() const { return impl_->widget && impl_->widget->isVisible(); }

void Window::Close() {
  if (closed_) return;
  closed_ = true;
  Event_Close();
  for (auto& timer : timers_) timer->Stop();
  for (auto it = shared().begin(); it != shared().end();)
    it = it->second == this ? shared().erase(it) : std::next(it);
  stacking().remove(this);
  if (impl_->widget) impl_->widget->hide();
  RefreshMenus();
  // The Close may come from one of this window's own handlers: end the
  // instance once that handler has returned.
  QTimer::singleShot(0, qApp, [this] { endWhenNoDialogIsOpen(this); });
}

std::string Window::Title() const { return fromQ(impl_->widget->windowTitle()); }
void Window::SetTitle(std::string_view title) { impl_->widget->setWindowTitle(toQ(title)); }

std::int32_t Window::Left() const { return impl_->widget->pos().x(); }
std::int32_t Window::Top() const { return impl_->widget->pos().y(); }
std::int32_t Window::Width() const { return impl_->content->minimumWidth(); }
std::int32_t Window::Height() const { return impl_->content->minimumHeight(); }

void Window::SetLeft(std::int32_t value) {
  impl_->placed = true;
  impl_->widget->move(value, impl_->widget->pos().y());
}
void Window::SetTop(std::int32_t value) {
  impl_->placed = true;
  impl_->widget->move(impl_->widget->pos().x(), value);
}
void Window::SetWidth(std::int32_t value) {
  const auto& d = impl_->design;
  impl_->content->setFixedWidth(clamp(value, d.minWidth, d.maxWidth));
}
void Window::SetHeight(std::int32_t value) {
  const auto& d = impl_->design;
  impl_->content->setFixedHeight(clamp(value, d.minHeight, d.maxHeight));
}

void Window::SetMenuBar(MenuBar* menuBar) {
  menuBar_ = menuBar;
#if !defined(Q_OS_MACOS)
  // Without a global menu bar, the window shows the same menus itself.
  InstallMenuBar(menuBar, impl_->widget);
#endif
}

void Window::AddMenuHandler(const std::string& itemName, MenuHandler handler) {
  menuHandlers_[itemName] = std::move(handler);
}

bool Window::HandleMenu(const std::string& itemName) {
  auto it = menuHandlers_.find(itemName);
  if (it == menuHandlers_.end()) return false;
  MenuHandler handler = it->second;
  handler();
  return true;
}

Control* Window::ControlByName(std::string_view name) const {
  for (auto& control : controls_)
    if (control->name_ == name) return control.get();
  return nullptr;
}

Control* Window::ControlByNameIndex(std::string_view name, int index) const {
  for (auto& control : controls_)
    if (control->name_ == name && control->index_ == index) return control.get();
  return nullptr;
}

int Window::ControlCount(std::string_view name) const {
  return static_cast<int>(std::count_if(controls_.begin(), controls_.end(),
                                        [&](auto& c) { return c->name_ == name; }));
}

void Window::registerControl(std::unique_ptr<Control> control, std::string_view name, Rect rect,
                             bool inArray) {
  control->name_ = name;
  if (inArray) {
    int next = 0;
    for (auto& other : controls_)
      if (other->name_ == name) next = std::max(next, other->index_ + 1);
    control->index_ = next;
  }
  QWidget* w = control->widget();
  w->setObjectName(toQ(name) + (inArray ? QString("_%1").arg(control->index_) : QString()));
  w->setGeometry(rect.left, rect.top, rect.width, rect.height);
  // The members of a control array share their array's place in the tab order.
  if (inArray)
    for (auto it = controls_.rbegin(); it != controls_.rend(); ++it)
      if ((*it)->name_ == name) {
        QWidget* last = (*it)->widget();
        // Qt leaves a widget that takes no focus (a parked one) out of setTabOrder.
        const Qt::FocusPolicy lastPolicy = last->focusPolicy();
        last->setFocusPolicy(Qt::StrongFocus);
        w->setFocusPolicy(Qt::StrongFocus);
        QWidget::setTabOrder(last, w);
        last->setFocusPolicy(lastPolicy);
        break;
      }
  control->placed();
  w->show();
  controls_.push_back(std::move(control));
}

Timer* Window::AddTimer(int period) {
  timers_.push_back(std::make_unique<Timer>(*this));
  timers_.back()->SetPeriod(period);
  return timers_.back().get();
}

Window* Window::Frontmost() {
  // The order of activation alone decides: activating the menu-bar window, a
  // dialog or another program leaves the last active window in front, as a
  // global menu bar does.
  for (Window* window : stacking())
    if (window->Visible() && !window->widget()->isMinimized()) return window;
  return nullptr;
}

std::vector<Window*> Window::OpenWindows() { return {stacking().begin(), stacking().end()}; }

QWidget* Window::widget() const { return impl_->widget; }
QWidget* Window::content() const { return impl_->content; }

QWidget* DialogParent() {
  // Not a notice or splash that closes by itself while the dialog is up.
  for (Window* window : Window::OpenWindows())
    if (window->Visible() && window->impl()->design.frame == Frame::Document) return window->widget();
  return nullptr;
}

}  // namespace platform
