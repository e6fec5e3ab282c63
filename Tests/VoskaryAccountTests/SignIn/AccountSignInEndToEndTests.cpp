// The whole account sign-in on the real backends: libcurl against loopback servers that serve
// the fake authority and the fake account service, a browser played by a script, and the
// session kept in a real Secret Service on a private bus.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>

#include "Platform/Foundation/Clock.h"
#include "Platform/Foundation/DispatchQueue.h"
#include "Platform/Foundation/Environment.h"
#include "Platform/Foundation/NotificationCenter.h"
#include "Platform/Foundation/RunLoop.h"
#include "Platform/Foundation/SharedInstance.h"
#include "Platform/Foundation/UserDefaults.h"
#include "Platform/Linux/CurlTransport.h"
#include "Platform/Linux/LinuxProcessInfo.h"
#include "Platform/Linux/SecretServiceKeychain.h"
#include "Platform/Linux/UnavailableAppleIDAuthorization.h"
#include "Platform/Network/HTTPSession.h"
#include "Platform/Security/KeychainKeyStore.h"
#include "Platform/Sim/SimHTTPServer.h"
#include "Platform/Sim/SimSystemLog.h"
#include "PlatformTests/Linux/LoopbackHTTPServer.h"
#include "PlatformTests/Linux/PrivateSecretService.h"
#include "Support/FakeAccountService.h"
#include "Support/StandIns/AccountServiceOverHTTP.h"
#include "Support/Tarnwick/FakeAuthority.h"
#include "Support/TaskOutcome.h"
#include "Tarnwick/UserAgentPlatform.h"
#include "Tarnwick/XdgOpenURLOpener.h"
#include "TarnwickCore/OIDURLQueryComponent.h"
#include "VoskaryAccount/SignIn/VoskaryAccountManager.h"

namespace voskary::testing {
namespace {

using platform::testing::LoopbackHTTPServer;
using State = VoskaryAccountManager::State;

constexpr const char* kAccountID = "va_0190b3c4-5d6e-7f80-9a1b-2c3d4e5f6a7b";
constexpr const char* kEmail = "someone@voskary.test";

// Reads the authorization page with the browser's first request and writes where the page
// sends it: the redirect to the app's scheme.
constexpr const char* kBrowserScript = R"(#!/usr/bin/env python3
import http.client, os, sys, urllib.parse
out = os.path.join(os.path.dirname(os.path.abspath(__file__)), "redirect")
u = urllib.parse.urlsplit(sys.argv[1])
connection = http.client.HTTPConnection(u.hostname, u.port, timeout=10)
connection.request("GET", u.path + ("?" + u.query if u.query else ""))
location = connection.getresponse().getheader("Location") or ""
with open(out + ".tmp", "w") as f:
    f.write(location)
os.rename(out + ".tmp", out)
)";

class AccountSignInEndToEndTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string reason;
    if (!platform::testing::PrivateSecretService::shared(reason)) GTEST_SKIP() << reason;
    if (std::system("python3 -c '' >/dev/null 2>&1") != 0) GTEST_SKIP() << "python3 is missing";

    char folder[] = "/tmp/flagrig-account-e2e-XXXXXX";
    ASSERT_TRUE(mkdtemp(folder));
    directory_ = folder;
    const std::string script = directory_ + "/browser";
    std::ofstream(script) << kBrowserScript;
    chmod(script.c_str(), 0700);

    platform::resetSharedInstances();
    auto e = std::make_shared<platform::Environment>();
    e->clock = std::make_shared<platform::SystemClock>();
    e->mainLoop = std::make_shared<platform::RunLoop>(e->clock);
    e->backgroundPool = std::make_shared<platform::ThreadPool>(2);
    e->notificationCenter = std::make_shared<platform::NotificationCenter>();
    e->defaults = std::make_shared<platform::UserDefaults>(
        std::make_shared<platform::MemoryDefaultsStore>(), e->notificationCenter);
    e->keychain = std::make_shared<platform::linuxbackend::SecretServiceKeychain>();
    e->keyStore = std::make_shared<platform::KeychainKeyStore>(e->keychain);
    e->httpSession = std::make_shared<platform::HTTPSession>(
        std::make_shared<platform::linuxbackend::CurlTransport>(),
        platform::URLSessionConfiguration::defaultConfiguration());
    e->systemLog = std::make_shared<platform::sim::SimSystemLog>();
    e->processInfo = platform::linuxbackend::currentProcessInfo();
    e->appleIDAuthorization =
        std::make_shared<platform::linuxbackend::UnavailableAppleIDAuthorization>();
    e->reportUnhandledError = [this](std::string_view message) {
      unhandled_.emplace_back(message);
    };
    environment_ = e;
    previous_ = platform::installEnvironment(e);
    tarnwick::UserAgentPlatform::setURLOpener(std::make_shared<tarnwick::XdgOpenURLOpener>(script));

