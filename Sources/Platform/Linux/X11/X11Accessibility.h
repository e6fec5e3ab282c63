#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "Platform/Accessibility/Accessibility.h"
#include "Platform/Linux/X11/X11Connection.h"

namespace platform::linuxbackend {

class X11WindowServer;

// The Accessibility stand-in on X11: trust is always granted; an application is a process id,
// its windows are the window manager's clients with that pid, and raising a window is an EWMH
// activation request (`_NET_ACTIVE_WINDOW`, source indication 2: a pager acting for the user),
// which the window manager answers by un-minimising, switching desktop and focusing it. The
// window-number lookup is exact: a window element is its client window's id.
class X11Accessibility final : public Accessibility {
 public:
  X11Accessibility(std::shared_ptr<X11Connection> connection, X11WindowServer& windowServer);
  ~X11Accessibility() override;

  bool isProcessTrusted() override { return true; }
  bool isProcessTrustedWithOptions(TrustPrompt) override { return true; }
  AXElement createApplication(std::int32_t pid) override;
  AXError copyAttributeValue(const AXElement& element, std::string_view attribute,
                             AXValue& value) override;
  AXError setAttributeValue(const AXElement& element, std::string_view attribute,
                            const AXValue& value) override;
  AXError performAction(const AXElement& element, std::string_view action) override;
  WindowNumberLookup lookUpWindowNumberFunction() override;

  // This application's status items, as the desktop backend shows them: the indexes of the
  // visible ones, and pressing one (opening its menu; false when it is not shown).
  struct StatusItemHooks {
    std::function<std::vector<std::uint32_t>()> shownItems;
    std::function<bool(std::uint32_t index)> press;
  };
  void setStatusItemHooks(StatusItemHooks hooks) { statusItems_ = std::move(hooks); }

  // The element of a window, for backends and tests.
  AXElement windowElement(std::int32_t pid, std::uint32_t xid) const;

 private:
  AXError copyApplicationAttribute(std::int32_t pid, std::string_view attribute, AXValue& value);
  AXError copyWindowAttribute(std::int32_t pid, std::uint32_t xid, std::string_view attribute,
                              AXValue& value);
  AXError activate(std::uint32_t xid);
  AXError minimize(std::uint32_t xid);
  AXError unminimize(std::uint32_t xid);
  void sendToRoot(std::uint32_t window, xcb_atom_t type, std::array<std::uint32_t, 5> data);
  std::uint32_t activeWindow();
  bool processExists(std::int32_t pid) const;

  std::shared_ptr<X11Connection> connection_;
  X11WindowServer& windowServer_;
  StatusItemHooks statusItems_;
  X11Connection::SubscriptionId subscription_ = 0;
  // The window we last asked the manager to activate, until it reports an active window.
  std::optional<std::uint32_t> pendingActivation_;
};

}  // namespace platform::linuxbackend
