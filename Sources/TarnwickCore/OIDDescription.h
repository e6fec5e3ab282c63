#pragma once

#include <optional>
#include <string>

#include "Platform/Foundation/URL.h"

namespace tarnwick {

// How optional parts print inside the client's descriptions: "(null)" when absent.
struct OIDDescription {
  static std::string of(const std::optional<std::string>& text) {
    return text ? *text : std::string("(null)");
  }
  static std::string of(const std::optional<platform::URL>& url) {
    return url ? url->absoluteString() : std::string("(null)");
  }
  // "0x…", the object's identity.
  static std::string address(const void* object);
};

}  // namespace tarnwick
