#include "Flagrig/Shell/AppScreens.h"

#include "Platform/Foundation/SharedInstance.h"

namespace flagrig {

AppScreens& AppScreens::shared() {
  static platform::SharedInstance<AppScreens> instance;
  return instance.get();
}

}  // namespace flagrig
