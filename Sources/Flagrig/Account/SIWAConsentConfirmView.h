#pragma once

#include <functional>
#include <memory>

#include "Platform/Desktop/Color.h"
#include "Platform/Forms/FormNode.h"

namespace platform::forms {
class FormHost;
}

namespace flagrig {

class VoskaryAccountBridge;

// The step after a Sign in with Apple that created a new account: the account's terms with
// their links, an opt-in to marketing e-mail (pre-checked in the US only) and "Continue",
// which records both once and then hands back to the flow. Make one for each showing of the
// step and keep it while the step is shown; its box and its submission live in it, and it
// redraws the host it was last drawn in. Main thread only.
class SIWAConsentConfirmView : public std::enable_shared_from_this<SIWAConsentConfirmView> {
 public:
  static constexpr const char* title = "Finish creating your account";
  static constexpr const char* termsLead = "By creating an account you agree to the";
  static constexpr const char* termsTitle = "Terms of Service";
  static constexpr const char* privacyTitle = "Privacy Policy";
  static constexpr const char* continueTitle = "Continue";

  static platform::Color accent();
  static platform::Color coal();

  // Reads the locale's region once, here.
  static std::shared_ptr<SIWAConsentConfirmView> make(std::shared_ptr<VoskaryAccountBridge> bridge,
                                                      std::function<void()> onContinue);
  SIWAConsentConfirmView(std::shared_ptr<VoskaryAccountBridge> bridge,
                         std::function<void()> onContinue);

  platform::forms::Node body(platform::forms::FormHost& host);

  // What the user does.
  void toggleMarketing();
  void continueTapped();

  bool marketingChecked() const { return marketingChecked_; }
  bool touched() const { return touched_; }
  bool submitting() const { return submitting_; }
  bool initiallyChecked() const { return initiallyChecked_; }

 private:
  void changed();
  platform::forms::Node terms() const;
  platform::forms::Node marketingRow();
  platform::forms::Node continueButton();

  std::shared_ptr<VoskaryAccountBridge> bridge_;
  std::function<void()> onContinue_;
  bool initiallyChecked_;
  bool marketingChecked_;
  bool touched_ = false;
  bool submitting_ = false;
  std::weak_ptr<platform::forms::FormHost> host_;
};

}  // namespace flagrig
