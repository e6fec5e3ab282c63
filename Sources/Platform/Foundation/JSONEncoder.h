#pragma once

#include <functional>
#include <string>

#include "Platform/Foundation/EncodingError.h"
#include "Platform/Foundation/JSONCoding.h"
#include "Platform/Foundation/JSONSerialization.h"
#include "Platform/Foundation/JSONWriter.h"

namespace platform {

// Writes typed values as compact JSON text. Immutable once made, so one encoder can be shared
// by every thread. Object keys keep the order in which a type writes them unless `sortedKeys`
// asks for byte order; "/" is written "\/" unless `withoutEscapingSlashes`; invalid UTF-8 in a
// string is replaced by U+FFFD. A double that is not finite throws EncodingError.
//
//   platform::JSONEncoder encoder({.sortedKeys = true, .withoutEscapingSlashes = true});
//   std::string header = encoder.encode(jwtHeader);
class JSONEncoder {
 public:
  using DateEncoding = std::function<void(JSONWriter&, Date)>;

  struct Options {
    bool sortedKeys = false;
    bool withoutEscapingSlashes = false;
    // How a date is written; the default writes "yyyy-MM-ddTHH:mm:ss.SSSZ" in UTC.
    DateEncoding dateEncoding;
  };

  JSONEncoder() : JSONEncoder(Options{}) {}
  explicit JSONEncoder(Options options);

  template <class T>
  std::string encode(const T& value) const {
    return JSONSerialization::serialize(
        encodeJSON(value), {.sortedKeys = options_.sortedKeys,
                            .withoutEscapingSlashes = options_.withoutEscapingSlashes});
  }
  // The document `encode` would write, before it becomes text.
  template <class T>
  JSON encodeJSON(const T& value) const {
    JSONWriter writer({}, *this);
    writer.encode(value);
    return writer.take();
  }

  void encodeDate(JSONWriter& json, Date date) const { options_.dateEncoding(json, date); }

  // The default rule.
  static void iso8601Date(JSONWriter& json, Date date);

 private:
  Options options_;
};

}  // namespace platform
