#pragma once

#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "Platform/Updates/SoftwareUpdater.h"

namespace platform::sim {

// The simulated updater framework: tests say when a check can run, end update cycles (with or
// without an error) and ask for the channels as the framework does when it reads the feed.
class SimSoftwareUpdater final : public SoftwareUpdater {
 public:
  explicit SimSoftwareUpdater(std::weak_ptr<SoftwareUpdaterDelegate> delegate)
      : delegate_(std::move(delegate)) {}

  bool canCheckForUpdates() const override { return canCheck_; }
  void observeCanCheckForUpdates(std::function<void(bool)> observer) override;
  void checkForUpdates() override { ++checks_; }

  // The framework's state changes.
  void setCanCheckForUpdates(bool canCheck);
  // Ends the running cycle.
  void finishUpdateCycle(std::optional<UpdaterError> error = std::nullopt);
  // What the delegate allows now; empty without a delegate.
  std::set<std::string> readFeedChannels();
  int checkCount() const { return checks_; }

 private:
  std::weak_ptr<SoftwareUpdaterDelegate> delegate_;
  std::function<void(bool)> observer_;
  bool canCheck_ = false;
  int checks_ = 0;
};

class SimSoftwareUpdaterFactory final : public SoftwareUpdaterFactory {
 public:
  std::shared_ptr<SoftwareUpdater> startUpdater(
      std::weak_ptr<SoftwareUpdaterDelegate> delegate) override;
  // Every updater started, in order; the last is the application's.
  const std::vector<std::shared_ptr<SimSoftwareUpdater>>& started() const { return started_; }
  // Whether updaters start able to check.
  void setInitialCanCheck(bool canCheck) { initialCanCheck_ = canCheck; }

 private:
  std::vector<std::shared_ptr<SimSoftwareUpdater>> started_;
  bool initialCanCheck_ = true;
};

}  // namespace platform::sim
