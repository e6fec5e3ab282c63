#include "Platform/Foundation/JSONEncoder.h"

#include "Platform/Foundation/DateFormats.h"

namespace platform {

JSONEncoder::JSONEncoder(Options options) : options_(std::move(options)) {
  if (!options_.dateEncoding) options_.dateEncoding = &JSONEncoder::iso8601Date;
}

void JSONEncoder::iso8601Date(JSONWriter& json, Date date) {
  json.encode(DateFormats::iso8601(date, DateFormats::FractionalSeconds::included));
}

}  // namespace platform
