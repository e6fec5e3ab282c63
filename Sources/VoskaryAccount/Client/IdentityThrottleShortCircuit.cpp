#include "VoskaryAccount/Client/IdentityThrottleShortCircuit.h"

#include <algorithm>
#include <cmath>

#include "Platform/Foundation/JSON.h"
#include "Platform/Foundation/JSONSerialization.h"

namespace voskary {

IdentityThrottle::SendResult IdentityThrottleShortCircuit::response(const platform::URL& url,
                                                                    int status,
                                                                    std::string_view reason,
                                                                    double retryAfter) {
  double seconds = std::max(1.0, std::ceil(retryAfter));
  // Whatever the caller hands in, the header stays a small whole number.
  if (!std::isfinite(seconds) || seconds > 1e9) seconds = 1e9;
  platform::HTTPHeaderFields fields{
      {"Content-Type", "application/json"},
      {"Retry-After", std::to_string(static_cast<long long>(seconds))},
  };
  platform::JSON body = {{"error", "client_throttled"}, {"reason", std::string(reason)}};
  std::string text = platform::JSONSerialization::serialize(body);
  return {platform::Bytes(text.begin(), text.end()),
          std::make_shared<platform::HTTPURLResponse>(url, status, "HTTP/1.1", std::move(fields))};
}

}  // namespace voskary
