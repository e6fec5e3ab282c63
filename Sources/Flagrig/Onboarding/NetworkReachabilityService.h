#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>

namespace platform {
class PathMonitor;
class SerialQueue;
}  // namespace platform

namespace flagrig {

// Whether the machine has a usable network path, for the first-run sign-in step's offline
// phase. It watches the environment's path monitor on its own serial queue and keeps one flag,
// written on the main loop only. Observers hear every change there too, so a screen showing
// "offline" redraws once the network is back instead of waiting for an unrelated redraw.
//
// The single instance starts at its first use and its monitor runs until exit.
class NetworkReachabilityService : public std::enable_shared_from_this<NetworkReachabilityService> {
 public:
  static constexpr const char* queueLabel = "flagrig.reachability";

  // Removes its observer when released.
  class Observation {
   public:
    Observation(std::weak_ptr<NetworkReachabilityService> service, std::uint64_t id)
        : service_(std::move(service)), id_(id) {}
    ~Observation();
    Observation(const Observation&) = delete;
    Observation& operator=(const Observation&) = delete;

   private:
    std::weak_ptr<NetworkReachabilityService> service_;
    std::uint64_t id_;
  };
  using Observer = std::function<void(bool isOnline)>;

  static NetworkReachabilityService& shared();
  static std::shared_ptr<NetworkReachabilityService> sharedPointer();

  NetworkReachabilityService() = default;
  NetworkReachabilityService(const NetworkReachabilityService&) = delete;
  NetworkReachabilityService& operator=(const NetworkReachabilityService&) = delete;

  // True until the first report says otherwise; main thread only.
  bool isOnline() const { return isOnline_; }

  // Called on the main loop after each change of `isOnline`, until the observation is released.
  [[nodiscard]] std::unique_ptr<Observation> observe(Observer observer);
  std::size_t observerCount() const { return observers_.size(); }

 private:
  void start();
  void apply(bool online);

  std::shared_ptr<platform::SerialQueue> queue_;
  std::shared_ptr<platform::PathMonitor> monitor_;
  bool isOnline_ = true;
  std::map<std::uint64_t, std::shared_ptr<Observer>> observers_;
  std::uint64_t nextObserver_ = 1;
};

}  // namespace flagrig
