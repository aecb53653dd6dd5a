#pragma once
// Windows: at most one instance per class. The class's accessor gives the open
// instance, hidden or not, or makes one (SharedWindow<W>()), which builds it:
// Layout, CreateControls, AddMenuHandlers, then Open, then shows it. Close()
// runs the Close event and ends the instance; the next accessor call builds a
// new one.
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <typeindex>
#include <vector>

#include "Controls.h"
#include "WindowBounds.h"

class QPoint;
class QWidget;

namespace platform {

class MenuBar;

enum class Frame { Document, PlainBox, Alert };
enum class Placement { Default, ParentCentered, MainScreenCentered };

struct WindowDesign {
  int width = 300, height = 200;
  int minWidth = 64, minHeight = 64, maxWidth = 32000, maxHeight = 32000;
  Frame frame = Frame::Document;
  Placement placement = Placement::Default;
  std::string title;
  bool closeButton = true;
  bool minimizeButton = true;
  bool visible = true;
};

class Window : public WindowBounds {
 public:
  using MenuHandler = std::function<bool()>;

  Window();
  ~Window() override;
  Window(const Window&) = delete;
  Window& operator=(const Window&) = delete;

  // Brings to the front, visible and not minimised; never waits. The first
  // showing places a window that was given no position of its own as its
  // design says, and keeps every window wholly on a screen.
  void Show();
  void Hide();
  void Close();  // Close event, then the instance ends
  bool Visible() const;
  bool IsClosed() const { return closed_; }

  std::string Title() const;
  void SetTitle(std::string_view title);

  // The content area: the part of the window that holds the controls, the
  // origin of their Left and Top. Its top-left on the screen and its size,
  // read and set alike, before and after the first showing. Not the window
  // manager's frame or title bar, and not the menu-bar strip that a window
  // with a menu bar shows above its controls where the OS has no global menu
  // bar (on macOS the menu bar is the screen's, and the content area is the
  // whole inside of the window).
  std::int32_t Left() const override;
  std::int32_t Top() const override;
  std::int32_t Width() const override;
  std::int32_t Height() const override;
  void SetLeft(std::int32_t value) override;
  void SetTop(std::int32_t value) override;
  void SetWidth(std::int32_t value) override;
  void SetHeight(std::int32_t value) override;

  void SetMenuBar(MenuBar* menuBar);
  MenuBar* GetMenuBar() const { return menuBar_; }
  // Acts while this window is frontmost.
  void AddMenuHandler(const std::string& itemName, MenuHandler handler);
  bool HandleMenu(const std::string& itemName);

  virtual void Event_Open() {}
  virtual void Event_Close() {}
  virtual void Event_EnableMenuItems() {}
  virtual bool Event_MouseDown(int /*x*/, int /*y*/) { return false; }

  // Controls by name, and members of a control array by name and index.
  Control* ControlByName(std::string_view name) const;
  Control* ControlByNameIndex(std::string_view name, int index) const;
  int ControlCount(std::string_view name) const;

  // The frontmost of this program's windows: the last activated one that is
  // still shown and not minimised; nullptr when none is.
  static Window* Frontmost();
  // Every open instance, the most recently brought forward first.
  static std::vector<Window*> OpenWindows();

  QWidget* widget() const;  // the top-level widget
  QWidget* content() const;

  struct Impl;
  Impl* impl() const { return impl_.get(); }

 protected:
  // The building steps, run once by SharedWindow<W>().
  virtual void Layout() {}
  virtual void CreateControls() {}
  virtual void AddMenuHandlers() {}
  void ApplyDesign(const WindowDesign& design);

  // Makes a control on the content area at `rect` and registers it under
  // `name`; `inArray` gives it the next free index of that control array.
  template <class C>
  C* AddControl(std::string_view name, Rect rect, bool inArray = false) {
    auto control = std::make_unique<C>(*this);
    C* raw = control.get();
    registerControl(std::move(control), name, rect, inArray);
    return raw;
  }
  Timer* AddTimer(int period);

 private:
  template <class W>
  friend W* SharedWindow();
  void build();
  void restoreFocus();
  void stand();  // right before each showing
  void moveContentTo(QPoint at);
  QPoint contentOffset() const;
  void registerControl(std::unique_ptr<Control> control, std::string_view name, Rect rect,
                       bool inArray);
  static Window* findShared(std::type_index type);
  static void registerShared(std::type_index type, Window* window);

  std::unique_ptr<Impl> impl_;
  MenuBar* menuBar_ = nullptr;
  std::map<std::string, MenuHandler> menuHandlers_;
  std::vector<std::unique_ptr<Timer>> timers_;
  bool closed_ = false;
  std::type_index type_ = typeid(void);
};

// The one shared instance of W: the open one, or a newly built one.
template <class W>
W* SharedWindow() {
  if (Window* open = Window::findShared(typeid(W))) return static_cast<W*>(open);
  W* window = new W();
  Window::registerShared(typeid(W), window);
  window->type_ = typeid(W);
  window->build();
  return window;
}

}  // namespace platform
