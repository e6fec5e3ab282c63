#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>

namespace platform {

// An error an update cycle ended with: its domain and its localised description.
struct UpdaterError {
  // The updater framework's own errors (no update found, the user cancelled, …).
  static constexpr std::string_view updaterDomain = "SUSparkleErrorDomain";
  std::string domain;
  std::string localizedDescription;
  bool operator==(const UpdaterError&) const = default;
};

// What the updater asks of the application. Held weakly.
class SoftwareUpdaterDelegate {
 public:
  virtual ~SoftwareUpdaterDelegate() = default;
  // Asked whenever the updater reads the feed: the channels besides the default one.
  virtual std::set<std::string> allowedChannels() = 0;
  // Called once at the end of every update cycle.
  virtual void didFinishUpdateCycle(const std::optional<UpdaterError>& error) = 0;
};

// The standard updater of an application with an update feed: it checks on its own schedule,
// runs user-initiated checks and tells whether a check can start now.
class SoftwareUpdater {
 public:
  virtual ~SoftwareUpdater() = default;
  virtual bool canCheckForUpdates() const = 0;
  // Called with the current value at once and after every change; one observer.
  virtual void observeCanCheckForUpdates(std::function<void(bool)> observer) = 0;
  // A user-initiated check; its cycle ends with the delegate's `didFinishUpdateCycle`.
  virtual void checkForUpdates() = 0;
};

// Starts the standard updater for the running application.
class SoftwareUpdaterFactory {
 public:
  virtual ~SoftwareUpdaterFactory() = default;
  virtual std::shared_ptr<SoftwareUpdater> startUpdater(
      std::weak_ptr<SoftwareUpdaterDelegate> delegate) = 0;
};

}  // namespace platform