    accounts_ = std::make_unique<AccountServiceOverHTTP>();
    authorityServer_ = std::make_unique<LoopbackHTTPServer>(
        [this](const LoopbackHTTPServer::Request& request) { return authorityAnswer(request); });
    // Once set, only the server's thread uses it until the test reads what it issued.
    authority_ = std::make_unique<tarnwick::testing::FakeAuthority>(
        tarnwick::testing::FakeAuthority::Configuration{platform::URL(authorityServer_->url("")),
                                                        "flagrig",
                                                        platform::URL("flagrig://auth/callback"),
                                                        {"voskary.account"}});
    authorityReady_ = true;
  }

  void TearDown() override {
    if (!environment_) return;
    manager_.reset();
    platform::cancelAllSpawnedTasks();
    runFor(0.05);
    authorityServer_.reset();
    accounts_.reset();
    platform::resetSharedInstances();
    environment_->mainLoop->discardPendingWork();
    platform::installEnvironment(previous_);
    std::filesystem::remove_all(directory_);
    EXPECT_TRUE(unhandled_.empty()) << unhandled_.front();
  }

  std::string authorityAnswer(const LoopbackHTTPServer::Request& request) {
    if (!authorityReady_) return {};
    if (request.method == "GET" && request.target == "/.well-known/openid-configuration")
      return LoopbackHTTPServer::answer(200, {{"Content-Type", "application/json"}},
                                        authority_->discoveryJSON());
    auto redirect = authority_->redirectFor(platform::URL(authorityServer_->url(request.target)));
    if (!redirect) return LoopbackHTTPServer::answer(400, {}, "unknown request");
    return LoopbackHTTPServer::answer(302, {{"Location", redirect->absoluteString()}}, "");
  }

  VoskaryConfig config() {
    return VoskaryConfig(platform::URL(authorityServer_->url("")), platform::URL(accounts_->base()),
                         "flagrig", "flagrig", "1.4.2", "0.9.2",
                         platform::URL("flagrig://auth/callback"), AuthScheme::systemBrowser,
                         std::nullopt, {"voskary.account"}, environment_->httpSession, {},
                         std::nullopt);
  }

  // Runs the real main loop until `done` holds or `seconds` pass.
  bool runUntil(const std::function<bool()>& done, double seconds = 20) {
    auto loop = environment_->mainLoop;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    auto timer = loop->scheduleTimer(0.01, platform::TimerKind::repeating, [&](platform::Timer&) {
      if (done() || std::chrono::steady_clock::now() > deadline) loop->stop();
    });
    loop->run();
    timer->invalidate();
    return done();
  }
  void runFor(double seconds) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    runUntil([until] { return std::chrono::steady_clock::now() > until; }, seconds + 1);
  }

  template <class T>
  using Outcome = platform::testing::TaskOutcome<T, std::string>;
  template <class T>
  std::shared_ptr<Outcome<T>> run(platform::Task<T> task) {
    auto out = platform::testing::startTask<std::string>(std::move(task));
    EXPECT_TRUE(runUntil([out] { return out->done; })) << "timed out";
    return out;
  }

  std::optional<StoredSession> storedInSecretService() {
    // A store of its own: what a later run of the app would read.
    return KeychainStorage("flagrig").getJSON<StoredSession>(KeychainStorage::Keys::session);
  }

  std::string directory_;
  std::shared_ptr<platform::Environment> environment_;
  std::shared_ptr<platform::Environment> previous_;
  std::vector<std::string> unhandled_;
  std::unique_ptr<AccountServiceOverHTTP> accounts_;
  std::unique_ptr<LoopbackHTTPServer> authorityServer_;
  std::unique_ptr<tarnwick::testing::FakeAuthority> authority_;
  std::atomic<bool> authorityReady_{false};
  std::shared_ptr<VoskaryAccountManager> manager_;
};

