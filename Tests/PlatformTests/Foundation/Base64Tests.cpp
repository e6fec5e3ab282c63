#include "Platform/Foundation/Base64.h"

#include <gtest/gtest.h>

namespace platform {
namespace {

Bytes bytesOf(std::string_view text) {
  return Bytes(text.begin(), text.end());
}

// RFC 4648 section 10.
TEST(Base64Tests, EncodesAndDecodesThePublishedVectors) {
  const std::pair<const char*, const char*> vectors[] = {
      {"", ""},
      {"f", "Zg=="},
      {"fo", "Zm8="},
      {"foo", "Zm9v"},
      {"foob", "Zm9vYg=="},
      {"fooba", "Zm9vYmE="},
      {"foobar", "Zm9vYmFy"},
  };
  for (const auto& [plain, encoded] : vectors) {
    SCOPED_TRACE(plain);
    EXPECT_EQ(Base64::encode(std::string_view(plain)), encoded);
    EXPECT_EQ(Base64::decode(encoded), bytesOf(plain));
    std::string url = encoded;
    while (!url.empty() && url.back() == '=') url.pop_back();
    EXPECT_EQ(Base64::urlEncode(std::string_view(plain)), url);
    EXPECT_EQ(Base64::urlDecode(url), bytesOf(plain));
  }
}

TEST(Base64Tests, UsesTheURLSafeAlphabetOnlyForBase64URL) {
  const Bytes bytes = {0xFB, 0xFF, 0xBF, 0xFE};
  EXPECT_EQ(Base64::encode(bytes), "+/+//g==");
  EXPECT_EQ(Base64::urlEncode(bytes), "-_-__g");
  EXPECT_EQ(Base64::urlDecode("-_-__g"), bytes);
  // Standard text reads the same through the base64url decoder.
  EXPECT_EQ(Base64::urlDecode("+/+//g=="), bytes);
  EXPECT_FALSE(Base64::decode("-_-__g=="));
  Bytes sixteen(16, 0xA5);
  EXPECT_EQ(Base64::urlEncode(sixteen).size(), 22u);
  EXPECT_EQ(Base64::urlDecode(Base64::urlEncode(sixteen)), sixteen);
}

TEST(Base64Tests, DecodersRejectAnythingButCanonicalText) {
  for (const char* bad : {"Zg", "Zg=", "Zm9", "Z===", "====", "Zg==Zg==", "Zm 9v", "Zm9v\n",
                          "Zh==", "Zm9=", "Zm9v!A==", "\xc3\xa9\xc3\xa9"}) {
    EXPECT_FALSE(Base64::decode(bad)) << bad;
  }
  for (const char* bad : {"abcde", "Zh", "Zm9", "Zm 9v", "Zg===", "a", "Zm9v.A"}) {
    EXPECT_FALSE(Base64::urlDecode(bad)) << bad;
  }
  EXPECT_EQ(Base64::urlDecode(""), Bytes());
}

}  // namespace
}  // namespace platform
