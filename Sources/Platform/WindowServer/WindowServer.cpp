#include "Platform/WindowServer/WindowServer.h"

#include <climits>

#include "Platform/Desktop/Desktop.h"
#include "Platform/Foundation/Environment.h"

namespace platform {

WindowServer& WindowServer::shared() {
  return env().desktop->windowServer();
}

int WindowServer::levelForKey(WindowLevelKey key) {
  switch (key) {
    case WindowLevelKey::desktop:
      return INT_MIN + 20;
    case WindowLevelKey::desktopIcon:
      return INT_MIN + 40;
    case WindowLevelKey::normal:
      return 0;
    case WindowLevelKey::floating:
      return 3;
    case WindowLevelKey::modalPanel:
      return 8;
    case WindowLevelKey::dock:
      return 20;
    case WindowLevelKey::mainMenu:
      return 24;
    case WindowLevelKey::status:
      return 25;
    case WindowLevelKey::popUpMenu:
      return 101;
    case WindowLevelKey::screenSaver:
      return 1000;
  }
  return 0;
}

}  // namespace platform
