// Reads the input as the service's deprecation header: never fails, gives at most one notice
// per comma-separated piece, and reads the same twice.
#include <algorithm>
#include <cstdint>
#include <string_view>

#include "FuzzCheck.h"
#include "VoskaryAccount/Client/VoskaryDeprecationParser.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view header(reinterpret_cast<const char*>(data), size);
  const auto notices = voskary::VoskaryDeprecationParser::parse(header);
  const auto pieces = static_cast<std::size_t>(std::count(header.begin(), header.end(), ',')) + 1;
  FUZZ_CHECK(notices.size() <= pieces);
  FUZZ_CHECK(voskary::VoskaryDeprecationParser::parse(header) == notices);
  for (const auto& notice : notices) {
    if (const auto* client = notice.asClient()) FUZZ_CHECK(!client->minVersion.empty());
  }
  return 0;
}
