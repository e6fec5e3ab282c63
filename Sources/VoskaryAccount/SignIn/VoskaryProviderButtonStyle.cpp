#include "VoskaryAccount/SignIn/VoskaryProviderButtonStyle.h"

namespace voskary {

using platform::Color;

Color VoskaryProviderButtonStyle::appleFill() const {
  return isDark() ? Color::sRGB(1, 1, 1) : Color::sRGB(0, 0, 0);
}

Color VoskaryProviderButtonStyle::appleForeground() const {
  return isDark() ? Color::sRGB(0, 0, 0) : Color::sRGB(1, 1, 1);
}

Color VoskaryProviderButtonStyle::googleFill() const {
  return isDark() ? Color::sRGB(0.075, 0.075, 0.08) : Color::sRGB(1, 1, 1);
}

Color VoskaryProviderButtonStyle::googleBorder() const {
  return isDark() ? Color::sRGB(0.235, 0.251, 0.263) : Color::sRGB(0.86, 0.87, 0.88);
}

Color VoskaryProviderButtonStyle::googleTitle() const {
  return isDark() ? Color::sRGB(0.89, 0.89, 0.89) : Color::sRGB(0.12, 0.12, 0.13);
}

Color VoskaryProviderButtonStyle::emailForeground() const {
  return isDark() ? Color::sRGB(1, 1, 1) : Color::sRGB(0.12, 0.10, 0.08);
}

Color VoskaryProviderButtonStyle::cancelText() const {
  return isDark() ? Color::sRGB(1, 1, 1, 0.65) : Color::sRGB(0.12, 0.12, 0.13, 0.65);
}

Color VoskaryProviderButtonStyle::primaryText() const {
  return isDark() ? Color::sRGB(0.96, 0.95, 1.00) : Color::sRGB(0.10, 0.10, 0.12);
}

Color VoskaryProviderButtonStyle::secondaryText() const {
  return isDark() ? Color::sRGB(1, 1, 1, 0.6) : Color::sRGB(0.10, 0.10, 0.12, 0.6);
}

Color VoskaryProviderButtonStyle::errorText() const {
  return isDark() ? Color::sRGB(1.00, 0.45, 0.42) : Color::sRGB(0.75, 0.18, 0.16);
}

Color VoskaryProviderButtonStyle::offlineBorder() const {
  Color secondary = secondaryText();
  return secondary.withAlphaComponent(secondary.alphaComponent() * 0.35);
}

Color VoskaryProviderButtonStyle::retryLabel() const {
  return isDark() ? Color::sRGB(1, 1, 1) : Color::sRGB(0.12, 0.10, 0.08);
}

}  // namespace voskary
