#pragma once

#include "Platform/Foundation/SystemLog.h"

namespace platform::linuxbackend {

// The system log through syslog(3): each type maps to a priority, and the message carries the
// subsystem and category in front, since syslog has no fields for them.
class Syslog final : public SystemLog {
 public:
  bool isEnabled(std::string_view subsystem, std::string_view category,
                 SystemLogType type) const override;
  void write(std::string_view subsystem, std::string_view category, SystemLogType type,
             std::string_view message) override;
};

}  // namespace platform::linuxbackend
