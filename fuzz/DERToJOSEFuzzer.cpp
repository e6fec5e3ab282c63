// Reads the input as a DER ECDSA signature. An accepted one gives exactly r‖s of 32 bytes each,
// and the same r and s written back as minimal DER read to the same bytes.
#include <cstdint>
#include <span>
#include <vector>

#include "FuzzCheck.h"
#include "VoskaryAccount/Client/DPoPSigner.h"
#include "VoskaryAccount/Client/VoskaryError.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// One unsigned integer as minimal DER: no leading zero bytes but one that keeps it positive.
Bytes derInteger(std::span<const std::uint8_t> value) {
  while (value.size() > 1 && value.front() == 0) value = value.subspan(1);
  Bytes out{0x02};
  const bool pad = !value.empty() && (value.front() & 0x80);
  out.push_back(static_cast<std::uint8_t>(value.size() + (pad ? 1 : 0)));
  if (pad) out.push_back(0);
  out.insert(out.end(), value.begin(), value.end());
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Bytes jose;
  try {
    jose = voskary::DPoPSigner::joseSignature(std::span(data, size));
  } catch (const voskary::VoskaryError&) {
    return 0;
  }
  FUZZ_CHECK(jose.size() == 64);
  Bytes sequence;
  for (int half = 0; half < 2; ++half) {
    auto integer = derInteger(std::span(jose).subspan(static_cast<std::size_t>(half) * 32, 32));
    sequence.insert(sequence.end(), integer.begin(), integer.end());
  }
  Bytes der{0x30, static_cast<std::uint8_t>(sequence.size())};
  der.insert(der.end(), sequence.begin(), sequence.end());
  FUZZ_CHECK(voskary::DPoPSigner::joseSignature(der) == jose);
  return 0;
}
