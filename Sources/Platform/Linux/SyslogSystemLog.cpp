#include "Platform/Linux/SyslogSystemLog.h"

#include <syslog.h>

namespace platform::linuxbackend {

namespace {
int priority(SystemLog::Type type) {
  switch (type) {
    case SystemLog::Type::debug:
      return LOG_DEBUG;
    case SystemLog::Type::info:
      return LOG_INFO;
    case SystemLog::Type::standard:
      return LOG_NOTICE;
    case SystemLog::Type::error:
      return LOG_ERR;
    case SystemLog::Type::fault:
      return LOG_CRIT;
  }
  return LOG_NOTICE;
}
}  // namespace

bool SyslogSystemLog::isEnabled(Type type) const {
  // setlogmask(0) reads the mask without changing it.
  return (setlogmask(0) & LOG_MASK(priority(type))) != 0;
}

void SyslogSystemLog::log(Type type, std::string_view subsystem, std::string_view category,
                          std::string_view message) {
  // glibc sends with MSG_NOSIGNAL, so a closed log socket cannot raise SIGPIPE here.
  syslog(LOG_USER | priority(type), "%.*s (%.*s) %.*s", static_cast<int>(subsystem.size()),
         subsystem.data(), static_cast<int>(category.size()), category.data(),
         static_cast<int>(message.size()), message.data());
}

}  // namespace platform::linuxbackend
