#include "Flagrig/Account/SIWAConsentConfirmView.h"

#include <gtest/gtest.h>

#include "AccountTest.h"
#include "Flagrig/Account/SignupConsentService.h"
#include "Flagrig/Account/VoskaryAccountBridge.h"
#include "Flagrig/Shell/Constants.h"
#include "Platform/Forms/FormHost.h"
#include "Platform/Foundation/JSONSerialization.h"
#include "Platform/Foundation/ProcessInfo.h"

namespace flagrig::testing {
namespace {

namespace forms = platform::forms;

class SIWAConsentConfirmViewTest : public AccountTest {
 protected:
  static constexpr const char* kConsents = "https://account.test/api/account/consents";
  static constexpr const char* kCapture = "https://contacts.test/api/v1/contacts/capture";

  void SetUp() override {
    AccountTest::SetUp();
    voskary::StoredSession session{"vas_token",
                                   std::nullopt,
                                   platform::env().clock->now().addingTimeInterval(3600),
                                   {{kAccountID}, kEmail, std::nullopt},
                                   "flagrig",
                                   platform::env().clock->now()};
    keychain().setJSON(session, voskary::KeychainStorage::Keys::session);
    manager().transition(State::signedIn({{kAccountID}, kEmail, std::nullopt}));
  }
  void TearDown() override {
    host.reset();
    view.reset();
    AccountTest::TearDown();
  }
  void answer(platform::sim::SimHTTPAnswer consents = platform::sim::SimHTTPAnswer::json(201, "{}"),
              platform::sim::SimHTTPAnswer capture = platform::sim::SimHTTPAnswer::json(200,
                                                                                        "{}")) {
    sim().http->respond("POST", kConsents, std::move(consents));
    sim().http->respond("POST", kCapture, std::move(capture));
  }
  void setRegion(std::optional<std::string> region) {
    auto fields = platform::env().processInfo->fields();
    fields.localeRegion = std::move(region);
    platform::env().processInfo->setFields(fields);
  }
  // Builds the screen in the current locale and draws it.
  void build() {
    view = SIWAConsentConfirmView::make(VoskaryAccountBridge::sharedPointer(),
                                        [this] { ++continued; });
    host = forms::FormHost::make([this](forms::FormHost& h) { return view->body(h); });
  }
  std::string boxSymbol() {
    std::function<const forms::Node*(const forms::Node&)> find =
        [&](const forms::Node& n) -> const forms::Node* {
      if (n.key() == "box") return &n;
      for (const auto& child : n.children()) {
        if (const auto* f = find(child)) return f;
      }
      return nullptr;
    };
    const auto* box = find(host->tree());
    return box ? box->text() : std::string();
  }
  bool tapBox() {
    bool tapped = host->tap(std::string(SignupConsentService::marketingConsentText));
    runUntilIdle();
    return tapped;
  }
  std::vector<platform::HTTPRequest> sentTo(const char* url) {
    std::vector<platform::HTTPRequest> found;
    auto all = sim().http->requests();
    for (auto i = requestsBefore; i < all.size(); ++i) {
      if (all[i].request.url.absoluteString() == url) found.push_back(all[i].request);
    }
    return found;
  }
  std::string captureMethod() {
    auto captures = sentTo(kCapture);
    if (captures.empty()) return "none";
    const auto& body = *captures.back().httpBody;
    return platform::JSONSerialization::parse(
               std::string(body.begin(), body.end()))["consent_method"]
        .get<std::string>();
  }

