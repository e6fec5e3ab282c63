#include "VoskaryAccount/Client/VoskaryDeprecationParser.h"

#include <gtest/gtest.h>

#include "VoskaryAccount/Client/Semver.h"

namespace voskary {
namespace {

using Notice = VoskaryDeprecationNotice;
using platform::Date;
using platform::URL;

constexpr double kJune30th2026 = 1782777600;  // 2026-06-30T00:00:00Z

TEST(VoskaryDeprecationParserTests, HeaderValues) {
  struct Case {
    std::string_view header;
    std::vector<Notice> notices;
  };
  const Case cases[] = {
      {"client; min-version=2.1.0; current=2.3.0; reason=security",
       {Notice::client("2.1.0", "2.3.0", "security")}},
      {"Client;MIN-VERSION=1.0", {Notice::client("1.0", std::nullopt, std::nullopt)}},
      {"endpoint; replacement=/api/app-sessions/refresh; expires=2026-06-30, client; min-version=3",
       {Notice::endpoint(URL("/api/app-sessions/refresh"), Date{kJune30th2026}, std::nullopt),
        Notice::client("3", std::nullopt, std::nullopt)}},
      {"endpoint", {Notice::endpoint(std::nullopt, std::nullopt, std::nullopt)}},
      {"client; current=2.0", {}},
      {"beta; min-version=1", {}},
      {"", {}},
      {",,,", {}},
      {" , ;; ,\t", {}},
      {"client; min-version=\"2.0\"", {Notice::client("\"2.0\"", std::nullopt, std::nullopt)}},
      {"client; min-version=1; min-version=2", {Notice::client("2", std::nullopt, std::nullopt)}},
      {"client; min-version", {}},
      {"client; min-version=", {}},
      {"client; =2", {}},
      {"client; min-version==2", {Notice::client("=2", std::nullopt, std::nullopt)}},
      {"client; ==min-version = a=b ", {Notice::client("a=b", std::nullopt, std::nullopt)}},
      {"endpoint; reason=a, b", {Notice::endpoint(std::nullopt, std::nullopt, "a")}},
      {"endpoint; expires=30/06/2026",
       {Notice::endpoint(std::nullopt, std::nullopt, std::nullopt)}},
      {"endpoint; expires=2026-06-30T02:00:00+02:00",
       {Notice::endpoint(std::nullopt, Date{kJune30th2026}, std::nullopt)}},
      // The date-time form carries no fraction; the platform's URL parser refuses a space.
      {"endpoint; expires=2026-06-30T00:00:00.000Z; replacement=/a b",
       {Notice::endpoint(std::nullopt, std::nullopt, std::nullopt)}},
      {"endpoint; replacement=https://id.example/v2?x=1; Reason=Moved",
       {Notice::endpoint(URL("https://id.example/v2?x=1"), std::nullopt, "Moved")}},
      // Tabs and Unicode spaces are trimmed; line breaks are not.
      {"\t\u00A0client ;\u3000min-version = 4\u2009",
       {Notice::client("4", std::nullopt, std::nullopt)}},
      {"client; min-version=4\n", {Notice::client("4\n", std::nullopt, std::nullopt)}},
      {"\nclient; min-version=4", {}},
      {"client; min-version=1, client; min-version=2, endpoint",
       {Notice::client("1", std::nullopt, std::nullopt),
        Notice::client("2", std::nullopt, std::nullopt),
        Notice::endpoint(std::nullopt, std::nullopt, std::nullopt)}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(VoskaryDeprecationParser::parse(c.header), c.notices) << c.header;
  }
}

TEST(VoskaryDeprecationParserTests, ResponsesCarryTheHeaderUnderAnyCase) {
  auto response = [](platform::HTTPHeaderFields fields) {
    return platform::HTTPURLResponse(URL("https://id.example/api/x"), 200, "HTTP/1.1",
                                     std::move(fields));
  };
  EXPECT_TRUE(voskaryDeprecationNotices(response({{"Content-Type", "application/json"}})).empty());
  EXPECT_EQ(voskaryDeprecationNotices(response({{"voskary-DEPRECATION", "client; min-version=2"}})),
            std::vector{Notice::client("2", std::nullopt, std::nullopt)});
}

TEST(SemverTests, Comparisons) {
  struct Case {
    std::string_view a;
    std::string_view b;
    int result;
  };
  const Case cases[] = {
      {"1.2", "1.2.0", 0},
      {"1.10", "1.9", 1},
      {"2.0", "10.0", -1},
      {"1.2.3-beta", "1.2.3", -1},
      {"1.2.0-beta", "1.2", 0},
      {"ver2", "1", -1},
      {"", "0.0.0", 0},
      {"1..2", "1.2", 0},
      {"1.-1", "1", -1},
      {"+2", "2", 0},
      {"2. 1", "2.0", 0},
      {"9223372036854775807", "9223372036854775806", 1},
      {"9223372036854775808", "0", 0},  // too large: counts as 0
      {"-9223372036854775808", "0", -1},
      {"1.+", "1.0", 0},
      {"1.+-1", "1.0", 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Semver::compare(c.a, c.b), c.result) << c.a << " vs " << c.b;
    EXPECT_EQ(Semver::compare(c.b, c.a), -c.result) << c.b << " vs " << c.a;
  }
}

}  // namespace
}  // namespace voskary
