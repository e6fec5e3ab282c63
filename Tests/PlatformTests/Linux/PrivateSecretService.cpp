#include "PlatformTests/Linux/PrivateSecretService.h"

#include <fcntl.h>
#include <libsecret/secret.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace platform::testing {

namespace {

constexpr const char* kPassword = "flagrig-test";

// Runs inside `dbus-run-session`: starts the keyring daemon, reports the bus address and then
// waits for its standard input to close, which happens when the test process ends.
constexpr const char* kScript = R"(set -e
export HOME="$1/home" XDG_DATA_HOME="$1/home/data" XDG_CONFIG_HOME="$1/home/config" XDG_CACHE_HOME="$1/home/cache" XDG_RUNTIME_DIR="$1/runtime"
mkdir -p "$XDG_DATA_HOME" "$XDG_CONFIG_HOME" "$XDG_CACHE_HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
printf '%s\n' "$2" | gnome-keyring-daemon --unlock --components=secrets >/dev/null
echo "$DBUS_SESSION_BUS_ADDRESS"
cat >/dev/null || true
# A daemon that replaced the first one does not end with the bus.
for pid in $(cat "$1/daemons" 2>/dev/null); do kill "$pid" 2>/dev/null || true; done
rm -rf "$1"
)";

bool defaultCollectionLocked(bool& locked) {
  GError* error = nullptr;
  SecretService* service =
      secret_service_open_sync(SECRET_TYPE_SERVICE, nullptr, SECRET_SERVICE_NONE, nullptr, &error);
  if (!service) {
    g_clear_error(&error);
    return false;
  }
  SecretCollection* collection =
      secret_collection_for_alias_sync(service, "default", SECRET_COLLECTION_NONE, nullptr, &error);
  g_clear_error(&error);
  bool found = collection != nullptr;
  if (collection) {
    locked = secret_collection_get_locked(collection);
    g_object_unref(collection);
  }
  g_object_unref(service);
  return found;
}

}  // namespace

PrivateSecretService* PrivateSecretService::shared(std::string& reason) {
  static std::string failure;
  static PrivateSecretService* instance = start(failure);
  reason = failure;
  return instance;
}

PrivateSecretService* PrivateSecretService::start(std::string& reason) {
  char directory[] = "/tmp/flagrig-secret-service-XXXXXX";
  if (!mkdtemp(directory)) {
    reason = "cannot make a temporary folder for the private Secret Service";
    return nullptr;
  }
  std::string script = std::string(directory) + "/run.sh";
  std::ofstream(script) << kScript;

  int input[2], output[2];
  if (pipe2(input, O_CLOEXEC) != 0 || pipe2(output, O_CLOEXEC) != 0) {
    reason = "cannot make pipes for the private Secret Service";
    return nullptr;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, input[0], 0);
  posix_spawn_file_actions_adddup2(&actions, output[1], 1);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  const char* argv[] = {"dbus-run-session", "--",      "sh",   script.c_str(),
                        directory,          kPassword, nullptr};
  pid_t pid = 0;
  int spawned =
      posix_spawnp(&pid, "dbus-run-session", &actions, nullptr, const_cast<char**>(argv), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(input[0]);
  close(output[1]);
  if (spawned != 0) {
    close(input[1]);
    close(output[0]);
    reason = "dbus-run-session is not installed, so no private Secret Service can start";
    return nullptr;
  }

  // The write end of `input` stays open, unused, until the process ends.
  std::string address;
  pollfd ready{output[0], POLLIN, 0};
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (address.find('\n') == std::string::npos && std::chrono::steady_clock::now() < deadline) {
    if (poll(&ready, 1, 200) <= 0) continue;
    char buffer[512];
    ssize_t n = read(output[0], buffer, sizeof buffer);
    if (n <= 0) break;
    address.append(buffer, static_cast<std::size_t>(n));
  }
  close(output[0]);
  if (address.find('\n') == std::string::npos || address.size() < 2) {
    close(input[1]);
    waitpid(pid, nullptr, 0);
    reason = "gnome-keyring-daemon did not start on a private D-Bus session";
    return nullptr;
  }
  address.resize(address.find('\n'));
  setenv("DBUS_SESSION_BUS_ADDRESS", address.c_str(), 1);
  bool locked = true;
  if (!defaultCollectionLocked(locked) || locked) {
    reason = "the private Secret Service has no unlocked default collection";
    return nullptr;
  }
  return new PrivateSecretService(directory);
}

void PrivateSecretService::lock() {
  GError* error = nullptr;
  SecretService* service =
      secret_service_open_sync(SECRET_TYPE_SERVICE, nullptr, SECRET_SERVICE_NONE, nullptr, &error);
  if (!service) throw std::runtime_error("cannot reach the private Secret Service");
  SecretCollection* collection =
      secret_collection_for_alias_sync(service, "default", SECRET_COLLECTION_NONE, nullptr, &error);
  if (!collection) throw std::runtime_error("the private Secret Service has no default collection");
  GList objects{collection, nullptr, nullptr};
  secret_service_lock_sync(service, &objects, nullptr, nullptr, &error);
  g_clear_error(&error);
  g_object_unref(collection);
  g_object_unref(service);
  bool locked = false;
  if (!defaultCollectionLocked(locked) || !locked)
    throw std::runtime_error("the keyring did not lock");
}

void PrivateSecretService::unlock() {
  // Only the login hands the daemon its password; a replacing daemon takes it the same way.
  std::string command = "cd '" + directory_ + "' && HOME='" + directory_ +
                        "/home' XDG_DATA_HOME='" + directory_ + "/home/data' XDG_RUNTIME_DIR='" +
                        directory_ + "/runtime' sh -c \"printf '%s\\n' '" + kPassword +
                        "' | gnome-keyring-daemon --replace --unlock --components=secrets\" "
                        ">/dev/null 2>&1";
  if (std::system(command.c_str()) != 0)
    throw std::runtime_error("gnome-keyring-daemon --replace failed");
  // The replacing daemon loads the keyring after it has answered; wait for it, boundedly.
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  bool locked = true;
  while (!(defaultCollectionLocked(locked) && !locked)) {
    if (std::chrono::steady_clock::now() > deadline)
      throw std::runtime_error("the keyring did not unlock");
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

}  // namespace platform::testing
