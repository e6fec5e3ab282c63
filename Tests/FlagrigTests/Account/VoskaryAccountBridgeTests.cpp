#include <gtest/gtest.h>

#include "AccountTest.h"
#include "Platform/Foundation/Regex.h"
#include "Platform/Network/HTTPSession.h"
#include "Platform/Sim/SimKeychain.h"
#include "VoskaryAccount/Client/VoskaryInstallMetrics.h"

namespace flagrig::testing {
namespace {

using platform::sim::KeychainOperation;
using voskary::VoskaryInstallMetrics;

class VoskaryAccountBridgeTest : public AccountTest {
 protected:
  static platform::GenericPasswordQuery installItem() {
    return {"com.voskary.account.flagrig", std::string(VoskaryInstallMetrics::Keys::installID),
            std::nullopt, platform::KeychainAccessibility::afterFirstUnlockThisDeviceOnly};
  }
  static std::optional<std::string> storedInstallID() {
    auto data = keychain().getData(VoskaryInstallMetrics::Keys::installID);
    if (!data) return std::nullopt;
    return std::string(data->begin(), data->end());
  }
  static bool isLowerCaseUUID(const std::string& text) {
    return text.size() == 36 && text.find_first_not_of("0123456789abcdef-") == std::string::npos;
  }
};

TEST_F(VoskaryAccountBridgeTest, TheConfigurationIsTheAppsFixedOne) {
  auto& config = manager().config();
  EXPECT_EQ(config.authorityURL().absoluteString(), kIssuer);
  EXPECT_EQ(config.identityURL().absoluteString(), kBase);
  EXPECT_EQ(config.appSlug(), "flagrig");
  EXPECT_EQ(config.clientID(), "flagrig");
  EXPECT_EQ(config.clientVersion(), "1.0.0");
  EXPECT_EQ(config.libVersion(), "0.9.2");
  EXPECT_EQ(config.redirectURI().absoluteString(), "flagrig://auth/callback");
  EXPECT_EQ(config.preferredScheme(), voskary::AuthScheme::systemBrowser);
  EXPECT_EQ(config.keychainAccessGroup(), std::nullopt);
  EXPECT_EQ(config.scopes(), std::vector<std::string>{"voskary.account"});
  EXPECT_EQ(config.urlSession(), platform::env().httpSession);
  EXPECT_FALSE(config.logger());
  EXPECT_EQ(config.installID(), std::optional<std::string>(kDeviceId));
  EXPECT_EQ(manager().state(), State::signedOut()) << "nothing restores here";
}

TEST_F(VoskaryAccountBridgeTest, TheInstallIDIsSeededFromTheDeviceIDOnlyWhenNoneIsStored) {
  // First launch: the item is created with the device id.
  EXPECT_EQ(VoskaryAccountBridge::installIDForConfig(), kDeviceId);
  EXPECT_EQ(storedInstallID(), kDeviceId);

  // Another id stored earlier stays.
  keychain().setData(platform::Bytes{'o', 't', 'h', 'e', 'r'},
                     VoskaryInstallMetrics::Keys::installID);
  EXPECT_EQ(VoskaryAccountBridge::installIDForConfig(), "other");
  EXPECT_EQ(storedInstallID(), "other");

  // Empty data is the library's to replace: with a new UUID, never the device id.
  sim().keychain->plant(installItem(), platform::Value(platform::Bytes{}));
  auto replaced = VoskaryAccountBridge::installIDForConfig();
  EXPECT_TRUE(isLowerCaseUUID(replaced)) << replaced;
  EXPECT_EQ(storedInstallID(), replaced);
}

TEST_F(VoskaryAccountBridgeTest, ARefusedSeedSurfacesNoErrorAndTheLibraryMakesAnID) {
  sim().keychain->failOperation(KeychainOperation::add, platform::KeychainStatus::io);
  std::string id;
  EXPECT_NO_THROW(id = VoskaryAccountBridge::installIDForConfig());
  EXPECT_TRUE(isLowerCaseUUID(id)) << id;
  EXPECT_EQ(storedInstallID(), std::nullopt) << "the keychain kept refusing";
}

TEST_F(VoskaryAccountBridgeTest, AnUnreadableItemIsNeverSeededOver) {
  keychain().setData(platform::Bytes{'k', 'e', 'e', 'p'}, VoskaryInstallMetrics::Keys::installID);
  sim().keychain->setLocked(true);
  auto id = VoskaryAccountBridge::installIDForConfig();
  EXPECT_NE(id, kDeviceId);
  sim().keychain->setLocked(false);
  EXPECT_EQ(storedInstallID(), "keep");
}

TEST_F(VoskaryAccountBridgeTest, CurrentSessionNeedsTheSignedInStateAndAReadableItem) {
  enum class Item { ok, missing, corrupt, expired };
  const voskary::VoskaryAccount account{{kAccountID}, kEmail, std::nullopt};
  const std::vector<std::pair<const char*, State>> states{
      {"signingIn", State::signingIn()},
      {"failed", State::failed(voskary::VoskaryError::networkUnavailable())},
      {"signedOut", State::signedOut()},
      {"signedIn", State::signedIn(account)}};
  for (const auto& [name, state] : states) {
    for (auto item : {Item::ok, Item::missing, Item::corrupt, Item::expired}) {
      keychain().deleteData(voskary::KeychainStorage::Keys::session);
      std::optional<voskary::StoredSession> stored;
      if (item == Item::ok) stored = storeSession();
      if (item == Item::expired) stored = storeSession(-60);
      if (item == Item::corrupt)
        keychain().setData(platform::Bytes{'{', '"', 'v'}, voskary::KeychainStorage::Keys::session);
      manager().transition(state);

      auto session = bridge().currentSession();
      const bool expected = std::string(name) == "signedIn" && stored.has_value();
      SCOPED_TRACE(std::string(name) + " item " + std::to_string(static_cast<int>(item)));
      ASSERT_EQ(session.has_value(), expected);
      if (session) {
        // The expired token comes back unchanged: the service judges it.
        EXPECT_EQ(*session, (VoskaryAccountBridge::Session{stored->vas, kAccountID, kEmail}));
      }
    }
  }
  EXPECT_TRUE(sim().http->requests().empty()) << "no network, no refresh";
}

TEST_F(VoskaryAccountBridgeTest, TheAccountComesFromTheStateAndOnlyTheTokenFromTheKeychain) {
  auto stored = storeSession(3600, "va_stored", "stored@voskary.test");
  manager().transition(State::signedIn({{kAccountID}, kEmail, std::nullopt}));
  EXPECT_EQ(bridge().currentSession(),
            (VoskaryAccountBridge::Session{stored.vas, kAccountID, kEmail}));
}

TEST_F(VoskaryAccountBridgeTest, ATokenThatWouldSplitAHeaderIsNoSession) {
  for (std::string vas : {"vas_1\r\nX-Injected: 1", "vas_1\n", "vas_\x7f"}) {
    signInWithSessionToken(vas, kAccountID, kEmail, 60);
    EXPECT_EQ(bridge().currentSession(), std::nullopt);
  }
  storeSession();
  manager().transition(State::signedIn({{"va_1\r\nX: y"}, kEmail, std::nullopt}));
  EXPECT_EQ(bridge().currentSession(), std::nullopt);
}

}  // namespace
}  // namespace flagrig::testing
