#include "Desktop.h"

#include <QAbstractNativeEventFilter>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QStyleHints>
#include <QWidget>

#include <xcb/xcb.h>

#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XI2.h>
#include <X11/extensions/XTest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <thread>

#include "TestSupport.h"
#include "platform/FolderItem.h"
#include "platform/QtInternal.h"
#include "platform/Window.h"
#include "prefs/REALEasyPrefs.h"
#include "shell/StartUp.h"
#include "shell/WindowAbout.h"

void PrintTo(const QRect& rect, std::ostream* out) {
  *out << rect.x() << "," << rect.y() << " " << rect.width() << "x" << rect.height();
}
void PrintTo(const QPoint& point, std::ostream* out) { *out << point.x() << "," << point.y(); }
void PrintTo(const QSize& size, std::ostream* out) { *out << size.width() << "x" << size.height(); }

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

// The key and button releases that have reached the application's own X
// connection, whether or not a widget then takes them: what the server sent
// it, counted as Qt reads it.
class Arrivals : public QAbstractNativeEventFilter {
 public:
  Arrivals() {
    int event = 0, error = 0;
    if (!XQueryExtension(X(), "XInputExtension", &xinput_, &event, &error)) xinput_ = -1;
  }
  bool nativeEventFilter(const QByteArray& type, void* message, qintptr*) override {
    if (type != "xcb_generic_event_t") return false;
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    switch (event->response_type & 0x7f) {
      case XCB_KEY_RELEASE:
        ++keys[reinterpret_cast<const xcb_key_release_event_t*>(event)->detail];
        break;
      case XCB_BUTTON_RELEASE:  // without XInput 2
        ++buttons;
        break;
      case XCB_GE_GENERIC:  // Qt reads the pointer through XInput 2
        if (const auto* ge = reinterpret_cast<const xcb_ge_generic_event_t*>(event);
            ge->extension == xinput_ && ge->event_type == XI_ButtonRelease) {
          // Each release comes twice, from the device that made it and, at
          // times a read later, from the core pointer, which Qt takes input from.
          std::uint16_t device = 0;  // follows the event type (XIDeviceEvent)
          std::memcpy(&device, reinterpret_cast<const char*>(event) + 10, sizeof device);
          if (device == kCorePointer) ++buttons;
        }
        break;
    }
    return false;
  }
  std::map<unsigned, int> keys;  // by key code
  int buttons = 0;

 private:
  static constexpr std::uint16_t kCorePointer = 2;  // the X server makes it first, as device 2
  int xinput_ = -1;
};

Arrivals& arrivals() {
  static Arrivals* filter = [] {
    auto* f = new Arrivals;  // lives as long as the application
    qApp->installNativeEventFilter(f);
    return f;
  }();
  return *filter;
}

// Runs the event loop until `arrived`, then until Qt has handed on all it
// read with it (it hands X events to its windows a pass or more later).
bool waitTakenIn(const std::function<bool()>& arrived) {
  flush();
  const bool ok = testing_support::WaitUntil(arrived, 5000);
  QApplication::processEvents(QEventLoop::AllEvents, 1000);  // until nothing is left to do
  return ok;
}

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
  const int before = arrivals().keys[code];
  for (unsigned m : held) XTestFakeKeyEvent(X(), m, True, CurrentTime);
  XTestFakeKeyEvent(X(), code, True, CurrentTime);
  XTestFakeKeyEvent(X(), code, False, CurrentTime);
  for (auto it = held.rbegin(); it != held.rend(); ++it) XTestFakeKeyEvent(X(), *it, False, CurrentTime);
  // Keys go to the window that has the keyboard: one of the application's.
  EXPECT_TRUE(waitTakenIn([&] { return arrivals().keys[code] > before; }))
      << "the key never reached the application; " << activeWindows();
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
        return window->isVisible() && viewable(client) && frameOf(client) != client && frameExtents(client) &&
               window->geometry().topLeft() == rootGeometry(client).topLeft() &&
               window->frameGeometry() == rootGeometry(frameOf(client));
      },
      ms);
}

bool waitWindowManager(int ms) {
  // Qt's requests reach the server first, and with them the events they
  // raise for the window manager; it answers a request for frame extents
  // after those.
  auto* x11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
  if (!x11) return false;
  xcb_connection_t* qt = x11->connection();
  std::free(xcb_get_input_focus_reply(qt, xcb_get_input_focus(qt), nullptr));

  static const ::Window probe = XCreateSimpleWindow(X(), DefaultRootWindow(X()), 0, 0, 1, 1, 0, 0, 0);
  XDeleteProperty(X(), probe, atom("_NET_FRAME_EXTENTS"));
  XEvent request{};
  request.xclient.type = ClientMessage;
  request.xclient.window = probe;
  request.xclient.message_type = atom("_NET_REQUEST_FRAME_EXTENTS");
  request.xclient.format = 32;
  XSendEvent(X(), DefaultRootWindow(X()), False, SubstructureRedirectMask | SubstructureNotifyMask, &request);
  return waitFor([] { return frameExtents(probe).has_value(); }, ms);
}

bool waitActive(const QWidget* window, int ms) {
  return waitFor(
      [window] { return activeWindow() == xid(window) && QApplication::activeWindow() == window; }, ms);
}

