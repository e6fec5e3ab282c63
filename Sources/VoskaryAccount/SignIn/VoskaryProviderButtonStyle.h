#pragma once

#include "Platform/Desktop/Color.h"

namespace voskary {

// The look of the sign-in buttons (and of the sign-in screen's text): light for a light
// backdrop, dark for a dark one, each with the host's accent colour.
class VoskaryProviderButtonStyle {
 public:
  enum class Kind { light, dark };

  static VoskaryProviderButtonStyle light(platform::Color accent) { return {Kind::light, accent}; }
  static VoskaryProviderButtonStyle dark(platform::Color accent) { return {Kind::dark, accent}; }

  Kind kind() const { return kind_; }
  bool isDark() const { return kind_ == Kind::dark; }
  const platform::Color& accent() const { return accent_; }

  // Button colours.
  platform::Color appleFill() const;
  platform::Color appleForeground() const;
  platform::Color googleFill() const;
  platform::Color googleBorder() const;
  platform::Color googleTitle() const;
  platform::Color emailFill() const { return accent_; }
  platform::Color emailForeground() const;
  platform::Color cancelText() const;

  // The sign-in screen's palette.
  platform::Color primaryText() const;
  platform::Color secondaryText() const;
  platform::Color errorText() const;
  platform::Color offlineBorder() const;
  platform::Color retryLabel() const;
  platform::Color retryFill() const { return accent_; }

  bool operator==(const VoskaryProviderButtonStyle&) const = default;

 private:
  VoskaryProviderButtonStyle(Kind kind, platform::Color accent) : kind_(kind), accent_(accent) {}

  Kind kind_;
  platform::Color accent_;
};

}  // namespace voskary
