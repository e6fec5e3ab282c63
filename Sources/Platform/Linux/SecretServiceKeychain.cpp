#include "Platform/Linux/SecretServiceKeychain.h"

#include <libsecret/secret.h>

#include <sys/stat.h>

#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace platform::linuxbackend {

namespace {

constexpr const char* kContentType = "application/octet-stream";

const SecretSchema* passwordSchema() {
  static const SecretSchema* schema =
      secret_schema_new("flagrig.platform.GenericPassword", SECRET_SCHEMA_NONE, "service",
                        SECRET_SCHEMA_ATTRIBUTE_STRING, "account", SECRET_SCHEMA_ATTRIBUTE_STRING,
                        "access_group", SECRET_SCHEMA_ATTRIBUTE_STRING, nullptr);
  return schema;
}

const SecretSchema* keySchema() {
  static const SecretSchema* schema = secret_schema_new(
      "flagrig.platform.Key", SECRET_SCHEMA_NONE, "application_tag", SECRET_SCHEMA_ATTRIBUTE_STRING,
      "token", SECRET_SCHEMA_ATTRIBUTE_STRING, nullptr);
  return schema;
}

struct GObjectUnref {
  void operator()(gpointer object) const { g_object_unref(object); }
};
template <class T>
using GObjectPtr = std::unique_ptr<T, GObjectUnref>;

// Owns a GError filled in by a libsecret call.
struct ErrorSlot {
  GError* error = nullptr;
  ErrorSlot() = default;
  ErrorSlot(const ErrorSlot&) = delete;
  ErrorSlot& operator=(const ErrorSlot&) = delete;
  ~ErrorSlot() { g_clear_error(&error); }
  GError** out() {
    g_clear_error(&error);
    return &error;
  }
};

OSStatus statusFor(const GError* error) {
  if (!error) return KeychainStatus::io;
  if (g_error_matches(error, SECRET_ERROR, SECRET_ERROR_IS_LOCKED))
    return KeychainStatus::interactionNotAllowed;
  if (g_error_matches(error, SECRET_ERROR, SECRET_ERROR_NO_SUCH_OBJECT))
    return KeychainStatus::itemNotFound;
  if (error->domain == G_DBUS_ERROR || error->domain == G_IO_ERROR)
    return KeychainStatus::notAvailable;
  return KeychainStatus::io;
}

// Attribute tables borrow the texts they hold; keep the strings alive while it is used.
struct Attributes {
  GHashTable* table = g_hash_table_new(g_str_hash, g_str_equal);
  Attributes() = default;
  Attributes(const Attributes&) = delete;
  Attributes& operator=(const Attributes&) = delete;
  ~Attributes() { g_hash_table_unref(table); }
  void set(const char* name, const std::string& value) {
    g_hash_table_insert(table, const_cast<char*>(name), const_cast<char*>(value.c_str()));
  }
};

// What a search asks the service to send along with the items it finds.
enum class Secrets { skip, load };

// The collection all calls work in, opened afresh for every call so that a restarted
// Secret Service (its sessions die with it) does not break later calls.
struct Collection {
  GObjectPtr<SecretService> service;
  GObjectPtr<SecretCollection> collection;
  OSStatus status = KeychainStatus::success;
};

// Cancels its calls once `seconds` have passed: libsecret's blocking calls otherwise wait for
// D-Bus's 25 s default, per call, on a service that never answers. The cancel comes from a
// thread of its own because the blocked call spins a private main context.
class CallDeadline {
 public:
  explicit CallDeadline(double seconds) : cancellable_(g_cancellable_new()) {
    auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::duration<double>(seconds));
    watcher_ = std::thread([this, wait] {
      std::unique_lock lock(mutex_);
      if (!changed_.wait_for(lock, wait, [this] { return finished_; })) {
        expired_ = true;
        g_cancellable_cancel(cancellable_);
      }
    });
  }
  CallDeadline(const CallDeadline&) = delete;
  CallDeadline& operator=(const CallDeadline&) = delete;
  ~CallDeadline() {
    {
      std::lock_guard lock(mutex_);
      finished_ = true;
    }
    changed_.notify_one();
    watcher_.join();
    g_object_unref(cancellable_);
  }
  GCancellable* cancellable() const { return cancellable_; }
  bool expired() {
    std::lock_guard lock(mutex_);
    return expired_;
  }

