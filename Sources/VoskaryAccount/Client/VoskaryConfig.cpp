#include "VoskaryAccount/Client/VoskaryConfig.h"

#include "VoskaryAccount/Client/VoskaryInstallMetrics.h"

namespace voskary {

VoskaryConfig::VoskaryConfig(platform::URL authorityURL, platform::URL identityURL,
                             std::string appSlug, std::string clientID, std::string clientVersion,
                             std::string libVersion, platform::URL redirectURI,
                             AuthScheme preferredScheme,
                             std::optional<std::string> keychainAccessGroup,
                             std::vector<std::string> scopes,
                             std::shared_ptr<platform::HTTPSession> urlSession,
                             VoskaryLogger logger, std::optional<std::string> installID)
    : authorityURL_(std::move(authorityURL)),
      identityURL_(std::move(identityURL)),
      appSlug_(std::move(appSlug)),
      clientID_(std::move(clientID)),
      clientVersion_(std::move(clientVersion)),
      libVersion_(std::move(libVersion)),
      redirectURI_(std::move(redirectURI)),
      preferredScheme_(preferredScheme),
      keychainAccessGroup_(std::move(keychainAccessGroup)),
      scopes_(std::move(scopes)),
      urlSession_(std::move(urlSession)),
      logger_(std::move(logger)),
      installID_(std::move(installID)) {}

VoskaryConfig VoskaryConfig::withAutoInstallID() const {
  VoskaryConfig copy = *this;
  if (!copy.installID_) copy.installID_ = VoskaryInstallMetrics(appSlug_).installID();
  return copy;
}

}  // namespace voskary
