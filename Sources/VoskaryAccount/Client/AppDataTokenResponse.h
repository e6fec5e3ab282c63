#pragma once

#include <string>

#include "Platform/Foundation/Date.h"
#include "Platform/Foundation/JSONReader.h"

namespace voskary {

// The account service's answer with a short-lived app-data token; every member is required,
// though callers are handed only the token.
struct AppDataTokenResponse {
  bool ok = false;
  std::string appDataToken;
  platform::Date expiresAt;

  static AppDataTokenResponse decode(const platform::JSONReader& json) {
    return {json.decode<bool>("ok"), json.decode<std::string>("app_data_token"),
            json.decode<platform::Date>("expires_at")};
  }
};

}  // namespace voskary
