// The status item's menu and raising a tagged window, both of `AppDelegate`.
#include <limits>

#include "Flagrig/Shell/ActivationPolicyController.h"
#include "Flagrig/Shell/AppDelegate.h"
#include "Flagrig/Shell/AppScreens.h"
#include "Flagrig/Shell/Constants.h"
#include "Flagrig/Shell/ServiceAddresses.h"
#include "Flagrig/Tagging/TagManager.h"
#include "Platform/Accessibility/Accessibility.h"
#include "Platform/Desktop/Application.h"
#include "Platform/Desktop/Desktop.h"
#include "Platform/Desktop/Image.h"
#include "Platform/Desktop/Menu.h"
#include "Platform/Desktop/MenuItem.h"
#include "Platform/Desktop/Workspace.h"
#include "Platform/Foundation/MainThread.h"
#include "Platform/Foundation/URL.h"

namespace flagrig {

using namespace platform;

namespace {

constexpr double tagImageSide = 10;

std::shared_ptr<Image> tagDot(const Color& color) {
  return Image::drawn({tagImageSide, tagImageSide}, Image::Origin::bottomLeft,
                      [color](GraphicsContext& g, Rect) {
                        g.fillOval(Rect(0, 0, tagImageSide, tagImageSide), color);
                      });
}

URL websiteURL(std::string_view pathAndQuery) {
  auto url = URL::parse(pathAndQuery, ServiceAddresses::active().website);
  return url ? *url : ServiceAddresses::active().website;
}

// The window elements of an application element; empty on any error.
std::vector<AXElement> axWindows(Accessibility& ax, const AXElement& app) {
  AXValue value;
  if (ax.copyAttributeValue(app, AXAttribute::windows, value) != AXError::success) return {};
  return value.asElementArray().value_or(std::vector<AXElement>{});
}

// True only for a readable "AXMinimized" that is a true boolean.
bool axIsMinimized(Accessibility& ax, const AXElement& window) {
  AXValue value;
  if (ax.copyAttributeValue(window, AXAttribute::minimized, value) != AXError::success)
    return false;
  return value.asBool().value_or(false);
}

}  // namespace

void AppDelegate::menuNeedsUpdate(Menu& menu) {
  platform::assertMainThread("AppDelegate::menuNeedsUpdate");
  menu.removeAllItems();
  std::weak_ptr<AppDelegate> weak = weak_from_this();
  auto action = [weak](void (AppDelegate::*member)()) {
    return [weak, member](MenuItem&) {
      if (auto self = weak.lock()) ((*self).*member)();
    };
  };
  auto item = [&](std::string title, void (AppDelegate::*member)(), std::string key = {}) {
    auto made = std::make_shared<MenuItem>(std::move(title), action(member), std::move(key));
    menu.addItem(made);
    return made;
  };

  item("Tag a Window", &AppDelegate::startTagging, "t");
  const auto& tags = TagManager::shared().tags();
  if (!tags.empty()) {
    menu.addItem(MenuItem::separator());
    for (const auto& tag : tags) {
      auto entry = std::make_shared<MenuItem>(tag.text.empty() ? tag.ownerName : tag.text,
                                              [weak](MenuItem& sender) {
                                                if (auto self = weak.lock())
                                                  self->focusTaggedWindow(sender);
                                              });
      entry->setImage(tagDot(tag.color));
      entry->setRepresentedObject(Value(static_cast<unsigned>(tag.windowNumber)));
      entry->setToolTip("Bring this window to the front");
      menu.addItem(entry);
    }
    menu.addItem(MenuItem::separator());
    item("Remove All Tags", &AppDelegate::removeAll);
  }
  menu.addItem(MenuItem::separator());
  item("Settings\u2026", &AppDelegate::openSettings, ",");
  item("Documentation", &AppDelegate::openDocumentation);
  item("Report an Issue", &AppDelegate::openReportIssue);
  item("Privacy Policy", &AppDelegate::openPrivacyPolicy);
  item("Terms of Service", &AppDelegate::openTerms);
  item("Leave a Tip\u2026", &AppDelegate::openTipJar);
  item("Send Feedback\u2026", &AppDelegate::openFeedback);
  item("Check for Updates\u2026", &AppDelegate::checkForUpdates)
      ->setEnabled(AppScreens::shared().updater->canCheckForUpdates());
  auto version = std::make_shared<MenuItem>("Flagrig " + Constants::appVersion());
  version->setEnabled(false);
  menu.addItem(version);
  // No target: it goes to the application.
  menu.addItem(std::make_shared<MenuItem>(
      "Quit Flagrig", [](MenuItem&) { Application::shared().terminate(); }, "q"));
}

void AppDelegate::startTagging() {
  platform::assertMainThread("AppDelegate::startTagging");
  TagManager::startTaggingPick();
}

void AppDelegate::removeAll() {
  platform::assertMainThread("AppDelegate::removeAll");
  TagManager::shared().removeAll();
}

void AppDelegate::openSettings() {
  platform::assertMainThread("AppDelegate::openSettings");
  activationPolicy_->promoteForWindow();
  auto& settings = *AppScreens::shared().settings;
  settings.showWindow();
  if (auto window = settings.window()) activationPolicy_->observeClose(window);
}

void AppDelegate::checkForUpdates() {
  platform::assertMainThread("AppDelegate::checkForUpdates");
  AppScreens::shared().updater->checkForUpdates();
}

URL AppDelegate::documentationURL() {
  return websiteURL("/flagrig");
}
URL AppDelegate::reportIssueURL() {
  return websiteURL("/contact?app=flagrig&platform=macos&topic=bug");
}
URL AppDelegate::feedbackURL() {
  return websiteURL("/contact?app=flagrig&platform=macos");
}
URL AppDelegate::tipJarURL() {
  return *URL::parse("https://ko-fi.com/voskary");
}

void AppDelegate::openLink(const URL& url) {
  Workspace::shared().openURL(url);
}
void AppDelegate::openDocumentation() {
  platform::assertMainThread("AppDelegate::openDocumentation");
  openLink(documentationURL());
}
void AppDelegate::openReportIssue() {
  platform::assertMainThread("AppDelegate::openReportIssue");
  openLink(reportIssueURL());
}
void AppDelegate::openFeedback() {
  platform::assertMainThread("AppDelegate::openFeedback");
  openLink(feedbackURL());
}
void AppDelegate::openPrivacyPolicy() {
  platform::assertMainThread("AppDelegate::openPrivacyPolicy");
  openLink(Constants::Identity::privacyURL());
}
void AppDelegate::openTerms() {
  platform::assertMainThread("AppDelegate::openTerms");
  openLink(Constants::Identity::termsURL());
}
void AppDelegate::openTipJar() {
  platform::assertMainThread("AppDelegate::openTipJar");
  openLink(tipJarURL());
}

void AppDelegate::focusTaggedWindow(const MenuItem& item) {
  platform::assertMainThread("AppDelegate::focusTaggedWindow");
  auto number = item.representedObject().asUInt();
  if (!number || *number > std::numeric_limits<std::uint32_t>::max()) return;
  const Tag* found = nullptr;
  for (const auto& tag : TagManager::shared().tags()) {
    if (tag.windowNumber == *number) {
      found = &tag;
      break;
    }
  }
  // The tag went away while the menu was open.
  if (!found) return;
  std::uint32_t windowNumber = found->windowNumber;
  std::int32_t pid = found->ownerPID;
  if (Accessibility::shared().isProcessTrusted()) restoreAndRaiseWindow(windowNumber, pid);
  if (auto app = Workspace::shared().runningApplication(pid)) app->activate(0);
}

void AppDelegate::restoreAndRaiseWindow(std::uint32_t windowNumber, std::int32_t ownerPID) {
  platform::assertMainThread("AppDelegate::restoreAndRaiseWindow");
  auto& ax = Accessibility::shared();
  AXElement app = ax.createApplication(ownerPID);
  auto windows = axWindows(ax, app);
  if (!windows.empty()) {
    // Absent when the platform offers no lookup: then no window can be matched by number.
    auto getWindow = ax.lookUpWindowNumberFunction();
    AXElement match;
    if (getWindow) {
      for (const auto& window : windows) {
        std::uint32_t number = 0;
        if (getWindow(window, number) == AXError::success && number == windowNumber) {
          match = window;
          break;
        }
      }
    }
    if (match) {
      if (axIsMinimized(ax, match)) ax.setAttributeValue(match, AXAttribute::minimized, false);
      ax.setAttributeValue(app, AXAttribute::focusedWindow, AXValue(match));
      ax.performAction(match, AXAction::raise);
      return;
    }
    bool restored = false;
    for (const auto& window : windows) {
      if (!axIsMinimized(ax, window)) continue;
      ax.setAttributeValue(window, AXAttribute::minimized, false);
      ax.performAction(window, AXAction::raise);
      restored = true;
    }
    if (restored) return;
  }
  AXValue main;
  if (ax.copyAttributeValue(app, AXAttribute::mainWindow, main) == AXError::success) {
    if (auto element = main.asElement()) ax.performAction(element, AXAction::raise);
  }
}

}  // namespace flagrig
