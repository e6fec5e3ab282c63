#include "Platform/Linux/SecretServiceKeychain.h"
#include "Platform/Security/KeychainKeyStore.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <vector>

#include "PlatformTests/Linux/PrivateSecretService.h"
#include "PlatformTests/Security/KeychainBehaviour.h"
#include "Support/TemporaryDirectory.h"

extern char** environ;

namespace platform::testing {
namespace {

class SecretServiceBackend final : public KeychainBackend {
 public:
  explicit SecretServiceBackend(PrivateSecretService* service) : service_(service) {}
  Keychain& keychain() override { return keychain_; }
  void setRefusing(bool refusing) override {
    if (refusing == refusing_) return;
    refusing_ = refusing;
    refusing ? service_->lock() : service_->unlock();
  }

 private:
  PrivateSecretService* service_;
  linuxbackend::SecretServiceKeychain keychain_;
  bool refusing_ = false;
};

std::unique_ptr<KeychainBackend> makeSecretServiceBackend(std::string& reason) {
  auto* service = PrivateSecretService::shared(reason);
  if (!service) return nullptr;
  return std::make_unique<SecretServiceBackend>(service);
}

}  // namespace

INSTANTIATE_TEST_SUITE_P(SecretService, KeychainBehaviour,
                         ::testing::Values(KeychainBackendFactory{"SecretService",
                                                                  &makeSecretServiceBackend}),
                         [](const auto& p) { return p.param.name; });

TEST(SecretServiceKeychainTests, AMissingCollectionAnswersNoDefaultKeychain) {
  std::string reason;
  if (!PrivateSecretService::shared(reason)) GTEST_SKIP() << reason;
  linuxbackend::SecretServiceKeychain keychain("flagrig-no-such-collection");
  GenericPasswordQuery item{"flagrig.tests", "absent", std::nullopt, std::nullopt};
  EXPECT_EQ(keychain.add(item, Bytes{1}), KeychainStatus::noDefaultKeychain);
  EXPECT_EQ(keychain.copyMatching(item).status, KeychainStatus::noDefaultKeychain);
}

// Run by the next test in a process of its own whose session bus has no Secret Service.
TEST(SecretServiceKeychainTests, DISABLED_AbsentServiceProbe) {
  linuxbackend::SecretServiceKeychain keychain;
  GenericPasswordQuery item{"flagrig.tests", "absent", std::nullopt, std::nullopt};
  EXPECT_EQ(keychain.add(item, Bytes{1}), KeychainStatus::notAvailable);
  EXPECT_EQ(keychain.copyMatching(item).status, KeychainStatus::notAvailable);
  EXPECT_EQ(keychain.addKey({"flagrig.tests.key", KeyToken::software, Bytes{1}}),
            KeychainStatus::notAvailable);
}

TEST(SecretServiceKeychainTests, AnAbsentSecretServiceAnswersNotAvailable) {
  // The bus address names a socket that does not exist: nothing answers, nothing prompts.
  std::vector<std::string> environment = {
      "DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent/flagrig-bus", "PATH=/usr/bin:/bin"};
  std::vector<char*> envp;
  for (auto& e : environment) envp.push_back(e.data());
  envp.push_back(nullptr);
  std::string filter = "--gtest_filter=SecretServiceKeychainTests.DISABLED_AbsentServiceProbe";
  const char* argv[] = {"/proc/self/exe", filter.c_str(), "--gtest_also_run_disabled_tests",
                        nullptr};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  ASSERT_EQ(
      posix_spawn(&pid, "/proc/self/exe", &actions, nullptr, const_cast<char**>(argv), envp.data()),
      0);
  posix_spawn_file_actions_destroy(&actions);
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
      << "the probe failed; run it with " << filter << " to see why";
}

// Runs `probe` (a disabled test of this file) in a process of its own with `environment`,
// under `dbus-run-session` when `privateBus`; true when it passed.
::testing::AssertionResult runProbe(const std::string& probe, std::vector<std::string> environment,
                                    bool privateBus) {
  // A sanitizer build's child reads its suppressions from these, as the parent does.
  for (const char* name : {"ASAN_OPTIONS", "LSAN_OPTIONS", "TSAN_OPTIONS", "UBSAN_OPTIONS"}) {
    if (const char* value = std::getenv(name))
      environment.push_back(std::string(name) + "=" + value);
  }
  std::vector<char*> envp;
  for (auto& e : environment) envp.push_back(e.data());
  envp.push_back(nullptr);
  std::string filter = "--gtest_filter=SecretServiceKeychainTests." + probe;
  // Named by its path: under dbus-run-session, /proc/self/exe would be that program.
  std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
  std::vector<const char*> argv;
  if (privateBus) argv = {"/usr/bin/dbus-run-session", "--"};
  for (const char* a : {self.c_str(), filter.c_str(), "--gtest_also_run_disabled_tests"})
    argv.push_back(a);
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  int spawned =
      posix_spawn(&pid, argv[0], &actions, nullptr, const_cast<char**>(argv.data()), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) return ::testing::AssertionFailure() << "cannot start " << argv[0];
  int status = 0;
  if (waitpid(pid, &status, 0) != pid) return ::testing::AssertionFailure() << "lost the probe";
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "the probe failed; run it with " << filter
                                       << " --gtest_also_run_disabled_tests to see why";
}

// Run by the next test on a private bus where a stand-in owns the service name and never
// answers.
TEST(SecretServiceKeychainTests, DISABLED_HungServiceProbe) {
  int output[2];
  ASSERT_EQ(pipe2(output, O_CLOEXEC), 0);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, output[1], 1);
  const char* argv[] = {FLAGRIG_SILENT_SECRET_SERVICE, nullptr};
  pid_t service = 0;
  ASSERT_EQ(posix_spawn(&service, argv[0], &actions, nullptr, const_cast<char**>(argv), environ),
            0);
  posix_spawn_file_actions_destroy(&actions);
  ::close(output[1]);
  char ready[6] = {};
  ASSERT_EQ(::read(output[0], ready, 6), 6) << "the stand-in did not take the service name";
  ::close(output[0]);

