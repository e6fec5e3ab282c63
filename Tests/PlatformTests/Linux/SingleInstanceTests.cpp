#include <gtest/gtest.h>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <thread>

#include "Platform/Desktop/AppleEventManager.h"
#include "Platform/Desktop/Application.h"
#include "Platform/Linux/SingleInstance.h"
#include "Support/SimTest.h"
#include "Support/TemporaryDirectory.h"

extern char** environ;

namespace platform::testing {
namespace {

using linuxbackend::SingleInstance;

constexpr const char* childDirectoryVariable = "FLAGRIG_TEST_HANDOVER_DIR";

// Started again as the second process of the hand-over test, this program hands over and
// ends before any test runs.
[[maybe_unused]] const bool handOverChild = [] {
  const char* folder = std::getenv(childDirectoryVariable);
  if (!folder) return false;
  SingleInstance second{std::filesystem::path(folder)};
  if (second.acquire()) std::_Exit(2);
  std::_Exit(second.handOver("flagrig://from-another-process") ? 0 : 1);
}();

class SingleInstanceTest : public SimTest {
 protected:
  // Accepts and reads connections until `done`, as the main loop would.
  template <class Condition>
  bool serveUntil(SingleInstance& first, Condition done, double seconds = 10) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(int(seconds * 1000));
    while (!done() && std::chrono::steady_clock::now() < end) {
      pollfd p{first.listeningDescriptor(), POLLIN, 0};
      if (::poll(&p, 1, 10) > 0) first.acceptPending();
      loop().runUntilIdle();
    }
    return done();
  }
  // Connects as a raw peer and sends `bytes` (then keeps the connection open until closed).
  int rawPeer(const std::string& bytes) {
    int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    auto path = (directory.path() / "flagrig.socket").string();
    std::strcpy(address.sun_path, path.c_str());
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) return -1;
    if (!bytes.empty()) ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    return fd;
  }

  TemporaryDirectory directory;
  std::vector<std::string> delivered;
};

