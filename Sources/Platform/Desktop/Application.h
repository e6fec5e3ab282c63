#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "Platform/Desktop/Event.h"

namespace platform {

class Desktop;
class Window;
class Menu;

enum class ActivationPolicy { regular, accessory, prohibited };

// Results of a modal session.
namespace ModalResponse {
inline constexpr long cancel = 0;
inline constexpr long ok = 1;
inline constexpr long stop = -1000;
inline constexpr long abort = -1001;
inline constexpr long firstButton = 1000;
inline constexpr long secondButton = 1001;
inline constexpr long thirdButton = 1002;
}  // namespace ModalResponse

class Application;

// Told about the application's life; held weakly.
class ApplicationDelegate {
 public:
  virtual ~ApplicationDelegate() = default;
  virtual void applicationWillFinishLaunching(Application&) {}
  virtual void applicationDidFinishLaunching(Application&) {}
  // The user opened the application again while it runs. True lets the platform do its default
  // (nothing, here).
  virtual bool applicationShouldHandleReopen(Application&, bool /*hasVisibleWindows*/) {
    return true;
  }
  virtual bool applicationShouldTerminateAfterLastWindowClosed(Application&) { return false; }
  virtual void applicationWillTerminate(Application&) {}
};

// A registered key or mouse monitor; pass it back to remove it.
class EventMonitor {
 public:
  explicit EventMonitor(std::uint64_t id) : id_(id) {}
  std::uint64_t id() const { return id_; }

 private:
  std::uint64_t id_;
};

// The running application: its activation policy and activation, its windows with the key and
// main window, its delegate, launching, running and terminating, modal sessions on the main
// loop's modal mode, the main menu, and the event monitors. One per desktop; the desktop
// backend feeds it events and activation changes.
//
// Keyboard focus: keys reach the key window while the application is active, or while a
// non-activating panel of it has been made key although another application is active.
// Notifications (object: the Application) go to the environment's notification centre.
class Application {
 public:
  static constexpr std::string_view didBecomeActiveNotification = "ApplicationDidBecomeActive";
  static constexpr std::string_view didResignActiveNotification = "ApplicationDidResignActive";
  static constexpr std::string_view didFinishLaunchingNotification =
      "ApplicationDidFinishLaunching";
  static constexpr std::string_view willTerminateNotification = "ApplicationWillTerminate";

  // The installed desktop's application.
  static Application& shared();

  explicit Application(Desktop& desktop);
  ~Application();
  Application(const Application&) = delete;
  Application& operator=(const Application&) = delete;

  // Activation ----------------------------------------------------------------------------------
  ActivationPolicy activationPolicy() const { return policy_; }
  bool setActivationPolicy(ActivationPolicy policy);
  bool isActive() const { return active_; }
  // Makes this the frontmost application: activation always takes the front, whatever other
  // application is active.
  void activate();
  bool hasKeyFocus() const { return keyFocus_; }

  // Windows -------------------------------------------------------------------------------------
  // Every live window, in creation order.
  std::vector<std::shared_ptr<Window>> windows() const;
  std::shared_ptr<Window> windowWithNumber(std::uint32_t number) const;
  // The window that receives keys; null while the application has no keyboard focus.
  std::shared_ptr<Window> keyWindow() const;
  std::shared_ptr<Window> mainWindow() const { return mainWindow_.lock(); }

  // Delegate, launching, terminating ------------------------------------------------------------
  std::shared_ptr<ApplicationDelegate> delegate() const { return delegate_.lock(); }
  void setDelegate(const std::shared_ptr<ApplicationDelegate>& delegate) { delegate_ = delegate; }
  // Tells the delegate that launching will finish, hands waiting system events (a URL that
  // started the application) to their handlers, and tells the delegate it did finish. Once.
  void finishLaunching();
  bool hasFinishedLaunching() const { return launched_; }
  // Finishes launching and runs the main loop until `terminate`.
  void run();
  // Tells the delegate and the notification centre, then ends the process (the simulated desktop
  // records it and stops the main loop).
  void terminate();
  bool isTerminating() const { return terminating_; }
  // The user opened the application again: asks the delegate.
  void reopen();

