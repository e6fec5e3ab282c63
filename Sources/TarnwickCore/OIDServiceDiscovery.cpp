#include "TarnwickCore/OIDServiceDiscovery.h"

#include <array>

#include "Platform/Foundation/DecodingError.h"
#include "Platform/Foundation/JSONSerialization.h"
#include "TarnwickCore/OIDErrorUtilities.h"
#include "TarnwickCore/OIDJSONValue.h"

namespace tarnwick {

using platform::URL;
using platform::Value;

namespace {

constexpr std::array<std::string_view, 7> kRequiredFields{
    "issuer",
    "authorization_endpoint",
    "token_endpoint",
    "jwks_uri",
    "response_types_supported",
    "subject_types_supported",
    "id_token_signing_alg_values_supported",
};
// The authorization endpoint is not among them: a document with a bad one is still accepted,
// and presenting a request for it fails instead.
constexpr std::array<std::string_view, 3> kURLFields{"issuer", "token_endpoint", "jwks_uri"};

bool fail(std::optional<OIDError>* error, std::string description) {
  if (error) {
    *error = OIDErrorUtilities::errorWithCode(OIDErrorCode::invalidDiscoveryDocument, nullptr,
                                              std::move(description));
  }
  return false;
}

}  // namespace

OIDServiceDiscovery::OIDServiceDiscovery(Value::Dictionary document)
    : document_(std::make_shared<const Value::Dictionary>(std::move(document))) {}

std::optional<OIDServiceDiscovery> OIDServiceDiscovery::fromJSON(std::string_view text,
                                                                 std::optional<OIDError>* error) {
  platform::JSON json;
  try {
    json = platform::JSONSerialization::parse(text);
  } catch (const platform::DecodingError& parseError) {
    if (error) {
      *error = OIDErrorUtilities::errorWithCode(
          OIDErrorCode::jsonDeserialization,
          std::make_shared<const platform::DecodingError>(parseError), parseError.description());
    }
    return std::nullopt;
  }
  Value document = OIDJSONValue::fromJSON(json);
  if (!document.asDictionary()) {
    fail(error, "Discovery document isn't a dictionary");
    return std::nullopt;
  }
  return fromDictionary(*document.asDictionary(), error);
}

std::optional<OIDServiceDiscovery> OIDServiceDiscovery::fromJSONData(
    const platform::Bytes& data, std::optional<OIDError>* error) {
  return fromJSON(std::string_view(reinterpret_cast<const char*>(data.data()), data.size()), error);
}

std::optional<OIDServiceDiscovery> OIDServiceDiscovery::fromDictionary(
    const Value::Dictionary& dictionary, std::optional<OIDError>* error) {
  if (!dictionaryHasRequiredFields(dictionary, error)) return std::nullopt;
  return OIDServiceDiscovery(dictionary);
}

bool OIDServiceDiscovery::dictionaryHasRequiredFields(const Value::Dictionary& dictionary,
                                                      std::optional<OIDError>* error) {
  for (auto field : kRequiredFields) {
    // Present with a null value counts as present.
    if (!dictionary.contains(field)) return fail(error, "Missing field: " + std::string(field));
  }
  for (auto field : kURLFields) {
    const std::string* text = dictionary.find(field)->second.asString();
    if (!text || !URL::parse(*text)) return fail(error, "Invalid URL: " + std::string(field));
  }
  return true;
}

const Value* OIDServiceDiscovery::find(std::string_view key) const {
  auto found = document_->find(key);
  return found == document_->end() ? nullptr : &found->second;
}

std::optional<URL> OIDServiceDiscovery::url(std::string_view key) const {
  const Value* value = find(key);
  if (!value || !value->asString()) return std::nullopt;
  return URL::parse(*value->asString());
}

std::optional<Value> OIDServiceDiscovery::stored(std::string_view key) const {
  const Value* value = find(key);
  if (!value) return std::nullopt;
  return *value;
}

bool OIDServiceDiscovery::flag(std::string_view key, bool absent) const {
  const Value* value = find(key);
  if (!value) return absent;
  if (auto b = value->asBool()) return *b;
  if (auto number = value->exactly<double>()) return *number != 0;
  // A null or a value of another kind says nothing either way.
  return absent;
}

// clang-format off
std::optional<URL> OIDServiceDiscovery::issuer() const { return url("issuer"); }
std::optional<URL> OIDServiceDiscovery::authorizationEndpoint() const { return url("authorization_endpoint"); }
std::optional<URL> OIDServiceDiscovery::deviceAuthorizationEndpoint() const { return url("device_authorization_endpoint"); }
std::optional<URL> OIDServiceDiscovery::tokenEndpoint() const { return url("token_endpoint"); }
std::optional<URL> OIDServiceDiscovery::userinfoEndpoint() const { return url("userinfo_endpoint"); }
std::optional<URL> OIDServiceDiscovery::jwksURL() const { return url("jwks_uri"); }
std::optional<URL> OIDServiceDiscovery::registrationEndpoint() const { return url("registration_endpoint"); }
std::optional<URL> OIDServiceDiscovery::endSessionEndpoint() const { return url("end_session_endpoint"); }
std::optional<URL> OIDServiceDiscovery::serviceDocumentation() const { return url("service_documentation"); }
std::optional<URL> OIDServiceDiscovery::OPPolicyURI() const { return url("op_policy_uri"); }
std::optional<URL> OIDServiceDiscovery::OPTosURI() const { return url("op_tos_uri"); }

std::optional<Value> OIDServiceDiscovery::scopesSupported() const { return stored("scopes_supported"); }
std::optional<Value> OIDServiceDiscovery::responseTypesSupported() const { return stored("response_types_supported"); }
std::optional<Value> OIDServiceDiscovery::responseModesSupported() const { return stored("response_modes_supported"); }
std::optional<Value> OIDServiceDiscovery::grantTypesSupported() const { return stored("grant_types_supported"); }
std::optional<Value> OIDServiceDiscovery::acrValuesSupported() const { return stored("acr_values_supported"); }
std::optional<Value> OIDServiceDiscovery::subjectTypesSupported() const { return stored("subject_types_supported"); }
std::optional<Value> OIDServiceDiscovery::IDTokenSigningAlgorithmValuesSupported() const { return stored("id_token_signing_alg_values_supported"); }
std::optional<Value> OIDServiceDiscovery::IDTokenEncryptionAlgorithmValuesSupported() const { return stored("id_token_encryption_alg_values_supported"); }
std::optional<Value> OIDServiceDiscovery::IDTokenEncryptionEncodingValuesSupported() const { return stored("id_token_encryption_enc_values_supported"); }
std::optional<Value> OIDServiceDiscovery::userinfoSigningAlgorithmValuesSupported() const { return stored("userinfo_signing_alg_values_supported"); }
std::optional<Value> OIDServiceDiscovery::userinfoEncryptionAlgorithmValuesSupported() const { return stored("userinfo_encryption_alg_values_supported"); }
std::optional<Value> OIDServiceDiscovery::userinfoEncryptionEncodingValuesSupported() const { return stored("userinfo_encryption_enc_values_supported"); }
std::optional<Value> OIDServiceDiscovery::requestObjectSigningAlgorithmValuesSupported() const { return stored("request_object_signing_alg_values_supported"); }
std::optional<Value> OIDServiceDiscovery::requestObjectEncryptionAlgorithmValuesSupported() const { return stored("request_object_encryption_alg_values_supported"); }
std::optional<Value> OIDServiceDiscovery::requestObjectEncryptionEncodingValuesSupported() const { return stored("request_object_encryption_enc_values_supported"); }
std::optional<Value> OIDServiceDiscovery::tokenEndpointAuthMethodsSupported() const { return stored("token_endpoint_auth_methods_supported"); }
std::optional<Value> OIDServiceDiscovery::tokenEndpointAuthSigningAlgorithmValuesSupported() const { return stored("token_endpoint_auth_signing_alg_values_supported"); }
std::optional<Value> OIDServiceDiscovery::displayValuesSupported() const { return stored("display_values_supported"); }
std::optional<Value> OIDServiceDiscovery::claimTypesSupported() const { return stored("claim_types_supported"); }
std::optional<Value> OIDServiceDiscovery::claimsSupported() const { return stored("claims_supported"); }
std::optional<Value> OIDServiceDiscovery::claimsLocalesSupported() const { return stored("claims_locales_supported"); }
std::optional<Value> OIDServiceDiscovery::UILocalesSupported() const { return stored("ui_locales_supported"); }

bool OIDServiceDiscovery::claimsParameterSupported() const { return flag("claims_parameter_supported", false); }
bool OIDServiceDiscovery::requestParameterSupported() const { return flag("request_parameter_supported", false); }
bool OIDServiceDiscovery::requestURIParameterSupported() const { return flag("request_uri_parameter_supported", true); }
bool OIDServiceDiscovery::requireRequestURIRegistration() const { return flag("require_request_uri_registration", false); }
// clang-format on

Value OIDServiceDiscovery::archive() const {
  Value::Dictionary archive = *document_;
  archive.insert_or_assign("discoveryDictionary", *document_);
  return archive;
}

std::optional<OIDServiceDiscovery> OIDServiceDiscovery::fromArchive(const Value& archive) {
  const Value::Dictionary* dictionary = archive.asDictionary();
  if (!dictionary) return std::nullopt;
  if (auto found = dictionary->find("discoveryDictionary"); found != dictionary->end()) {
    dictionary = found->second.asDictionary();
    if (!dictionary) return std::nullopt;
  }
  return fromDictionary(*dictionary);
}

std::string OIDServiceDiscovery::description() const {
  return OIDJSONValue::describe(*document_);
}

}  // namespace tarnwick
