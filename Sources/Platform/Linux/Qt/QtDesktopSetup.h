#pragma once

#include <memory>

#include "Platform/Linux/Qt/QtDesktop.h"

namespace platform {
class RunLoop;
}

namespace platform::linuxbackend {

// Whether an X display is set and can be opened. Wayland-only sessions are not supported. The
// first probe that connects keeps its connection for the process.
bool x11DisplayAvailable();

// Creates the process's QApplication on the X display (once; it lives until the process ends),
// the Qt desktop, and makes `loop` wait inside Qt's event dispatcher.
std::shared_ptr<QtDesktop> makeQtDesktop(RunLoop& loop, QtDesktopServices services);

}  // namespace platform::linuxbackend