TEST_F(AccountSignInEndToEndTest, SignsInRestoresRefreshesAndSignsOut) {
  FakeAccountService& service = accounts_->service();
  KeychainStorage("flagrig").deleteData(KeychainStorage::Keys::session);
  service.setRequireDPoP(true);
  // The first session ends within two days, so that the next signed-in call refreshes it.
  service.setSessionLifetime(3600);

  // --- Sign-in through the browser ---------------------------------------------------------
  manager_ = VoskaryAccountManager::make(config());
  std::vector<State> heard;
  std::mutex heardMutex;
  auto subscription = manager_->onStateChange([&](const State& s) {
    std::lock_guard lock(heardMutex);
    heard.push_back(s);
  });
  auto signIn = platform::testing::startTask<std::string>(
      manager_->signIn(nullptr, OAuthDriver::ProviderHint::google, std::nullopt));
  const std::string redirectFile = directory_ + "/redirect";
  ASSERT_TRUE(runUntil([&] { return std::filesystem::exists(redirectFile); }))
      << "the browser never reached the authority";
  std::string redirectText;
  std::getline(std::ifstream(redirectFile), redirectText);
  platform::URL redirect(redirectText);
  tarnwick::OIDURLQueryComponent query(redirect);
  auto codes = query.valuesForParameter("code");
  ASSERT_TRUE(codes && !codes->empty()) << redirectText;
  service.addAuthorizationCode(codes->front(), kAccountID, kEmail);
  EXPECT_FALSE(manager_->resume(platform::URL("flagrig://settings/open")));
  ASSERT_TRUE(manager_->resume(redirect));
  ASSERT_TRUE(runUntil([&] { return signIn->done; }));
  ASSERT_TRUE(signIn->value) << signIn->error.value_or("");
  const VoskaryAccount account{{kAccountID}, kEmail, std::nullopt};
  EXPECT_EQ(*signIn->value, account);
  EXPECT_EQ(manager_->state(), State::signedIn(account));
  {
    std::lock_guard lock(heardMutex);
    EXPECT_EQ(heard, (std::vector<State>{State::signedOut(), State::signingIn(),
                                         State::signedIn(account)}));
  }
  auto exchanges = service.bodies(FakeAccountService::exchangePath);
  ASSERT_EQ(exchanges.size(), 1u);
  EXPECT_TRUE(authority_->redeem(exchanges[0]["code"], exchanges[0]["code_verifier"]));
  EXPECT_EQ(exchanges[0]["install_id"], *manager_->config().installID());
  auto first = storedInSecretService();
  ASSERT_TRUE(first);
  EXPECT_TRUE(service.isLive(first->vas));
  subscription.reset();

  // --- A restart: a new manager restores the stored session ------------------------------
  service.setSessionLifetime(30 * 24 * 3600.0);
  manager_.reset();
  manager_ = VoskaryAccountManager::make(config());
  EXPECT_EQ(manager_->state(), State::signedOut());
  auto restored = run(manager_->restore());
  ASSERT_TRUE(restored->value);
  EXPECT_EQ(*restored->value, account);
  EXPECT_EQ(manager_->state(), State::signedIn(account));

  // --- A signed-in call refreshes the session that ends soon -----------------------------
  auto token = run(manager_->getAppDataToken());
  ASSERT_TRUE(token->value) << token->error.value_or("");
  auto second = storedInSecretService();
  ASSERT_TRUE(second);
  EXPECT_NE(second->vas, first->vas);
  EXPECT_EQ(*token->value, "adt_" + second->vas);
  EXPECT_FALSE(service.isLive(first->vas));
  EXPECT_EQ(service.requestCount(FakeAccountService::refreshPath), 1);
  for (const auto& proof : service.proofs()) {
    EXPECT_TRUE(proof.valid);
    EXPECT_EQ(proof.jkt, manager_->dpopThumbprint());
  }

  // --- Sign-out revokes the session and forgets it ---------------------------------------
  auto signOut = run(manager_->signOut());
  EXPECT_TRUE(signOut->done && !signOut->error) << signOut->error.value_or("");
  EXPECT_EQ(service.requestCount(FakeAccountService::revokePath), 1);
  EXPECT_FALSE(service.isLive(second->vas));
  EXPECT_FALSE(storedInSecretService());
  EXPECT_EQ(manager_->state(), State::signedOut());
}

}  // namespace
}  // namespace voskary::testing
