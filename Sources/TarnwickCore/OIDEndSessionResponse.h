#pragma once

#include <optional>
#include <string>

#include "Platform/Foundation/Value.h"
#include "TarnwickCore/OIDEndSessionRequest.h"

namespace tarnwick {

// What the provider sent back to the post-logout redirect: the state and every other
// parameter. An immutable value.
class OIDEndSessionResponse {
 public:
  OIDEndSessionResponse() = delete;
  OIDEndSessionResponse(OIDEndSessionRequest request,
                        const platform::Value::Dictionary& parameters);

  const OIDEndSessionRequest& request() const { return request_; }
  const std::optional<std::string>& state() const { return state_; }
  const platform::Value::Dictionary& additionalParameters() const { return additionalParameters_; }

  platform::Value archive() const;
  static std::optional<OIDEndSessionResponse> fromArchive(const platform::Value& archive);

  std::string description() const;

  bool operator==(const OIDEndSessionResponse&) const = default;

 private:
  OIDEndSessionRequest request_;
  std::optional<std::string> state_;
  platform::Value::Dictionary additionalParameters_;
};

}  // namespace tarnwick
