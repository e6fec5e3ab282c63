#include <gtest/gtest.h>

#include <functional>
#include <thread>

#include "Flagrig/Shell/AppDelegate.h"
#include "Flagrig/Tagging/TagManager.h"
#include "Platform/Desktop/Menu.h"
#include "Platform/Desktop/Window.h"
#include "Platform/Foundation/MainThread.h"
#include "ShellTest.h"
#include "Support/NoCoreDumps.h"

namespace flagrig {
namespace {

using namespace platform;

class MainThreadDeathTest : public testing::ShellTest {
 protected:
  void SetUp() override {
    ShellTest::SetUp();
    if (!mainThreadChecked) GTEST_SKIP() << "release builds leave the main-thread check out";
    GTEST_FLAG_SET(death_test_style, "threadsafe");
  }
  // Runs `call` on a worker thread and waits for it.
  static void offTheMainThread(const std::function<void()>& call) { std::thread(call).join(); }

  platform::testing::NoCoreDumps noCoreDumps_;
};

// Each owner of main-loop state fails at once, naming the call, when a worker thread calls in;
// the same call from the main thread goes through.
TEST_F(MainThreadDeathTest, AMainLoopOnlyCallFromAWorkerThreadEndsTheProcess) {
  auto delegate = launch();
  auto menu = std::make_shared<Menu>("Status");
  TagManager& tags = TagManager::shared();
  struct Case {
    const char* expected;
    std::function<void()> call;
  };
  const Case cases[] = {
      {"TagManager::removeAll called off the main thread", [&tags] { tags.removeAll(); }},
      {"Window::Window called off the main thread",
       [] { std::make_shared<Window>(Rect(0, 0, 100, 100), StyleMask::titled); }},
      {"AppDelegate::presentTagDemo called off the main thread",
       [delegate] { delegate->presentTagDemo(); }},
      {"AppDelegate::menuNeedsUpdate called off the main thread",
       [delegate, menu] { delegate->menuNeedsUpdate(*menu); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.expected);
    c.call();
    EXPECT_DEATH(offTheMainThread(c.call), c.expected);
  }
}

}  // namespace
}  // namespace flagrig
