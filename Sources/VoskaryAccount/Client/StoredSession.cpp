#include "VoskaryAccount/Client/StoredSession.h"

#include "Platform/Foundation/Clock.h"
#include "Platform/Foundation/Environment.h"

namespace voskary {

bool StoredSession::isExpired() const {
  return platform::env().clock->now() >= expiresAt;
}

StoredSession StoredSession::decode(const platform::JSONReader& json) {
  return {
      json.decode<std::string>("vas"),          json.decodeIfPresent<std::string>("refreshToken"),
      json.decode<platform::Date>("expiresAt"), json.decode<VoskaryAccount>("account"),
      json.decode<std::string>("appSlug"),      json.decode<platform::Date>("issuedAt")};
}

void StoredSession::encode(platform::JSONWriter& json) const {
  json.encode("vas", vas);
  json.encodeIfPresent("refreshToken", refreshToken);
  json.encode("expiresAt", expiresAt);
  json.encode("account", account);
  json.encode("appSlug", appSlug);
  json.encode("issuedAt", issuedAt);
}

}  // namespace voskary
