#include "Platform/Foundation/Error.h"

#include <gtest/gtest.h>

#include "Platform/Network/URLError.h"

namespace platform {
namespace {

struct NumberedError : Error {
  std::string description() const override { return "numbered"; }
  std::string bridgedDomain() const override { return "test.numbered"; }
  std::int64_t bridgedCode() const override { return -42; }
};

struct PlainError : Error {
  std::string description() const override { return "plain"; }
};

TEST(ErrorBridgingTests, BridgedDomainAndCodeOfAnyException) {
  EXPECT_EQ(bridgedDomain(NumberedError()), "test.numbered");
  EXPECT_EQ(bridgedCode(NumberedError()), -42);
  EXPECT_EQ(bridgedDomain(PlainError()), "platform::(anonymous namespace)::PlainError");
  EXPECT_EQ(bridgedCode(PlainError()), 1);
  EXPECT_EQ(bridgedDomain(std::runtime_error("x")), "std::runtime_error");
  EXPECT_EQ(bridgedCode(std::runtime_error("x")), 1);
  EXPECT_EQ(bridgedDomain(URLError(URLError::cancelled)), "NSURLErrorDomain");
  EXPECT_EQ(bridgedCode(URLError(URLError::cancelled)), -999);
}

}  // namespace
}  // namespace platform
