#pragma once

#include <memory>

#include "Platform/Foundation/Environment.h"

namespace platform::linuxbackend {

// The real services of a Linux desktop, as `main` installs them. The desktop is the X11 one
// when an X display can be opened, else none.
std::shared_ptr<Environment> makeLinuxEnvironment();
// The same without the desktop, which `attachX11Desktop` adds later: what a process needs
// before it knows whether it will show anything (the log, the clock, the preferences).
std::shared_ptr<Environment> makeLinuxServices();
void attachX11Desktop(Environment& environment);

// The X11 desktop on $DISPLAY with its run-loop waiter installed on `loop`; null without a
// display.
std::shared_ptr<Desktop> makeX11Desktop(const std::shared_ptr<RunLoop>& loop);

}  // namespace platform::linuxbackend
