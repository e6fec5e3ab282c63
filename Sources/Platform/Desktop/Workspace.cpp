#include "Platform/Desktop/Workspace.h"

#include "Platform/Desktop/Desktop.h"
#include "Platform/Foundation/Environment.h"

namespace platform {

Workspace& Workspace::shared() {
  return env().desktop->workspace();
}

void Workspace::openURLWithCompletion(const URL& url, OpenURLCompletion completion) {
  bool opened = openURL(url);
  if (completion) completion(opened);
}

}  // namespace platform
