#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Platform/Desktop/Color.h"
#include "Platform/Forms/FormNode.h"
#include "Platform/Foundation/NotificationCenter.h"
#include "VoskaryAccount/SignIn/OAuthDriver.h"

namespace platform::forms {
class FormHost;
}

namespace flagrig {

class DiagnosticReportButton;
class SignInService;

// The settings form: the account, launch at login, analytics, the permissions, the tags
// editor, updates, reports and diagnostics, the version and the reset. It keeps only the
// view state below; everything else (sign-in state, login item, permissions, preferences,
// updater) is read afresh on every render, and every change is written straight through.
//
// The form redraws only when told: the host's triggers (the account notification, the app
// becoming active, the preference keys it shows, the updater's change signal) and every
// action of its own. Main thread only.
class FlagrigSettingsView : public std::enable_shared_from_this<FlagrigSettingsView> {
 public:
  using ProviderHint = voskary::OAuthDriver::ProviderHint;

  // Section headers, in the order the form shows them.
  static constexpr std::string_view sectionTitles[] = {
      "Account", "General", "Tags", "Updates", "Help & Diagnostics", "About", "Advanced"};

  // Account.
  static constexpr std::string_view accountLabel = "Account";
  static constexpr std::string_view accountFallback = "Voskary Account";
  static constexpr std::string_view signOutTitle = "Sign out";
  static constexpr std::string_view openingBrowserText = "Opening your browser\u2026";
  static constexpr std::string_view manageDevicesTitle = "Manage devices";
  static constexpr std::string_view exportDataTitle = "Export my data";
  static constexpr std::string_view deleteAccountTitle = "Delete account";
  // General.
  static constexpr std::string_view launchAtLoginTitle = "Launch at login";
  static constexpr std::string_view shareAnalyticsTitle = "Share product analytics";
  static constexpr std::string_view grantAccessTitle = "Grant Access\u2026";
  static constexpr std::string_view screenRecordingGranted = "Screen Recording: Granted";
  static constexpr std::string_view screenRecordingNeeded =
      "Screen Recording: Optional window metadata recovery";
  static constexpr std::string_view accessibilityGranted = "Accessibility: Granted";
  static constexpr std::string_view accessibilityNeeded =
      "Accessibility: Needed to bring a tagged window to the front";
  // Updates.
  static constexpr std::string_view checkForUpdatesTitle = "Check for Updates\u2026";
  static constexpr std::string_view updatesDisabledText =
      "Automatic updates are disabled in this build.";
  static constexpr std::string_view betaUpdatesTitle = "Install beta updates";
  static constexpr std::string_view betaCaption =
      "New features and changes land here first, and things may break occasionally. But if "
      "that's your jam, hop in. Turning this off keeps any beta you already have until a stable "
      "release catches up.";
  // Help & Diagnostics.
  static constexpr std::string_view signInToReportText = "Sign in to send a diagnostic report.";
  static constexpr std::string_view errorReportsTitle =
      "Share error reports to help improve Flagrig";
  static constexpr std::string_view errorReportsCaption =
      "Anonymous crash and error reports are sent without the contents of other apps' windows "
      "and without account information. You can turn this off at any time.";
  static constexpr std::string_view diagnosticsTitle =
      "Send anonymous diagnostic reports when something goes wrong";
  static constexpr std::string_view diagnosticsCaption =
      "A report includes the app version and the OS version, plus recent app logs when "
      "available. It never includes the contents of other apps' windows.";
  static constexpr std::string_view verboseTitle =
      "Verbose diagnostic logging (auto-off after 24 h)";
  static constexpr std::string_view verboseCaption =
      "Enable when asked by support to capture more detail. Automatically turns off after 24 "
      "hours.";
  static constexpr std::string_view documentationTitle = "Documentation";
  static constexpr std::string_view supportTitle = "Support";
  static constexpr std::string_view reportIssueTitle = "Report an Issue";
  static constexpr std::string_view privacyTitle = "Privacy Policy";
  static constexpr std::string_view termsTitle = "Terms of Service";
  // About.
  static constexpr std::string_view versionLabel = "Version";
  static constexpr std::string_view publisherName = "Voskary";
  // Advanced.
  static constexpr std::string_view resetTitle = "Reset & clear local data";
  static constexpr std::string_view resetCaption =
      "Signs you out and clears local data on this Mac, then returns to setup. Your account "
      "is not affected: sign in again to restore it.";
  static constexpr std::string_view resetDialogTitle = "Reset & clear local data?";
  static constexpr std::string_view resetDialogMessage =
      "This signs you out and clears local data. You'll need to sign in again. Continue?";
  static constexpr std::string_view cancelTitle = "Cancel";

