#include "VoskaryAccount/Client/LibVersionPolicy.h"

namespace voskary {

LibVersionPolicy LibVersionPolicy::decode(const platform::JSONReader& json) {
  return {json.decodeIfPresent<std::string>("minVersion"),
          json.decodeIfPresent<std::string>("currentVersion"),
          json.decodeIfPresent<std::string>("replacement"),
          json.decodeIfPresent<std::string>("reason"),
          json.decodeIfPresent<platform::Date>("expires")};
}

void LibVersionPolicy::encode(platform::JSONWriter& json) const {
  json.encodeIfPresent("minVersion", minVersion);
  json.encodeIfPresent("currentVersion", currentVersion);
  json.encodeIfPresent("replacement", replacement);
  json.encodeIfPresent("reason", reason);
  json.encodeIfPresent("expires", expires);
}

}  // namespace voskary
