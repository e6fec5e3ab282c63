#include "Platform/Foundation/URL.h"

#include <gtest/gtest.h>

#include <unordered_set>

#include "Platform/Foundation/Error.h"
#include "Platform/Foundation/PercentEncoding.h"

namespace platform {
namespace {

using Opt = std::optional<std::string>;

struct ComponentsCase {
  const char* text;
  Opt scheme, user, password, host;
  std::optional<int> port;
  std::string path;
  Opt query, fragment;
};

TEST(URLTests, ParsesComponentsAndKeepsTheTextAsWritten) {
  const ComponentsCase cases[] = {
      {"https://user:pw@Example.com:8443/a/b%20c?x=1&y#frag", "https", "user", "pw", "Example.com",
       8443, "/a/b%20c", "x=1&y", "frag"},
      {"flagrig://auth/callback?code=abc&state=xyz",
       "flagrig",
       {},
       {},
       "auth",
       {},
       "/callback",
       "code=abc&state=xyz",
       {}},
      {"FLAGRIG://Auth", "FLAGRIG", {}, {}, "Auth", {}, "", {}, {}},
      {"http://[::1]:8080/", "http", {}, {}, "::1", 8080, "/", {}, {}},
      {"http://[v7.fe:80]/", "http", {}, {}, "v7.fe:80", {}, "/", {}, {}},
      {"http://a:/p", "http", {}, {}, "a", {}, "/p", {}, {}},
      {"file:///etc/hosts", "file", {}, {}, "", {}, "/etc/hosts", {}, {}},
      {"mailto:someone@example.com", "mailto", {}, {}, {}, {}, "someone@example.com", {}, {}},
      {"/api/app-sessions/refresh", {}, {}, {}, {}, {}, "/api/app-sessions/refresh", {}, {}},
      {"//host/p", {}, {}, {}, "host", {}, "/p", {}, {}},
      {"?only=query", {}, {}, {}, {}, {}, "", "only=query", {}},
      {"a/b:c", {}, {}, {}, {}, {}, "a/b:c", {}, {}},
      {"http://h?", "http", {}, {}, "h", {}, "", "", {}},
      {"http://h#", "http", {}, {}, "h", {}, "", {}, ""},
      {"http://:pw@h", "http", "", "pw", "h", {}, "", {}, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    auto url = URL::parse(c.text);
    ASSERT_TRUE(url);
    EXPECT_EQ(url->scheme(), c.scheme);
    EXPECT_EQ(url->user(), c.user);
    EXPECT_EQ(url->password(), c.password);
    EXPECT_EQ(url->host(), c.host);
    EXPECT_EQ(url->port(), c.port);
    EXPECT_EQ(url->path(), c.path);
    EXPECT_EQ(url->query(), c.query);
    EXPECT_EQ(url->fragment(), c.fragment);
    EXPECT_EQ(url->absoluteString(), c.text);
  }
}

TEST(URLTests, RejectsTextsOutsideTheGrammar) {
  const char* cases[] = {
      "",
      "http://exa mple.com/",
      "http://example.com/a b",
      " http://example.com",
      "http://example.com/\t",
      "http://example.com/\n",
      "http://x/\x7f",
      "http://example.com/caf\xc3\xa9",
      "http://example.com/%",
      "http://example.com/%4",
      "http://example.com/%zz",
      "http://example.com/a%2",
      "http://[::1/",
      "http://[::1]x/",
      "http://[not-ipv6]/",
      "http://ex[am]ple.com/",
      "http://example.com/[a]",
      "http://example.com/?q=[1]",
      "http://example.com/#a#b",
      "http://a@b@c/",
      "http://host:port/",
      "http://host:65536/",
      "http://host:1:2/",
      "1http://x",
      ":no-scheme",
      "a:b\"c",
      "http://x/{}",
      "http://x/a\\b",
      "http://x/^",
      "http://x/`",
      "http://x/|",
      "http://x/<>",
  };
  for (const char* text : cases) {
    EXPECT_FALSE(URL::parse(text)) << text;
  }
  EXPECT_FALSE(URL::parse(std::string_view("http://x/\0", 10)));
  EXPECT_TRUE(URL::parse("http://host:65535/"));
}

TEST(URLTests, LiteralConstructorRefusesAnInvalidText) {
  EXPECT_EQ(URL("https://example.com/terms").host(), "example.com");
  EXPECT_THROW(URL("https://exa mple.com"), ProgrammingError);
}

// RFC 3986 section 5.4, with its base URI.
TEST(URLTests, ResolvesTheReferenceExamplesOfTheStandard) {
  const URL base("http://a/b/c/d;p?q");
  const std::pair<const char*, const char*> cases[] = {
      // 5.4.1 normal examples
      {"g:h", "g:h"},
      {"g", "http://a/b/c/g"},
      {"./g", "http://a/b/c/g"},
      {"g/", "http://a/b/c/g/"},
      {"/g", "http://a/g"},
      {"//g", "http://g"},
      {"?y", "http://a/b/c/d;p?y"},
      {"g?y", "http://a/b/c/g?y"},
      {"#s", "http://a/b/c/d;p?q#s"},
      {"g#s", "http://a/b/c/g#s"},
      {"g?y#s", "http://a/b/c/g?y#s"},
      {";x", "http://a/b/c/;x"},
      {"g;x", "http://a/b/c/g;x"},
      {"g;x?y#s", "http://a/b/c/g;x?y#s"},
      {"", "http://a/b/c/d;p?q"},
      {".", "http://a/b/c/"},
      {"./", "http://a/b/c/"},
      {"..", "http://a/b/"},
      {"../", "http://a/b/"},
      {"../g", "http://a/b/g"},
      {"../..", "http://a/"},
      {"../../", "http://a/"},
      {"../../g", "http://a/g"},
      // 5.4.2 abnormal examples
      {"../../../g", "http://a/g"},
      {"../../../../g", "http://a/g"},
      {"/./g", "http://a/g"},
      {"/../g", "http://a/g"},
      {"g.", "http://a/b/c/g."},
      {".g", "http://a/b/c/.g"},
      {"g..", "http://a/b/c/g.."},
      {"..g", "http://a/b/c/..g"},
      {"./../g", "http://a/b/g"},
      {"./g/.", "http://a/b/c/g/"},
      {"g/./h", "http://a/b/c/g/h"},
      {"g/../h", "http://a/b/c/h"},
      {"g;x=1/./y", "http://a/b/c/g;x=1/y"},
      {"g;x=1/../y", "http://a/b/c/y"},
      {"g?y/./x", "http://a/b/c/g?y/./x"},
      {"g?y/../x", "http://a/b/c/g?y/../x"},
      {"g#s/./x", "http://a/b/c/g#s/./x"},
      {"g#s/../x", "http://a/b/c/g#s/../x"},
      {"http:g", "http:g"},
  };
  for (const auto& [reference, expected] : cases) {
    SCOPED_TRACE(reference);
    if (*reference == '\0') {
      // The empty reference is not a URL of its own; resolve the parsed empty value.
      EXPECT_EQ(base.resolving(URL()).absoluteString(), expected);
      continue;
    }
    auto resolved = URL::parse(reference, base);
    ASSERT_TRUE(resolved);
    EXPECT_EQ(resolved->absoluteString(), expected);
  }
}

TEST(URLTests, ResolvesAnAbsolutePathAgainstAServiceBase) {
  const URL identity("https://id.example.com/base/v1/");
  EXPECT_EQ(URL::parse("/api/app-data-token", identity)->absoluteString(),
            "https://id.example.com/api/app-data-token");
  EXPECT_EQ(URL::parse("api/x", identity)->absoluteString(),
            "https://id.example.com/base/v1/api/x");
  EXPECT_EQ(URL::parse("x", URL("https://h"))->absoluteString(), "https://h/x");
  EXPECT_FALSE(URL::parse("/api/bad path", identity));
}

TEST(URLTests, StandardizesDotSegments) {
  const std::pair<const char*, const char*> cases[] = {
      {"flagrig://auth/./callback/../callback", "flagrig://auth/callback"},
      {"https://h/a/b/../../../c", "https://h/c"},
      {"https://h/a/./b/.", "https://h/a/b/"},
      {"https://h/a?x=/../#/./", "https://h/a?x=/../#/./"},
      {"a/./b/../c", "a/c"},
      {"../a/../../b", "../../b"},
      {"a/..", ""},
  };
  for (const auto& [text, expected] : cases) {
    EXPECT_EQ(URL(text).standardized().absoluteString(), expected) << text;
  }
}

TEST(URLTests, AppendsAPathComponentWithExactlyOneSlash) {
  const std::pair<const char*, const char*> cases[] = {
      {"https://issuer.example.com", "https://issuer.example.com/.well-known/openid-configuration"},
      {"https://issuer.example.com/",
       "https://issuer.example.com/.well-known/openid-configuration"},
      {"https://h/tenant", "https://h/tenant/.well-known/openid-configuration"},
      {"https://h/tenant/", "https://h/tenant/.well-known/openid-configuration"},
  };
  for (const auto& [base, expected] : cases) {
    EXPECT_EQ(URL(base).appendingPathComponent(".well-known/openid-configuration").absoluteString(),
              expected)
        << base;
  }
  EXPECT_EQ(URL("https://h/api?x=1").appendingPathComponent("/geo").absoluteString(),
            "https://h/api/geo?x=1");
  EXPECT_EQ(URL("https://h").appendingPathComponent("a b?#%").absoluteString(),
            "https://h/a%20b%3F%23%25");
}

TEST(URLTests, ReadsQueryItemsInOrderWithRepeatsAndDecodedValues) {
  URL url("flagrig://auth/callback?code=a%2Fb&state=1&state=2&flag&&empty=&plus=a+b");
  std::vector<URL::QueryItem> expected = {
      {"code", "a/b"}, {"state", "1"}, {"state", "2"}, {"flag", {}}, {"empty", ""}, {"plus", "a+b"},
  };
  EXPECT_EQ(url.queryItems(), expected);
  EXPECT_TRUE(URL("https://h/").queryItems().empty());
}

TEST(URLTests, ReplacesTheQueryAndKeepsTheRest) {
  URL endpoint("https://h/authorize?old=1#top");
  auto replaced = endpoint.withQueryItems({{"redirect_uri", "flagrig://auth/callback"},
                                           {"scope", "openid profile"},
                                           {"odd", "a+b=c&d"},
                                           {"bare", {}}});
  EXPECT_EQ(replaced.absoluteString(),
            "https://h/authorize?redirect_uri=flagrig://auth/callback&scope=openid%20profile"
            "&odd=a%2Bb%3Dc%26d&bare#top");
  EXPECT_EQ(replaced.queryItems()[2].value, "a+b=c&d");
  EXPECT_EQ(endpoint.withQueryItems({}).absoluteString(), "https://h/authorize#top");

  auto stripped = URL("https://h/p?x=1#f")
                      .withPercentEncodedQuery(std::nullopt)
                      .withPercentEncodedFragment(std::nullopt);
  EXPECT_EQ(stripped.absoluteString(), "https://h/p");
  EXPECT_EQ(endpoint.withPercentEncodedQuery("a=%20").absoluteString(),
            "https://h/authorize?a=%20#top");
  EXPECT_THROW(endpoint.withPercentEncodedQuery("a b"), ProgrammingError);
  EXPECT_THROW(endpoint.withPercentEncodedQuery("a=%2"), ProgrammingError);
  EXPECT_THROW(endpoint.withPercentEncodedFragment("a#b"), ProgrammingError);
}

TEST(URLTests, EqualityAndHashingFollowTheText) {
  EXPECT_EQ(URL("https://h/a"), *URL::parse("/a", URL("https://h/b")));
  EXPECT_NE(URL("https://h/a"), URL("https://H/a"));
  std::unordered_set<URL> set{URL("https://h/a"), URL("https://h/a"), URL("https://h/b")};
  EXPECT_EQ(set.size(), 2u);
}

TEST(PercentEncodingTests, EncodesWithTheGivenSetAndDecodesStrictly) {
  auto queryValue = URLCharacterSet::urlQueryAllowed().removing("&=+");
  EXPECT_EQ(PercentEncoding::encode("a+b", queryValue), "a%2Bb");
  EXPECT_EQ(PercentEncoding::encode("a b", queryValue), "a%20b");
  EXPECT_EQ(PercentEncoding::encode("x=y&z", queryValue), "x%3Dy%26z");
  EXPECT_EQ(PercentEncoding::encode("flagrig://auth/callback?-._~!$'()*,;:@", queryValue),
            "flagrig://auth/callback?-._~!$'()*,;:@");
  EXPECT_EQ(PercentEncoding::encode("\xc3\xa9\x01", URLCharacterSet::unreserved()), "%C3%A9%01");

  EXPECT_EQ(PercentEncoding::decode("a%20b%2bc%C3%A9"), "a b+c\xc3\xa9");
  EXPECT_EQ(PercentEncoding::decode("a+b"), "a+b");
  EXPECT_EQ(PercentEncoding::decode("%00"), std::string(1, '\0'));
  for (const char* bad : {"%", "%2", "%g0", "a%0"}) {
    EXPECT_FALSE(PercentEncoding::decode(bad)) << bad;
  }
}

TEST(PercentEncodingTests, FormEncodesSpacesAsPlus) {
  EXPECT_EQ(PercentEncoding::formURLEncode(""), "");
  EXPECT_EQ(PercentEncoding::formURLEncode("my client*-._~+/&="), "my+client*-._%7E%2B%2F%26%3D");
  EXPECT_EQ(PercentEncoding::formURLEncode("\xc3\xa9 "), "%C3%A9+");
}

}  // namespace
}  // namespace platform
