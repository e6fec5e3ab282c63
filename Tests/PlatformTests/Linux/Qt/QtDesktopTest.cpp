#include "QtDesktopTest.h"

#include <xcb/xcb.h>

#include <QColor>
#include <charconv>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "Platform/Foundation/Clock.h"
#include "Platform/Foundation/RunLoop.h"
#include "Platform/Foundation/SharedInstance.h"
#include "Platform/Linux/LinuxEnvironment.h"

namespace platform::testing {

namespace {

std::unique_ptr<XvfbDesktop>& sharedDesktop() {
  static std::unique_ptr<XvfbDesktop> desktop;
  return desktop;
}

std::string& startFailure() {
  static std::string reason;
  return reason;
}

// Ends the shared X server after the last test, before the process exits.
class SharedDesktopEnder final : public ::testing::Environment {
 public:
  void TearDown() override { sharedDesktop().reset(); }
};
[[maybe_unused]] const auto* const ender =
    ::testing::AddGlobalTestEnvironment(new SharedDesktopEnder);

xcb_connection_t* probeConnection() {
  static xcb_connection_t* c = xcb_connect(sharedDesktop()->display().c_str(), nullptr);
  return c;
}

}  // namespace

bool near(const QColor& a, const QColor& b, int tolerance) {
  return std::abs(a.red() - b.red()) <= tolerance && std::abs(a.green() - b.green()) <= tolerance &&
         std::abs(a.blue() - b.blue()) <= tolerance;
}

XvfbDesktop& QtDesktopTest::xdesktop() {
  return *sharedDesktop();
}

void QtDesktopTest::SetUp() {
  if (!sharedDesktop() && startFailure().empty()) {
    sharedDesktop() = XvfbDesktop::start(startFailure());
    if (!sharedDesktop() && startFailure().empty()) startFailure() = "Xvfb could not be started";
  }
  if (!sharedDesktop()) GTEST_SKIP() << "no X server for the Qt desktop tests: " << startFailure();
  setenv("DISPLAY", sharedDesktop()->display().c_str(), 1);

  resetSharedInstances();
  sim_ = sim::makeSimEnvironment();
  Environment& e = *sim_->environment;
  e.clock = std::make_shared<SystemClock>();
  e.mainLoop = std::make_shared<RunLoop>(e.clock);
  e.backgroundPool = e.mainLoop;
  installEnvironment(sim_->environment);
  auto desktop = linuxbackend::makeX11Desktop(e.mainLoop);
  ASSERT_NE(desktop, nullptr) << "the X display " << sharedDesktop()->display() << " did not open";
  desktop_ = std::static_pointer_cast<linuxbackend::QtDesktop>(desktop);
  desktop_->setTerminateHandler([] { env().mainLoop->stop(); });
  e.desktop = desktop_;
}

void QtDesktopTest::TearDown() {
  for (pid_t pid : started_) xdesktop().end(pid);
  started_.clear();
  if (!sim_) return;
  resetSharedInstances();
  env().mainLoop->discardPendingWork();
  // Let Qt delete what was released.
  if (desktop_) runFor(0.05);
  env().desktop.reset();
  desktop_.reset();
  installEnvironment(nullptr);
  sim_.reset();
}

bool QtDesktopTest::runUntil(const std::function<bool()>& condition, double seconds) {
  if (condition()) return true;
  bool met = false;
  auto check = loop().scheduleTimer(
      0.01, TimerKind::repeating,
      [&](Timer&) {
        if (condition()) {
          met = true;
          loop().stop();
        }
      },
      RunLoopModes::common());
  auto limit = loop().postAfter(seconds, [&] { loop().stop(); });
  loop().run();
  check->invalidate();
  limit->cancel();
  return met || condition();
}

void QtDesktopTest::runFor(double seconds) {
  auto limit = loop().postAfter(seconds, [&] { loop().stop(); });
  loop().run();
}

QImage QtDesktopTest::screenshot(const std::string& name) {
  const char* dir = std::getenv("FLAGRIG_SCREENSHOT_DIR");
  std::filesystem::path folder = dir && *dir
                                     ? std::filesystem::path(dir)
                                     : std::filesystem::temp_directory_path() / "flagrig-qt-tests";
  std::filesystem::create_directories(folder);
  std::string path = (folder / (name + ".png")).string();
  int status = xdesktop().run(
      {"sh", "-c", "xwd -root -silent | /usr/bin/convert xwd:- png:'" + path + "'"}, 30);
  if (status != 0) return QImage();
  return QImage(QString::fromStdString(path));
}

std::vector<std::uint32_t> QtDesktopTest::stacking() {
  xcb_connection_t* c = probeConnection();
  xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
  auto* tree = xcb_query_tree_reply(c, xcb_query_tree(c, root), nullptr);
  std::vector<std::uint32_t> result;
  if (!tree) return result;
  auto* children = xcb_query_tree_children(tree);
  int count = xcb_query_tree_children_length(tree);
  // Only what is on screen: Qt keeps unmapped helper windows.
  std::vector<xcb_get_window_attributes_cookie_t> cookies;
  std::vector<xcb_get_geometry_cookie_t> geometries;
  for (int i = 0; i < count; ++i) {
    cookies.push_back(xcb_get_window_attributes(c, children[i]));
    geometries.push_back(xcb_get_geometry(c, children[i]));
  }
  for (int i = 0; i < count; ++i) {
    auto* attributes = xcb_get_window_attributes_reply(c, cookies[i], nullptr);
    auto* geometry = xcb_get_geometry_reply(c, geometries[i], nullptr);
    // The window manager's 1 x 1 helper off screen does not count either.
    bool shown = attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE && geometry &&
                 geometry->x + geometry->width > 0 && geometry->y + geometry->height > 0;
    if (shown) result.push_back(children[i]);
    std::free(attributes);
    std::free(geometry);
  }
  std::free(tree);
  return result;
}

std::uint32_t QtDesktopTest::topLevelOf(std::uint32_t window) {
  xcb_connection_t* c = probeConnection();
  xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
  for (int i = 0; i < 16; ++i) {
    auto* tree = xcb_query_tree_reply(c, xcb_query_tree(c, window), nullptr);
    if (!tree) return 0;
    xcb_window_t parent = tree->parent;
    std::free(tree);
    if (parent == root) return window;
    window = parent;
  }
  return 0;
}

std::uint32_t QtDesktopTest::startXterm(const std::string& title, int x, int y, pid_t* pid) {
  pid_t p = xdesktop().spawn({"xterm", "-title", title, "-geometry",
                              "60x12+" + std::to_string(x) + "+" + std::to_string(y)});
  if (p <= 0) return 0;
  started_.push_back(p);
  if (pid) *pid = p;
  // xdotool waits for the window to be mapped and names its id.
  auto out = std::filesystem::temp_directory_path() / ("flagrig-xterm-" + std::to_string(p));
  int status = xdesktop().run(
      {"sh", "-c",
       "xdotool search --sync --onlyvisible --name '^" + title + "$' > '" + out.string() + "'"},
      30);
  std::uint32_t found = 0;
  if (status == 0) {
    std::ifstream in(out);
    std::string line;
    if (std::getline(in, line)) {
      auto [end, ec] = std::from_chars(line.data(), line.data() + line.size(), found);
      if (ec != std::errc()) found = 0;
    }
  }
  std::filesystem::remove(out);
  return found;
}

bool QtDesktopTest::xdotool(std::vector<std::string> arguments) {
  arguments.insert(arguments.begin(), "xdotool");
  return xdesktop().run(arguments, 30) == 0;
}

}  // namespace platform::testing
