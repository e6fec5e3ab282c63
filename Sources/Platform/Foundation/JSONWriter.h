#pragma once

#include <optional>
#include <string_view>

#include "Platform/Foundation/CodingKey.h"
#include "Platform/Foundation/Date.h"
#include "Platform/Foundation/JSON.h"

namespace platform {

class JSONEncoder;

// The value being written for one coded value. A type writes itself in its
// `void encode(JSONWriter&) const` (or a `JSONCoding<T>` specialisation): either as one value
// (`encode(value)`) or as an object (`encode(key, value)`, `encodeIfPresent(key, optional)`).
// Keys appear in the order they are written; an absent optional writes no key at all.
class JSONWriter {
 public:
  JSONWriter(CodingPath path, const JSONEncoder& encoder)
      : path_(std::move(path)), encoder_(&encoder) {}

  const CodingPath& codingPath() const { return path_; }
  const JSONEncoder& encoder() const { return *encoder_; }

  // This value; replaces whatever was written before.
  template <class T>
  void encode(const T& value);
  // One member of this object.
  template <class T>
  void encode(std::string_view key, const T& value);
  // One member of this object when `value` holds one; nothing otherwise. The value still makes
  // this an object, so a record whose members are all absent is written as {}.
  template <class T>
  void encodeIfPresent(std::string_view key, const std::optional<T>& value);

  // Writes a date with the encoder's date rule.
  void encodeDate(Date date);

  // What has been written so far.
  const JSON& json() const { return value_; }
  JSON& json() { return value_; }
  JSON take() { return std::move(value_); }

 private:
  // Turns a fresh writer into an object; writing members after a single value is a bug.
  void makeObject();
  JSON& member(std::string_view key);

  JSON value_;
  CodingPath path_;
  const JSONEncoder* encoder_;
};

}  // namespace platform

#include "Platform/Foundation/JSONCoding.h"
