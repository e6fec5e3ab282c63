#pragma once

#include <optional>
#include <string>

#include "Platform/Foundation/Date.h"
#include "Platform/Foundation/JSONReader.h"
#include "Platform/Foundation/JSONWriter.h"

namespace voskary {

// The service's statement about the account library's version, carried in a session answer.
// Its keys are the field names (camel case, unlike the answer around it); every one may be
// absent or null.
struct LibVersionPolicy {
  std::optional<std::string> minVersion;
  std::optional<std::string> currentVersion;
  std::optional<std::string> replacement;
  std::optional<std::string> reason;
  std::optional<platform::Date> expires;

  static LibVersionPolicy decode(const platform::JSONReader& json);
  void encode(platform::JSONWriter& json) const;

  bool operator==(const LibVersionPolicy&) const = default;
};

}  // namespace voskary
