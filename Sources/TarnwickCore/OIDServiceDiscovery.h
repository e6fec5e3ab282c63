#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "Platform/Foundation/URL.h"
#include "Platform/Foundation/Value.h"
#include "TarnwickCore/OIDError.h"

namespace tarnwick {

// A provider's discovery document: the JSON object as it came, checked for the fields every
// provider must publish. The readers look their keys up on each call; nothing else is kept.
class OIDServiceDiscovery {
 public:
  OIDServiceDiscovery() = delete;

  // Each sets `error` (when given) and returns nothing when the document is not usable: -7 for
  // text that is no JSON, -2 for anything but an object, a missing field or an invalid URL.
  static std::optional<OIDServiceDiscovery> fromJSON(std::string_view text,
                                                     std::optional<OIDError>* error = nullptr);
  static std::optional<OIDServiceDiscovery> fromJSONData(const platform::Bytes& data,
                                                         std::optional<OIDError>* error = nullptr);
  static std::optional<OIDServiceDiscovery> fromDictionary(
      const platform::Value::Dictionary& dictionary, std::optional<OIDError>* error = nullptr);

  // The check behind `fromDictionary`: the required keys in order, then their URLs.
  static bool dictionaryHasRequiredFields(const platform::Value::Dictionary& dictionary,
                                          std::optional<OIDError>* error = nullptr);

  const platform::Value::Dictionary& discoveryDictionary() const { return *document_; }

  std::optional<platform::URL> issuer() const;
  std::optional<platform::URL> authorizationEndpoint() const;
  std::optional<platform::URL> deviceAuthorizationEndpoint() const;
  std::optional<platform::URL> tokenEndpoint() const;
  std::optional<platform::URL> userinfoEndpoint() const;
  std::optional<platform::URL> jwksURL() const;
  std::optional<platform::URL> registrationEndpoint() const;
  std::optional<platform::URL> endSessionEndpoint() const;
  std::optional<platform::URL> serviceDocumentation() const;
  std::optional<platform::URL> OPPolicyURI() const;
  std::optional<platform::URL> OPTosURI() const;

  std::optional<platform::Value> scopesSupported() const;
  std::optional<platform::Value> responseTypesSupported() const;
  std::optional<platform::Value> responseModesSupported() const;
  std::optional<platform::Value> grantTypesSupported() const;
  std::optional<platform::Value> acrValuesSupported() const;
  std::optional<platform::Value> subjectTypesSupported() const;
  std::optional<platform::Value> IDTokenSigningAlgorithmValuesSupported() const;
  std::optional<platform::Value> IDTokenEncryptionAlgorithmValuesSupported() const;
  std::optional<platform::Value> IDTokenEncryptionEncodingValuesSupported() const;
  std::optional<platform::Value> userinfoSigningAlgorithmValuesSupported() const;
  std::optional<platform::Value> userinfoEncryptionAlgorithmValuesSupported() const;
  std::optional<platform::Value> userinfoEncryptionEncodingValuesSupported() const;
  std::optional<platform::Value> requestObjectSigningAlgorithmValuesSupported() const;
  std::optional<platform::Value> requestObjectEncryptionAlgorithmValuesSupported() const;
  std::optional<platform::Value> requestObjectEncryptionEncodingValuesSupported() const;
  std::optional<platform::Value> tokenEndpointAuthMethodsSupported() const;
  std::optional<platform::Value> tokenEndpointAuthSigningAlgorithmValuesSupported() const;
  std::optional<platform::Value> displayValuesSupported() const;
  std::optional<platform::Value> claimTypesSupported() const;
  std::optional<platform::Value> claimsSupported() const;
  std::optional<platform::Value> claimsLocalesSupported() const;
  std::optional<platform::Value> UILocalesSupported() const;

  bool claimsParameterSupported() const;
  bool requestParameterSupported() const;
  bool requestURIParameterSupported() const;
  bool requireRequestURIRegistration() const;

  // The document under "discoveryDictionary", and its entries beside it for older readers.
  platform::Value archive() const;
  // Takes "discoveryDictionary" when present, otherwise the archive itself as the document;
  // nothing when that document fails the check.
  static std::optional<OIDServiceDiscovery> fromArchive(const platform::Value& archive);

  // The document as compact JSON.
  std::string description() const;

  bool operator==(const OIDServiceDiscovery& other) const { return *document_ == *other.document_; }

 private:
  explicit OIDServiceDiscovery(platform::Value::Dictionary document);

  const platform::Value* find(std::string_view key) const;
  std::optional<platform::URL> url(std::string_view key) const;
  std::optional<platform::Value> stored(std::string_view key) const;
  bool flag(std::string_view key, bool absent) const;

  std::shared_ptr<const platform::Value::Dictionary> document_;
};

}  // namespace tarnwick