  // Modal sessions ------------------------------------------------------------------------------
  // Shows `window` key and in front and runs the main loop in the modal mode until `stopModal`
  // or `abortModal`; returns the code. Timers of the common modes keep firing meanwhile.
  long runModal(Window& window);
  void stopModal(long code = ModalResponse::stop);
  void abortModal() { stopModal(ModalResponse::abort); }
  std::shared_ptr<Window> modalWindow() const;

  // Menus ---------------------------------------------------------------------------------------
  const std::shared_ptr<Menu>& mainMenu() const { return mainMenu_; }
  void setMainMenu(std::shared_ptr<Menu> menu) { mainMenu_ = std::move(menu); }
  const std::shared_ptr<Menu>& servicesMenu() const { return servicesMenu_; }
  void setServicesMenu(std::shared_ptr<Menu> menu) { servicesMenu_ = std::move(menu); }

  // Event monitors ------------------------------------------------------------------------------
  // A local monitor sees the matching events sent to this application before they are
  // dispatched and returns the event to pass on (possibly changed) or nothing to consume it.
  using LocalHandler = std::function<std::optional<Event>(const Event&)>;
  // A global monitor sees the matching events sent to other applications and cannot change
  // them. Key events reach it only while the process is trusted for Accessibility.
  using GlobalHandler = std::function<void(const Event&)>;
  std::shared_ptr<EventMonitor> addLocalMonitor(EventMask mask, LocalHandler handler);
  std::shared_ptr<EventMonitor> addGlobalMonitor(EventMask mask, GlobalHandler handler);
  void removeMonitor(const std::shared_ptr<EventMonitor>& monitor);
  std::size_t monitorCount() const { return monitors_.size(); }

  // From the backend ----------------------------------------------------------------------------
  // An event for this application: mouse events go to their window (activating it unless it
  // is a non-activating panel), key events through the local monitors to the key window.
  void sendEvent(const Event& event);
  // An event that went to another application.
  void dispatchGlobalEvent(const Event& event);
  // Whether this application is frontmost and whether it receives keys (a non-activating panel
  // takes keys while another application stays frontmost).
  struct Activation {
    bool active = false;
    bool keyFocus = false;
  };
  void updateActivation(Activation activation);

 private:
  friend class Window;
  struct Monitor {
    std::uint64_t id = 0;
    EventMask mask = 0;
    bool global = false;
    std::shared_ptr<LocalHandler> local;
    std::shared_ptr<GlobalHandler> observer;
  };
  // Registers the monitor under the next id.
  std::shared_ptr<EventMonitor> addMonitor(Monitor monitor);

  void windowCreated(Window* window);
  void windowDestroyed(Window* window);
  void windowOrderedIn(std::shared_ptr<Window> window);
  void windowOrderedOut(Window& window);
  void windowWillClose(Window& window);
  void makeKeyWindow(Window& window);
  void resignKeyWindow(Window& window);
  void makeMainWindow(Window& window);
  bool isKey(const Window& window) const;
  bool monitorIsRegistered(std::uint64_t id) const;
  bool acceptsEventsFor(const Window& window) const;
  void post(std::string_view name);

  Desktop& desktop_;
  ActivationPolicy policy_ = ActivationPolicy::regular;
  bool active_ = false;
  bool keyFocus_ = false;
  bool launched_ = false;
  bool terminating_ = false;
  std::vector<Window*> windows_;
  // Visible windows stay alive while on screen, as the window server keeps them.
  std::vector<std::shared_ptr<Window>> onScreen_;
  std::vector<std::weak_ptr<Window>> hiddenOnDeactivate_;
  std::weak_ptr<Window> keyWindow_;
  std::weak_ptr<Window> mainWindow_;
  std::weak_ptr<ApplicationDelegate> delegate_;
  std::vector<std::weak_ptr<Window>> modalWindows_;
  std::shared_ptr<Menu> mainMenu_;
  std::shared_ptr<Menu> servicesMenu_;
  std::vector<Monitor> monitors_;
  std::uint64_t nextMonitor_ = 1;
};

}  // namespace platform
