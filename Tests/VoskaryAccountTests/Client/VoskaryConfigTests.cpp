#include "VoskaryAccount/Client/VoskaryConfig.h"

#include <gtest/gtest.h>

#include "VoskaryAccount/Client/VoskaryAccountLibrary.h"

namespace voskary {
namespace {

TEST(VoskaryAccountLibraryTests, VersionLineNamesTheLibraryAndTheHost) {
  EXPECT_EQ(VoskaryAccountLibrary::libVersion, "0.9.2");
  EXPECT_EQ(VoskaryAccountLibrary::versionLine("1.4"), "VoskaryAccount/0.9.2 (1.4)");
  EXPECT_EQ(VoskaryAccountLibrary::versionLine(""), "VoskaryAccount/0.9.2 ()");
}

TEST(RawValueEnumTests, SchemesAndLevelsReadOnlyTheirExactRawValues) {
  for (AuthScheme scheme : allAuthSchemes) EXPECT_EQ(authScheme(rawValue(scheme)), scheme);
  EXPECT_EQ(authScheme("systemBrowser"), AuthScheme::systemBrowser);
  EXPECT_EQ(authScheme("systembrowser"), std::nullopt);
  EXPECT_EQ(authScheme(""), std::nullopt);

  const std::string_view levels[] = {"debug", "info", "warning", "error"};
  for (std::size_t i = 0; i < allVoskaryLogLevels.size(); ++i)
    EXPECT_EQ(rawValue(allVoskaryLogLevels[i]), levels[i]);
  EXPECT_EQ(voskaryLogLevel("warning"), VoskaryLogLevel::warning);
  EXPECT_EQ(voskaryLogLevel("Warning"), std::nullopt);
  EXPECT_EQ(voskaryLogLevel("warn"), std::nullopt);
  EXPECT_LT(VoskaryLogLevel::info, VoskaryLogLevel::warning);
}

}  // namespace
}  // namespace voskary
