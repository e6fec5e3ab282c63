#include "VoskaryAccountBridge.h"

#include "Flagrig/Shell/Constants.h"
#include "Flagrig/Shell/ServiceAddresses.h"
#include "Platform/Foundation/Environment.h"
#include "Platform/Foundation/SharedInstance.h"
#include "VoskaryAccount/Client/KeychainStorage.h"
#include "VoskaryAccount/Client/StoredSession.h"
#include "VoskaryAccount/Client/VoskaryAccountLibrary.h"
#include "VoskaryAccount/Client/VoskaryInstallMetrics.h"

namespace flagrig {

namespace {

platform::SharedInstance<VoskaryAccountBridge>& instance() {
  static platform::SharedInstance<VoskaryAccountBridge> bridge;
  return bridge;
}

// Whether `text` can be a header value: no control characters, which would end the field or
// the request (a token stored from a broken or hostile answer must not add headers of its own).
bool fitsInHeader(std::string_view text) {
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) return false;
  }
  return true;
}

}  // namespace

VoskaryAccountBridge& VoskaryAccountBridge::shared() {
  return instance().get();
}

std::shared_ptr<VoskaryAccountBridge> VoskaryAccountBridge::sharedPointer() {
  return instance().pointer();
}

VoskaryAccountBridge::VoskaryAccountBridge()
    : manager_(voskary::VoskaryAccountManager::make(makeConfig())) {}

voskary::VoskaryConfig VoskaryAccountBridge::makeConfig() {
  const auto addresses = ServiceAddresses::active();
  return voskary::VoskaryConfig(
      addresses.authority, addresses.accountService, std::string(appSlug), std::string(clientID),
      Constants::appVersion(), std::string(voskary::VoskaryAccountLibrary::libVersion),
      platform::URL(redirectURI), voskary::AuthScheme::systemBrowser, std::nullopt,
      {std::string(scope)}, platform::env().httpSession, {}, installIDForConfig());
}

std::string VoskaryAccountBridge::installIDForConfig() {
  voskary::KeychainStorage storage(appSlug);
  std::optional<platform::Bytes> stored;
  bool missing = false;
  try {
    stored = storage.readData(voskary::VoskaryInstallMetrics::Keys::installID);
    missing = !stored;
  } catch (const voskary::VoskaryError&) {
    // Unreadable now (locked) or holding no bytes: it may be a real id, and an empty one is
    // the install metrics' to replace. Never seed over it.
  }
  if (missing) {
    const auto deviceId = Constants::deviceId();
    try {
      storage.setData(platform::Bytes(deviceId.begin(), deviceId.end()),
                      voskary::VoskaryInstallMetrics::Keys::installID);
    } catch (const voskary::VoskaryError&) {
      // The install metrics make and keep an id of their own.
    }
  }
  return voskary::VoskaryInstallMetrics(appSlug).installID();
}

std::optional<VoskaryAccountBridge::Session> VoskaryAccountBridge::currentSession() const {
  const auto state = manager_->state();
  const auto* signedIn = state.as<voskary::VoskaryAccountManager::State::SignedIn>();
  if (!signedIn) return std::nullopt;
  voskary::KeychainStorage storage(appSlug);
  auto stored = storage.getJSON<voskary::StoredSession>(voskary::KeychainStorage::Keys::session);
  if (!stored) return std::nullopt;
  if (!fitsInHeader(stored->vas) || !fitsInHeader(signedIn->account.voskaryAccountId.raw))
    return std::nullopt;
  return Session{stored->vas, signedIn->account.voskaryAccountId.raw,
                 signedIn->account.emailPrimary};
}

}  // namespace flagrig
