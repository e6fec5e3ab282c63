#pragma once

#include <string_view>

namespace flagrig {

// Notifications of window tagging, posted on the default centre without an object.
// After a tag was made for a picked window.
inline constexpr std::string_view flagrigTagCreated = "dev.voskary.flagrig.tagCreated";
// A window pick ended without a window.
inline constexpr std::string_view flagrigWindowPickCancelled =
    "dev.voskary.flagrig.windowPickCancelled";
// The hotkey conflict alert asks the appearance editor to point at its hotkey button.
inline constexpr std::string_view flagrigFocusHotkey = "dev.voskary.flagrig.focusHotkey";

}  // namespace flagrig
