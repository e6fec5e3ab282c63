#include "Platform/Desktop/Workspace.h"

#include "Platform/Desktop/Desktop.h"
#include "Platform/Foundation/Environment.h"

namespace platform {

Workspace& Workspace::shared() {
  return env().desktop->workspace();
}

}  // namespace platform
