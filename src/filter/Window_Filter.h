#pragma once
// The parameter filter editor of the selected device.
#include "platform/Window.h"

class Window_Filter : public platform::Window {};

namespace the {
Window_Filter* Window_Filter();
}  // namespace the
