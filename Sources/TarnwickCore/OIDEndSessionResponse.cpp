#include "TarnwickCore/OIDEndSessionResponse.h"

#include <utility>

#include "TarnwickCore/OIDArchive.h"
#include "TarnwickCore/OIDDescription.h"
#include "TarnwickCore/OIDJSONValue.h"

namespace tarnwick {

using platform::Value;

OIDEndSessionResponse::OIDEndSessionResponse(OIDEndSessionRequest request,
                                             const Value::Dictionary& parameters)
    : request_(std::move(request)), additionalParameters_(parameters) {
  auto state = additionalParameters_.find("state");
  if (state != additionalParameters_.end() && state->second.asString()) {
    state_ = *state->second.asString();
    additionalParameters_.erase(state);
  }
}

Value OIDEndSessionResponse::archive() const {
  Value::Dictionary out;
  out.emplace("request", request_.archive());
  archiving::put(out, "state", state_);
  out.emplace("additionalParameters", additionalParameters_);
  return out;
}

std::optional<OIDEndSessionResponse> OIDEndSessionResponse::fromArchive(const Value& archived) {
  const Value::Dictionary* dictionary = archived.asDictionary();
  if (!dictionary) return std::nullopt;
  auto request = archiving::requestIn<OIDEndSessionRequest>(*dictionary);
  if (!request) return std::nullopt;
  OIDEndSessionResponse response(std::move(*request), {});
  response.state_ = archiving::textIn(*dictionary, "state");
  if (auto parameters = archiving::dictionaryIn(*dictionary, "additionalParameters"))
    response.additionalParameters_ = std::move(*parameters);
  return response;
}

std::string OIDEndSessionResponse::description() const {
  return "<OIDEndSessionResponse: " + OIDDescription::address(this) + ", state: \"" +
         OIDDescription::of(state_) +
         "\", additionalParameters: " + OIDJSONValue::describe(additionalParameters_) +
         ", request: " + request_.description() + ">";
}

}  // namespace tarnwick
