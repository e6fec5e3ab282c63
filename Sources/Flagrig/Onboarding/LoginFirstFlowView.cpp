#include "Flagrig/Onboarding/LoginFirstFlowView.h"

#include <utility>

#include "Flagrig/Account/SIWAConsentConfirmView.h"
#include "Flagrig/Account/VoskaryAccountBridge.h"
#include "Flagrig/Analytics/Analytics.h"
#include "Flagrig/Onboarding/PermissionsStep.h"
#include "Flagrig/Shell/BrandMark.h"
#include "Flagrig/Shell/Constants.h"
#include "Platform/Accessibility/Accessibility.h"
#include "Platform/Desktop/Application.h"
#include "Platform/Desktop/Window.h"
#include "Platform/Forms/FormHost.h"
#include "Platform/Foundation/Environment.h"
#include "Platform/Foundation/RunLoop.h"
#include "VoskaryAccount/Client/VoskaryError.h"
#include "VoskaryAccount/SignIn/VoskaryAccountManager.h"

namespace flagrig {

using namespace platform;
namespace forms = platform::forms;
using forms::Node;

namespace {

std::string providerName(voskary::OAuthDriver::ProviderHint provider) {
  return std::string(voskary::OAuthDriver::rawValue(provider));
}

Value::Dictionary appleProperties() {
  return {{"transport", Value("siwa_native")}, {"provider_hint", Value("apple")}};
}

bool isTrusted() {
  return Accessibility::shared().isProcessTrusted();
}

// The backdrop's vertical gradient, drawn as bands fine enough to show no steps.
Node backdrop(Color top, Color bottom) {
  auto draw = [top, bottom](forms::Canvas& canvas) {
    constexpr int bands = 96;
    const Size size = canvas.size();
    const Color a = top;
    const Color b = bottom;
    for (int i = 0; i < bands; ++i) {
      const double t = bands > 1 ? double(i) / (bands - 1) : 0;
      auto mix = [t](double x, double y) { return x + (y - x) * t; };
      const double y0 = size.height * i / bands;
      const double y1 = size.height * (i + 1) / bands + 0.5;  // overlap: no hairline gaps
      forms::CanvasPath band;
      band.moveTo({0, y0});
      band.lineTo({size.width, y0});
      band.lineTo({size.width, y1});
      band.lineTo({0, y1});
      band.close();
      canvas.fill(std::move(band), Color::sRGB(mix(a.redComponent(), b.redComponent()),
                                               mix(a.greenComponent(), b.greenComponent()),
                                               mix(a.blueComponent(), b.blueComponent()), 1));
    }
  };
  return forms::CanvasNode(std::move(draw))
      .key("backdrop")
      .frame({.maxWidth = forms::infinity, .maxHeight = forms::infinity})
      .accessibilityHidden();
}

}  // namespace

std::shared_ptr<LoginFirstFlowView> LoginFirstFlowView::make(Configuration configuration) {
  return std::shared_ptr<LoginFirstFlowView>(new LoginFirstFlowView(std::move(configuration)));
}

LoginFirstFlowView::LoginFirstFlowView(Configuration configuration)
    : config_(std::move(configuration)) {}

LoginFirstFlowView::~LoginFirstFlowView() {
  if (activeObserver_ && hasEnvironment())
    env().notificationCenter->removeObserver(*activeObserver_);
}

std::shared_ptr<forms::FormHost> LoginFirstFlowView::makeHost() {
  std::weak_ptr<LoginFirstFlowView> weak = weak_from_this();
  enterStep(config_.model->step());
  auto host = forms::FormHost::make([weak](forms::FormHost& form) -> Node {
    if (auto self = weak.lock()) return self->body(form);
    return forms::VStack({});
  });
  host_ = host;
  host->redrawOnNotification(std::string(SignInService::subscriptionDidChange));

  std::weak_ptr<forms::FormHost> weakHost = host;
  modelObservation_ = config_.model->observe([weak, weakHost](LoginFirstFlowModel::Field field) {
    auto self = weak.lock();
    if (!self) return;
    if (field == LoginFirstFlowModel::Field::step) self->stepDidChange(self->config_.model->step());
    if (auto form = weakHost.lock()) form->invalidate();
  });
  reachability_ = NetworkReachabilityService::shared().observe([weakHost](bool) {
    if (auto form = weakHost.lock()) form->invalidate();
  });
  activeObserver_ = env().notificationCenter->addObserver(
      std::string(Application::didBecomeActiveNotification), nullptr, env().mainLoop,
      [weak](const Notification&) {
        auto self = weak.lock();
        if (self && self->config_.model->step() == LoginFirstStep::permissions)
          self->bumpPermissionTick();
      });
  if (config_.model->step() == LoginFirstStep::signIn) signInAppeared();
  return host;
}

// --- Layout --------------------------------------------------------------------------------

Node LoginFirstFlowView::body(forms::FormHost& host) {
  Node content = stepContent(host).frame({.maxWidth = forms::infinity,
                                          .maxHeight = forms::infinity,
                                          .alignment = forms::HorizontalAlignment::center});
  return forms::ZStack({backdrop(backdropTop(), backdropBottom()), std::move(content)})
      .key("loginFirstFlow")
      .colorScheme(forms::ColorScheme::dark)
      .accentColor(config_.accent)
      .tint(config_.accent);
}

Node LoginFirstFlowView::stepContent(forms::FormHost& host) {
  std::weak_ptr<LoginFirstFlowView> weak = weak_from_this();
  switch (config_.model->step()) {
    case LoginFirstStep::signIn:
      return signInView().body().key("step.signIn");
    case LoginFirstStep::consentConfirm:
      if (!consent_) return forms::VStack({}).key("step.consentConfirm");
      return consent_->body(host).key("step.consentConfirm");
    case LoginFirstStep::permissions: {
      auto finish = [weak] {
        if (auto self = weak.lock()) self->complete();
      };
      return PermissionsStep{host, config_.accent, std::move(finish)}.body().key(
          "step.permissions");
    }
  }
  return forms::VStack({});
}

void LoginFirstFlowView::stepDidChange(LoginFirstStep step) {
  if (step != LoginFirstStep::signIn) setDidShowLogin(false);
  enterStep(step);
  if (config_.resizeHostWindow) config_.resizeHostWindow(step);
  if (step == LoginFirstStep::signIn) signInAppeared();
}

void LoginFirstFlowView::setDidShowLogin(bool shown) {
  didShowLogin_ = shown;
}

void LoginFirstFlowView::bumpPermissionTick() {
  if (auto host = host_.lock()) PermissionsStep::bumpTick(*host);
}

void LoginFirstFlowView::enterStep(LoginFirstStep step) {
  if (step != LoginFirstStep::consentConfirm) {
    consent_.reset();
    return;
  }
  if (consent_) return;
  std::weak_ptr<LoginFirstFlowView> weak = weak_from_this();
  consent_ = SIWAConsentConfirmView::make(config_.bridge, [weak] {
    if (auto self = weak.lock()) self->routePostAuth();
  });
}

void LoginFirstFlowView::signInAppeared() {
  if (didShowLogin_) return;
  setDidShowLogin(true);
  Analytics::track("login_screen_shown");
}

// --- Routing after sign-in -----------------------------------------------------------------

void LoginFirstFlowView::complete() {
  // Two quick "Continue" presses, or a consent that continues twice, finish the flow once.
  if (completed_) return;
  completed_ = true;
  if (config_.onComplete) config_.onComplete();
}

Task<void> LoginFirstFlowView::afterSignIn(ProviderHint provider, SignInRoad road) {
  Analytics::track("sign_in_completed", {{"provider", Value(providerName(provider))}});
  const bool newAppleAccount = road == SignInRoad::nativeApple && config_.bridge &&
                               config_.bridge->manager()->lastAppleSignInIsNewUser() == true;
  if (newAppleAccount) {
    config_.model->setStep(LoginFirstStep::consentConfirm);
    config_.model->clearErrorMessage();
    co_return;
  }
  routePostAuth();
}

void LoginFirstFlowView::routePostAuth() {
  advanceToPermissionsOrComplete();
}

void LoginFirstFlowView::advanceToPermissionsOrComplete() {
  if (completed_) return;
  if (isTrusted()) {
    Analytics::track("onboarding_completed", {{"method", Value("login_first")}});
    complete();
    return;
  }
  config_.model->setStep(LoginFirstStep::permissions);
  config_.model->clearErrorMessage();
}

// --- The sign-in step ----------------------------------------------------------------------

voskary::VoskarySignInScreen LoginFirstFlowView::signInView() {
  std::weak_ptr<LoginFirstFlowView> weak = weak_from_this();
  std::optional<std::string> email;
  // While a sign-out runs the old account is already gone for the user.
  if (config_.bridge && !(config_.subscription && config_.subscription->isSigningOut())) {
    if (auto session = config_.bridge->currentSession()) email = session->email;
  }
  return voskary::VoskarySignInScreen(
      BrandMark::nsImage(), config_.appName, valueProp,
      voskary::VoskaryProviderButtonStyle::dark(config_.accent), signInPhase(),
      Constants::Identity::privacyURL(), Constants::Identity::termsURL(), std::move(email),
      [weak](ProviderHint provider) {
        if (auto self = weak.lock()) self->signIn(provider);
      },
      [weak] {
        if (auto self = weak.lock()) self->cancelSignIn();
      },
      [weak] {
        if (auto self = weak.lock()) self->retry();
      },
      [weak] {
        if (auto self = weak.lock()) self->signOutToSignIn();
      });
}

LoginFirstFlowView::Phase LoginFirstFlowView::signInPhase() const {
  const auto& model = *config_.model;
  if (model.isWorking()) return Phase::busy();
  if (!NetworkReachabilityService::shared().isOnline()) return Phase::offline();
  if (model.errorMessage()) return Phase::error(*model.errorMessage());
  return Phase::ready();
}

std::shared_ptr<Window> LoginFirstFlowView::anchorWindow() const {
  if (config_.hostWindow) {
    if (auto window = config_.hostWindow()) return window;
  }
  if (!env().desktop) return nullptr;
  auto& app = Application::shared();
  if (auto window = app.keyWindow()) return window;
  if (auto window = app.mainWindow()) return window;
  auto windows = app.windows();
  return windows.empty() ? nullptr : windows.front();
}

void LoginFirstFlowView::signIn(ProviderHint provider) {
  auto& model = *config_.model;
  if (model.isWorking()) return;
  auto window = anchorWindow();
  if (!window) {
    model.setErrorMessage(std::string(noWindowMessage));
    return;
  }
  model.clearErrorMessage();
  model.setWorking(true);
  spawn(runSignIn(weak_from_this(), config_.model, config_.subscription, config_.bridge, provider,
                  std::move(window)));
}

Task<void> LoginFirstFlowView::runSignIn(std::weak_ptr<LoginFirstFlowView> weak,
                                         std::shared_ptr<LoginFirstFlowModel> model,
                                         std::shared_ptr<SignInService> subscription,
                                         std::shared_ptr<VoskaryAccountBridge> bridge,
                                         ProviderHint provider, std::shared_ptr<Window> window) {
  // Whatever happens below, the sign-in is over for the model.
  struct Done {
    std::shared_ptr<LoginFirstFlowModel> model;
    ~Done() { model->setWorking(false); }
  } done{model};

  // A sign-out still revoking would delete the session this sign-in is about to store.
  if (subscription) {
    auto signOuts = subscription->signOutsFinished();
    co_await std::move(signOuts);
  }
  // A flow closed meanwhile starts nothing more.
  if (weak.expired()) co_return;

  if (provider == ProviderHint::apple && bridge) {
    Analytics::track("auth_started", appleProperties());
    std::exception_ptr failure;
    bool cancelled = false;
    try {
      auto appleSignIn = bridge->manager()->signInWithApple(window, std::nullopt);
      co_await std::move(appleSignIn);
    } catch (const voskary::VoskaryError& error) {
      if (error == voskary::VoskaryError::authorizationCancelled())
        cancelled = true;
      else
        failure = std::current_exception();
    } catch (const ProgrammingError&) {
      throw;
    } catch (...) {
      failure = std::current_exception();
    }
    if (cancelled) co_return;
    if (!failure) {
      auto properties = appleProperties();
      if (auto isNew = bridge->manager()->lastAppleSignInIsNewUser())
        properties.emplace("is_new_user", Value(*isNew));
      Analytics::track("auth_completed", properties);
      auto self = weak.lock();
      if (!self) co_return;
      auto route = self->afterSignIn(ProviderHint::apple, SignInRoad::nativeApple);
      co_await std::move(route);
      co_return;
    }
    // Never raw error text: it can carry addresses, tokens or the user's name.
    std::string reason = "unknown";
    try {
      std::rethrow_exception(failure);
    } catch (const std::exception& error) {
      reason = SignInService::analyticsErrorName(error);
    } catch (...) {
    }
    auto properties = appleProperties();
    properties.emplace("reason", Value(reason));
    Analytics::track("auth_failed", properties);
    // No browser sign-in on behalf of a flow whose window has closed.
    if (weak.expired()) co_return;
  }

  // Tasks are bound to locals before they are awaited: g++ 12 mishandles temporaries (and
  // conditional expressions) inside `co_await`.
  auto result = SignInService::SignInResult::failed("Service unavailable.");
  if (subscription) {
    auto browserSignIn = subscription->beginSignIn(window, provider);
    result = co_await std::move(browserSignIn);
  }
  auto self = weak.lock();
  if (!self) co_return;
  auto apply = self->handleShellSignInResult(result, provider);
  co_await std::move(apply);
}

Task<void> LoginFirstFlowView::handleShellSignInResult(SignInService::SignInResult result,
                                                       ProviderHint provider) {
  switch (result.kind) {
    case SignInService::SignInResult::Kind::success: {
      auto route = afterSignIn(provider, SignInRoad::browser);
      co_await std::move(route);
      break;
    }
    case SignInService::SignInResult::Kind::cancelled:
      break;
    case SignInService::SignInResult::Kind::failed:
      config_.model->setErrorMessage(result.message);
      break;
  }
}

void LoginFirstFlowView::cancelSignIn() {
  // The waiting sign-in task sees the cancel and clears `isWorking` itself.
  if (!config_.subscription) return;
  if (auto bridge = config_.subscription->attachedBridge()) bridge->manager()->cancelSignIn();
}

void LoginFirstFlowView::retry() {
  config_.model->clearErrorMessage();
}

void LoginFirstFlowView::signOutToSignIn() {
  if (config_.subscription) config_.subscription->signOut();
  config_.model->setStep(LoginFirstStep::signIn);
  config_.model->clearErrorMessage();
  // The e-mail goes at once, not when the revocation ends.
  if (auto host = host_.lock()) host->invalidate();
}

}  // namespace flagrig
