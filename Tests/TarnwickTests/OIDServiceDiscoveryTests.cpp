#include <gtest/gtest.h>

#include "Platform/Foundation/DecodingError.h"
#include "Platform/Foundation/JSONSerialization.h"
#include "TarnwickCore/OIDJSONValue.h"
#include "TarnwickCore/OIDServiceConfiguration.h"
#include "TarnwickCore/OIDServiceDiscovery.h"

namespace tarnwick {
namespace {

using platform::URL;
using platform::Value;

Value::Dictionary minimalDocument() {
  return {
      {"issuer", "https://id.example.test"},
      {"authorization_endpoint", "https://id.example.test/authorize"},
      {"token_endpoint", "https://id.example.test/token"},
      {"jwks_uri", "https://id.example.test/jwks"},
      {"response_types_supported", Value::Array{"code"}},
      {"subject_types_supported", Value::Array{"public"}},
      {"id_token_signing_alg_values_supported", Value::Array{"ES256"}},
  };
}

std::string json(const Value::Dictionary& document) {
  return platform::JSONSerialization::serialize(OIDJSONValue::toJSON(document));
}

// The description of the error a document is refused with; empty when it is accepted.
std::string refusal(const std::string& text, long expectedCode = -2) {
  std::optional<OIDError> error;
  auto discovery = OIDServiceDiscovery::fromJSON(text, &error);
  if (discovery) return "";
  EXPECT_TRUE(error && error->is(OIDGeneralErrorDomain, expectedCode)) << text;
  return error ? error->description() : "no error";
}

TEST(OIDServiceDiscoveryTest, RefusesUnusableDocumentsInCheckOrder) {
  auto without = [](std::initializer_list<const char*> keys) {
    auto document = minimalDocument();
    for (auto key : keys) document.erase(key);
    return json(document);
  };
  auto with = [](const char* key, Value value) {
    auto document = minimalDocument();
    document.insert_or_assign(key, std::move(value));
    return json(document);
  };

  EXPECT_EQ(refusal("[1,2]"), "Discovery document isn't a dictionary");
  EXPECT_EQ(refusal("\"text\""), "Discovery document isn't a dictionary");
  EXPECT_EQ(refusal(without({"issuer"})), "Missing field: issuer");
  EXPECT_EQ(refusal(without({"jwks_uri", "subject_types_supported"})), "Missing field: jwks_uri");
  EXPECT_EQ(refusal(without({"id_token_signing_alg_values_supported"})),
            "Missing field: id_token_signing_alg_values_supported");
  // Every required key is checked before any URL.
  auto document = minimalDocument();
  document["issuer"] = 5;
  document.erase("token_endpoint");
  EXPECT_EQ(refusal(json(document)), "Missing field: token_endpoint");
  EXPECT_EQ(refusal(with("issuer", 5)), "Invalid URL: issuer");
  EXPECT_EQ(refusal(with("token_endpoint", "https://bad host/")), "Invalid URL: token_endpoint");
  EXPECT_EQ(refusal(with("jwks_uri", nullptr)), "Invalid URL: jwks_uri");
  // A required key that is present with a null value counts as present.
  EXPECT_EQ(refusal(with("subject_types_supported", nullptr)), "");
}

TEST(OIDServiceDiscoveryTest, TextThatIsNoJSONIsAParseError) {
  std::optional<OIDError> error;
  EXPECT_FALSE(OIDServiceDiscovery::fromJSON("{\"issuer\":", &error));
  ASSERT_TRUE(error);
  EXPECT_TRUE(error->is(OIDErrorCode::jsonDeserialization));
  ASSERT_NE(dynamic_cast<const platform::DecodingError*>(error->underlyingError().get()), nullptr);
  EXPECT_EQ(error->description(), error->underlyingError()->description());
}

TEST(OIDServiceDiscoveryTest, ReadsWhatTheDocumentHolds) {
  auto document = minimalDocument();
  document["authorization_endpoint"] = "not a url";
  document["claims_supported"] = Value::Array{"sub", "email"};
  document["future_field"] = Value::Dictionary{{"kept", true}};
  auto discovery = OIDServiceDiscovery::fromDictionary(document);
  ASSERT_TRUE(discovery);

  EXPECT_EQ(discovery->issuer(), URL("https://id.example.test"));
  EXPECT_EQ(discovery->authorizationEndpoint(), std::nullopt);
  EXPECT_EQ(discovery->registrationEndpoint(), std::nullopt);
  EXPECT_EQ(discovery->claimsSupported(), Value(Value::Array{"sub", "email"}));
  EXPECT_EQ(discovery->scopesSupported(), std::nullopt);
  EXPECT_EQ(discovery->discoveryDictionary().at("future_field"), document["future_field"]);

  // The authorization endpoint is not checked: the configuration then has an empty one.
  OIDServiceConfiguration configuration(*discovery);
  EXPECT_TRUE(configuration.authorizationEndpoint().isEmpty());
  EXPECT_EQ(configuration.tokenEndpoint(), URL("https://id.example.test/token"));
  EXPECT_EQ(configuration.issuer(), URL("https://id.example.test"));
  EXPECT_EQ(configuration.discoveryDocument(), discovery);
}

TEST(OIDServiceDiscoveryTest, FlagsHaveTheirDefaults) {
  auto discovery = OIDServiceDiscovery::fromDictionary(minimalDocument());
  ASSERT_TRUE(discovery);
  EXPECT_FALSE(discovery->claimsParameterSupported());
  EXPECT_FALSE(discovery->requestParameterSupported());
  EXPECT_TRUE(discovery->requestURIParameterSupported());
  EXPECT_FALSE(discovery->requireRequestURIRegistration());

  auto document = minimalDocument();
  document["claims_parameter_supported"] = true;
  document["request_uri_parameter_supported"] = false;
  document["request_parameter_supported"] = nullptr;
  discovery = OIDServiceDiscovery::fromDictionary(document);
  EXPECT_TRUE(discovery->claimsParameterSupported());
  EXPECT_FALSE(discovery->requestURIParameterSupported());
  EXPECT_FALSE(discovery->requestParameterSupported());
}

TEST(OIDServiceDiscoveryTest, ArchivesRoundTrip) {
  auto discovery = *OIDServiceDiscovery::fromDictionary(minimalDocument());
  OIDServiceConfiguration configuration(
      *discovery.authorizationEndpoint(), *discovery.tokenEndpoint(), discovery.issuer(),
      URL("https://id.example.test/register"), URL("https://id.example.test/logout"), discovery);
  EXPECT_EQ(OIDServiceConfiguration::fromArchive(configuration.archive()), configuration);

  // Older archives hold the document's entries directly.
  EXPECT_EQ(OIDServiceDiscovery::fromArchive(Value(minimalDocument())), discovery);
  auto broken = minimalDocument();
  broken.erase("issuer");
  EXPECT_EQ(OIDServiceDiscovery::fromArchive(Value(broken)), std::nullopt);

  auto archive = *configuration.archive().asDictionary();
  archive.erase("tokenEndpoint");
  EXPECT_EQ(OIDServiceConfiguration::fromArchive(archive), std::nullopt);
}

TEST(OIDServiceConfigurationTest, DescriptionLeavesOutTheIssuer) {
  OIDServiceConfiguration configuration(URL("https://a.test/authorize"),
                                        URL("https://a.test/token"), URL("https://a.test"));
  EXPECT_EQ(
      configuration.description(),
      "OIDServiceConfiguration authorizationEndpoint: https://a.test/authorize, tokenEndpoint: "
      "https://a.test/token, registrationEndpoint: (null), endSessionEndpoint: (null), "
      "discoveryDocument: [(null)]");
}

}  // namespace
}  // namespace tarnwick
