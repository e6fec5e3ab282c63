#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "Platform/Foundation/Clock.h"
#include "Platform/Foundation/Environment.h"
#include "Support/SimTest.h"
#include "TarnwickCore/OIDErrorUtilities.h"
#include "TarnwickCore/OIDFieldMapping.h"
#include "TarnwickCore/OIDScopeUtilities.h"
#include "TarnwickCore/OIDTokenUtilities.h"
#include "TarnwickCore/OIDURLQueryComponent.h"

namespace tarnwick {
namespace {

using platform::URL;
using platform::Value;

TEST(OIDTokenUtilitiesTest, RedactsByLength) {
  struct Case {
    std::optional<std::string> text;
    std::optional<std::string> expected;
  };
  const Case cases[] = {
      {std::nullopt, std::nullopt},
      {"", ""},
      {"a", "[redacted]"},
      {"abcdefgh", "[redacted]"},
      {"abcdefghi", "abcdef...[redacted]"},
      // Counted in characters, and never cut inside one.
      {"\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9", "[redacted]"},
      {"\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9xyz",
       "\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9...[redacted]"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(OIDTokenUtilities::redact(c.text), c.expected) << c.text.value_or("(null)");
  }
}

TEST(OIDTokenUtilitiesTest, RandomStringsAreURLSafeAndDistinct) {
  auto a = OIDTokenUtilities::randomURLSafeStringWithSize(32);
  auto b = OIDTokenUtilities::randomURLSafeStringWithSize(32);
  EXPECT_EQ(a.size(), 43u);
  EXPECT_NE(a, b);
  EXPECT_EQ(a.find_first_of("+/="), std::string::npos);
}

TEST(OIDTokenUtilitiesTest, FormEncodesCredentials) {
  EXPECT_EQ(OIDTokenUtilities::formUrlEncode(""), "");
  EXPECT_EQ(OIDTokenUtilities::formUrlEncode("a b*-._~+/:\xC3\xA9"), "a+b*-._%7E%2B%2F%3A%C3%A9");
}

TEST(OIDErrorUtilitiesTest, OAuthErrorCodes) {
  const std::pair<const char*, long> cases[] = {
      {"invalid_request", -2},           {"unauthorized_client", -3}, {"access_denied", -4},
      {"unsupported_response_type", -5}, {"invalid_scope", -6},       {"server_error", -7},
      {"temporarily_unavailable", -8},   {"invalid_client", -9},      {"invalid_grant", -10},
      {"unsupported_grant_type", -11},   {"slow_down", -61440},       {"", -61440},
  };
  for (const auto& [text, code] : cases) {
    EXPECT_EQ(OIDErrorUtilities::OAuthErrorCodeFromString(text), code) << text;
  }
}

TEST(OIDErrorUtilitiesTest, OAuthErrorMessagesFromTheAnswer) {
  struct Case {
    Value::Dictionary answer;
    std::string description;
    long code;
  };
  const Case cases[] = {
      {{{"error", "invalid_grant"}, {"error_description", "expired"}},
       "invalid_grant: expired",
       -10},
      {{{"error", "invalid_grant"}, {"error_description", "expired"}, {"error_uri", "u"}},
       "invalid_grant: expired - u",
       -10},
      {{{"error", "access_denied"}, {"error_uri", "u"}}, "access_denied - u", -4},
      // A description that is no text is printed as it is.
      {{{"error", "invalid_request"}, {"error_description", 42}}, "invalid_request: 42", -2},
      {{{"error", ""}}, "OAuth error:  - https://tools.ietf.org/html/rfc6749#section-5.2", -61440},
      // An empty error with a URI: no separator in front of the URI.
      {{{"error", ""}, {"error_uri", "u"}}, "u", -61440},
  };
  for (const auto& c : cases) {
    auto error =
        OIDErrorUtilities::OAuthErrorWithDomain(OIDOAuthTokenErrorDomain, &c.answer, nullptr);
    EXPECT_EQ(error.domain(), OIDOAuthTokenErrorDomain);
    EXPECT_EQ(error.code(), c.code);
    EXPECT_EQ(error.description(), c.description);
    ASSERT_NE(error.oauthErrorResponse(), nullptr);
    EXPECT_EQ(*error.oauthErrorResponse(), c.answer);
  }
}

TEST(OIDErrorUtilitiesTest, AnswersThatAreNoOAuthErrorBecomeNetworkErrors) {
  auto cause = std::make_shared<OIDError>("other", 7, "the cause");
  Value::Dictionary numericError{{"error", 5}};
  Value::Dictionary valid{{"error", "invalid_grant"}};

  const std::pair<std::string_view, const Value::Dictionary*> cases[] = {
      {OIDOAuthTokenErrorDomain, nullptr},
      {OIDOAuthTokenErrorDomain, &numericError},
      {OIDGeneralErrorDomain, &valid},
  };
  for (const auto& [domain, answer] : cases) {
    auto error = OIDErrorUtilities::OAuthErrorWithDomain(domain, answer, cause);
    EXPECT_TRUE(error.is(OIDErrorCode::network));
    EXPECT_EQ(error.description(), "the cause");
    EXPECT_EQ(error.underlyingError(), cause);
  }
}

TEST(OIDErrorUtilitiesTest, HTTPErrorsCarryTheBodyWhenItIsText) {
  auto error = OIDErrorUtilities::HTTPErrorWithHTTPResponse(404, std::string("Not here"));
  EXPECT_TRUE(error.is(OIDHTTPErrorDomain, 404));
  EXPECT_EQ(error.givenDescription(), "Not here");
  EXPECT_EQ(
      OIDErrorUtilities::HTTPErrorWithHTTPResponse(500, std::string("\xFF\xFE")).givenDescription(),
      std::nullopt);
  EXPECT_EQ(OIDErrorUtilities::HTTPErrorWithHTTPResponse(500, std::nullopt).description(),
            "The operation couldn't be completed. (tarnwick.remote-http error 500.)");
}

TEST(OIDURLQueryComponentTest, ParsesReceivedQueries) {
  OIDURLQueryComponent repeated(URL("flagrig://auth/callback?a=1&a=2&b"));
  EXPECT_EQ(repeated.parameters(), std::vector<std::string>{"a"});
  EXPECT_EQ(repeated.dictionaryValue(), (Value::Dictionary{{"a", Value::Array{"1", "2"}}}));

  OIDURLQueryComponent plus(URL("flagrig://auth/callback?x=a+b&y=%2B&z=c%3Dd&e="));
  EXPECT_EQ(plus.dictionaryValue(),
            (Value::Dictionary{{"x", "a b"}, {"y", "+"}, {"z", "c=d"}, {"e", ""}}));

  EXPECT_TRUE(OIDURLQueryComponent(URL("flagrig://auth/callback")).dictionaryValue().empty());
}

TEST(OIDURLQueryComponentTest, EncodesNamesAndValuesSoTheySurvive) {
  const std::pair<std::string, std::string> cases[] = {
      {"a+b", "a%2Bb"},
      {"a b", "a%20b"},
      {"x=y&z", "x%3Dy%26z"},
      {"flagrig://auth/callback?q", "flagrig://auth/callback?q"},
      {"-._~!$'()*,;:@/?", "-._~!$'()*,;:@/?"},
      {"#[]\xC3\xA9%", "%23%5B%5D%C3%A9%25"},
  };
  for (const auto& [value, encoded] : cases) {
    OIDURLQueryComponent query;
    query.addParameter("v", value);
    EXPECT_EQ(query.URLEncodedParameters(), "v=" + encoded) << value;
    // What goes out reads back the same.
    auto url = query.URLByReplacingQueryInURL(URL("https://id.example.test/authorize"));
    EXPECT_EQ(OIDURLQueryComponent(url).dictionaryValue(), (Value::Dictionary{{"v", value}}));
  }
}

TEST(OIDURLQueryComponentTest, ReplacesTheWholeQueryAndKeepsTheRest) {
  OIDURLQueryComponent query;
  query.addParameter("b", "2");
  query.addParameters({{"a", "1"}, {"b", "3"}});
  EXPECT_EQ(
      query.URLByReplacingQueryInURL(URL("https://h.test:8443/p?old=1#frag")).absoluteString(),
      "https://h.test:8443/p?a=1&b=2&b=3#frag");
}

TEST(OIDScopeUtilitiesTest, JoinsAndChecksScopes) {
  EXPECT_EQ(OIDScopeUtilities::scopesWithArray({"openid", "profile"}), "openid profile");
  EXPECT_EQ(OIDScopeUtilities::scopesWithArray({}), "");
  EXPECT_EQ(OIDScopeUtilities::scopesArrayWithString("a b  c"),
            (std::vector<std::string>{"a", "b", "", "c"}));

  const std::pair<std::vector<std::string>, const char*> invalid[] = {
      {{"openid", ""}, "Found illegal empty scope string."},
      {{"open id"}, "Found illegal character in scope string."},
      {{"a\"b"}, "Found illegal character in scope string."},
      {{"a\\b"}, "Found illegal character in scope string."},
      {{"\xC3\xA9"}, "Found illegal character in scope string."},
  };
  for (const auto& [scopes, message] : invalid) {
    try {
      OIDScopeUtilities::scopesWithArray(scopes);
      ADD_FAILURE() << "accepted " << scopes.back();
    } catch (const platform::ProgrammingError& e) {
      EXPECT_STREQ(e.what(), message);
    }
  }
}

class OIDFieldMappingTest : public platform::testing::SimTest {};

// Value equality, with NaN equal to itself.
bool same(const Value& a, const Value& b) {
  if (a.asDouble() && b.asDouble() && std::isnan(*a.asDouble())) return std::isnan(*b.asDouble());
  return a == b;
}

TEST_F(OIDFieldMappingTest, NumbersThatAreNoWholeSecondsStayAsTheyCame) {
  OIDFieldMapping::Map map;
  map.emplace("expires_in", OIDFieldMapping("expiry", Value::Kind::date,
                                            OIDFieldMapping::dateSinceNowConversion()));
  map.emplace("issued_at",
              OIDFieldMapping("issued", Value::Kind::date, OIDFieldMapping::dateEpochConversion()));
  const double now = platform::env().clock->now().secondsSince1970;
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();

  struct Case {
    Value value;
    std::optional<double> sinceNow;  // nothing: the value must be left over unchanged
    std::optional<double> epoch;
  };
  const Case cases[] = {
      {3600, now + 3600, 3600},
      {1.9, now + 1, 1},
      {-1.9, now - 1, -1},
      {std::uint64_t{42}, now + 42, 42},
      {nan, std::nullopt, std::nullopt},
      {inf, std::nullopt, std::nullopt},
      {-inf, std::nullopt, std::nullopt},
      {1e300, std::nullopt, std::nullopt},
      {9223372036854775808.0, std::nullopt, std::nullopt},
      {std::numeric_limits<std::uint64_t>::max(), std::nullopt, std::nullopt},
      {"3600", std::nullopt, std::nullopt},
      {true, std::nullopt, std::nullopt},
  };
  for (const auto& c : cases) {
    std::map<std::string, Value> set;
    auto setter = [&set](const std::string& field, Value value) { set[field] = std::move(value); };
    auto left = OIDFieldMapping::remainingParametersWithMap(
        map, {{"expires_in", c.value}, {"issued_at", c.value}, {"other", 1}}, setter);
    EXPECT_EQ(left.at("other"), Value(1));
    if (c.sinceNow) {
      EXPECT_EQ(set.at("expiry"), Value(platform::Date{*c.sinceNow}));
      EXPECT_EQ(set.at("issued"), Value(platform::Date{*c.epoch}));
      EXPECT_EQ(left.size(), 1u);
    } else {
      EXPECT_TRUE(set.empty());
      EXPECT_TRUE(same(left.at("expires_in"), c.value));
      EXPECT_TRUE(same(left.at("issued_at"), c.value));
    }
  }
}

}  // namespace
}  // namespace tarnwick
