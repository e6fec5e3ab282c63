#include "Flagrig/Onboarding/NetworkReachabilityService.h"

#include <vector>

#include "Platform/Foundation/DispatchQueue.h"
#include "Platform/Foundation/Environment.h"
#include "Platform/Foundation/RunLoop.h"
#include "Platform/Foundation/SharedInstance.h"
#include "Platform/Network/PathMonitor.h"

namespace flagrig {

using namespace platform;

std::shared_ptr<NetworkReachabilityService> NetworkReachabilityService::sharedPointer() {
  static SharedInstance<NetworkReachabilityService> instance;
  auto service = instance.pointer();
  if (!service->monitor_) service->start();
  return service;
}

NetworkReachabilityService& NetworkReachabilityService::shared() {
  return *sharedPointer();
}

void NetworkReachabilityService::start() {
  if (!env().pathMonitors) return;
  queue_ = env().makeSerialQueue(queueLabel);
  monitor_ = env().pathMonitors->makeMonitor();
  std::weak_ptr<NetworkReachabilityService> weak = weak_from_this();
  std::shared_ptr<RunLoop> main = env().mainLoop;
  monitor_->setUpdateHandler([weak, main](const NetworkPath& path) {
    const bool online = path.status == NetworkPathStatus::satisfied;
    main->post([weak, online] {
      if (auto self = weak.lock()) self->apply(online);
    });
  });
  monitor_->start(queue_);
}

void NetworkReachabilityService::apply(bool online) {
  if (online == isOnline_) return;
  isOnline_ = online;
  // A copy: an observer may release its own observation or another one.
  std::vector<std::pair<std::uint64_t, std::shared_ptr<Observer>>> current(observers_.begin(),
                                                                           observers_.end());
  for (const auto& [id, observer] : current) {
    if (observers_.contains(id)) (*observer)(online);
  }
}

std::unique_ptr<NetworkReachabilityService::Observation> NetworkReachabilityService::observe(
    Observer observer) {
  const std::uint64_t id = nextObserver_++;
  observers_.emplace(id, std::make_shared<Observer>(std::move(observer)));
  return std::make_unique<Observation>(weak_from_this(), id);
}

NetworkReachabilityService::Observation::~Observation() {
  if (auto service = service_.lock()) service->observers_.erase(id_);
}

}  // namespace flagrig
