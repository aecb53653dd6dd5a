#include "Desktop.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QWidget>

#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

#include <filesystem>
#include <thread>

#include "TestSupport.h"
#include "platform/FolderItem.h"
#include "platform/QtInternal.h"
#include "platform/Window.h"
#include "prefs/REALEasyPrefs.h"
#include "shell/StartUp.h"
#include "shell/WindowAbout.h"

namespace desktop {
namespace {

// A window may go away between two requests: its errors are expected.
int ignoreErrors(Display*, XErrorEvent*) { return 0; }

// The tests' own connection, beside Qt's.
Display* X() {
  static Display* display = [] {
    Display* d = XOpenDisplay(nullptr);
    if (!d) {
      ADD_FAILURE() << "cannot open the X display \"" << qgetenv("DISPLAY").constData() << "\"";
      std::abort();
    }
    XSetErrorHandler(ignoreErrors);
    return d;
  }();
  return display;
}

Atom atom(const char* name) { return XInternAtom(X(), name, False); }

std::vector<unsigned long> property(XWindow window, const char* name, Atom type) {
  Atom actual = None;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  std::vector<unsigned long> values;
  if (XGetWindowProperty(X(), window, atom(name), 0, 1024, False, type, &actual, &format, &count, &after,
                         &data) == Success &&
      data) {
    if (format == 32) {
      auto* longs = reinterpret_cast<unsigned long*>(data);  // Xlib hands 32-bit items as longs
      values.assign(longs, longs + count);
    }
    XFree(data);
  }
  return values;
}

std::vector<std::string> atomNames(const std::vector<unsigned long>& atoms) {
  std::vector<std::string> names;
  for (unsigned long a : atoms) {
    if (char* name = XGetAtomName(X(), a)) {
      names.emplace_back(name);
      XFree(name);
    }
  }
  return names;
}

void flush() { XSync(X(), False); }

void pause(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

unsigned keycodeFor(KeySym keysym, bool* needsShift) {
  const KeyCode code = XKeysymToKeycode(X(), keysym);
  *needsShift = code && XkbKeycodeToKeysym(X(), code, 0, 0) != keysym &&
                XkbKeycodeToKeysym(X(), code, 0, 1) == keysym;
  return code;
}

void pressKeys(const std::vector<KeySym>& modifiers, KeySym keysym) {
  bool shift = false;
  const unsigned code = keycodeFor(keysym, &shift);
  ASSERT_NE(code, 0u) << "no key for keysym " << keysym;
  std::vector<unsigned> held;
  for (KeySym m : modifiers) held.push_back(XKeysymToKeycode(X(), m));
  if (shift) held.push_back(XKeysymToKeycode(X(), XK_Shift_L));
  for (unsigned m : held) XTestFakeKeyEvent(X(), m, True, CurrentTime);
  XTestFakeKeyEvent(X(), code, True, CurrentTime);
  XTestFakeKeyEvent(X(), code, False, CurrentTime);
  for (auto it = held.rbegin(); it != held.rend(); ++it) XTestFakeKeyEvent(X(), *it, False, CurrentTime);
  flush();
  settle();
}

}  // namespace

XWindow xid(const QWidget* window) { return window ? static_cast<XWindow>(window->winId()) : 0; }

XWindow frameOf(XWindow client) {
  XWindow window = client;
  for (;;) {
    ::Window root = 0, parent = 0, *children = nullptr;
    unsigned count = 0;
    if (!XQueryTree(X(), window, &root, &parent, &children, &count)) return window;
    if (children) XFree(children);
    if (!parent || parent == root) return window;
    window = parent;
  }
}

QRect rootGeometry(XWindow window) {
  XWindowAttributes attributes{};
  if (!XGetWindowAttributes(X(), window, &attributes)) return {};
  int x = 0, y = 0;
  ::Window child = 0;
  XTranslateCoordinates(X(), window, DefaultRootWindow(X()), 0, 0, &x, &y, &child);
  // Its border (a window manager's frame may draw one) included.
  const int border = attributes.border_width;
  return QRect(x - border, y - border, attributes.width + 2 * border, attributes.height + 2 * border);
}

bool viewable(XWindow window) {
  XWindowAttributes attributes{};
  return XGetWindowAttributes(X(), window, &attributes) && attributes.map_state == IsViewable;
}

std::optional<Extents> frameExtents(XWindow client) {
  const auto v = property(client, "_NET_FRAME_EXTENTS", XA_CARDINAL);
  if (v.size() != 4) return std::nullopt;
  return Extents{int(v[0]), int(v[1]), int(v[2]), int(v[3])};
}

std::string wmName(XWindow client) {
  Atom actual = None;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  std::string name;
  if (XGetWindowProperty(X(), client, atom("_NET_WM_NAME"), 0, 4096, False, atom("UTF8_STRING"), &actual,
                         &format, &count, &after, &data) == Success &&
      data) {
    name.assign(reinterpret_cast<char*>(data), count);
    XFree(data);
  }
  return name;
}

XWindow activeWindow() {
  const auto v = property(DefaultRootWindow(X()), "_NET_ACTIVE_WINDOW", XA_WINDOW);
  return v.empty() ? 0 : v[0];
}

std::vector<std::string> wmState(XWindow client) {
  return atomNames(property(client, "_NET_WM_STATE", XA_ATOM));
}

std::vector<std::string> windowType(XWindow client) {
  return atomNames(property(client, "_NET_WM_WINDOW_TYPE", XA_ATOM));
}

bool hasState(XWindow client, const std::string& state) {
  const auto states = wmState(client);
  return std::find(states.begin(), states.end(), state) != states.end();
}

QRect screenRect() { return rootGeometry(DefaultRootWindow(X())); }

bool waitFor(const std::function<bool()>& done, int ms) {
  flush();
  return testing_support::WaitUntil(done, ms);
}

void settle(int ms) {
  flush();
  QElapsedTimer clock;
  clock.start();
  while (clock.elapsed() < ms) QApplication::processEvents(QEventLoop::AllEvents, 5);
}

bool waitFramed(const QWidget* window, int ms) {
  return waitFor(
      [window] {
        const XWindow client = xid(window);
        return window->isVisible() && viewable(client) && frameOf(client) != client &&
               frameExtents(client) && window->geometry().topLeft() == rootGeometry(client).topLeft() &&
               window->frameGeometry() == rootGeometry(frameOf(client));
      },
      ms);
}

bool waitActive(const QWidget* window, int ms) {
  return waitFor(
      [window] { return activeWindow() == xid(window) && QApplication::activeWindow() == window; }, ms);
}

void movePointer(QPoint global) {
  XTestFakeMotionEvent(X(), -1, global.x(), global.y(), CurrentTime);
  flush();
  settle(20);
}

void press(int button) {
  XTestFakeButtonEvent(X(), static_cast<unsigned>(button), True, CurrentTime);
  flush();
}

void release(int button) {
  XTestFakeButtonEvent(X(), static_cast<unsigned>(button), False, CurrentTime);
  flush();
}

void click(QPoint global, int button) {
  movePointer(global);
  press(button);
  release(button);
  settle();
}

void doubleClick(QPoint global, int button) {
  movePointer(global);
  press(button);
  release(button);
  pause(30);
  press(button);
  release(button);
  settle();
}

void click(const QWidget* widget, std::optional<QPoint> local, int button) {
  click(widget->mapToGlobal(local.value_or(widget->rect().center())), button);
}

void doubleClick(const QWidget* widget, std::optional<QPoint> local, int button) {
  doubleClick(widget->mapToGlobal(local.value_or(widget->rect().center())), button);
}

void key(const std::string& combo) {
  std::vector<KeySym> modifiers;
  std::string rest = combo;
  for (std::size_t plus; rest.size() > 1 && (plus = rest.find('+')) != std::string::npos;) {
    const std::string name = rest.substr(0, plus);
    rest = rest.substr(plus + 1);
    if (name == "ctrl") modifiers.push_back(XK_Control_L);
    else if (name == "shift") modifiers.push_back(XK_Shift_L);
    else if (name == "alt") modifiers.push_back(XK_Alt_L);
    else if (name == "super") modifiers.push_back(XK_Super_L);
    else ADD_FAILURE() << "unknown modifier " << name;
  }
  // A printable character's keysym is its code; longer names are X keysym names.
  const KeySym keysym = rest.size() == 1 ? KeySym(static_cast<unsigned char>(rest[0])) : XStringToKeysym(rest.c_str());
  ASSERT_NE(keysym, KeySym(NoSymbol)) << "unknown key " << rest;
  pressKeys(modifiers, keysym);
}

void type(const std::string& text) {
  for (char c : text) pressKeys({}, KeySym(static_cast<unsigned char>(c)));
}

void dragTitleBar(const QWidget* window, QPoint by) {
  const XWindow client = xid(window);
  const QRect frame = rootGeometry(frameOf(client));
  const int titleHeight = frameExtents(client).value_or(Extents{}).top;
  ASSERT_GT(titleHeight, 0) << "the window has no title bar";
  // Left of the title's middle, clear of the buttons at either end.
  QPoint at(frame.left() + frame.width() / 3, frame.top() + titleHeight / 2);
  movePointer(at);
  press();
  constexpr int steps = 8;
  for (int i = 1; i <= steps; ++i) {
    movePointer(at + by * i / steps);
    pause(10);
  }
  release();
  settle(100);
}

void minimize(const QWidget* window) {
  XIconifyWindow(X(), xid(window), DefaultScreen(X()));
  flush();
}

void DesktopApp::SetUp() {
  // One home per process: every test starts from empty folders in it.
  const QString home = QDir::homePath();
  for (const char* folder : {"/.config", "/.local/share", "/Desktop"}) {
    QDir(home + folder).removeRecursively();
    QDir().mkpath(home + folder);
  }
  app = std::make_unique<App>();
}

void DesktopApp::TearDown() {
  if (!app) return;
  app->Quit();
  waitFor([] { return platform::Window::OpenWindows().empty(); }, 3000);
  settle(50);  // closed windows end on the next pass of the event loop
  app.reset();
  settle(50);
}

void DesktopApp::Start(bool keepSplash) {
  InstallApplication(*app);
  app->Open();
  if (!keepSplash)
    for (platform::Window* window : platform::Window::OpenWindows())
      if (auto* about = dynamic_cast<WindowAbout*>(window)) about->Close();
  // As for a user, who cannot reach the menus before.
  if (QMainWindow* bar = platform::MenuBarWindow()) {
    EXPECT_TRUE(waitFramed(bar));
  }
  settle();
}

void DesktopApp::AddDescription(const std::string& name, const std::string& text) {
  const platform::FolderItem library = RELibraryFolder();
  std::filesystem::create_directories(library.Path());
  testing_support::WriteFile(library.Child(name).AbsolutePath(), text);
}

std::string DesktopApp::PrefFile() {
  return testing_support::ReadFile(
      platform::SpecialFolder::Preferences().Child(REALEasyPrefs::kBundleIdentifier).AbsolutePath());
}

void DesktopApp::WritePrefFile(const std::string& text) {
  const platform::FolderItem file = platform::SpecialFolder::Preferences().Child(REALEasyPrefs::kBundleIdentifier);
  std::filesystem::create_directories(file.Path().parent_path());
  testing_support::WriteFile(file.AbsolutePath(), text);
}

}  // namespace desktop
