#include "Support/CompactJWS.h"

#include <openssl/bn.h>
#include <openssl/ecdsa.h>

#include <span>
#include <vector>

#include "Platform/Foundation/Base64.h"
#include "Platform/Security/P256SigningKey.h"

namespace voskary::testing {

std::optional<CompactJWS> CompactJWS::parse(const std::string& text) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (std::size_t end; (end = text.find('.', start)) != std::string::npos; start = end + 1)
    parts.push_back(text.substr(start, end - start));
  parts.push_back(text.substr(start));
  if (parts.size() != 3) return std::nullopt;
  auto header = platform::Base64::urlDecode(parts[0]);
  auto claims = platform::Base64::urlDecode(parts[1]);
  auto signature = platform::Base64::urlDecode(parts[2]);
  if (!header || !claims || !signature) return std::nullopt;
  return CompactJWS{std::string(header->begin(), header->end()),
                    std::string(claims->begin(), claims->end()), std::move(*signature),
                    parts[0] + "." + parts[1]};
}

bool CompactJWS::verifies(const std::string& x, const std::string& y) const {
  auto px = platform::Base64::urlDecode(x);
  auto py = platform::Base64::urlDecode(y);
  if (!px || !py || px->size() != 32 || py->size() != 32 || signature.size() != 64) return false;
  platform::Bytes point = {0x04};
  point.insert(point.end(), px->begin(), px->end());
  point.insert(point.end(), py->begin(), py->end());

  // The platform verifier takes X9.62 DER; OpenSSL builds it from r and s.
  ECDSA_SIG* sig = ECDSA_SIG_new();
  ECDSA_SIG_set0(sig, BN_bin2bn(signature.data(), 32, nullptr),
                 BN_bin2bn(signature.data() + 32, 32, nullptr));
  unsigned char* out = nullptr;
  int length = i2d_ECDSA_SIG(sig, &out);
  platform::Bytes der(out, out + std::max(length, 0));
  OPENSSL_free(out);
  ECDSA_SIG_free(sig);

  std::span<const std::uint8_t> message(reinterpret_cast<const std::uint8_t*>(signingInput.data()),
                                        signingInput.size());
  return platform::P256SigningKey::verify(point, message, der);
}

}  // namespace voskary::testing
