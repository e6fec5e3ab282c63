#include "VoskaryAccount/Client/TokenRefresher.h"

#include <gtest/gtest.h>

#include "AccountServiceFixture.h"

namespace voskary {
namespace {

using platform::sim::SimHTTPAnswer;
using testing::FakeAccountService;

// One caller of the refresher, run as a task of its own.
struct Caller {
  std::optional<VasResponse> answer;
  std::optional<VoskaryError> error;
  bool done = false;
};
platform::Task<void> callRefresh(platform::Task<VasResponse> task, std::shared_ptr<Caller> out) {
  try {
    out->answer = co_await std::move(task);
  } catch (const VoskaryError& error) {
    out->error = error;
  }
  out->done = true;
}

class TokenRefresherTests : public testing::AccountServiceFixture {
 protected:
  void SetUp() override {
    AccountServiceFixture::SetUp();
    service->setHolding(FakeAccountService::refreshPath, true);
  }

  std::shared_ptr<Caller> start(const std::string& refreshToken) {
    auto caller = std::make_shared<Caller>();
    platform::spawn(callRefresh(client->refreshSerialized(refreshToken), caller));
    runUntilIdle();
    return caller;
  }
  // Lets every held refresh answer go, one after another, until nothing is held.
  void releaseAll() {
    while (sim().http->releaseHeld()) runUntilIdle();
  }
  int refreshes() { return service->requestCount(FakeAccountService::refreshPath); }
};

TEST_F(TokenRefresherTests, ConcurrentCallersOfOneTokenShareOneRefresh) {
  auto session = storeSession();
  auto first = start(session.refreshToken);
  auto second = start(session.refreshToken);
  EXPECT_EQ(refreshes(), 1);
  EXPECT_FALSE(first->done);
  EXPECT_FALSE(second->done);

  releaseAll();
  ASSERT_TRUE(first->answer && second->answer);
  EXPECT_EQ(*first->answer, *second->answer);
  EXPECT_TRUE(service->isLive(first->answer->vas));
  ASSERT_EQ(rotations->count(), 1u);
  EXPECT_EQ(rotations->all[0].first, session.refreshToken);
  EXPECT_EQ(rotations->all[0].second, *first->answer);

  // The token is spent: a later caller gets the remembered answer without a request.
  auto third = start(session.refreshToken);
  ASSERT_TRUE(third->answer);
  EXPECT_EQ(*third->answer, *first->answer);
  EXPECT_EQ(refreshes(), 1);
  EXPECT_EQ(rotations->count(), 1u);
}

TEST_F(TokenRefresherTests, EachTokenKeepsItsOwnAnswer) {
  auto mine = service->issueSession("va_mine", "mine@voskary.test");
  auto theirs = service->issueSession("va_theirs", "theirs@voskary.test");

  // Two tokens at once: one refresh at a time, and neither caller is handed the other's session.
  auto a = start(mine.refreshToken);
  auto b = start(theirs.refreshToken);
  EXPECT_EQ(refreshes(), 1);
  ASSERT_TRUE(sim().http->releaseHeld());
  runUntilIdle();
  ASSERT_TRUE(a->answer);
  EXPECT_FALSE(b->done);
  EXPECT_EQ(refreshes(), 2);
  releaseAll();
  ASSERT_TRUE(b->answer);
  EXPECT_EQ(a->answer->voskaryAccountId.raw, "va_mine");
  EXPECT_EQ(b->answer->voskaryAccountId.raw, "va_theirs");

  // A spent token, after another token's newer refresh, still gets the answer it produced.
  auto late = start(mine.refreshToken);
  ASSERT_TRUE(late->answer);
  EXPECT_EQ(*late->answer, *a->answer);
  EXPECT_EQ(refreshes(), 2);
}

TEST_F(TokenRefresherTests, AFailedRefreshFailsEveryCallerAndSpendsNothing) {
  auto session = storeSession();
  service->queueAnswer(FakeAccountService::refreshPath, SimHTTPAnswer::status(401));
  auto first = start(session.refreshToken);
  auto second = start(session.refreshToken);
  releaseAll();
  EXPECT_EQ(first->error, VoskaryError::sessionExpired());
  EXPECT_EQ(second->error, VoskaryError::sessionExpired());
  EXPECT_EQ(refreshes(), 1);
  EXPECT_EQ(rotations->count(), 0u);

  auto retry = start(session.refreshToken);
  releaseAll();
  EXPECT_TRUE(retry->answer);
  EXPECT_EQ(refreshes(), 2);
}

TEST_F(TokenRefresherTests, NothingIsSharedAcrossASignOut) {
  auto session = storeSession();
  auto before = start(session.refreshToken);

  // Signed out while the refresh runs: a new caller does not join it...
  client->forgetRefreshes();
  auto after = start(session.refreshToken);
  EXPECT_EQ(refreshes(), 2);
  releaseAll();
  // ...the refresh that was running still answers its own caller, the spent token is refused...
  ASSERT_TRUE(before->answer);
  EXPECT_EQ(after->error, VoskaryError::serverError(400, "invalid_grant"));
  // ...and its answer is not remembered for anyone who comes later.
  auto later = start(session.refreshToken);
  releaseAll();
  EXPECT_EQ(later->error, VoskaryError::serverError(400, "invalid_grant"));
  EXPECT_EQ(refreshes(), 3);
}

TEST_F(TokenRefresherTests, ARefreshWhoseClientIsGoneFailsWithoutARequest) {
  auto session = storeSession();
  auto task = client->refreshSerialized(session.refreshToken);
  client.reset();
  auto caller = std::make_shared<Caller>();
  platform::spawn(callRefresh(std::move(task), caller));
  runUntilIdle();
  ASSERT_TRUE(caller->done);
  EXPECT_EQ(caller->error, VoskaryError::networkUnavailable());
  EXPECT_EQ(refreshes(), 0);
}

platform::Task<void> fetchToken(platform::Task<std::string> task,
                                std::shared_ptr<std::optional<std::string>> out) {
  *out = co_await std::move(task);
}

TEST_F(TokenRefresherTests, RejectedRequestsOfTwoCallersShareOneRepair) {
  auto session = storeSession();
  service->queueAnswer(FakeAccountService::appDataTokenPath, SimHTTPAnswer::status(401));
  service->queueAnswer(FakeAccountService::appDataTokenPath, SimHTTPAnswer::status(401));
  service->setHolding(FakeAccountService::appDataTokenPath, true);
  auto first = std::make_shared<std::optional<std::string>>();
  auto second = std::make_shared<std::optional<std::string>>();
  platform::spawn(fetchToken(client->getAppDataToken(session.vas), first));
  platform::spawn(fetchToken(client->getAppDataToken(session.vas), second));
  runUntilIdle();
  service->setHolding(FakeAccountService::appDataTokenPath, false);

  // The first 401 starts the refresh; the second arrives while it runs and joins it.
  releaseAll();
  ASSERT_TRUE(*first && *second);
  EXPECT_EQ(refreshes(), 1);
  EXPECT_EQ(**first, "adt_" + storedSession()->vas);
  EXPECT_EQ(**second, **first);
}

}  // namespace
}  // namespace voskary
