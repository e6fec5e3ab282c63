#include "VoskaryAccount/Client/VasResponse.h"

namespace voskary {

VasResponse VasResponse::decode(const ::platform::JSONReader& json) {
  return {json.decode<bool>("ok"),
          json.decode<std::string>("vas"),
          json.decodeIfPresent<std::string>("session_token"),
          json.decodeIfPresent<std::string>("refresh_token"),
          json.decodeIfPresent<std::int64_t>("expires_in"),
          json.decode<::platform::Date>("expires_at"),
          json.decode<VoskaryAccountID>("voskary_account_id"),
          json.decode<std::string>("email"),
          json.decode<std::string>("app_slug"),
          json.decodeIfPresent<std::string>("platform"),
          json.decodeIfPresent<std::string>("app_data_token"),
          json.decodeIfPresent<::platform::Date>("app_data_token_expires_at"),
          json.decodeIfPresent<LibVersionPolicy>("voskary_lib_version")};
}

void VasResponse::encode(::platform::JSONWriter& json) const {
  json.encode("ok", ok);
  json.encode("vas", vas);
  json.encodeIfPresent("session_token", sessionToken);
  json.encodeIfPresent("refresh_token", refreshToken);
  json.encodeIfPresent("expires_in", expiresIn);
  json.encode("expires_at", expiresAt);
  json.encode("voskary_account_id", voskaryAccountId);
  json.encode("email", email);
  json.encode("app_slug", appSlug);
  json.encodeIfPresent("platform", platform);
  json.encodeIfPresent("app_data_token", appDataToken);
  json.encodeIfPresent("app_data_token_expires_at", appDataTokenExpiresAt);
  json.encodeIfPresent("voskary_lib_version", libVersionPolicy);
}

}  // namespace voskary
