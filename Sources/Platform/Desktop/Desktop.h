#pragma once

#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "Platform/Desktop/Font.h"
#include "Platform/Desktop/Screen.h"

namespace platform {

// The desktop backend: what the application framework, the window server and the rest of the
// desktop give the product. `env().desktop` holds the active one (the simulated desktop in
// tests, the X11 backend for users).
class Desktop {
 public:
  virtual ~Desktop() = default;

  // Screens in the platform's order, the primary screen first.
  virtual std::vector<std::shared_ptr<Screen>> screens() const = 0;
  // The screen holding the key window, else the first; null without screens.
  virtual std::shared_ptr<Screen> mainScreen() const;

  // The installed face with this name, if any.
  virtual std::optional<FontFace> fontFace(std::string_view name) const = 0;
};

}  // namespace platform
