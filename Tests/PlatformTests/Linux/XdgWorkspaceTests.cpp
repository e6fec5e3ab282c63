#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <thread>

#include "Platform/Linux/XdgWorkspace.h"
#include "Support/SimTest.h"
#include "Support/TemporaryDirectory.h"

namespace platform::testing {
namespace {

using linuxbackend::XdgWorkspace;

class XdgWorkspaceTest : public SimTest {
 protected:
  // A stand-in for xdg-open that appends its argument to a file and exits with `status`.
  // Written through a close-on-exec descriptor: a copy inherited by a child that another
  // thread starts meanwhile would make executing the script fail with "text file busy".
  std::string fakeOpener(int status) {
    auto path = directory.path() / ("opener" + std::to_string(status));
    std::string text = "#!/bin/sh\nprintf '%s\\n' \"$1\" >> '" + log().string() + "'\nexit " +
                       std::to_string(status) + "\n";
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0700);
    EXPECT_EQ(::write(fd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
    ::close(fd);
    return path.string();
  }
  std::filesystem::path log() { return directory.path() / "opened"; }
  std::vector<std::string> opened() {
    std::ifstream in(log());
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }
  template <class Condition>
  bool runUntil(Condition done) {
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!done() && std::chrono::steady_clock::now() < end) {
      loop().runUntilIdle();
      std::this_thread::yield();
    }
    return done();
  }

  TemporaryDirectory directory;
};

TEST_F(XdgWorkspaceTest, OpeningAnAddressAnswersWithTheOpenersExitStatus) {
  std::optional<bool> yes, no;
  XdgWorkspace({}, XdgOpen(fakeOpener(0)))
      .openURLWithCompletion(URL("https://example.test/a"), [&](bool ok) { yes = ok; });
  XdgWorkspace({}, XdgOpen(fakeOpener(3))).openURLWithCompletion(URL("flagrig://x"), [&](bool ok) {
    no = ok;
  });
  ASSERT_TRUE(runUntil([&] { return yes && no; }));
  EXPECT_EQ(yes, true);
  EXPECT_EQ(no, false);
  // Not startable, or empty: false at once.
  std::optional<bool> missing, empty;
  XdgWorkspace({}, XdgOpen("flagrig-no-such-opener"))
      .openURLWithCompletion(URL("https://example.test"), [&](bool ok) { missing = ok; });
  XdgWorkspace({}, XdgOpen(fakeOpener(0))).openURLWithCompletion(URL(), [&](bool ok) {
    empty = ok;
  });
  EXPECT_EQ(missing, false);
  EXPECT_EQ(empty, false);
  EXPECT_FALSE(XdgWorkspace({}, XdgOpen("flagrig-no-such-opener")).openURL(URL("https://x.test")));
}

TEST_F(XdgWorkspaceTest, AnAddressNoHandlerTookIsNamedWithoutItsQuery) {
  // Standard error goes to a file for a while, read until the line has come.
  auto errors = directory.path() / "stderr";
  std::fflush(stderr);
  int saved = ::dup(2);
  int file = ::open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  ::dup2(file, 2);
  ::close(file);
  auto said = [&] {
    std::ifstream in(errors);
    return std::string(std::istreambuf_iterator<char>(in), {});
  };
  EXPECT_TRUE(XdgWorkspace({}, XdgOpen(fakeOpener(3)))
                  .openURL(URL("https://auth.example.test/authorize?state=SECRET&nonce=SECRET")));
  bool came = runUntil([&] { return said().find('\n') != std::string::npos; });
  std::fflush(stderr);
  ::dup2(saved, 2);
  ::close(saved);
  ASSERT_TRUE(came);
  EXPECT_NE(said().find("no handler opened an address at https://auth.example.test"),
            std::string::npos)
      << said();
  EXPECT_EQ(said().find("SECRET"), std::string::npos) << said();
}

TEST_F(XdgWorkspaceTest, RevealingFilesOpensEachFolderOnce) {
  XdgWorkspace workspace({}, XdgOpen(fakeOpener(0)));
  auto folder = directory.path() / "logs";
  workspace.activateFileViewerSelecting(
      {(folder / "a.log").string(), (folder / "b.log").string(), ""});
  ASSERT_TRUE(runUntil([&] { return opened().size() >= 1; }));
  EXPECT_EQ(opened(), std::vector<std::string>{folder.string()});
}

TEST_F(XdgWorkspaceTest, RunningApplicationsAreLiveProcesses) {
  XdgWorkspace workspace(std::vector<std::string>{});
  auto self = workspace.runningApplication(static_cast<std::int32_t>(::getpid()));
  ASSERT_TRUE(self);
  EXPECT_FALSE(self->isTerminated());
  EXPECT_FALSE(self->localizedName().empty());
  EXPECT_FALSE(workspace.runningApplication(0));
  EXPECT_FALSE(workspace.runningApplication(-1));
  EXPECT_FALSE(workspace.runningApplication(0x3fffffff));

  // A launched program is running, then ended.
  std::shared_ptr<RunningApplication> launched;
  std::optional<std::string> failure = "not called";
  workspace.openApplication("/bin/true", {}, [&](auto app, auto error) {
    launched = app;
    failure = error;
  });
  ASSERT_TRUE(runUntil([&] { return launched != nullptr; }));
  EXPECT_FALSE(failure);
  EXPECT_TRUE(runUntil([&] { return launched->isTerminated(); }));

  workspace.openApplication((directory.path() / "missing").string(), {}, [&](auto app, auto error) {
    launched = app;
    failure = error;
  });
  ASSERT_TRUE(runUntil([&] { return failure.has_value() && !launched; }));
}

// Descriptors opened without close-on-exec, as libcurl's sockets are, never reach a child: the
// opener and the browser it starts, or a new instance of ours.
TEST_F(XdgWorkspaceTest, ChildrenInheritOnlyTheStandardDescriptors) {
  int leaky[2], sockets[2];
  ASSERT_EQ(::pipe(leaky), 0);
  ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, sockets), 0);
  auto listed = [](const std::filesystem::path& path) {
    std::ifstream in(path);
    std::vector<int> fds;
    for (int fd; in >> fd;) fds.push_back(fd);
    return fds;
  };
  auto standardOnly = [](const std::vector<int>& fds) {
    for (int fd : fds) {
      if (fd > 2) return false;
    }
    return true;
  };

