#pragma once

#include <map>
#include <mutex>
#include <string>

#include "VoskaryAccount/Client/VoskaryAccountDataStorage.h"

namespace voskary {

// The library's store as a locked in-memory map, with the keychain store's behaviour; for
// hosts and tests that keep nothing across launches.
class InMemoryStorage final : public VoskaryAccountDataStorage {
 public:
  // Never fails.
  void setData(const platform::Bytes& data, std::string_view key) override;
  // Never fails: an entry is always readable.
  std::optional<platform::Bytes> readData(std::string_view key) override;
  void deleteData(std::string_view key) override;

 private:
  std::mutex lock_;
  std::map<std::string, platform::Bytes, std::less<>> store_;
};

}  // namespace voskary
