#include "X11DesktopTest.h"

namespace platform::testing {

std::unique_ptr<XvfbDesktop> X11DesktopTest::desktop_;
std::string X11DesktopTest::reason_;

void X11DesktopTest::SetUpTestSuite() {
  if (!desktop_ && reason_.empty()) desktop_ = XvfbDesktop::start(reason_);
}

void X11DesktopTest::TearDownTestSuite() {
  desktop_.reset();
  reason_.clear();
}

void X11DesktopTest::SetUp() {
  SimTest::SetUp();
  if (!desktop_) GTEST_SKIP() << "no X server for the desktop backend tests: " << reason_;
  connection_ = linuxbackend::X11Connection::open(desktop_->display());
  ASSERT_TRUE(connection_) << "cannot connect to " << desktop_->display();
  server_ = std::make_unique<linuxbackend::X11WindowServer>(connection_);
}

void X11DesktopTest::TearDown() {
  for (auto pid : started_) desktop_->end(pid);
  server_.reset();
  connection_.reset();
  SimTest::TearDown();
}

std::uint32_t X11DesktopTest::startXterm(const std::string& title, int x, int y, pid_t* pidOut) {
  std::string geometry = "40x10+" + std::to_string(x) + "+" + std::to_string(y);
  pid_t pid = desktop_->spawn({"xterm", "-T", title, "-geometry", geometry, "-e", "sleep", "600"});
  if (pid < 0) return 0;
  started_.push_back(pid);
  if (pidOut) *pidOut = pid;
  std::uint32_t number = 0;
  waitUntil([&] {
    auto snapshot = server_->snapshot();
    if (!snapshot) return false;
    for (const auto& w : snapshot->windows) {
      if (w.name == title && w.onScreen) {
        number = w.number;
        return true;
      }
    }
    return false;
  });
  return number;
}

std::optional<linuxbackend::X11WindowEntry> X11DesktopTest::entry(std::uint32_t number) {
  auto snapshot = server_->snapshot();
  if (!snapshot) return std::nullopt;
  if (const auto* e = snapshot->find(number)) return *e;
  return std::nullopt;
}

bool X11DesktopTest::xdotool(std::vector<std::string> arguments) {
  arguments.insert(arguments.begin(), "xdotool");
  return desktop_->run(arguments) == 0;
}

}  // namespace platform::testing
