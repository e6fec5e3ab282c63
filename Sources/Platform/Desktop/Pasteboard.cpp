#include "Platform/Desktop/Pasteboard.h"

#include "Platform/Desktop/Desktop.h"
#include "Platform/Foundation/Environment.h"

namespace platform {

Pasteboard& Pasteboard::general() {
  return env().desktop->pasteboard();
}

}  // namespace platform
