#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string_view>

#include "Platform/Foundation/DecodingError.h"
#include "Platform/Foundation/JSONCoding.h"
#include "Platform/Foundation/JSONReader.h"
#include "Platform/Foundation/JSONSerialization.h"

namespace platform {

// Reads typed values from JSON text. Immutable once made, so one decoder can be shared by
// every thread. Failures throw DecodingError (see JSONReader); text that is not JSON is
// data corrupted at the top.
//
//   auto account = decoder.decode<Account>(responseBody);
class JSONDecoder {
 public:
  using DateDecoding = std::function<Date(const JSONReader&)>;

  struct Options {
    // How a date value reads; the default takes an ISO 8601 internet date-time string with
    // or without fractional seconds.
    DateDecoding dateDecoding;
  };

  JSONDecoder() : JSONDecoder(Options{}) {}
  explicit JSONDecoder(Options options);

  template <class T>
  T decode(std::string_view text) const {
    return decodeJSON<T>(JSONSerialization::parse(text));
  }
  template <class T>
  T decode(std::span<const std::uint8_t> bytes) const {
    return decode<T>(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
  }
  // From a document that has been parsed already.
  template <class T>
  T decodeJSON(const JSON& document) const {
    return JSONReader(document, {}, *this).decode<T>();
  }

  Date decodeDate(const JSONReader& json) const { return options_.dateDecoding(json); }

  // The default rule.
  static Date iso8601Date(const JSONReader& json);

 private:
  Options options_;
};

}  // namespace platform
