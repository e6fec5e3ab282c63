#include "Flagrig/Diagnostics/Log.h"

#include <string>

#include "Flagrig/Diagnostics/DiagnosticLogBuffer.h"
#include "Flagrig/Diagnostics/DiagnosticRedaction.h"
#include "Platform/Foundation/Environment.h"
#include "VoskaryAccount/Telemetry/ErrorFirehoseClient.h"

namespace flagrig {

namespace {

void record(std::string_view level, voskary::VoskaryLogLevel telemetryLevel,
            std::string_view category, std::string_view message, const std::exception* error) {
  DiagnosticLogBuffer::shared().add(level, category, message, error);
  // Telemetry lives on the platform's services; without them the entry is all there is.
  if (!platform::hasEnvironment()) return;

  // Redacted the way the log entry is, before it leaves the log: the telemetry's own
  // normalisation does not remove secrets such as "password=...".
  std::string event = DiagnosticRedaction::redact(message);
  if (error) {
    event += ": ";
    event += DiagnosticRedaction::redact(error->what());
  }
  voskary::ErrorFirehoseClient::shared().observeFromFacade(
      telemetryLevel, event, {{"category", std::string(category)}}, std::nullopt);
}

}  // namespace

void Log::warn(std::string_view category, std::string_view message, const std::exception* error) {
  record("warn", voskary::VoskaryLogLevel::warning, category, message, error);
}

void Log::error(std::string_view category, std::string_view message, const std::exception* error) {
  record("error", voskary::VoskaryLogLevel::error, category, message, error);
}

}  // namespace flagrig
