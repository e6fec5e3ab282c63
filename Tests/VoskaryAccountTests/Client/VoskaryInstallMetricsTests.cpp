#include "VoskaryAccount/Client/VoskaryInstallMetrics.h"

#include <gtest/gtest.h>

#include <set>
#include <thread>

#include "Platform/Foundation/UUID.h"
#include "Platform/Security/KeychainStatus.h"
#include "Support/SimTest.h"
#include "VoskaryAccount/Client/KeychainStorage.h"
#include "VoskaryAccount/Client/VoskaryConfig.h"

namespace voskary {
namespace {

using platform::Bytes;
using platform::KeychainStatus;
using platform::sim::KeychainOperation;

constexpr std::string_view kService = "com.voskary.account.flagrig";
constexpr std::string_view kStoredID = "4a0c8f2e-5b1d-4c3e-9f70-1e2d3c4b5a69";

Bytes bytes(std::string_view text) {
  return Bytes(text.begin(), text.end());
}

bool isLowerCaseUUID(const std::string& text) {
  auto uuid = platform::UUID::parse(text);
  return uuid && uuid->lowercaseString() == text && uuid->version() == 4;
}

class VoskaryInstallMetricsTests : public platform::testing::SimTest {
 protected:
  platform::sim::SimKeychain& keychain() { return *sim().keychain; }
  std::optional<Bytes> storedID() {
    return KeychainStorage("flagrig").getData("voskary_install_id");
  }
  void storeID(const Bytes& data) {
    KeychainStorage("flagrig").setData(data, "voskary_install_id");
  }
};

TEST_F(VoskaryInstallMetricsTests, MakesOneIdentifierAndKeepsIt) {
  VoskaryInstallMetrics metrics("flagrig");
  std::string id = metrics.installID();
  EXPECT_EQ(id.size(), 36u);
  EXPECT_TRUE(isLowerCaseUUID(id)) << id;
  EXPECT_EQ(metrics.installID(), id);
  EXPECT_EQ(VoskaryInstallMetrics("flagrig").installID(), id);
  EXPECT_EQ(storedID(), bytes(id));
  ASSERT_EQ(keychain().items().size(), 1u);
  EXPECT_EQ(keychain().items()[0].service, kService);
}

TEST_F(VoskaryInstallMetricsTests, StoredIdentifiersAreReturnedAsTheyAreUnlessUnusable) {
  const std::pair<Bytes, bool> cases[] = {
      {bytes("NOT-A-UUID"), true},
      {bytes("4A0C8F2E-5B1D-4C3E-9F70-1E2D3C4B5A69"), true},
      {bytes(""), false},
      {Bytes{0xff, 0xfe, 0x41}, false},
  };
  for (const auto& [stored, kept] : cases) {
    storeID(stored);
    std::string id = VoskaryInstallMetrics("flagrig").installID();
    if (kept) {
      EXPECT_EQ(bytes(id), stored);
    } else {
      EXPECT_TRUE(isLowerCaseUUID(id));
      EXPECT_EQ(storedID(), bytes(id));
    }
  }
}

TEST_F(VoskaryInstallMetricsTests, AnUnreadableItemIsNeverReplaced) {
  storeID(bytes(kStoredID));
  keychain().setLocked(true);
  std::string runID = VoskaryInstallMetrics("flagrig").installID();
  EXPECT_NE(runID, kStoredID);
  EXPECT_TRUE(isLowerCaseUUID(runID));
  EXPECT_EQ(VoskaryInstallMetrics("flagrig").installID(), runID);

  keychain().setLocked(false);
  EXPECT_EQ(storedID(), bytes(kStoredID));
  EXPECT_EQ(VoskaryInstallMetrics("flagrig").installID(), kStoredID);

  // An item that holds no bytes is unreadable too, not missing.
  keychain().plant({std::string(kService), "voskary_install_id", std::nullopt,
                    platform::KeychainAccessibility::afterFirstUnlockThisDeviceOnly},
                   platform::Value(42));
  std::string secondRunID = VoskaryInstallMetrics("flagrig").installID();
  EXPECT_TRUE(isLowerCaseUUID(secondRunID));
  EXPECT_NE(secondRunID, kStoredID);
  EXPECT_EQ(VoskaryInstallMetrics("flagrig").installID(), secondRunID);
  EXPECT_EQ(keychain().items()[0].data, platform::Value(42));
}

TEST_F(VoskaryInstallMetricsTests, ARunOnlyIdentifierServesOnlyItsStoreAndOnlyUntilOneIsStored) {
  // Stored, then deleted: a new identifier, also after the store had refused writes.
  keychain().failOperation(KeychainOperation::add, KeychainStatus::notAvailable);
  std::string runID = VoskaryInstallMetrics("flagrig").installID();
  keychain().clearFailures();
  EXPECT_EQ(VoskaryInstallMetrics("flagrig").installID(), runID);
  EXPECT_EQ(storedID(), bytes(runID));
  KeychainStorage("flagrig").deleteData("voskary_install_id");
  std::string next = VoskaryInstallMetrics("flagrig").installID();
  EXPECT_NE(next, runID);
  EXPECT_EQ(storedID(), bytes(next));

  // Unreadable for a while, then readable: after its item is deleted, a new one again.
  keychain().setLocked(true);
  std::string lockedID = VoskaryInstallMetrics("flagrig").installID();
  keychain().setLocked(false);
  EXPECT_EQ(VoskaryInstallMetrics("flagrig").installID(), next);
  KeychainStorage("flagrig").deleteData("voskary_install_id");
  std::string third = VoskaryInstallMetrics("flagrig").installID();
  EXPECT_NE(third, lockedID);
  EXPECT_NE(third, next);

  // Another app slug's service has an identity of its own, also while this one is unreadable.
  keychain().setLocked(true);
  std::string lockedFlagrig = VoskaryInstallMetrics("flagrig").installID();
  std::string lockedOther = VoskaryInstallMetrics("other").installID();
  EXPECT_NE(lockedFlagrig, lockedOther);
  keychain().setLocked(false);
  std::string other = VoskaryInstallMetrics("other").installID();
  EXPECT_NE(other, third);
  EXPECT_EQ(KeychainStorage("other").getData("voskary_install_id"), bytes(other));
  EXPECT_EQ(VoskaryInstallMetrics("flagrig").installID(), third);
}

TEST_F(VoskaryInstallMetricsTests, AnIdentifierThatCannotBeStoredLastsTheRun) {
  keychain().failOperation(KeychainOperation::add, KeychainStatus::notAvailable);
  VoskaryInstallMetrics metrics("flagrig");
  std::string id = metrics.installID();
  EXPECT_EQ(metrics.installID(), id);
  EXPECT_EQ(storedID(), std::nullopt);

  keychain().clearFailures();
  EXPECT_EQ(metrics.installID(), id);
  EXPECT_EQ(storedID(), bytes(id));
}

TEST_F(VoskaryInstallMetricsTests, ConcurrentFirstCallsAgreeOnOneIdentifier) {
  std::vector<std::string> ids(8);
  std::vector<std::thread> threads;
  for (std::size_t i = 0; i < ids.size(); ++i)
    threads.emplace_back([&ids, i] { ids[i] = VoskaryInstallMetrics("flagrig").installID(); });
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(std::set<std::string>(ids.begin(), ids.end()).size(), 1u);
  EXPECT_EQ(keychain().items().size(), 1u);
}

TEST_F(VoskaryInstallMetricsTests, FirstOpenFiresOnceTheFlagIsStored) {
  VoskaryInstallMetrics metrics("flagrig");
  EXPECT_TRUE(metrics.shouldFireFirstOpen());

  keychain().failOperation(KeychainOperation::add, KeychainStatus::interactionNotAllowed);
  EXPECT_FALSE(metrics.markFirstOpenFired());
  EXPECT_TRUE(metrics.shouldFireFirstOpen());

  keychain().clearFailures();
  EXPECT_TRUE(metrics.markFirstOpenFired());
  EXPECT_FALSE(metrics.shouldFireFirstOpen());
  EXPECT_EQ(KeychainStorage("flagrig").getData("voskary_first_open_fired"), bytes("1"));

  // Once stored, nothing is written again.
  keychain().failOperation(KeychainOperation::update, KeychainStatus::interactionNotAllowed);
  EXPECT_TRUE(metrics.markFirstOpenFired());
  // Any content counts as fired.
  keychain().clearFailures();
  KeychainStorage("flagrig").setData({}, "voskary_first_open_fired");
  EXPECT_FALSE(metrics.shouldFireFirstOpen());
}

VoskaryConfig config(std::optional<std::string> installID) {
  using platform::URL;
  return VoskaryConfig(URL("https://id.example.com"), URL("https://account.example.com"), "flagrig",
                       "flagrig", "1.4", "0.9.2", URL("flagrig://auth/callback"),
                       AuthScheme::systemBrowser, "ignored.group", {"voskary.account"}, nullptr, {},
                       std::move(installID));
}

TEST_F(VoskaryInstallMetricsTests, AutoInstallIDFillsOnlyAnAbsentIdentifier) {
  EXPECT_EQ(config("given").withAutoInstallID().installID(), "given");
  EXPECT_TRUE(keychain().items().empty());

  auto filled = config(std::nullopt).withAutoInstallID();
  ASSERT_TRUE(filled.installID());
  EXPECT_EQ(*filled.installID(), VoskaryInstallMetrics("flagrig").installID());
  // The install identity ignores the configuration's access group.
  EXPECT_EQ(keychain().items().at(0).accessGroup, "");
  EXPECT_EQ(filled.appSlug(), "flagrig");
  EXPECT_EQ(filled.keychainAccessGroup(), "ignored.group");
  EXPECT_EQ(filled.scopes(), std::vector<std::string>{"voskary.account"});
}

}  // namespace
}  // namespace voskary
