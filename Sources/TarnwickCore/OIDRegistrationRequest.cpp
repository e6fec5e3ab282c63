#include "TarnwickCore/OIDRegistrationRequest.h"

#include <utility>

#include "Platform/Foundation/JSON.h"
#include "Platform/Foundation/JSONSerialization.h"
#include "TarnwickCore/OIDArchive.h"
#include "TarnwickCore/OIDDescription.h"

namespace tarnwick {

using platform::URL;
using platform::Value;
using namespace archiving;

namespace {

Value textList(const std::vector<std::string>& texts) {
  Value::Array out;
  for (const auto& text : texts) out.emplace_back(text);
  return out;
}

std::optional<std::vector<std::string>> textListIn(const Value::Dictionary& archive,
                                                   std::string_view key) {
  auto found = archive.find(key);
  if (found == archive.end() || !found->second.asArray()) return std::nullopt;
  std::vector<std::string> out;
  for (const auto& entry : *found->second.asArray()) {
    if (auto text = entry.asString()) out.push_back(*text);
  }
  return out;
}

}  // namespace

OIDRegistrationRequest::OIDRegistrationRequest(
    OIDServiceConfiguration configuration, std::vector<URL> redirectURIs,
    std::optional<std::vector<std::string>> responseTypes,
    std::optional<std::vector<std::string>> grantTypes, std::optional<std::string> subjectType,
    std::optional<std::string> tokenEndpointAuthMethod,
    std::optional<std::string> initialAccessToken, OIDParameters additionalParameters)
    : configuration_(std::move(configuration)),
      redirectURIs_(std::move(redirectURIs)),
      responseTypes_(std::move(responseTypes)),
      grantTypes_(std::move(grantTypes)),
      subjectType_(std::move(subjectType)),
      tokenEndpointAuthenticationMethod_(std::move(tokenEndpointAuthMethod)),
      initialAccessToken_(std::move(initialAccessToken)),
      additionalParameters_(std::move(additionalParameters)) {}

std::optional<std::string> OIDRegistrationRequest::JSONString() const {
  platform::JSON body = platform::JSON::object();
  platform::JSON uris = platform::JSON::array();
  for (const auto& uri : redirectURIs_) uris.push_back(uri.absoluteString());
  body[std::string(OIDRedirectURIsParam)] = std::move(uris);
  body[std::string(OIDApplicationTypeParam)] = std::string(OIDApplicationTypeNative);
  for (const auto& [name, value] : additionalParameters_) body[name] = value;
  if (responseTypes_) body[std::string(OIDResponseTypesParam)] = *responseTypes_;
  if (grantTypes_) body[std::string(OIDGrantTypesParam)] = *grantTypes_;
  if (subjectType_) body[std::string(OIDSubjectTypeParam)] = *subjectType_;
  if (tokenEndpointAuthenticationMethod_) {
    body[std::string(OIDTokenEndpointAuthenticationMethodParam)] =
        *tokenEndpointAuthenticationMethod_;
  }
  try {
    return platform::JSONSerialization::serialize(body);
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

std::optional<platform::HTTPRequest> OIDRegistrationRequest::URLRequest() const {
  const auto& endpoint = configuration_.registrationEndpoint();
  auto body = JSONString();
  if (!endpoint || !body) return std::nullopt;
  platform::HTTPRequest request(*endpoint);
  request.httpMethod = "POST";
  request.setValue("application/json", "Content-Type");
  if (initialAccessToken_) request.setValue("Bearer " + *initialAccessToken_, "Authorization");
  request.httpBody = platform::Bytes(body->begin(), body->end());
  return request;
}

Value OIDRegistrationRequest::archive() const {
  Value::Dictionary out;
  out.emplace("configuration", configuration_.archive());
  put(out, "initial_access_token", initialAccessToken_);
  Value::Array uris;
  for (const auto& uri : redirectURIs_) uris.emplace_back(uri.absoluteString());
  out.emplace("redirect_uris", std::move(uris));
  if (responseTypes_) out.emplace("response_types", textList(*responseTypes_));
  if (grantTypes_) out.emplace("grant_types", textList(*grantTypes_));
  put(out, "subject_type", subjectType_);
  put(out, "token_endpoint_auth_method", tokenEndpointAuthenticationMethod_);
  put(out, "additionalParameters", additionalParameters_);
  return out;
}

std::optional<OIDRegistrationRequest> OIDRegistrationRequest::fromArchive(const Value& archived) {
  const Value::Dictionary* dictionary = archived.asDictionary();
  if (!dictionary) return std::nullopt;
  auto configuration = configurationIn(*dictionary);
  if (!configuration) return std::nullopt;
  std::vector<URL> redirectURIs;
  for (const auto& text :
       textListIn(*dictionary, "redirect_uris").value_or(std::vector<std::string>{})) {
    if (auto uri = URL::parse(text)) redirectURIs.push_back(std::move(*uri));
  }
  return OIDRegistrationRequest(
      std::move(*configuration), std::move(redirectURIs), textListIn(*dictionary, "response_types"),
      textListIn(*dictionary, "grant_types"), textIn(*dictionary, "subject_type"),
      textIn(*dictionary, "token_endpoint_auth_method"),
      textIn(*dictionary, "initial_access_token"),
      parametersIn(*dictionary, "additionalParameters").value_or(OIDParameters{}));
}

std::string OIDRegistrationRequest::description() const {
  return "<OIDRegistrationRequest: " + OIDDescription::address(this) +
         ", request: <URL: " + OIDDescription::of(configuration_.registrationEndpoint()) +
         ", HTTPBody: " + JSONString().value_or("(null)") + ">>";
}

}  // namespace tarnwick
