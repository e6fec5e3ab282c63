#pragma once

#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "Platform/Foundation/Value.h"

namespace platform {

// The application's bundle: its information dictionary (a dictionary `Value` with keys such
// as "CFBundleShortVersionString"), where the application is, and its resources. On Linux the
// dictionary is compiled in at build time, the bundle path is the executable and resources
// live in a folder beside it.
class Bundle {
 public:
  Bundle(Value infoDictionary, std::filesystem::path bundlePath,
         std::filesystem::path resourcePath);

  Value infoDictionary() const;
  // The value under `key`, absent when there is none.
  std::optional<Value> objectForInfoDictionaryKey(std::string_view key) const;
  std::filesystem::path bundlePath() const;
  std::filesystem::path resourcePath() const;
  // The file "<name>.<type>" in the resources (below `subdirectory` when one is given), when
  // it exists.
  std::optional<std::filesystem::path> pathForResource(std::string_view name, std::string_view type,
                                                       std::string_view subdirectory = {}) const;

  // For the simulated machine.
  void setInfoDictionary(Value infoDictionary);
  void setResourcePath(std::filesystem::path resourcePath);

 private:
  mutable std::mutex mutex_;
  Value infoDictionary_;
  std::filesystem::path bundlePath_;
  std::filesystem::path resourcePath_;
};

}  // namespace platform
