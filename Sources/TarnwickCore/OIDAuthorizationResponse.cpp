#include "TarnwickCore/OIDAuthorizationResponse.h"

#include <array>
#include <utility>

#include "Platform/Foundation/DateFormats.h"
#include "Platform/Foundation/Error.h"
#include "TarnwickCore/OIDArchive.h"
#include "TarnwickCore/OIDDescription.h"
#include "TarnwickCore/OIDJSONValue.h"
#include "TarnwickCore/OIDTokenUtilities.h"

namespace tarnwick {

using platform::Value;

namespace {

constexpr std::string_view kExpirationField = "accessTokenExpirationDate";

}  // namespace

const OIDMappedFields<OIDAuthorizationResponse>& OIDAuthorizationResponse::fields() {
  static const OIDMappedFields<OIDAuthorizationResponse> table{
      {{"authorizationCode", &OIDAuthorizationResponse::authorizationCode_},
       {"state", &OIDAuthorizationResponse::state_},
       {"accessToken", &OIDAuthorizationResponse::accessToken_},
       {"tokenType", &OIDAuthorizationResponse::tokenType_},
       {"idToken", &OIDAuthorizationResponse::idToken_},
       {"scope", &OIDAuthorizationResponse::scope_}},
      kExpirationField,
      &OIDAuthorizationResponse::accessTokenExpirationDate_};
  return table;
}

const OIDFieldMapping::Map& OIDAuthorizationResponse::fieldMap() {
  static const OIDFieldMapping::Map map = [] {
    OIDFieldMapping::Map m;
    m.emplace("code", OIDFieldMapping("authorizationCode", Value::Kind::string));
    m.emplace("state", OIDFieldMapping("state", Value::Kind::string));
    m.emplace("access_token", OIDFieldMapping("accessToken", Value::Kind::string));
    m.emplace("expires_in", OIDFieldMapping(std::string(kExpirationField), Value::Kind::date,
                                            OIDFieldMapping::dateSinceNowConversion()));
    m.emplace("token_type", OIDFieldMapping("tokenType", Value::Kind::string));
    m.emplace("id_token", OIDFieldMapping("idToken", Value::Kind::string));
    m.emplace("scope", OIDFieldMapping("scope", Value::Kind::string));
    return m;
  }();
  return map;
}

OIDAuthorizationResponse::OIDAuthorizationResponse(OIDAuthorizationRequest request,
                                                   const Value::Dictionary& parameters)
    : request_(std::move(request)) {
  additionalParameters_ = OIDFieldMapping::remainingParametersWithMap(
      fieldMap(), parameters,
      [this](const std::string& name, const Value& value) { setField(name, value); });
}

void OIDAuthorizationResponse::setField(const std::string& name, const Value& value) {
  fields().set(*this, name, value);
}

std::optional<Value> OIDAuthorizationResponse::field(const std::string& name) const {
  return fields().get(*this, name);
}

OIDTokenRequest OIDAuthorizationResponse::tokenExchangeRequest(
    OIDParameters additionalParameters, OIDParameters additionalHeaders) const {
  platform::precondition(authorizationCode_.has_value(),
                         "Attempted to create a token exchange request from an authorization "
                         "response with no authorization code.");
  return OIDTokenRequest(request_.configuration(), std::string(OIDGrantTypeAuthorizationCode),
                         authorizationCode_, request_.redirectURL(), request_.clientID(),
                         request_.clientSecret(), std::nullopt, std::nullopt,
                         request_.codeVerifier(), std::move(additionalParameters),
                         std::move(additionalHeaders));
}

Value OIDAuthorizationResponse::archive() const {
  return OIDFieldMapping::encodeResponse(
      request_.archive(), fieldMap(), [this](const std::string& name) { return field(name); },
      additionalParameters_);
}

std::optional<OIDAuthorizationResponse> OIDAuthorizationResponse::fromArchive(
    const Value& archived) {
  const Value::Dictionary* dictionary = archived.asDictionary();
  if (!dictionary) return std::nullopt;
  auto request = archiving::requestIn<OIDAuthorizationRequest>(*dictionary);
  if (!request) return std::nullopt;
  OIDAuthorizationResponse response(std::move(*request), {});
  OIDFieldMapping::decodeResponse(
      *dictionary, fieldMap(),
      [&response](const std::string& name, const Value& value) { response.setField(name, value); },
      response.additionalParameters_);
  return response;
}

std::string OIDAuthorizationResponse::description() const {
  std::string expiration =
      accessTokenExpirationDate_
          ? platform::DateFormats::iso8601(*accessTokenExpirationDate_,
                                           platform::DateFormats::FractionalSeconds::omitted)
          : std::string("(null)");
  return "<OIDAuthorizationResponse: " + OIDDescription::address(this) +
         // The code is a one-time secret like the tokens: this text reaches logs, for one
         // in the error of a state mismatch.
         ", authorizationCode: " +
         OIDDescription::of(OIDTokenUtilities::redact(authorizationCode_)) + ", state: \"" +
         OIDDescription::of(state_) + "\", accessToken: \"" +
         OIDDescription::of(OIDTokenUtilities::redact(accessToken_)) +
         "\", accessTokenExpirationDate: " + expiration +
         ", tokenType: " + OIDDescription::of(tokenType_) + ", idToken: \"" +
         OIDDescription::of(OIDTokenUtilities::redact(idToken_)) + "\", scope: \"" +
         OIDDescription::of(scope_) +
         "\", additionalParameters: " + OIDJSONValue::describe(additionalParameters_) +
         ", request: " + request_.description() + ">";
}

bool OIDAuthorizationResponse::operator==(const OIDAuthorizationResponse& other) const {
  return request_ == other.request_ && authorizationCode_ == other.authorizationCode_ &&
         state_ == other.state_ && accessToken_ == other.accessToken_ &&
         accessTokenExpirationDate_ == other.accessTokenExpirationDate_ &&
         tokenType_ == other.tokenType_ && idToken_ == other.idToken_ && scope_ == other.scope_ &&
         additionalParameters_ == other.additionalParameters_;
}

}  // namespace tarnwick
