#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Platform/Foundation/URL.h"
#include "VoskaryAccount/Client/AuthScheme.h"
#include "VoskaryAccount/Client/VoskaryLogger.h"

namespace platform {
class HTTPSession;
}

namespace voskary {

// How the host app sets up the account library: where the identity provider and the identity
// service are, who the app is and which versions it and the library have, how sign-in is
// shown, which scopes it asks for, the HTTP session and log sink to use, and the install
// identifier. Immutable; the account manager receives it once.
class VoskaryConfig {
 public:
  VoskaryConfig(platform::URL authorityURL, platform::URL identityURL, std::string appSlug,
                std::string clientID, std::string clientVersion, std::string libVersion,
                platform::URL redirectURI, AuthScheme preferredScheme,
                std::optional<std::string> keychainAccessGroup, std::vector<std::string> scopes,
                std::shared_ptr<platform::HTTPSession> urlSession, VoskaryLogger logger,
                std::optional<std::string> installID);

  // The OpenID Connect issuer used for discovery and sign-in.
  const platform::URL& authorityURL() const { return authorityURL_; }
  // The identity service; request paths are resolved against it.
  const platform::URL& identityURL() const { return identityURL_; }
  // The app's short name at the service; it also names the keychain service.
  const std::string& appSlug() const { return appSlug_; }
  const std::string& clientID() const { return clientID_; }
  // The host app's version, sent with requests.
  const std::string& clientVersion() const { return clientVersion_; }
  // The library's version, sent with requests.
  const std::string& libVersion() const { return libVersion_; }
  const platform::URL& redirectURI() const { return redirectURI_; }
  AuthScheme preferredScheme() const { return preferredScheme_; }
  // The session store's keychain access group; absent for the default.
  const std::optional<std::string>& keychainAccessGroup() const { return keychainAccessGroup_; }
  // The OAuth scopes asked for at sign-in, in order.
  const std::vector<std::string>& scopes() const { return scopes_; }
  // Every identity-service request goes through this session.
  const std::shared_ptr<platform::HTTPSession>& urlSession() const { return urlSession_; }
  // The library's log sink; empty when the host takes no lines.
  const VoskaryLogger& logger() const { return logger_; }
  const std::optional<std::string>& installID() const { return installID_; }

  // A copy with `installID` filled in from the install metrics of the app slug's keychain
  // store (no access group) when it is absent; otherwise an identical copy.
  VoskaryConfig withAutoInstallID() const;

 private:
  platform::URL authorityURL_;
  platform::URL identityURL_;
  std::string appSlug_;
  std::string clientID_;
  std::string clientVersion_;
  std::string libVersion_;
  platform::URL redirectURI_;
  AuthScheme preferredScheme_;
  std::optional<std::string> keychainAccessGroup_;
  std::vector<std::string> scopes_;
  std::shared_ptr<platform::HTTPSession> urlSession_;
  VoskaryLogger logger_;
  std::optional<std::string> installID_;
};

}  // namespace voskary
