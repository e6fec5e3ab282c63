#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "Platform/Desktop/Image.h"
#include "Platform/Forms/FormNode.h"
#include "Platform/Foundation/URL.h"
#include "VoskaryAccount/SignIn/OAuthDriver.h"
#include "VoskaryAccount/SignIn/VoskaryProviderButtonStyle.h"

namespace voskary {

// The account library's sign-in page: the app's identity, one content block (the provider
// buttons, the signed-in account, or the offline card) and a footer with the privacy and terms
// links. It keeps no state and signs nobody in: the host passes everything in, builds a new
// value whenever any of it changes, and hears the user's choices through the callbacks.
class VoskarySignInScreen {
 public:
  // What the sign-in is doing, as the host sees it.
  class Phase {
   public:
    enum class Kind { error, ready, busy, offline };

    static Phase error(std::string message) { return {Kind::error, std::move(message)}; }
    static Phase ready() { return {Kind::ready, {}}; }
    static Phase busy() { return {Kind::busy, {}}; }
    static Phase offline() { return {Kind::offline, {}}; }

    Kind kind() const { return kind_; }
    // The error's message; empty for the other cases.
    const std::string& message() const { return message_; }
    bool operator==(const Phase&) const = default;

   private:
    Phase(Kind kind, std::string message) : kind_(kind), message_(std::move(message)) {}
    Kind kind_;
    std::string message_;
  };

  using OnTap = std::function<void(OAuthDriver::ProviderHint)>;

  // Every parameter must be given; an empty callback is an absent one.
  VoskarySignInScreen(std::shared_ptr<platform::Image> appIcon, std::string appName,
                      std::string valueProp, VoskaryProviderButtonStyle style, Phase phase,
                      platform::URL privacyURL, platform::URL termsURL,
                      std::optional<std::string> signedInEmail, OnTap onTap,
                      std::function<void()> onCancel, std::function<void()> onRetry,
                      std::function<void()> onUseDifferentAccount);

  // Reads only the fields; building it has no side effect.
  platform::forms::Node body() const;

  std::shared_ptr<platform::Image> appIcon;
  std::string appName;
  std::string valueProp;
  VoskaryProviderButtonStyle style;
  Phase phase;
  platform::URL privacyURL;
  platform::URL termsURL;
  OnTap onTap;
  std::function<void()> onCancel;
  std::function<void()> onRetry;
  std::optional<std::string> signedInEmail;
  std::function<void()> onUseDifferentAccount;

  // Fixed texts.
  static constexpr const char* signedInAsText = "Signed in as";
  static constexpr const char* useDifferentAccountTitle = "Use a different account";
  static constexpr const char* offlineHeading = "Can't reach Voskary";
  static constexpr const char* offlineBody = "Check your connection and try again.";
  static constexpr const char* retryTitle = "Retry";
  static constexpr const char* privacyTitle = "Privacy Policy";
  static constexpr const char* termsTitle = "Terms of Service";
  static constexpr double contentMaxWidth = 360;
  // "Signing in to <app>…"
  static std::string progressText(const std::string& appName);

 private:
  platform::forms::Node header() const;
  platform::forms::Node contentBlock() const;
  platform::forms::Node signedOutBlock() const;
  platform::forms::Node accountBlock(const std::string& email) const;
  platform::forms::Node offlineCard() const;
  platform::forms::Node footer() const;
  platform::forms::Node errorRow(const std::string& message) const;
  platform::forms::Node progressRow() const;
};

}  // namespace voskary
