#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <stdexcept>
#include <thread>

#include "AccountTest.h"
#include "Flagrig/Account/SignupConsentService.h"
#include "Flagrig/Diagnostics/DiagnosticUploader.h"
#include "Platform/Linux/CurlTransport.h"
#include "Platform/Network/HTTPSession.h"
#include "PlatformTests/Linux/LoopbackHTTPServer.h"
#include "Support/CompactJWS.h"

namespace flagrig::testing {
namespace {

using platform::testing::LoopbackHTTPServer;

std::string field(const LoopbackHTTPServer::Request& request, std::string_view name) {
  for (const auto& [key, value] : request.headerFields)
    if (platform::HTTPHeaderFields::sameName(key, name)) return value;
  return {};
}

// The server's side of a multipart/form-data body: part name to (headers, content).
std::map<std::string, std::pair<std::string, std::string>> formParts(
    const LoopbackHTTPServer::Request& request) {
  std::map<std::string, std::pair<std::string, std::string>> parts;
  const std::string type = field(request, "Content-Type");
  const auto at = type.find("boundary=");
  if (at == std::string::npos) return parts;
  const std::string delimiter = "--" + type.substr(at + 9);
  const std::string& body = request.body;
  std::size_t start = body.find(delimiter);
  while (start != std::string::npos) {
    start += delimiter.size();
    if (body.compare(start, 2, "--") == 0) break;
    start += 2;  // CRLF
    auto end = body.find("\r\n" + delimiter, start);
    if (end == std::string::npos) break;
    std::string part = body.substr(start, end - start);
    auto blank = part.find("\r\n\r\n");
    if (blank == std::string::npos) break;
    std::string headers = part.substr(0, blank);
    auto name = headers.find("name=\"");
    if (name == std::string::npos) break;
    auto nameEnd = headers.find('"', name + 6);
    parts[headers.substr(name + 6, nameEnd - name - 6)] = {headers, part.substr(blank + 4)};
    start = end + 2;
  }
  return parts;
}

// The report upload and the consent submission over the real libcurl session, to servers on
// 127.0.0.1 that parse what they receive.
class AccountLoopbackTest : public AccountTest {
 protected:
  void SetUp() override {
    AccountTest::SetUp();
    try {
      account_ = std::make_unique<LoopbackHTTPServer>([](const LoopbackHTTPServer::Request& r) {
        if (r.target == "/svc/diagnostics")
          return LoopbackHTTPServer::answer(201, {{"Content-Type", "application/json"}},
                                            R"({"short_code":"LB-42"})");
        return LoopbackHTTPServer::answer(204, {}, "");
      });
      marketing_ = std::make_unique<LoopbackHTTPServer>([](const LoopbackHTTPServer::Request&) {
        return LoopbackHTTPServer::answer(200, {}, "{}");
      });
    } catch (const std::runtime_error& e) {
      GTEST_SKIP() << "no loopback HTTP server: " << e.what();
    }
    ServiceAddresses::setActiveForTesting(
        {platform::URL(account_->url("/svc")), platform::URL("https://analytics.test"),
         platform::URL("https://web.test"), platform::URL(marketing_->url("")),
         platform::URL(kIssuer)});
    sim().environment->httpSession = std::make_shared<platform::HTTPSession>(
        std::make_shared<platform::linuxbackend::CurlTransport>(),
        platform::URLSessionConfiguration::defaultConfiguration());
    signInWithSessionToken("vas_loopback");
  }

  // Runs the main loop until `done`, while real transfers finish on libcurl's thread.
  bool pumpUntil(const bool& done) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!done && std::chrono::steady_clock::now() < until) {
      runUntilIdle();
      if (!done) std::this_thread::yield();
    }
    return done;
  }

  std::unique_ptr<LoopbackHTTPServer> account_;
  std::unique_ptr<LoopbackHTTPServer> marketing_;
};

TEST_F(AccountLoopbackTest, AReportReachesTheServerAsTwoFormPartsAndReturnsItsCode) {
  DiagnosticLogBuffer::shared().add("info", "lifecycle", "App launched (v1.0.0)");
  auto out = start(DiagnosticUploader::shared().uploadManual());
  ASSERT_TRUE(pumpUntil(out->done));
  ASSERT_FALSE(out->error);
  EXPECT_EQ(out->value, "LB-42");

  auto requests = account_->requests();
  ASSERT_EQ(requests.size(), 1u);
  const auto& request = requests[0];
  EXPECT_EQ(request.method, "POST");
  EXPECT_EQ(request.target, "/svc/diagnostics");
  EXPECT_EQ(field(request, "Authorization"), "Bearer vas_loopback");
  auto parts = formParts(request);
  ASSERT_EQ(parts.size(), 2u);
  ASSERT_TRUE(parts.contains("metadata") && parts.contains("blob"));
  EXPECT_NE(parts["blob"].first.find("Content-Type: application/zip"), std::string::npos);
  auto metadata = platform::JSONSerialization::parse(parts["metadata"].second);
  EXPECT_EQ(metadata["kind"], "manual");
  EXPECT_EQ(metadata.size(), 9u);
  const auto& zip = parts["blob"].second;
  ASSERT_GT(zip.size(), 30u);
  EXPECT_EQ(zip.substr(0, 4), std::string("PK\x03\x04", 4));
  EXPECT_NE(zip.find("diagnostic.json"), std::string::npos);
  EXPECT_NE(zip.find("App launched (v1.0.0)"), std::string::npos) << "the ring is stored as is";
}

TEST_F(AccountLoopbackTest, AConsentSubmissionPostsTermsPrivacyAndTheCapture) {
  auto out = start(SignupConsentService::submit(VoskaryAccountBridge::sharedPointer(),
                                                {.checked = true, .touched = true}));
  ASSERT_TRUE(pumpUntil(out->done));
  auto consents = account_->requests();
  ASSERT_EQ(consents.size(), 2u);
  const char* kinds[] = {"terms", "privacy"};
  for (std::size_t i = 0; i < consents.size(); ++i) {
    EXPECT_EQ(consents[i].target, "/svc/api/account/consents");
    EXPECT_EQ(field(consents[i], "Authorization"), "Bearer vas_loopback");
    auto proof = voskary::testing::CompactJWS::parse(field(consents[i], "DPoP"));
    ASSERT_TRUE(proof);
    auto claims = platform::JSONSerialization::parse(proof->claims);
    EXPECT_EQ(claims["htu"], account_->url("/svc/api/account/consents"));
    EXPECT_EQ(platform::JSONSerialization::parse(consents[i].body)["kind"], kinds[i]);
  }
  auto captures = marketing_->requests();
  ASSERT_EQ(captures.size(), 1u);
  EXPECT_EQ(captures[0].target, "/api/v1/contacts/capture");
  EXPECT_EQ(field(captures[0], "Authorization"), "");
  auto body = platform::JSONSerialization::parse(captures[0].body);
  EXPECT_EQ(body["email"], kEmail);
  EXPECT_EQ(body["consent_method"], "explicit_checkbox");
  EXPECT_EQ(body["voskary_account_id"], kAccountID);
  auto lines = logLines();
  for (const auto& line : lines) EXPECT_EQ(line.find(" consent: "), std::string::npos) << line;
}

}  // namespace
}  // namespace flagrig::testing
