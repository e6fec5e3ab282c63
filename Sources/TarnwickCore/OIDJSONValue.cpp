#include "TarnwickCore/OIDJSONValue.h"

#include "Platform/Foundation/Base64.h"
#include "Platform/Foundation/JSONSerialization.h"

namespace tarnwick {

using platform::JSON;
using platform::Value;

Value OIDJSONValue::fromJSON(const JSON& json) {
  switch (json.type()) {
    case JSON::value_t::null:
      return Value();
    case JSON::value_t::boolean:
      return Value(json.get<bool>());
    case JSON::value_t::number_integer:
      return Value(json.get<std::int64_t>());
    case JSON::value_t::number_unsigned:
      return Value(json.get<std::uint64_t>());
    case JSON::value_t::number_float:
      return Value(json.get<double>());
    case JSON::value_t::string:
      return Value(json.get<std::string>());
    case JSON::value_t::array: {
      Value::Array array;
      array.reserve(json.size());
      for (const auto& element : json) array.push_back(fromJSON(element));
      return Value(std::move(array));
    }
    case JSON::value_t::object: {
      Value::Dictionary dictionary;
      for (const auto& [key, element] : json.items()) dictionary.emplace(key, fromJSON(element));
      return Value(std::move(dictionary));
    }
    case JSON::value_t::binary:
    case JSON::value_t::discarded:
      break;
  }
  return Value();
}

JSON OIDJSONValue::toJSON(const Value& value) {
  switch (value.kind()) {
    case Value::Kind::null:
      return nullptr;
    case Value::Kind::boolean:
      return *value.asBool();
    case Value::Kind::integer:
      return *value.asInt();
    case Value::Kind::unsignedInteger:
      return *value.asUInt();
    case Value::Kind::real:
      return *value.asDouble();
    case Value::Kind::string:
      return *value.asString();
    case Value::Kind::bytes:
      return platform::Base64::encode(*value.asBytes());
    case Value::Kind::date:
      return value.asDate()->secondsSince1970;
    case Value::Kind::array: {
      JSON array = JSON::array();
      for (const auto& element : *value.asArray()) array.push_back(toJSON(element));
      return array;
    }
    case Value::Kind::dictionary: {
      JSON object = JSON::object();
      for (const auto& [key, element] : *value.asDictionary()) object[key] = toJSON(element);
      return object;
    }
  }
  return nullptr;
}

std::string OIDJSONValue::describe(const Value& value) {
  if (auto text = value.asString()) return *text;
  return platform::JSONSerialization::serialize(toJSON(value), {.withoutEscapingSlashes = true});
}

}  // namespace tarnwick
