#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "Platform/Accessibility/Accessibility.h"

namespace platform::sim {

class SimDesktop;

// The simulated Accessibility interface over the simulated desktop: elements for the foreign
// applications and their windows (with "AXWindows", "AXFocusedWindow", "AXMainWindow",
// "AXTitle", "AXMinimized" and "AXRaise") and, for this application, its extras menu bar whose
// children are the visible status items ("AXPress" opens one's menu). Trust is a switch a test
// flips; writes and actions are recorded in order.
class SimAccessibility final : public Accessibility {
 public:
  explicit SimAccessibility(SimDesktop& desktop) : desktop_(desktop) {}

  bool isProcessTrusted() override { return trusted_; }
  bool isProcessTrustedWithOptions(TrustPrompt prompt) override;
  AXElement createApplication(std::int32_t pid) override;
  AXError copyAttributeValue(const AXElement& element, std::string_view attribute,
                             AXValue& value) override;
  AXError setAttributeValue(const AXElement& element, std::string_view attribute,
                            const AXValue& value) override;
  AXError performAction(const AXElement& element, std::string_view action) override;
  WindowNumberLookup lookUpWindowNumberFunction() override;

  void setTrusted(bool trusted) { trusted_ = trusted; }
  // How often the system prompt was asked for while untrusted.
  int promptCount() const { return prompts_; }
  void setWindowNumberLookupAvailable(bool available) { lookupAvailable_ = available; }
  // Writes and actions, in order: "#<window> AXMinimized=false", "#<window> AXRaise",
  // "pid <pid> AXFocusedWindow=#<window>", "status item <index> AXPress".
  const std::vector<std::string>& operations() const { return operations_; }

  // The element of one of a foreign application's windows.
  AXElement windowElement(std::int32_t pid, std::uint32_t number) const;

 private:
  AXError copyApplicationAttribute(std::int32_t pid, std::string_view attribute, AXValue& value);
  std::uint32_t focusedWindowOf(std::int32_t pid) const;

  SimDesktop& desktop_;
  bool trusted_ = false;
  bool lookupAvailable_ = true;
  int prompts_ = 0;
  std::map<std::int32_t, std::uint32_t> focused_;
  std::vector<std::string> operations_;
};

}  // namespace platform::sim
