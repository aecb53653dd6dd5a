#include "Window_RE.h"

Window_RE* the::Window_RE() { return platform::SharedWindow<::Window_RE>(); }
