#pragma once

#include <exception>
#include <string_view>

namespace flagrig {

// The facade every component logs warnings and errors through: each becomes a diagnostic log
// entry and an error-telemetry event. Informational and debug entries go to
// `DiagnosticLogBuffer::shared().add` directly.
struct Log {
  static void warn(std::string_view category, std::string_view message,
                   const std::exception* error = nullptr);
  static void error(std::string_view category, std::string_view message,
                    const std::exception* error = nullptr);
};

}  // namespace flagrig
