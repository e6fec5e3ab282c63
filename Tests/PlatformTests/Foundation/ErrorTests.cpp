#include "Platform/Foundation/Error.h"

#include <gtest/gtest.h>

namespace platform {
namespace {

struct NumberedError : Error {
  std::string description() const override { return "numbered"; }
  std::string domain() const override { return "test.numbered"; }
  std::int64_t code() const override { return -42; }
};

struct PlainError : Error {
  std::string description() const override { return "plain"; }
};

TEST(ErrorBridgingTests, DomainAndCodeOfAnyException) {
  EXPECT_EQ(errorDomain(NumberedError()), "test.numbered");
  EXPECT_EQ(errorCode(NumberedError()), -42);
  EXPECT_EQ(errorDomain(PlainError()), "platform::(anonymous namespace)::PlainError");
  EXPECT_EQ(errorCode(PlainError()), 1);
  EXPECT_EQ(errorDomain(std::runtime_error("x")), "std::runtime_error");
  EXPECT_EQ(errorCode(std::runtime_error("x")), 1);
}

}  // namespace
}  // namespace platform
