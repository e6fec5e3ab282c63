#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "../Account/AccountTest.h"
#include "Flagrig/Onboarding/LoginFirstFlowModel.h"
#include "Flagrig/Onboarding/LoginFirstFlowView.h"
#include "Flagrig/Onboarding/NetworkReachabilityService.h"
#include "Platform/Desktop/Application.h"
#include "Platform/Desktop/Window.h"
#include "Platform/Forms/FormHost.h"
#include "Platform/Foundation/DateFormats.h"
#include "Platform/Sim/SimDesktop.h"

namespace flagrig::testing {

// The first-run flow on the simulated machine, with the account side of `AccountTest`: a flow
// view and its form host over a visible window of our own, its completions and resizes
// recorded.
class OnboardingTest : public AccountTest {
 protected:
  using Hint = voskary::OAuthDriver::ProviderHint;
  using Phase = voskary::VoskarySignInScreen::Phase;

  void SetUp() override {
    // A fresh browser too, for tests that run several fresh machines in turn.
    browser = std::make_shared<tarnwick::testing::FakeBrowser>(authority);
    AccountTest::SetUp();
  }
  void TearDown() override {
    host.reset();
    view.reset();
    if (window) window->close();
    window.reset();
    AccountTest::TearDown();
  }

  void setTrusted(bool trusted) { sim().desktop->accessibility().setTrusted(trusted); }

  // A flow at `step` over the shared sign-in service (attached unless told otherwise).
  void openFlow(LoginFirstStep step = LoginFirstStep::signIn, bool attach = true) {
    if (attach) attached();
    *completions = 0;
    resizes->clear();
    window = std::make_shared<platform::Window>(
        platform::Rect(100, 100, 520, 640),
        platform::StyleMask::titled | platform::StyleMask::closable);
    window->setReleasedWhenClosed(false);
    window->makeKeyAndOrderFront();
    model = std::make_shared<LoginFirstFlowModel>(step);
    LoginFirstFlowView::Configuration configuration;
    configuration.subscription = SignInService::sharedPointer();
    configuration.bridge = VoskaryAccountBridge::sharedPointer();
    configuration.model = model;
    auto done = completions;
    configuration.onComplete = [done] { ++*done; };
    auto sizes = resizes;
    configuration.resizeHostWindow = [sizes](LoginFirstStep s) { sizes->push_back(s); };
    std::weak_ptr<platform::Window> weak = window;
    configuration.hostWindow = [weak] { return weak.lock(); };
    view = LoginFirstFlowView::make(std::move(configuration));
    host = view->makeHost();
    runUntilIdle();
  }

  // The Apple sheet answers with a credential; the account service says whether the account
  // is new (absent: it does not say).
  void answerApple(std::optional<bool> isNewUser, const std::string& vas = "vas_apple") {
    platform::JSON body = {
        {"ok", true},
        {"voskary_account_id", kAccountID},
        {"email", kEmail},
        {"vas", vas},
        {"refresh_token", "rt_apple"},
        {"expires_at",
         platform::DateFormats::iso8601(platform::env().clock->now().addingTimeInterval(3600))}};
    if (isNewUser) body["is_new_user"] = *isNewUser;
    service->queueAnswer(voskary::testing::FakeAccountService::appleAuthcodePath,
                         voskary::testing::FakeAccountService::jsonAnswer(200, body));
    runUntilIdle();
    const std::string code = "apple-code";
    ASSERT_TRUE(sim().appleID->complete(
        platform::AppleIDCredential{"001.user", platform::Bytes(code.begin(), code.end()),
                                    std::nullopt, std::nullopt, std::nullopt}));
    runUntilIdle();
  }

  bool tap(std::string_view title) {
    bool tapped = host->tap(title);
    runUntilIdle();
    return tapped;
  }

  int count(const std::string& event) {
    int n = 0;
    for (const auto& name : eventNames()) n += name == event;
    return n;
  }
  std::optional<Event> lastEvent(const std::string& name) {
    std::optional<Event> found;
    for (auto& event : events())
      if (event.name == name) found = event;
    return found;
  }

  std::shared_ptr<platform::Window> window;
  std::shared_ptr<LoginFirstFlowModel> model;
  std::shared_ptr<LoginFirstFlowView> view;
  std::shared_ptr<platform::forms::FormHost> host;
  std::shared_ptr<int> completions = std::make_shared<int>(0);
  std::shared_ptr<std::vector<LoginFirstStep>> resizes =
      std::make_shared<std::vector<LoginFirstStep>>();
};

}  // namespace flagrig::testing