  std::shared_ptr<SIWAConsentConfirmView> view;
  std::shared_ptr<forms::FormHost> host;
  int continued = 0;
  std::size_t requestsBefore = 0;
};

TEST_F(SIWAConsentConfirmViewTest, TheBoxAndWhatContinueSends) {
  struct Case {
    const char* region;
    int toggles;
    bool startsChecked;
    const char* method;
  };
  const Case cases[] = {
      {"US", 0, true, "default_checked"},
      {"US", 2, true, "explicit_checkbox"},
      {"US", 1, true, "none"},
      {"DE", 0, false, "none"},
      {nullptr, 0, false, "none"},
      {"DE", 1, false, "explicit_checkbox"},
      {"DE", 2, false, "none"},
  };
  answer();
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.region ? c.region : "no region") + " toggled " +
                 std::to_string(c.toggles));
    requestsBefore = sim().http->requests().size();
    continued = 0;
    setRegion(c.region ? std::optional<std::string>(c.region) : std::nullopt);
    build();
    EXPECT_EQ(view->marketingChecked(), c.startsChecked);
    EXPECT_EQ(boxSymbol(), c.startsChecked ? "checkmark.square.fill" : "square");
    for (int i = 0; i < c.toggles; ++i) ASSERT_TRUE(tapBox());
    EXPECT_EQ(view->touched(), c.toggles > 0);
    ASSERT_TRUE(host->tap("Continue"));
    runUntilIdle();
    EXPECT_EQ(continued, 1);
    EXPECT_EQ(sentTo(kConsents).size(), 2u);
    EXPECT_EQ(captureMethod(), c.method);
  }
}

// What the user saw decides "default_checked": a locale that changes while the screen is up
// does not turn a kept pre-checked box into an explicit one.
TEST_F(SIWAConsentConfirmViewTest, TheMethodIsTheBoxAsTheScreenStarted) {
  answer();
  setRegion("US");
  build();
  setRegion("DE");
  host->tap("Continue");
  runUntilIdle();
  EXPECT_EQ(captureMethod(), "default_checked");
}

TEST_F(SIWAConsentConfirmViewTest, ContinueSubmitsOnceAndIsDisabledMeanwhile) {
  setRegion("DE");
  // The account service answers after 3 s.
  answer(platform::sim::SimHTTPAnswer::json(201, "{}").after(3));
  build();
  ASSERT_TRUE(host->tap("Continue"));
  runUntilIdle();
  EXPECT_TRUE(view->submitting());
  EXPECT_FALSE(host->tap("Continue")) << "disabled while it submits";
  view->continueTapped();
  EXPECT_TRUE(host->findAll(forms::NodeKind::progress).size() == 1);
  advance(10);
  EXPECT_EQ(continued, 1);
  EXPECT_EQ(sentTo(kConsents).size(), 2u);
  EXPECT_FALSE(view->submitting());
  EXPECT_TRUE(host->findAll(forms::NodeKind::progress).empty());
}

TEST_F(SIWAConsentConfirmViewTest, UnreachableServicesStillLeadOn) {
  setRegion("US");
  answer(platform::sim::SimHTTPAnswer::failing(platform::URLError::notConnectedToInternet),
         platform::sim::SimHTTPAnswer::failing(platform::URLError::notConnectedToInternet));
  build();
  host->tap("Continue");
  runUntilIdle();
  EXPECT_EQ(continued, 1);
}

TEST_F(SIWAConsentConfirmViewTest, TheTwoLinksOpenTheTermsAndThePrivacyPages) {
  answer();
  build();
  ASSERT_TRUE(host->tap(SIWAConsentConfirmView::termsTitle));
  ASSERT_TRUE(host->tap(SIWAConsentConfirmView::privacyTitle));
  const auto& opened = sim().desktop->workspace().openedURLs();
  ASSERT_EQ(opened.size(), 2u);
  EXPECT_EQ(opened[0], Constants::Identity::termsURL());
  EXPECT_EQ(opened[1], Constants::Identity::privacyURL());
  EXPECT_TRUE(host->find(forms::NodeKind::text, SIWAConsentConfirmView::title));
}

TEST_F(SIWAConsentConfirmViewTest, AScreenGoneBeforeTheAnswerCallsNothing) {
  setRegion("DE");
  answer(platform::sim::SimHTTPAnswer::json(201, "{}").after(3));
  build();
  host->tap("Continue");
  runUntilIdle();
  host.reset();
  view.reset();
  advance(10);
  EXPECT_EQ(continued, 0);
}

}  // namespace
}  // namespace flagrig::testing
