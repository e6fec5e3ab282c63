#pragma once

#include "Flagrig/Diagnostics/ErrorTelemetryObserver.h"

namespace flagrig {

// Hands the warnings and errors of the `Log` facade and the crash handlers to the account
// library's error-telemetry client. Start-up registers it once the client is configured.
class ErrorTelemetryBridge final : public ErrorTelemetryObserver {
 public:
  void observeFromFacade(voskary::VoskaryLogLevel level, std::string event, Fields fields,
                         std::optional<std::string> specId) override;
  bool tryObserveFromFacade(voskary::VoskaryLogLevel level, std::string event, Fields fields,
                            std::optional<std::string> specId) override;
};

}  // namespace flagrig