 private:
  GCancellable* cancellable_;
  std::mutex mutex_;
  std::condition_variable changed_;
  bool finished_ = false;
  bool expired_ = false;
  std::thread watcher_;
};

// Whether a session bus can be reached without starting one. With no address in the
// environment GLib would run `dbus-launch --autolaunch`, whose bus and keyring daemon outlive
// us; the per-user bus socket of a systemd session is used as GLib itself would.
bool sessionBusReachable() {
  if (const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS"); address && *address)
    return true;
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (!runtime || runtime[0] != '/') return false;
  struct stat st {};
  std::string bus = std::string(runtime) + "/bus";
  return ::stat(bus.c_str(), &st) == 0 && S_ISSOCK(st.st_mode) && st.st_uid == ::getuid();
}

Collection openCollection(const std::string& alias, GCancellable* cancellable) {
  Collection c;
  ErrorSlot e;
  c.service.reset(secret_service_open_sync(SECRET_TYPE_SERVICE, nullptr,
                                           SECRET_SERVICE_OPEN_SESSION, cancellable, e.out()));
  if (!c.service) {
    c.status = KeychainStatus::notAvailable;
    return c;
  }
  c.collection.reset(secret_collection_for_alias_sync(
      c.service.get(), alias.c_str(), SECRET_COLLECTION_NONE, cancellable, e.out()));
  if (e.error) {
    c.status = statusFor(e.error);
  } else if (!c.collection) {
    c.status = KeychainStatus::noDefaultKeychain;
  } else if (secret_collection_get_locked(c.collection.get())) {
    c.status = KeychainStatus::interactionNotAllowed;
  }
  return c;
}

struct Search {
  std::vector<GObjectPtr<SecretItem>> items;
  OSStatus status = KeychainStatus::success;

  // The search's status, or itemNotFound when it found nothing.
  OSStatus statusOfAny() const {
    if (status != KeychainStatus::success) return status;
    return items.empty() ? KeychainStatus::itemNotFound : KeychainStatus::success;
  }
};

Search search(Collection& c, const SecretSchema* schema, const Attributes& attributes,
              Secrets secrets, GCancellable* cancellable) {
  Search result;
  if (c.status != KeychainStatus::success) {
    result.status = c.status;
    return result;
  }
  ErrorSlot e;
  auto flags = static_cast<SecretSearchFlags>(
      SECRET_SEARCH_ALL | (secrets == Secrets::load ? SECRET_SEARCH_LOAD_SECRETS : 0));
  GList* found = secret_collection_search_sync(c.collection.get(), schema, attributes.table, flags,
                                               cancellable, e.out());
  if (e.error) {
    result.status = statusFor(e.error);
    return result;
  }
  for (GList* l = found; l; l = l->next)
    result.items.emplace_back(static_cast<SecretItem*>(l->data));
  g_list_free(found);
  for (auto& item : result.items) {
    if (secret_item_get_locked(item.get())) result.status = KeychainStatus::interactionNotAllowed;
  }
  return result;
}

// A password query's attributes: an access group left out matches any.
void setQueryAttributes(Attributes& attributes, const GenericPasswordQuery& query) {
  attributes.set("service", query.service);
  attributes.set("account", query.account);
  if (query.accessGroup) attributes.set("access_group", *query.accessGroup);
}

struct SecretValueUnref {
  void operator()(SecretValue* value) const { secret_value_unref(value); }
};
using SecretValuePtr = std::unique_ptr<SecretValue, SecretValueUnref>;

SecretValuePtr makeValue(const Bytes& data) {
  static const char empty = 0;
  const char* bytes = data.empty() ? &empty : reinterpret_cast<const char*>(data.data());
  return SecretValuePtr(secret_value_new(bytes, static_cast<gssize>(data.size()), kContentType));
}

std::optional<Bytes> secretOf(SecretItem* item, GCancellable* cancellable) {
  SecretValuePtr value(secret_item_get_secret(item));
  if (!value) {
    ErrorSlot e;
    if (!secret_item_load_secret_sync(item, cancellable, e.out())) return std::nullopt;
    value.reset(secret_item_get_secret(item));
    if (!value) return std::nullopt;
  }
  gsize length = 0;
  const gchar* bytes = secret_value_get(value.get(), &length);
  return Bytes(reinterpret_cast<const std::uint8_t*>(bytes),
               reinterpret_cast<const std::uint8_t*>(bytes) + length);
}

OSStatus createItem(Collection& c, const SecretSchema* schema, const Attributes& attributes,
                    const std::string& label, const Bytes& data, GCancellable* cancellable) {
  ErrorSlot e;
  auto value = makeValue(data);
  GObjectPtr<SecretItem> item(
      secret_item_create_sync(c.collection.get(), schema, attributes.table, label.c_str(),
                              value.get(), SECRET_ITEM_CREATE_NONE, cancellable, e.out()));
  return item ? KeychainStatus::success : statusFor(e.error);
}

OSStatus deleteAll(Search& found, GCancellable* cancellable) {
  if (auto status = found.statusOfAny(); status != KeychainStatus::success) return status;
  for (auto& item : found.items) {
    ErrorSlot e;
    if (!secret_item_delete_sync(item.get(), cancellable, e.out())) return statusFor(e.error);
  }
  return KeychainStatus::success;
}

const char* tokenName(KeyToken token) {
  return token == KeyToken::hardware ? "hardware" : "software";
}

}  // namespace

