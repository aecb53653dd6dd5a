#pragma once
// The application object: its menu bar, its menu handlers bound by item name,
// its Open, Close and EnableMenuItems events and the version fields.
#include <cstdint>
#include <functional>
#include <map>
#include <string>

namespace platform {

class MenuBar;
class MenuItem;
class Window;

class Application {
 public:
  using MenuHandler = std::function<bool()>;

  Application();
  virtual ~Application();
  Application(const Application&) = delete;
  Application& operator=(const Application&) = delete;

  // The registered application object (one per run); nullptr before one is made.
  static Application* Instance();

  void SetMenuBar(MenuBar* menuBar);
  MenuBar* GetMenuBar() const { return menuBar_; }
  void AddMenuHandler(const std::string& itemName, MenuHandler handler);

  virtual void Event_Open() {}
  virtual void Event_Close() {}
  virtual void Event_EnableMenuItems() {}

  // Runs the Open event now (start-up; tests call it directly).
  void Open();
  // Closes the open windows, runs the Close event once and ends the event loop.
  void Quit();
  bool Quitting() const { return quitting_; }

  // Brings the enabled state of every menu item up to date: automatic
  // enabling, then the application's rule, then the frontmost window's rule.
  void UpdateMenus();
  // What choosing an item does: the frontmost window's handler of that name,
  // else the application's, else the item's own Action event.
  void Choose(MenuItem* item);

  std::int32_t MajorVersion, MinorVersion, BugVersion, StageCode, NonReleaseVersion;

 private:
  bool dispatch(const std::string& itemName);

  MenuBar* menuBar_ = nullptr;
  std::map<std::string, MenuHandler> handlers_;
  bool quitting_ = false;
  bool closed_ = false;
  struct Impl;
  Impl* impl_ = nullptr;
};

// Owns the toolkit for the whole run; made first thing in main().
class Runtime {
 public:
  Runtime(int& argc, char** argv);
  ~Runtime();
  // Raises the application's Open event from the event loop and runs the loop
  // until the application quits; returns the exit code.
  int Run(Application& app);

 private:
  struct Impl;
  Impl* impl_;
};

// While one lives, the pointer shows the wait cursor.
class WaitCursor {
 public:
  WaitCursor();
  ~WaitCursor();
  WaitCursor(const WaitCursor&) = delete;
  WaitCursor& operator=(const WaitCursor&) = delete;
};

}  // namespace platform
