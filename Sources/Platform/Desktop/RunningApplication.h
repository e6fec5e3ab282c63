#pragma once

#include <cstdint>
#include <string>

namespace platform {

namespace ApplicationActivationOption {
inline constexpr std::uint32_t activateAllWindows = 1 << 0;
inline constexpr std::uint32_t activateIgnoringOtherApps = 1 << 1;
}  // namespace ApplicationActivationOption

// An application running on the desktop (this one included).
class RunningApplication {
 public:
  virtual ~RunningApplication() = default;
  virtual std::int32_t processIdentifier() const = 0;
  virtual std::string localizedName() const = 0;
  virtual bool isTerminated() const = 0;
  // Makes it frontmost; false when it has ended.
  virtual bool activate(std::uint32_t options = 0) = 0;
};

}  // namespace platform
