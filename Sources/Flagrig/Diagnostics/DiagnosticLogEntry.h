#pragma once

#include <optional>
#include <string>

#include "Platform/Foundation/JSONReader.h"
#include "Platform/Foundation/JSONWriter.h"
#include "Platform/Foundation/Value.h"

namespace flagrig {

// One recorded diagnostic log entry: what the ring holds and a diagnostic report carries. The
// message and the error description are already redacted.
struct DiagnosticLogEntry {
  std::string ts;  // ISO 8601 in UTC with milliseconds, e.g. 2026-01-31T09:15:02.123Z
  std::string level;
  std::string category;
  std::string msg;
  std::optional<std::string> exceptionType;
  std::optional<std::string> exceptionMessage;

  bool operator==(const DiagnosticLogEntry&) const = default;

  // The dictionary of a diagnostic report: snake-case keys, the optional ones only when set.
  platform::Value jsonObject() const;

  // The coded form, with the member names as keys.
  static DiagnosticLogEntry decode(const platform::JSONReader& json);
  void encode(platform::JSONWriter& json) const;
};

}  // namespace flagrig