SecretServiceKeychain::SecretServiceKeychain(std::string collectionAlias, double callTimeout)
    : collectionAlias_(std::move(collectionAlias)), callTimeout_(callTimeout) {}

// One keychain call, made while holding the keychain's lock: the collection opened within the
// call's deadline, or the status why not. A call that ran out of time leaves the service marked
// unresponsive for a while, so that the calls after it answer at once instead of each waiting
// out its own deadline.
struct SecretServiceKeychain::Call {
  SecretServiceKeychain& owner;
  std::lock_guard<std::mutex> lock;
  CallDeadline deadline;
  Collection c;

  explicit Call(SecretServiceKeychain& keychain)
      : owner(keychain), lock(keychain.mutex_), deadline(keychain.callTimeout_) {
    if (!owner.reachable()) {
      c.status = KeychainStatus::notAvailable;
      return;
    }
    c = openCollection(owner.collectionAlias_, deadline.cancellable());
  }
  ~Call() {
    if (deadline.expired())
      owner.unresponsiveUntil_ = std::chrono::steady_clock::now() + unresponsivePause;
  }
  GCancellable* cancellable() const { return deadline.cancellable(); }
  // The items in the collection that match; the collection's status when it did not open.
  Search find(const SecretSchema* schema, const Attributes& attributes, Secrets secrets) {
    return search(c, schema, attributes, secrets, cancellable());
  }
};

bool SecretServiceKeychain::reachable() {
  if (!sessionBusReachable()) {
    if (!saidNoBus_) {
      saidNoBus_ = true;
      std::fprintf(stderr,
                   "flagrig: no D-Bus session bus (DBUS_SESSION_BUS_ADDRESS is unset), so the "
                   "keychain is unavailable for this run\n");
    }
    return false;
  }
  return std::chrono::steady_clock::now() >= unresponsiveUntil_;
}

