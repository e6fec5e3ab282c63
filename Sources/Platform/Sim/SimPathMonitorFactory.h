#pragma once

#include <memory>
#include <mutex>
#include <vector>

#include "Platform/Network/PathMonitor.h"

namespace platform::sim {

// The simulated network: a test sets the path status, and every started monitor reports the
// change on its queue. Monitors start with the current status, satisfied until changed.
class SimPathMonitorFactory final : public PathMonitorFactory {
 public:
  std::shared_ptr<PathMonitor> makeMonitor() override;

  void setStatus(NetworkPathStatus status);
  NetworkPathStatus status() const;
  // Monitors started and neither cancelled nor released.
  std::size_t activeMonitorCount() const;

 private:
  class Monitor;
  std::vector<std::shared_ptr<Monitor>> liveMonitors() const;

  mutable std::mutex mutex_;
  NetworkPathStatus status_ = NetworkPathStatus::satisfied;
  std::vector<std::weak_ptr<Monitor>> monitors_;
};

}  // namespace platform::sim
