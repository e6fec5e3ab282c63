#include "Platform/Desktop/Color.h"

#include <cmath>

namespace platform {

namespace {

double linearFromEncoded(double v) {
  double a = std::fabs(v);
  double l = a <= 0.04045 ? a / 12.92 : std::pow((a + 0.055) / 1.055, 2.4);
  return std::copysign(l, v);
}

double encodedFromLinear(double v) {
  double a = std::fabs(v);
  double e = a <= 0.0031308 ? a * 12.92 : 1.055 * std::pow(a, 1 / 2.4) - 0.055;
  return std::copysign(e, v);
}

}  // namespace

Color Color::sRGB(double red, double green, double blue, double alpha) {
  return Color(ColorSpace::sRGB, {red, green, blue}, alpha);
}

Color Color::displayP3(double red, double green, double blue, double alpha) {
  return Color(ColorSpace::displayP3, {red, green, blue}, alpha);
}

Color Color::gray(double white, double alpha) {
  return Color(ColorSpace::gray, {white, white, white}, alpha);
}

Color Color::pattern(std::string imageName) {
  return Color(ColorSpace::pattern, {}, 1, std::move(imageName));
}

Color Color::systemRed() {
  return Color(ColorSpace::catalog, {1.0, 0.271, 0.227}, 1, "systemRed");
}
Color Color::systemYellow() {
  return Color(ColorSpace::catalog, {1.0, 0.839, 0.039}, 1, "systemYellow");
}
Color Color::systemGreen() {
  return Color(ColorSpace::catalog, {0.196, 0.843, 0.294}, 1, "systemGreen");
}
Color Color::systemBlue() {
  return Color(ColorSpace::catalog, {0.039, 0.518, 1.0}, 1, "systemBlue");
}
Color Color::label() {
  return Color(ColorSpace::catalog, {1, 1, 1}, 0.85, "labelColor");
}
Color Color::secondaryLabel() {
  return Color(ColorSpace::catalog, {1, 1, 1}, 0.55, "secondaryLabelColor");
}
Color Color::tertiaryLabel() {
  return Color(ColorSpace::catalog, {1, 1, 1}, 0.25, "tertiaryLabelColor");
}

double Color::redComponent() const {
  return components_[0];
}
double Color::greenComponent() const {
  return components_[1];
}
double Color::blueComponent() const {
  return components_[2];
}
double Color::whiteComponent() const {
  return space_ == ColorSpace::gray ? components_[0] : 0.0;
}

Color Color::withAlphaComponent(double alpha) const {
  Color copy = *this;
  copy.alpha_ = alpha;
  return copy;
}

std::optional<Color> Color::toSRGB() const {
  switch (space_) {
    case ColorSpace::sRGB:
      return *this;
    case ColorSpace::gray:
    case ColorSpace::catalog:
      return sRGB(components_[0], components_[1], components_[2], alpha_);
    case ColorSpace::displayP3: {
      // Both spaces share the sRGB transfer curve; only the primaries differ.
      double r = linearFromEncoded(components_[0]);
      double g = linearFromEncoded(components_[1]);
      double b = linearFromEncoded(components_[2]);
      double sr = 1.2249401 * r - 0.2249404 * g + 0.0000001 * b;
      double sg = -0.0420569 * r + 1.0420571 * g - 0.0000001 * b;
      double sb = -0.0196376 * r - 0.0786361 * g + 1.0982735 * b;
      return sRGB(encodedFromLinear(sr), encodedFromLinear(sg), encodedFromLinear(sb), alpha_);
    }
    case ColorSpace::pattern:
      return std::nullopt;
  }
  return std::nullopt;
}

}  // namespace platform
