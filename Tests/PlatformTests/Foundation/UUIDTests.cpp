#include "Platform/Foundation/UUID.h"

#include <gtest/gtest.h>

#include <set>

namespace platform {
namespace {

bool isLowerHexUUIDText(const std::string& text) {
  if (text.size() != 36) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    bool dash = i == 8 || i == 13 || i == 18 || i == 23;
    char c = text[i];
    if (dash ? c != '-' : !((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  }
  return true;
}

TEST(UUIDTests, RandomIdentifiersAreVersion4AndDistinct) {
  std::set<UUID> seen;
  for (int i = 0; i < 100; ++i) {
    auto uuid = UUID::random();
    EXPECT_EQ(uuid.version(), 4);
    EXPECT_TRUE(uuid.hasStandardVariant());
    auto text = uuid.lowercaseString();
    EXPECT_TRUE(isLowerHexUUIDText(text)) << text;
    EXPECT_EQ(text[14], '4');
    EXPECT_NE(std::string("89ab").find(text[19]), std::string::npos) << text;
    seen.insert(uuid);
  }
  EXPECT_EQ(seen.size(), 100u);
}

TEST(UUIDTests, WritesAndReadsBothLetterCases) {
  auto uuid = UUID::parse("0190A5B2-7c3d-7E4f-8a9B-0123456789AB");
  ASSERT_TRUE(uuid);
  EXPECT_EQ(uuid->uuidString(), "0190A5B2-7C3D-7E4F-8A9B-0123456789AB");
  EXPECT_EQ(uuid->lowercaseString(), "0190a5b2-7c3d-7e4f-8a9b-0123456789ab");
  EXPECT_EQ(UUID::parse(uuid->lowercaseString()), uuid);
  EXPECT_EQ(uuid->bytes()[0], 0x01);
  EXPECT_EQ(uuid->bytes()[15], 0xAB);
}

TEST(UUIDTests, RecognisesVersion7TextAndRejectsMalformedText) {
  EXPECT_TRUE(UUID::parse("0190a5b2-7c3d-7e4f-8a9b-0123456789ab")->isVersion7());
  EXPECT_TRUE(UUID::parse("0190a5b2-7c3d-7e4f-b000-0123456789ab")->isVersion7());
  EXPECT_FALSE(UUID::parse("0190a5b2-7c3d-4e4f-8a9b-0123456789ab")->isVersion7());
  EXPECT_FALSE(UUID::parse("0190a5b2-7c3d-7e4f-ca9b-0123456789ab")->isVersion7());
  EXPECT_FALSE(UUID::parse("0190a5b2-7c3d-7e4f-7a9b-0123456789ab")->isVersion7());
  for (const char* bad :
       {"", "0190a5b2-7c3d-7e4f-8a9b-0123456789a", "0190a5b2-7c3d-7e4f-8a9b-0123456789abc",
        "0190a5b27c3d-7e4f-8a9b-0123456789ab0", "0190a5b2-7c3d-7e4f-8a9b_0123456789ab",
        "g190a5b2-7c3d-7e4f-8a9b-0123456789ab", "{190a5b2-7c3d-7e4f-8a9b-0123456789a}"}) {
    EXPECT_FALSE(UUID::parse(bad)) << bad;
  }
}

}  // namespace
}  // namespace platform
