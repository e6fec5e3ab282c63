#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "Platform/Foundation/Error.h"
#include "Platform/Foundation/Task.h"
#include "Platform/Foundation/Value.h"
#include "Platform/Network/HTTPRequest.h"
#include "TarnwickCore/OIDError.h"

namespace tarnwick {

// One request to a provider endpoint on the client's HTTP session, and what came back: either
// the transfer's failure or an HTTP status with its body. Token and registration requests
// read their answers through it.
struct OIDHTTPExchange {
  // Set when no HTTP answer arrived (the transfer failed, was cancelled, or the answer was not
  // HTTP).
  std::shared_ptr<const platform::Error> transferError;
  int status = 0;
  std::string body;

  static platform::Task<OIDHTTPExchange> perform(platform::HTTPRequest request);

  // The remote-HTTP error of the answer: its status, and its body when that is UTF-8.
  std::shared_ptr<const OIDError> httpError() const;
  // The body as a JSON object; nothing when it is no JSON or not an object.
  std::optional<platform::Value::Dictionary> jsonObject() const;
  // The body as JSON; on failure nothing, and `error` is general -7 whose description is
  // `prefix` followed by the parser's reason.
  std::optional<platform::Value> parsedJSON(std::string_view prefix,
                                            std::optional<OIDError>& error) const;
};

}  // namespace tarnwick
