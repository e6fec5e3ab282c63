#include "Platform/Sim/SimSoftwareUpdater.h"

namespace platform::sim {

void SimSoftwareUpdater::observeCanCheckForUpdates(std::function<void(bool)> observer) {
  observer_ = std::move(observer);
  if (observer_) observer_(canCheck_);
}

void SimSoftwareUpdater::setCanCheckForUpdates(bool canCheck) {
  canCheck_ = canCheck;
  if (auto observer = observer_) observer(canCheck_);
}

void SimSoftwareUpdater::finishUpdateCycle(std::optional<UpdaterError> error) {
  if (auto delegate = delegate_.lock()) delegate->didFinishUpdateCycle(error);
}

std::set<std::string> SimSoftwareUpdater::readFeedChannels() {
  auto delegate = delegate_.lock();
  return delegate ? delegate->allowedChannels() : std::set<std::string>{};
}

std::shared_ptr<SoftwareUpdater> SimSoftwareUpdaterFactory::startUpdater(
    std::weak_ptr<SoftwareUpdaterDelegate> delegate) {
  auto updater = std::make_shared<SimSoftwareUpdater>(std::move(delegate));
  updater->setCanCheckForUpdates(initialCanCheck_);
  started_.push_back(updater);
  return updater;
}

}  // namespace platform::sim
