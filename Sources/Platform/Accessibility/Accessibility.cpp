#include "Platform/Accessibility/Accessibility.h"

#include "Platform/Desktop/Desktop.h"
#include "Platform/Foundation/Environment.h"

namespace platform {

Accessibility& Accessibility::shared() {
  return env().desktop->accessibility();
}

}  // namespace platform