  auto byOpener = directory.path() / "opener-fds";
  std::optional<bool> opened;
  XdgOpen(FLAGRIG_LIST_DESCRIPTORS).open(byOpener.string(), [&](bool ok) { opened = ok; });
  ASSERT_TRUE(runUntil([&] { return opened.has_value(); }));
  EXPECT_EQ(opened, true);
  auto fds = listed(byOpener);
  EXPECT_FALSE(fds.empty());
  EXPECT_TRUE(standardOnly(fds)) << ::testing::PrintToString(fds);

  auto byLaunch = directory.path() / "launch-fds";
  ::setenv("FLAGRIG_DESCRIPTORS_FILE", byLaunch.c_str(), 1);
  std::shared_ptr<RunningApplication> launched;
  XdgWorkspace(std::vector<std::string>{})
      .openApplication(FLAGRIG_LIST_DESCRIPTORS, {}, [&](auto app, auto) { launched = app; });
  ASSERT_TRUE(runUntil([&] { return launched && launched->isTerminated(); }));
  ::unsetenv("FLAGRIG_DESCRIPTORS_FILE");
  fds = listed(byLaunch);
  EXPECT_FALSE(fds.empty());
  EXPECT_TRUE(standardOnly(fds)) << ::testing::PrintToString(fds);

  for (int fd : {leaky[0], leaky[1], sockets[0], sockets[1]}) ::close(fd);
}

// A new instance runs the executable file itself (a process is named after the file it
// executes: "exe" for the /proc/self/exe link) under our own argv[0].
TEST(XdgWorkspaceNewInstance, StartsTheResolvedExecutableUnderOurArgv0) {
  TemporaryDirectory directory;
  auto executable = (directory.path() / "flagrig").string();
  std::ofstream(executable) << "#!/bin/sh\n";
  struct Case {
    std::string program;
    std::string executable;
    std::string wantedExecutable;
    std::string wantedArgv0;
  } cases[] = {
      {"./flagrig", executable, executable, "./flagrig"},
      {"", executable, executable, executable},
      // Replaced or removed since we started: only the link still reaches our image.
      {"flagrig", executable + " (deleted)", "/proc/self/exe", "flagrig"},
      {"flagrig", "", "/proc/self/exe", "flagrig"},
      {"flagrig", "relative/flagrig", "/proc/self/exe", "flagrig"},
      {"flagrig", directory.path().string(), "/proc/self/exe", "flagrig"},
  };
  for (const auto& c : cases) {
    auto launch = XdgWorkspace::newInstance(c.program, {"--show-settings", ""}, c.executable);
    EXPECT_EQ(launch.executable, c.wantedExecutable) << c.executable;
    EXPECT_EQ(launch.argv, (std::vector<std::string>{c.wantedArgv0, "--show-settings", ""}))
        << c.program;
  }
}

TEST(XdgWorkspaceArguments, AreThisProcesssArgumentsWithoutTheProgram) {
  auto arguments = XdgWorkspace::currentArguments();
  // The test binary runs with at least its filter or nothing; never its own path first.
  for (const auto& a : arguments) EXPECT_EQ(a.find("PlatformTests"), std::string::npos) << a;
}

}  // namespace
}  // namespace platform::testing
