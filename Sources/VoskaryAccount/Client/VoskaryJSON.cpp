#include "VoskaryAccount/Client/VoskaryJSON.h"

#include "Platform/Foundation/DateFormats.h"

namespace voskary {

using platform::DateFormats;

const platform::JSONDecoder& VoskaryJSON::decoder() {
  static const platform::JSONDecoder shared({.dateDecoding = &VoskaryJSON::decodeDate});
  return shared;
}

const platform::JSONEncoder& VoskaryJSON::encoder() {
  static const platform::JSONEncoder shared({.dateEncoding = &VoskaryJSON::encodeDate});
  return shared;
}

platform::Date VoskaryJSON::decodeDate(const platform::JSONReader& json) {
  auto text = json.decode<std::string>();
  if (auto date = DateFormats::parseISO8601(text, DateFormats::FractionalSeconds::included))
    return *date;
  if (auto date = DateFormats::parseISO8601(text, DateFormats::FractionalSeconds::omitted))
    return *date;
  json.fail("Bad ISO 8601 date: " + text);
}

void VoskaryJSON::encodeDate(platform::JSONWriter& json, platform::Date date) {
  json.encode(DateFormats::iso8601(date, DateFormats::FractionalSeconds::included));
}

}  // namespace voskary
