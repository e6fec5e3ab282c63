#include "Platform/Foundation/Bundle.h"

#include <system_error>

namespace platform {

Bundle::Bundle(Value infoDictionary, std::filesystem::path bundlePath,
               std::filesystem::path resourcePath)
    : infoDictionary_(std::move(infoDictionary)),
      bundlePath_(std::move(bundlePath)),
      resourcePath_(std::move(resourcePath)) {}

Value Bundle::infoDictionary() const {
  std::lock_guard lock(mutex_);
  return infoDictionary_;
}

std::optional<Value> Bundle::objectForInfoDictionaryKey(std::string_view key) const {
  std::lock_guard lock(mutex_);
  if (const Value* value = infoDictionary_.find(key)) return *value;
  return std::nullopt;
}

std::filesystem::path Bundle::bundlePath() const {
  std::lock_guard lock(mutex_);
  return bundlePath_;
}

std::filesystem::path Bundle::resourcePath() const {
  std::lock_guard lock(mutex_);
  return resourcePath_;
}

std::optional<std::filesystem::path> Bundle::pathForResource(std::string_view name,
                                                             std::string_view type,
                                                             std::string_view subdirectory) const {
  std::string file(name);
  if (!type.empty()) file.append(".").append(type);
  auto path = resourcePath();
  if (!subdirectory.empty()) path /= std::filesystem::path(subdirectory);
  path /= file;
  std::error_code error;
  if (!std::filesystem::is_regular_file(path, error)) return std::nullopt;
  return path;
}

void Bundle::setInfoDictionary(Value infoDictionary) {
  std::lock_guard lock(mutex_);
  infoDictionary_ = std::move(infoDictionary);
}

void Bundle::setResourcePath(std::filesystem::path resourcePath) {
  std::lock_guard lock(mutex_);
  resourcePath_ = std::move(resourcePath);
}

}  // namespace platform
