#include "TarnwickCore/OIDEndSessionRequest.h"

#include <utility>

#include "TarnwickCore/OIDArchive.h"
#include "TarnwickCore/OIDDescription.h"
#include "TarnwickCore/OIDURLQueryComponent.h"

namespace tarnwick {

using platform::URL;
using platform::Value;
using namespace archiving;

OIDEndSessionRequest::OIDEndSessionRequest(OIDServiceConfiguration configuration,
                                           std::optional<std::string> idTokenHint,
                                           std::optional<URL> postLogoutRedirectURL,
                                           std::optional<std::string> state,
                                           OIDParameters additionalParameters)
    : configuration_(std::move(configuration)),
      idTokenHint_(std::move(idTokenHint)),
      postLogoutRedirectURL_(std::move(postLogoutRedirectURL)),
      state_(std::move(state)),
      additionalParameters_(std::move(additionalParameters)) {}

OIDEndSessionRequest::OIDEndSessionRequest(OIDServiceConfiguration configuration,
                                           std::optional<std::string> idTokenHint,
                                           std::optional<URL> postLogoutRedirectURL,
                                           OIDParameters additionalParameters)
    : OIDEndSessionRequest(
          std::move(configuration), std::move(idTokenHint), std::move(postLogoutRedirectURL),
          OIDAuthorizationRequest::generateState(), std::move(additionalParameters)) {}

std::optional<URL> OIDEndSessionRequest::endSessionRequestURL() const {
  const auto& endpoint = configuration_.endSessionEndpoint();
  if (!endpoint) return std::nullopt;
  OIDURLQueryComponent query;
  query.addParameters(additionalParameters_);
  if (idTokenHint_) query.addParameter("id_token_hint", *idTokenHint_);
  if (postLogoutRedirectURL_) {
    query.addParameter("post_logout_redirect_uri", postLogoutRedirectURL_->absoluteString());
  }
  if (state_) query.addParameter("state", *state_);
  return query.URLByReplacingQueryInURL(*endpoint);
}

URL OIDEndSessionRequest::externalUserAgentRequestURL() const {
  return endSessionRequestURL().value_or(URL());
}

std::optional<std::string> OIDEndSessionRequest::redirectScheme() const {
  if (!postLogoutRedirectURL_) return std::nullopt;
  return postLogoutRedirectURL_->scheme();
}

Value OIDEndSessionRequest::archive() const {
  Value::Dictionary out;
  out.emplace("configuration", configuration_.archive());
  put(out, "id_token_hint", idTokenHint_);
  put(out, "post_logout_redirect_uri", postLogoutRedirectURL_);
  put(out, "state", state_);
  put(out, "additionalParameters", additionalParameters_);
  return out;
}

std::optional<OIDEndSessionRequest> OIDEndSessionRequest::fromArchive(const Value& archived) {
  const Value::Dictionary* dictionary = archived.asDictionary();
  if (!dictionary) return std::nullopt;
  auto configuration = configurationIn(*dictionary);
  if (!configuration) return std::nullopt;
  return OIDEndSessionRequest(
      std::move(*configuration), textIn(*dictionary, "id_token_hint"),
      urlIn(*dictionary, "post_logout_redirect_uri"), textIn(*dictionary, "state"),
      parametersIn(*dictionary, "additionalParameters").value_or(OIDParameters{}));
}

std::string OIDEndSessionRequest::description() const {
  return "<OIDEndSessionRequest: " + OIDDescription::address(this) +
         ", request: " + OIDDescription::of(endSessionRequestURL()) + ">";
}

bool OIDEndSessionRequest::operator==(const OIDEndSessionRequest& other) const {
  return configuration_ == other.configuration_ && idTokenHint_ == other.idTokenHint_ &&
         postLogoutRedirectURL_ == other.postLogoutRedirectURL_ && state_ == other.state_ &&
         additionalParameters_ == other.additionalParameters_;
}

}  // namespace tarnwick
