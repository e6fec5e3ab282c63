#pragma once

#include <functional>

#include "Platform/Forms/FormNode.h"
#include "VoskaryAccount/SignIn/OAuthDriver.h"
#include "VoskaryAccount/SignIn/VoskaryProviderButtonStyle.h"

namespace voskary {

// The column of sign-in buttons: Apple, Google, e-mail, and "Cancel sign-in" while a sign-in
// runs and the host allows cancelling. It keeps no state and signs nobody in: it reports the
// pressed provider to the host.
class VoskaryProviderButtons {
 public:
  using OnTap = std::function<void(OAuthDriver::ProviderHint)>;

  // An empty `onCancelPending` is an absent one.
  VoskaryProviderButtons(VoskaryProviderButtonStyle style, bool isBusy,
                         std::function<void()> onCancelPending, OnTap onTap);

  platform::forms::Node body() const;

  VoskaryProviderButtonStyle style;
  bool isBusy;
  std::function<void()> onCancelPending;
  OnTap onTap;

  // Titles, which are also the accessibility labels.
  static constexpr const char* appleTitle = "Sign in with Apple";
  static constexpr const char* googleTitle = "Sign in with Google";
  static constexpr const char* emailTitle = "Continue with email";
  static constexpr const char* cancelTitle = "Cancel sign-in";
  static constexpr double appleBusyOpacity = 0.55;

 private:
  platform::forms::Node providerButton(OAuthDriver::ProviderHint hint, platform::forms::Node mark,
                                       const char* title, platform::Color titleColor,
                                       platform::forms::Node background) const;
};

}  // namespace voskary
