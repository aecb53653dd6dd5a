// The desktop tier's main: the real application runtime on Qt's xcb platform,
// never offscreen, in a home of its own. Without an X display the tests
// cannot run: the binary says so and exits 77, which ctest counts as
// skipped; scripts/test sets QM_DESKTOP_REQUIRED=1 so that it fails instead.
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <X11/Xlib.h>

#include <cstdio>

#include "platform/Application.h"

namespace {

bool windowManagerRunning() {
  Display* display = XOpenDisplay(nullptr);
  if (!display) return false;
  Atom check = XInternAtom(display, "_NET_SUPPORTING_WM_CHECK", True);
  bool found = false;
  if (check != None) {
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(display, DefaultRootWindow(display), check, 0, 1, False, AnyPropertyType, &type,
                           &format, &count, &after, &data) == Success && data) {
      found = count == 1;
      XFree(data);
    }
  }
  XCloseDisplay(display);
  return found;
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  // Listing the tests (ctest's discovery) needs no display.
  if (GTEST_FLAG_GET(list_tests)) return RUN_ALL_TESTS();

  const char* why = qEnvironmentVariableIsEmpty("DISPLAY") ? "no X display (DISPLAY is not set)"
                    : !windowManagerRunning()             ? "no window manager runs on the X display"
                                                          : nullptr;
  if (why) {
    std::fprintf(stderr,
                 "Desktop tests need an X server with a window manager: %s.\n"
                 "Run them with scripts/with-desktop (Xvfb + openbox), as scripts/test does.\n",
                 why);
    return qEnvironmentVariableIsSet("QM_DESKTOP_REQUIRED") ? 1 : 77;
  }
  qputenv("QT_QPA_PLATFORM", "xcb");

  // Never the real home: one of its own for this process.
  QTemporaryDir home(QDir::tempPath() + "/quirlomatic-desktop-XXXXXX");
  const QByteArray root = home.path().toUtf8();
  qputenv("HOME", root);
  qputenv("XDG_DATA_HOME", root + "/.local/share");
  qputenv("XDG_CONFIG_HOME", root + "/.config");
  qputenv("XDG_CACHE_HOME", root + "/.cache");
  QDir().mkpath(home.path() + "/runtime");
  QFile::setPermissions(home.path() + "/runtime",
                        QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
  qputenv("XDG_RUNTIME_DIR", root + "/runtime");

  // The toolkit set up exactly as the application's main() does.
  platform::Runtime runtime(argc, argv);
  return RUN_ALL_TESTS();
}
