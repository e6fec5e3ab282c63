#include "Platform/Security/KeychainKeyStore.h"

#include <gtest/gtest.h>

#include "Platform/Sim/SimKeychain.h"

namespace platform {
namespace {

constexpr const char* kTag = "com.example.signing.key";

KeyGenerationAttributes permanentKey(KeyToken token = KeyToken::software) {
  KeyGenerationAttributes attributes{kTag, true, token, std::nullopt};
  if (token == KeyToken::hardware) attributes.accessControl = KeyAccessControl{};
  return attributes;
}

std::span<const std::uint8_t> message() {
  static const Bytes bytes{'p', 'r', 'o', 'o', 'f'};
  return bytes;
}

class KeychainKeyStoreTests : public ::testing::Test {
 protected:
  std::shared_ptr<sim::SimKeychain> keychain_ = std::make_shared<sim::SimKeychain>();
  KeychainKeyStore store_{keychain_};
};

TEST_F(KeychainKeyStoreTests, APermanentKeyIsFoundAgainByAnotherStore) {
  EXPECT_EQ(store_.copyPrivateKey(kTag).status, KeychainStatus::itemNotFound);
  auto created = store_.createRandomKey(permanentKey());
  ASSERT_EQ(created.status, KeychainStatus::success);

  KeychainKeyStore second(keychain_);
  auto found = second.copyPrivateKey(kTag);
  ASSERT_EQ(found.status, KeychainStatus::success);
  EXPECT_EQ(found.key->token(), KeyToken::software);
  EXPECT_EQ(found.key->publicKeyX963(), created.key->publicKeyX963());
  auto signature = found.key->sign(message());
  ASSERT_TRUE(signature);
  EXPECT_TRUE(P256SigningKey::verify(created.key->publicKeyX963(), message(), *signature));
}

TEST_F(KeychainKeyStoreTests, HardwareKeysExistOnlyWhereTheMachineHasThem) {
  auto refused = store_.createRandomKey(permanentKey(KeyToken::hardware));
  EXPECT_EQ(refused.status, KeychainStatus::unimplemented);
  EXPECT_FALSE(refused.key);
  EXPECT_TRUE(keychain_->keys().empty());

  store_.setHardwareAvailable(true);
  ASSERT_EQ(store_.createRandomKey(permanentKey(KeyToken::hardware)).status,
            KeychainStatus::success);
  auto found = store_.copyPrivateKey(kTag);
  ASSERT_EQ(found.status, KeychainStatus::success);
  EXPECT_EQ(found.key->token(), KeyToken::hardware);
}

TEST_F(KeychainKeyStoreTests, EphemeralKeysAreNeverStored) {
  auto key = store_.createRandomKey({kTag, false, KeyToken::software, std::nullopt});
  ASSERT_EQ(key.status, KeychainStatus::success);
  EXPECT_TRUE(keychain_->keys().empty());
  EXPECT_EQ(store_.copyPrivateKey(kTag).status, KeychainStatus::itemNotFound);
}

TEST_F(KeychainKeyStoreTests, ReportsKeychainFailuresAndDamagedKeys) {
  keychain_->failKey(sim::KeychainOperation::add, kTag, KeychainStatus::interactionNotAllowed);
  auto refused = store_.createRandomKey(permanentKey());
  EXPECT_EQ(refused.status, KeychainStatus::interactionNotAllowed);
  EXPECT_FALSE(refused.key);
  keychain_->clearFailures();

  ASSERT_EQ(keychain_->addKey({kTag, KeyToken::software, Bytes{0x30, 0x00}}),
            KeychainStatus::success);
  auto damaged = store_.copyPrivateKey(kTag);
  EXPECT_EQ(damaged.status, KeychainStatus::decode);
  EXPECT_FALSE(damaged.key);
  EXPECT_EQ(store_.createRandomKey(permanentKey()).status, KeychainStatus::duplicateItem);
}

TEST_F(KeychainKeyStoreTests, SigningCanBeMadeToFail) {
  auto key = store_.createRandomKey(permanentKey()).key;
  ASSERT_TRUE(key);
  store_.setSigningFails(true);
  EXPECT_FALSE(key->sign(message()));
  store_.setSigningFails(false);
  EXPECT_TRUE(key->sign(message()));
}

}  // namespace
}  // namespace platform