TEST_F(SingleInstanceTest, TheSecondInstanceHandsItsAddressToTheFirst) {
  SingleInstance first(directory.path());
  ASSERT_TRUE(first.acquire());
  EXPECT_TRUE(first.isPrimary());
  first.listen([&](std::string address) { delivered.push_back(address); });
  struct stat st {};
  ASSERT_EQ(::stat((directory.path() / "flagrig.socket").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 077, 0u);

  SingleInstance second(directory.path());
  EXPECT_FALSE(second.acquire());
  EXPECT_TRUE(second.isUsable());
  bool handed = false;
  std::thread peer([&] { handed = second.handOver("flagrig://open?tag=ü"); });
  EXPECT_TRUE(serveUntil(first, [&] { return !delivered.empty(); }));
  peer.join();
  EXPECT_TRUE(handed);
  EXPECT_EQ(delivered, std::vector<std::string>{"flagrig://open?tag=ü"});
}

TEST_F(SingleInstanceTest, AnotherProcessHandsOverAndEndsWithZero) {
  SingleInstance first(directory.path());
  ASSERT_TRUE(first.acquire());
  first.listen([&](std::string address) { delivered.push_back(address); });

  std::string variable = std::string(childDirectoryVariable) + "=" + directory.path().string();
  std::vector<char*> envp;
  for (char** e = environ; *e; ++e) envp.push_back(*e);
  envp.push_back(variable.data());
  envp.push_back(nullptr);
  std::string program = "/proc/self/exe";
  char* argv[] = {program.data(), nullptr};
  pid_t child = -1;
  ASSERT_EQ(::posix_spawn(&child, program.c_str(), nullptr, nullptr, argv, envp.data()), 0);
  EXPECT_TRUE(serveUntil(first, [&] { return !delivered.empty(); }));
  int status = -1;
  ::waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(delivered, std::vector<std::string>{"flagrig://from-another-process"});
}

TEST_F(SingleInstanceTest, BrokenOrHostileMessagesAreDropped) {
  SingleInstance first(directory.path());
  ASSERT_TRUE(first.acquire());
  first.listen([&](std::string address) { delivered.push_back(address); });
  std::vector<int> peers;
  for (std::string bytes : {std::string(SingleInstance::maxMessage + 10, 'a'),  // too long
                            std::string("flagrig://a\rb\n"),                    // control bytes
                            std::string("flagrig://\xff\xfe\n"),                // not UTF-8
                            std::string("\n")}) {                               // empty
    int fd = rawPeer(bytes);
    ASSERT_GE(fd, 0);
    ::shutdown(fd, SHUT_WR);
    peers.push_back(fd);
  }
  // A silent peer is cut off after the read time.
  int silent = rawPeer("");
  ASSERT_GE(silent, 0);
  peers.push_back(silent);
  // Then a good one still gets through, after all the others.
  SingleInstance second(directory.path());
  bool handed = false;
  std::thread peer([&] { handed = second.handOver("flagrig://good"); });
  EXPECT_TRUE(serveUntil(first, [&] { return !delivered.empty(); }));
  peer.join();
  EXPECT_TRUE(handed);
  pollfd p{silent, POLLIN, 0};
  EXPECT_EQ(::poll(&p, 1, int(SingleInstance::readTimeout * 1000) + 2000), 1);
  char byte;
  EXPECT_EQ(::recv(silent, &byte, 1, 0), 0);  // closed without an answer
  for (int fd : peers) ::close(fd);
  loop().runUntilIdle();
  EXPECT_EQ(delivered, std::vector<std::string>{"flagrig://good"});
  // An address the hand-over itself refuses to send.
  EXPECT_FALSE(second.handOver("flagrig://a\nb"));
  EXPECT_FALSE(second.handOver("flagrig://a\tb"));
  EXPECT_FALSE(second.handOver(""));
}

TEST_F(SingleInstanceTest, ARelaunchedInstanceWaitsForItsPredecessorInsteadOfHandingOver) {
  auto first = std::make_unique<SingleInstance>(directory.path());
  ASSERT_TRUE(first->acquire());
  // Without the relaunch mark a later process is second at once.
  EXPECT_FALSE(SingleInstance(directory.path()).acquire());

  ::setenv(SingleInstance::relaunchVariable, "12345", 1);
  SingleInstance successor(directory.path());
  std::atomic<bool> acquired{false}, starting{false};
  std::thread start([&] {
    starting = true;
    acquired = successor.acquire();
  });
  while (!starting) std::this_thread::yield();
  EXPECT_FALSE(acquired);
  first.reset();  // the predecessor ends
  start.join();
  EXPECT_TRUE(acquired);
  EXPECT_TRUE(successor.isPrimary());
  EXPECT_EQ(std::getenv(SingleInstance::relaunchVariable), nullptr);
}

TEST_F(SingleInstanceTest, TheFolderMustBePrivate) {
  const char* saved = std::getenv("XDG_RUNTIME_DIR");
  std::string savedValue = saved ? saved : "";
  auto open = directory.path() / "open";
  std::filesystem::create_directory(open);
  ::chmod(open.c_str(), 0755);
  ::setenv("XDG_RUNTIME_DIR", open.c_str(), 1);
  auto chosen = SingleInstance::defaultDirectory();
  EXPECT_NE(chosen, open);
  auto closed = directory.path() / "closed";
  std::filesystem::create_directory(closed);
  ::chmod(closed.c_str(), 0700);
  ::setenv("XDG_RUNTIME_DIR", closed.c_str(), 1);
  EXPECT_EQ(SingleInstance::defaultDirectory(), closed);
  if (saved) {
    ::setenv("XDG_RUNTIME_DIR", savedValue.c_str(), 1);
  } else {
    ::unsetenv("XDG_RUNTIME_DIR");
  }
  // A folder where the lock cannot be made: not usable, not the first.
  SingleInstance nowhere(directory.path() / "missing");
  EXPECT_FALSE(nowhere.acquire());
  EXPECT_FALSE(nowhere.isUsable());
}

// Another local user's folder under /tmp, or a lock or socket path that is a directory or a
// link, would leave no single instance at all; the next place is taken instead.
TEST_F(SingleInstanceTest, AFolderThatCannotHoldTheLockIsPassedOver) {
  namespace fs = std::filesystem;
  auto runtime = directory.path() / "runtime";
  auto state = directory.path() / "state";
  auto temporary = directory.path() / "tmp-flagrig";
  auto fallback = state / "Flagrig" / "instance";
  auto reset = [&] {
    for (const auto& p : {runtime, state, temporary}) fs::remove_all(p);
    fs::create_directory(runtime);
    ::chmod(runtime.c_str(), 0700);
  };
  struct Case {
    const char* name;
    std::function<void()> plant;
    fs::path expected;
  };
  std::vector<Case> cases = {
      {"a private runtime folder", [] {}, runtime},
      {"a runtime folder others can read", [&] { ::chmod(runtime.c_str(), 0755); }, fallback},
      {"a lock that is a directory", [&] { fs::create_directory(runtime / "flagrig.lock"); },
       fallback},
      {"a lock that is a link",
       [&] { fs::create_symlink(directory.path() / "elsewhere", runtime / "flagrig.lock"); },
       fallback},
      {"a socket that is a directory", [&] { fs::create_directory(runtime / "flagrig.socket"); },
       fallback},
      {"a socket that is a link",
       [&] { fs::create_symlink(directory.path() / "elsewhere", runtime / "flagrig.socket"); },
       fallback},
      {"a state folder that is taken as well",
       [&] {
         fs::create_directory(runtime / "flagrig.lock");
         fs::create_directories(fallback / "flagrig.lock");
       },
       temporary},
      {"a folder under /tmp of another user",
       [&] {
         fs::create_directory(runtime / "flagrig.lock");
         fs::create_directories(fallback / "flagrig.lock");
         fs::create_directory(temporary);
         // Root can hand it to another user; anyone else makes it open to all.
         if (::getuid() == 0) {
           ASSERT_EQ(::chown(temporary.c_str(), 1, ::getgid()), 0);
         } else {
           ::chmod(temporary.c_str(), 0777);
         }
       },
       {}},
  };
  for (const auto& c : cases) {
    reset();
    c.plant();
    auto chosen = SingleInstance::chooseDirectory({runtime, state, temporary});
    EXPECT_EQ(chosen.value_or(fs::path()), c.expected) << c.name;
    if (!chosen) continue;
    SingleInstance first(*chosen);
    EXPECT_TRUE(first.acquire()) << c.name;
    struct stat st {};
    ASSERT_EQ(::lstat(chosen->c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 077, 0u) << c.name;
  }
  // With no runtime folder at all, the state folder comes first.
  reset();
  EXPECT_EQ(SingleInstance::chooseDirectory({{}, state, temporary}), fallback);
}

TEST_F(SingleInstanceTest, AnAddressArrivesAsTheURLSchemeEvent) {
  std::vector<std::string> received;
  AppleEventManager::shared().setEventHandler(
      AppleEventCode::internetEventClass, AppleEventCode::getURL,
      [&](const AppleEventDescriptor& event, AppleEventDescriptor&) {
        auto direct = event.paramDescriptor(AppleEventCode::directObjectKeyword);
        if (direct && direct->stringValue()) received.push_back(*direct->stringValue());
      });
  AppleEventManager::shared().beginDispatching();
  SingleInstance::deliverAsURLEvent("flagrig://x");
  EXPECT_EQ(received, std::vector<std::string>{"flagrig://x"});
}

// A later plain launch asks the running application to reopen; an address stays the event.
TEST_F(SingleInstanceTest, AHandedOverReopenReachesTheRunningApplication) {
  struct Delegate : ApplicationDelegate {
    std::vector<std::string> calls;
    bool applicationShouldHandleReopen(Application&, bool) override {
      calls.push_back("reopen");
      return false;
    }
  };
  auto delegate = std::make_shared<Delegate>();
  Application::shared().setDelegate(delegate);
  AppleEventManager::shared().setEventHandler(
      AppleEventCode::internetEventClass, AppleEventCode::getURL,
      [&](const AppleEventDescriptor& event, AppleEventDescriptor&) {
        auto direct = event.paramDescriptor(AppleEventCode::directObjectKeyword);
        delegate->calls.push_back("url " + direct->stringValue().value_or(""));
      });

  SingleInstance first(directory.path());
  ASSERT_TRUE(first.acquire());
  first.listen([&](std::string message) {
    delivered.push_back(message);
    SingleInstance::deliver(message);
  });
  auto handOver = [&](const std::string& message) {
    SingleInstance second(directory.path());
    EXPECT_FALSE(second.acquire());
    bool handed = false;
    std::size_t before = delivered.size();
    std::thread peer([&] { handed = second.handOver(message); });
    EXPECT_TRUE(serveUntil(first, [&] { return delivered.size() > before; }));
    peer.join();
    EXPECT_TRUE(handed);
  };

  // While launching, the launch route is on its way: no second route on top of it.
  handOver(SingleInstance::reopenRequest);
  EXPECT_TRUE(delegate->calls.empty());

  Application::shared().finishLaunching();
  handOver(SingleInstance::reopenRequest);
  handOver("flagrig://open");
  EXPECT_EQ(delegate->calls, (std::vector<std::string>{"reopen", "url flagrig://open"}));
}

}  // namespace
}  // namespace platform::testing
