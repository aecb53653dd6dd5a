#pragma once
// Driving the running application as a user does: menu items, windows,
// widgets by their control names.
#include <QTest>
#include <gtest/gtest.h>

#include <string>

#include "platform/QtInternal.h"
#include "platform/Window.h"
#include "shell/App.h"
#include "shell/MenuBar1.h"

namespace testing_support {

// Chooses a menu item the way a click does: menus brought up to date, then its action.
inline void choose(platform::MenuItem* item) {
  ASSERT_NE(item, nullptr);
  the::App()->UpdateMenus();
  ASSERT_TRUE(item->Enabled()) << item->Text();
  item->impl()->action->trigger();
}

// The entry of the "Rack Extensions" menu with that text (the first, when recent).
inline platform::MenuItem* reEntry(const std::string& name) {
  for (int i = 0; i < RackExtensions()->Count(); ++i)
    if (RackExtensions()->Item(i)->Text() == name) return RackExtensions()->Item(i);
  return nullptr;
}

template <class W>
W* openWindow() {
  for (platform::Window* window : platform::Window::OpenWindows())
    if (auto* w = dynamic_cast<W*>(window)) return w;
  return nullptr;
}

template <class T = QWidget>
T* child(platform::Window* window, const char* name) {
  return window->widget()->findChild<T*>(name);
}

inline void click(QWidget* widget) {
  ASSERT_NE(widget, nullptr);
  QTest::mouseClick(widget, Qt::LeftButton, {}, widget->rect().center());
}

}  // namespace testing_support
