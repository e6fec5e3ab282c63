#include "Flagrig/Settings/FlagrigSettingsView.h"

#include "Flagrig/Account/SignInService.h"
#include "Flagrig/Analytics/Analytics.h"
#include "Flagrig/Diagnostics/DiagnosticLogBuffer.h"
#include "Flagrig/Diagnostics/DiagnosticUploader.h"
#include "Flagrig/Diagnostics/Log.h"
#include "Flagrig/Settings/DiagnosticReportButton.h"
#include "Flagrig/Settings/ResetService.h"
#include "Flagrig/Settings/TagEditorHost.h"
#include "Flagrig/Settings/UpdaterService.h"
#include "Flagrig/Shell/AppDelegate.h"
#include "Flagrig/Shell/AppScreens.h"
#include "Flagrig/Shell/Constants.h"
#include "Flagrig/Shell/ServiceAddresses.h"
#include "Platform/Accessibility/Accessibility.h"
#include "Platform/Desktop/Application.h"
#include "Platform/Desktop/Desktop.h"
#include "Platform/Desktop/LoginItem.h"
#include "Platform/Desktop/Window.h"
#include "Platform/Desktop/Workspace.h"
#include "Platform/Forms/FormHost.h"
#include "Platform/Forms/FormMetrics.h"
#include "Platform/Foundation/Bundle.h"
#include "Platform/Foundation/Environment.h"
#include "Platform/Foundation/Error.h"
#include "Platform/Foundation/NotificationCenter.h"
#include "Platform/Foundation/Task.h"
#include "Platform/Foundation/UserDefaults.h"
#include "Platform/WindowServer/WindowServer.h"
#include "VoskaryAccount/SignIn/VoskaryProviderButtons.h"
#include "VoskaryAccount/Telemetry/ErrorTelemetryConsent.h"

