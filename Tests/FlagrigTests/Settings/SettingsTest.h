#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "../Account/AccountTest.h"
#include "Flagrig/Settings/FlagrigSettingsView.h"
#include "Flagrig/Settings/SettingsWindowController.h"
#include "Flagrig/Settings/UpdaterService.h"
#include "Flagrig/Shell/AppScreens.h"
#include "Platform/Forms/FormHost.h"

namespace flagrig::testing {

// The first-run flow window as the shell opens it; records each opening with the e-mail the
// sign-in service shows at that moment.
class FlowOpeningRecorder final : public LoginFirstFlowWindow {
 public:
  struct Opening {
    LoginFirstStep step;
    std::optional<std::string> email;
    bool signedIn;
  };
  void present(LoginFirstStep step) override {
    auto& service = SignInService::shared();
    openings.push_back({step, service.accountEmail(), service.isSignedIn()});
  }
  std::vector<Opening> openings;
};

// The settings window on the simulated machine, with the account side of `AccountTest`.
class SettingsTest : public AccountTest {
 protected:
  using NodeKind = platform::forms::NodeKind;
  using Node = platform::forms::Node;

  void SetUp() override {
    AccountTest::SetUp();
    SettingsWindowController::install();
  }

  SettingsWindowController& controller() { return *SettingsWindowController::shared(); }
  platform::forms::FormHost& form() { return *controller().host(); }
  FlagrigSettingsView& view() { return *controller().view(); }
  // Opens the window as the status menu does and lets the form redraw.
  platform::forms::FormHost& open() {
    AppScreens::shared().settings->showWindow();
    runUntilIdle();
    return form();
  }

  const Node* toggle(std::string_view title) { return form().find(NodeKind::toggle, title); }
  bool isOn(std::string_view title) {
    const Node* node = toggle(title);
    EXPECT_TRUE(node) << title;
    return node && node->isOn();
  }
  bool isDisabled(NodeKind kind, std::string_view title) {
    const Node* node = form().find(kind, title);
    EXPECT_TRUE(node) << title;
    return node && form().isEffectivelyDisabled(*node);
  }
  bool shows(std::string_view text) { return form().find(NodeKind::text, text) != nullptr; }
  // The section with this header, if the form has one.
  const Node* section(std::string_view header) { return form().find(NodeKind::section, header); }
  // Texts of a section's rows, depth first.
  static void collectTexts(const Node& node, std::vector<std::string>& out) {
    if (node.kind() == NodeKind::text) out.push_back(node.text());
    for (const auto& child : node.children()) collectTexts(child, out);
  }

  // Signs in without a browser: a stored session and the manager's state, which the attached
  // service mirrors.
  void signInDirectly(const std::string& email = kEmail) {
    attached();
    voskary::StoredSession session{"vas_settings",
                                   std::nullopt,
                                   platform::env().clock->now().addingTimeInterval(3600),
                                   {{kAccountID}, email, std::nullopt},
                                   "flagrig",
                                   platform::env().clock->now()};
    keychain().setJSON(session, voskary::KeychainStorage::Keys::session);
    manager().transition(State::signedIn({{kAccountID}, email, std::nullopt}));
    runUntilIdle();
  }

  // A build with an update feed: the simulated updater framework behind the wrapper, able to
  // check once its first state has arrived.
  platform::sim::SimSoftwareUpdater& configureUpdates() {
    platform::Value::Dictionary info{{"CFBundleName", platform::Value("Flagrig")},
                                     {"CFBundleShortVersionString", platform::Value("1.2")},
                                     {"SUFeedURL", platform::Value("https://updates.test/a.xml")},
                                     {"SUPublicEDKey", platform::Value("pfIShU4dEXqPd5ObYNfD")}};
    sim().bundle->setInfoDictionary(platform::Value(info));
    UpdaterService::shared();
    runUntilIdle();
    return *sim().updaters->started().back();
  }
};

}  // namespace flagrig::testing
