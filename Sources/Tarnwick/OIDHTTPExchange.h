#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

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

  // What a kind of request counts as its answer, and how its errors name it.
  struct Expectation {
    // "token": the errors speak of a "token request" and a "token response".
    std::string_view kind;
    // The endpoint, as the errors name it.
    std::string url;
    // The statuses of a successful answer.
    std::vector<int> success;
    // The error statuses (first to last) whose body may carry an OAuth error, and its domain.
    std::pair<int, int> oauthErrorStatuses;
    std::string_view oauthErrorDomain;
  };
  // The body of a successful answer, as JSON. Otherwise nothing, and `error` says why: the
  // transfer failed (a network error), the body of an OAuth error status names an OAuth error
  // (that error), any other status (a server error), or the body is no JSON (general -7).
  std::optional<platform::Value> successBody(const Expectation& expectation,
                                             std::optional<OIDError>& error) const;
};

}  // namespace tarnwick
