#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "Platform/Desktop/Desktop.h"

namespace platform::sim {

// The simulated desktop every test runs against: screens, installed fonts, and (in the other
// Sim classes it owns) the window server with foreign applications, Accessibility, hot keys,
// the workspace and the pasteboard. Tests configure and drive it; the product sees it only
// through the `Desktop` interface.
class SimDesktop : public Desktop {
 public:
  static constexpr double menuBarHeight = 25;

  SimDesktop();
  ~SimDesktop() override;

  // Screens -----------------------------------------------------------------------------------
  std::vector<std::shared_ptr<Screen>> screens() const override;
  // Replaces the screens; each gets a menu bar of `menuBarHeight` at its top. The first is the
  // primary screen. The default is one 1440 x 900 screen at the origin.
  void setScreens(const std::vector<Rect>& frames);
  // Replaces the screens with exactly these.
  void setScreens(std::vector<std::shared_ptr<Screen>> screens);

  // Fonts -------------------------------------------------------------------------------------
  std::optional<FontFace> fontFace(std::string_view name) const override;
  // The default set holds common faces (Menlo, Monaco, Helvetica, Helvetica Neue, Courier).
  void installFont(FontFace face);
  void removeFont(std::string_view name);

 private:
  std::vector<std::shared_ptr<Screen>> screens_;
  std::map<std::string, FontFace, std::less<>> fonts_;
};

}  // namespace platform::sim
