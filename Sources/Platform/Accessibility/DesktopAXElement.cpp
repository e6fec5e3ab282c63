#include "Platform/Accessibility/DesktopAXElement.h"

#include <memory>

namespace platform {

AXError DesktopAXElement::copyExtrasMenuBarAttribute(std::int32_t pid,
                                                     const std::vector<std::uint32_t>& shownItems,
                                                     std::string_view attribute, AXValue& value) {
  if (attribute != AXAttribute::children) return AXError::attributeUnsupported;
  AXValue::Array children;
  for (auto index : shownItems) {
    children.emplace_back(
        AXElement(std::make_shared<DesktopAXElement>(Kind::statusItem, pid, index)));
  }
  value = AXValue(std::move(children));
  return AXError::success;
}

Accessibility::WindowNumberLookup DesktopAXElement::windowNumberLookup() {
  return [](const AXElement& element, std::uint32_t& windowNumber) {
    auto e = from(element);
    if (!e || e->kind != Kind::window) return AXError::illegalArgument;
    windowNumber = e->number;
    return AXError::success;
  };
}

}  // namespace platform
