// The error-telemetry client's delivery side: the batch queue, the send pass and its retries.

#include <algorithm>
#include <cstring>

#include "Platform/Foundation/DateFormats.h"
#include "Platform/Foundation/Environment.h"
#include "Platform/Foundation/JSON.h"
#include "Platform/Foundation/JSONSerialization.h"
#include "Platform/Foundation/UUID.h"
#include "Platform/Network/HTTPRequest.h"
#include "Platform/Security/SecureRandom.h"
#include "VoskaryAccount/Telemetry/ErrorFirehoseClient.h"

namespace voskary {

namespace {

std::string timestamp(platform::Date date) {
  return platform::DateFormats::iso8601(date, platform::DateFormats::FractionalSeconds::included);
}

platform::JSON eventJSON(const CoalescedEntry& entry, const std::string& eventId) {
  platform::JSON event = platform::JSON::object();
  event["client_event_id"] = eventId;
  event["severity"] = entry.severity;
  event["category"] = entry.category;
  if (entry.specId) event["spec_id"] = *entry.specId;
  event["fingerprint"] = entry.fingerprint;
  event["message_template"] = entry.messageTemplate;
  if (entry.exceptionType) event["exception_type"] = *entry.exceptionType;
  if (entry.topFrames) event["top_frames"] = *entry.topFrames;
  if (entry.frameDigest) event["frame_digest"] = *entry.frameDigest;
  if (entry.breadcrumbs) {
    platform::JSON crumbs = platform::JSON::array();
    for (const auto& crumb : *entry.breadcrumbs) {
      crumbs.push_back({{"ts", crumb.ts},
                        {"level", crumb.level},
                        {"category", crumb.category},
                        {"msg", crumb.msg}});
    }
    event["breadcrumbs"] = std::move(crumbs);
  }
  event["count"] = entry.count;
  event["first_seen"] = timestamp(entry.firstSeen);
  event["last_seen"] = timestamp(entry.lastSeen);
  event["signed_in"] = entry.signedIn;
  event["online"] = entry.online;
  if (entry.sessionUptimeSeconds) event["session_uptime_seconds"] = *entry.sessionUptimeSeconds;
  return event;
}

std::string newIdentifier() {
  return platform::UUID::random().lowercaseString();
}

// Uniform in [0, 1).
double randomUnit() {
  std::uint64_t bits = 0;
  platform::SecureRandom::fill(
      std::span<std::uint8_t>(reinterpret_cast<std::uint8_t*>(&bits), sizeof bits));
  return static_cast<double>(bits >> 11) * 0x1.0p-53;
}

}  // namespace

std::string ErrorFirehoseClient::encodeBatch(const std::vector<CoalescedEntry>& entries,
                                             const ContextSnapshot& context,
                                             std::string_view batchId,
                                             const std::vector<std::string>& eventIds) {
  platform::JSON batch = platform::JSON::object();
  batch["schema_version"] = 1;
  batch["batch_id"] = std::string(batchId);
  batch["daily_token"] = context.dailyToken;
  batch["app_slug"] = context.appSlug;
  batch["platform"] = context.platform;
  batch["app_version"] = context.appVersion;
  batch["os_version"] = context.osVersion;
  platform::JSON events = platform::JSON::array();
  for (std::size_t i = 0; i < entries.size(); ++i)
    events.push_back(eventJSON(entries[i], eventIds[i]));
  batch["events"] = std::move(events);
  return platform::JSONSerialization::serialize(batch);
}

void ErrorFirehoseClient::enqueueBatch(std::vector<CoalescedEntry> entries) {
  if (entries.empty()) return;
  if (pendingBatches_.size() >= maxPendingBatches) pendingBatches_.pop_front();
  for (std::size_t at = 0; at < entries.size(); at += maxBatchSize) {
    if (pendingBatches_.size() >= maxPendingBatches) break;
    const auto end = std::min(entries.size(), at + maxBatchSize);
    pendingBatches_.emplace_back(std::make_move_iterator(entries.begin() + at),
                                 std::make_move_iterator(entries.begin() + end));
  }
}

ErrorFirehoseClient::ContextSnapshot ErrorFirehoseClient::snapshot() {
  // A batch sent after midnight UTC carries the new day's token, whatever the age of its events.
  dailyToken_ = computeDailyToken(installId_);
  return ContextSnapshot{appSlug_,    platform_,    appVersion_, osVersion_,
                         dailyToken_, identityURL_, urlSession_};
}

void ErrorFirehoseClient::sendPendingBatches() {
  platform::spawn(sendPass(weak_from_this()), platform::env().backgroundPool);
}

platform::Task<void> ErrorFirehoseClient::sendPass(std::weak_ptr<ErrorFirehoseClient> weak) {
  for (;;) {
    auto client = weak.lock();
    if (!client || !client->checkConsent()) co_return;
    std::vector<CoalescedEntry> batch;
    ContextSnapshot context;
    {
      std::lock_guard guard(client->lock_);
      if (client->pendingBatches_.empty()) co_return;
      batch = std::move(client->pendingBatches_.front());
      client->pendingBatches_.pop_front();
      context = client->snapshot();
    }
    if (co_await client->sendBatch(batch, std::move(context), 0)) continue;

    std::lock_guard guard(client->lock_);
    if (client->consentSeen_ && client->pendingBatches_.size() < maxPendingBatches)
      client->pendingBatches_.push_front(std::move(batch));
    co_return;
  }
}

platform::Task<bool> ErrorFirehoseClient::sendBatch(std::vector<CoalescedEntry> entries,
                                                    ContextSnapshot context, int retryCount) {
  std::vector<std::string> eventIds;
  eventIds.reserve(entries.size());
  for (std::size_t i = 0; i < entries.size(); ++i) eventIds.push_back(newIdentifier());
  co_return co_await sendBatchWithIds(std::move(entries), std::move(context), retryCount,
                                      newIdentifier(), std::move(eventIds));
}

double ErrorFirehoseClient::retryDelay(int retryCount) {
  const double jitter = -backoffJitter + 2 * backoffJitter * randomUnit();
  return std::max(1.0, backoffSeconds[static_cast<std::size_t>(retryCount)] + jitter);
}

platform::Task<bool> ErrorFirehoseClient::sendBatchWithIds(std::vector<CoalescedEntry> entries,
                                                           ContextSnapshot context, int retryCount,
                                                           std::string batchId,
                                                           std::vector<std::string> eventIds) {
  for (int attempt = retryCount;; ++attempt) {
    // Reports switched off while the batch waited: it is dropped, never sent.
    if (!checkConsent()) co_return true;

    std::string body;
    try {
      body = encodeBatch(entries, context, batchId, eventIds);
    } catch (const std::exception&) {
      co_return true;
    }
    if (body.size() > maxBatchBytes) co_return true;

    platform::HTTPRequest request(context.identityURL.appendingPathComponent(batchPath));
    request.httpMethod = "POST";
    request.setValue("application/json", "Content-Type");
    request.httpBody = platform::Bytes(body.begin(), body.end());
    request.timeoutInterval = requestTimeoutSeconds;

    try {
      const auto result = co_await context.urlSession->data(std::move(request));
      const auto* http = result.response ? result.response->asHTTP() : nullptr;
      if (!http) co_return true;
      const int status = http->statusCode();
      // Any 2xx is delivered; a refusal for good (4xx but time-out and rate limit) is done.
      if (status >= 200 && status < 300) co_return true;
      if (status >= 400 && status < 500 && status != 408 && status != 429) co_return true;
    } catch (const platform::URLError&) {
      // No answer: retried.
    }

    if (attempt >= static_cast<int>(backoffSeconds.size())) co_return false;
    try {
      co_await platform::sleep(retryDelay(attempt));
    } catch (const platform::CancellationError&) {
      // An interrupted wait does not stop the retry.
    }
  }
}

}  // namespace voskary
