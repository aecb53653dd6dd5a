#pragma once
// The desktop tier: the test process is the application, on Qt's xcb platform,
// on an X server with a window manager (scripts/with-desktop starts both).
// Widgets are inspected directly; what the window manager did is read back
// through X; input is real: XTest makes the X server deliver it.
#include <QPoint>
#include <QRect>
#include <QSize>
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "shell/App.h"

class QWidget;

// Rectangles, points and sizes in failure messages as "x,y wxh".
void PrintTo(const QRect& rect, std::ostream* out);
void PrintTo(const QPoint& point, std::ostream* out);
void PrintTo(const QSize& size, std::ostream* out);

namespace desktop {

using XWindow = unsigned long;

// ---- What the window manager did, read through X

// The X window of a top-level widget (its client window).
XWindow xid(const QWidget* window);
// The window manager's frame around a client: its top-level ancestor below
// the root (the client itself when nothing reparented it).
XWindow frameOf(XWindow client);
// A window's rectangle in root coordinates.
QRect rootGeometry(XWindow window);
// Mapped and viewable.
bool viewable(XWindow window);

struct Extents {
  int left = 0, right = 0, top = 0, bottom = 0;
};
// _NET_FRAME_EXTENTS, none when the window manager has not set it.
std::optional<Extents> frameExtents(XWindow client);
// _NET_WM_NAME as the window manager shows it (UTF-8).
std::string wmName(XWindow client);
// _NET_ACTIVE_WINDOW of the root window (0 when none).
XWindow activeWindow();
// _NET_WM_STATE and _NET_WM_WINDOW_TYPE as atom names
// ("_NET_WM_STATE_HIDDEN", "_NET_WM_WINDOW_TYPE_DIALOG", ...).
std::vector<std::string> wmState(XWindow client);
std::vector<std::string> windowType(XWindow client);
bool hasState(XWindow client, const std::string& state);
// The root window's size.
QRect screenRect();

// ---- Waiting, with the event loop running

// Runs the event loop until `done` is true or `ms` have passed; returns done().
bool waitFor(const std::function<bool()>& done, int ms = 5000);
// Runs the event loop for `ms` (after the X server has taken every request).
void settle(int ms = 50);
// The window manager has mapped and framed the window (_NET_FRAME_EXTENTS set),
// and Qt has taken it in: its client position and its frame are the ones X
// shows (Qt learns of the frame some events after X shows it).
bool waitFramed(const QWidget* window, int ms = 5000);
// The window manager has handled everything the application asked of it
// (showing, hiding, moving) until now.
bool waitWindowManager(int ms = 5000);
// The window is the window manager's active window and Qt's active window.
bool waitActive(const QWidget* window, int ms = 5000);
// Which window X and Qt each hold active, and the modal dialog, for messages.
std::string activeWindows();

// ---- Real input through the X server (XTest)
// A click on one of the application's windows and a key return once the
// application has taken them in (a test fails when they never reach it):
// what they did can be read at once. press() and release() return at once.

void movePointer(QPoint global);
void press(int button = 1);
void release(int button = 1);
void click(QPoint global, int button = 1);
// Two clicks that the application takes for one double click.
void doubleClick(QPoint global, int button = 1);
// At `local` inside `widget` (its centre when omitted), once X shows the
// widget's window there.
void click(const QWidget* widget, std::optional<QPoint> local = std::nullopt, int button = 1);
void doubleClick(const QWidget* widget, std::optional<QPoint> local = std::nullopt, int button = 1);
// While it lives, two clicks at one place make one double click however long
// the second waits (a user who watches what the first did), and the double
// clicks the application sees are counted.
class UnhurriedDoubleClick {
 public:
  UnhurriedDoubleClick();
  ~UnhurriedDoubleClick();
  UnhurriedDoubleClick(const UnhurriedDoubleClick&) = delete;
  UnhurriedDoubleClick& operator=(const UnhurriedDoubleClick&) = delete;
  int doubleClicks() const;

 private:
  class Counter;
  int interval_;
  std::unique_ptr<Counter> counter_;
};
// One key with modifiers, as xdotool names them: "Return", "Escape", "Tab",
// "ctrl+w", "shift+Tab", "a", "3". The window with the keyboard is one of the
// application's.
void key(const std::string& combo);
// Types printable ASCII text key by key.
void type(const std::string& text);
// Return pressed and released, leaving the application to take it in its own
// time (key() would run the event loop meanwhile): for a modal dialog's own
// loop, from inside the handler that answers it.
void returnWithoutWaiting();

// ---- What a user does to the window manager's frame

// Drags the window by its title bar (press, move, release with the pointer).
void dragTitleBar(const QWidget* window, QPoint by);
// Asks the window manager to minimise the window, as a task bar does.
void minimize(const QWidget* window);

// ---- The application, started as main() starts it, in a clean home

class DesktopApp : public ::testing::Test {
 protected:
  void SetUp() override;     // empties the home's folders, makes the App
  void TearDown() override;  // quits, waits until every window is gone

  // Start-up as the event loop runs it. The splash is closed at once unless
  // `keepSplash`, so that it takes no activation from what a test opens.
  void Start(bool keepSplash = false);
  // A file in the RE library folder (made with the folders when needed).
  void AddDescription(const std::string& name, const std::string& text);
  // The preference file's text; seeds it before Start().
  static std::string PrefFile();
  static void WritePrefFile(const std::string& text);

  std::unique_ptr<App> app;
};

}  // namespace desktop
