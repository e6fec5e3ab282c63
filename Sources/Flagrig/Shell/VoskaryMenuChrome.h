#pragma once

#include <array>
#include <memory>
#include <string_view>
#include <vector>

#include "Platform/Desktop/Menu.h"

namespace flagrig {

// Wraps a main-menu submenu's own delegate: whatever that delegate builds when the submenu is
// about to open goes in first, then the junk is stripped again.
class MenuSanitizerDelegate : public platform::MenuDelegate {
 public:
  explicit MenuSanitizerDelegate(std::weak_ptr<platform::MenuDelegate> previous)
      : previous_(std::move(previous)) {}

  void menuNeedsUpdate(platform::Menu& menu) override;
  void menuWillOpen(platform::Menu& menu) override;
  void menuDidClose(platform::Menu& menu) override;

  std::shared_ptr<platform::MenuDelegate> previous() const { return previous_.lock(); }

 private:
  std::weak_ptr<platform::MenuDelegate> previous_;
};

// Keeps the main menu free of the items the system adds that make no sense for this app
// (dictation, the emoji palette, writing tools, AutoFill, Services and a Format menu): at
// launch, on the next turn, 0.4 s later, on every activation and whenever a submenu opens.
// Main thread only.
struct VoskaryMenuChrome {
  static constexpr std::array<std::string_view, 5> junkPrefixes = {
      "Start Dictation", "Emoji & Symbols", "Writing Tools", "AutoFill", "Services"};
  static constexpr double lateRerunDelay = 0.4;

  static void installSanitizer();
  static void sanitizeNow();
  static void stripJunk(platform::Menu& menu);
  static void tidySeparators(platform::Menu& menu);

  // The wrappers in use; a menu holds its delegate weakly, so they are kept alive here.
  static const std::vector<std::shared_ptr<MenuSanitizerDelegate>>& sanitizers();
};

}  // namespace flagrig
