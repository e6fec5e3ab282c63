#include "TarnwickCore/OIDTokenResponse.h"

#include <array>
#include <utility>

#include "Platform/Foundation/DateFormats.h"
#include "TarnwickCore/OIDArchive.h"
#include "TarnwickCore/OIDDescription.h"
#include "TarnwickCore/OIDJSONValue.h"
#include "TarnwickCore/OIDTokenUtilities.h"

namespace tarnwick {

using platform::Value;

namespace {

constexpr std::string_view kExpirationField = "accessTokenExpirationDate";

}  // namespace

const OIDMappedFields<OIDTokenResponse>& OIDTokenResponse::fields() {
  static const OIDMappedFields<OIDTokenResponse> table{
      {{"accessToken", &OIDTokenResponse::accessToken_},
       {"tokenType", &OIDTokenResponse::tokenType_},
       {"idToken", &OIDTokenResponse::idToken_},
       {"refreshToken", &OIDTokenResponse::refreshToken_},
       {"scope", &OIDTokenResponse::scope_}},
      kExpirationField,
      &OIDTokenResponse::accessTokenExpirationDate_};
  return table;
}

const OIDFieldMapping::Map& OIDTokenResponse::fieldMap() {
  static const OIDFieldMapping::Map map = [] {
    OIDFieldMapping::Map m;
    m.emplace("access_token", OIDFieldMapping("accessToken", Value::Kind::string));
    m.emplace("expires_in", OIDFieldMapping(std::string(kExpirationField), Value::Kind::date,
                                            OIDFieldMapping::dateSinceNowConversion()));
    m.emplace("token_type", OIDFieldMapping("tokenType", Value::Kind::string));
    m.emplace("id_token", OIDFieldMapping("idToken", Value::Kind::string));
    m.emplace("refresh_token", OIDFieldMapping("refreshToken", Value::Kind::string));
    m.emplace("scope", OIDFieldMapping("scope", Value::Kind::string));
    return m;
  }();
  return map;
}

OIDTokenResponse::OIDTokenResponse(OIDTokenRequest request, const Value::Dictionary& parameters)
    : request_(std::move(request)) {
  additionalParameters_ = OIDFieldMapping::remainingParametersWithMap(
      fieldMap(), parameters,
      [this](const std::string& name, const Value& value) { setField(name, value); });
}

void OIDTokenResponse::setField(const std::string& name, const Value& value) {
  fields().set(*this, name, value);
}

std::optional<Value> OIDTokenResponse::field(const std::string& name) const {
  return fields().get(*this, name);
}

Value OIDTokenResponse::archive() const {
  return OIDFieldMapping::encodeResponse(
      request_.archive(), fieldMap(), [this](const std::string& name) { return field(name); },
      additionalParameters_);
}

std::optional<OIDTokenResponse> OIDTokenResponse::fromArchive(const Value& archived) {
  const Value::Dictionary* dictionary = archived.asDictionary();
  if (!dictionary) return std::nullopt;
  auto request = archiving::requestIn<OIDTokenRequest>(*dictionary);
  if (!request) return std::nullopt;
  OIDTokenResponse response(std::move(*request), {});
  OIDFieldMapping::decodeResponse(
      *dictionary, fieldMap(),
      [&response](const std::string& name, const Value& value) { response.setField(name, value); },
      response.additionalParameters_);
  return response;
}

std::string OIDTokenResponse::description() const {
  std::string expiration =
      accessTokenExpirationDate_
          ? platform::DateFormats::iso8601(*accessTokenExpirationDate_,
                                           platform::DateFormats::FractionalSeconds::omitted)
          : std::string("(null)");
  return "<OIDTokenResponse: " + OIDDescription::address(this) + ", accessToken: \"" +
         OIDDescription::of(OIDTokenUtilities::redact(accessToken_)) +
         "\", accessTokenExpirationDate: " + expiration +
         ", tokenType: " + OIDDescription::of(tokenType_) + ", idToken: \"" +
         OIDDescription::of(OIDTokenUtilities::redact(idToken_)) + "\", refreshToken: \"" +
         OIDDescription::of(OIDTokenUtilities::redact(refreshToken_)) + "\", scope: \"" +
         OIDDescription::of(scope_) +
         "\", additionalParameters: " + OIDJSONValue::describe(additionalParameters_) +
         ", request: " + request_.description() + ">";
}

}  // namespace tarnwick
