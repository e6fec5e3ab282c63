#pragma once

#include <cstdint>
#include <limits>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <variant>
#include <vector>

#include "Platform/Foundation/Date.h"

namespace platform {

using Bytes = std::vector<std::uint8_t>;

// A property-list value: what stored preferences, window-list entries and menu items carry.
//
// The readers are strict: `asInt()` answers only for a value stored as a signed integer,
// `asUInt()` only for an unsigned one and `asBool()` only for a bool, so a caller can tell
// them apart. `exactly<T>()` is the lenient numeric reader: any integer or double that T can
// represent without loss (never a bool).
class Value {
 public:
  using Array = std::vector<Value>;
  using Dictionary = std::map<std::string, Value, std::less<>>;
  enum class Kind {
    null,
    boolean,
    integer,
    unsignedInteger,
    real,
    string,
    bytes,
    date,
    array,
    dictionary
  };

  Value() = default;
  Value(std::nullptr_t) {}
  Value(bool v) : storage_(v) {}
  Value(int v) : storage_(std::int64_t{v}) {}
  Value(long v) : storage_(std::int64_t{v}) {}
  Value(long long v) : storage_(std::int64_t{v}) {}
  Value(unsigned v) : storage_(std::uint64_t{v}) {}
  Value(unsigned long v) : storage_(std::uint64_t{v}) {}
  Value(unsigned long long v) : storage_(std::uint64_t{v}) {}
  Value(double v) : storage_(v) {}
  Value(const char* v) : storage_(std::string(v)) {}
  Value(std::string v) : storage_(std::move(v)) {}
  Value(std::string_view v) : storage_(std::string(v)) {}
  Value(Bytes v) : storage_(std::move(v)) {}
  Value(Date v) : storage_(v) {}
  Value(Array v) : storage_(std::move(v)) {}
  Value(Dictionary v) : storage_(std::move(v)) {}

  Kind kind() const { return static_cast<Kind>(storage_.index()); }
  bool isNull() const { return kind() == Kind::null; }

  std::optional<bool> asBool() const { return get<bool>(); }
  std::optional<std::int64_t> asInt() const { return get<std::int64_t>(); }
  std::optional<std::uint64_t> asUInt() const { return get<std::uint64_t>(); }
  std::optional<double> asDouble() const { return get<double>(); }
  const std::string* asString() const { return std::get_if<std::string>(&storage_); }
  const Bytes* asBytes() const { return std::get_if<Bytes>(&storage_); }
  std::optional<Date> asDate() const { return get<Date>(); }
  const Array* asArray() const { return std::get_if<Array>(&storage_); }
  const Dictionary* asDictionary() const { return std::get_if<Dictionary>(&storage_); }
  Array* asArray() { return std::get_if<Array>(&storage_); }
  Dictionary* asDictionary() { return std::get_if<Dictionary>(&storage_); }

  // True for the three number kinds (not bool).
  bool isNumber() const {
    auto k = kind();
    return k == Kind::integer || k == Kind::unsignedInteger || k == Kind::real;
  }

  // The number converted to T when it fits exactly; nothing for bools, non-numbers, fractions
  // into integers, out-of-range values and non-finite doubles into integers.
  template <class T>
  std::optional<T> exactly() const;

  // The value under `key` of a dictionary; nullptr when this is no dictionary or the key is absent.
  const Value* find(std::string_view key) const;

  bool operator==(const Value&) const = default;

 private:
  template <class T>
  std::optional<T> get() const {
    if (auto p = std::get_if<T>(&storage_)) return *p;
    return std::nullopt;
  }

  std::variant<std::monostate, bool, std::int64_t, std::uint64_t, double, std::string, Bytes, Date,
               Array, Dictionary>
      storage_;
};

namespace detail {
std::optional<std::int64_t> exactSigned(const Value& v, std::int64_t min, std::int64_t max);
std::optional<std::uint64_t> exactUnsigned(const Value& v, std::uint64_t max);
}  // namespace detail

template <class T>
std::optional<T> Value::exactly() const {
  static_assert(std::is_arithmetic_v<T> && !std::is_same_v<T, bool>);
  if constexpr (std::is_floating_point_v<T>) {
    switch (kind()) {
      case Kind::integer:
        return static_cast<T>(*asInt());
      case Kind::unsignedInteger:
        return static_cast<T>(*asUInt());
      case Kind::real:
        return static_cast<T>(*asDouble());
      default:
        return std::nullopt;
    }
  } else if constexpr (std::is_signed_v<T>) {
    auto v =
        detail::exactSigned(*this, std::numeric_limits<T>::min(), std::numeric_limits<T>::max());
    if (!v) return std::nullopt;
    return static_cast<T>(*v);
  } else {
    auto v = detail::exactUnsigned(*this, std::numeric_limits<T>::max());
    if (!v) return std::nullopt;
    return static_cast<T>(*v);
  }
}

}  // namespace platform
