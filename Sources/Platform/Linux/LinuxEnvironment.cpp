#include "Platform/Linux/LinuxEnvironment.h"

#include "Platform/Foundation/Clock.h"
#include "Platform/Foundation/DispatchQueue.h"
#include "Platform/Foundation/NotificationCenter.h"
#include "Platform/Foundation/RunLoop.h"
#include "Platform/Foundation/UserDefaults.h"
#include "Platform/Linux/CurlTransport.h"
#include "Platform/Linux/FileDefaultsStore.h"
#include "Platform/Linux/LinuxProcessInfo.h"
#include "Platform/Linux/NetlinkPathMonitor.h"
#include "Platform/Linux/SecretServiceKeychain.h"
#include "Platform/Linux/UnavailableAppleIDAuthorization.h"
#include "Platform/Linux/Syslog.h"
#include "Platform/Linux/XDGFileLocations.h"
#include "Platform/Network/HTTPSession.h"
#include "Platform/Security/KeychainKeyStore.h"

namespace platform::linuxbackend {

std::shared_ptr<Environment> makeLinuxEnvironment() {
  auto e = std::make_shared<Environment>();
  e->clock = std::make_shared<SystemClock>();
  e->mainLoop = std::make_shared<RunLoop>(e->clock);
  e->backgroundPool = std::make_shared<ThreadPool>();
  e->notificationCenter = std::make_shared<NotificationCenter>();
  e->defaults = std::make_shared<UserDefaults>(
      std::make_shared<FileDefaultsStore>(defaultDefaultsFile()), e->notificationCenter);
  e->keychain = std::make_shared<SecretServiceKeychain>();
  e->keyStore = std::make_shared<KeychainKeyStore>(e->keychain);
  e->httpSession = std::make_shared<HTTPSession>(std::make_shared<CurlTransport>(),
                                                 URLSessionConfiguration::defaultConfiguration());
  e->pathMonitors = std::make_shared<NetlinkPathMonitorFactory>();
  e->systemLog = std::make_shared<Syslog>();
  e->processInfo = currentProcessInfo();
  e->bundle = mainBundle(*e->processInfo);
  e->files = std::make_shared<XDGFileLocations>();
  e->appleIDAuthorization = std::make_shared<UnavailableAppleIDAuthorization>();
  return e;
}

}  // namespace platform::linuxbackend
