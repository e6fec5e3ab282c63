#pragma once

#include <cstdint>
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

}  // namespace platform
