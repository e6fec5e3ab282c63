#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Platform/Foundation/CodingKey.h"
#include "Platform/Foundation/Date.h"
#include "Platform/Foundation/JSON.h"

namespace platform {

class JSONDecoder;

// One value of a document being decoded, with its place in the document. A type reads itself
// from it in its `static T decode(const JSONReader&)` (or a `JSONCoding<T>` specialisation):
//
//   Account Account::decode(const platform::JSONReader& json) {
//     return {json.decode<AccountID>("account_id"),
//             json.decode<std::string>("email_primary"),
//             json.decodeIfPresent<std::vector<Provider>>("providers")};
//   }
//
// Every failure throws DecodingError with the path of the value concerned: a required key that
// is absent (key not found), a required value that is null (value not found), a value of
// another JSON type (type mismatch; booleans and numbers are different types), or a value
// that `fail` refuses (data corrupted).
class JSONReader {
 public:
  JSONReader(const JSON& value, CodingPath path, const JSONDecoder& decoder)
      : value_(&value), path_(std::move(path)), decoder_(&decoder) {}

  const JSON& json() const { return *value_; }
  const CodingPath& codingPath() const { return path_; }
  const JSONDecoder& decoder() const { return *decoder_; }
  bool isNull() const { return value_->is_null(); }

  // This value as a T.
  template <class T>
  T decode() const;
  // The value under `key` of this object as a T; the key must be present and not null.
  template <class T>
  T decode(std::string_view key) const;
  // Nothing when `key` is absent or null; otherwise the value as a T.
  template <class T>
  std::optional<T> decodeIfPresent(std::string_view key) const;

  // Whether this object has `key` (with any value, null included).
  bool contains(std::string_view key) const;
  // The value under `key`; the key must be present.
  JSONReader operator[](std::string_view key) const;
  // The elements of this array, in order.
  std::vector<JSONReader> elements() const;
  // The keys of this object, in document order.
  std::vector<std::string> keys() const;

  // Reads a date with the decoder's date rule.
  Date decodeDate() const;

  // Refuses this value: throws DecodingError (data corrupted) at its path.
  [[noreturn]] void fail(std::string debugDescription) const;
  // Throws type mismatch (or value not found for null) unless `matches`; `expected` names the
  // wanted type in the message.
  void expect(bool matches, std::string_view expected) const;

 private:
  const JSON* child(std::string_view key) const;
  JSONReader childReader(const JSON& value, CodingKey key) const;

  const JSON* value_;
  CodingPath path_;
  const JSONDecoder* decoder_;
};

}  // namespace platform

#include "Platform/Foundation/JSONCoding.h"
