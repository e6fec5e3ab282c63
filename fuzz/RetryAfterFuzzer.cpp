// Reads the input as a "Retry-After" value: a wait between zero and the cap or nothing, and
// plain delay seconds read as their decimal value.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <string_view>

#include "FuzzCheck.h"
#include "VoskaryAccount/Client/IdentityThrottle.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view header(reinterpret_cast<const char*>(data), size);
  constexpr double cap = 300;
  const platform::Date now{1'800'000'000.0};
  const auto wait = voskary::IdentityThrottle::parseRetryAfter(header, now, cap);
  if (!wait) return 0;
  FUZZ_CHECK(std::isfinite(*wait) && *wait >= 0 && *wait <= cap);
  if (!header.empty() && std::all_of(header.begin(), header.end(),
                                     [](char c) { return (c >= '0' && c <= '9') || c == '.'; })) {
    double expected = 0;
    auto [end, error] = std::from_chars(header.data(), header.data() + header.size(), expected);
    if (error == std::errc() && end == header.data() + header.size())
      FUZZ_CHECK(*wait == std::min(cap, expected));
  }
  return 0;
}
