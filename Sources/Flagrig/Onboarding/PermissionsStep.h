#pragma once

#include <functional>

#include "Flagrig/Onboarding/PermissionRow.h"
#include "Platform/Desktop/Color.h"
#include "Platform/Forms/FormNode.h"

namespace platform::forms {
class FormHost;
}

namespace flagrig {

// The last step of the first-run flow: the Screen Recording and Accessibility permissions as
// live cards, and a footer that asks for Accessibility until it is granted and then offers
// "Continue". Nothing is stored: every drawing asks the system again. The step's redraw
// counter is the host's `tickCell`; the flow bumps it when the app becomes active.
struct PermissionsStep {
  static constexpr const char* tickCell = "permissionTick";
  static constexpr const char* title = "Allow what Flagrig needs";
  static constexpr const char* subtitle = "Grant each permission when you're ready.";
  static constexpr const char* continueTitle = "Continue";
  static constexpr const char* grantTitle = "Grant Accessibility";
  static constexpr const char* grantHelper =
      "Accessibility lets Flagrig bring a tagged window to the front.";
  static constexpr const char* accessibilityReason =
      "Flagrig brings a tagged window to the front when you click it.";
  static constexpr const char* screenRecordingReason =
      "Flagrig identifies the window you click to tag it.";

  platform::forms::FormHost& host;
  platform::Color accent;
  // Runs when the user finishes the flow ("Continue").
  std::function<void()> onComplete;

  // The step's content: the scroll area with the header and the rows, then the footer.
  platform::forms::Node body() const;
  platform::forms::Node permissionsFooter() const;
  // One large prominent button (Return triggers it), with an optional helper line above.
  platform::forms::Node footerButton(std::string title, const char* helper,
                                     std::function<void()> action) const;

  // The row and footer actions: ask through the permissions gate; a grant redraws the step.
  static void requestAccessibility(platform::forms::FormHost& host);
  static void requestScreenRecording(platform::forms::FormHost& host);
  // Redraws the step with fresh states.
  static void bumpTick(platform::forms::FormHost& host);
};

}  // namespace flagrig
