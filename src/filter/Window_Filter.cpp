#include "Window_Filter.h"

Window_Filter* the::Window_Filter() { return platform::SharedWindow<::Window_Filter>(); }
