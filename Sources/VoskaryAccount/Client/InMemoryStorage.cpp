#include "VoskaryAccount/Client/InMemoryStorage.h"

namespace voskary {

void InMemoryStorage::setData(const platform::Bytes& data, std::string_view key) {
  std::lock_guard guard(lock_);
  store_.insert_or_assign(std::string(key), data);
}

std::optional<platform::Bytes> InMemoryStorage::readData(std::string_view key) {
  std::lock_guard guard(lock_);
  auto found = store_.find(key);
  if (found == store_.end()) return std::nullopt;
  return found->second;
}

void InMemoryStorage::deleteData(std::string_view key) {
  std::lock_guard guard(lock_);
  if (auto found = store_.find(key); found != store_.end()) store_.erase(found);
}

}  // namespace voskary
