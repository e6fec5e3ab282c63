#include "Platform/Security/SecureRandom.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

#include "Support/NoCoreDumps.h"

namespace platform {
namespace {

TEST(SecureRandomTests, DeliversTheRequestedNumberOfFreshBytes) {
  EXPECT_TRUE(SecureRandom::bytes(0).empty());
  auto a = SecureRandom::bytes(32);
  auto b = SecureRandom::bytes(32);
  EXPECT_EQ(a.size(), 32u);
  EXPECT_NE(a, b);
  EXPECT_EQ(SecureRandom::bytes(100000).size(), 100000u);
}

int calls = 0;
// Delivers three bytes at a time and is interrupted every other call.
ssize_t trickle(void* buffer, std::size_t length, unsigned int) {
  if (++calls % 2 == 0) {
    errno = EINTR;
    return -1;
  }
  std::size_t n = length < 3 ? length : 3;
  std::memset(buffer, 0x5A, n);
  return static_cast<ssize_t>(n);
}

ssize_t broken(void*, std::size_t, unsigned int) {
  errno = ENOSYS;
  return -1;
}

TEST(SecureRandomTests, KeepsReadingAfterShortReadsAndInterruptions) {
  Bytes buffer(10, 0);
  detail::fillFromRandomSource(buffer, &trickle);
  EXPECT_EQ(buffer, Bytes(10, 0x5A));
}

TEST(SecureRandomDeathTest, AFailingSourceEndsTheProcess) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const testing::NoCoreDumps noCoreDumps;
  Bytes buffer(16, 0);
  EXPECT_DEATH(detail::fillFromRandomSource(buffer, &broken), "secure random source failed");
}

}  // namespace
}  // namespace platform
