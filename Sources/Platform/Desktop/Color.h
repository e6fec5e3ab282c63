#pragma once

#include <array>
#include <optional>
#include <string>

namespace platform {

// The colour spaces a colour can live in. Pattern colours have no components and cannot be
// converted; system (catalog) colours carry a name and resolve to fixed sRGB values.
enum class ColorSpace { sRGB, displayP3, gray, catalog, pattern };

// A colour: components in a colour space plus alpha. A value type; equality is exact (space,
// components, alpha and, for catalog colours, the name).
class Color {
 public:
  static Color sRGB(double red, double green, double blue, double alpha = 1.0);
  static Color displayP3(double red, double green, double blue, double alpha = 1.0);
  static Color gray(double white, double alpha = 1.0);
  // A colour that paints an image; it has no components and no sRGB form.
  static Color pattern(std::string imageName);

  static Color clear() { return gray(0, 0); }
  static Color black() { return gray(0, 1); }
  static Color white() { return gray(1, 1); }

  // System colours, as the dark appearance resolves them.
  static Color systemRed();
  static Color systemYellow();
  static Color systemGreen();
  static Color systemBlue();
  static Color label();
  static Color secondaryLabel();
  static Color tertiaryLabel();

  ColorSpace space() const { return space_; }
  // The catalog or pattern name; empty for the others.
  const std::string& name() const { return name_; }

  // RGB components in the colour's own space: a gray colour reads its white level in all three,
  // a pattern colour reads 0. `whiteComponent` is the level of a gray colour, else 0.
  double redComponent() const;
  double greenComponent() const;
  double blueComponent() const;
  double whiteComponent() const;
  double alphaComponent() const { return alpha_; }

  Color withAlphaComponent(double alpha) const;

  // The same colour in sRGB; nothing for a pattern colour. Display P3 colours outside the sRGB
  // gamut come out with components outside 0-1 (extended sRGB), as on the original platform.
  std::optional<Color> toSRGB() const;

  bool operator==(const Color&) const = default;

 private:
  Color(ColorSpace space, std::array<double, 3> components, double alpha, std::string name = {})
      : space_(space), components_(components), alpha_(alpha), name_(std::move(name)) {}

  ColorSpace space_ = ColorSpace::gray;
  std::array<double, 3> components_{};
  double alpha_ = 1;
  std::string name_;
};

}  // namespace platform
