#pragma once

#include "Platform/Desktop/Color.h"
#include "Platform/Desktop/Font.h"
#include "Platform/Forms/FormNode.h"

// The names a screen's body is written in, for its source file to take at once with
// `using namespace platform::forms::vocabulary;`.
namespace platform::forms::vocabulary {

using platform::Color;
using platform::Font;
using platform::FontWeight;
namespace forms = platform::forms;
using forms::Node;

// White at an opacity: the text and fills of the dark screens.
inline Color white(double opacity) {
  return Color::white().withAlphaComponent(opacity);
}

}  // namespace platform::forms::vocabulary
