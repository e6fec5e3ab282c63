#include "VoskaryAccount/SignIn/VoskaryProviderButtons.h"

#include <utility>

#include "Platform/Forms/Vocabulary.h"
#include "VoskaryAccount/SignIn/AppleLogoGlyph.h"
#include "VoskaryAccount/SignIn/EnvelopeGlyph.h"
#include "VoskaryAccount/SignIn/GoogleGGlyph.h"

namespace voskary {

using namespace platform::forms::vocabulary;

namespace {

constexpr double kCornerRadius = 12;

// A mark as tall as a line of the font it stands beside.
forms::Frame markFrame(const Font& font) {
  double side = font.lineHeight();
  return {.width = side, .height = side};
}

forms::ShapeStyle roundedFill(Color fill) {
  return {.kind = forms::ShapeKind::roundedRectangle, .cornerRadius = kCornerRadius, .fill = fill};
}

}  // namespace

VoskaryProviderButtons::VoskaryProviderButtons(VoskaryProviderButtonStyle style, bool isBusy,
                                               std::function<void()> onCancelPending, OnTap onTap)
    : style(style),
      isBusy(isBusy),
      onCancelPending(std::move(onCancelPending)),
      onTap(std::move(onTap)) {}

Node VoskaryProviderButtons::providerButton(OAuthDriver::ProviderHint hint, Node mark,
                                            const char* title, Color titleColor,
                                            Node background) const {
  OnTap tap = onTap;
  Node label = forms::HStack({std::move(mark).key("mark"),
                              forms::Text(title).font(Font::systemFont(14, FontWeight::semibold))})
                   .spacing(10)
                   .alignment(forms::VerticalAlignment::center)
                   .foreground(titleColor)
                   .frame({.maxWidth = forms::infinity, .minHeight = 48});
  return forms::Button({std::move(label)},
                       [tap, hint] {
                         if (tap) tap(hint);
                       })
      .key(std::string(OAuthDriver::rawValue(hint)))
      .buttonStyle(forms::ButtonStyle::plain)
      .background(std::move(background))
      .disabled(isBusy)
      .accessibilityLabel(title);
}

Node VoskaryProviderButtons::body() const {
  using Hint = OAuthDriver::ProviderHint;
  std::vector<Node> rows;

  rows.push_back(
      providerButton(
          Hint::apple,
          AppleLogoGlyph().body().frame(markFrame(Font::systemFont(17, FontWeight::medium))),
          appleTitle, style.appleForeground(), forms::Shape(roundedFill(style.appleFill())))
          .opacity(isBusy ? appleBusyOpacity : 1.0));

  // The border lies on top of the fill, inside its edge.
  forms::ShapeStyle border{.kind = forms::ShapeKind::roundedRectangle,
                           .cornerRadius = kCornerRadius,
                           .stroke = style.googleBorder(),
                           .lineWidth = 1,
                           .strokeInside = true};
  rows.push_back(providerButton(
      Hint::google, GoogleGGlyph().body().frame({.width = 18, .height = 18}), googleTitle,
      style.googleTitle(),
      forms::ZStack({forms::Shape(roundedFill(style.googleFill())), forms::Shape(border)})));

  rows.push_back(providerButton(
      Hint::email,
      EnvelopeGlyph().body().frame(markFrame(Font::systemFont(16, FontWeight::semibold))),
      emailTitle, style.emailForeground(), forms::Shape(roundedFill(style.emailFill()))));

  if (isBusy && onCancelPending) {
    auto cancel = onCancelPending;
    rows.push_back(forms::Button(cancelTitle, [cancel] { cancel(); })
                       .key("cancel")
                       .buttonStyle(forms::ButtonStyle::plain)
                       .font(Font::systemFont(13, FontWeight::medium))
                       .foreground(style.cancelText())
                       .padding(forms::EdgeInsets{.top = 2})
                       .accessibilityLabel(cancelTitle));
  }
  return forms::VStack(std::move(rows)).spacing(10).alignment(forms::HorizontalAlignment::center);
}

}  // namespace voskary