namespace flagrig {

using namespace platform;
using platform::forms::Button;
using platform::forms::ButtonRole;
using platform::forms::ColorScheme;
using platform::forms::EdgeInsets;
using platform::forms::Form;
using platform::forms::FormHost;
using platform::forms::FormMetrics;
using platform::forms::HStack;
using platform::forms::LabeledContent;
using platform::forms::Link;
using platform::forms::Node;
using platform::forms::Presentation;
using platform::forms::ScrollView;
using platform::forms::Section;
using platform::forms::Spacer;
using platform::forms::Symbol;
using platform::forms::Text;
using platform::forms::Toggle;
using platform::forms::Truncation;
using platform::forms::VerticalAlignment;

namespace {

Font captionFont() {
  return Font::systemFont(10);
}
Font calloutFont() {
  return Font::systemFont(12);
}

Node caption(std::string_view text) {
  return Text(std::string(text)).font(captionFont()).foreground(Color::secondaryLabel());
}

// Held as a plain reference and read on every render; its change signal redraws the form.
UpdaterService& updater() {
  return UpdaterService::shared();
}

bool openURL(const URL& url) {
  return hasEnvironment() && env().desktop && env().desktop->workspace().openURL(url);
}

}  // namespace

Color FlagrigSettingsView::accent() {
  return Color::sRGB(0.851, 0.467, 0.024, 1);
}

std::shared_ptr<FlagrigSettingsView> FlagrigSettingsView::make() {
  return std::shared_ptr<FlagrigSettingsView>(new FlagrigSettingsView());
}

FlagrigSettingsView::FlagrigSettingsView() : subscription_(SignInService::shared()) {}

FlagrigSettingsView::~FlagrigSettingsView() {
  if (!hasEnvironment()) return;
  for (auto token : observers_) env().notificationCenter->removeObserver(token);
}

const std::shared_ptr<FormHost>& FlagrigSettingsView::host() {
  if (host_) return host_;
  std::weak_ptr<FlagrigSettingsView> weak = weak_from_this();
  host_ = FormHost::make([weak](FormHost& form) {
    auto self = weak.lock();
    return self ? self->body(form) : Form({});
  });
  auto& center = *env().notificationCenter;
  observers_.push_back(center.addObserver(std::string(SignInService::subscriptionDidChange),
                                          nullptr, nullptr, [weak](const Notification&) {
                                            if (auto self = weak.lock()) {
                                              ++self->accountTick_;
                                              self->changed();
                                            }
                                          }));
  observers_.push_back(center.addObserver(
      std::string(Application::didBecomeActiveNotification), nullptr, nullptr,
      [weak](const Notification&) {
        if (auto self = weak.lock()) {
          ++self->permissionTick_;
          // Verbose logging may have ended by itself while the window stayed open.
          self->verboseDiagnosticsEnabled_ = DiagnosticLogBuffer::isVerboseEnabledAfterExpiry();
          self->changed();
        }
      }));
  // A failed check, or a change of "can check", shows while the window is open.
  host_->redrawOnNotification(std::string(UpdaterService::didChangeNotification));
  for (std::string_view key : {betaUpdatesKey, analyticsDisabledKey, DiagnosticUploader::enabledKey,
                               voskary::ErrorTelemetryConsent::Keys::enabled,
                               voskary::ErrorTelemetryConsent::Keys::optOutShown,
                               voskary::ErrorTelemetryConsent::Keys::euOptInShown})
    host_->redrawOnDefaultsKey(std::string(key));
  return host_;
}

void FlagrigSettingsView::changed() {
  if (host_) host_->invalidate();
}

void FlagrigSettingsView::disappear() {
  // Closing only hides the window: a recorder left running would take the next key typed
  // anywhere in the app.
  if (host_) TagEditorHost::cancelRecording(*host_);
  changed();
}

void FlagrigSettingsView::appear() {
  verboseDiagnosticsEnabled_ = DiagnosticLogBuffer::isVerboseEnabledAfterExpiry();
  changed();
}

// --- The form ------------------------------------------------------------------------------

Node FlagrigSettingsView::body(FormHost& form) {
  std::weak_ptr<FlagrigSettingsView> weak = weak_from_this();
  platform::forms::Binding<bool> resetShown(
      [weak] {
        auto self = weak.lock();
        return self && self->showResetConfirm_ && self->isOnScreen();
      },
      [weak](const bool& shown) {
        auto self = weak.lock();
        if (!self || self->showResetConfirm_ == shown) return;
        self->showResetConfirm_ = shown;
        self->changed();
      });
  std::vector<Node> sections;
  sections.push_back(accountSection());
  sections.push_back(generalSection());
  sections.push_back(tagsSection(form));
  sections.push_back(updatesSection());
  sections.push_back(helpSection());
  sections.push_back(aboutSection());
  sections.push_back(advancedSection());
  // The form is taller than its window: it scrolls inside it.
  return ScrollView(Form(std::move(sections))
                        .key("form")
                        .frame({.minWidth = minimumWidth, .minHeight = minimumHeight}))
      .key("settings")
      .confirmationDialog(resetShown, std::string(resetDialogTitle),
                          std::string(resetDialogMessage),
                          {platform::forms::destructive(std::string(resetTitle),
                                                        [weak] {
                                                          if (auto self = weak.lock())
                                                            self->confirmReset();
                                                        }),
                           platform::forms::cancel(std::string(cancelTitle))})
      .colorScheme(ColorScheme::dark)
      .accentColor(accent());
}

Node FlagrigSettingsView::accountLink(std::string_view title) {
  std::vector<Node> label;
  label.push_back(Text(std::string(title)));
  label.push_back(Spacer());
  label.push_back(Symbol("arrow.up.right.square")
                      .font(Font::systemFont(11, FontWeight::semibold))
                      .foreground(Color::secondaryLabel()));
  std::vector<Node> row;
  row.push_back(HStack(std::move(label)).spacing(6).alignment(VerticalAlignment::center));
  return Button(std::move(row), [] { openURL(accountPageURL()); }).key(std::string(title));
}

Node FlagrigSettingsView::accountSection() {
  std::weak_ptr<FlagrigSettingsView> weak = weak_from_this();
  std::vector<Node> rows;
  const bool signedIn = subscription_.isSignedIn();
  if (signedIn) {
    auto email = subscription_.accountEmail();
    std::string shown = email && !email->empty() ? *email : std::string(accountFallback);
    // A long address keeps to one line beside its label, shortened in the middle.
    rows.push_back(LabeledContent(std::string(accountLabel),
                                  Text(shown).lineLimit(1).truncation(Truncation::middle))
                       .key("account"));
    rows.push_back(Button(std::string(signOutTitle), [weak] {
                     if (auto self = weak.lock()) self->signOut();
                   }).role(ButtonRole::destructive));
  } else {
    voskary::VoskaryProviderButtons buttons(voskary::VoskaryProviderButtonStyle::dark(accent()),
                                            isWorking_, nullptr, [weak](ProviderHint provider) {
                                              if (auto self = weak.lock())
                                                self->startSignIn(provider);
                                            });
    // A little more room above and below; across, the section's inset like the rows below.
    rows.push_back(
        buttons.body()
            .key("providers")
            .rowInsets(EdgeInsets{4, FormMetrics::sectionInset, 4, FormMetrics::sectionInset}));
  }
  if (statusMessage_) {
    rows.push_back(Text(*statusMessage_)
                       .key("status")
                       .font(captionFont())
                       .foreground(Color::secondaryLabel()));
  }
  if (signedIn) {
    rows.push_back(accountLink(manageDevicesTitle));
    rows.push_back(accountLink(exportDataTitle));
    rows.push_back(accountLink(deleteAccountTitle));
  }
  return Section(std::string(sectionTitles[0]), std::move(rows)).key("account");
}

Node FlagrigSettingsView::generalSection() {
  std::weak_ptr<FlagrigSettingsView> weak = weak_from_this();
  std::vector<Node> rows;
  const bool launches = env().loginItem && env().loginItem->status() == LoginItem::Status::enabled;
  rows.push_back(Toggle(std::string(launchAtLoginTitle), launches, [weak](bool on) {
    if (auto self = weak.lock()) self->setLaunchAtLogin(on);
  }));
  const bool shared = !env().defaults->boolForKey(analyticsDisabledKey);
  rows.push_back(Toggle(std::string(shareAnalyticsTitle), shared, [weak](bool on) {
    if (auto self = weak.lock()) self->setAnalyticsShared(on);
  }));

  auto permissionRow = [](std::string key, bool granted, std::string_view grantedLabel,
                          std::string_view neededLabel, std::function<void()> action) {
    std::vector<Node> items;
    items.push_back(Text(std::string(granted ? grantedLabel : neededLabel))
                        .font(calloutFont())
                        .foreground(granted ? Color::systemGreen() : Color::secondaryLabel()));
    items.push_back(Spacer());
    if (!granted) items.push_back(Button(std::string(grantAccessTitle), std::move(action)));
    return HStack(std::move(items)).key(std::move(key)).alignment(VerticalAlignment::center);
  };
  auto& desktop = *env().desktop;
  rows.push_back(permissionRow("screenRecording",
                               desktop.windowServer().preflightScreenCaptureAccess(),
                               screenRecordingGranted, screenRecordingNeeded, [] {
                                 env().desktop->windowServer().requestScreenCaptureAccess();
                                 openURL(URL("x-apple.systempreferences:"));
                               }));
  rows.push_back(permissionRow("accessibility", desktop.accessibility().isProcessTrusted(),
                               accessibilityGranted, accessibilityNeeded, [] {
                                 env().desktop->accessibility().isProcessTrustedWithOptions(
                                     Accessibility::TrustPrompt::silent);
                                 openURL(URL("x-apple.systempreferences:"));
                               }));
  return Section(std::string(sectionTitles[1]), std::move(rows)).key("general");
}

Node FlagrigSettingsView::tagsSection(FormHost& form) {
  std::vector<Node> rows;
  rows.push_back(TagEditorHost::row(form).key("tagEditor"));
  return Section(std::string(sectionTitles[2]), std::move(rows)).key("tags");
}

Node FlagrigSettingsView::updatesSection() {
  std::weak_ptr<FlagrigSettingsView> weak = weak_from_this();
  auto& updates = updater();
  const bool canCheck = updates.canCheckForUpdates();
  std::vector<Node> rows;
  rows.push_back(Button(std::string(checkForUpdatesTitle), [] {
                   updater().checkForUpdates();
                 }).disabled(!canCheck));
  if (const auto& status = updates.statusMessage())
    rows.push_back(caption(*status).key("updateStatus"));
  if (!canCheck) rows.push_back(caption(updatesDisabledText).key("updatesDisabled"));
  rows.push_back(Toggle(std::string(betaUpdatesTitle), env().defaults->boolForKey(betaUpdatesKey),
                        [weak](bool on) {
                          if (auto self = weak.lock()) self->setBetaUpdates(on);
                        })
                     .disabled(!canCheck));
  rows.push_back(caption(betaCaption));
  return Section(std::string(sectionTitles[3]), std::move(rows)).key("updates");
}

Node FlagrigSettingsView::helpSection() {
  std::weak_ptr<FlagrigSettingsView> weak = weak_from_this();
  std::vector<Node> rows;
  if (subscription_.isSignedIn()) {
    // Each appearance of the button starts from its initial state.
    if (!reportButton_) {
      reportButton_ = std::make_shared<DiagnosticReportButton>([weak] {
        if (auto self = weak.lock()) self->changed();
      });
    }
    rows.push_back(reportButton_->body(isOnScreen()));
  } else {
    reportButton_.reset();
    rows.push_back(Text(std::string(signInToReportText))
                       .key("signInToReport")
                       .font(captionFont())
                       .foreground(Color::secondaryLabel()));
  }
  rows.push_back(Toggle(std::string(errorReportsTitle), voskary::ErrorTelemetryConsent::isEnabled(),
                        [weak](bool on) {
                          if (auto self = weak.lock()) self->setErrorReports(on);
                        }));
  rows.push_back(caption(errorReportsCaption));
  rows.push_back(Toggle(std::string(diagnosticsTitle), DiagnosticUploader::isDiagnosticsEnabled(),
                        [weak](bool on) {
                          if (auto self = weak.lock()) self->setDiagnosticsEnabled(on);
                        }));
  rows.push_back(caption(diagnosticsCaption));
  rows.push_back(Toggle(std::string(verboseTitle), verboseDiagnosticsEnabled_, [weak](bool on) {
    if (auto self = weak.lock()) self->setVerboseDiagnostics(on);
  }));
  rows.push_back(caption(verboseCaption));
  rows.push_back(Link(std::string(documentationTitle), documentationURL()));
  rows.push_back(Link(std::string(supportTitle), supportURL()));
  rows.push_back(Link(std::string(reportIssueTitle), reportIssueURL()));
  rows.push_back(Link(std::string(privacyTitle), Constants::Identity::privacyURL()));
  rows.push_back(Link(std::string(termsTitle), Constants::Identity::termsURL()));
  return Section(std::string(sectionTitles[4]), std::move(rows)).key("help");
}

Node FlagrigSettingsView::aboutSection() {
  std::vector<Node> rows;
  rows.push_back(LabeledContent(std::string(versionLabel), Text(versionText())).key("version"));
  rows.push_back(Text(std::string(publisherName))
                     .key("publisher")
                     .font(captionFont())
                     .foreground(Color::tertiaryLabel()));
  return Section(std::string(sectionTitles[5]), std::move(rows)).key("about");
}

Node FlagrigSettingsView::advancedSection() {
  std::weak_ptr<FlagrigSettingsView> weak = weak_from_this();
  std::vector<Node> rows;
  rows.push_back(Button(std::string(resetTitle), [weak] {
                   auto self = weak.lock();
                   if (!self || self->showResetConfirm_) return;
                   self->showResetConfirm_ = true;
                   self->changed();
                 }).role(ButtonRole::destructive));
  rows.push_back(caption(resetCaption));
  return Section(std::string(sectionTitles[6]), std::move(rows)).key("advanced");
}

// --- Actions -------------------------------------------------------------------------------

void FlagrigSettingsView::startSignIn(ProviderHint provider) {
  if (isWorking_) return;
  isWorking_ = true;
  statusMessage_ = std::string(openingBrowserText);
  changed();
  auto work = [](std::shared_ptr<FlagrigSettingsView> self,
                 ProviderHint hint) -> platform::Task<void> {
    std::exception_ptr failure;
    try {
      co_await self->subscription_.signIn(hint);
    } catch (const ProgrammingError&) {
      throw;
    } catch (...) {
      failure = std::current_exception();
    }
    // The service returns normally from a cancelled sign-in; its account state, published
    // before it returns, tells the two apart.
    if (!failure && !self->subscription_.isSignedIn())
      failure = std::make_exception_ptr(voskary::VoskaryError::authorizationCancelled());
    if (!failure) {
      self->statusMessage_.reset();
      ++self->accountTick_;
    } else {
      const std::string name = SignInService::providerText(hint);
      try {
        std::rethrow_exception(failure);
      } catch (const std::exception& error) {
        Log::warn("auth", "Settings sign-in failed for provider=" + name, &error);
        self->statusMessage_ = SignInService::friendlyError(error);
      } catch (...) {
        Log::warn("auth", "Settings sign-in failed for provider=" + name);
        self->statusMessage_ = SignInService::friendlyError(std::runtime_error("unknown"));
      }
    }
    self->isWorking_ = false;
    self->changed();
  };
  platform::spawn(work(shared_from_this(), provider));
}

void FlagrigSettingsView::signOut() {
  subscription_.signOut();
  ++accountTick_;
  changed();
  if (auto window = AppScreens::shared().settings->window()) window->close();
  if (auto delegate = std::dynamic_pointer_cast<AppDelegate>(Application::shared().delegate()))
    delegate->presentLoginFirstFlow(LoginFirstStep::signIn);
}

void FlagrigSettingsView::setLaunchAtLogin(bool on) {
  if (auto& item = env().loginItem) {
    try {
      if (on)
        item->registerItem();
      else
        item->unregisterItem();
    } catch (const std::exception& error) {
      Log::warn("settings", "Login item register/unregister failed", &error);
    }
  }
  // Redraw whatever happened: a refused change springs back to the item's real state.
  changed();
}

void FlagrigSettingsView::setAnalyticsShared(bool on) {
  env().defaults->set(analyticsDisabledKey, Value(!on));
  changed();
}

void FlagrigSettingsView::setBetaUpdates(bool on) {
  env().defaults->set(betaUpdatesKey, Value(on));
  Analytics::track("beta_updates_setting_changed", {{"enabled", Value(on)}});
  if (on && updater().canCheckForUpdates()) updater().checkForUpdates();
  changed();
}

void FlagrigSettingsView::setErrorReports(bool on) {
  using voskary::ErrorTelemetryConsent;
  if (!on && ErrorTelemetryConsent::shouldShowOptOutNote())
    ErrorTelemetryConsent::markOptOutNoteShown();
  ErrorTelemetryConsent::setEnabled(on);
  changed();
}

void FlagrigSettingsView::setDiagnosticsEnabled(bool on) {
  env().defaults->set(DiagnosticUploader::enabledKey, Value(on));
  changed();
}

void FlagrigSettingsView::setVerboseDiagnostics(bool on) {
  verboseDiagnosticsEnabled_ = on;
  DiagnosticLogBuffer::setVerboseEnabled(on);
  Analytics::track("verbose_diagnostics_changed", {{"enabled", Value(on)}});
  changed();
}

void FlagrigSettingsView::confirmReset() {
  // Its own task, so that the dialog's button returns at once; the process ends when the
  // reset relaunches the app.
  platform::spawn(ResetService::resetAndClearLocalData());
}

double FlagrigSettingsView::tagsEditorHeight() const {
  if (!host_) return TagEditorHost::initialHeight;
  return host_->cell<double>(std::string(TagEditorHost::heightCell), TagEditorHost::initialHeight)
      .get();
}

// --- Values --------------------------------------------------------------------------------

std::string FlagrigSettingsView::versionText() {
  std::string build;
  if (auto value = env().bundle->objectForInfoDictionaryKey("CFBundleVersion")) {
    if (auto text = value->asString()) build = *text;
  }
  return Constants::appVersion() + " (" + build + ")";
}

URL FlagrigSettingsView::websiteURL(std::string_view pathAndQuery) {
  auto url = URL::parse(pathAndQuery, ServiceAddresses::active().website);
  return url ? *url : ServiceAddresses::active().website;
}

URL FlagrigSettingsView::accountPageURL() {
  return websiteURL("/account");
}
URL FlagrigSettingsView::documentationURL() {
  return websiteURL("/flagrig");
}
URL FlagrigSettingsView::supportURL() {
  return websiteURL("/contact?app=flagrig&platform=macos");
}
URL FlagrigSettingsView::reportIssueURL() {
  return websiteURL("/contact?app=flagrig&platform=macos&topic=bug");
}

}  // namespace flagrig
