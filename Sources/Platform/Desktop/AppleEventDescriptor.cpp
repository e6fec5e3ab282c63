#include "Platform/Desktop/AppleEventDescriptor.h"

namespace platform {

AppleEventDescriptor AppleEventDescriptor::string(std::string value) {
  AppleEventDescriptor descriptor;
  descriptor.string_ = std::move(value);
  return descriptor;
}

std::optional<AppleEventDescriptor> AppleEventDescriptor::paramDescriptor(
    std::uint32_t keyword) const {
  for (const auto& [key, value] : params_) {
    if (key == keyword) return value;
  }
  return std::nullopt;
}

void AppleEventDescriptor::setParamDescriptor(std::uint32_t keyword,
                                              AppleEventDescriptor descriptor) {
  for (auto& [key, value] : params_) {
    if (key == keyword) {
      value = std::move(descriptor);
      return;
    }
  }
  params_.emplace_back(keyword, std::move(descriptor));
}

}  // namespace platform
