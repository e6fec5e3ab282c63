#include "Platform/Sim/SimKeychain.h"

#include <algorithm>

namespace platform::sim {

namespace {

bool matches(const SimKeychain::StoredItem& item, const GenericPasswordQuery& query) {
  return item.service == query.service && item.account == query.account &&
         (!query.accessGroup || item.accessGroup == *query.accessGroup) &&
         (!query.accessibility || item.accessibility == *query.accessibility);
}

bool sameIdentity(const SimKeychain::StoredItem& item, const GenericPasswordQuery& query) {
  return item.service == query.service && item.account == query.account &&
         item.accessGroup == query.accessGroup.value_or("");
}

SimKeychain::StoredItem makeItem(const GenericPasswordQuery& query, Value data) {
  return {query.service, query.account, query.accessGroup.value_or(""),
          query.accessibility.value_or(KeychainAccessibility::whenUnlocked), std::move(data)};
}

}  // namespace

std::optional<OSStatus> SimKeychain::injected(KeychainOperation operation,
                                              const std::string& service,
                                              const std::string& account) const {
  if (locked_) return KeychainStatus::interactionNotAllowed;
  if (auto it = itemFailures_.find({operation, service, account}); it != itemFailures_.end())
    return it->second;
  if (auto it = operationFailures_.find(operation); it != operationFailures_.end())
    return it->second;
  return std::nullopt;
}

std::optional<OSStatus> SimKeychain::injectedForKey(KeychainOperation operation,
                                                    const std::string& tag) const {
  if (locked_) return KeychainStatus::interactionNotAllowed;
  if (auto it = keyFailures_.find({operation, tag}); it != keyFailures_.end()) return it->second;
  if (auto it = operationFailures_.find(operation); it != operationFailures_.end())
    return it->second;
  return std::nullopt;
}

OSStatus SimKeychain::add(const GenericPasswordQuery& item, const Bytes& data) {
  std::lock_guard lock(mutex_);
  if (auto status = injected(KeychainOperation::add, item.service, item.account)) return *status;
  if (std::any_of(items_.begin(), items_.end(),
                  [&](const auto& i) { return sameIdentity(i, item); })) {
    return KeychainStatus::duplicateItem;
  }
  items_.push_back(makeItem(item, Value(data)));
  return KeychainStatus::success;
}

OSStatus SimKeychain::update(const GenericPasswordQuery& query, const Bytes& data) {
  std::lock_guard lock(mutex_);
  if (auto status = injected(KeychainOperation::update, query.service, query.account))
    return *status;
  bool found = false;
  for (auto& item : items_) {
    if (matches(item, query)) {
      item.data = Value(data);
      found = true;
    }
  }
  return found ? KeychainStatus::success : KeychainStatus::itemNotFound;
}

KeychainCopyResult SimKeychain::copyMatching(const GenericPasswordQuery& query) {
  std::lock_guard lock(mutex_);
  if (auto status = injected(KeychainOperation::copy, query.service, query.account))
    return {*status, {}};
  for (const auto& item : items_) {
    if (matches(item, query)) return {KeychainStatus::success, item.data};
  }
  return {KeychainStatus::itemNotFound, {}};
}

OSStatus SimKeychain::remove(const GenericPasswordQuery& query) {
  std::lock_guard lock(mutex_);
  if (auto status = injected(KeychainOperation::remove, query.service, query.account))
    return *status;
  auto removed = std::erase_if(items_, [&](const auto& item) { return matches(item, query); });
  return removed ? KeychainStatus::success : KeychainStatus::itemNotFound;
}

OSStatus SimKeychain::addKey(const KeyItem& key) {
  std::lock_guard lock(mutex_);
  if (auto status = injectedForKey(KeychainOperation::add, key.applicationTag)) return *status;
  if (std::any_of(keys_.begin(), keys_.end(),
                  [&](const auto& k) { return k.applicationTag == key.applicationTag; })) {
    return KeychainStatus::duplicateItem;
  }
  keys_.push_back(key);
  return KeychainStatus::success;
}

KeyCopyResult SimKeychain::copyKey(const std::string& applicationTag) {
  std::lock_guard lock(mutex_);
  if (auto status = injectedForKey(KeychainOperation::copy, applicationTag)) return {*status, {}};
  for (const auto& key : keys_) {
    if (key.applicationTag == applicationTag) return {KeychainStatus::success, key};
  }
  return {KeychainStatus::itemNotFound, {}};
}

OSStatus SimKeychain::removeKey(const std::string& applicationTag) {
  std::lock_guard lock(mutex_);
  if (auto status = injectedForKey(KeychainOperation::remove, applicationTag)) return *status;
  auto removed =
      std::erase_if(keys_, [&](const auto& k) { return k.applicationTag == applicationTag; });
  return removed ? KeychainStatus::success : KeychainStatus::itemNotFound;
}

void SimKeychain::failOperation(KeychainOperation operation, OSStatus status) {
  std::lock_guard lock(mutex_);
  operationFailures_[operation] = status;
}

void SimKeychain::failItem(KeychainOperation operation, std::string service, std::string account,
                           OSStatus status) {
  std::lock_guard lock(mutex_);
  itemFailures_[{operation, std::move(service), std::move(account)}] = status;
}

void SimKeychain::failKey(KeychainOperation operation, std::string applicationTag,
                          OSStatus status) {
  std::lock_guard lock(mutex_);
  keyFailures_[{operation, std::move(applicationTag)}] = status;
}

void SimKeychain::clearFailures() {
  std::lock_guard lock(mutex_);
  operationFailures_.clear();
  itemFailures_.clear();
  keyFailures_.clear();
}

void SimKeychain::setLocked(bool locked) {
  std::lock_guard lock(mutex_);
  locked_ = locked;
}

void SimKeychain::plant(const GenericPasswordQuery& item, Value data) {
  std::lock_guard lock(mutex_);
  std::erase_if(items_, [&](const auto& i) { return sameIdentity(i, item); });
  items_.push_back(makeItem(item, std::move(data)));
}

std::vector<SimKeychain::StoredItem> SimKeychain::items() const {
  std::lock_guard lock(mutex_);
  return items_;
}

std::vector<KeyItem> SimKeychain::keys() const {
  std::lock_guard lock(mutex_);
  return keys_;
}

}  // namespace platform::sim
