#include "Platform/Sim/SimPathMonitorFactory.h"

#include <algorithm>

namespace platform::sim {

class SimPathMonitorFactory::Monitor final : public PathMonitor {
 public:
  explicit Monitor(SimPathMonitorFactory& network) : network_(network) {}
  void report(NetworkPathStatus status) { deliver({status}); }
  bool active() const { return active_; }

 protected:
  void didStart() override {
    active_ = true;
    report(network_.status());
  }
  void didCancel() override { active_ = false; }

 private:
  SimPathMonitorFactory& network_;
  std::atomic<bool> active_{false};
};

std::shared_ptr<PathMonitor> SimPathMonitorFactory::makeMonitor() {
  auto monitor = std::make_shared<Monitor>(*this);
  std::lock_guard lock(mutex_);
  std::erase_if(monitors_, [](const auto& w) { return w.expired(); });
  monitors_.push_back(monitor);
  return monitor;
}

std::vector<std::shared_ptr<SimPathMonitorFactory::Monitor>> SimPathMonitorFactory::liveMonitors()
    const {
  std::lock_guard lock(mutex_);
  std::vector<std::shared_ptr<Monitor>> live;
  for (const auto& w : monitors_) {
    if (auto m = w.lock()) live.push_back(std::move(m));
  }
  return live;
}

void SimPathMonitorFactory::setStatus(NetworkPathStatus status) {
  {
    std::lock_guard lock(mutex_);
    status_ = status;
  }
  for (auto& monitor : liveMonitors()) monitor->report(status);
}

NetworkPathStatus SimPathMonitorFactory::status() const {
  std::lock_guard lock(mutex_);
  return status_;
}

std::size_t SimPathMonitorFactory::activeMonitorCount() const {
  auto live = liveMonitors();
  return static_cast<std::size_t>(
      std::count_if(live.begin(), live.end(), [](const auto& m) { return m->active(); }));
}

}  // namespace platform::sim
