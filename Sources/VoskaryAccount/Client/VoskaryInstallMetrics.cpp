#include "VoskaryAccount/Client/VoskaryInstallMetrics.h"

#include <mutex>
#include <optional>

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

// The identifier made in this run when no stored one could be read back, so that the run
// keeps one identity while the store is unavailable or refuses writes.
struct RunInstallID {
  std::optional<std::string> value;
};

RunInstallID& runInstallID() {
  static platform::SharedInstance<RunInstallID> instance;
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
  if (stored) {
    std::string text(stored->begin(), stored->end());
    if (!text.empty() && platform::UnicodeText::isValidUTF8(text)) return text;
  }

  auto& made = runInstallID().value;
  if (!made) made = platform::UUID::random().lowercaseString();
  // An item that could not be read may still hold the real identifier: leave it alone.
  if (readable) {
    try {
      storage_->setData(bytesOf(*made), Keys::installID);
    } catch (const VoskaryError&) {
      // The made identifier serves for this run; the next call tries to store it again.
    }
  }
  return *made;
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
