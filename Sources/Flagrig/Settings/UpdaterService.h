#pragma once

#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>

#include "Platform/Desktop/Application.h"
#include "Platform/Updates/SoftwareUpdater.h"

namespace flagrig {

// Wraps the updater framework: decides whether this build is configured for updates (a feed
// and its public key in the information dictionary), starts the standard updater when it is,
// mirrors whether a check can run now, runs user-initiated checks with a Dock icon, offers the
// "beta" channel when the user opted in, keeps the last failure as a message, and records that
// a new version has been installed. One instance, created at launch and kept until exit; main
// thread only.
class UpdaterService : public platform::SoftwareUpdaterDelegate,
                       public std::enable_shared_from_this<UpdaterService> {
 public:
  // Posted (object: the service) whenever `canCheckForUpdates` or `statusMessage` changes, so
  // that an open settings window redraws.
  static constexpr std::string_view didChangeNotification = "dev.voskary.flagrig.updaterDidChange";
  static constexpr std::string_view betaUpdatesKey = "flagrig.betaUpdatesEnabled";
  static constexpr std::string_view lastKnownVersionKey = "flagrig.lastKnownVersion";

  static UpdaterService& shared();
  // Installs the shared updater in the app's screens, for the status menu and the settings.
  static void install();

  // A feed and a public key that is no placeholder, both after trimming.
  static bool hasValidSparkleConfig();

  UpdaterService() = default;
  ~UpdaterService() override;

  bool isConfigured() const { return static_cast<bool>(controller_); }
  bool canCheckForUpdates() const { return canCheckForUpdates_; }
  const std::optional<std::string>& statusMessage() const { return statusMessage_; }
  const std::optional<platform::ActivationPolicy>& policyBeforeCheck() const {
    return policyBeforeCheck_;
  }

  // A user-initiated check; nothing happens in a build without updates.
  void checkForUpdates();

  std::set<std::string> allowedChannels() override;
  void didFinishUpdateCycle(const std::optional<platform::UpdaterError>& error) override;

 private:
  struct Holder;
  // The creation steps that need the object to be referred to weakly.
  void start();
  void trackPostInstallIfNeeded();
  void setCanCheck(bool canCheck);
  void setStatusMessage(std::optional<std::string> message);
  void postChange();

  std::shared_ptr<platform::SoftwareUpdater> controller_;
  bool canCheckForUpdates_ = false;
  std::optional<std::string> statusMessage_;
  std::optional<platform::ActivationPolicy> policyBeforeCheck_;
};

}  // namespace flagrig
