#pragma once

#include <memory>

#include "Platform/Foundation/Environment.h"

namespace platform::linuxbackend {

// The real services of a Linux desktop, as `main` installs them.
std::shared_ptr<Environment> makeLinuxEnvironment();

}  // namespace platform::linuxbackend
