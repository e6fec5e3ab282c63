// Decodes the input as JSON into a typed record and as a plain document; a document that reads
// must write and read back to the same value.
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "FuzzCheck.h"
#include "Platform/Foundation/JSONDecoder.h"
#include "Platform/Foundation/JSONEncoder.h"

namespace {

using namespace platform;

// A record with every kind of member the product's records have.
struct Record {
  std::string name;
  std::optional<std::int64_t> count;
  std::optional<std::uint8_t> small;
  std::optional<double> ratio;
  std::optional<bool> flag;
  std::optional<Date> when;
  std::optional<std::vector<Record>> children;
  std::optional<std::map<std::string, std::string>> labels;

  static Record decode(const JSONReader& json) {
    return {json.decode<std::string>("name"),
            json.decodeIfPresent<std::int64_t>("count"),
            json.decodeIfPresent<std::uint8_t>("small"),
            json.decodeIfPresent<double>("ratio"),
            json.decodeIfPresent<bool>("flag"),
            json.decodeIfPresent<Date>("when"),
            json.decodeIfPresent<std::vector<Record>>("children"),
            json.decodeIfPresent<std::map<std::string, std::string>>("labels")};
  }
  void encode(JSONWriter& json) const {
    json.encode("name", name);
    json.encodeIfPresent("count", count);
    json.encodeIfPresent("small", small);
    json.encodeIfPresent("ratio", ratio);
    json.encodeIfPresent("flag", flag);
    json.encodeIfPresent("when", when);
    json.encodeIfPresent("children", children);
    json.encodeIfPresent("labels", labels);
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  static const JSONDecoder decoder;
  static const JSONEncoder encoder;
  static const JSONEncoder sorted({.sortedKeys = true, .withoutEscapingSlashes = true});

  try {
    auto record = decoder.decode<Record>(text);
    auto written = encoder.encode(record);
    auto again = decoder.decode<Record>(written);
    FUZZ_CHECK(encoder.encode(again) == written);
  } catch (const DecodingError&) {
  }

  std::optional<JSON> document;
  try {
    document = JSONSerialization::parse(text);
  } catch (const DecodingError&) {
    return 0;
  }
  for (const auto* coder : {&encoder, &sorted}) {
    auto written = coder->encode(*document);
    auto back = JSONSerialization::parse(written);
    FUZZ_CHECK(coder->encode(back) == written);
  }
  FUZZ_CHECK(JSONSerialization::parse(encoder.encode(*document)) == *document);
  return 0;
}
