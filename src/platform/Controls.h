#pragma once
// Controls placed on a window's content area at design positions. A control's
// events call the std::function its window bound; the window owns its
// controls, so a handler never outlives it.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "Picture.h"

class QWidget;
class QTimer;

namespace platform {

class Window;

struct Rect {
  int left = 0, top = 0, width = 0, height = 0;
};

class Control {
 public:
  virtual ~Control();
  Control(const Control&) = delete;
  Control& operator=(const Control&) = delete;

  const std::string& Name() const { return name_; }
  int Index() const { return index_; }  // -1 for a control outside an array
  platform::Window* Window() const { return window_; }

  int Left() const;
  int Top() const;
  int Width() const;
  int Height() const;
  // A control placed wholly above the window's visible area (a negative top)
  // exists without being seen: it takes no keyboard focus there, and hands
  // the focus on if it had it; placed in view again, it takes focus as before.
  void SetLeft(int left);
  void SetTop(int top);
  bool Enabled() const;
  void SetEnabled(bool enabled);
  // A control that takes no focus is never reached with Tab or toggled by keys.
  void SetAcceptFocus(bool accept);

  QWidget* widget() const { return widget_; }

 protected:
  Control(platform::Window& window, QWidget* widget);

 private:
  friend class Window;
  // Keyboard focus follows what the user can see, after every change of
  // place or of the control's own focus policy.
  void focusFollowsPlace();
  bool inView() const;
  void takeFocusOnlyInView();
  void handFocusOn();  // to the next control in tab order, if this one has it

  platform::Window* window_;
  QWidget* widget_;
  std::string name_;
  int index_ = -1;
  int ownFocusPolicy_;  // the policy the control has while in view
};

class Label : public Control {
 public:
  explicit Label(platform::Window& window);
  std::string Text() const;
  void SetText(std::string_view text);
  void SetTextSize(int points);
  void SetBold(bool bold);
  void SetCentered(bool centered);
};

class PushButton : public Control {
 public:
  explicit PushButton(platform::Window& window);
  std::string Caption() const;
  void SetCaption(std::string_view caption);
  // The default button answers Return and Enter, the cancel button Escape.
  bool Default() const { return default_; }
  void SetDefault(bool isDefault);
  bool Cancel() const { return cancel_; }
  void SetCancel(bool isCancel) { cancel_ = isCancel; }
  void Push();  // as a click

  std::function<void()> Action;

 private:
  bool default_ = false;
  bool cancel_ = false;
};

class TextField : public Control {
 public:
  explicit TextField(platform::Window& window);
  std::string Text() const;
  void SetText(std::string_view text);
  void SelectAll();
  std::string SelectedText() const;
  // Only digits, at most `limit` of them (the mask "###" with LimitText 3).
  void SetDigitsOnly(int limit);
  void SetLimitText(int limit);
};

class CheckBox : public Control {
 public:
  explicit CheckBox(platform::Window& window);
  std::string Caption() const;
  void SetCaption(std::string_view caption);
  int State() const;  // 0 unchecked, 1 checked
  void SetState(int state);  // raises no MouseDown

  // Raised when the mouse button goes down anywhere on the box (each press of
  // a double click too) or Space is pressed on it, right before that press
  // toggles it; returning true keeps the press from toggling.
  std::function<bool(int x, int y)> MouseDown;
};

class Canvas : public Control {
 public:
  explicit Canvas(platform::Window& window);
  void SetBackdrop(const Picture& picture);
  bool HasBackdrop() const;
  void SetHelpTag(std::string_view tag);
  std::string HelpTag() const;

  std::function<bool(int x, int y)> MouseDown;
};

class PopupMenu : public Control {
 public:
  explicit PopupMenu(platform::Window& window);
  void AddRow(std::string_view text);
  int ListCount() const;
  int ListIndex() const;  // -1 when no row is selected
  // Selects a row and raises Change, also when the row was selected already.
  // A row outside 0 .. ListCount()-1 (other than -1) changes nothing.
  void SetListIndex(int index);
  std::string RowText(int index) const;

  std::function<void()> Change;

 private:
  bool settingFromCode_ = false;
};

class UpDownArrows : public Control {
 public:
  explicit UpDownArrows(platform::Window& window);
  std::function<void()> Up;
  std::function<void()> Down;
  void PressUp();
  void PressDown();
};

// Fires once, `period` ms after it was made or its period was last set.
class Timer {
 public:
  explicit Timer(platform::Window& window);
  ~Timer();
  Timer(const Timer&) = delete;
  Timer& operator=(const Timer&) = delete;
  int Period() const { return period_; }
  void SetPeriod(int ms);
  bool Running() const;
  void Stop();
  std::function<void()> Action;

 private:
  QTimer* timer_;
  int period_ = 1000;
};

}  // namespace platform
