#include "VoskaryAccount/Client/IdentityThrottle.h"

#include <gtest/gtest.h>

#include <clocale>
#include <deque>
#include <string>
#include <vector>

#include "LogRecorder.h"
#include "Platform/Foundation/DateFormats.h"
#include "Platform/Network/URLError.h"
#include "Support/SimTest.h"

namespace voskary {
namespace {

using platform::URLError;
using SendResult = IdentityThrottle::SendResult;

const platform::URL kURL("https://id.voskary.test/api/app-data-token");

// One scripted answer of the far end.
struct Step {
  int status = 200;
  platform::HTTPHeaderFields headers;
  std::optional<URLError::Code> failure;
  // Waits until the calling task is cancelled, then fails as a stopped transfer does.
  bool hang = false;
};

Step status(int code, platform::HTTPHeaderFields headers = {}) {
  return {code, std::move(headers)};
}
Step transportFailure() {
  return {0, {}, URLError::networkConnectionLost};
}

// Answers in order; the last step keeps answering.
struct Transfers {
  std::deque<Step> steps;
  int calls = 0;
  std::vector<platform::Continuation<void>> parked;
};

platform::Task<SendResult> answer(std::shared_ptr<Transfers> transfers) {
  ++transfers->calls;
  Step step = transfers->steps.front();
  if (transfers->steps.size() > 1) transfers->steps.pop_front();
  if (step.hang) {
    auto park = [transfers](platform::Continuation<void> c) {
      transfers->parked.push_back(c);
      c.onCancel([](const platform::Continuation<void>& waiting) {
        waiting.resumeThrowing(URLError(URLError::cancelled, kURL));
      });
    };
    co_await platform::withContinuation<void>(std::move(park));
  }
  if (step.failure) throw URLError(*step.failure, kURL);
  co_return SendResult{
      {}, std::make_shared<platform::HTTPURLResponse>(kURL, step.status, "HTTP/1.1", step.headers)};
}

platform::Task<void> recordedSleep(std::shared_ptr<std::vector<double>> sleeps, double seconds) {
  sleeps->push_back(seconds);
  if (seconds > 0) co_await platform::sleep(seconds);
}

std::string body(const SendResult& result) {
  return {result.data.begin(), result.data.end()};
}

class IdentityThrottleTests : public platform::testing::SimTest {
 protected:
  std::shared_ptr<IdentityThrottle> makeThrottle(IdentityThrottleOptions options = {}) {
    auto recorded = sleeps;
    IdentityThrottle::Sleep sleep = [recorded](double s) { return recordedSleep(recorded, s); };
    return std::make_shared<IdentityThrottle>(options, log.logger(), nullptr, sleep);
  }

  IdentityThrottle::Send script(std::vector<Step> steps) {
    transfers = std::make_shared<Transfers>();
    transfers->steps.assign(steps.begin(), steps.end());
    auto t = transfers;
    return [t] { return answer(t); };
  }

  SendResult run(IdentityThrottle& throttle, const std::string& method, std::vector<Step> steps) {
    return await(throttle.run(kURL, method, script(std::move(steps))));
  }
  int statusOf(IdentityThrottle& throttle, const std::string& method, std::vector<Step> steps) {
    return run(throttle, method, std::move(steps)).response->statusCode();
  }

