#include "Platform/Sim/SimKeychain.h"

#include <gtest/gtest.h>

namespace platform::sim {
namespace {

GenericPasswordQuery item(std::string account) {
  return {"com.example.service", std::move(account), std::nullopt,
          KeychainAccessibility::afterFirstUnlockThisDeviceOnly};
}

TEST(SimKeychainTests, InjectedFailuresHitTheirOperationOrItemOnly) {
  SimKeychain keychain;
  ASSERT_EQ(keychain.add(item("a"), Bytes{1}), KeychainStatus::success);
  ASSERT_EQ(keychain.add(item("b"), Bytes{2}), KeychainStatus::success);

  keychain.failItem(KeychainOperation::copy, "com.example.service", "a", KeychainStatus::decode);
  EXPECT_EQ(keychain.copyMatching(item("a")).status, KeychainStatus::decode);
  EXPECT_EQ(keychain.copyMatching(item("b")).status, KeychainStatus::success);
  EXPECT_EQ(keychain.update(item("a"), Bytes{3}), KeychainStatus::success);

  keychain.failOperation(KeychainOperation::add, KeychainStatus::missingEntitlement);
  EXPECT_EQ(keychain.add(item("c"), Bytes{1}), KeychainStatus::missingEntitlement);
  EXPECT_EQ(keychain.addKey({"tag", KeyToken::software, {}}), KeychainStatus::missingEntitlement);
  keychain.failKey(KeychainOperation::copy, "tag", KeychainStatus::io);
  EXPECT_EQ(keychain.copyKey("tag").status, KeychainStatus::io);

  keychain.clearFailures();
  EXPECT_EQ(keychain.copyMatching(item("a")).status, KeychainStatus::success);
  EXPECT_EQ(keychain.add(item("c"), Bytes{1}), KeychainStatus::success);
}

TEST(SimKeychainTests, PlantedItemsHandBackDataThatIsNotBytes) {
  SimKeychain keychain;
  const Value planted[] = {Value("text"), Value(), Value(Value::Array{})};
  for (const auto& value : planted) {
    keychain.plant(item("odd"), value);
    auto result = keychain.copyMatching(item("odd"));
    EXPECT_EQ(result.status, KeychainStatus::success);
    ASSERT_TRUE(result.data);
    EXPECT_EQ(*result.data, value);
  }
  EXPECT_EQ(keychain.items().size(), 1u);
}

TEST(SimKeychainTests, RecordsAndMatchesTheAccessibility) {
  SimKeychain keychain;
  GenericPasswordQuery plain{"svc", "acct", std::nullopt, std::nullopt};
  ASSERT_EQ(keychain.add(plain, Bytes{1}), KeychainStatus::success);
  EXPECT_EQ(keychain.items().front().accessibility, KeychainAccessibility::whenUnlocked);
  // A query that names another protection class does not see the item.
  GenericPasswordQuery strict = plain;
  strict.accessibility = KeychainAccessibility::afterFirstUnlockThisDeviceOnly;
  EXPECT_EQ(keychain.copyMatching(strict).status, KeychainStatus::itemNotFound);
  EXPECT_EQ(keychain.copyMatching(plain).status, KeychainStatus::success);
}

}  // namespace
}  // namespace platform::sim
