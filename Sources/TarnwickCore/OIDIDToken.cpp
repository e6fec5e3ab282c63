#include "TarnwickCore/OIDIDToken.h"

#include <utility>

#include "Platform/Foundation/Base64.h"
#include "Platform/Foundation/DecodingError.h"
#include "Platform/Foundation/JSONSerialization.h"
#include "Platform/Foundation/SystemLogger.h"
#include "TarnwickCore/OIDFieldMapping.h"
#include "TarnwickCore/OIDJSONValue.h"

namespace tarnwick {

using platform::Value;

OIDIDToken::OIDIDToken(Value::Dictionary header, Value::Dictionary claims, platform::URL issuer,
                       std::string subject, std::vector<std::string> audience,
                       platform::Date expiresAt, platform::Date issuedAt,
                       std::optional<std::string> nonce)
    : header_(std::move(header)),
      claims_(std::move(claims)),
      issuer_(std::move(issuer)),
      subject_(std::move(subject)),
      audience_(std::move(audience)),
      expiresAt_(expiresAt),
      issuedAt_(issuedAt),
      nonce_(std::move(nonce)) {}

std::optional<platform::Bytes> OIDIDToken::base64urlNoPaddingDecode(std::string_view text) {
  std::string standard(text);
  for (char& c : standard) {
    if (c == '-')
      c = '+';
    else if (c == '_')
      c = '/';
  }
  while (standard.size() % 4 != 0) standard.push_back('=');
  return platform::Base64::decode(standard);
}

std::optional<Value::Dictionary> OIDIDToken::parseJWTSection(std::string_view section) {
  auto bytes = base64urlNoPaddingDecode(section);
  if (!bytes) return std::nullopt;
  std::string_view text(reinterpret_cast<const char*>(bytes->data()), bytes->size());
  try {
    Value value = OIDJSONValue::fromJSON(platform::JSONSerialization::parse(text));
    if (auto dictionary = value.asDictionary()) return std::move(*dictionary);
  } catch (const platform::DecodingError& error) {
    static const platform::SystemLogger log("dev.voskary.tarnwick", "token");
    log.log(platform::SystemLogType::error,
            "Error " + error.description() + " parsing token payload " + std::string(section));
  }
  return std::nullopt;
}

std::optional<OIDIDToken> OIDIDToken::parse(std::string_view idToken) {
  std::size_t firstDot = idToken.find('.');
  if (firstDot == std::string_view::npos) return std::nullopt;
  std::string_view rest = idToken.substr(firstDot + 1);
  auto header = parseJWTSection(idToken.substr(0, firstDot));
  auto claims = parseJWTSection(rest.substr(0, rest.find('.')));
  if (!header || !claims) return std::nullopt;

  auto text = [&claims](std::string_view key) -> std::optional<std::string> {
    auto found = claims->find(key);
    if (found == claims->end() || !found->second.asString()) return std::nullopt;
    return *found->second.asString();
  };
  auto epoch = [&claims](std::string_view key) -> std::optional<platform::Date> {
    auto found = claims->find(key);
    if (found == claims->end()) return std::nullopt;
    return OIDFieldMapping::dateEpochConversion()(found->second).asDate();
  };

  auto issuerText = text("iss");
  std::optional<platform::URL> issuer =
      issuerText ? platform::URL::parse(*issuerText) : std::nullopt;
  auto subject = text("sub");
  std::optional<std::vector<std::string>> audience;
  if (auto found = claims->find("aud"); found != claims->end()) {
    if (auto single = found->second.asString()) {
      audience = std::vector<std::string>{*single};
    } else if (auto list = found->second.asArray()) {
      audience.emplace();
      for (const auto& entry : *list) {
        if (auto value = entry.asString()) audience->push_back(*value);
      }
    }
  }
  auto expiresAt = epoch("exp");
  auto issuedAt = epoch("iat");
  if (!issuer || !subject || !audience || !expiresAt || !issuedAt) return std::nullopt;
  return OIDIDToken(std::move(*header), std::move(*claims), std::move(*issuer), std::move(*subject),
                    std::move(*audience), *expiresAt, *issuedAt, text("nonce"));
}

}  // namespace tarnwick
