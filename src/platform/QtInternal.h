#pragma once
// Shared between the platform layer's Qt files; nothing outside src/platform
// includes it.
#include <QAction>
#include <QImage>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPixmap>
#include <QPointer>
#include <QString>

#include <list>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "Menu.h"
#include "Picture.h"
#include "Window.h"

namespace platform {

inline QString toQ(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}
inline std::string fromQ(const QString& text) { return text.toStdString(); }

struct Picture::Image {
  QPixmap pixmap;
};

struct MenuItem::Impl {
  QAction* action = nullptr;  // owned
  QMenu* menu = nullptr;      // owned, made once the item holds items
  bool enabled = true;
};

// Shows the menu bar's menus in a QMenuBar of a window.
void InstallMenuBar(MenuBar* menuBar, QMainWindow* window);
// The menu-bar windows that show `menuBar` learn of a new menu on it.
void MenuBarChanged(MenuBar* menuBar);
QMenu* EnsureMenu(MenuItem* item);

// The top-level widget of a Window.
class WindowWidget : public QMainWindow {
 public:
  explicit WindowWidget(Window* owner) : owner_(owner) {}
  Window* owner() const { return owner_; }
  void disown() { owner_ = nullptr; }
  // A window without a title bar draws its own edge and stays out of task bars.
  void setPlainBox(bool plainBox) { plainBox_ = plainBox; }

 protected:
  // Tab and Shift+Tab follow the controls' tab order.
  bool focusNextPrevChild(bool next) override;
  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  bool event(QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  Window* owner_;
  bool plainBox_ = false;
};

// Where a window stands. Whoever decides it says so; Window::stand(), right
// before each showing, alone turns it into geometry.
enum class Standing {
  DesignPending,    // never shown and given no bounds: its design's placement applies
  Given,            // never shown, bounds given by the program (stored bounds)
  ByWindowManager,  // shown with no position of its own: the window manager chose one
  Pinned,           // shown: it stays where it stands until the user or the program moves it
};

// A window's controls: owned in the order they were made, found by name and
// by index in logarithmic time, and in tab order, where the members of a
// control array share their array's place, in the order of their indexes.
class ControlSet {
 public:
  int nextFreeIndex(std::string_view arrayName) const;
  // Registers a control under its name and index (-1 outside an array).
  void add(std::unique_ptr<Control> control);
  Control* find(std::string_view name, int index) const;  // index -1: a control outside an array
  Control* first(std::string_view name) const;
  int count(std::string_view name) const;
  // The control whose widget this is or lies in.
  Control* holding(const QWidget* widget) const;
  // The next control after `from` in tab order (before it, backwards) that
  // Tab can reach, round the end; from none, the first (the last). nullptr
  // when none but `from` can.
  Control* nextTabStop(const Control* from, bool forwards) const;
  void clear();

 private:
  struct Named {
    Control* single = nullptr;
    std::vector<Control*> members;  // members[i] has index i
  };
  std::vector<std::unique_ptr<Control>> owned_;
  std::map<std::string, Named, std::less<>> named_;
  std::list<Control*> tabOrder_;
  std::unordered_map<const QWidget*, std::list<Control*>::iterator> tabPlace_;
};

struct Window::Impl {
  QPointer<WindowWidget> widget;
  QWidget* content = nullptr;
  WindowDesign design;
  Standing standing = Standing::DesignPending;
  bool shownBefore() const { return standing == Standing::ByWindowManager || standing == Standing::Pinned; }
  ControlSet controls;
  QPointer<QWidget> focusOnShow;  // while hidden: the control to focus when shown again
};

// The parent for a dialog: the frontmost window of the program, if any.
QWidget* DialogParent();

// The window that shows the menu bar where the OS has no global one; nullptr on macOS.
QMainWindow* MenuBarWindow();

// Brings the enabled state of the menus up to date (not while quitting):
// when the front window changes, right before a popup opens and right before
// a shortcut acts.
void RefreshMenus();

// Which window is in front (QtFront.cpp). A window joins the order, or goes
// to its top, when it is activated, shown, or pressed on its own menu bar.
void BringForward(Window* window);
void BringForward(QWidget* topLevel);  // the Window whose top-level widget this is, if any
void ForgetWindow(Window* window);     // closed or ended
// Shown, hidden, minimised or restored: the front window may have changed.
void FrontMayHaveChanged();

}  // namespace platform
