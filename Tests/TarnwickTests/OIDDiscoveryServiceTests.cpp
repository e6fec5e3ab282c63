#include <gtest/gtest.h>

#include "Platform/Network/URLError.h"
#include "Platform/Sim/SimHTTPServer.h"
#include "Support/SimTest.h"
#include "Support/Tarnwick/FakeAuthority.h"
#include "Tarnwick/OIDAuthorizationService.h"

namespace tarnwick {
namespace {

using platform::URL;
using platform::sim::SimHTTPAnswer;

struct Discovered {
  int calls = 0;
  std::optional<OIDServiceConfiguration> configuration;
  std::optional<OIDError> error;
};

class OIDDiscoveryServiceTest : public platform::testing::SimTest {
 protected:
  OIDDiscoveryCallback recordInto(Discovered& out) {
    return [&out](const auto& configuration, const auto& error) {
      ++out.calls;
      out.configuration = configuration;
      out.error = error;
    };
  }

  Discovered discover(const URL& issuer) {
    Discovered out;
    OIDAuthorizationService::discoverServiceConfigurationForIssuer(issuer, recordInto(out));
    // Never inside the call.
    EXPECT_EQ(out.calls, 0);
    runUntilIdle();
    EXPECT_EQ(out.calls, 1);
    EXPECT_NE(out.configuration.has_value(), out.error.has_value());
    return out;
  }

  testing::FakeAuthority authority;
  const std::string documentURL = authority.discoveryURL().absoluteString();
};

TEST_F(OIDDiscoveryServiceTest, FetchesTheWellKnownDocumentOfTheIssuer) {
  const std::pair<const char*, const char*> cases[] = {
      {"https://id.example.test", "https://id.example.test/.well-known/openid-configuration"},
      {"https://id.example.test/", "https://id.example.test/.well-known/openid-configuration"},
      {"https://id.example.test/tenant",
       "https://id.example.test/tenant/.well-known/openid-configuration"},
      {"https://id.example.test/tenant/",
       "https://id.example.test/tenant/.well-known/openid-configuration"},
  };
  sim().http->respondToOthers([](const auto&) { return SimHTTPAnswer::status(404); });
  for (const auto& [issuer, expected] : cases) discover(URL(issuer));

  auto requests = sim().http->requests();
  ASSERT_EQ(requests.size(), std::size(cases));
  for (std::size_t i = 0; i < requests.size(); ++i) {
    EXPECT_EQ(requests[i].request.url.absoluteString(), cases[i].second);
    EXPECT_EQ(requests[i].request.httpMethod, "GET");
    EXPECT_FALSE(requests[i].request.httpBody);
  }
}

TEST_F(OIDDiscoveryServiceTest, BuildsTheConfigurationFromTheDocument) {
  sim().http->respond("GET", documentURL, SimHTTPAnswer::json(200, authority.discoveryJSON()));
  auto out = discover(authority.configuration().issuer);
  ASSERT_TRUE(out.configuration);
  EXPECT_EQ(out.configuration->authorizationEndpoint(), authority.authorizationEndpoint());
  EXPECT_EQ(out.configuration->tokenEndpoint(), URL("https://id.example.test/token"));
  EXPECT_EQ(out.configuration->issuer(), authority.configuration().issuer);
  ASSERT_TRUE(out.configuration->discoveryDocument());
  EXPECT_TRUE(out.configuration->discoveryDocument()->discoveryDictionary().contains(
      "code_challenge_methods_supported"));
}

TEST_F(OIDDiscoveryServiceTest, EveryFailureIsANetworkErrorWithItsCause) {
  struct Case {
    SimHTTPAnswer answer;
    std::string description;
    std::string causeDomain;
    long causeCode;
    std::string causeDescription;
  };
  const std::string url = documentURL;
  const Case cases[] = {
      {SimHTTPAnswer::failing(platform::URLError::cannotConnectToHost),
       // The format adds its own full stop after the transfer error's sentence.
       "Connection error fetching discovery document '" + url +
           "': Could not connect to the server..",
       "", 0, "Could not connect to the server."},
      {SimHTTPAnswer::status(404, "No such tenant"),
       "Non-200 HTTP response (404) fetching discovery document '" + url + "'.",
       std::string(OIDHTTPErrorDomain), 404, "No such tenant"},
      {SimHTTPAnswer::json(200, "[1,2]"),
       "JSON error parsing document at '" + url + "': Discovery document isn't a dictionary",
       std::string(OIDGeneralErrorDomain), -2, "Discovery document isn't a dictionary"},
      {SimHTTPAnswer::json(200, R"({"issuer":"https://id.example.test"})"),
       "JSON error parsing document at '" + url + "': Missing field: authorization_endpoint",
       std::string(OIDGeneralErrorDomain), -2, "Missing field: authorization_endpoint"},
      {SimHTTPAnswer::json(200, "not json"), "", std::string(OIDGeneralErrorDomain), -7, ""},
  };
  SimHTTPAnswer current;
  sim().http->respondToOthers([&current](const auto&) { return current; });
  for (const auto& c : cases) {
    current = c.answer;
    auto out = discover(authority.configuration().issuer);
    ASSERT_TRUE(out.error);
    EXPECT_TRUE(out.error->is(OIDErrorCode::network));
    ASSERT_NE(out.error->underlyingError(), nullptr);
    const auto& cause = *out.error->underlyingError();
    if (auto oidCause = dynamic_cast<const OIDError*>(&cause)) {
      EXPECT_TRUE(oidCause->is(c.causeDomain, c.causeCode)) << oidCause->description();
    } else {
      EXPECT_NE(dynamic_cast<const platform::URLError*>(&cause), nullptr);
      EXPECT_TRUE(c.causeDomain.empty());
    }
    if (!c.description.empty()) {
      EXPECT_EQ(out.error->description(), c.description);
      EXPECT_EQ(cause.description(), c.causeDescription);
    } else {
      // A parse error names the parser's reason, without a full stop of its own.
      EXPECT_EQ(out.error->description(),
                "JSON error parsing document at '" + url + "': " + cause.description());
    }
  }
}

}  // namespace
}  // namespace tarnwick
