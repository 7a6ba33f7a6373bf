#pragma once
// The toolkit on Qt 6 Widgets. Needs a QApplication on the calling (GUI) thread.
//
// The window's client area is 200 x 179 pixels, without the title bar and frame. Its widgets
// carry object names for tests: "ravelin-window", "oSLE1", "oMLE1", "oBT1".

#include <memory>

#include "sq_web/app/toolkit.h"

namespace ravelin {

std::unique_ptr<Toolkit> make_qt_toolkit();

}  // namespace ravelin
