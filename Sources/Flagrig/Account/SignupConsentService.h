#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "Platform/Foundation/Task.h"

namespace flagrig {

class VoskaryAccountBridge;

// Records what a new user agreed to on the consent screen: one consent per legal document at
// the account service (with the session token and a DPoP proof) and, when the user opted in,
// one contact capture at the marketing service. Each request is sent once and in turn; a
// failure is logged and lost, never reported, so the screen always moves on.
struct SignupConsentService {
  SignupConsentService() = delete;

  static constexpr std::string_view consentVersion = "v1-2026-06";
  static constexpr std::string_view consentSurface = "flagrig_mac_siwa_confirm";
  // Exactly the sentence the screen shows, without its links.
  static constexpr std::string_view termsText =
      "By creating an account you agree to the Terms of Service and Privacy Policy";
  static constexpr std::string_view marketingList = "flagrig_marketing";
  static constexpr std::string_view appSlug = "flagrig";
  static constexpr std::string_view marketingSourceType = "signup";
  // Exactly the label of the screen's check box.
  static constexpr std::string_view marketingConsentText =
      "Send me app updates & offers from Voskary Studios";
  static constexpr double requestTimeout = 8.0;

  // The marketing box as the user left it. `initiallyChecked` is its state when the screen was
  // built: the locale may change while the screen is up, and the method must say what the user
  // saw.
  struct MarketingBox {
    bool checked = false;
    bool touched = false;
    bool initiallyChecked = false;
  };

  // Never throws.
  static platform::Task<void> submit(std::shared_ptr<VoskaryAccountBridge> bridge,
                                     MarketingBox marketing);

  // "default_checked" when the user kept the box that the screen had pre-checked;
  // "explicit_checkbox" otherwise.
  static std::string consentMethod(const MarketingBox& marketing);
  // Whether the screen starts with the box checked: in the US locale region only.
  static bool marketingPreChecked();

 private:
  static platform::Task<void> postConsent(std::string kind, std::string sessionToken,
                                          std::shared_ptr<VoskaryAccountBridge> bridge);
  static platform::Task<void> postMarketingCapture(std::string email,
                                                   std::optional<std::string> voskaryAccountID,
                                                   std::string consentMethod);
};

}  // namespace flagrig
