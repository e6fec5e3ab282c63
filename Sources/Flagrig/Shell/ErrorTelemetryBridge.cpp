#include "Flagrig/Shell/ErrorTelemetryBridge.h"

#include "VoskaryAccount/Telemetry/ErrorFirehoseClient.h"

namespace flagrig {

void ErrorTelemetryBridge::observeFromFacade(voskary::VoskaryLogLevel level, std::string event,
                                             Fields fields, std::optional<std::string> specId) {
  voskary::ErrorFirehoseClient::shared().observeFromFacade(level, event, fields, std::move(specId));
}

bool ErrorTelemetryBridge::tryObserveFromFacade(voskary::VoskaryLogLevel level, std::string event,
                                                Fields fields, std::optional<std::string> specId) {
  // A crashing thread must not create the client or wait for it.
  auto client = voskary::ErrorFirehoseClient::tryShared();
  if (!client) return false;
  return client->tryObserveFromFacade(level, event, fields, std::move(specId));
}

}  // namespace flagrig
