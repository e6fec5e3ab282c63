#include <gtest/gtest.h>
#include <algorithm>

#include "Flagrig/Shell/AppDelegate.h"
#include "Flagrig/Shell/URLSchemeRoute.h"
#include "Platform/Desktop/AppleEventDescriptor.h"
#include "ShellTest.h"

namespace flagrig {
namespace {

using namespace platform;

class URLSchemeTest : public testing::ShellTest {
 protected:
  void SetUp() override {
    ShellTest::SetUp();
    ax().setTrusted(true);
    env().defaults->set(AppDelegate::tagDemoCompleteKey, Value(true));
    delegate = launch();
    log->calls.clear();
  }
  std::shared_ptr<AppDelegate> delegate;
};

TEST_F(URLSchemeTest, HostsRoute) {
  struct Case {
    const char* host;
    URLSchemeRoute::Route route;
  };
  for (const Case& c : std::initializer_list<Case>{{"auth", URLSchemeRoute::signInReturn},
                                                   {"Auth", URLSchemeRoute::signInReturn},
                                                   {"AUTH-CALLBACK", URLSchemeRoute::signInReturn},
                                                   {"signed-in", URLSchemeRoute::signInReturn},
                                                   {"settings", URLSchemeRoute::ignored},
                                                   {"", URLSchemeRoute::ignored},
                                                   {"auth.", URLSchemeRoute::ignored}}) {
    EXPECT_EQ(URLSchemeRoute::forHost(c.host), c.route) << c.host;
  }
}

// Which delivered URLs reach the account manager.
TEST_F(URLSchemeTest, OnlySignInReturnsOfTheAppsOwnSchemeReachTheAccountManager) {
  struct Case {
    const char* url;
    bool recorded;
    bool handedOn;
  };
  for (const Case& c : std::initializer_list<Case>{
           {"flagrig://auth/callback?code=abc&state=xyz", true, true},
           {"flagrig://Auth/callback", true, true},
           {"flagrig://signed-in", true, true},
           {"flagrig://auth-callback/x?y", true, true},
           {"FLAGRIG://auth/callback", false, false},
           {"flagrig://settings", true, false},
           {"flagrig:auth", true, false},
           {"https://auth/callback", false, false},
           {"not a url at all \x01", false, false},
       }) {
    log->calls.clear();
    // Past the analytics throttle's window for repeats of one event.
    advance(120);
    auto before = trackedEvents().size();
    desktop().deliverURL(c.url);
    EXPECT_TRUE(calls().empty()) << "routed before the handler returned: " << c.url;
    runUntilIdle();
    EXPECT_EQ(calls().size(), c.handedOn ? 1u : 0u) << c.url;
    auto events = trackedEvents();
    ASSERT_EQ(events.size(), before + (c.recorded ? 1 : 0)) << c.url;
    if (c.recorded) {
      EXPECT_EQ(events.back(), "deep_link_activated");
      EXPECT_NE(bodies.back().find(R"("source":"url_scheme")"), std::string::npos);
    }
    if (c.handedOn && !calls().empty()) {
      EXPECT_EQ(calls()[0], std::string("account.resume(") + c.url + ")");
    }
  }
}

TEST_F(URLSchemeTest, AnEventWithoutADirectObjectIsIgnored) {
  AppleEventDescriptor event(AppleEventCode::internetEventClass, AppleEventCode::getURL);
  desktop().deliverAppleEvent(event);
  event.setParamDescriptor(AppleEventCode::directObjectKeyword, AppleEventDescriptor());
  desktop().deliverAppleEvent(event);
  runUntilIdle();
  EXPECT_TRUE(calls().empty());
}

TEST_F(URLSchemeTest, ATakenReturnBringsTheAppForwardWithTheFlowWindow) {
  account->takesSignIn = true;
  delegate->presentLoginFirstFlow(LoginFirstStep::signIn);
  desktop().deliverURL("flagrig://auth/callback?code=1");
  runUntilIdle();
  EXPECT_EQ(calls().back(), "account.activateForAuthReturn(window)");
  EXPECT_EQ(app().activationPolicy(), ActivationPolicy::regular);
  advance(1);
  EXPECT_EQ(app().activationPolicy(), ActivationPolicy::regular) << "the flow window is open";
}

TEST_F(URLSchemeTest, ATakenReturnWithNoWindowOpenLeavesNoDockIconBehind) {
  account->takesSignIn = true;
  desktop().deliverURL("flagrig://auth/callback?code=1");
  runUntilIdle();
  EXPECT_EQ(calls().back(), "account.activateForAuthReturn(none)");
  EXPECT_EQ(app().activationPolicy(), ActivationPolicy::regular);
  advance(0.3);
  EXPECT_EQ(app().activationPolicy(), ActivationPolicy::accessory);
}

TEST_F(URLSchemeTest, AReturnNobodyWaitsForChangesNothingButSaysSo) {
  desktop().deliverURL("flagrig://auth/callback?code=CODE1&state=STATE1");
  runUntilIdle();
  EXPECT_EQ(calls().size(), 1u);
  EXPECT_EQ(app().activationPolicy(), ActivationPolicy::accessory);
  auto lines = logLines();
  EXPECT_NE(std::find(lines.begin(), lines.end(),
                      "info auth: Sign-in return ignored: no sign-in is waiting for it"),
            lines.end());
  for (const auto& line : lines) {
    EXPECT_EQ(line.find("CODE1"), std::string::npos) << line;
    EXPECT_EQ(line.find("STATE1"), std::string::npos) << line;
  }
}

class URLSchemeAtStartTest : public testing::ShellTest {};

TEST_F(URLSchemeAtStartTest, AURLThatStartedTheAppIsRoutedAfterLaunching) {
  account->takesSignIn = true;
  desktop().deliverURL("flagrig://auth/callback?code=1");
  auto fresh = std::make_shared<AppDelegate>();
  app().setDelegate(fresh);
  app().finishLaunching();
  runUntilIdle();
  EXPECT_EQ(log->count("account.resume(flagrig://auth/callback?code=1)"), 1);
}

}  // namespace
}  // namespace flagrig
