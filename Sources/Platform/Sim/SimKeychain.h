#pragma once

#include <map>
#include <mutex>
#include <string>
#include <tuple>
#include <vector>

#include "Platform/Security/Keychain.h"

namespace platform::sim {

enum class KeychainOperation { add, update, copy, remove };

// An in-memory keychain with the platform's status codes. Tests inject failures for every
// call of an operation or for one item, lock the whole keychain, and plant items whose data is
// not bytes, as a damaged or foreign item would be.
class SimKeychain final : public Keychain {
 public:
  // An item as stored; the default access group is the empty text.
  struct StoredItem {
    std::string service;
    std::string account;
    std::string accessGroup;
    KeychainAccessibility accessibility = KeychainAccessibility::whenUnlocked;
    Value data;
  };

  OSStatus add(const GenericPasswordQuery& item, const Bytes& data) override;
  OSStatus update(const GenericPasswordQuery& query, const Bytes& data) override;
  KeychainCopyResult copyMatching(const GenericPasswordQuery& query) override;
  OSStatus remove(const GenericPasswordQuery& query) override;
  OSStatus addKey(const KeyItem& key) override;
  KeyCopyResult copyKey(const std::string& applicationTag) override;
  OSStatus removeKey(const std::string& applicationTag) override;

  // Every call of `operation`, on any item, answers `status` until the failures are cleared.
  void failOperation(KeychainOperation operation, OSStatus status);
  // Calls of `operation` naming this service and account answer `status`.
  void failItem(KeychainOperation operation, std::string service, std::string account,
                OSStatus status);
  // Calls of `operation` on the key with this tag answer `status`.
  void failKey(KeychainOperation operation, std::string applicationTag, OSStatus status);
  void clearFailures();
  // A locked keychain answers interactionNotAllowed to every call.
  void setLocked(bool locked);

  // Stores an item, replacing one with the same identity, whose data is any value.
  void plant(const GenericPasswordQuery& item, Value data);
  std::vector<StoredItem> items() const;
  std::vector<KeyItem> keys() const;

 private:
  std::optional<OSStatus> injected(KeychainOperation operation, const std::string& service,
                                   const std::string& account) const;
  std::optional<OSStatus> injectedForKey(KeychainOperation operation, const std::string& tag) const;

  mutable std::mutex mutex_;
  std::vector<StoredItem> items_;
  std::vector<KeyItem> keys_;
  bool locked_ = false;
  std::map<KeychainOperation, OSStatus> operationFailures_;
  std::map<std::tuple<KeychainOperation, std::string, std::string>, OSStatus> itemFailures_;
  std::map<std::pair<KeychainOperation, std::string>, OSStatus> keyFailures_;
};

}  // namespace platform::sim
