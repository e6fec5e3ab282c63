#include "Platform/Linux/LinuxEnvironment.h"

#include <cstdio>
#include <cstdlib>

#include "Platform/Foundation/Clock.h"
#include "Platform/Foundation/DispatchQueue.h"
#include "Platform/Foundation/NotificationCenter.h"
#include "Platform/Foundation/RunLoop.h"
#include "Platform/Foundation/UserDefaults.h"
#include "Platform/Linux/CurlTransport.h"
#include "Platform/Linux/FileDefaultsStore.h"
#include "Platform/Linux/LinuxProcessInfo.h"
#include "Platform/Linux/NetlinkPathMonitor.h"
#include "Platform/Linux/Qt/DisplayLoss.h"
#include "Platform/Linux/Qt/QtDesktopSetup.h"
#include "Platform/Linux/SecretServiceKeychain.h"
#include "Platform/Linux/Syslog.h"
#include "Platform/Linux/UnavailableAppleIDAuthorization.h"
#include "Platform/Linux/X11/X11Accessibility.h"
#include "Platform/Linux/X11/X11Connection.h"
#include "Platform/Linux/X11/X11HotKeyCenter.h"
#include "Platform/Linux/X11/X11WindowServer.h"
#include "Platform/Linux/XDGFileLocations.h"
#include "Platform/Linux/XdgAutostartLoginItem.h"
#include "Platform/Linux/XdgWorkspace.h"
#include "Platform/Network/HTTPSession.h"
#include "Platform/Security/KeychainKeyStore.h"

namespace platform::linuxbackend {

std::shared_ptr<Desktop> makeX11Desktop(const std::shared_ptr<RunLoop>& loop) {
  // No probe first: a server that resets when its last client leaves (xvfb-run's) would still
  // be resetting when the real connection is made, and refuse it.
  const char* display = std::getenv("DISPLAY");
  if (!display || !*display) return nullptr;
  auto connection = X11Connection::open();
  if (!connection) return nullptr;
  // The environment is not installed yet, so the connection cannot find the loop itself. The
  // connection drops its read source when the X server goes, so a lost server cannot spin the
  // loop on a descriptor that stays readable.
  connection->attachTo(loop);
  std::weak_ptr<X11Connection> weakConnection = connection;
  auto windowServer = std::make_shared<X11WindowServer>(connection);
  QtDesktopServices services;
  services.windowServer = windowServer;
  services.accessibility = std::make_shared<X11Accessibility>(connection, *windowServer);
  services.hotKeys = std::make_shared<X11HotKeyCenter>(connection);
  services.workspace = std::make_shared<XdgWorkspace>();
  std::weak_ptr<X11WindowServer> weakServer = windowServer;
  services.placeAbove = [weakServer](std::uint32_t ours, std::uint32_t target) {
    if (auto s = weakServer.lock()) s->placeAbove(ours, target);
  };
  services.ownWindowsDidChange = [weakServer] {
    if (auto s = weakServer.lock()) s->ownWindowsDidChange();
  };
  // Replies read meanwhile may have queued events without the descriptor turning readable. What
  // is still on the socket wakes the wait itself, so the socket is not read here: once per wait,
  // that read nearly always fails.
  services.beforeWait = [weakConnection] {
    if (auto c = weakConnection.lock()) c->dispatchQueuedEvents();
  };
  auto desktop = makeQtDesktop(*loop, std::move(services));
  DisplayLoss::install(connection);
  std::weak_ptr<QtDesktop> weakDesktop = desktop;
  windowServer->setOwnWindowProvider(
      [weakDesktop](std::uint32_t xid) -> std::optional<OwnWindowInfo> {
        auto d = weakDesktop.lock();
        return d ? d->ownWindowInfo(xid) : std::nullopt;
      });
  auto* accessibility = static_cast<X11Accessibility*>(&desktop->accessibility());
  accessibility->setStatusItemHooks(X11Accessibility::StatusItemHooks{
      [weakDesktop]() -> std::vector<std::uint32_t> {
        auto d = weakDesktop.lock();
        return d ? d->shownStatusItems() : std::vector<std::uint32_t>{};
      },
      [weakDesktop](std::uint32_t index) {
        auto d = weakDesktop.lock();
        return d && d->pressStatusItem(index);
      }});
  return desktop;
}

std::shared_ptr<Environment> makeLinuxEnvironment() {
  auto e = makeLinuxServices();
  attachX11Desktop(*e);
  return e;
}

void attachX11Desktop(Environment& e) {
  // Without an X display (a headless machine, a Wayland-only session) there is no desktop.
  e.desktop = makeX11Desktop(e.mainLoop);
}

std::shared_ptr<Environment> makeLinuxServices() {
  auto e = std::make_shared<Environment>();
  e->clock = std::make_shared<SystemClock>();
  e->mainLoop = std::make_shared<RunLoop>(e->clock);
  e->backgroundPool = std::make_shared<ThreadPool>();
  e->notificationCenter = std::make_shared<NotificationCenter>();
  std::shared_ptr<DefaultsStore> store;
  if (auto file = defaultDefaultsFile()) {
    store = std::make_shared<FileDefaultsStore>(*file);
  } else {
    // Never a shared folder instead: another user could plant files there.
    std::fprintf(stderr,
                 "flagrig: no home folder (HOME, XDG_CONFIG_HOME and the passwd entry give none); "
                 "preferences and the log file are kept in memory for this run\n");
    store = std::make_shared<MemoryDefaultsStore>();
  }
  e->defaults = std::make_shared<UserDefaults>(store, e->notificationCenter);
  e->keychain = std::make_shared<SecretServiceKeychain>();
  e->keyStore = std::make_shared<KeychainKeyStore>(e->keychain);
  e->httpSession = std::make_shared<HTTPSession>(std::make_shared<CurlTransport>(),
                                                 URLSessionConfiguration::sharedConfiguration());
  e->pathMonitors = std::make_shared<NetlinkPathMonitorFactory>();
  e->systemLog = std::make_shared<Syslog>();
  e->processInfo = currentProcessInfo();
  e->bundle = mainBundle(*e->processInfo);
  e->files = std::make_shared<XDGFileLocations>();
  e->appleIDAuthorization = std::make_shared<UnavailableAppleIDAuthorization>();
  e->loginItem = std::make_shared<XdgAutostartLoginItem>();
  return e;
}

}  // namespace platform::linuxbackend
