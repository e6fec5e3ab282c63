#pragma once

#include <functional>
#include <optional>
#include <string_view>

namespace platform {

class Font;

// How wide a backend draws text in a font, so that layouts leave the room the screen's fonts
// take. It answers nothing once its backend has gone; then, and while none is set, fonts
// measure by their fixed metrics.
using TextMeasurer = std::function<std::optional<double>(const Font&, std::string_view utf8)>;
void setTextMeasurer(TextMeasurer measurer);

}  // namespace platform
