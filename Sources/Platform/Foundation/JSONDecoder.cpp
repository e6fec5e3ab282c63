#include "Platform/Foundation/JSONDecoder.h"

#include "Platform/Foundation/DateFormats.h"

namespace platform {

JSONDecoder::JSONDecoder(Options options) : options_(std::move(options)) {
  if (!options_.dateDecoding) options_.dateDecoding = &JSONDecoder::iso8601Date;
}

Date JSONDecoder::iso8601Date(const JSONReader& json) {
  auto text = json.decode<std::string>();
  if (auto date = DateFormats::parseISO8601(text, DateFormats::FractionalSeconds::included)) {
    return *date;
  }
  if (auto date = DateFormats::parseISO8601(text, DateFormats::FractionalSeconds::omitted)) {
    return *date;
  }
  json.fail("Expected date string to be ISO8601-formatted.");
}

}  // namespace platform
