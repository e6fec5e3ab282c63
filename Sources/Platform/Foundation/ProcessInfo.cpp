#include "Platform/Foundation/ProcessInfo.h"

namespace platform {

OperatingSystemVersion ProcessInfo::operatingSystemVersion() const {
  std::lock_guard lock(mutex_);
  return fields_.operatingSystemVersion;
}

std::string ProcessInfo::operatingSystemVersionString() const {
  std::lock_guard lock(mutex_);
  return fields_.operatingSystemVersionString;
}

int ProcessInfo::processIdentifier() const {
  std::lock_guard lock(mutex_);
  return fields_.processIdentifier;
}

std::string ProcessInfo::executablePath() const {
  std::lock_guard lock(mutex_);
  return fields_.executablePath;
}

std::vector<std::string> ProcessInfo::arguments() const {
  std::lock_guard lock(mutex_);
  return fields_.arguments;
}

std::optional<std::string> ProcessInfo::localeRegion() const {
  std::lock_guard lock(mutex_);
  return fields_.localeRegion;
}

ProcessInfo::Fields ProcessInfo::fields() const {
  std::lock_guard lock(mutex_);
  return fields_;
}

void ProcessInfo::setFields(Fields fields) {
  std::lock_guard lock(mutex_);
  fields_ = std::move(fields);
}

}  // namespace platform
