#include "Platform/Desktop/Panel.h"

namespace platform {

Panel::Panel(Rect contentRect, std::uint64_t styleMask) : Window(contentRect, styleMask) {
  setHidesOnDeactivate(true);
}

}  // namespace platform
