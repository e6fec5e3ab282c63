#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "Platform/Desktop/Window.h"
#include "Platform/Sim/SimForeignApplication.h"
#include "Platform/Sim/SimForeignWindow.h"
#include "Platform/WindowServer/WindowServer.h"

namespace platform::sim {

// The simulated window server: one stack of every window on screen (this application's and
// the foreign ones) sorted by level, front to back, following the ordering calls; the foreign
// applications with their windows and processes; the window list built from all of it; and
// screen-capture access. Lists are built once and shared until something changes. Faults can be
// injected: an unavailable or malformed window list, processes that are gone or cannot be
// signalled.
class SimWindowServer final : public WindowServer {
 public:
  SimWindowServer();

  // WindowServer --------------------------------------------------------------------------------
  std::shared_ptr<const Value> copyWindowList(std::uint32_t options,
                                              std::uint32_t relativeTo = 0) override;
  ProcessProbeResult probeProcess(std::int32_t pid) override;
  // A closed window is destroyed, as on X11; numbers are never reused.
  WindowPresence windowPresence(std::uint32_t windowNumber) override;
  bool preflightScreenCaptureAccess() override { return screenCapture_; }
  bool requestScreenCaptureAccess() override;

  // This application's process -----------------------------------------------------------------
  std::int32_t ownPID() const { return ownPID_; }
  const std::string& ownName() const { return ownName_; }
  void setOwnProcess(std::int32_t pid, std::string name);

  // Foreign applications and processes -------------------------------------------------------
  // Starts an application (a new process id unless one is given) and answers its process id.
  std::int32_t launchApplication(std::string name, std::optional<std::int32_t> pid = std::nullopt);
  // The application quits: its windows go away and its process is gone.
  void quitApplication(std::int32_t pid);
  void setApplicationHidden(std::int32_t pid, bool hidden);
  void setProcessState(std::int32_t pid, SimProcessState state);
  const SimForeignApplication* application(std::int32_t pid) const;

  // Foreign windows ---------------------------------------------------------------------------
  // Opens a window at the front of its layer; `bounds` in window-list coordinates.
  std::uint32_t openWindow(std::int32_t pid, Rect bounds,
                           std::optional<std::string> name = std::nullopt, int layer = 0);
  void closeWindow(std::uint32_t number);
  void moveWindow(std::uint32_t number, Rect bounds);
  void setMinimized(std::uint32_t number, bool minimized);
  void setOnOtherSpace(std::uint32_t number, bool onOtherSpace);
  void setDesktopElement(std::uint32_t number, bool desktopElement);
  // To the front of its layer.
  void raiseWindow(std::uint32_t number);
  // Every window of the application to the front of its layer, keeping their order.
  void raiseApplication(std::int32_t pid);
  const SimForeignWindow* foreignWindow(std::uint32_t number) const;
  // The foreign application's windows, front to back.
  std::vector<std::uint32_t> windowsOf(std::int32_t pid) const;
  bool isOnScreen(const SimForeignWindow& window) const;

  // The stack: every window number, front to back.
  std::vector<std::uint32_t> stackingOrder() const;
  // The topmost window at a screen point that takes clicks: ours or a foreign one.
  struct Hit {
    Window* own = nullptr;
    const SimForeignWindow* foreign = nullptr;
  };
  Hit windowAt(Point screenPoint) const;

  // Faults ------------------------------------------------------------------------------------
  void setWindowListUnavailable(bool unavailable) { listUnavailable_ = unavailable; }
  // Answers this value instead of the real list (or the real list again with nothing).
  void overrideWindowList(std::optional<Value> list);
  // How often the window list was asked for, answered or not.
  int windowListRequests() const { return listRequests_; }

  // Screen capture ----------------------------------------------------------------------------
  void setScreenCaptureAccess(bool granted);
  // Whether the next request is granted (the user accepts the system's request).
  void setGrantsScreenCaptureOnRequest(bool grants) { grantsOnRequest_ = grants; }
  int screenCaptureRequests() const { return captureRequests_; }

  // Drops the cached lists; the desktop calls it when one of our windows changes.
  void invalidate() {
    cache_.clear();
    // A fixed list stands for the desktop too: a change makes a new one, as a real server does.
    if (listOverride_) listOverride_ = std::make_shared<const Value>(*listOverride_);
  }

  // What the desktop's object model reports -----------------------------------------------------
  std::uint32_t addOwnWindow(Window& window);
  void removeOwnWindow(std::uint32_t number);
  // `activeForeignPID`: the frontmost application while it is not this one.
  void orderOwnWindow(Window& window, WindowOrderingMode mode, std::uint32_t relativeTo,
                      WhileInactive whileInactive, std::optional<std::int32_t> activeForeignPID);

 private:
  struct Entry {
    std::uint32_t number;
    int level;
  };

  std::size_t frontOfLevel(int level) const;
  std::size_t backOfLevel(int level) const;
  std::optional<std::size_t> indexOf(std::uint32_t number) const;
  void remove(std::uint32_t number);
  void insert(Entry entry, WindowOrderingMode mode, std::uint32_t relativeTo);
  std::int32_t ownerOf(const Entry& entry) const;
  std::int32_t nextFreePID();
  SimForeignWindow& requireWindow(std::uint32_t number);
  SimForeignWindow& changeWindow(std::uint32_t number);

  std::int32_t ownPID_;
  std::string ownName_ = "SimApp";
  std::int32_t nextPID_ = 501;
  std::uint32_t nextNumber_ = 100;
  std::vector<Entry> stack_;
  std::map<std::uint32_t, Window*> own_;
  std::map<std::uint32_t, SimForeignWindow> foreign_;
  std::map<std::int32_t, SimForeignApplication> applications_;
  std::set<std::uint32_t> closed_;
  bool listUnavailable_ = false;
  std::shared_ptr<const Value> listOverride_;
  // The lists already built, by options, until something changes. The poll of every tag reads
  // the list 30 times a second while nothing moves.
  std::map<std::uint32_t, std::shared_ptr<const Value>> cache_;
  int listRequests_ = 0;
  bool screenCapture_ = false;
  bool grantsOnRequest_ = false;
  int captureRequests_ = 0;
};

}  // namespace platform::sim
