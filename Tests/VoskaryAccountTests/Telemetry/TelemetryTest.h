#pragma once

#include <gtest/gtest.h>

#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "Platform/Foundation/JSON.h"
#include "Platform/Foundation/JSONSerialization.h"
#include "Platform/Foundation/UserDefaults.h"
#include "Support/SimTest.h"
#include "VoskaryAccount/Telemetry/ErrorFirehoseClient.h"

namespace voskary {

// Reaches the client's state, which only its own lock guards.
struct ErrorFirehoseClientTestAccess {
  using Client = ErrorFirehoseClient;

  static std::vector<CoalescedEntry> buffer(Client& c) {
    std::lock_guard guard(c.lock_);
    std::vector<CoalescedEntry> out;
    for (const auto& [fingerprint, entry] : c.buffer_) out.push_back(entry);
    return out;
  }
  static std::deque<std::vector<CoalescedEntry>> pending(Client& c) {
    std::lock_guard guard(c.lock_);
    return c.pendingBatches_;
  }
  static std::optional<CircuitBreakerState> breaker(Client& c, const std::string& fingerprint) {
    std::lock_guard guard(c.lock_);
    auto found = c.circuitBreakers_.find(fingerprint);
    if (found == c.circuitBreakers_.end()) return std::nullopt;
    return found->second;
  }
  static std::size_t breakerCount(Client& c) {
    std::lock_guard guard(c.lock_);
    return c.circuitBreakers_.size();
  }
  static Client::ContextSnapshot snapshot(Client& c) {
    std::lock_guard guard(c.lock_);
    return c.snapshot();
  }
  static std::string dailyToken(Client& c) {
    std::lock_guard guard(c.lock_);
    return c.dailyToken_;
  }
  static std::optional<std::int64_t> uptime(Client& c) {
    std::lock_guard guard(c.lock_);
    return c.sessionUptimeSeconds_;
  }
  static void enqueue(Client& c, std::vector<CoalescedEntry> entries) {
    std::lock_guard guard(c.lock_);
    c.enqueueBatch(std::move(entries));
  }
  static std::mutex& lock(Client& c) { return c.lock_; }
  static platform::Task<bool> sendBatchWithIds(Client& c, std::vector<CoalescedEntry> entries,
                                               Client::ContextSnapshot context, std::string batchId,
                                               std::vector<std::string> eventIds) {
    return c.sendBatchWithIds(std::move(entries), std::move(context), 0, std::move(batchId),
                              std::move(eventIds));
  }
  static void flushRound(Client& c) { c.flushRound(); }
};

// A simulated machine with a configured client of its own and an account service at a fixed
// address.
class TelemetryTest : public platform::testing::SimTest {
 protected:
  using Access = ErrorFirehoseClientTestAccess;

  static constexpr std::string_view serviceBase = "https://account.example.test/v1";
  static constexpr std::string_view batchURL = "https://account.example.test/v1/api/error-events";

  void SetUp() override {
    SimTest::SetUp();
    client = ErrorFirehoseClient::create();
    client->configure("flagrig", "macos", "1.4.2", "14.5.0", "install-1",
                      platform::URL(serviceBase), platform::env().httpSession);
  }

  platform::UserDefaults& defaults() { return *platform::env().defaults; }

  static CoalescedEntry entry(std::string fingerprint, std::string category = "auth") {
    CoalescedEntry e;
    e.fingerprint = std::move(fingerprint);
    e.severity = "warn";
    e.category = std::move(category);
    e.messageTemplate = "something failed";
    e.firstSeen = e.lastSeen = platform::Date{1'800'000'000.25};
    return e;
  }
  static std::vector<CoalescedEntry> entries(std::size_t count, std::string prefix = "e") {
    std::vector<CoalescedEntry> out;
    for (std::size_t i = 0; i < count; ++i) out.push_back(entry(prefix + std::to_string(i)));
    return out;
  }
  static std::vector<std::size_t> sizes(const std::deque<std::vector<CoalescedEntry>>& batches) {
    std::vector<std::size_t> out;
    for (const auto& b : batches) out.push_back(b.size());
    return out;
  }

  std::vector<platform::sim::SimHTTPServer::RecordedRequest> batchRequests() {
    std::vector<platform::sim::SimHTTPServer::RecordedRequest> out;
    for (auto& r : sim().http->requests())
      if (r.request.url.absoluteString() == batchURL) out.push_back(r);
    return out;
  }
  static platform::JSON body(const platform::sim::SimHTTPServer::RecordedRequest& r) {
    const auto& bytes = *r.request.httpBody;
    return platform::JSONSerialization::parse(
        std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
  }

  std::shared_ptr<ErrorFirehoseClient> client;
};

}  // namespace voskary
