#pragma once

#include <optional>
#include <string>

#include "Platform/Foundation/URL.h"
#include "Platform/Foundation/Value.h"
#include "TarnwickCore/OIDServiceDiscovery.h"

namespace tarnwick {

// The provider's endpoints that requests are sent to, with the discovery document they came
// from when they were discovered. An immutable value.
class OIDServiceConfiguration {
 public:
  OIDServiceConfiguration() = delete;
  OIDServiceConfiguration(platform::URL authorizationEndpoint, platform::URL tokenEndpoint,
                          std::optional<platform::URL> issuer = std::nullopt,
                          std::optional<platform::URL> registrationEndpoint = std::nullopt,
                          std::optional<platform::URL> endSessionEndpoint = std::nullopt,
                          std::optional<OIDServiceDiscovery> discoveryDocument = std::nullopt);
  // The endpoints of a discovered document. An authorization endpoint that the document lacks
  // or that is no URL is left empty.
  explicit OIDServiceConfiguration(const OIDServiceDiscovery& discoveryDocument);

  static OIDServiceConfiguration withRegistrationEndpoint(platform::URL authorizationEndpoint,
                                                          platform::URL tokenEndpoint,
                                                          platform::URL registrationEndpoint);

  const platform::URL& authorizationEndpoint() const { return authorizationEndpoint_; }
  const platform::URL& tokenEndpoint() const { return tokenEndpoint_; }
  const std::optional<platform::URL>& issuer() const { return issuer_; }
  const std::optional<platform::URL>& registrationEndpoint() const { return registrationEndpoint_; }
  const std::optional<platform::URL>& endSessionEndpoint() const { return endSessionEndpoint_; }
  const std::optional<OIDServiceDiscovery>& discoveryDocument() const { return discoveryDocument_; }

  platform::Value archive() const;
  // Nothing unless both the authorization and the token endpoint are in the archive.
  static std::optional<OIDServiceConfiguration> fromArchive(const platform::Value& archive);

  std::string description() const;

  bool operator==(const OIDServiceConfiguration&) const = default;

 private:
  platform::URL authorizationEndpoint_;
  platform::URL tokenEndpoint_;
  std::optional<platform::URL> issuer_;
  std::optional<platform::URL> registrationEndpoint_;
  std::optional<platform::URL> endSessionEndpoint_;
  std::optional<OIDServiceDiscovery> discoveryDocument_;
};

}  // namespace tarnwick
