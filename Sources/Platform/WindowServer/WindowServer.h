#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include "Platform/Foundation/Value.h"

namespace platform {

// Named window levels the window server can be asked for.
enum class WindowLevelKey : int {
  desktop = 2,
  normal = 4,
  floating = 5,
  dock = 7,
  mainMenu = 8,
  status = 9,
  modalPanel = 10,
  popUpMenu = 11,
  screenSaver = 13,
  desktopIcon = 18,
};

// What `kill(pid, 0)` answered: its result and, when it failed, errno.
struct ProcessProbeResult {
  int result = 0;
  int error = 0;
  bool operator==(const ProcessProbeResult&) const = default;
};

// Whether a window still exists, as far as the window server can tell.
enum class WindowPresence {
  exists,
  destroyed,
  // The server cannot tell a closed window from a minimised or hidden one.
  unknown,
};

// The window server: the on-screen window list of every application, the process probe, and
// screen-capture access (which decides whether other applications' window names are listed).
class WindowServer {
 public:
  virtual ~WindowServer() = default;

  // The installed desktop's window server.
  static WindowServer& shared();

  // Windows front to back (see WindowList for the entries and options), as an immutable
  // snapshot that callers may share and keep. `relativeTo` is accepted for the platform's sake
  // and must be 0. Null when the list is unavailable.
  virtual std::shared_ptr<const Value> copyWindowList(std::uint32_t options,
                                                      std::uint32_t relativeTo = 0) = 0;

  // `kill(pid, 0)`: 0 when the process exists and may be signalled; otherwise -1 with ESRCH
  // (no such process) or EPERM (it exists but belongs to someone else).
  virtual ProcessProbeResult probeProcess(std::int32_t pid) = 0;

  // Whether the window with this number was destroyed, as opposed to being only off the
  // on-screen list (minimised, unmapped, on another workspace). Answered without a round trip
  // to the server; `unknown` for a window it never saw, and on platforms that cannot tell.
  virtual WindowPresence windowPresence(std::uint32_t /*windowNumber*/) {
    return WindowPresence::unknown;
  }

  virtual bool preflightScreenCaptureAccess() = 0;
  // May show the system's request the first time; answers the access as it stands afterwards.
  virtual bool requestScreenCaptureAccess() = 0;

  // The numeric level for a key: the same on every backend.
  static int levelForKey(WindowLevelKey key);
};

}  // namespace platform
