#pragma once

#include <string_view>

namespace platform {

// The log types of the system log, from the least to the most severe.
enum class SystemLogType { debug, info, defaultType, error, fault };

// The system's log, where every line names a subsystem (a reverse-DNS name) and a category.
// Callers ask `isEnabled` first and format nothing for a type that is switched off.
class SystemLog {
 public:
  virtual ~SystemLog() = default;
  virtual bool isEnabled(std::string_view subsystem, std::string_view category,
                         SystemLogType type) const = 0;
  virtual void write(std::string_view subsystem, std::string_view category, SystemLogType type,
                     std::string_view message) = 0;
};

}  // namespace platform
