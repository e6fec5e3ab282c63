#pragma once

#include <string>
#include <string_view>

#include "Platform/Foundation/SystemLog.h"

namespace platform {

// One subsystem and category of the installed system log, as a component keeps it.
class SystemLogger {
 public:
  SystemLogger(std::string subsystem, std::string category)
      : subsystem_(std::move(subsystem)), category_(std::move(category)) {}

  bool isEnabled(SystemLogType type) const;
  // Writes `message` when the type is enabled.
  void log(SystemLogType type, std::string_view message) const;

  const std::string& subsystem() const { return subsystem_; }
  const std::string& category() const { return category_; }

 private:
  std::string subsystem_;
  std::string category_;
};

}  // namespace platform
