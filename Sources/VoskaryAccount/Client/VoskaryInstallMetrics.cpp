#include "VoskaryAccount/Client/VoskaryInstallMetrics.h"

#include <map>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

#include "Platform/Foundation/SharedInstance.h"
#include "Platform/Foundation/UUID.h"
#include "Platform/Foundation/UnicodeText.h"
#include "VoskaryAccount/Client/KeychainStorage.h"

namespace voskary {

namespace {

// Held from the first read of each operation to its return, across every install-metrics
// value of the process.
std::mutex& metricsLock() {
  static std::mutex lock;
  return lock;
}

// Identifiers made in this run for stores that could not be read or refused the new item,
// one per store, so that the run keeps one identity while that store is unavailable. A store
// that has been seen to hold a usable identifier has none: its item is the identity, and
// deleting that item makes a new one.
struct RunInstallIDs {
  // Keychain stores by service and access group: two values for one app slug share items.
  std::map<std::string, std::string> keychain;
  // Any other store by identity.
  std::vector<std::pair<std::weak_ptr<VoskaryAccountDataStorage>, std::string>> others;

  // What `find` does for a store that has no slot yet.
  enum class IfMissing { answerNull, make };

  // The slot of `storage`; when there is none, null or a new empty one.
  std::string* find(const std::shared_ptr<VoskaryAccountDataStorage>& storage,
                    IfMissing ifMissing) {
    const bool create = ifMissing == IfMissing::make;
    if (auto* keychainStorage = dynamic_cast<const KeychainStorage*>(storage.get())) {
      std::string key = keychainStorage->service() + '\n' +
                        keychainStorage->accessGroup().value_or(std::string());
      auto it = keychain.find(key);
      if (it == keychain.end()) {
        if (!create) return nullptr;
        it = keychain.emplace(std::move(key), std::string()).first;
      }
      return &it->second;
    }
    std::erase_if(others, [](const auto& entry) { return entry.first.expired(); });
    for (auto& [store, id] : others) {
      if (store.lock() == storage) return &id;
    }
    if (!create) return nullptr;
    return &others.emplace_back(storage, std::string()).second;
  }

  void forget(const std::shared_ptr<VoskaryAccountDataStorage>& storage) {
    if (auto* keychainStorage = dynamic_cast<const KeychainStorage*>(storage.get())) {
      keychain.erase(keychainStorage->service() + '\n' +
                     keychainStorage->accessGroup().value_or(std::string()));
      return;
    }
    std::erase_if(others, [&](const auto& entry) {
      return entry.first.expired() || entry.first.lock() == storage;
    });
  }
};

RunInstallIDs& runInstallIDs() {
  static platform::SharedInstance<RunInstallIDs> instance;
  return instance.get();
}

platform::Bytes bytesOf(std::string_view text) {
  return platform::Bytes(text.begin(), text.end());
}

}  // namespace

VoskaryInstallMetrics::VoskaryInstallMetrics(std::string_view appSlug)
    : storage_(std::make_shared<KeychainStorage>(appSlug)) {}

VoskaryInstallMetrics::VoskaryInstallMetrics(std::shared_ptr<VoskaryAccountDataStorage> storage)
    : storage_(std::move(storage)) {}

std::string VoskaryInstallMetrics::installID() const {
  std::lock_guard guard(metricsLock());
  std::optional<platform::Bytes> stored;
  bool readable = true;
  try {
    stored = storage_->readData(Keys::installID);
  } catch (const VoskaryError&) {
    readable = false;
  }
  auto& runIDs = runInstallIDs();
  if (stored) {
    std::string text(stored->begin(), stored->end());
    if (!text.empty() && platform::UnicodeText::isValidUTF8(text)) {
      runIDs.forget(storage_);
      return text;
    }
  }

  // An item that could not be read may still hold the real identifier: leave it alone, and
  // answer with this run's identifier for the store.
  if (!readable) {
    std::string* made = runIDs.find(storage_, RunInstallIDs::IfMissing::make);
    if (made->empty()) *made = platform::UUID::random().lowercaseString();
    return *made;
  }
  // Missing: store the identifier this run has used so far, or a new one.
  std::string* made = runIDs.find(storage_, RunInstallIDs::IfMissing::answerNull);
  std::string id = made ? *made : platform::UUID::random().lowercaseString();
  try {
    storage_->setData(bytesOf(id), Keys::installID);
    runIDs.forget(storage_);
  } catch (const VoskaryError&) {
    // It serves for this run; the next call tries to store it again.
    *runIDs.find(storage_, RunInstallIDs::IfMissing::make) = id;
  }
  return id;
}

bool VoskaryInstallMetrics::shouldFireFirstOpen() const {
  std::lock_guard guard(metricsLock());
  return !storage_->getData(Keys::firstOpenFired);
}

bool VoskaryInstallMetrics::markFirstOpenFired() const {
  std::lock_guard guard(metricsLock());
  if (storage_->getData(Keys::firstOpenFired)) return true;
  try {
    storage_->setData(bytesOf("1"), Keys::firstOpenFired);
    return true;
  } catch (const VoskaryError&) {
    return false;
  }
}

}  // namespace voskary