  using Clock = std::chrono::steady_clock;
  linuxbackend::SecretServiceKeychain keychain("default", 0.5);
  GenericPasswordQuery item{"flagrig.tests", "hung", std::nullopt, std::nullopt};
  auto start = Clock::now();
  EXPECT_EQ(keychain.copyMatching(item).status, KeychainStatus::notAvailable);
  auto first = Clock::now() - start;
  // D-Bus would wait 25 s for each call: the deadline ends the first, and the ones after it do
  // not wait again.
  EXPECT_EQ(keychain.add(item, Bytes{1}), KeychainStatus::notAvailable);
  EXPECT_EQ(keychain.copyKey("flagrig.tests.key").status, KeychainStatus::notAvailable);
  EXPECT_EQ(keychain.remove(item), KeychainStatus::notAvailable);
  auto all = Clock::now() - start;
  EXPECT_LT(first, std::chrono::seconds(10));
  EXPECT_LT(all - first, std::chrono::seconds(2));
  ::kill(service, SIGTERM);
  ::waitpid(service, nullptr, 0);
}

TEST(SecretServiceKeychainTests, AServiceThatNeverAnswersIsNotWaitedFor) {
  if (::access("/usr/bin/dbus-run-session", X_OK) != 0)
    GTEST_SKIP() << "dbus-run-session is not installed, so no private bus can start";
  EXPECT_TRUE(runProbe("DISABLED_HungServiceProbe", {"PATH=/usr/bin:/bin"}, true));
}

// Run by the next test with no bus address and a `dbus-launch` that notes being started.
TEST(SecretServiceKeychainTests, DISABLED_NoBusProbe) {
  linuxbackend::SecretServiceKeychain keychain;
  GenericPasswordQuery item{"flagrig.tests", "no-bus", std::nullopt, std::nullopt};
  EXPECT_EQ(keychain.copyMatching(item).status, KeychainStatus::notAvailable);
  EXPECT_EQ(keychain.add(item, Bytes{1}), KeychainStatus::notAvailable);
  EXPECT_EQ(keychain.addKey({"flagrig.tests.key", KeyToken::software, Bytes{1}}),
            KeychainStatus::notAvailable);
}

TEST(SecretServiceKeychainTests, WithoutASessionBusNoneIsStarted) {
  TemporaryDirectory directory;
  auto marker = directory.path() / "dbus-launch-ran";
  auto fake = directory.path() / "dbus-launch";
  {
    std::ofstream script(fake);
    script << "#!/bin/sh\ntouch '" << marker.string() << "'\nexit 1\n";
  }
  std::filesystem::permissions(fake, std::filesystem::perms::owner_all);
  auto runtime = directory.path() / "runtime";
  std::filesystem::create_directory(runtime);
  EXPECT_TRUE(runProbe("DISABLED_NoBusProbe",
                       {"PATH=" + directory.path().string() + ":/usr/bin:/bin", "DISPLAY=:4242",
                        "XDG_RUNTIME_DIR=" + runtime.string(), "HOME=" + directory.path().string()},
                       false));
  EXPECT_FALSE(std::filesystem::exists(marker)) << "dbus-launch was started";
}

TEST(SecretServiceKeychainTests, AKeyCreatedOnceIsFoundByASecondStore) {
  std::string reason;
  if (!PrivateSecretService::shared(reason)) GTEST_SKIP() << reason;
  auto keychain = std::make_shared<linuxbackend::SecretServiceKeychain>();
  const std::string tag = "flagrig.tests.AKeyCreatedOnceIsFoundByASecondStore";
  KeychainKeyStore first(keychain);
  EXPECT_EQ(first.createRandomKey({tag, true, KeyToken::hardware, KeyAccessControl{}}).status,
            KeychainStatus::unimplemented);
  auto created = first.createRandomKey({tag, true, KeyToken::software, std::nullopt});
  ASSERT_EQ(created.status, KeychainStatus::success);

  KeychainKeyStore second(std::make_shared<linuxbackend::SecretServiceKeychain>());
  auto found = second.copyPrivateKey(tag);
  ASSERT_EQ(found.status, KeychainStatus::success);
  EXPECT_EQ(found.key->publicKeyX963(), created.key->publicKeyX963());
  const Bytes message{1, 2, 3};
  auto signature = found.key->sign(message);
  ASSERT_TRUE(signature);
  EXPECT_TRUE(P256SigningKey::verify(created.key->publicKeyX963(), message, *signature));
}

}  // namespace platform::testing
