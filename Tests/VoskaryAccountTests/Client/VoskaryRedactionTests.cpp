#include "VoskaryAccount/Client/VoskaryRedaction.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "Platform/Foundation/Error.h"
#include "Platform/Network/URLError.h"
#include "VoskaryAccount/Client/VoskaryError.h"

namespace voskary {
namespace {

TEST(VoskaryRedactionTests, EndpointIsCutBeforeQueryAndFragment) {
  const std::pair<std::string_view, std::string_view> cases[] = {
      {"", ""},
      {"/api/app-sessions/refresh?token=abc", "/api/app-sessions/refresh"},
      {"/api/x#frag", "/api/x"},
      {"/api/x#frag?q=1", "/api/x"},
      {"/api/x?q=1#frag", "/api/x"},
      {"?only=query", ""},
      {"#", ""},
      {"https://ID.example:8443/A%2Fb/c", "https://ID.example:8443/A%2Fb/c"},
      {"https://id.example/a?", "https://id.example/a"},
  };
  for (auto [address, redacted] : cases) EXPECT_EQ(VoskaryRedaction::endpoint(address), redacted);
}

TEST(VoskaryRedactionTests, DecodeFailureFields) {
  EXPECT_EQ(VoskaryRedaction::decodeFailure("/api/x?secret=1"),
            (VoskaryLogFields{{"endpoint", "/api/x"}, {"class", "decode"}}));
  EXPECT_EQ(VoskaryRedaction::decodeFailure("/api/x", ""),
            (VoskaryLogFields{{"endpoint", "/api/x"}, {"class", "decode"}, {"field", ""}}));
  EXPECT_EQ(
      VoskaryRedaction::decodeFailure("/api/x", "expires_at"),
      (VoskaryLogFields{{"endpoint", "/api/x"}, {"class", "decode"}, {"field", "expires_at"}}));
}

TEST(VoskaryRedactionTests, TransportFailureShowsOnlyDomainAndCode) {
  EXPECT_EQ(VoskaryRedaction::transportFailure(
                "/api/x?a=b", platform::URLError(platform::URLError::timedOut,
                                                 platform::URL("https://id.example/api/x?a=b"))),
            (VoskaryLogFields{{"endpoint", "/api/x"},
                              {"class", "transport"},
                              {"error_domain", "NSURLErrorDomain"},
                              {"error_code", "-1001"},
                              {"url_error", "-1001"}}));
  EXPECT_EQ(VoskaryRedaction::transportFailure("/api/x", VoskaryError::networkUnavailable()),
            (VoskaryLogFields{{"endpoint", "/api/x"},
                              {"class", "transport"},
                              {"error_domain", "voskary::VoskaryError"},
                              {"error_code", "9"}}));
  EXPECT_EQ(VoskaryRedaction::transportFailure("/api/x", std::runtime_error("password=hunter2")),
            (VoskaryLogFields{{"endpoint", "/api/x"},
                              {"class", "transport"},
                              {"error_domain", "std::runtime_error"},
                              {"error_code", "1"}}));
}

TEST(VoskaryRedactionTests, ClassificationsAreWrittenAsTheirNames) {
  using C = VoskaryRedaction::Classification;
  const std::pair<C, std::string_view> cases[] = {{C::transport, "transport"},
                                                  {C::server, "server"},
                                                  {C::auth, "auth"},
                                                  {C::decode, "decode"},
                                                  {C::cancelled, "cancelled"},
                                                  {C::timeout, "timeout"},
                                                  {C::clientKilled, "clientKilled"},
                                                  {C::requiresUpgrade, "requiresUpgrade"}};
  for (auto [classification, text] : cases) EXPECT_EQ(rawValue(classification), text);
}

}  // namespace
}  // namespace voskary
