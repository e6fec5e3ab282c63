#include "Platform/Linux/Syslog.h"

#include <syslog.h>

namespace platform::linuxbackend {

namespace {
int priority(SystemLogType type) {
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
}  // namespace

bool Syslog::isEnabled(std::string_view, std::string_view, SystemLogType type) const {
  // setlogmask(0) reads the mask without changing it.
  return (setlogmask(0) & LOG_MASK(priority(type))) != 0;
}

void Syslog::write(std::string_view subsystem, std::string_view category, SystemLogType type,
                   std::string_view message) {
  // glibc sends with MSG_NOSIGNAL, so a closed log socket cannot raise SIGPIPE here.
  syslog(LOG_USER | priority(type), "%.*s (%.*s) %.*s", static_cast<int>(subsystem.size()),
         subsystem.data(), static_cast<int>(category.size()), category.data(),
         static_cast<int>(message.size()), message.data());
}

}  // namespace platform::linuxbackend
