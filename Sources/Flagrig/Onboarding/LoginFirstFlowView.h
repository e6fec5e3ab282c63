#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "Flagrig/Account/SignInService.h"
#include "Flagrig/Onboarding/LoginFirstFlowModel.h"
#include "Flagrig/Onboarding/LoginFirstStep.h"
#include "Flagrig/Onboarding/NetworkReachabilityService.h"
#include "Platform/Desktop/Color.h"
#include "Platform/Forms/FormNode.h"
#include "Platform/Foundation/NotificationCenter.h"
#include "Platform/Foundation/Task.h"
#include "VoskaryAccount/SignIn/OAuthDriver.h"
#include "VoskaryAccount/SignIn/VoskarySignInScreen.h"

namespace platform {
class Window;
namespace forms {
class FormHost;
}
}  // namespace platform

namespace flagrig {

class SIWAConsentConfirmView;
class VoskaryAccountBridge;

// The first-run flow: one form that shows the sign-in, consent or permissions step of its
// model, signs the user in, and decides after each sign-in where the flow goes next. It never
// closes its window: it calls `onComplete` (once) and leaves the rest to its creator.
//
// Create it with `make`, then `makeHost` once; tasks and the host hold it weakly, so a flow
// whose window was closed in the middle of a sign-in simply stops. Main thread only.
class LoginFirstFlowView : public std::enable_shared_from_this<LoginFirstFlowView> {
 public:
  using ProviderHint = voskary::OAuthDriver::ProviderHint;
  using Phase = voskary::VoskarySignInScreen::Phase;

  struct Configuration {
    std::shared_ptr<SignInService> subscription;
    std::shared_ptr<VoskaryAccountBridge> bridge;
    std::shared_ptr<LoginFirstFlowModel> model;
    std::function<void()> onComplete;
    // Told every new step (not the first).
    std::function<void(LoginFirstStep)> resizeHostWindow;
    std::function<std::shared_ptr<platform::Window>()> hostWindow;
    std::string appName = "Flagrig";
    std::string appSlug = "flagrig";
    platform::Color accent = defaultAccent();
  };

  static constexpr const char* valueProp = "Spot and jump to the right window at a glance.";
  static constexpr const char* noWindowMessage = "Sign-in is unavailable. Try again in a moment.";
  static platform::Color defaultAccent() { return platform::Color::sRGB(0.851, 0.467, 0.024, 1); }
  static platform::Color backdropTop() { return platform::Color::sRGB(0.16, 0.10, 0.03); }
  static platform::Color backdropBottom() { return platform::Color::sRGB(0.06, 0.05, 0.04); }

  static std::shared_ptr<LoginFirstFlowView> make(Configuration configuration);
  ~LoginFirstFlowView();
  LoginFirstFlowView(const LoginFirstFlowView&) = delete;
  LoginFirstFlowView& operator=(const LoginFirstFlowView&) = delete;

  // The form of this flow, rendered once; redrawn on changes of the model, the network path,
  // the signed-in account and (on the permissions step) the app's activation.
  std::shared_ptr<platform::forms::FormHost> makeHost();

  const std::shared_ptr<LoginFirstFlowModel>& model() const { return config_.model; }

  // The steps ----------------------------------------------------------------------------
  platform::forms::Node body(platform::forms::FormHost& host);
  platform::forms::Node stepContent(platform::forms::FormHost& host);
  voskary::VoskarySignInScreen signInView();

  // Routing after sign-in -------------------------------------------------------------------
  // How a sign-in was made: only after the native Sign in with Apple is the manager's new-user
  // flag about this sign-in (it keeps the value of the last Apple one).
  enum class SignInRoad { nativeApple, browser };
  platform::Task<void> afterSignIn(ProviderHint provider, SignInRoad road);
  void routePostAuth();
  void advanceToPermissionsOrComplete();

  // The sign-in step ------------------------------------------------------------------------
  Phase signInPhase() const;
  void signIn(ProviderHint provider);
  void cancelSignIn();
  void retry();
  void signOutToSignIn();
  platform::Task<void> handleShellSignInResult(SignInService::SignInResult result,
                                               ProviderHint provider);
  // Sends "login_screen_shown" on the first showing of each visit of the sign-in step.
  void signInAppeared();

  bool didShowLogin() const { return didShowLogin_; }
  // Redraws the permissions step with fresh permission states.
  void bumpPermissionTick();

 private:
  explicit LoginFirstFlowView(Configuration configuration);
  void complete();
  void stepDidChange(LoginFirstStep step);
  // Makes or drops what a step keeps while it is shown.
  void enterStep(LoginFirstStep step);
  void setDidShowLogin(bool shown);
  std::shared_ptr<platform::Window> anchorWindow() const;
  static platform::Task<void> runSignIn(std::weak_ptr<LoginFirstFlowView> weak,
                                        std::shared_ptr<LoginFirstFlowModel> model,
                                        std::shared_ptr<SignInService> subscription,
                                        std::shared_ptr<VoskaryAccountBridge> bridge,
                                        ProviderHint provider,
                                        std::shared_ptr<platform::Window> window);

  Configuration config_;
  std::weak_ptr<platform::forms::FormHost> host_;
  std::unique_ptr<LoginFirstFlowModel::Observation> modelObservation_;
  std::unique_ptr<NetworkReachabilityService::Observation> reachability_;
  std::optional<platform::NotificationCenter::Token> activeObserver_;
  bool completed_ = false;
  bool didShowLogin_ = false;
  // One consent screen per visit of the consent step.
  std::shared_ptr<SIWAConsentConfirmView> consent_;
};

}  // namespace flagrig