  // Preference keys the form reads and writes.
  static constexpr std::string_view betaUpdatesKey = "flagrig.betaUpdatesEnabled";  // the updater's
  static constexpr std::string_view analyticsDisabledKey = "flagrig.analyticsDisabled";

  static constexpr double minimumWidth = 460;
  static constexpr double minimumHeight = 480;

  static platform::Color accent();

  static std::shared_ptr<FlagrigSettingsView> make();
  ~FlagrigSettingsView();
  FlagrigSettingsView(const FlagrigSettingsView&) = delete;
  FlagrigSettingsView& operator=(const FlagrigSettingsView&) = delete;

  // The host that shows this form, with its redraw triggers installed. Made once.
  const std::shared_ptr<platform::forms::FormHost>& host();
  platform::forms::Node body(platform::forms::FormHost& form);

  // The form was shown: the verbose toggle takes the log's real state (it may have ended by
  // itself), and the form redraws.
  void appear();
  // The form's window was hidden: it redraws without its alerts and dialogs, which wait for
  // the next showing (a result that arrives meanwhile is kept).
  void disappear();
  // Whether the form is on screen; alerts and dialogs are presented only then. Until told,
  // it counts as shown.
  void setIsOnScreen(std::function<bool()> isOnScreen) { isOnScreen_ = std::move(isOnScreen); }
  bool isOnScreen() const { return !isOnScreen_ || isOnScreen_(); }

  // --- Actions (what the rows do) ------------------------------------------------------------
  void startSignIn(ProviderHint provider);
  void signOut();
  void setLaunchAtLogin(bool on);
  void setAnalyticsShared(bool on);
  void setBetaUpdates(bool on);
  void setErrorReports(bool on);
  void setDiagnosticsEnabled(bool on);
  void setVerboseDiagnostics(bool on);
  void confirmReset();

  // --- View state ----------------------------------------------------------------------------
  int accountTick() const { return accountTick_; }
  int permissionTick() const { return permissionTick_; }
  bool isWorking() const { return isWorking_; }
  const std::optional<std::string>& statusMessage() const { return statusMessage_; }
  bool showResetConfirm() const { return showResetConfirm_; }
  bool verboseDiagnosticsEnabled() const { return verboseDiagnosticsEnabled_; }
  // The Tags row's height, which the editor's host keeps in the form's view state.
  double tagsEditorHeight() const;
  // The report button while it is shown (signed in); each appearance is a fresh one.
  const std::shared_ptr<DiagnosticReportButton>& reportButton() const { return reportButton_; }

  // --- Values shown ----------------------------------------------------------------------------
  // "1.2 (45)": the app version and the bundle's build number, "()" when it has none.
  static std::string versionText();
  static platform::URL websiteURL(std::string_view pathAndQuery);
  static platform::URL accountPageURL();
  static platform::URL documentationURL();
  static platform::URL supportURL();
  static platform::URL reportIssueURL();

 private:
  FlagrigSettingsView();
  // Schedules one render.
  void changed();
  platform::forms::Node accountSection();
  platform::forms::Node generalSection();
  platform::forms::Node tagsSection(platform::forms::FormHost& form);
  platform::forms::Node updatesSection();
  platform::forms::Node helpSection();
  platform::forms::Node aboutSection();
  platform::forms::Node advancedSection();
  platform::forms::Node accountLink(std::string_view title);

  SignInService& subscription_;
  std::shared_ptr<platform::forms::FormHost> host_;
  std::vector<platform::NotificationCenter::Token> observers_;

  int accountTick_ = 0;
  int permissionTick_ = 0;
  bool isWorking_ = false;
  std::optional<std::string> statusMessage_;
  bool showResetConfirm_ = false;
  bool verboseDiagnosticsEnabled_ = false;
  std::shared_ptr<DiagnosticReportButton> reportButton_;
  std::function<bool()> isOnScreen_;
};

}  // namespace flagrig
