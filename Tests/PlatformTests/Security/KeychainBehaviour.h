#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "Platform/Security/Keychain.h"

namespace platform::testing {

// One keychain backend under the shared behaviour table: the keychain itself and a way to make
// it refuse every call, as a locked keychain does.
class KeychainBackend {
 public:
  virtual ~KeychainBackend() = default;
  virtual Keychain& keychain() = 0;
  virtual void setRefusing(bool refusing) = 0;
};

struct KeychainBackendFactory {
  std::string name;
  // Null when the backend cannot run here; `skipReason` then says why.
  std::function<std::unique_ptr<KeychainBackend>(std::string& skipReason)> make;
};

inline void PrintTo(const KeychainBackendFactory& factory, std::ostream* out) {
  *out << factory.name;
}

// The behaviour table every keychain backend passes; each backend instantiates it with its own
// factory. Item names carry the test's name so that a shared keyring needs no clean-up.
class KeychainBehaviour : public ::testing::TestWithParam<KeychainBackendFactory> {
 protected:
  void SetUp() override {
    std::string reason;
    backend_ = GetParam().make(reason);
    if (!backend_) GTEST_SKIP() << reason;
    service_ = std::string("flagrig.tests.") +
               ::testing::UnitTest::GetInstance()->current_test_info()->name();
  }
  void TearDown() override {
    if (backend_) backend_->setRefusing(false);
  }

  Keychain& keychain() { return backend_->keychain(); }
  GenericPasswordQuery item(std::string account, std::optional<std::string> group = std::nullopt) {
    return {service_, std::move(account), std::move(group),
            KeychainAccessibility::afterFirstUnlockThisDeviceOnly};
  }
  Bytes read(const GenericPasswordQuery& query) {
    auto result = keychain().copyMatching(query);
    EXPECT_EQ(result.status, KeychainStatus::success);
    if (!result.data || !result.data->asBytes()) return {};
    return *result.data->asBytes();
  }

  std::unique_ptr<KeychainBackend> backend_;
  std::string service_;
};

}  // namespace platform::testing
