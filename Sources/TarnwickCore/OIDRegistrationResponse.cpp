#include "TarnwickCore/OIDRegistrationResponse.h"

#include <utility>

#include "Platform/Foundation/DateFormats.h"
#include "TarnwickCore/OIDArchive.h"
#include "TarnwickCore/OIDDescription.h"
#include "TarnwickCore/OIDJSONValue.h"
#include "TarnwickCore/OIDTokenUtilities.h"

namespace tarnwick {

using platform::Value;

namespace {

std::string describe(const std::optional<platform::Date>& date) {
  return date ? platform::DateFormats::iso8601(*date,
                                               platform::DateFormats::FractionalSeconds::omitted)
              : std::string("(null)");
}

}  // namespace

const OIDFieldMapping::Map& OIDRegistrationResponse::fieldMap() {
  static const OIDFieldMapping::Map map = [] {
    OIDFieldMapping::Map m;
    auto epoch = OIDFieldMapping::dateEpochConversion();
    m.emplace("client_id", OIDFieldMapping("clientID", Value::Kind::string));
    m.emplace("client_id_issued_at", OIDFieldMapping("clientIDIssuedAt", Value::Kind::date, epoch));
    m.emplace("client_secret", OIDFieldMapping("clientSecret", Value::Kind::string));
    m.emplace("client_secret_expires_at",
              OIDFieldMapping("clientSecretExpiresAt", Value::Kind::date, epoch));
    m.emplace("registration_access_token",
              OIDFieldMapping("registrationAccessToken", Value::Kind::string));
    // A URL travels as text.
    m.emplace("registration_client_uri",
              OIDFieldMapping("registrationClientURI", Value::Kind::string));
    m.emplace("token_endpoint_auth_method",
              OIDFieldMapping("tokenEndpointAuthenticationMethod", Value::Kind::string));
    return m;
  }();
  return map;
}

OIDRegistrationResponse::OIDRegistrationResponse(OIDRegistrationRequest request)
    : request_(std::move(request)) {}

std::optional<OIDRegistrationResponse> OIDRegistrationResponse::make(
    OIDRegistrationRequest request, const Value::Dictionary& parameters) {
  OIDRegistrationResponse response(std::move(request));
  response.additionalParameters_ = OIDFieldMapping::remainingParametersWithMap(
      fieldMap(), parameters,
      [&response](const std::string& name, const Value& value) { response.setField(name, value); });
  // A client URI that is no URL is kept among the other parameters rather than dropped.
  if (auto uri = parameters.find("registration_client_uri");
      uri != parameters.end() && !response.registrationClientURI_) {
    response.additionalParameters_.insert_or_assign(uri->first, uri->second);
  }
  if (!response.followsTheRules()) return std::nullopt;
  return response;
}

bool OIDRegistrationResponse::followsTheRules() const {
  if (clientSecret_ && !clientSecretExpiresAt_) return false;
  return registrationAccessToken_.has_value() == registrationClientURI_.has_value();
}

void OIDRegistrationResponse::setField(const std::string& name, const Value& value) {
  const std::string* text = value.asString();
  if (name == "clientIDIssuedAt")
    clientIDIssuedAt_ = value.asDate();
  else if (name == "clientSecretExpiresAt")
    clientSecretExpiresAt_ = value.asDate();
  else if (name == "registrationClientURI" && text)
    registrationClientURI_ = platform::URL::parse(*text);
  else if (name == "clientID" && text)
    clientID_ = *text;
  else if (name == "clientSecret" && text)
    clientSecret_ = *text;
  else if (name == "registrationAccessToken" && text)
    registrationAccessToken_ = *text;
  else if (name == "tokenEndpointAuthenticationMethod" && text)
    tokenEndpointAuthenticationMethod_ = *text;
}

std::optional<Value> OIDRegistrationResponse::field(const std::string& name) const {
  auto text = [](const std::optional<std::string>& value) -> std::optional<Value> {
    return value ? std::optional<Value>(*value) : std::nullopt;
  };
  auto date = [](const std::optional<platform::Date>& value) -> std::optional<Value> {
    return value ? std::optional<Value>(*value) : std::nullopt;
  };
  if (name == "clientID") return text(clientID_);
  if (name == "clientIDIssuedAt") return date(clientIDIssuedAt_);
  if (name == "clientSecret") return text(clientSecret_);
  if (name == "clientSecretExpiresAt") return date(clientSecretExpiresAt_);
  if (name == "registrationAccessToken") return text(registrationAccessToken_);
  if (name == "registrationClientURI" && registrationClientURI_) {
    return Value(registrationClientURI_->absoluteString());
  }
  if (name == "tokenEndpointAuthenticationMethod") return text(tokenEndpointAuthenticationMethod_);
  return std::nullopt;
}

Value OIDRegistrationResponse::archive() const {
  return OIDFieldMapping::encodeResponse(
      request_.archive(), fieldMap(), [this](const std::string& name) { return field(name); },
      additionalParameters_);
}

std::optional<OIDRegistrationResponse> OIDRegistrationResponse::fromArchive(const Value& archived) {
  const Value::Dictionary* dictionary = archived.asDictionary();
  if (!dictionary) return std::nullopt;
  auto request = archiving::requestIn<OIDRegistrationRequest>(*dictionary);
  if (!request) return std::nullopt;
  OIDRegistrationResponse response(std::move(*request));
  OIDFieldMapping::decodeResponse(
      *dictionary, fieldMap(),
      [&response](const std::string& name, const Value& value) { response.setField(name, value); },
      response.additionalParameters_);
  return response;
}

std::string OIDRegistrationResponse::description() const {
  return "<OIDRegistrationResponse: " + OIDDescription::address(this) + ", clientID: \"" +
         OIDDescription::of(clientID_) + "\", clientIDIssuedAt: " + describe(clientIDIssuedAt_) +
         ", clientSecret: " + OIDDescription::of(OIDTokenUtilities::redact(clientSecret_)) +
         ", clientSecretExpiresAt: \"" + describe(clientSecretExpiresAt_) +
         "\", registrationAccessToken: \"" +
         OIDDescription::of(OIDTokenUtilities::redact(registrationAccessToken_)) +
         "\", registrationClientURI: \"" + OIDDescription::of(registrationClientURI_) +
         "\", additionalParameters: " + OIDJSONValue::describe(additionalParameters_) +
         ", request: " + request_.description() + ">";
}

}  // namespace tarnwick
