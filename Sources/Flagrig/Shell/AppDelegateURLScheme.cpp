// Routing of the app's URL scheme, part of `AppDelegate`.
#include <algorithm>

#include "Flagrig/Analytics/Analytics.h"
#include "Flagrig/Diagnostics/DiagnosticLogBuffer.h"
#include "Flagrig/Shell/ActivationPolicyController.h"
#include "Flagrig/Shell/AppDelegate.h"
#include "Flagrig/Shell/AppScreens.h"
#include "Flagrig/Shell/URLSchemeRoute.h"
#include "Platform/Desktop/AppleEventDescriptor.h"
#include "Platform/Desktop/Application.h"
#include "Platform/Foundation/Environment.h"
#include "Platform/Foundation/MainThread.h"
#include "Platform/Foundation/RunLoop.h"
#include "Platform/Foundation/URL.h"

namespace flagrig {

using namespace platform;

void AppDelegate::handleGetURL(const AppleEventDescriptor& event, AppleEventDescriptor&) {
  platform::assertMainThread("AppDelegate::handleGetURL");
  auto object = event.paramDescriptor(AppleEventCode::directObjectKeyword);
  if (!object || !object->stringValue()) return;
  auto url = URL::parse(*object->stringValue());
  if (!url || url->scheme() != URLSchemeRoute::scheme) return;
  std::string host = url->host().value_or("");
  Analytics::track("deep_link_activated", Value::Dictionary{{"source", Value("url_scheme")}});

  // After the current main-thread work, so that a URL that started the app is routed once
  // launching has finished.
  std::weak_ptr<AppDelegate> weak = weak_from_this();
  env().mainLoop->post([weak, url = *url, host] {
    if (auto self = weak.lock()) self->routeSignInReturn(url, host);
  });
}

void AppDelegate::routeSignInReturn(const URL& url, const std::string& host) {
  if (URLSchemeRoute::forHost(host) != URLSchemeRoute::signInReturn) return;
  auto& account = *AppScreens::shared().account;
  if (!account.resumeSignIn(url)) {
    // Said without the address: its query holds the code and the state.
    DiagnosticLogBuffer::shared().add("info", "auth",
                                      "Sign-in return ignored: no sign-in is waiting for it");
    return;
  }
  Application::shared().setActivationPolicy(ActivationPolicy::regular);
  account.activateForAuthReturn(loginFirstWindow());
  // With no window of ours on screen the Dock icon would stay with nothing behind it.
  activationPolicy_->demoteWhenIdle(ActivationPolicyController::DemotionCheck::afterDelay);
}

}  // namespace flagrig
