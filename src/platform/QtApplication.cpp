#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QLayout>
#include <QTimer>
#include <QWindow>

#include <algorithm>
#include <csignal>
#include <functional>

#include "Application.h"
#include "QtInternal.h"

#ifndef QM_VERSION_MAJOR
#define QM_VERSION_MAJOR 0
#define QM_VERSION_MINOR 0
#define QM_VERSION_PATCH 0
#define QM_STAGE_CODE 0
#define QM_NON_RELEASE_VERSION 0
#endif

namespace platform {
namespace {

Application* theApplication = nullptr;

// Where the OS has no global menu bar, the application's menus live in a
// small window of their own; closing it quits.
class MenuBarWindowWidget : public QMainWindow {
 protected:
  void closeEvent(QCloseEvent* event) override {
    if (Application* app = Application::Instance(); app && !app->Quitting()) {
      event->ignore();
      // Let the close finish before the windows go.
      QTimer::singleShot(0, qApp, [] {
        if (Application* a = Application::Instance()) a->Quit();
      });
      return;
    }
    event->accept();
  }
};

QPointer<QMainWindow> menuBarWindow;
#if defined(Q_OS_MACOS)
QMenuBar* globalMenuBar = nullptr;
#endif

// Besides following the front window, the menus are brought up to date
// right before a shortcut acts (so that a disabled item's shortcut does
// nothing) and right before a popup opens: a press or a key on a menu bar
// opens one before the menu's aboutToShow, so a title's state must be right
// by then. The shortcut event comes several times per key press: the
// refresh is cheap and gives the same result each time.
class MenuRefresher : public QObject {
 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    switch (event->type()) {
      case QEvent::ShortcutOverride:
        RefreshMenus();
        break;
      case QEvent::MouseButtonPress:
      case QEvent::MouseButtonDblClick:
      case QEvent::KeyPress:
        if (auto* bar = qobject_cast<QMenuBar*>(watched)) {
          // A press on a window's own menu bar brings that window forward,
          // even before the window manager has told us it is active.
          if (event->type() != QEvent::KeyPress) BringForward(bar->window());
          RefreshMenus();
        }
        break;
      default:
        break;
    }
    return QObject::eventFilter(watched, event);
  }
};

void applyAutoEnable(MenuItem* item) {
  for (int i = 0; i < item->Count(); ++i) {
    MenuItem* child = item->Item(i);
    child->SetEnabled(child->AutoEnable());
    applyAutoEnable(child);
  }
}

}  // namespace

struct Application::Impl {
  MenuRefresher refresher;
};

void RefreshMenus() {
  if (Application* app = Application::Instance(); app && !app->Quitting()) app->UpdateMenus();
}

QMainWindow* MenuBarWindow() { return menuBarWindow; }

Application::Application()
    : MajorVersion(QM_VERSION_MAJOR),
      MinorVersion(QM_VERSION_MINOR),
      BugVersion(QM_VERSION_PATCH),
      StageCode(QM_STAGE_CODE),
      NonReleaseVersion(QM_NON_RELEASE_VERSION),
      impl_(new Impl) {
  theApplication = this;
  qApp->installEventFilter(&impl_->refresher);
}

Application::~Application() {
  if (qApp) qApp->removeEventFilter(&impl_->refresher);
  delete menuBarWindow;
  if (theApplication == this) theApplication = nullptr;
  delete impl_;
}

Application* Application::Instance() { return theApplication; }

void Application::SetMenuBar(MenuBar* menuBar) {
  menuBar_ = menuBar;
#if defined(Q_OS_MACOS)
  if (!globalMenuBar) globalMenuBar = new QMenuBar(nullptr);
  globalMenuBar->clear();
  for (int i = 0; i < menuBar->Count(); ++i) globalMenuBar->addAction(menuBar->Item(i)->impl()->action);
#else
  if (!menuBarWindow) {
    menuBarWindow = new MenuBarWindowWidget();
    menuBarWindow->setWindowTitle(QApplication::applicationDisplayName());
    menuBarWindow->setObjectName("MenuBarWindow");
    menuBarWindow->setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                                  Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                                  Qt::WindowCloseButtonHint);
    menuBarWindow->setCentralWidget(new QWidget());
    // As large as its menu bar, and no larger: it only stands in for one.
    menuBarWindow->layout()->setSizeConstraint(QLayout::SetFixedSize);
  }
  InstallMenuBar(menuBar, menuBarWindow);
  // Wide enough for its title too.
  menuBarWindow->centralWidget()->setFixedSize(std::max(menuBarWindow->menuBar()->sizeHint().width(), 220),
                                               0);
#endif
}

void Application::AddMenuHandler(const std::string& itemName, MenuHandler handler) {
  handlers_[itemName] = std::move(handler);
}

void Application::Open() {
  if (menuBarWindow && !menuBarWindow->isVisible()) menuBarWindow->show();
  Event_Open();
}

void Application::Quit() {
  if (quitting_) return;
  quitting_ = true;
  // Windows close first, so that what their Close events store reaches the
  // file when the application's Close event writes it.
  for (int round = 0; round < 8; ++round) {
    auto windows = Window::OpenWindows();
    if (windows.empty()) break;
    for (Window* window : windows)
      if (!window->IsClosed()) window->Close();
  }
  if (!closed_) {
    closed_ = true;
    Event_Close();
  }
  if (menuBarWindow) menuBarWindow->close();
  QCoreApplication::quit();
}

void Application::UpdateMenus() {
  if (!menuBar_) return;
  applyAutoEnable(menuBar_);
  Event_EnableMenuItems();
  if (Window* front = Window::Frontmost()) front->Event_EnableMenuItems();
}

bool Application::dispatch(const std::string& itemName) {
  if (itemName.empty()) return false;
  if (Window* front = Window::Frontmost(); front && front->HandleMenu(itemName)) return true;
  auto it = handlers_.find(itemName);
  if (it == handlers_.end()) return false;
  MenuHandler handler = it->second;  // the handler may rebind
  handler();
  return true;
}

void Application::Choose(MenuItem* item) {
  if (!item) return;
  if (item->role() == MenuItem::Role::Quit) {
    Quit();
    return;
  }
  if (!dispatch(item->Name())) item->Event_Action();
}

struct Runtime::Impl {
  explicit Impl(int& argc, char** argv) : app(argc, argv) {}
  QApplication app;
};

Runtime::Runtime(int& argc, char** argv) {
  // A full disk or a file-size limit must give a write error, not end the program.
  std::signal(SIGXFSZ, SIG_IGN);
  impl_ = new Impl(argc, argv);
  // No display name: Qt would append it to every title the window manager shows.
  QApplication::setApplicationName("Quirlomatic");
  QApplication::setQuitOnLastWindowClosed(false);
}

Runtime::~Runtime() { delete impl_; }

int Runtime::Run(Application& app) {
  QTimer::singleShot(0, &impl_->app, [&app] { app.Open(); });
  // The OS may end the application itself (Cmd+Q from the Dock, logout).
  QObject::connect(&impl_->app, &QCoreApplication::aboutToQuit, [&app] { app.Quit(); });
  return impl_->app.exec();
}

WaitCursor::WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
WaitCursor::~WaitCursor() { QApplication::restoreOverrideCursor(); }

}  // namespace platform
