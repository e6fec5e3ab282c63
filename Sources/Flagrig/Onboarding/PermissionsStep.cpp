#include "Flagrig/Onboarding/PermissionsStep.h"

#include "Flagrig/Analytics/Analytics.h"
#include "Flagrig/Onboarding/PermissionsGate.h"
#include "Platform/Forms/FormHost.h"
#include "Platform/Forms/Vocabulary.h"

namespace flagrig {

using namespace platform::forms::vocabulary;
using platform::Value;
using Permission = PermissionsGate::Permission;

namespace {

void request(forms::FormHost& host, Permission permission) {
  const bool accessibility = permission == Permission::accessibility;
  Analytics::track(
      "permission_preflight_blocked",
      Value::Dictionary{{"feature", Value(accessibility ? "accessibility" : "screen_recording")}});
  std::weak_ptr<forms::FormHost> weak = host.weak_from_this();
  auto completion = [weak](bool granted) {
    if (!granted) return;  // the redraw on activation covers a return from the settings
    if (auto h = weak.lock()) PermissionsStep::bumpTick(*h);
  };
  if (accessibility) {
    PermissionsGate::ensureAccessibility(PermissionsStep::accessibilityReason, completion);
  } else {
    PermissionsGate::ensureScreenRecording(PermissionsStep::screenRecordingReason, completion);
  }
}

}  // namespace

void PermissionsStep::bumpTick(forms::FormHost& host) {
  auto tick = host.cell(tickCell, 0);
  tick.set(*tick + 1);
}

void PermissionsStep::requestAccessibility(forms::FormHost& host) {
  request(host, Permission::accessibility);
}

void PermissionsStep::requestScreenRecording(forms::FormHost& host) {
  request(host, Permission::screenRecording);
}

Node PermissionsStep::body() const {
  host.cell(tickCell, 0);
  std::weak_ptr<forms::FormHost> weak = host.weak_from_this();
  auto act = [weak](void (*action)(forms::FormHost&)) {
    return [weak, action] {
      if (auto h = weak.lock()) action(*h);
    };
  };
  PermissionRow rows[] = {
      {.title = "Screen Recording",
       .detail = "Optional for fuller window details on some Macs.",
       .required = false,
       .granted = PermissionsGate::isGranted(Permission::screenRecording),
       .actionTitle = "Open System Settings",
       .accent = accent,
       .onEnable = act(&PermissionsStep::requestScreenRecording)},
      {.title = "Accessibility",
       .detail = "Allows Flagrig to bring a tagged window to the front.",
       .required = true,
       .granted = PermissionsGate::isGranted(Permission::accessibility),
       .actionTitle = "Open System Settings",
       .accent = accent,
       .onEnable = act(&PermissionsStep::requestAccessibility)},
  };
  Node header = forms::VStack({forms::Text(title)
                                   .key("title")
                                   .font(Font::systemFont(17, FontWeight::bold))
                                   .foreground(Color::white())
                                   .multilineTextAlignment(forms::TextAlignment::center),
                               forms::Text(subtitle)
                                   .key("subtitle")
                                   .font(Font::systemFont(16))
                                   .foreground(Color::secondaryLabel())
                                   .multilineTextAlignment(forms::TextAlignment::center)
                                   .frame({.maxWidth = 440})
                                   .lineLimit(3)})
                    .key("header")
                    .spacing(8)
                    .frame({.maxWidth = forms::infinity})
                    .padding({.top = 8});
  Node list = forms::VStack({rows[0].body(host), rows[1].body(host)})
                  .key("rows")
                  .spacing(10)
                  .frame({.maxWidth = 420});
  Node scroll = forms::ScrollView(forms::VStack({std::move(header), std::move(list)})
                                      .key("content")
                                      .spacing(18)
                                      .padding({.leading = 32, .bottom = 16, .trailing = 32})
                                      .frame({.maxWidth = forms::infinity}))
                    .key("permissionsScroll")
                    .scrollIndicators(true);
  return forms::VStack({std::move(scroll), permissionsFooter()}).key("permissions").spacing(0);
}

Node PermissionsStep::permissionsFooter() const {
  host.cell(tickCell, 0);
  Node button = [&] {
    if (PermissionsGate::isGranted(Permission::accessibility)) {
      auto complete = onComplete;
      return footerButton(continueTitle, nullptr, [complete] {
        Analytics::track("onboarding_completed",
                         Value::Dictionary{{"method", Value("login_first")}});
        if (complete) complete();
      });
    }
    std::weak_ptr<forms::FormHost> weak = host.weak_from_this();
    return footerButton(grantTitle, grantHelper, [weak] {
      if (auto h = weak.lock()) requestAccessibility(*h);
    });
  }();
  return forms::VStack({std::move(button)})
      .key("permissionsFooter")
      .spacing(8)
      .padding(20)
      .frame({.maxWidth = forms::infinity});
}

Node PermissionsStep::footerButton(std::string buttonTitle, const char* helper,
                                   std::function<void()> action) const {
  std::vector<Node> rows;
  if (helper) {
    rows.push_back(forms::Text(helper)
                       .key("helper")
                       .font(Font::systemFont(12))
                       .foreground(white(0.5))
                       .multilineTextAlignment(forms::TextAlignment::center));
  }
  rows.push_back(forms::Button(buttonTitle, std::move(action))
                     .key("footerButton")
                     .buttonStyle(forms::ButtonStyle::borderedProminent)
                     .controlSize(forms::ControlSize::large)
                     .keyboardShortcut(forms::KeyboardShortcut::defaultAction)
                     .foreground(Color::white())
                     .tint(accent));
  return forms::VStack(std::move(rows)).key("footerStack").spacing(8);
}

}  // namespace flagrig
