#include "VoskaryAccount/Telemetry/GeoProbeClient.h"

#include <string>

#include "Platform/Foundation/Environment.h"
#include "Platform/Foundation/JSONSerialization.h"
#include "Platform/Foundation/UserDefaults.h"
#include "Platform/Network/HTTPRequest.h"

namespace voskary {

platform::Task<bool> GeoProbeClient::probe(std::shared_ptr<platform::HTTPSession> session,
                                           platform::URL identityURL) {
  platform::HTTPRequest request(identityURL.appendingPathComponent(probePath));
  request.httpMethod = "GET";
  request.timeoutInterval = timeoutSeconds;

  platform::HTTPResult result;
  try {
    result = co_await session->data(std::move(request));
  } catch (const platform::URLError&) {
    co_return false;
  }

  // The status is not examined: any answer with the boolean counts.
  std::optional<bool> isEU;
  try {
    const auto json = platform::JSONSerialization::parse(
        std::string_view(reinterpret_cast<const char*>(result.data.data()), result.data.size()));
    if (json.is_object()) {
      auto member = json.find("eu");
      if (member != json.end() && member->is_boolean()) isEU = member->get<bool>();
    }
  } catch (const platform::Error&) {
  }
  if (!isEU) co_return false;

  platform::env().defaults->set(userDefaultsKey, platform::Value(*isEU));
  co_return *isEU;
}

std::optional<bool> GeoProbeClient::cachedIsEU() {
  auto& defaults = *platform::env().defaults;
  if (!defaults.object(userDefaultsKey)) return std::nullopt;
  return defaults.boolForKey(userDefaultsKey);
}

}  // namespace voskary
