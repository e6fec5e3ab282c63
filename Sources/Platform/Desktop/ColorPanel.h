#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

#include "Platform/Desktop/Color.h"
#include "Platform/Desktop/Panel.h"
#include "Platform/Foundation/NotificationCenter.h"

namespace platform {

class ColorWell;

namespace ColorPanelMask {
inline constexpr std::uint32_t gray = 1 << 0;
inline constexpr std::uint32_t rgb = 1 << 1;
inline constexpr std::uint32_t cmyk = 1 << 2;
inline constexpr std::uint32_t hsb = 1 << 3;
inline constexpr std::uint32_t customPalette = 1 << 4;
inline constexpr std::uint32_t colorList = 1 << 5;
inline constexpr std::uint32_t wheel = 1 << 6;
inline constexpr std::uint32_t crayon = 1 << 7;
inline constexpr std::uint32_t all = 0xFFFF;
}  // namespace ColorPanelMask

// The application's one colour panel: the current colour (every change posts
// `colorDidChangeNotification` with the panel as object and reaches the active colour well),
// the pickers it offers, whether it edits opacity, and an accessory view below the pickers.
class ColorPanel final : public Panel {
 public:
  static constexpr std::string_view colorDidChangeNotification = "ColorPanelColorDidChange";

  // The installed desktop's panel, created on first use.
  static ColorPanel& shared();
  static bool sharedExists();
  // The pickers of the panel; set it before the panel is first used.
  static void setPickerMask(std::uint32_t mask);
  static std::uint32_t pickerMask();

  ColorPanel();
  ~ColorPanel() override;

  const Color& color() const { return color_; }
  void setColor(Color color);
  bool showsAlpha() const { return showsAlpha_; }
  void setShowsAlpha(bool shows) { showsAlpha_ = shows; }
  const std::shared_ptr<View>& accessoryView() const { return accessory_; }
  void setAccessoryView(std::shared_ptr<View> view);
  // The well the panel edits for, if any.
  ColorWell* activeWell() const { return activeWell_; }

  bool worksWhenModal() const override { return true; }

 private:
  friend class ColorWell;
  void setActiveWell(ColorWell* well);
  void windowWillClose(const void* window);

  Color color_ = Color::white();
  bool showsAlpha_ = true;
  std::shared_ptr<View> accessory_;
  ColorWell* activeWell_ = nullptr;
  bool settingFromWell_ = false;
  NotificationCenter::Token closeObserver_;
};

}  // namespace platform
