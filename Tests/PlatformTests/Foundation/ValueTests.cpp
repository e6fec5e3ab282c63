#include "Platform/Foundation/Value.h"

#include <gtest/gtest.h>

#include <cmath>

namespace platform {
namespace {

TEST(ValueTest, StrictReadersTellIntegersUnsignedAndBoolsApart) {
  Value i = 5, u = 5u, b = true, d = 5.0;
  EXPECT_EQ(i.asInt(), 5);
  EXPECT_FALSE(i.asUInt());
  EXPECT_FALSE(i.asBool());
  EXPECT_EQ(u.asUInt(), 5u);
  EXPECT_FALSE(u.asInt());
  EXPECT_EQ(b.asBool(), true);
  EXPECT_FALSE(b.asInt());
  EXPECT_FALSE(d.asInt());
  EXPECT_NE(i, u);
  EXPECT_FALSE(b.isNumber());
}

TEST(ValueTest, ExactlyConvertsOnlyWithoutLoss) {
  struct Case {
    Value value;
    std::optional<std::uint32_t> asU32;
    std::optional<std::int32_t> asI32;
  };
  const Case cases[] = {
      {Value(7), 7u, 7},
      {Value(-1), std::nullopt, -1},
      {Value(4294967295u), 4294967295u, std::nullopt},
      {Value(4294967296LL), std::nullopt, std::nullopt},
      {Value(3.0), 3u, 3},
      {Value(3.5), std::nullopt, std::nullopt},
      {Value(std::nan("")), std::nullopt, std::nullopt},
      {Value(INFINITY), std::nullopt, std::nullopt},
      {Value(true), std::nullopt, std::nullopt},
      {Value("7"), std::nullopt, std::nullopt},
      {Value(18446744073709551615ull), std::nullopt, std::nullopt},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.value.exactly<std::uint32_t>(), c.asU32) << static_cast<int>(c.value.kind());
    EXPECT_EQ(c.value.exactly<std::int32_t>(), c.asI32) << static_cast<int>(c.value.kind());
  }
  EXPECT_EQ(Value(2).exactly<double>(), 2.0);
}

TEST(ValueTest, DictionaryLookupAndNesting) {
  Value entry(Value::Dictionary{{"kCGWindowNumber", 42u},
                                {"kCGWindowBounds", Value::Dictionary{{"X", 1.5}, {"Y", 2.0}}}});
  ASSERT_TRUE(entry.find("kCGWindowNumber"));
  EXPECT_EQ(entry.find("kCGWindowNumber")->asUInt(), 42u);
  EXPECT_EQ(entry.find("kCGWindowBounds")->find("X")->asDouble(), 1.5);
  EXPECT_EQ(entry.find("missing"), nullptr);
  EXPECT_EQ(Value(3).find("x"), nullptr);
}

}  // namespace
}  // namespace platform
