#include "Platform/Foundation/SystemLogger.h"

#include "Platform/Foundation/Environment.h"

namespace platform {

bool SystemLogger::isEnabled(SystemLogType type) const {
  auto& log = env().systemLog;
  return log && log->isEnabled(subsystem_, category_, type);
}

void SystemLogger::log(SystemLogType type, std::string_view message) const {
  auto& log = env().systemLog;
  if (log && log->isEnabled(subsystem_, category_, type))
    log->write(subsystem_, category_, type, message);
}

}  // namespace platform
