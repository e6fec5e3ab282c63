#pragma once

#include <nlohmann/json.hpp>

namespace platform {

// A JSON document whose objects keep their keys in the order they were read or written, so
// that what the product writes goes out in the order it wrote it.
using JSON = nlohmann::ordered_json;

}  // namespace platform
