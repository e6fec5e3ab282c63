#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "Platform/Desktop/AppleEventDescriptor.h"

namespace platform {

// Routes events the system sends the application (such as a URL of its scheme) to handlers
// by event class and id. Events that arrive before launching has begun wait, and are handed
// over once the delegate has been told that launching will finish, so that the event that
// started the application is not lost. Runs on the main thread.
class AppleEventManager {
 public:
  using Handler =
      std::function<void(const AppleEventDescriptor& event, AppleEventDescriptor& reply)>;

  // The installed desktop's manager.
  static AppleEventManager& shared();

  void setEventHandler(std::uint32_t eventClass, std::uint32_t eventID, Handler handler);
  void removeEventHandler(std::uint32_t eventClass, std::uint32_t eventID);

  // From the backend: an event arrived. Without a handler it is dropped.
  void dispatch(const AppleEventDescriptor& event);
  // The application is ready for events: what waited is dispatched now.
  void beginDispatching();

 private:
  std::map<std::pair<std::uint32_t, std::uint32_t>, Handler> handlers_;
  std::vector<AppleEventDescriptor> waiting_;
  bool ready_ = false;
};

}  // namespace platform
