#include <gtest/gtest.h>

#include "Flagrig/Diagnostics/DiagnosticLogBuffer.h"
#include "Flagrig/Diagnostics/DiagnosticUploader.h"
#include "Flagrig/Settings/DiagnosticReportButton.h"
#include "Flagrig/Shell/Constants.h"
#include "Platform/Desktop/Application.h"
#include "Platform/Sim/SimAccessibility.h"
#include "SettingsTest.h"
#include "VoskaryAccount/Telemetry/ErrorTelemetryConsent.h"

namespace flagrig::testing {
namespace {

using platform::Value;
using voskary::ErrorTelemetryConsent;
using View = FlagrigSettingsView;

class SettingsPreferencesTest : public SettingsTest {
 protected:
  platform::UserDefaults& defaults() { return *platform::env().defaults; }
  const Event* lastEvent(const std::string& name) {
    static std::vector<Event> kept;
    kept = events();
    for (auto it = kept.rbegin(); it != kept.rend(); ++it)
      if (it->name == name) return &*it;
    return nullptr;
  }
};

TEST_F(SettingsPreferencesTest, AFreshInstallShowsTheDefaults) {
  open();
  EXPECT_TRUE(isOn(View::shareAnalyticsTitle));
  EXPECT_FALSE(isOn(View::launchAtLoginTitle));
  EXPECT_FALSE(isOn(View::betaUpdatesTitle));
  EXPECT_TRUE(isOn(View::diagnosticsTitle));
  EXPECT_FALSE(isOn(View::verboseTitle));
  EXPECT_TRUE(isOn(View::errorReportsTitle)) << "outside the EU";
  EXPECT_TRUE(shows(View::signInToReportText));
  EXPECT_FALSE(form().find(NodeKind::button, DiagnosticReportButton::sendTitle));
}

TEST_F(SettingsPreferencesTest, AnalyticsToggleStoresTheOptOutAsItsInverse) {
  open();
  ASSERT_TRUE(form().setToggle(View::shareAnalyticsTitle, false));
  runUntilIdle();
  EXPECT_EQ(defaults().object("flagrig.analyticsDisabled"), Value(true));
  EXPECT_FALSE(isOn(View::shareAnalyticsTitle));
  ASSERT_TRUE(form().setToggle(View::shareAnalyticsTitle, true));
  runUntilIdle();
  EXPECT_EQ(defaults().object("flagrig.analyticsDisabled"), Value(false)) << "not removed";
  EXPECT_TRUE(isOn(View::shareAnalyticsTitle));
}

TEST_F(SettingsPreferencesTest, LaunchAtLoginRegistersAndUnregistersTheLoginItem) {
  open();
  ASSERT_TRUE(form().setToggle(View::launchAtLoginTitle, true));
  runUntilIdle();
  EXPECT_EQ(sim().loginItem->status(), platform::LoginItem::Status::enabled);
  EXPECT_TRUE(isOn(View::launchAtLoginTitle));
  ASSERT_TRUE(form().setToggle(View::launchAtLoginTitle, false));
  runUntilIdle();
  EXPECT_EQ(sim().loginItem->status(), platform::LoginItem::Status::notRegistered);
  EXPECT_FALSE(isOn(View::launchAtLoginTitle));
}

// A refused change is logged and the form redraws at once, so the switch springs back to the
// item's real state instead of showing what the user asked for.
TEST_F(SettingsPreferencesTest, ARefusedLoginItemChangeIsLoggedAndRedrawnAtOnce) {
  open();
  sim().loginItem->refusal = "autostart folder is read-only";
  const int renders = form().renderCount();
  ASSERT_TRUE(form().setToggle(View::launchAtLoginTitle, true));
  runUntilIdle();
  EXPECT_GT(form().renderCount(), renders) << "redrawn after the failed change";
  EXPECT_FALSE(isOn(View::launchAtLoginTitle));
  EXPECT_EQ(sim().loginItem->registerCalls, 1);
  auto lines = logLines();
  EXPECT_NE(
      std::find(lines.begin(), lines.end(), "warn settings: Login item register/unregister failed"),
      lines.end());
}

TEST_F(SettingsPreferencesTest, PermissionRowsShowTheirStateAndAButtonOnlyWhenMissing) {
  struct Case {
    bool screen, accessibility;
  };
  for (const auto& c : std::vector<Case>{{false, false}, {true, true}, {true, false}}) {
    sim().desktop->windowServer().setScreenCaptureAccess(c.screen);
    sim().desktop->accessibility().setTrusted(c.accessibility);
    open();
    platform::env().notificationCenter->post(
        std::string(platform::Application::didBecomeActiveNotification), nullptr);
    runUntilIdle();
    EXPECT_TRUE(shows(c.screen ? View::screenRecordingGranted : View::screenRecordingNeeded));
    EXPECT_TRUE(shows(c.accessibility ? View::accessibilityGranted : View::accessibilityNeeded));
    const auto all = form().findAll(NodeKind::button);
    const auto buttons = std::count_if(
        all.begin(), all.end(), [](const Node* n) { return n->title() == View::grantAccessTitle; });
    EXPECT_EQ(buttons, (c.screen ? 0 : 1) + (c.accessibility ? 0 : 1));
    const Node* granted = form().find(NodeKind::text, View::accessibilityGranted);
    if (granted) {
      EXPECT_EQ(granted->foreground(), platform::Color::systemGreen());
    }
  }
  // Screen Recording comes first.
  std::vector<std::string> texts;
  collectTexts(*section("General"), texts);
  auto screen = std::find(texts.begin(), texts.end(), std::string(View::screenRecordingGranted));
  auto access = std::find(texts.begin(), texts.end(), std::string(View::accessibilityNeeded));
  ASSERT_NE(screen, texts.end());
  ASSERT_NE(access, texts.end());
  EXPECT_LT(screen, access);
}

TEST_F(SettingsPreferencesTest, UnconfiguredUpdatesDisableBothControlsAndSaySo) {
  open();
  EXPECT_TRUE(isDisabled(NodeKind::button, View::checkForUpdatesTitle));
  EXPECT_TRUE(isDisabled(NodeKind::toggle, View::betaUpdatesTitle));
  EXPECT_TRUE(shows(View::updatesDisabledText));
  EXPECT_FALSE(form().tap(View::checkForUpdatesTitle));
  EXPECT_TRUE(sim().updaters->started().empty()) << "no updater in a build without a feed";
}

// The updater's change signal redraws the open window: a failed check and a change of "can
// check" show without any other change to the form.
TEST_F(SettingsPreferencesTest, TheUpdatesRowsFollowTheUpdaterWhileTheWindowIsOpen) {
  auto& framework = configureUpdates();
  open();
  EXPECT_FALSE(isDisabled(NodeKind::button, View::checkForUpdatesTitle));
  ASSERT_TRUE(form().tap(View::checkForUpdatesTitle));
  framework.finishUpdateCycle(platform::UpdaterError{"NSURLErrorDomain", "The network is down."});
  runUntilIdle();
  EXPECT_TRUE(shows("Update check failed: The network is down."));
  framework.setCanCheckForUpdates(false);
  runUntilIdle();
  EXPECT_TRUE(isDisabled(NodeKind::button, View::checkForUpdatesTitle));
  EXPECT_TRUE(isDisabled(NodeKind::toggle, View::betaUpdatesTitle));
  EXPECT_TRUE(shows(View::updatesDisabledText));
}

TEST_F(SettingsPreferencesTest, TheBetaToggleTracksEveryChangeAndChecksOnlyWhenTurnedOn) {
  auto& framework = configureUpdates();
  open();
  EXPECT_FALSE(shows(View::updatesDisabledText));
  ASSERT_TRUE(form().setToggle(View::betaUpdatesTitle, true));
  runUntilIdle();
  EXPECT_EQ(defaults().object("flagrig.betaUpdatesEnabled"), Value(true));
  EXPECT_EQ(framework.checkCount(), 1);
  const Event* on = lastEvent("beta_updates_setting_changed");
  ASSERT_TRUE(on);
  EXPECT_EQ(on->properties["enabled"], true);
  EXPECT_TRUE(isOn(View::betaUpdatesTitle));

  advance(600);
  ASSERT_TRUE(form().setToggle(View::betaUpdatesTitle, false));
  runUntilIdle();
  EXPECT_EQ(framework.checkCount(), 1) << "turning it off starts no check";
  const Event* off = lastEvent("beta_updates_setting_changed");
  ASSERT_TRUE(off);
  EXPECT_EQ(off->properties["enabled"], false);
  EXPECT_TRUE(form().tap(View::checkForUpdatesTitle));
  EXPECT_EQ(framework.checkCount(), 2);
}

// Turning reports off counts as having seen the opt-out note, and the note is marked before
// the choice is stored; turning them on never touches it.
TEST_F(SettingsPreferencesTest, ErrorReportsOffMarksTheOptOutNoteFirst) {
  open();
  std::vector<std::string> writes;
  for (auto key : {ErrorTelemetryConsent::Keys::enabled, ErrorTelemetryConsent::Keys::optOutShown})
    defaults().observe(std::string(key), [&writes](std::string_view k) { writes.emplace_back(k); });
  ASSERT_TRUE(form().setToggle(View::errorReportsTitle, false));
  runUntilIdle();
  EXPECT_EQ(writes, (std::vector<std::string>{std::string(ErrorTelemetryConsent::Keys::optOutShown),
                                              std::string(ErrorTelemetryConsent::Keys::enabled)}));
  EXPECT_FALSE(isOn(View::errorReportsTitle));
  EXPECT_FALSE(ErrorTelemetryConsent::shouldShowOptOutNote());

  defaults().removeObject(ErrorTelemetryConsent::Keys::optOutShown);
  writes.clear();
  ASSERT_TRUE(form().setToggle(View::errorReportsTitle, true));
  runUntilIdle();
  EXPECT_EQ(writes, (std::vector<std::string>{std::string(ErrorTelemetryConsent::Keys::enabled)}));
  EXPECT_TRUE(ErrorTelemetryConsent::shouldShowOptOutNote());
  EXPECT_TRUE(isOn(View::errorReportsTitle));
}

TEST_F(SettingsPreferencesTest, DiagnosticsAndVerboseTogglesWriteThrough) {
  open();
  ASSERT_TRUE(form().setToggle(View::diagnosticsTitle, false));
  runUntilIdle();
  EXPECT_EQ(defaults().object(DiagnosticUploader::enabledKey), Value(false));
  EXPECT_FALSE(isOn(View::diagnosticsTitle));

  ASSERT_TRUE(form().setToggle(View::verboseTitle, true));
  runUntilIdle();
  EXPECT_TRUE(DiagnosticLogBuffer::isVerboseEnabled());
  EXPECT_TRUE(isOn(View::verboseTitle));
  const Event* verbose = lastEvent("verbose_diagnostics_changed");
  ASSERT_TRUE(verbose);
  EXPECT_EQ(verbose->properties["enabled"], true);
}

TEST_F(SettingsPreferencesTest, HelpLinksGoToTheirPages) {
  open();
  struct Case {
    std::string_view title;
    std::string url;
  };
  const std::vector<Case> cases{
      {View::documentationTitle, "https://web.test/flagrig"},
      {View::supportTitle, "https://web.test/contact?app=flagrig&platform=macos"},
      {View::reportIssueTitle, "https://web.test/contact?app=flagrig&platform=macos&topic=bug"},
      {View::privacyTitle, Constants::Identity::privacyURL().absoluteString()},
      {View::termsTitle, Constants::Identity::termsURL().absoluteString()},
  };
  for (const auto& c : cases) {
    const Node* link = form().find(NodeKind::link, c.title);
    ASSERT_TRUE(link && link->url()) << c.title;
    EXPECT_EQ(link->url()->absoluteString(), c.url) << c.title;
  }
}

// Preferences are a file the user (or anything else) can edit: whatever type a key holds, the
// form shows a value and writes only booleans back.
TEST_F(SettingsPreferencesTest, WrongTypedPreferencesShowAValueAndAreReplacedByBooleans) {
  const std::vector<std::string> keys{"flagrig.analyticsDisabled",
                                      "flagrig.betaUpdatesEnabled",
                                      std::string(DiagnosticUploader::enabledKey),
                                      std::string(ErrorTelemetryConsent::Keys::enabled),
                                      std::string(ErrorTelemetryConsent::Keys::optOutShown),
                                      std::string(ErrorTelemetryConsent::Keys::euOptInShown),
                                      std::string(ErrorTelemetryConsent::Keys::resolvedIsEU)};
  const std::vector<Value> garbage{Value("maybe"), Value(Value::Array{Value(true)}),
                                   Value(Value::Dictionary{{"bool", Value(true)}}), Value(1e308),
                                   Value(std::string(100000, 'x'))};
  configureUpdates();
  for (const auto& bad : garbage) {
    for (const auto& key : keys) defaults().set(key, bad);
    open();
    for (auto title : {View::shareAnalyticsTitle, View::betaUpdatesTitle, View::diagnosticsTitle,
                       View::errorReportsTitle})
      ASSERT_TRUE(toggle(title)) << title;
  }
  for (auto title : {View::shareAnalyticsTitle, View::betaUpdatesTitle, View::diagnosticsTitle,
                     View::errorReportsTitle})
    ASSERT_TRUE(form().setToggle(title, true)) << title;
  runUntilIdle();
  EXPECT_EQ(defaults().object("flagrig.analyticsDisabled"), Value(false));
  EXPECT_EQ(defaults().object("flagrig.betaUpdatesEnabled"), Value(true));
  EXPECT_EQ(defaults().object(DiagnosticUploader::enabledKey), Value(true));
  EXPECT_EQ(defaults().object(ErrorTelemetryConsent::Keys::enabled), Value(true));
  for (auto title : {View::shareAnalyticsTitle, View::betaUpdatesTitle, View::diagnosticsTitle,
                     View::errorReportsTitle})
    EXPECT_TRUE(isOn(title)) << title;
}

}  // namespace
}  // namespace flagrig::testing

