#pragma once

#include <cstdint>
#include <functional>
#include <string_view>

#include "Platform/Accessibility/AXValue.h"

namespace platform {

// Error codes of the Accessibility interface, as the platform numbers them.
enum class AXError : std::int32_t {
  success = 0,
  failure = -25200,
  illegalArgument = -25201,
  invalidUIElement = -25202,
  cannotComplete = -25204,
  attributeUnsupported = -25205,
  actionUnsupported = -25206,
  notImplemented = -25208,
  apiDisabled = -25211,
  noValue = -25212,
};

namespace AXAttribute {
inline constexpr std::string_view windows = "AXWindows";
inline constexpr std::string_view minimized = "AXMinimized";
inline constexpr std::string_view focusedWindow = "AXFocusedWindow";
inline constexpr std::string_view mainWindow = "AXMainWindow";
inline constexpr std::string_view extrasMenuBar = "AXExtrasMenuBar";
inline constexpr std::string_view children = "AXChildren";
inline constexpr std::string_view title = "AXTitle";
}  // namespace AXAttribute

namespace AXAction {
inline constexpr std::string_view raise = "AXRaise";
inline constexpr std::string_view press = "AXPress";
}  // namespace AXAction

// The Accessibility interface: elements of running applications, their attributes and
// actions. Every call but `createApplication` answers `apiDisabled` while the process is not
// trusted; a process that has ended answers `cannotComplete`.
class Accessibility {
 public:
  virtual ~Accessibility() = default;

  // The installed desktop's Accessibility interface.
  static Accessibility& shared();

  virtual bool isProcessTrusted() = 0;
  // With `TrustPrompt::askUser` the system asks the user to grant trust (once); the answer is
  // the trust as it stands now.
  enum class TrustPrompt { silent, askUser };
  virtual bool isProcessTrustedWithOptions(TrustPrompt prompt) = 0;

  virtual AXElement createApplication(std::int32_t pid) = 0;
  virtual AXError copyAttributeValue(const AXElement& element, std::string_view attribute,
                                     AXValue& value) = 0;
  virtual AXError setAttributeValue(const AXElement& element, std::string_view attribute,
                                    const AXValue& value) = 0;
  virtual AXError performAction(const AXElement& element, std::string_view action) = 0;

  // The private lookup of a window element's window number, found at run time; empty when the
  // platform does not offer it.
  using WindowNumberLookup =
      std::function<AXError(const AXElement& element, std::uint32_t& windowNumber)>;
  virtual WindowNumberLookup lookUpWindowNumberFunction() = 0;
};

}  // namespace platform
