#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

#include "Platform/Foundation/Executor.h"

namespace platform {

enum class NetworkPathStatus { satisfied, unsatisfied, requiresConnection };

// The machine's network path as a monitor reports it.
struct NetworkPath {
  NetworkPathStatus status = NetworkPathStatus::satisfied;
  bool operator==(const NetworkPath&) const = default;
};

// Watches the network path. After `start` the update handler receives the current path and
// then every change, on the serial queue given to `start`; nothing runs after `cancel`.
class PathMonitor : public std::enable_shared_from_this<PathMonitor> {
 public:
  using UpdateHandler = std::function<void(const NetworkPath&)>;

  virtual ~PathMonitor() = default;

  // Set it before `start`.
  void setUpdateHandler(UpdateHandler handler);
  void start(std::shared_ptr<Executor> queue);
  void cancel();

 protected:
  // Posts `path` to the handler unless it equals the last one delivered.
  void deliver(const NetworkPath& path);
  virtual void didStart() = 0;
  virtual void didCancel() = 0;

 private:
  std::mutex mutex_;
  std::shared_ptr<UpdateHandler> handler_;
  std::shared_ptr<Executor> queue_;
  std::optional<NetworkPath> last_;
  bool started_ = false;
  std::shared_ptr<std::atomic<bool>> cancelled_ = std::make_shared<std::atomic<bool>>(false);
};

// Makes path monitors; the environment holds one.
class PathMonitorFactory {
 public:
  virtual ~PathMonitorFactory() = default;
  virtual std::shared_ptr<PathMonitor> makeMonitor() = 0;
};

}  // namespace platform
