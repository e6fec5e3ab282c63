// The process entry point: the real Linux services, then the app's start-up.
#include "Flagrig/Shell/AppStartup.h"
#include "Platform/Foundation/Environment.h"
#include "Platform/Linux/LinuxEnvironment.h"

int main() {
  platform::installEnvironment(platform::linuxbackend::makeLinuxEnvironment());
  return flagrig::AppStartup::run();
}
