#pragma once

#include <string>

#include "Platform/Foundation/JSON.h"
#include "Platform/Foundation/Value.h"

namespace tarnwick {

// Moves JSON documents into the property-list values the client keeps and archives, and back.
struct OIDJSONValue {
  // Objects become dictionaries, integers signed or unsigned integers, other numbers doubles.
  static platform::Value fromJSON(const platform::JSON& json);
  // Bytes become base64 text and dates seconds since 1970, which is how JSON carries them.
  static platform::JSON toJSON(const platform::Value& value);
  // How a value prints inside a description: a text as it is, anything else as compact JSON.
  static std::string describe(const platform::Value& value);
};

}  // namespace tarnwick
