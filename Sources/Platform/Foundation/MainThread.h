#pragma once

namespace platform {

// Windows, views, menus and most product state belong to the main loop, which runs on the
// process's main thread. A call from another thread would race rather than fail, so debug and
// sanitizer builds check it at the entry points and end the process at once, naming the call;
// release builds compile the check away.
#if defined(FLAGRIG_CHECK_MAIN_THREAD)
inline constexpr bool mainThreadChecked = true;
bool isMainThread();
[[noreturn]] void mainThreadViolation(const char* where);
inline void assertMainThread(const char* where) {
  if (!isMainThread()) mainThreadViolation(where);
}
#else
inline constexpr bool mainThreadChecked = false;
inline void assertMainThread(const char*) {}
#endif

}  // namespace platform
