#include "VoskaryAccount/Client/AuthClient.h"

#include <gtest/gtest.h>

#include "AccountServiceFixture.h"
#include "Platform/Network/URLError.h"
#include "Platform/Security/SHA256.h"
#include "VoskaryAccount/Client/Base64URL.h"
#include "VoskaryAccount/Client/VoskaryDeprecationParser.h"

namespace voskary {
namespace {

using platform::sim::SimHTTPAnswer;
using testing::FakeAccountService;

std::vector<std::string> headerNames(const platform::HTTPRequest& request) {
  std::vector<std::string> names;
  for (const auto& [name, value] : request.headerFields.fields()) names.push_back(name);
  return names;
}

std::string tokenHash(const std::string& token) {
  return base64URLEncodedString(platform::SHA256::hash(token));
}

platform::Bytes bytes(std::string_view text) {
  return platform::Bytes(text.begin(), text.end());
}

class AuthClientTests : public testing::AccountServiceFixture {
 protected:
  platform::Task<AuthClient::SendResult> post(std::string path, std::optional<std::string> vas) {
    return client->performWithAuthRecovery(std::move(path), "POST",
                                           bytes(R"({"app_slug":"flagrig"})"), std::move(vas));
  }
};

TEST_F(AuthClientTests, SignedInRequestsCarrySevenHeadersAndAVerifiableProof) {
  auto session = storeSession();
  EXPECT_EQ(await(client->getAppDataToken(session.vas)), "adt_" + session.vas);

  auto sent = requestsToPath(FakeAccountService::appDataTokenPath);
  ASSERT_EQ(sent.size(), 1u);
  const auto& request = sent[0];
  EXPECT_EQ(request.httpMethod, "POST");
  EXPECT_EQ(request.timeoutInterval, 60.0);
  EXPECT_EQ(headerNames(request),
            (std::vector<std::string>{"Content-Type", "Accept", "User-Agent", "Voskary-Lib-Version",
                                      "Voskary-Client-Version", "Authorization", "DPoP"}));
  EXPECT_EQ(request.value("Content-Type"), "application/json");
  EXPECT_EQ(request.value("Accept"), "application/json");
  EXPECT_EQ(request.value("User-Agent"), "VoskaryAccount/0.9.2 (1.4.2)");
  EXPECT_EQ(request.value("Voskary-Lib-Version"), "0.9.2");
  EXPECT_EQ(request.value("Voskary-Client-Version"), "1.4.2");
  EXPECT_EQ(request.value("Authorization"), "Bearer " + session.vas);
  EXPECT_EQ(jsonBody(request), platform::JSON({{"app_slug", "flagrig"}}));

  auto proofs = service->proofs();
  ASSERT_EQ(proofs.size(), 1u);
  EXPECT_TRUE(proofs[0].valid);
  EXPECT_EQ(proofs[0].htm, "POST");
  EXPECT_EQ(proofs[0].htu, std::string(kBase) + FakeAccountService::appDataTokenPath);
  EXPECT_EQ(proofs[0].ath, tokenHash(session.vas));
  EXPECT_EQ(proofs[0].jkt, signer->jktThumbprint());

  // A signer that cannot sign only drops the proof.
  sim().keyStore->setSigningFails(true);
  await(client->getAppDataToken(session.vas));
  sent = requestsToPath(FakeAccountService::appDataTokenPath);
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(sent[1].value("Authorization"), "Bearer " + session.vas);
  EXPECT_FALSE(sent[1].value("DPoP"));
}

TEST_F(AuthClientTests, AnonymousRequestsCarryFiveHeadersAndNoProof) {
  service->addAuthorizationCode("apple-code", "va_1", "apple@voskary.test");
  auto answer = await(client->exchangeAppleAuthCode("apple-code", std::nullopt, std::nullopt));
  EXPECT_TRUE(answer.ok);
  EXPECT_TRUE(answer.vas);

  auto sent = requestsToPath(FakeAccountService::appleAuthcodePath);
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(headerNames(sent[0]),
            (std::vector<std::string>{"Content-Type", "Accept", "User-Agent", "Voskary-Lib-Version",
                                      "Voskary-Client-Version"}));
  // Neither an identity token nor an install id: only the two required members.
  EXPECT_EQ(jsonBody(sent[0]),
            platform::JSON({{"app_slug", "flagrig"}, {"authorization_code", "apple-code"}}));
}

TEST_F(AuthClientTests, DeprecationHeaderReachesTheHookAndMayEndTheCall) {
  auto session = storeSession();
  struct Case {
    std::string header;
    std::optional<VoskaryError> error;
  };
  const Case cases[] = {
      {"client; min-version=9.0", VoskaryError::requiresUpgrade("9.0")},
      {"client; min-version=1.4.2", std::nullopt},
      {"client; min-version=1.4", std::nullopt},
      {"endpoint; replacement=/api/v2/app-data-token", std::nullopt},
      {"endpoint, client; min-version=1.0, client; min-version=2.0; reason=security",
       VoskaryError::requiresUpgrade("2.0")},
  };
  for (const Case& c : cases) {
    log.clear();
    notices->lists.clear();
    notices->logLinesBefore.clear();
    service->setDeprecationHeader(c.header);
    auto task = client->getAppDataToken(session.vas);
    if (c.error) {
      EXPECT_EQ(errorOf(std::move(task)), *c.error) << c.header;
      auto line = log.only("requires_upgrade");
      ASSERT_TRUE(line) << c.header;
      EXPECT_EQ(line->level, VoskaryLogLevel::warning);
      EXPECT_EQ(line->fields, (VoskaryLogFields{{"endpoint", "/api/app-data-token"},
                                                {"status", "200"},
                                                {"class", "requiresUpgrade"}}));
    } else {
      EXPECT_EQ(await(std::move(task)), "adt_" + session.vas) << c.header;
      EXPECT_TRUE(log.lines().empty()) << c.header;
    }
    // The hook has the whole list, before anything was logged about it.
    ASSERT_EQ(notices->lists.size(), 1u) << c.header;
    EXPECT_EQ(notices->lists[0], VoskaryDeprecationParser::parse(c.header));
    EXPECT_EQ(notices->logLinesBefore[0], 0u);
  }
}

TEST_F(AuthClientTests, Status426KillsTheClientWithTheFirstReplacement) {
  auto session = storeSession();
  struct Case {
    std::optional<std::string> header;
    std::optional<platform::URL> replacement;
  };
  const Case cases[] = {
      {std::nullopt, std::nullopt},
      {"endpoint; reason=old, endpoint; replacement=/api/next/app-data-token, "
       "endpoint; replacement=/api/other/app-data-token",
       platform::URL("/api/next/app-data-token")},
      // 426 wins over an upgrade notice.
      {"client; min-version=9.0", std::nullopt},
  };
  for (const Case& c : cases) {
    log.clear();
    service->setDeprecationHeader(c.header);
    service->queueAnswer(FakeAccountService::appDataTokenPath, SimHTTPAnswer::status(426));
    EXPECT_EQ(errorOf(client->getAppDataToken(session.vas)),
              VoskaryError::clientKilled(c.replacement));
    auto line = log.only("client_killed");
    ASSERT_TRUE(line);
    EXPECT_EQ(line->level, VoskaryLogLevel::error);
    EXPECT_EQ(line->fields, (VoskaryLogFields{{"endpoint", "/api/app-data-token"},
                                              {"status", "426"},
                                              {"class", "clientKilled"}}));
    EXPECT_TRUE(log.named("requires_upgrade").empty());
  }
}

TEST_F(AuthClientTests, StatusesMapToLibraryErrors) {
  struct Case {
    int status;
    std::string body;
    std::optional<VoskaryError> error;
    std::optional<std::string> loggedCode;
  };
  const Case cases[] = {
      {200, "", std::nullopt, std::nullopt},
      {299, "not json", std::nullopt, std::nullopt},
      {199, "", VoskaryError::serverError(199), std::nullopt},
      {300, "", VoskaryError::serverError(300), std::nullopt},
      {400, R"({"error":"invalid_grant"})", VoskaryError::serverError(400, "invalid_grant"),
       "invalid_grant"},
      {502, "<html>Bad Gateway</html>", VoskaryError::serverError(502), std::nullopt},
      {500, R"({"error":""})", VoskaryError::serverError(500, ""), std::nullopt},
      {503, R"({"error":5})", VoskaryError::serverError(503), std::nullopt},
      {404, R"(["error"])", VoskaryError::serverError(404), std::nullopt},
      {401, R"({"error":"token_revoked"})", VoskaryError::sessionExpired(), "token_revoked"},
  };
  const platform::URL url("https://account.voskary.test/api/app-data-token?debug=1");
  for (const Case& c : cases) {
    log.clear();
    platform::HTTPURLResponse response(url, c.status, "HTTP/1.1", {});
    std::optional<VoskaryError> thrown;
    try {
      client->mapStatusError(response, bytes(c.body), "/api/app-data-token?debug=1");
    } catch (const VoskaryError& error) {
      thrown = error;
    }
    EXPECT_EQ(thrown, c.error) << c.status;
    if (!c.error) {
      EXPECT_TRUE(log.lines().empty());
      continue;
    }
    const bool auth = c.status == 401;
    auto line = log.only(auth ? "request_auth_failed" : "request_server_failed");
    ASSERT_TRUE(line) << c.status;
    EXPECT_EQ(line->level, auth ? VoskaryLogLevel::warning : VoskaryLogLevel::error);
    VoskaryLogFields expected = {{"endpoint", "/api/app-data-token"},
                                 {"status", std::to_string(c.status)},
                                 {"class", auth ? "auth" : "server"}};
    if (c.loggedCode) expected["code"] = *c.loggedCode;
    EXPECT_EQ(line->fields, expected) << c.status;
  }
}

TEST_F(AuthClientTests, BadPathsSendNothingAndThrottleRefusalsMapToServerErrors) {
  client = makeClient(std::make_shared<IdentityThrottle>(
      IdentityThrottleOptions{.maxRequestsPerMinute = 1}, log.logger()));
  for (const char* path : {"/api/with space", "/api/{x}", "http://[bad/"}) {
    EXPECT_EQ(errorOf(post(path, std::nullopt)), VoskaryError::malformedResponse("url")) << path;
  }
  EXPECT_TRUE(sim().http->requests().empty());

  // The budget of one request is still whole.
  auto answer = await(post(FakeAccountService::appDataTokenPath, std::nullopt));
  EXPECT_EQ(answer.response->statusCode(), 401);
  auto refused = await(post(FakeAccountService::appDataTokenPath, std::nullopt));
  EXPECT_EQ(refused.response->statusCode(), 429);
  std::optional<VoskaryError> mapped;
  try {
    client->mapStatusError(*refused.response, refused.data, FakeAccountService::appDataTokenPath);
  } catch (const VoskaryError& error) {
    mapped = error;
  }
  EXPECT_EQ(mapped, VoskaryError::serverError(429, "client_throttled"));
  EXPECT_EQ(sim().http->requests().size(), 1u);
}

TEST_F(AuthClientTests, TransportFailuresAndForeignAnswersAreReported) {
  auto session = storeSession();
  service->queueAnswer(FakeAccountService::appDataTokenPath,
                       SimHTTPAnswer::failing(platform::URLError::cannotConnectToHost));
  EXPECT_EQ(errorOf(client->getAppDataToken(session.vas)), VoskaryError::networkUnavailable());
  auto line = log.only("request_transport_failed");
  ASSERT_TRUE(line);
  EXPECT_EQ(line->level, VoskaryLogLevel::warning);
  EXPECT_EQ(line->fields, (VoskaryLogFields{{"endpoint", "/api/app-data-token"},
                                            {"class", "transport"},
                                            {"error_domain", "NSURLErrorDomain"},
                                            {"error_code", "-1004"},
                                            {"url_error", "-1004"}}));

  service->queueAnswer(FakeAccountService::appDataTokenPath, SimHTTPAnswer::notHTTP("?"));
  EXPECT_EQ(errorOf(client->getAppDataToken(session.vas)),
            VoskaryError::malformedResponse("response"));
  line = log.only("request_decode_failed");
  ASSERT_TRUE(line);
  EXPECT_EQ(line->level, VoskaryLogLevel::error);
  EXPECT_EQ(line->fields,
            (VoskaryLogFields{
                {"endpoint", "/api/app-data-token"}, {"class", "decode"}, {"field", "response"}}));
}

// A request run as a task of its own, so that the test can cancel it.
struct Pending {
  std::optional<VoskaryError> error;
  bool done = false;
};
platform::Task<void> captureRequest(platform::Task<AuthClient::SendResult> task,
                                    std::shared_ptr<Pending> out) {
  try {
    co_await std::move(task);
  } catch (const VoskaryError& error) {
    out->error = error;
  }
  out->done = true;
}

TEST_F(AuthClientTests, CancellationEndsInNetworkUnavailableWithoutTrippingTheBreaker) {
  client = makeClient(std::make_shared<IdentityThrottle>(
      IdentityThrottleOptions{.circuitBreakerThreshold = 1}, log.logger()));

  // Cancelled while the transfer is in flight.
  service->setHolding(FakeAccountService::appDataTokenPath, true);
  auto inFlight = std::make_shared<Pending>();
  auto handle = platform::spawn(
      captureRequest(post(FakeAccountService::appDataTokenPath, std::nullopt), inFlight));
  runUntilIdle();
  ASSERT_EQ(sim().http->heldCount(), 1u);
  handle.cancel();
  runUntilIdle();
  ASSERT_TRUE(inFlight->done);
  EXPECT_EQ(inFlight->error, VoskaryError::networkUnavailable());
  EXPECT_TRUE(log.only("request_transport_failed"));
  service->setHolding(FakeAccountService::appDataTokenPath, false);

  // A threshold of one: had the cancellation counted, the breaker would refuse this request.
  EXPECT_EQ(await(post(FakeAccountService::appDataTokenPath, std::nullopt)).response->statusCode(),
            401);
  EXPECT_EQ(requestsToPath(FakeAccountService::appDataTokenPath).size(), 2u);

  // Cancelled while the throttle waits to retry a GET.
  client = makeClient();
  sim().http->respond("GET", std::string(kBase) + FakeAccountService::appDataTokenPath,
                      SimHTTPAnswer::status(503));
  auto waiting = std::make_shared<Pending>();
  handle = platform::spawn(
      captureRequest(client->performWithAuthRecovery(FakeAccountService::appDataTokenPath, "GET",
                                                     std::nullopt, std::nullopt),
                     waiting));
  runUntilIdle();
  ASSERT_FALSE(waiting->done);
  handle.cancel();
  runUntilIdle();
  ASSERT_TRUE(waiting->done);
  EXPECT_EQ(waiting->error, VoskaryError::networkUnavailable());
}

TEST_F(AuthClientTests, A401IsRepairedOnceByARefreshAndARetry) {
  auto session = storeSession();
  service->queueAnswer(FakeAccountService::appDataTokenPath, SimHTTPAnswer::status(401));
  std::string token = await(client->getAppDataToken(session.vas));

  auto renewed = storedSession();
  ASSERT_TRUE(renewed);
  EXPECT_NE(renewed->vas, session.vas);
  EXPECT_EQ(token, "adt_" + renewed->vas);
  EXPECT_EQ(service->requestCount(FakeAccountService::refreshPath), 1);
  auto sent = requestsToPath(FakeAccountService::appDataTokenPath);
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(sent[1].value("Authorization"), "Bearer " + renewed->vas);
  auto proofs = service->proofs();
  ASSERT_FALSE(proofs.empty());
  EXPECT_TRUE(proofs.back().valid);
  EXPECT_EQ(proofs.back().ath, tokenHash(renewed->vas));

  // A second 401 on the retry is the answer: no second refresh, no third send.
  service->queueAnswer(FakeAccountService::appDataTokenPath, SimHTTPAnswer::status(401));
  service->queueAnswer(FakeAccountService::appDataTokenPath, SimHTTPAnswer::status(401));
  EXPECT_EQ(errorOf(client->getAppDataToken(renewed->vas)), VoskaryError::sessionExpired());
  EXPECT_EQ(service->requestCount(FakeAccountService::refreshPath), 2);
  EXPECT_EQ(requestsToPath(FakeAccountService::appDataTokenPath).size(), 4u);
  EXPECT_TRUE(log.only("request_auth_failed"));
}

TEST_F(AuthClientTests, A401IsReturnedWhenItCannotBeRepaired) {
  auto session = storeSession();
  // The refresh fails: the first 401 stands and nothing is retried.
  service->queueAnswer(FakeAccountService::appDataTokenPath, SimHTTPAnswer::status(401));
  service->queueAnswer(FakeAccountService::refreshPath, SimHTTPAnswer::status(500));
  EXPECT_EQ(errorOf(client->getAppDataToken(session.vas)), VoskaryError::sessionExpired());
  EXPECT_EQ(requestsToPath(FakeAccountService::appDataTokenPath).size(), 1u);
  EXPECT_EQ(service->requestCount(FakeAccountService::refreshPath), 1);

  // No session token, nothing to repair.
  service->queueAnswer(FakeAccountService::appleAuthcodePath, SimHTTPAnswer::status(401));
  EXPECT_EQ(errorOf(client->exchangeAppleAuthCode("code", std::nullopt, std::nullopt)),
            VoskaryError::sessionExpired());
  EXPECT_EQ(service->requestCount(FakeAccountService::refreshPath), 1);

  // No refresh token in the stored session.
  stored->session->refreshToken.reset();
  service->queueAnswer(FakeAccountService::appDataTokenPath, SimHTTPAnswer::status(401));
  EXPECT_EQ(errorOf(client->getAppDataToken(session.vas)), VoskaryError::sessionExpired());
  EXPECT_EQ(service->requestCount(FakeAccountService::refreshPath), 1);
}

TEST_F(AuthClientTests, SessionsCloseToExpiryAreRefreshedFirst) {
  struct Case {
    double expiresIn;
    bool refreshed;
  };
  for (const Case& c : {Case{47 * 3600.0, true}, Case{49 * 3600.0, false}, Case{-60.0, true}}) {
    auto session = storeSession(c.expiresIn);
    int before = service->requestCount(FakeAccountService::refreshPath);
    std::string token = await(client->getAppDataToken(session.vas));
    EXPECT_EQ(service->requestCount(FakeAccountService::refreshPath) - before, c.refreshed ? 1 : 0)
        << c.expiresIn;
    std::string used = c.refreshed ? storedSession()->vas : session.vas;
    EXPECT_EQ(token, "adt_" + used) << c.expiresIn;
    EXPECT_EQ(requestsToPath(FakeAccountService::appDataTokenPath).back().value("Authorization"),
              "Bearer " + used);
  }

  // A refresh ahead of expiry that fails is ignored: the old token goes out.
  auto session = storeSession(3600);
  service->queueAnswer(FakeAccountService::refreshPath, SimHTTPAnswer::status(503));
  EXPECT_EQ(await(client->getAppDataToken(session.vas)), "adt_" + session.vas);
}

TEST_F(AuthClientTests, RefreshSendsItsBodyWithoutTokenAndNeverRepairsA401) {
  auto session = storeSession();
  auto renewed = await(client->refreshSerialized(session.refreshToken));
  EXPECT_TRUE(service->isLive(renewed.vas));
  auto sent = requestsToPath(FakeAccountService::refreshPath);
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(jsonBody(sent[0]), platform::JSON({{"app_slug", "flagrig"},
                                               {"refresh_token", session.refreshToken},
                                               {"client_version", "1.4.2"}}));
  EXPECT_FALSE(sent[0].value("Authorization"));
  EXPECT_FALSE(sent[0].value("DPoP"));

  service->queueAnswer(FakeAccountService::refreshPath, SimHTTPAnswer::status(401));
  EXPECT_EQ(errorOf(client->refreshSerialized(*renewed.refreshToken)),
            VoskaryError::sessionExpired());
  EXPECT_EQ(service->requestCount(FakeAccountService::refreshPath), 2);

  // A spent refresh token is refused by the service as a dead grant.
  client->forgetRefreshes();
  EXPECT_EQ(errorOf(client->refreshSerialized(session.refreshToken)),
            VoskaryError::serverError(400, "invalid_grant"));
}

TEST_F(AuthClientTests, UndecodableAnswersFailWithTheirRecordName) {
  auto session = storeSession();
  struct Case {
    const char* path;
    std::string body;
    const char* field;
  };
  const Case cases[] = {
      {FakeAccountService::refreshPath, R"({"ok":true})", "VasResponse"},
      {FakeAccountService::appleAuthcodePath, R"({"vas":"v"})", "AppleAuthcodeResponse"},
      {FakeAccountService::appleAuthcodePath, "", "AppleAuthcodeResponse"},
      {FakeAccountService::appDataTokenPath, R"({"ok":true,"app_data_token":"t"})",
       "AppDataTokenResponse"},
      {FakeAccountService::appDataTokenPath,
       R"({"ok":true,"app_data_token":"t","expires_at":"30/06/2026"})", "AppDataTokenResponse"},
  };
  for (const Case& c : cases) {
    log.clear();
    service->queueAnswer(c.path, SimHTTPAnswer::json(200, c.body));
    VoskaryError error = VoskaryError::notSignedIn();
    if (c.path == std::string(FakeAccountService::refreshPath)) {
      error = errorOf(client->refreshSerialized(session.refreshToken));
    } else if (c.path == std::string(FakeAccountService::appleAuthcodePath)) {
      error = errorOf(client->exchangeAppleAuthCode("code", std::nullopt, std::nullopt));
    } else {
      error = errorOf(client->getAppDataToken(session.vas));
    }
    EXPECT_EQ(error, VoskaryError::malformedResponse(c.field)) << c.body;
    auto line = log.only("request_decode_failed");
    ASSERT_TRUE(line) << c.body;
    EXPECT_EQ(line->fields,
              (VoskaryLogFields{{"endpoint", c.path}, {"class", "decode"}, {"field", c.field}}));
  }
  // The failed refresh spent nothing: the same token is sent again and now succeeds.
  auto renewed = await(client->refreshSerialized(session.refreshToken));
  EXPECT_TRUE(service->isLive(renewed.vas));
  EXPECT_EQ(service->requestCount(FakeAccountService::refreshPath), 2);
}

TEST_F(AuthClientTests, AppleExchangeFillsTheInstallIdAndDecodesSparseAnswers) {
  client = makeClient(nullptr, "install-config");
  service->queueAnswer(FakeAccountService::appleAuthcodePath,
                       SimHTTPAnswer::json(200, R"({"ok":true})"));
  auto sparse = await(client->exchangeAppleAuthCode("c1", std::nullopt, std::nullopt));
  EXPECT_EQ(sparse, AppleAuthcodeResponse{.ok = true});

  service->queueAnswer(FakeAccountService::appleAuthcodePath,
                       SimHTTPAnswer::json(200, R"({"ok":false})"));
  EXPECT_FALSE(await(client->exchangeAppleAuthCode("c2", "id-token", "install-arg")).ok);

  auto bodies = service->bodies(FakeAccountService::appleAuthcodePath);
  ASSERT_EQ(bodies.size(), 2u);
  EXPECT_EQ(bodies[0], platform::JSON({{"app_slug", "flagrig"},
                                       {"authorization_code", "c1"},
                                       {"install_id", "install-config"}}));
  EXPECT_EQ(bodies[1], platform::JSON({{"app_slug", "flagrig"},
                                       {"authorization_code", "c2"},
                                       {"identity_token", "id-token"},
                                       {"install_id", "install-arg"}}));
}

TEST_F(AuthClientTests, RevocationSucceedsOnAny2xx) {
  auto session = storeSession();
  await(client->revokeSession(session.vas));
  EXPECT_FALSE(service->isLive(session.vas));
  auto sent = requestsToPath(FakeAccountService::revokePath);
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_FALSE(sent[0].httpBody);
  EXPECT_EQ(sent[0].value("Authorization"), "Bearer " + session.vas);
  EXPECT_TRUE(sent[0].value("DPoP"));
  EXPECT_TRUE(service->proofs().back().valid);

  const std::pair<int, const char*> answers[] = {
      {200, R"({"ok":false})"}, {204, ""}, {200, ""}, {202, "accepted"}};
  for (const auto& [status, body] : answers) {
    service->queueAnswer(FakeAccountService::revokePath, SimHTTPAnswer::status(status, body));
    EXPECT_NO_THROW(await(client->revokeSession("vas_any"))) << status << " " << body;
  }
  service->queueAnswer(FakeAccountService::revokePath, SimHTTPAnswer::status(500));
  EXPECT_EQ(errorOf(client->revokeSession("vas_any")), VoskaryError::serverError(500));
}

TEST_F(AuthClientTests, UpgradeNoticeOnARefreshKeepsTheIssuedSession) {
  auto session = storeSession();
  service->setDeprecationHeader("client; min-version=9.0");
  EXPECT_EQ(errorOf(client->refreshSerialized(session.refreshToken)),
            VoskaryError::requiresUpgrade("9.0"));

  // The service rotated the token; the new session was handed on and stored all the same.
  ASSERT_EQ(rotations->count(), 1u);
  EXPECT_EQ(rotations->all[0].first, session.refreshToken);
  const VasResponse& issued = rotations->all[0].second;
  EXPECT_TRUE(service->isLive(issued.vas));
  EXPECT_EQ(storedSession()->vas, issued.vas);
  EXPECT_EQ(storedSession()->refreshToken, issued.refreshToken);

  // The spent token is never sent again.
  service->setDeprecationHeader(std::nullopt);
  EXPECT_EQ(await(client->refreshSerialized(session.refreshToken)), issued);
  EXPECT_EQ(service->requestCount(FakeAccountService::refreshPath), 1);
}

}  // namespace
}  // namespace voskary
