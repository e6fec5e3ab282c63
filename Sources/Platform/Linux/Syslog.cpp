#include "Platform/Linux/Syslog.h"

#include <syslog.h>

#include <string>

namespace platform::linuxbackend {

Syslog::Syslog(SystemLogType minimum) : minimum_(minimum) {
  openlog(nullptr, LOG_PID, LOG_USER);
}

int Syslog::priority(SystemLogType type) {
  switch (type) {
    case SystemLogType::debug:
      return LOG_DEBUG;
    case SystemLogType::info:
      return LOG_INFO;
    case SystemLogType::defaultType:
      return LOG_NOTICE;
    case SystemLogType::error:
      return LOG_ERR;
    case SystemLogType::fault:
      return LOG_CRIT;
  }
  return LOG_NOTICE;
}

bool Syslog::isEnabled(std::string_view, std::string_view, SystemLogType type) const {
  // setlogmask(0) reads the mask without changing it.
  return type >= minimum_ && (setlogmask(0) & LOG_MASK(priority(type))) != 0;
}

void Syslog::write(std::string_view subsystem, std::string_view category, SystemLogType type,
                   std::string_view message) {
  if (!isEnabled(subsystem, category, type)) return;
  std::string line = "[";
  line.append(subsystem).append(":").append(category).append("] ").append(message);
  syslog(priority(type), "%s", line.c_str());
}

}  // namespace platform::linuxbackend
