#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "Platform/Desktop/FourCharCode.h"

namespace platform {

namespace AppleEventCode {
// The get-URL event: class and id are both "GURL".
inline constexpr std::uint32_t internetEventClass = fourCharCode("GURL");
inline constexpr std::uint32_t getURL = fourCharCode("GURL");
inline constexpr std::uint32_t directObjectKeyword = fourCharCode("----");
}  // namespace AppleEventCode

// An event sent to the application, or one of its parameters: an event class and id, a string
// value, and parameters by keyword.
class AppleEventDescriptor {
 public:
  AppleEventDescriptor() = default;
  AppleEventDescriptor(std::uint32_t eventClass, std::uint32_t eventID)
      : eventClass_(eventClass), eventID_(eventID) {}
  static AppleEventDescriptor string(std::string value);

  std::uint32_t eventClass() const { return eventClass_; }
  std::uint32_t eventID() const { return eventID_; }
  const std::optional<std::string>& stringValue() const { return string_; }
  std::optional<AppleEventDescriptor> paramDescriptor(std::uint32_t keyword) const;
  void setParamDescriptor(std::uint32_t keyword, AppleEventDescriptor descriptor);

 private:
  std::uint32_t eventClass_ = 0;
  std::uint32_t eventID_ = 0;
  std::optional<std::string> string_;
  std::vector<std::pair<std::uint32_t, AppleEventDescriptor>> params_;
};

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
