#include "Tarnwick/OIDHTTPExchange.h"

#include <algorithm>
#include <utility>

#include "Platform/Foundation/DecodingError.h"
#include "Platform/Foundation/JSONSerialization.h"
#include "Platform/Network/HTTPSession.h"
#include "Platform/Network/URLError.h"
#include "TarnwickCore/OIDErrorUtilities.h"
#include "TarnwickCore/OIDJSONValue.h"
#include "TarnwickCore/OIDURLSessionProvider.h"

namespace tarnwick {

platform::Task<OIDHTTPExchange> OIDHTTPExchange::perform(platform::HTTPRequest request) {
  auto session = OIDURLSessionProvider::session();
  platform::precondition(session != nullptr, "Parameter: |session| must be non-nil.");
  OIDHTTPExchange exchange;
  try {
    auto result = co_await session->data(request);
    const platform::HTTPURLResponse* http = result.response ? result.response->asHTTP() : nullptr;
    if (!http) {
      exchange.transferError =
          std::make_shared<platform::URLError>(platform::URLError::badServerResponse, request.url);
    } else {
      exchange.status = http->statusCode();
      exchange.body.assign(result.data.begin(), result.data.end());
    }
  } catch (const platform::URLError& error) {
    exchange.transferError = std::make_shared<platform::URLError>(error);
  } catch (const platform::CancellationError& cancelled) {
    exchange.transferError = std::make_shared<platform::CancellationError>(cancelled);
  }
  co_return exchange;
}

std::shared_ptr<const OIDError> OIDHTTPExchange::httpError() const {
  return std::make_shared<OIDError>(OIDErrorUtilities::HTTPErrorWithHTTPResponse(status, body));
}

std::optional<platform::Value::Dictionary> OIDHTTPExchange::jsonObject() const {
  std::optional<OIDError> ignored;
  auto value = parsedJSON({}, ignored);
  if (!value || !value->asDictionary()) return std::nullopt;
  return std::move(*value->asDictionary());
}

std::optional<platform::Value> OIDHTTPExchange::parsedJSON(std::string_view prefix,
                                                           std::optional<OIDError>& error) const {
  try {
    return OIDJSONValue::fromJSON(platform::JSONSerialization::parse(body));
  } catch (const platform::DecodingError& parseError) {
    error = OIDErrorUtilities::errorWithCode(
        OIDErrorCode::jsonDeserialization,
        std::make_shared<const platform::DecodingError>(parseError),
        std::string(prefix) + parseError.description());
    return std::nullopt;
  }
}

std::optional<platform::Value> OIDHTTPExchange::successBody(const Expectation& expectation,
                                                            std::optional<OIDError>& error) const {
  const std::string request = std::string(expectation.kind) + " request";
  if (transferError) {
    error = OIDErrorUtilities::errorWithCode(OIDErrorCode::network, transferError,
                                             "Connection error making " + request + " to '" +
                                                 expectation.url +
                                                 "': " + transferError->description() + ".");
    return std::nullopt;
  }
  const auto& success = expectation.success;
  if (std::find(success.begin(), success.end(), status) == success.end()) {
    auto cause = httpError();
    const auto [first, last] = expectation.oauthErrorStatuses;
    if (status >= first && status <= last) {
      if (auto body = jsonObject(); body && body->contains(OIDOAuthErrorFieldError)) {
        error =
            OIDErrorUtilities::OAuthErrorWithDomain(expectation.oauthErrorDomain, &*body, cause);
        return std::nullopt;
      }
    }
    std::string expected;
    for (int code : success) expected += (expected.empty() ? "" : "/") + std::to_string(code);
    error = OIDErrorUtilities::errorWithCode(OIDErrorCode::server, cause,
                                             "Non-" + expected + " HTTP response (" +
                                                 std::to_string(status) + ") making " + request +
                                                 " to '" + expectation.url + "'.");
    return std::nullopt;
  }
  return parsedJSON("JSON error parsing " + std::string(expectation.kind) + " response: ", error);
}

}  // namespace tarnwick