std::string activeWindows() {
  auto name = [](const QWidget* w) {
    return w ? "\"" + w->windowTitle().toStdString() + "\" (" + w->metaObject()->className() + ")"
             : std::string("none");
  };
  const XWindow x = activeWindow();
  std::string xName = x ? "\"" + wmName(x) + "\"" : "none";
  for (QWidget* w : QApplication::topLevelWidgets())
    if (x && w->internalWinId() == x) xName = name(w);
  return "active in X: " + xName + ", in Qt: " + name(QApplication::activeWindow()) +
         ", modal: " + name(QApplication::activeModalWidget()) +
         ", popup: " + name(QApplication::activePopupWidget());
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

namespace {

// `count` clicks at `global`; where one of the application's windows stands
// there, each once it has taken in the one before. The window manager holds
// the pointer after each press (it focuses and raises the window, then lets
// the press through): a press sent meanwhile may be lost to the application.
void clicks(QPoint global, int button, int count) {
  movePointer(global);
  const bool ours = QApplication::topLevelAt(global) != nullptr;
  for (int i = 0; i < count; ++i) {
    const int before = arrivals().buttons;
    press(button);
    release(button);
    if (!ours) {
      settle();
      continue;
    }
    EXPECT_TRUE(waitTakenIn([&] { return arrivals().buttons > before; }))
        << "the click at " << global.x() << "," << global.y() << " never reached the application";
  }
}

// Where `local` in `widget` is on the screen, once a click there reaches the
// widget's window: that window is the one X shows at that point, and Qt
// knows where it stands (a window closed just before may still be on the
// screen, its place may not have reached Qt yet).
QPoint reachable(const QWidget* widget, std::optional<QPoint> local) {
  const QWidget* window = widget->window();
  auto at = [&] { return widget->mapToGlobal(local.value_or(widget->rect().center())); };
  const bool ok = waitFor([&] {
    return window->geometry().topLeft() == rootGeometry(xid(window)).topLeft() &&
           QApplication::topLevelAt(at()) == window;
  });
  const QWidget* there = QApplication::topLevelAt(at());
  EXPECT_TRUE(ok) << widget->metaObject()->className() << " \"" << widget->objectName().toStdString()
                  << "\" cannot be clicked at " << at().x() << "," << at().y() << ": X shows "
                  << (there ? there->metaObject()->className() : "no window of the application") << " there";
  return at();
}

}  // namespace

// Counts the double clicks Qt makes of the presses it delivers.
class UnhurriedDoubleClick::Counter : public QObject {
 public:
  Counter() { qApp->installEventFilter(this); }
  ~Counter() override { qApp->removeEventFilter(this); }
  int seen = 0;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::MouseButtonDblClick && watched->isWindowType()) ++seen;
    return false;
  }
};

UnhurriedDoubleClick::UnhurriedDoubleClick()
    : interval_(QGuiApplication::styleHints()->mouseDoubleClickInterval()),
      counter_(std::make_unique<Counter>()) {
  QGuiApplication::styleHints()->setMouseDoubleClickInterval(std::max(interval_, 10000));
}

UnhurriedDoubleClick::~UnhurriedDoubleClick() {
  QGuiApplication::styleHints()->setMouseDoubleClickInterval(interval_);
}

int UnhurriedDoubleClick::doubleClicks() const { return counter_->seen; }

void click(QPoint global, int button) { clicks(global, button, 1); }

void doubleClick(QPoint global, int button) {
  // The second press waits for the first click (see clicks()): on a loaded
  // machine that may take longer than a user's double click.
  const bool ours = QApplication::topLevelAt(global) != nullptr;
  UnhurriedDoubleClick doubleClick;
  clicks(global, button, 2);
  if (ours) {
    EXPECT_EQ(doubleClick.doubleClicks(), 1)
        << "the application took the clicks at " << global.x() << "," << global.y() << " for "
        << doubleClick.doubleClicks() << " double clicks";
  }
}

void click(const QWidget* widget, std::optional<QPoint> local, int button) {
  click(reachable(widget, local), button);
}

void doubleClick(const QWidget* widget, std::optional<QPoint> local, int button) {
  doubleClick(reachable(widget, local), button);
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

void returnWithoutWaiting() {
  const KeyCode code = XKeysymToKeycode(X(), XK_Return);
  XTestFakeKeyEvent(X(), code, True, CurrentTime);
  XTestFakeKeyEvent(X(), code, False, CurrentTime);
  XFlush(X());
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
  EXPECT_TRUE(waitFor([] { return platform::Window::OpenWindows().empty(); }))
      << "windows stay open after quitting";
  settle(50);  // closed windows end on the next pass of the event loop
  app.reset();
  settle(50);
  // The next test starts on an empty screen.
  EXPECT_TRUE(waitWindowManager());
}

void DesktopApp::Start(bool keepSplash) {
  InstallApplication(*app);
  app->Open();
  if (!keepSplash) {
    for (platform::Window* window : platform::Window::OpenWindows())
      if (auto* about = dynamic_cast<WindowAbout*>(window)) about->Close();
    // Closed before the window manager has put it up, it would still come
    // up for a moment, over what the test clicks.
    EXPECT_TRUE(waitWindowManager());
  }
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
