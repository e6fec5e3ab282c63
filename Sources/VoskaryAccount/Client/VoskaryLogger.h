#pragma once

#include <functional>
#include <map>
#include <string>

#include "VoskaryAccount/Client/VoskaryLogLevel.h"

namespace voskary {

// The text fields of one log line; each key at most once.
using VoskaryLogFields = std::map<std::string, std::string>;

// The host's sink for the library's log lines: a level, an event name (lower-case words
// joined by "_", such as "request_server_failed") and its fields. The library may call it
// from any thread. An empty function means the host takes no lines.
using VoskaryLogger = std::function<void(VoskaryLogLevel level, const std::string& event,
                                         const VoskaryLogFields& fields)>;

}  // namespace voskary
