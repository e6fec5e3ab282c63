#pragma once

#include <string>

#include "Platform/Foundation/JSONWriter.h"

namespace voskary {

// One recent log line that the error-telemetry client sends along with an error; that client
// fills it (the timestamp's text form is its own). Encoded only.
struct BreadcrumbEntry {
  std::string ts;
  std::string level;
  std::string category;
  std::string msg;

  void encode(platform::JSONWriter& json) const {
    json.encode("ts", ts);
    json.encode("level", level);
    json.encode("category", category);
    json.encode("msg", msg);
  }

  bool operator==(const BreadcrumbEntry&) const = default;
};

}  // namespace voskary
