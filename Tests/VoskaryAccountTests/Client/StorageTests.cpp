#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "Platform/Security/KeychainStatus.h"
#include "Support/ForwardingKeychain.h"
#include "Support/SimTest.h"
#include "VoskaryAccount/Client/InMemoryStorage.h"
#include "VoskaryAccount/Client/KeychainStorage.h"
#include "VoskaryAccount/Client/StoredSession.h"

namespace voskary {
namespace {

using platform::Bytes;
using platform::Date;
using platform::KeychainStatus;
using platform::sim::KeychainOperation;

constexpr std::string_view kService = "com.voskary.account.flagrig";

Bytes bytes(std::string_view text) {
  return Bytes(text.begin(), text.end());
}

StoredSession session(std::optional<std::string> refreshToken = "refresh") {
  return {"vas.token",         std::move(refreshToken),
          Date{1'800'000'600}, {{"va_1"}, "a@example.com", std::vector{VoskaryProvider::google}},
          "flagrig",           Date{1'800'000'000.125}};
}

// What both stores must do alike.
struct StoreFactory {
  const char* name;
  std::function<std::shared_ptr<VoskaryAccountDataStorage>()> make;
};

class StorageBehaviourTests : public platform::testing::SimTest,
                              public ::testing::WithParamInterface<StoreFactory> {};

TEST_P(StorageBehaviourTests, StoreReplaceReadAndDelete) {
  auto store = GetParam().make();
  EXPECT_EQ(store->getData("k"), std::nullopt);
  EXPECT_EQ(store->readData("k"), std::nullopt);
  EXPECT_EQ(store->getJSON<StoredSession>("k"), std::nullopt);
  store->deleteData("k");

  store->setData(bytes("one"), "k");
  store->setData(bytes("two"), "k");
  store->setData(bytes("other"), "k2");
  EXPECT_EQ(store->getData("k"), bytes("two"));
  store->deleteData("k");
  EXPECT_EQ(store->getData("k"), std::nullopt);
  EXPECT_EQ(store->getData("k2"), bytes("other"));
}

TEST_P(StorageBehaviourTests, SessionsRoundTripAndUnreadableItemsReadAsAbsent) {
  auto store = GetParam().make();
  store->setJSON(session(), KeychainStorage::Keys::session);
  EXPECT_EQ(store->getJSON<StoredSession>(KeychainStorage::Keys::session), session());

  store->setJSON(session(std::nullopt), KeychainStorage::Keys::session);
  auto text = store->getData(KeychainStorage::Keys::session).value();
  EXPECT_EQ(
      std::string(text.begin(), text.end()),
      R"({"vas":"vas.token","expiresAt":"2027-01-15T08:10:00.000Z",)"
      R"("account":{"voskary_account_id":"va_1","email_primary":"a@example.com",)"
      R"("providers":["google"]},"appSlug":"flagrig","issuedAt":"2027-01-15T08:00:00.125Z"})");
  EXPECT_EQ(store->getJSON<StoredSession>(KeychainStorage::Keys::session), session(std::nullopt));

  store->deleteData(KeychainStorage::Keys::session);
  EXPECT_EQ(store->getJSON<StoredSession>(KeychainStorage::Keys::session), std::nullopt);

  const std::string_view unreadable[] = {
      "not json",
      R"({"vas":"v","expiresAt":"2027-01-15","account":{"voskary_account_id":"va_1",)"
      R"("email_primary":"a"},"appSlug":"f","issuedAt":"2027-01-15T08:00:00Z"})",
      R"({"vas":"v"})",
  };
  for (auto item : unreadable) {
    store->setData(bytes(item), "bad");
    EXPECT_EQ(store->getJSON<StoredSession>("bad"), std::nullopt) << item;
    EXPECT_EQ(store->getData("bad"), bytes(item));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Stores, StorageBehaviourTests,
    ::testing::Values(StoreFactory{"Keychain",
                                   [] { return std::make_shared<KeychainStorage>("flagrig"); }},
                      StoreFactory{"InMemory", [] { return std::make_shared<InMemoryStorage>(); }}),
    [](const auto& test) { return std::string(test.param.name); });

class KeychainStorageTests : public platform::testing::SimTest {
 protected:
  platform::sim::SimKeychain& keychain() { return *sim().keychain; }
};

TEST_F(KeychainStorageTests, ItemsArePerDeviceGenericPasswordsOfTheAppService) {
  KeychainStorage store("flagrig");
  EXPECT_EQ(store.service(), kService);
  store.setData(bytes("one"), "voskary_session");
  store.setData(bytes("two"), "voskary_session");

  auto items = keychain().items();
  ASSERT_EQ(items.size(), 1u);
  EXPECT_EQ(items[0].service, kService);
  EXPECT_EQ(items[0].account, "voskary_session");
  EXPECT_EQ(items[0].accessGroup, "");
  EXPECT_EQ(items[0].accessibility,
            platform::KeychainAccessibility::afterFirstUnlockThisDeviceOnly);
  EXPECT_EQ(items[0].data, platform::Value(bytes("two")));

  EXPECT_EQ(KeychainStorage("flagrig").getData("voskary_session"), bytes("two"));
  EXPECT_EQ(KeychainStorage("other").getData("voskary_session"), std::nullopt);

  KeychainStorage grouped("flagrig", "team.group");
  grouped.setData(bytes("g"), "voskary_session");
  EXPECT_EQ(keychain().items().size(), 2u);
  EXPECT_EQ(keychain().items()[1].accessGroup, "team.group");
  EXPECT_EQ(grouped.getData("voskary_session"), bytes("g"));
}

TEST_F(KeychainStorageTests, WritesReportTheKeychainStatus) {
  KeychainStorage store("flagrig");
  auto failureOf = [&](std::string_view key) -> std::optional<VoskaryError> {
    try {
      store.setData(bytes("x"), key);
    } catch (const VoskaryError& error) {
      return error;
    }
    return std::nullopt;
  };

  keychain().failOperation(KeychainOperation::add, KeychainStatus::missingEntitlement);
  EXPECT_EQ(failureOf("new"), VoskaryError::keychainFailure(KeychainStatus::missingEntitlement));
  EXPECT_TRUE(keychain().items().empty());

  keychain().clearFailures();
  store.setData(bytes("old"), "existing");
  keychain().failOperation(KeychainOperation::update, KeychainStatus::interactionNotAllowed);
  EXPECT_EQ(failureOf("existing"),
            VoskaryError::keychainFailure(KeychainStatus::interactionNotAllowed));
  keychain().clearFailures();
  EXPECT_EQ(store.getData("existing"), bytes("old"));

  keychain().setLocked(true);
  EXPECT_EQ(failureOf("existing"),
            VoskaryError::keychainFailure(KeychainStatus::interactionNotAllowed));
  EXPECT_THROW(store.setJSON(session(), "s"), VoskaryError);
}

TEST_F(KeychainStorageTests, UnreadableItemsReadAsAbsentButTellWhy) {
  KeychainStorage store("flagrig");
  store.setData(bytes("stored"), "locked");
  keychain().plant({std::string(kService), "wrong-kind", std::nullopt,
                    platform::KeychainAccessibility::afterFirstUnlockThisDeviceOnly},
                   platform::Value("a text, not bytes"));
  keychain().failItem(KeychainOperation::copy, std::string(kService), "locked",
                      KeychainStatus::interactionNotAllowed);

  EXPECT_EQ(store.getData("locked"), std::nullopt);
  EXPECT_EQ(store.getJSON<StoredSession>("locked"), std::nullopt);
  try {
    store.readData("locked");
    ADD_FAILURE() << "read a locked item";
  } catch (const VoskaryError& error) {
    EXPECT_EQ(error, VoskaryError::keychainFailure(KeychainStatus::interactionNotAllowed));
  }

  EXPECT_EQ(store.getData("wrong-kind"), std::nullopt);
  try {
    store.readData("wrong-kind");
    ADD_FAILURE() << "read an item without bytes";
  } catch (const VoskaryError& error) {
    EXPECT_EQ(error, VoskaryError::malformedResponse("keychain.wrong-kind"));
  }
}

TEST_F(KeychainStorageTests, AFailedDeleteIsLoggedButNotReported) {
  std::vector<std::pair<std::string, VoskaryLogFields>> lines;
  KeychainStorage store(
      "flagrig", std::nullopt,
      [&](VoskaryLogLevel level, const std::string& event, const VoskaryLogFields& fields) {
        EXPECT_EQ(level, VoskaryLogLevel::warning);
        lines.emplace_back(event, fields);
      });
  store.deleteData("never-stored");
  store.setData(bytes("x"), "voskary_session");
  store.deleteData("voskary_session");
  EXPECT_TRUE(lines.empty());

  store.setData(bytes("x"), "voskary_session");
  keychain().failOperation(KeychainOperation::remove, KeychainStatus::interactionNotAllowed);
  store.deleteData("voskary_session");
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].first, "keychain_delete_failed");
  EXPECT_EQ(lines[0].second, (VoskaryLogFields{{"key", "voskary_session"}, {"status", "-25308"}}));

  // Without a logger the failure is dropped quietly.
  KeychainStorage("flagrig").deleteData("voskary_session");
  EXPECT_EQ(keychain().items().size(), 1u);
}

// Lets a test act between a store's update and its add, as a second writer would.
class RacingKeychain final : public platform::testing::ForwardingKeychain {
 public:
  using ForwardingKeychain::ForwardingKeychain;
  std::function<void()> beforeAdd;

  platform::OSStatus add(const platform::GenericPasswordQuery& item, const Bytes& data) override {
    if (auto race = std::exchange(beforeAdd, nullptr)) race();
    return ForwardingKeychain::add(item, data);
  }
};

TEST_F(KeychainStorageTests, AFirstWriteThatLosesTheRaceToAddStillStoresItsValue) {
  auto racing = std::make_shared<RacingKeychain>(sim().keychain);
  sim().environment->keychain = racing;
  KeychainStorage store("flagrig");
  racing->beforeAdd = [] {
    KeychainStorage("flagrig").setData(bytes("theirs"), "voskary_session");
  };

  store.setData(bytes("ours"), "voskary_session");
  EXPECT_EQ(store.getData("voskary_session"), bytes("ours"));
  EXPECT_EQ(keychain().items().size(), 1u);
}

TEST_F(KeychainStorageTests, SessionExpiryCountsTheInstantItself) {
  auto stored = session();
  stored.expiresAt = clock().now();
  EXPECT_TRUE(stored.isExpired());
  stored.expiresAt = clock().now().addingTimeInterval(1);
  EXPECT_FALSE(stored.isExpired());
  advance(1);
  EXPECT_TRUE(stored.isExpired());
}

}  // namespace
}  // namespace voskary
