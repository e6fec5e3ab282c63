#include <gtest/gtest.h>

#include "Platform/Sim/SimKeychain.h"
#include "PlatformTests/Security/KeychainBehaviour.h"

namespace platform::testing {

TEST_P(KeychainBehaviour, AddsOnceAndUpdatesInPlace) {
  ASSERT_EQ(keychain().add(item("session"), Bytes{1, 2, 3}), KeychainStatus::success);
  EXPECT_EQ(read(item("session")), (Bytes{1, 2, 3}));
  EXPECT_EQ(keychain().add(item("session"), Bytes{9}), KeychainStatus::duplicateItem);
  EXPECT_EQ(read(item("session")), (Bytes{1, 2, 3}));

  ASSERT_EQ(keychain().update(item("session"), Bytes{4, 5}), KeychainStatus::success);
  EXPECT_EQ(read(item("session")), (Bytes{4, 5}));
  // One item: the first delete removes it, the second finds nothing.
  EXPECT_EQ(keychain().remove(item("session")), KeychainStatus::success);
  EXPECT_EQ(keychain().remove(item("session")), KeychainStatus::itemNotFound);
}

TEST_P(KeychainBehaviour, AnswersItemNotFoundForMissingItems) {
  auto copy = keychain().copyMatching(item("never-stored"));
  EXPECT_EQ(copy.status, KeychainStatus::itemNotFound);
  EXPECT_FALSE(copy.data);
  EXPECT_EQ(keychain().update(item("never-stored"), Bytes{1}), KeychainStatus::itemNotFound);
  EXPECT_EQ(keychain().remove(item("never-stored")), KeychainStatus::itemNotFound);
  EXPECT_EQ(keychain().copyKey(service_ + ".key").status, KeychainStatus::itemNotFound);
}

TEST_P(KeychainBehaviour, RefusesEveryCallWhileLockedAndKeepsTheData) {
  ASSERT_EQ(keychain().add(item("kept"), Bytes{7}), KeychainStatus::success);
  backend_->setRefusing(true);
  EXPECT_EQ(keychain().add(item("other"), Bytes{1}), KeychainStatus::interactionNotAllowed);
  EXPECT_EQ(keychain().update(item("kept"), Bytes{1}), KeychainStatus::interactionNotAllowed);
  auto copy = keychain().copyMatching(item("kept"));
  EXPECT_EQ(copy.status, KeychainStatus::interactionNotAllowed);
  EXPECT_FALSE(copy.data);
  EXPECT_EQ(keychain().remove(item("kept")), KeychainStatus::interactionNotAllowed);
  EXPECT_EQ(keychain().addKey({service_ + ".key", KeyToken::software, Bytes{1}}),
            KeychainStatus::interactionNotAllowed);
  backend_->setRefusing(false);
  EXPECT_EQ(read(item("kept")), Bytes{7});
  EXPECT_EQ(keychain().copyMatching(item("other")).status, KeychainStatus::itemNotFound);
}

TEST_P(KeychainBehaviour, KeepsAnyBytesExactly) {
  const Bytes cases[] = {{}, {0x00, 0xFF, 0x00, 0x80}, Bytes(70000, 0xC3)};
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    auto name = item("bytes" + std::to_string(i));
    ASSERT_EQ(keychain().add(name, cases[i]), KeychainStatus::success) << i;
    EXPECT_EQ(read(name), cases[i]) << i;
  }
}

TEST_P(KeychainBehaviour, IdentifiesItemsByServiceAccountAndGroup) {
  ASSERT_EQ(keychain().add(item("id"), Bytes{1}), KeychainStatus::success);
  ASSERT_EQ(keychain().add(item("id", "group.a"), Bytes{2}), KeychainStatus::success);
  ASSERT_EQ(keychain().add(item("other"), Bytes{3}), KeychainStatus::success);
  EXPECT_EQ(keychain().add(item("id", "group.a"), Bytes{4}), KeychainStatus::duplicateItem);

  EXPECT_EQ(read(item("id", "group.a")), Bytes{2});
  EXPECT_EQ(keychain().copyMatching(item("id", "group.b")).status, KeychainStatus::itemNotFound);
  GenericPasswordQuery elsewhere{service_ + ".elsewhere", "id", std::nullopt, std::nullopt};
  EXPECT_EQ(keychain().copyMatching(elsewhere).status, KeychainStatus::itemNotFound);

  // Without a group a query matches the items of every group.
  EXPECT_EQ(keychain().update(item("id"), Bytes{5}), KeychainStatus::success);
  EXPECT_EQ(read(item("id", "group.a")), Bytes{5});
  EXPECT_EQ(keychain().remove(item("id")), KeychainStatus::success);
  EXPECT_EQ(keychain().copyMatching(item("id", "group.a")).status, KeychainStatus::itemNotFound);
  EXPECT_EQ(read(item("other")), Bytes{3});
}

TEST_P(KeychainBehaviour, StoresKeysByApplicationTag) {
  KeyItem key{service_ + ".key", KeyToken::software, Bytes{0x30, 0x81, 0x87, 0x00}};
  ASSERT_EQ(keychain().addKey(key), KeychainStatus::success);
  EXPECT_EQ(keychain().addKey(key), KeychainStatus::duplicateItem);
  auto found = keychain().copyKey(key.applicationTag);
  ASSERT_EQ(found.status, KeychainStatus::success);
  EXPECT_EQ(found.item, key);
  EXPECT_EQ(keychain().copyKey(key.applicationTag + ".other").status, KeychainStatus::itemNotFound);
  EXPECT_EQ(keychain().removeKey(key.applicationTag), KeychainStatus::success);
  EXPECT_EQ(keychain().copyKey(key.applicationTag).status, KeychainStatus::itemNotFound);
}

namespace {

class SimKeychainBackend final : public KeychainBackend {
 public:
  Keychain& keychain() override { return keychain_; }
  void setRefusing(bool refusing) override { keychain_.setLocked(refusing); }

 private:
  sim::SimKeychain keychain_;
};

}  // namespace

INSTANTIATE_TEST_SUITE_P(Sim, KeychainBehaviour,
                         ::testing::Values(KeychainBackendFactory{
                             "Sim",
                             [](std::string&) { return std::make_unique<SimKeychainBackend>(); }}),
                         [](const auto& p) { return p.param.name; });

}  // namespace platform::testing
