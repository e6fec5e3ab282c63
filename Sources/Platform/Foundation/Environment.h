#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace platform {

class Clock;
class RunLoop;
class Executor;
class SerialQueue;
class NotificationCenter;
class UserDefaults;

// Services of the other areas; each area defines its interface in its own folder.
class Keychain;
class KeyStore;
class HTTPSession;
class PathMonitorFactory;
class SystemLog;
class ProcessInfo;
class Bundle;
class FileLocations;
class Desktop;
class AppleIDAuthorization;
class LoginItem;
class SoftwareUpdaterFactory;

// The active backend of every platform service. `main` installs the Linux environment; the test
// fixture installs a fresh simulated one for each test. Product code reaches every service
// through `env()`, so the same code runs on both.
struct Environment {
  std::shared_ptr<Clock> clock;
  std::shared_ptr<RunLoop> mainLoop;
  // Where serial queues run their work: the shared pool, or the main loop when simulated.
  std::shared_ptr<Executor> backgroundPool;
  std::shared_ptr<NotificationCenter> notificationCenter;
  std::shared_ptr<UserDefaults> defaults;

  std::shared_ptr<Keychain> keychain;
  std::shared_ptr<KeyStore> keyStore;
  std::shared_ptr<HTTPSession> httpSession;
  std::shared_ptr<PathMonitorFactory> pathMonitors;
  std::shared_ptr<SystemLog> systemLog;
  std::shared_ptr<ProcessInfo> processInfo;
  std::shared_ptr<Bundle> bundle;
  std::shared_ptr<FileLocations> files;
  std::shared_ptr<Desktop> desktop;
  // Sign in with Apple; Linux has none and answers every request with an error.
  std::shared_ptr<AppleIDAuthorization> appleIDAuthorization;
  // Launch at login: the XDG autostart entry on Linux.
  std::shared_ptr<LoginItem> loginItem;
  // The updater framework; Linux has none, so its builds never update themselves.
  std::shared_ptr<SoftwareUpdaterFactory> updaters;

  // Receives errors that escaped a detached task. The default writes to stderr.
  std::function<void(std::string_view message)> reportUnhandledError;

  // A new serial queue with this label on the background pool.
  std::shared_ptr<SerialQueue> makeSerialQueue(std::string label) const;
};

// The installed environment. Throws ProgrammingError when none is installed.
Environment& env();
bool hasEnvironment();
// Replaces the installed environment; returns the previous one.
std::shared_ptr<Environment> installEnvironment(std::shared_ptr<Environment> environment);

}  // namespace platform