  testing::LogRecorder log;
  std::shared_ptr<std::vector<double>> sleeps = std::make_shared<std::vector<double>>();
  std::shared_ptr<Transfers> transfers;
};

TEST_F(IdentityThrottleTests, BudgetAdmitsThirtyRequestsPerRollingMinute) {
  auto throttle = makeThrottle();
  EXPECT_EQ(statusOf(*throttle, "POST", {status(200)}), 200);
  advance(10);
  for (int i = 0; i < 29; ++i) EXPECT_EQ(statusOf(*throttle, "POST", {status(200)}), 200);

  SendResult refused = run(*throttle, "POST", {status(200)});
  EXPECT_EQ(transfers->calls, 0);
  EXPECT_EQ(refused.response->statusCode(), 429);
  EXPECT_EQ(refused.response->value("Retry-After"), "5");
  EXPECT_EQ(refused.response->value("content-type"), "application/json");
  EXPECT_EQ(refused.response->url(), kURL);
  EXPECT_EQ(body(refused), R"({"error":"client_throttled","reason":"budget_exhausted"})");
  auto line = log.only("identity_throttle_budget_exhausted");
  ASSERT_TRUE(line);
  EXPECT_EQ(line->level, VoskaryLogLevel::warning);
  EXPECT_EQ(line->fields, (VoskaryLogFields{{"limit_per_min", "30"}}));

  // A wall-clock step moves nothing: the window runs on the monotonic clock.
  clock().setWallTime(clock().now().addingTimeInterval(86400));
  EXPECT_EQ(statusOf(*throttle, "POST", {status(200)}), 429);

  // Once the first admission is more than sixty seconds old its place comes free, and only its
  // place.
  advance(50.5);
  EXPECT_EQ(statusOf(*throttle, "POST", {status(200)}), 200);
  EXPECT_EQ(statusOf(*throttle, "POST", {status(200)}), 429);
}

TEST_F(IdentityThrottleTests, BreakerOpensAfterFiveFailuresAndHalfOpensAfterItsPeriod) {
  auto throttle = makeThrottle();
  for (int i = 0; i < 5; ++i) EXPECT_EQ(statusOf(*throttle, "POST", {status(503)}), 503);
  auto tripped = log.only("identity_throttle_circuit_tripped");
  ASSERT_TRUE(tripped);
  EXPECT_EQ(tripped->fields, (VoskaryLogFields{{"failures", "5"}}));

  SendResult open = run(*throttle, "POST", {status(200)});
  EXPECT_EQ(transfers->calls, 0);
  EXPECT_EQ(open.response->statusCode(), 503);
  EXPECT_EQ(open.response->value("Retry-After"), "300");
  EXPECT_EQ(body(open), R"({"error":"client_throttled","reason":"circuit_open"})");
  auto line = log.named("identity_throttle_circuit_open");
  ASSERT_EQ(line.size(), 1u);
  EXPECT_EQ(line[0].fields, (VoskaryLogFields{{"retry_after_s", "300"}}));

  // Setting the wall clock back neither lengthens nor shortens the open period.
  clock().setWallTime(clock().now().addingTimeInterval(-7200));
  advance(299.8);
  open = run(*throttle, "POST", {status(200)});
  EXPECT_EQ(open.response->value("Retry-After"), "1");
  EXPECT_EQ(log.named("identity_throttle_circuit_open").back().fields.at("retry_after_s"), "0");

  // Half-open: one more failure reopens it at once.
  advance(0.3);
  EXPECT_EQ(statusOf(*throttle, "POST", {status(500)}), 500);
  EXPECT_EQ(transfers->calls, 1);
  EXPECT_EQ(log.named("identity_throttle_circuit_tripped").size(), 2u);
  EXPECT_EQ(log.named("identity_throttle_circuit_tripped").back().fields.at("failures"), "5");
  EXPECT_EQ(run(*throttle, "POST", {status(200)}).response->statusCode(), 503);
  EXPECT_EQ(transfers->calls, 0);

  // Half-open again: one success closes it with the count at zero.
  advance(300);
  EXPECT_EQ(statusOf(*throttle, "POST", {status(200)}), 200);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(statusOf(*throttle, "POST", {status(502)}), 502);
  EXPECT_EQ(statusOf(*throttle, "POST", {status(200)}), 200);
  EXPECT_EQ(transfers->calls, 1);
}

TEST_F(IdentityThrottleTests, OtherStatusesNeitherCountNorReset) {
  auto throttle = makeThrottle();
  for (int i = 0; i < 4; ++i) statusOf(*throttle, "POST", {status(500)});
  for (int code : {404, 401, 400, 302, 101}) {
    EXPECT_EQ(statusOf(*throttle, "GET", {status(code), status(200)}), code);
    EXPECT_EQ(transfers->calls, 1) << code;
  }
  EXPECT_TRUE(sleeps->empty());
  EXPECT_TRUE(log.named("identity_throttle_circuit_tripped").empty());
  // The count stood at four all along: one more failure trips the breaker.
  statusOf(*throttle, "POST", {status(429)});
  EXPECT_TRUE(log.only("identity_throttle_circuit_tripped"));
}

TEST_F(IdentityThrottleTests, OnlyGETIsRetriedWithJitteredBackoff) {
  auto throttle = makeThrottle();
  EXPECT_EQ(statusOf(*throttle, "POST", {status(503), status(200)}), 503);
  EXPECT_EQ(transfers->calls, 1);
  EXPECT_TRUE(sleeps->empty());

  // Three rounds of four sends, so that the jitter shows its range rather than one draw.
  for (int round = 0; round < 3; ++round) {
    sleeps->clear();
    log.clear();
    auto fresh = makeThrottle({.circuitBreakerThreshold = 100});
    SendResult last =
        run(*fresh, "get", {status(503), status(503), status(503), status(503), status(200)});
    EXPECT_EQ(last.response->statusCode(), 503);
    EXPECT_EQ(transfers->calls, 4);
    ASSERT_EQ(sleeps->size(), 3u);
    const std::pair<double, double> bounds[] = {{1.0, 1.5}, {2.0, 3.0}, {4.0, 6.0}};
    for (std::size_t i = 0; i < 3; ++i) {
      EXPECT_GE((*sleeps)[i], bounds[i].first);
      EXPECT_LE((*sleeps)[i], bounds[i].second);
    }
    auto backoffs = log.named("identity_throttle_server_backoff");
    ASSERT_EQ(backoffs.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
      EXPECT_EQ(backoffs[i].level, VoskaryLogLevel::info);
      EXPECT_EQ(backoffs[i].fields,
                (VoskaryLogFields{{"status", "503"}, {"attempt", std::to_string(i)}}));
    }
  }

  // The delay never exceeds maxBackoff.
  sleeps->clear();
  auto capped = makeThrottle({.maxBackoff = 1.2, .backoffBase = 1.0});
  run(*capped, "GET", {status(500), status(500), status(200)});
  ASSERT_EQ(sleeps->size(), 2u);
  EXPECT_LE((*sleeps)[1], 1.2);
}

// The application runs in the user's locale; a comma-decimal one must not cut "1.5" to 1.
TEST(IdentityThrottleRetryAfterTests, DelaySecondsReadTheSameInEveryLocale) {
  const char* previous = std::setlocale(LC_NUMERIC, nullptr);
  const std::string saved = previous ? previous : "C";
  for (const char* name : {"de_DE.UTF-8", "fr_FR.UTF-8", "C"}) {
    if (std::setlocale(LC_NUMERIC, name)) break;
  }
  const platform::Date now{1'800'000'000.0};
  EXPECT_EQ(IdentityThrottle::parseRetryAfter("1.5", now, 300), 1.5);
  EXPECT_EQ(IdentityThrottle::parseRetryAfter("0.25", now, 300), 0.25);
  EXPECT_EQ(IdentityThrottle::parseRetryAfter("1,5", now, 300), std::nullopt);
  EXPECT_EQ(IdentityThrottle::parseRetryAfter("+-1", now, 300), std::nullopt);
  std::setlocale(LC_NUMERIC, saved.c_str());
}

TEST_F(IdentityThrottleTests, RetryAfterIsReadStrictly) {
  const platform::Date now = platform::Date{1'800'000'000.0};
  struct Case {
    std::string header;
    std::optional<double> wait;  // absent: the computed backoff of the first retry
  };
  const Case cases[] = {
      {"2", 2.0},
      {" 3.5\t", 3.5},
      {"100000", 300.0},
      {"-5", 0.0},
      {"0", 0.0},
      {"99999999999999999999999999999999999999999999", 300.0},
      {platform::DateFormats::httpDate(now.addingTimeInterval(10)), 10.0},
      {platform::DateFormats::httpDate(now.addingTimeInterval(-30)), 0.0},
      {"Sun, 06 Nov 1994 08:49:37 UTC", std::nullopt},
      {"nan", std::nullopt},
      {"inf", std::nullopt},
      {"-inf", std::nullopt},
      {"1e3", std::nullopt},
      {"0x10", std::nullopt},
      {"5s", std::nullopt},
      {".5", std::nullopt},
      {"5.", std::nullopt},
      {"", std::nullopt},
      {"  ", std::nullopt},
  };
  for (const Case& c : cases) {
    sleeps->clear();
    log.clear();
    auto throttle = makeThrottle();
    ASSERT_EQ(clock().now(), now) << "each case starts at the same wall time";
    EXPECT_EQ(statusOf(*throttle, "GET", {status(429, {{"retry-after", c.header}}), status(200)}),
              200)
        << c.header;
    ASSERT_EQ(sleeps->size(), 1u) << c.header;
    if (c.wait) {
      EXPECT_DOUBLE_EQ(sleeps->front(), *c.wait) << c.header;
    } else {
      EXPECT_GE(sleeps->front(), 1.0) << c.header;
      EXPECT_LE(sleeps->front(), 1.5) << c.header;
    }
    auto backoff = log.only("identity_throttle_server_backoff");
    ASSERT_TRUE(backoff);
    EXPECT_EQ(backoff->level, VoskaryLogLevel::warning);
    // Every case waits on the manual clock; put the wall clock back for the next one.
    clock().setWallTime(now);
  }
}

TEST_F(IdentityThrottleTests, RetryRefusedByTheBudgetReturnsTheLastFailure) {
  auto throttle = makeThrottle({.maxRequestsPerMinute = 1});
  SendResult result = run(*throttle, "GET", {status(503, {{"X-Seen", "first"}}), status(200)});
  EXPECT_EQ(result.response->statusCode(), 503);
  EXPECT_EQ(result.response->value("X-Seen"), "first");
  EXPECT_EQ(transfers->calls, 1);
  EXPECT_TRUE(log.named("identity_throttle_budget_exhausted").empty());
}

TEST_F(IdentityThrottleTests, TransportFailuresAreRetriedForGETOnlyAndWithoutBudget) {
  // One request per minute: retries after transport failures take nothing from the budget.
  auto throttle = makeThrottle({.maxRequestsPerMinute = 1, .circuitBreakerThreshold = 3});
  EXPECT_EQ(statusOf(*throttle, "GET", {transportFailure(), transportFailure(), status(200)}), 200);
  EXPECT_EQ(transfers->calls, 3);
  ASSERT_EQ(sleeps->size(), 2u);
  EXPECT_GE((*sleeps)[0], 1.0);
  EXPECT_LE((*sleeps)[0], 1.5);
  EXPECT_GE((*sleeps)[1], 2.0);
  EXPECT_LE((*sleeps)[1], 3.0);
  // Two failures and then a success: the count is back at zero, so nothing has tripped.
  EXPECT_TRUE(log.named("identity_throttle_circuit_tripped").empty());

  advance(61);
  try {
    run(*throttle, "POST", {transportFailure(), status(200)});
    ADD_FAILURE() << "expected the transport error";
  } catch (const URLError& error) {
    EXPECT_EQ(error.code(), URLError::networkConnectionLost);
  }
  EXPECT_EQ(transfers->calls, 1);
}

// Runs a request as a task of its own so that the test can cancel it.
struct RunOutcome {
  std::optional<int> status;
  std::exception_ptr error;
  bool done = false;
};
platform::Task<void> captureRun(platform::Task<SendResult> task, std::shared_ptr<RunOutcome> out) {
  try {
    out->status = (co_await std::move(task)).response->statusCode();
  } catch (...) {
    out->error = std::current_exception();
  }
  out->done = true;
}

bool isCancellation(std::exception_ptr error) {
  try {
    if (error) std::rethrow_exception(error);
  } catch (const platform::CancellationError&) {
    return true;
  } catch (...) {
  }
  return false;
}

TEST_F(IdentityThrottleTests, CancellationEndsTheRunAndNeverCountsAsFailure) {
  auto throttle = makeThrottle({.circuitBreakerThreshold = 2});

  // Cancelled during the backoff wait: the failure before it counts, nothing after it.
  auto during = std::make_shared<RunOutcome>();
  auto handle =
      platform::spawn(captureRun(throttle->run(kURL, "GET", script({status(503)})), during));
  advance(0.5);
  ASSERT_EQ(sleeps->size(), 1u);
  handle.cancel();
  runUntilIdle();
  ASSERT_TRUE(during->done);
  EXPECT_TRUE(isCancellation(during->error));
  EXPECT_EQ(transfers->calls, 1);

  // A transfer stopped by the caller's cancellation fails the way the HTTP session fails.
  auto stopped = std::make_shared<RunOutcome>();
  handle = platform::spawn(
      captureRun(throttle->run(kURL, "GET", script({Step{.hang = true}, status(200)})), stopped));
  runUntilIdle();
  ASSERT_EQ(transfers->parked.size(), 1u);
  handle.cancel();
  runUntilIdle();
  ASSERT_TRUE(stopped->done);
  EXPECT_TRUE(isCancellation(stopped->error));
  EXPECT_EQ(transfers->calls, 1);

  // Still one failure on the count: the breaker is closed and the next request goes out.
  EXPECT_TRUE(log.named("identity_throttle_circuit_tripped").empty());
  EXPECT_EQ(statusOf(*throttle, "POST", {status(200)}), 200);
  EXPECT_EQ(transfers->calls, 1);
}

}  // namespace
}  // namespace voskary
