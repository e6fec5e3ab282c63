#pragma once

#include <cstdint>
#include <limits>
#include <map>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

#include "Platform/Foundation/JSONReader.h"
#include "Platform/Foundation/JSONWriter.h"

namespace platform {

// How values of T are read from and written to JSON. By default through T's own members,
// `static T decode(const JSONReader&)` and `void encode(JSONWriter&) const`; specialise it for
// types that cannot have members, such as enumerations coded as their raw text.
template <class T, class Enable = void>
struct JSONCoding {
  static T decode(const JSONReader& json) { return T::decode(json); }
  static void encode(JSONWriter& json, const T& value) { value.encode(json); }
};

namespace detail {
std::int64_t decodeSigned(const JSONReader& json, std::int64_t min, std::int64_t max);
std::uint64_t decodeUnsigned(const JSONReader& json, std::uint64_t max);
double decodeDouble(const JSONReader& json);
void encodeDouble(JSONWriter& json, double value);
}  // namespace detail

template <>
struct JSONCoding<bool> {
  static bool decode(const JSONReader& json) {
    json.expect(json.json().is_boolean(), "Bool");
    return json.json().get<bool>();
  }
  static void encode(JSONWriter& json, bool value) { json.json() = value; }
};

// Integers: any JSON number whose value the type holds exactly (so 2.0 reads as 2, and 2.5
// or 300 into an 8-bit type are refused as not fitting). Booleans are not numbers.
template <class T>
struct JSONCoding<T, std::enable_if_t<std::is_integral_v<T> && !std::is_same_v<T, bool>>> {
  static T decode(const JSONReader& json) {
    if constexpr (std::is_signed_v<T>) {
      return static_cast<T>(
          detail::decodeSigned(json, std::numeric_limits<T>::min(), std::numeric_limits<T>::max()));
    } else {
      return static_cast<T>(detail::decodeUnsigned(json, std::numeric_limits<T>::max()));
    }
  }
  static void encode(JSONWriter& json, T value) {
    if constexpr (std::is_signed_v<T>) {
      json.json() = static_cast<std::int64_t>(value);
    } else {
      json.json() = static_cast<std::uint64_t>(value);
    }
  }
};

// Floating point: any JSON number. Writing a value that is not finite is an EncodingError.
template <class T>
struct JSONCoding<T, std::enable_if_t<std::is_floating_point_v<T>>> {
  static T decode(const JSONReader& json) { return static_cast<T>(detail::decodeDouble(json)); }
  static void encode(JSONWriter& json, T value) {
    detail::encodeDouble(json, static_cast<double>(value));
  }
};

template <>
struct JSONCoding<std::string> {
  static std::string decode(const JSONReader& json) {
    json.expect(json.json().is_string(), "String");
    return json.json().get<std::string>();
  }
  static void encode(JSONWriter& json, const std::string& value) { json.json() = value; }
};

// Dates follow the rule of the decoder or encoder at hand.
template <>
struct JSONCoding<Date> {
  static Date decode(const JSONReader& json) { return json.decodeDate(); }
  static void encode(JSONWriter& json, Date value) { json.encodeDate(value); }
};

// Null reads as nothing; nothing writes null.
template <class T>
struct JSONCoding<std::optional<T>> {
  static std::optional<T> decode(const JSONReader& json) {
    if (json.isNull()) return std::nullopt;
    return json.decode<T>();
  }
  static void encode(JSONWriter& json, const std::optional<T>& value) {
    if (value) {
      json.encode(*value);
    } else {
      json.json() = nullptr;
    }
  }
};

template <class T>
struct JSONCoding<std::vector<T>> {
  static std::vector<T> decode(const JSONReader& json) {
    std::vector<T> out;
    for (const auto& element : json.elements()) out.push_back(element.decode<T>());
    return out;
  }
  static void encode(JSONWriter& json, const std::vector<T>& values) {
    JSON array = JSON::array();
    for (std::size_t i = 0; i < values.size(); ++i) {
      auto path = json.codingPath();
      path.push_back(CodingKey::index(i));
      JSONWriter element(std::move(path), json.encoder());
      element.encode(values[i]);
      array.push_back(element.take());
    }
    json.json() = std::move(array);
  }
};

template <class T, class Compare>
struct JSONCoding<std::map<std::string, T, Compare>> {
  static std::map<std::string, T, Compare> decode(const JSONReader& json) {
    std::map<std::string, T, Compare> out;
    for (const auto& key : json.keys()) out.emplace(key, json.decode<T>(key));
    return out;
  }
  static void encode(JSONWriter& json, const std::map<std::string, T, Compare>& values) {
    json.json() = JSON::object();
    for (const auto& [key, value] : values) json.encode(key, value);
  }
};

// A JSON value passes through as it is.
template <>
struct JSONCoding<JSON> {
  static JSON decode(const JSONReader& json) { return json.json(); }
  static void encode(JSONWriter& json, const JSON& value) { json.json() = value; }
};

template <class T>
T JSONReader::decode() const {
  return JSONCoding<T>::decode(*this);
}

template <class T>
T JSONReader::decode(std::string_view key) const {
  return (*this)[key].template decode<T>();
}

template <class T>
std::optional<T> JSONReader::decodeIfPresent(std::string_view key) const {
  const JSON* value = child(key);
  if (!value || value->is_null()) return std::nullopt;
  return childReader(*value, CodingKey::key(key)).template decode<T>();
}

template <class T>
void JSONWriter::encode(const T& value) {
  JSONCoding<T>::encode(*this, value);
}

template <class T>
void JSONWriter::encode(std::string_view key, const T& value) {
  auto path = path_;
  path.push_back(CodingKey::key(key));
  JSONWriter child(std::move(path), *encoder_);
  child.encode(value);
  member(key) = child.take();
}

template <class T>
void JSONWriter::encodeIfPresent(std::string_view key, const std::optional<T>& value) {
  if (value) {
    encode(key, *value);
  } else {
    makeObject();
  }
}

}  // namespace platform
