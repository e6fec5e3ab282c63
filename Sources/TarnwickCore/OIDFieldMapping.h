#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>

#include "Platform/Foundation/Value.h"

namespace tarnwick {

// One entry of a response type's field map: which field a protocol parameter fills, the value
// type that field takes, and how the raw value is converted first. Response types share one
// map, built on first use.
class OIDFieldMapping {
 public:
  using Conversion = std::function<platform::Value(const platform::Value&)>;
  // Protocol parameter name to mapping.
  using Map = std::map<std::string, OIDFieldMapping, std::less<>>;
  // Sets the field named by a mapping to a value of its expected type.
  using Setter = std::function<void(const std::string& field, platform::Value value)>;
  // Reads the field named by a mapping; nothing when it is not set.
  using Getter = std::function<std::optional<platform::Value>(const std::string& field)>;

  OIDFieldMapping(std::string name, platform::Value::Kind expectedType,
                  Conversion conversion = nullptr);

  const std::string& name() const { return name_; }
  platform::Value::Kind expectedType() const { return expectedType_; }
  const Conversion& conversion() const { return conversion_; }

  // Sets the fields that `parameters` fill and returns the parameters left over: those without
  // a mapping and those whose (converted) value is not of the field's type.
  static platform::Value::Dictionary remainingParametersWithMap(
      const Map& map, const platform::Value::Dictionary& parameters, const Setter& setField);

  // Archives each set field under its parameter name, and reads them back.
  static void encodeWithMap(platform::Value::Dictionary& archive, const Map& map,
                            const Getter& field);
  static void decodeWithMap(const platform::Value::Dictionary& archive, const Map& map,
                            const Setter& setField);
  // A response's archive: the request's archive under "request", then the set fields and the
  // additional parameters. Reading it back sets the fields and takes the additional parameters
  // when they are a dictionary.
  static platform::Value encodeResponse(platform::Value request, const Map& map,
                                        const Getter& field,
                                        const platform::Value::Dictionary& additionalParameters);
  static void decodeResponse(const platform::Value::Dictionary& archive, const Map& map,
                             const Setter& setField,
                             platform::Value::Dictionary& additionalParameters);

  // A number of seconds becomes the moment that long after now, or after 1970-01-01T00:00:00Z.
  // The number is cut to whole seconds first; one that is not finite or does not fit 64 bits
  // stays as it is, and so lands among the left-over parameters as a value of the wrong type.
  static Conversion dateSinceNowConversion();
  static Conversion dateEpochConversion();

 private:
  std::string name_;
  platform::Value::Kind expectedType_;
  Conversion conversion_;
};

}  // namespace tarnwick