OSStatus SecretServiceKeychain::add(const GenericPasswordQuery& item, const Bytes& data) {
  Call call(*this);
  Attributes attributes;
  std::string group = item.accessGroup.value_or("");
  attributes.set("service", item.service);
  attributes.set("account", item.account);
  attributes.set("access_group", group);
  auto existing = call.find(passwordSchema(), attributes, Secrets::skip);
  if (existing.status != KeychainStatus::success) return existing.status;
  if (!existing.items.empty()) return KeychainStatus::duplicateItem;
  return createItem(call.c, passwordSchema(), attributes, item.service + " (" + item.account + ")",
                    data, call.cancellable());
}

OSStatus SecretServiceKeychain::update(const GenericPasswordQuery& query, const Bytes& data) {
  Call call(*this);
  Attributes attributes;
  setQueryAttributes(attributes, query);
  auto found = call.find(passwordSchema(), attributes, Secrets::skip);
  if (auto status = found.statusOfAny(); status != KeychainStatus::success) return status;
  auto value = makeValue(data);
  for (auto& item : found.items) {
    ErrorSlot e;
    if (!secret_item_set_secret_sync(item.get(), value.get(), call.cancellable(), e.out()))
      return statusFor(e.error);
  }
  return KeychainStatus::success;
}

KeychainCopyResult SecretServiceKeychain::copyMatching(const GenericPasswordQuery& query) {
  Call call(*this);
  Attributes attributes;
  setQueryAttributes(attributes, query);
  auto found = call.find(passwordSchema(), attributes, Secrets::load);
  if (auto status = found.statusOfAny(); status != KeychainStatus::success) return {status, {}};
  auto data = secretOf(found.items.front().get(), call.cancellable());
  if (!data) return {KeychainStatus::io, {}};
  return {KeychainStatus::success, Value(std::move(*data))};
}

OSStatus SecretServiceKeychain::remove(const GenericPasswordQuery& query) {
  Call call(*this);
  Attributes attributes;
  setQueryAttributes(attributes, query);
  auto found = call.find(passwordSchema(), attributes, Secrets::skip);
  return deleteAll(found, call.cancellable());
}

OSStatus SecretServiceKeychain::addKey(const KeyItem& key) {
  Call call(*this);
  Attributes byTag;
  byTag.set("application_tag", key.applicationTag);
  auto existing = call.find(keySchema(), byTag, Secrets::skip);
  if (existing.status != KeychainStatus::success) return existing.status;
  if (!existing.items.empty()) return KeychainStatus::duplicateItem;
  std::string token = tokenName(key.token);
  Attributes attributes;
  attributes.set("application_tag", key.applicationTag);
  attributes.set("token", token);
  return createItem(call.c, keySchema(), attributes, key.applicationTag, key.keyData,
                    call.cancellable());
}

KeyCopyResult SecretServiceKeychain::copyKey(const std::string& applicationTag) {
  Call call(*this);
  Attributes attributes;
  attributes.set("application_tag", applicationTag);
  auto found = call.find(keySchema(), attributes, Secrets::load);
  if (auto status = found.statusOfAny(); status != KeychainStatus::success) return {status, {}};
  SecretItem* item = found.items.front().get();
  auto data = secretOf(item, call.cancellable());
  if (!data) return {KeychainStatus::io, {}};
  KeyItem key{applicationTag, KeyToken::software, std::move(*data)};
  GHashTable* stored = secret_item_get_attributes(item);
  if (auto* token = static_cast<const char*>(g_hash_table_lookup(stored, "token"));
      token && std::string_view(token) == "hardware") {
    key.token = KeyToken::hardware;
  }
  g_hash_table_unref(stored);
  return {KeychainStatus::success, std::move(key)};
}

OSStatus SecretServiceKeychain::removeKey(const std::string& applicationTag) {
  Call call(*this);
  Attributes attributes;
  attributes.set("application_tag", applicationTag);
  auto found = call.find(keySchema(), attributes, Secrets::skip);
  return deleteAll(found, call.cancellable());
}

}  // namespace platform::linuxbackend
