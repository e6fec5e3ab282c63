#include "Platform/Linux/X11/X11Accessibility.h"

#include "Platform/Linux/X11/X11WindowServer.h"

namespace platform::linuxbackend {

X11Accessibility::X11Accessibility(std::shared_ptr<X11Connection> connection,
                                   X11WindowServer& windowServer)
    : connection_(std::move(connection)), windowServer_(windowServer) {}

AXElement X11Accessibility::createApplication(std::int32_t) {
  return nullptr;
}

AXElement X11Accessibility::windowElement(std::int32_t, std::uint32_t) const {
  return nullptr;
}

AXError X11Accessibility::copyAttributeValue(const AXElement&, std::string_view, AXValue&) {
  return AXError::notImplemented;
}

AXError X11Accessibility::setAttributeValue(const AXElement&, std::string_view, const AXValue&) {
  return AXError::notImplemented;
}

AXError X11Accessibility::performAction(const AXElement&, std::string_view) {
  return AXError::notImplemented;
}

Accessibility::WindowNumberLookup X11Accessibility::lookUpWindowNumberFunction() {
  return {};
}

}  // namespace platform::linuxbackend
