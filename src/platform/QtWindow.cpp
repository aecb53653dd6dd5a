#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLayout>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QTimer>
#include <QWindow>

#include <algorithm>

// Qt's X11 interface exists only where Qt was built with its xcb platform.
#if defined(QM_HAVE_XCB) && QT_CONFIG(xcb)
#define QM_X11_TASK_BAR_STATES 1
#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#endif

#include "Application.h"
#include "QtInternal.h"

namespace platform {
namespace {

std::map<std::type_index, Window*>& shared() {
  static std::map<std::type_index, Window*> windows;
  return windows;
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

// What the window manager puts around a window's client area. Qt knows a
// window's own margins once the window manager has framed it and Qt has
// taken that in; until then, and while the window is hidden, the margins last
// seen on a shown window of the same frame kind stand for them: the window
// manager frames every window of a kind alike.
QMargins frameMargins(const Window& window) {
  static std::map<Frame, QMargins> lastSeen;
  auto learn = [](const QWidget* shown, Frame kind) {
    if (!shown || !shown->isVisible() || !shown->windowHandle()) return false;
    const QMargins margins = shown->windowHandle()->frameMargins();
    if (margins.isNull()) return false;
    lastSeen[kind] = margins;
    return true;
  };
  const Frame kind = window.impl()->design.frame;
  if (learn(window.widget(), kind)) return lastSeen[kind];
  for (Window* other : Window::OpenWindows()) learn(other->widget(), other->impl()->design.frame);
  learn(MenuBarWindow(), Frame::Document);
  if (auto it = lastSeen.find(kind); it != lastSeen.end()) return it->second;
  if (kind == Frame::Document) return QMargins(0, QApplication::style()->pixelMetric(QStyle::PM_TitleBarHeight), 0, 0);
  return {};
}

QRect frameGeometry(const Window& window) {
  QWidget* widget = window.widget();
  widget->layout()->activate();  // the final size, menu-bar strip included
  return widget->geometry().marginsAdded(frameMargins(window));
}

// A frame rectangle moved by the least amount that puts it wholly on the
// screen it is on (the main screen when it is on none). Along a side where it
// is larger than the screen it stays where it is if it starts on the screen,
// else it starts at the screen's edge: its title bar can always be reached.
QRect onScreen(QRect frame) {
  QScreen* screen = QGuiApplication::screenAt(frame.center());
  if (!screen) screen = QGuiApplication::primaryScreen();
  if (!screen) return frame;
  const QRect area = screen->availableGeometry();
  auto fit = [](int start, int length, int areaStart, int areaLength) {
    if (length <= areaLength) return clamp(start, areaStart, areaStart + areaLength - length);
    return start >= areaStart && start < areaStart + areaLength ? start : areaStart;
  };
  frame.moveLeft(fit(frame.left(), frame.width(), area.left(), area.width()));
  frame.moveTop(fit(frame.top(), frame.height(), area.top(), area.height()));
  return frame;
}

// Where a window with the design placement `placement` stands when first shown.
QRect centredFrame(const Window& window, Placement placement) {
  QRect area;
  if (placement == Placement::ParentCentered) {
    // The window it reports on, also while that one is hidden.
    for (Window* other : Window::OpenWindows())
      if (other != &window && other->impl()->shownBefore() && other->impl()->design.frame == Frame::Document) {
        area = frameGeometry(*other);
        break;
      }
  }
  if (area.isNull())
    if (QScreen* screen = QGuiApplication::primaryScreen()) area = screen->availableGeometry();
  QRect frame = frameGeometry(window);
  frame.moveCenter(area.center());
  return frame;
}

// On its first showing a window is kept wholly on a screen, moved the least
// that does it.
void placeFrame(const Window& window, const QRect& frame) {
  window.widget()->setGeometry(onScreen(frame).marginsRemoved(frameMargins(window)));
}

#if defined(QM_X11_TASK_BAR_STATES)
// Task bars and pagers leave out windows in these states; the window manager
// drops the states of a hidden window, so they are set before every showing.
void keepOutOfTaskBars(QWidget* widget) {
  auto* x11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
  if (!x11 || !x11->connection()) return;
  xcb_connection_t* connection = x11->connection();
  auto atom = [connection](const char* name) {
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr);
    const xcb_atom_t result = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    std::free(reply);
    return result;
  };
  const xcb_atom_t states[] = {atom("_NET_WM_STATE_SKIP_TASKBAR"), atom("_NET_WM_STATE_SKIP_PAGER")};
  xcb_change_property(connection, XCB_PROP_MODE_REPLACE, static_cast<xcb_window_t>(widget->winId()),
                      atom("_NET_WM_STATE"), XCB_ATOM_ATOM, 32, 2, states);
}
#else
void keepOutOfTaskBars(QWidget*) {}
#endif

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
  // Sent after the native window is made and before it is mapped.
  if (event->type() == QEvent::Show && plainBox_) keepOutOfTaskBars(this);
  const bool handled = QMainWindow::event(event);
  switch (event->type()) {
    case QEvent::WindowActivate:
      if (owner_ && !owner_->IsClosed()) BringForward(owner_);
      break;
    case QEvent::Show:
    case QEvent::Hide:
    case QEvent::WindowStateChange:
      FrontMayHaveChanged();
      break;
    default:
      break;
  }
  return handled;
}

void WindowWidget::paintEvent(QPaintEvent* event) {
  QMainWindow::paintEvent(event);
  if (!plainBox_) return;
  // Without a frame the box would melt into the window behind it.
  QPainter painter(this);
  painter.setPen(palette().color(QPalette::Dark));
  painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

Window::Window() : impl_(std::make_unique<Impl>()) {
  impl_->widget = new WindowWidget(this);
  impl_->content = new ContentWidget(this);
  impl_->widget->setCentralWidget(impl_->content);
  impl_->widget->layout()->setSizeConstraint(QLayout::SetFixedSize);
  impl_->widget->setAttribute(Qt::WA_DeleteOnClose, false);
}

Window::~Window() {
  ForgetWindow(this);
  for (auto it = shared().begin(); it != shared().end();)
    it = it->second == this ? shared().erase(it) : std::next(it);
  impl_->controls.clear();
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
  BringForward(this);  // one of the open windows from now on
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
  w->setPlainBox(design.frame != Frame::Document);
  w->setWindowTitle(toQ(design.title));
  SetWidth(design.width);
  SetHeight(design.height);
}

void Window::Show() {
  if (closed_) return;
  auto* w = impl_->widget.data();
  stand();
  if (w->isMinimized()) w->setWindowState(w->windowState() & ~Qt::WindowMinimized);
  w->show();
  w->raise();
  w->activateWindow();
  restoreFocus();
  BringForward(this);
}

void Window::stand() {
  auto* w = impl_->widget.data();
  switch (impl_->standing) {
    case Standing::DesignPending:
      if (impl_->design.placement == Placement::Default) {
        impl_->standing = Standing::ByWindowManager;  // which places it as it maps it
        return;
      }
      placeFrame(*this, centredFrame(*this, impl_->design.placement));
      break;
    case Standing::Given:
      placeFrame(*this, frameGeometry(*this));
      break;
    case Standing::ByWindowManager:
    case Standing::Pinned:
      // Mapped again with no position of its own, the window manager would
      // place it anew: the place it has is given as its own.
      if (!w->isVisible())
        if (QWindow* handle = w->windowHandle()) handle->setGeometry(w->geometry());
      break;
  }
  impl_->standing = Standing::Pinned;
}

void Window::moveContentTo(QPoint at) {
  const QPoint from(Left(), Top());
  // Set to where it stands (a restore without a stored entry), a window
  // keeps what placed it.
  if (at == from) return;
  auto* w = impl_->widget.data();
  // Client-area geometry both ways: move() would place the frame once shown.
  w->setGeometry(w->geometry().translated(at - from));
  impl_->standing = impl_->shownBefore() ? Standing::Pinned : Standing::Given;
}

QPoint Window::contentOffset() const {
  if (QLayout* layout = impl_->widget->layout()) layout->activate();
  return impl_->content->pos();
}

void Window::Hide() {
  if (impl_->widget) {
    frameMargins(*this);  // seen while shown, its frame stands for it while hidden
    impl_->focusOnShow = impl_->widget->focusWidget();
    impl_->widget->hide();
  }
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
  ForgetWindow(this);
  if (impl_->widget) impl_->widget->hide();
  // The Close may come from one of this window's own handlers: end the
  // instance once that handler has returned.
  QTimer::singleShot(0, qApp, [this] { endWhenNoDialogIsOpen(this); });
}

std::string Window::Title() const { return fromQ(impl_->widget->windowTitle()); }
void Window::SetTitle(std::string_view title) { impl_->widget->setWindowTitle(toQ(title)); }

std::int32_t Window::Left() const { return impl_->widget->geometry().x() + contentOffset().x(); }
std::int32_t Window::Top() const { return impl_->widget->geometry().y() + contentOffset().y(); }
std::int32_t Window::Width() const { return impl_->content->minimumWidth(); }
std::int32_t Window::Height() const { return impl_->content->minimumHeight(); }

void Window::SetLeft(std::int32_t value) { moveContentTo(QPoint(value, Top())); }
void Window::SetTop(std::int32_t value) { moveContentTo(QPoint(Left(), value)); }
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

Timer* Window::AddTimer(int period) {
  timers_.push_back(std::make_unique<Timer>(*this));
  timers_.back()->SetPeriod(period);
  return timers_.back().get();
}

QWidget* Window::widget() const { return impl_->widget; }
QWidget* Window::content() const { return impl_->content; }

QWidget* DialogParent() {
  // Not a notice or splash that closes by itself while the dialog is up.
  for (Window* window : Window::OpenWindows())
    if (window->Visible() && window->impl()->design.frame == Frame::Document) return window->widget();
  return nullptr;
}

}  // namespace platform
