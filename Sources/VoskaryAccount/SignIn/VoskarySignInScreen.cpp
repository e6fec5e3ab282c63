#include "VoskaryAccount/SignIn/VoskarySignInScreen.h"

#include <utility>

#include "Platform/Forms/Vocabulary.h"
#include "VoskaryAccount/SignIn/OfflineGlyph.h"
#include "VoskaryAccount/SignIn/VoskaryProviderButtons.h"

namespace voskary {

using namespace platform::forms::vocabulary;

VoskarySignInScreen::VoskarySignInScreen(
    std::shared_ptr<platform::Image> appIcon, std::string appName, std::string valueProp,
    VoskaryProviderButtonStyle style, Phase phase, platform::URL privacyURL, platform::URL termsURL,
    std::optional<std::string> signedInEmail, OnTap onTap, std::function<void()> onCancel,
    std::function<void()> onRetry, std::function<void()> onUseDifferentAccount)
    : appIcon(std::move(appIcon)),
      appName(std::move(appName)),
      valueProp(std::move(valueProp)),
      style(style),
      phase(std::move(phase)),
      privacyURL(std::move(privacyURL)),
      termsURL(std::move(termsURL)),
      onTap(std::move(onTap)),
      onCancel(std::move(onCancel)),
      onRetry(std::move(onRetry)),
      signedInEmail(std::move(signedInEmail)),
      onUseDifferentAccount(std::move(onUseDifferentAccount)) {}

std::string VoskarySignInScreen::progressText(const std::string& appName) {
  return "Signing in to " + appName + "\u2026";
}

Node VoskarySignInScreen::body() const {
  // The page fills the visible height and centres its content; a shorter window scrolls it.
  Node page = forms::VStack({forms::Spacer(24, 96).key("topSpacer"),
                             forms::VStack({header(), contentBlock()}).key("middle").spacing(36),
                             forms::Spacer(24, 96).key("bottomSpacer"), footer()})
                  .key("page")
                  .spacing(0)
                  .padding(32)
                  .frame({.maxWidth = forms::infinity, .minHeightFillsViewport = true});
  return forms::ScrollView(std::move(page)).key("signIn").scrollIndicators(false);
}

Node VoskarySignInScreen::header() const {
  std::vector<Node> rows;
  if (appIcon) {
    rows.push_back(
        forms::ImageNode(appIcon, {96, 96}).key("icon").clipCornerRadius(22).accessibilityHidden());
  }
  rows.push_back(forms::Text(appName)
                     .key("appName")
                     .font(Font::systemFont(28, FontWeight::bold))
                     .foreground(style.primaryText()));
  rows.push_back(forms::Text(valueProp)
                     .key("valueProp")
                     .font(Font::systemFont(15))
                     .foreground(style.secondaryText())
                     .multilineTextAlignment(forms::TextAlignment::center));
  return forms::VStack(std::move(rows)).key("header").spacing(14);
}

Node VoskarySignInScreen::contentBlock() const {
  Node block = phase.kind() == Phase::Kind::offline ? offlineCard()
               : signedInEmail                      ? accountBlock(*signedInEmail)
                                                    : signedOutBlock();
  return std::move(block).frame({.maxWidth = contentMaxWidth});
}

Node VoskarySignInScreen::signedOutBlock() const {
  bool busy = phase.kind() == Phase::Kind::busy;
  std::vector<Node> rows;
  if (phase.kind() == Phase::Kind::error) rows.push_back(errorRow(phase.message()));
  rows.push_back(VoskaryProviderButtons(style, busy, busy ? onCancel : nullptr, onTap)
                     .body()
                     .key("providers"));
  if (busy) rows.push_back(progressRow());
  return forms::VStack(std::move(rows)).key("signedOut").spacing(14);
}

Node VoskarySignInScreen::accountBlock(const std::string& email) const {
  bool busy = phase.kind() == Phase::Kind::busy;
  std::vector<Node> rows;
  if (phase.kind() == Phase::Kind::error) rows.push_back(errorRow(phase.message()));
  rows.push_back(
      forms::VStack(
          {forms::Text(signedInAsText).font(Font::systemFont(13)).foreground(style.secondaryText()),
           forms::Text(email)
               .key("email")
               .font(Font::systemFont(15, FontWeight::semibold))
               .foreground(style.primaryText())
               .lineLimit(1)
               .truncation(forms::Truncation::middle)})
          .key("identity")
          .spacing(3));
  auto onUse = onUseDifferentAccount;
  rows.push_back(forms::Button(useDifferentAccountTitle,
                               [onUse] {
                                 if (onUse) onUse();
                               })
                     .key("useDifferentAccount")
                     .buttonStyle(forms::ButtonStyle::plain)
                     .font(Font::systemFont(13, FontWeight::medium))
                     .foreground(style.secondaryText())
                     .frame({.maxWidth = forms::infinity, .minHeight = 32})
                     .disabled(busy)
                     .accessibilityLabel(useDifferentAccountTitle));
  if (busy) rows.push_back(progressRow());
  return forms::VStack(std::move(rows)).key("account").spacing(16);
}

Node VoskarySignInScreen::offlineCard() const {
  auto retry = onRetry;
  Node retryButton = forms::Button({forms::Text(retryTitle)
                                        .font(Font::systemFont(14, FontWeight::semibold))
                                        .foreground(style.retryLabel())
                                        .frame({.maxWidth = forms::infinity, .minHeight = 44})},
                                   [retry] {
                                     if (retry) retry();
                                   })
                         .key("retry")
                         .buttonStyle(forms::ButtonStyle::plain)
                         .background(forms::Shape({.kind = forms::ShapeKind::roundedRectangle,
                                                   .cornerRadius = 12,
                                                   .fill = style.retryFill()}))
                         .padding(forms::EdgeInsets{.top = 4})
                         .accessibilityLabel(retryTitle);
  double markSide = Font::systemFont(26, FontWeight::medium).lineHeight();
  return forms::VStack({OfflineGlyph()
                            .body()
                            .key("offlineMark")
                            .frame({.width = markSide, .height = markSide})
                            .foreground(style.secondaryText()),
                        forms::Text(offlineHeading)
                            .font(Font::systemFont(16, FontWeight::semibold))
                            .foreground(style.primaryText()),
                        forms::Text(offlineBody)
                            .font(Font::systemFont(13))
                            .foreground(style.secondaryText())
                            .multilineTextAlignment(forms::TextAlignment::center),
                        std::move(retryButton)})
      .key("offline")
      .spacing(12)
      .padding(20)
      .frame({.maxWidth = forms::infinity})
      .overlay(forms::Shape({.kind = forms::ShapeKind::roundedRectangle,
                             .cornerRadius = 16,
                             .stroke = style.offlineBorder(),
                             .lineWidth = 1,
                             .strokeInside = true}));
}

Node VoskarySignInScreen::footer() const {
  return forms::HStack({forms::Link(privacyTitle, privacyURL).key("privacy"), forms::Text("\u00B7"),
                        forms::Link(termsTitle, termsURL).key("terms")})
      .key("footer")
      .spacing(6)
      .alignment(forms::VerticalAlignment::center)
      .font(Font::systemFont(12))
      .foreground(style.secondaryText())
      .tint(style.secondaryText());
}

Node VoskarySignInScreen::errorRow(const std::string& message) const {
  return forms::Text(message)
      .key("error")
      .font(Font::systemFont(13, FontWeight::medium))
      .foreground(style.errorText())
      .multilineTextAlignment(forms::TextAlignment::center)
      .frame({.maxWidth = forms::infinity})
      .accessibilityLabel(message);
}

Node VoskarySignInScreen::progressRow() const {
  return forms::HStack({forms::ProgressView(), forms::Text(progressText(appName))
                                                   .font(Font::systemFont(13))
                                                   .foreground(style.secondaryText())})
      .key("progress")
      .spacing(8)
      .alignment(forms::VerticalAlignment::center)
      .padding(forms::EdgeInsets{.top = 2})
      .accessibilityCombined();
}

}  // namespace voskary
