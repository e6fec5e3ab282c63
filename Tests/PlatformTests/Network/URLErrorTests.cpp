#include "Platform/Network/URLError.h"

#include <gtest/gtest.h>

namespace platform {
namespace {

TEST(URLErrorTests, BridgesAsTheURLLoadingDomainWithItsCode) {
  const std::exception& error = URLError(URLError::cannotConnectToHost);
  EXPECT_EQ(bridgedDomain(error), urlErrorDomain);
  EXPECT_EQ(bridgedCode(error), -1004);
  EXPECT_EQ(bridgedCode(URLError(URLError::cancelled)), -999);
}

}  // namespace
}  // namespace platform