namespace flagrig::testing {
namespace {

TEST_F(SettingsPreferencesTest, TheResetAsksFirstAndCancelChangesNothing) {
  defaults().set("dev.voskary.flagrig.tagDemoComplete.v1", Value(true));
  open();
  ASSERT_TRUE(form().tap(View::resetTitle));
  runUntilIdle();
  const auto* dialog = form().presented();
  ASSERT_TRUE(dialog);
  EXPECT_EQ(dialog->kind, platform::forms::Presentation::Kind::confirmationDialog);
  EXPECT_EQ(dialog->title, "Reset & clear local data?");
  EXPECT_EQ(dialog->message,
            "This signs you out and clears local data. You'll need to sign in again. Continue?");
  ASSERT_TRUE(form().answer(View::cancelTitle));
  runUntilIdle();
  EXPECT_FALSE(form().presented());
  EXPECT_TRUE(sim().desktop->workspace().launches().empty());
  EXPECT_EQ(defaults().object("dev.voskary.flagrig.tagDemoComplete.v1"), Value(true));

  ASSERT_TRUE(form().tap(View::resetTitle));
  runUntilIdle();
  ASSERT_TRUE(form().answer(View::resetTitle));
  advance(15);
  EXPECT_EQ(sim().desktop->workspace().launches().size(), 1u) << "a new instance";
  EXPECT_FALSE(defaults().object("dev.voskary.flagrig.tagDemoComplete.v1"));
}

}  // namespace
}  // namespace flagrig::testing
