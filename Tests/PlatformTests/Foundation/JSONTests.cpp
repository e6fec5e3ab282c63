#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <thread>

#include "Platform/Foundation/DateFormats.h"
#include "Platform/Foundation/JSONDecoder.h"
#include "Platform/Foundation/JSONEncoder.h"

namespace platform {
namespace {

enum class Provider { password, passkey };

struct Policy {
  std::optional<std::string> minVersion;
  std::optional<Date> expires;

  static Policy decode(const JSONReader& json) {
    return {json.decodeIfPresent<std::string>("minVersion"), json.decodeIfPresent<Date>("expires")};
  }
  void encode(JSONWriter& json) const {
    json.encodeIfPresent("minVersion", minVersion);
    json.encodeIfPresent("expires", expires);
  }
};

struct Account {
  std::string id;
  std::string email;
  std::optional<std::vector<Provider>> providers;
  std::optional<Policy> policy;
  std::int64_t count = 0;

  static Account decode(const JSONReader& json) {
    return {json.decode<std::string>("id"), json.decode<std::string>("email"),
            json.decodeIfPresent<std::vector<Provider>>("providers"),
            json.decodeIfPresent<Policy>("policy"), json.decode<std::int64_t>("count")};
  }
  void encode(JSONWriter& json) const {
    json.encode("id", id);
    json.encode("email", email);
    json.encodeIfPresent("providers", providers);
    json.encodeIfPresent("policy", policy);
    json.encode("count", count);
  }
};

}  // namespace

template <>
struct JSONCoding<Provider> {
  static Provider decode(const JSONReader& json) {
    auto raw = json.decode<std::string>();
    if (raw == "password") return Provider::password;
    if (raw == "passkey") return Provider::passkey;
    json.fail("Cannot initialize Provider from invalid String value " + raw);
  }
  static void encode(JSONWriter& json, Provider value) {
    json.encode(std::string(value == Provider::password ? "password" : "passkey"));
  }
};

namespace {

using Kind = DecodingError::Kind;

DecodingError decodingErrorOf(const std::function<void()>& body) {
  try {
    body();
  } catch (const DecodingError& e) {
    return e;
  }
  ADD_FAILURE() << "no DecodingError";
  return DecodingError(Kind::dataCorrupted, {}, "");
}

TEST(JSONTests, DecodesARecordAndIgnoresUnknownKeys) {
  JSONDecoder decoder;
  auto account = decoder.decode<Account>(
      R"({"extra":{"deep":[1,2]},"id":"va_1","email":"a@b.c","providers":["passkey","password"],)"
      R"("policy":{"minVersion":"2.0","expires":"2026-01-31T09:15:02.123Z"},"count":3.0})");
  EXPECT_EQ(account.id, "va_1");
  EXPECT_EQ(account.providers, (std::vector<Provider>{Provider::passkey, Provider::password}));
  ASSERT_TRUE(account.policy);
  EXPECT_EQ(account.policy->minVersion, "2.0");
  EXPECT_DOUBLE_EQ(account.policy->expires->secondsSince1970, 1769850902.123);
  EXPECT_EQ(account.count, 3);
}

TEST(JSONTests, AbsentAndNullOptionalsBothReadAsNothing) {
  JSONDecoder decoder;
  for (const char* text : {R"({"id":"x","email":"e","count":1})",
                           R"({"id":"x","email":"e","providers":null,"policy":null,"count":1})"}) {
    auto account = decoder.decode<Account>(text);
    EXPECT_FALSE(account.providers) << text;
    EXPECT_FALSE(account.policy) << text;
  }
}

TEST(JSONTests, ReportsEachFailureWithItsKindAndPath) {
  struct Case {
    const char* text;
    Kind kind;
    std::string path;
  };
  const Case cases[] = {
      {R"({"email":"e","count":1})", Kind::keyNotFound, "id"},
      {R"({"id":null,"email":"e","count":1})", Kind::valueNotFound, "id"},
      {R"({"id":7,"email":"e","count":1})", Kind::typeMismatch, "id"},
      {R"({"id":"x","email":"e","count":true})", Kind::typeMismatch, "count"},
      {R"({"id":"x","email":"e","count":"1"})", Kind::typeMismatch, "count"},
      {R"({"id":"x","email":"e","count":1.5})", Kind::dataCorrupted, "count"},
      {R"({"id":"x","email":"e","count":1e30})", Kind::dataCorrupted, "count"},
      {R"({"id":"x","email":"e","count":1,"providers":["password","google"]})", Kind::dataCorrupted,
       "providers.Index 1"},
      {R"({"id":"x","email":"e","count":1,"providers":"password"})", Kind::typeMismatch,
       "providers"},
      {R"({"id":"x","email":"e","count":1,"policy":{"expires":12}})", Kind::typeMismatch,
       "policy.expires"},
      {R"({"id":"x","email":"e","count":1,"policy":{"expires":"2026-01-31"}})", Kind::dataCorrupted,
       "policy.expires"},
      {R"({"id":"x","email":"e","count":1,"policy":[]})", Kind::typeMismatch, "policy"},
      {R"(["not an object"])", Kind::typeMismatch, ""},
      {"null", Kind::valueNotFound, ""},
      {R"({"id":"x",)", Kind::dataCorrupted, ""},
      {"", Kind::dataCorrupted, ""},
      {R"({"id":"x","email":"e","count":1e999})", Kind::dataCorrupted, ""},
  };
  JSONDecoder decoder;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    auto error = decodingErrorOf([&] { decoder.decode<Account>(c.text); });
    EXPECT_EQ(error.kind(), c.kind) << error.debugDescription();
    EXPECT_EQ(codingPathText(error.codingPath()), c.path);
  }
}

TEST(JSONTests, ErrorsCarryThePlatformSentencesAndCompareByValue) {
  DecodingError missing(Kind::keyNotFound, {CodingKey::key("vas")}, "No value");
  EXPECT_EQ(missing.description(), "The data couldn\u2019t be read because it is missing.");
  EXPECT_EQ(DecodingError(Kind::typeMismatch, {}, "").description(),
            "The data couldn\u2019t be read because it isn\u2019t in the correct format.");
  EXPECT_EQ(missing, DecodingError(Kind::keyNotFound, {CodingKey::key("vas")}, "No value"));
  EXPECT_NE(missing, DecodingError(Kind::valueNotFound, {CodingKey::key("vas")}, "No value"));
  EXPECT_EQ(CodingKey::index(2), (CodingKey{"Index 2", 2}));
}

TEST(JSONTests, NumbersFitTheirTypeExactlyAndStayApartFromBooleans) {
  JSONDecoder decoder;
  EXPECT_EQ(decoder.decode<int>("2.0"), 2);
  EXPECT_EQ(decoder.decode<std::uint64_t>("18446744073709551615"), 18446744073709551615u);
  EXPECT_EQ(decoder.decode<std::int64_t>("-9223372036854775808"), INT64_MIN);
  EXPECT_EQ(decoder.decode<double>("1"), 1.0);
  EXPECT_TRUE(decoder.decode<bool>("true"));
  const std::pair<std::function<void()>, Kind> failures[] = {
      {[&] { decoder.decode<std::uint8_t>("300"); }, Kind::dataCorrupted},
      {[&] { decoder.decode<unsigned>("-1"); }, Kind::dataCorrupted},
      {[&] { decoder.decode<std::int64_t>("9223372036854775808"); }, Kind::dataCorrupted},
      {[&] { decoder.decode<int>("true"); }, Kind::typeMismatch},
      {[&] { decoder.decode<double>("false"); }, Kind::typeMismatch},
      {[&] { decoder.decode<bool>("1"); }, Kind::typeMismatch},
  };
  for (const auto& [body, kind] : failures) EXPECT_EQ(decodingErrorOf(body).kind(), kind);
}

TEST(JSONTests, EncodesInWriteOrderAndLeavesAbsentOptionalsOut) {
  JSONEncoder encoder;
  Account bare{"va_1", "a@b.c", std::nullopt, std::nullopt, 2};
  EXPECT_EQ(encoder.encode(bare), R"({"id":"va_1","email":"a@b.c","count":2})");

  Account full{"va_1", "a@b.c", std::vector<Provider>{}, Policy{}, 2};
  EXPECT_EQ(encoder.encode(full),
            R"({"id":"va_1","email":"a@b.c","providers":[],"policy":{},"count":2})");

  full.providers = {Provider::passkey};
  full.policy = Policy{"1.0", Date{1769850902.123}};
  auto text = encoder.encode(full);
  EXPECT_EQ(text,
            R"({"id":"va_1","email":"a@b.c","providers":["passkey"],)"
            R"("policy":{"minVersion":"1.0","expires":"2026-01-31T09:15:02.123Z"},"count":2})");
  // What is written reads back the same.
  auto back = JSONDecoder().decode<Account>(text);
  EXPECT_EQ(back.providers, full.providers);
  EXPECT_EQ(back.policy->expires, full.policy->expires);
}

TEST(JSONTests, SortsKeysAndEscapesSlashesOnlyWhenAsked) {
  JSON document = {{"typ", "dpop+jwt"}, {"jwk", {{"y", "b"}, {"x", "a/b"}}}, {"alg", "ES256"}};
  EXPECT_EQ(JSONEncoder().encode(document),
            R"({"typ":"dpop+jwt","jwk":{"y":"b","x":"a\/b"},"alg":"ES256"})");
  JSONEncoder jose({.sortedKeys = true, .withoutEscapingSlashes = true});
  EXPECT_EQ(jose.encode(document), R"({"alg":"ES256","jwk":{"x":"a/b","y":"b"},"typ":"dpop+jwt"})");
  // Escaped slashes still read as slashes.
  EXPECT_EQ(JSONSerialization::parse(JSONEncoder().encode(document))["jwk"]["x"], "a/b");
}

TEST(JSONTests, DateRuleCanBeReplaced) {
  JSONDecoder strict({.dateDecoding = [](const JSONReader& json) {
    auto text = json.decode<std::string>();
    if (auto date = DateFormats::parseISO8601(text, DateFormats::FractionalSeconds::included)) {
      return *date;
    }
    json.fail("Bad ISO 8601 date: " + text);
  }});
  auto error = decodingErrorOf(
      [&] { strict.decode<std::vector<Date>>(R"(["2026-01-31T09:15:02.5Z", ""])"); });
  EXPECT_EQ(error,
            DecodingError(Kind::dataCorrupted, {CodingKey::index(1)}, "Bad ISO 8601 date: "));

  JSONEncoder seconds({.dateEncoding = [](JSONWriter& json, Date date) {
    json.encode(DateFormats::unixSeconds(date));
  }});
  EXPECT_EQ(seconds.encode(std::map<std::string, Date>{{"iat", Date{12.7}}}), R"({"iat":12})");
}

TEST(JSONTests, HostileDocumentsGiveErrorsOrRepairedText) {
  std::string deep(10000, '[');
  deep += std::string(10000, ']');
  EXPECT_EQ(decodingErrorOf([&] { JSONDecoder().decode<JSON>(deep); }).kind(), Kind::dataCorrupted);
  std::string deepObject;
  for (int i = 0; i < 10000; ++i) deepObject += R"({"a":)";
  deepObject += "1" + std::string(10000, '}');
  EXPECT_THROW(JSONSerialization::parse(deepObject), DecodingError);
  std::string atLimit(JSONSerialization::maxDepth, '[');
  atLimit += std::string(JSONSerialization::maxDepth, ']');
  EXPECT_NO_THROW(JSONSerialization::parse(atLimit));
  // Brackets inside strings do not count.
  EXPECT_NO_THROW(JSONSerialization::parse("\"" + std::string(10000, '[') + "\""));

  EXPECT_EQ(decodingErrorOf([] { JSONDecoder().decode<std::string>("\"a\xff\""); }).kind(),
            Kind::dataCorrupted);
  EXPECT_EQ(JSONEncoder().encode(std::string("a\xff"
                                             "b\xc3")),
            "\"a\xef\xbf\xbd"
            "b\xef\xbf\xbd\"");
  EXPECT_EQ(JSONEncoder().encode(std::string("caf\xc3\xa9\n")), "\"caf\xc3\xa9\\n\"");

  try {
    JSONEncoder().encode(std::map<std::string, double>{{"x", NAN}});
    ADD_FAILURE() << "NaN was written";
  } catch (const EncodingError& e) {
    EXPECT_EQ(codingPathText(e.codingPath()), "x");
  }
}

TEST(JSONTests, OneDecoderServesManyThreads) {
  const JSONDecoder decoder;
  std::vector<std::thread> threads;
  std::atomic<int> decoded{0};
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 200; ++i) {
        auto account = decoder.decode<Account>(
            R"({"id":"x","email":"e","count":5,"policy":{"expires":"2026-01-31T09:15:02Z"}})");
        if (account.count == 5 && account.policy->expires) ++decoded;
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(decoded.load(), 800);
}

}  // namespace
}  // namespace platform
