#pragma once

#include <string_view>

namespace flagrig {

// The user-defaults keys under which the tag appearance and the global hotkey persist. Tags
// themselves are never stored.
namespace TagDefaultsKeys {
inline constexpr std::string_view shape = "flagrig.shape";
inline constexpr std::string_view font = "flagrig.font";
inline constexpr std::string_view bigTags = "flagrig.bigTags";
inline constexpr std::string_view palette = "flagrig.palette";
inline constexpr std::string_view hotkeyCode = "flagrig.hotkeyCode";
inline constexpr std::string_view hotkeyMods = "flagrig.hotkeyMods";
inline constexpr std::string_view hotkeyFirstLaunchSeeded = "flagrig.hotkeyFirstLaunchSeeded";
inline constexpr std::string_view hotkeyConflictShown = "flagrig.hotkeyConflictShown";
}  // namespace TagDefaultsKeys

}  // namespace flagrig
