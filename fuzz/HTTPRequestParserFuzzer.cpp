// Feeds the input to the loopback server's request parser, whole and cut at every split the
// input's first byte picks, and checks that the parser never reads past its buffer, never
// takes more than it was given, stays within its limits, and reads a split request the same
// way as a whole one.
#include <cstdint>
#include <string_view>

#include "FuzzCheck.h"
#include "TarnwickCore/HTTPMessage.h"

namespace {

using tarnwick::HTTPRequestParser;
using Status = HTTPRequestParser::Status;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  auto whole = HTTPRequestParser::parse(text);
  if (whole.status == Status::complete) {
    FUZZ_CHECK(whole.consumed > 0 && whole.consumed <= text.size());
    FUZZ_CHECK(whole.request.body.size() <= HTTPRequestParser::maxBodyLength);
    FUZZ_CHECK(whole.consumed - whole.request.body.size() <= HTTPRequestParser::maxHeadLength);
    // What it took is a request of its own.
    auto again = HTTPRequestParser::parse(text.substr(0, whole.consumed));
    FUZZ_CHECK(again.status == Status::complete && again.consumed == whole.consumed);
    FUZZ_CHECK(again.request.body == whole.request.body);
    // Any shorter prefix is not complete yet, or already invalid.
    if (size > 0) {
      std::size_t cut = data[0] % whole.consumed;
      FUZZ_CHECK(HTTPRequestParser::parse(text.substr(0, cut)).status != Status::complete);
    }
  }
  return 0;
}
