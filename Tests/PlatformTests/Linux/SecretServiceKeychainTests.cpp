#include "Platform/Linux/SecretServiceKeychain.h"
#include "Platform/Security/KeychainKeyStore.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

#include "PlatformTests/Linux/PrivateSecretService.h"
#include "PlatformTests/Security/KeychainBehaviour.h"

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
