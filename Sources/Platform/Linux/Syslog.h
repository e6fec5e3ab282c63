#pragma once

#include "Platform/Foundation/SystemLog.h"

namespace platform::linuxbackend {

// The system log on syslog(3): each line reads "[subsystem:category] message" at the priority
// of its type (debug, info, notice, err, crit). Types below `minimum` are switched off, as the
// platform keeps debug lines out of its log unless asked; so are priorities that the process's
// syslog mask leaves out.
class Syslog final : public SystemLog {
 public:
  explicit Syslog(SystemLogType minimum = SystemLogType::info);

  bool isEnabled(std::string_view subsystem, std::string_view category,
                 SystemLogType type) const override;
  void write(std::string_view subsystem, std::string_view category, SystemLogType type,
             std::string_view message) override;

  static int priority(SystemLogType type);

 private:
  SystemLogType minimum_;
};

}  // namespace platform::linuxbackend
