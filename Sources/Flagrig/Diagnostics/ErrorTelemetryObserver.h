#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>

#include "VoskaryAccount/Client/VoskaryLogLevel.h"

namespace flagrig {

// Where the `Log` facade and the crash handlers hand warnings and errors on to error telemetry.
// The telemetry client implements it and registers itself with `setShared`; until one is
// registered the events go nowhere.
class ErrorTelemetryObserver {
 public:
  using Fields = std::map<std::string, std::string>;

  virtual ~ErrorTelemetryObserver() = default;

  // Records the event; may wait for the client's lock.
  virtual void observeFromFacade(voskary::VoskaryLogLevel level, std::string event, Fields fields,
                                 std::optional<std::string> specId) = 0;
  // The same from a crash handler: records only when the client's lock can be taken at once,
  // since the crashing thread may be the one holding it. False when it skipped the event.
  virtual bool tryObserveFromFacade(voskary::VoskaryLogLevel level, std::string event,
                                    Fields fields, std::optional<std::string> specId) = 0;

  // The registered observer, or null. Cleared between tests with the process-wide instances.
  static std::shared_ptr<ErrorTelemetryObserver> shared();
  static void setShared(std::shared_ptr<ErrorTelemetryObserver> observer);
  // For crash handlers: the registered observer, or null when none is registered or the
  // registration is being changed at this moment.
  static std::shared_ptr<ErrorTelemetryObserver> tryShared();
};

}  // namespace flagrig
