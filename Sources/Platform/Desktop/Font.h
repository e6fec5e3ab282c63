#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "Platform/Desktop/Geometry.h"

namespace platform {

enum class FontWeight { ultraLight, thin, light, regular, medium, semibold, bold, heavy, black };

// An installed face as the desktop backend reports it.
struct FontFace {
  std::string name;
  bool monospaced = false;
  FontWeight weight = FontWeight::regular;
  bool operator==(const FontFace&) const = default;
};

// A font: a face at a point size. A value type.
//
// Text measurement is the same on every backend, so that layouts (and the tests that check
// them) do not depend on which fonts a machine has: every code point of the text advances by
// 0.6 of the point size in a monospaced face and by 0.5 of it in a proportional one, whatever
// the weight; a line is ceil(1.2 x point size) high (10 points: 12, 11 points: 14). Invalid UTF-8
// counts one code point per lead byte.
class Font {
 public:
  static constexpr double monospacedAdvance = 0.6;
  static constexpr double proportionalAdvance = 0.5;
  static constexpr double lineHeightFactor = 1.2;

  static Font systemFont(double size, FontWeight weight = FontWeight::regular);
  static Font boldSystemFont(double size) { return systemFont(size, FontWeight::bold); }
  static Font monospacedSystemFont(double size, FontWeight weight = FontWeight::regular);
  // The installed face with this name at `size`; nothing when the desktop has no such face.
  static std::optional<Font> named(std::string_view name, double size);

  const std::string& fontName() const { return name_; }
  double pointSize() const { return size_; }
  FontWeight weight() const { return weight_; }
  bool isMonospaced() const { return spacing_ == Spacing::monospaced; }
  bool isSystemFont() const { return family_ == Family::system; }
  Font withSize(double size) const;

  // The horizontal advance of one code point.
  double advance() const {
    return size_ * (isMonospaced() ? monospacedAdvance : proportionalAdvance);
  }
  double widthOf(std::string_view utf8) const;
  double lineHeight() const;
  Size sizeOf(std::string_view utf8) const { return {widthOf(utf8), lineHeight()}; }

  bool operator==(const Font&) const = default;

  // Code points in UTF-8 text, counted by lead bytes.
  static std::size_t codePointCount(std::string_view utf8);

 private:
  enum class Spacing { proportional, monospaced };
  // A system font follows the desktop's interface face; an installed one names its face.
  enum class Family { installed, system };

  Font(std::string name, double size, FontWeight weight, Spacing spacing, Family family)
      : name_(std::move(name)), size_(size), weight_(weight), spacing_(spacing), family_(family) {}

  std::string name_;
  double size_;
  FontWeight weight_;
  Spacing spacing_;
  Family family_;
};

}  // namespace platform
