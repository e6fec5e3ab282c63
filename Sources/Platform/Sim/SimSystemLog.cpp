#include "Platform/Sim/SimSystemLog.h"

namespace platform::sim {

bool SimSystemLog::isEnabled(std::string_view, std::string_view, SystemLogType type) const {
  std::lock_guard lock(mutex_);
  return !disabled_.contains(type);
}

void SimSystemLog::write(std::string_view subsystem, std::string_view category, SystemLogType type,
                         std::string_view message) {
  std::lock_guard lock(mutex_);
  if (disabled_.contains(type)) return;
  entries_.push_back({std::string(subsystem), std::string(category), type, std::string(message)});
}

void SimSystemLog::setEnabled(SystemLogType type, bool enabled) {
  std::lock_guard lock(mutex_);
  if (enabled) {
    disabled_.erase(type);
  } else {
    disabled_.insert(type);
  }
}

std::vector<SimSystemLog::Entry> SimSystemLog::entries() const {
  std::lock_guard lock(mutex_);
  return entries_;
}

}  // namespace platform::sim
