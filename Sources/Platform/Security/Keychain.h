#pragma once

#include <optional>
#include <string>

#include "Platform/Foundation/Value.h"
#include "Platform/Security/KeychainStatus.h"

namespace platform {

// When an item may be read. The product asks for after-first-unlock, this device only; an add
// that names none gets the platform default, when-unlocked.
enum class KeychainAccessibility { whenUnlocked, afterFirstUnlockThisDeviceOnly };

// Names a generic-password item, or the items a query matches. An absent access group matches
// items of every group and adds to the default group; an absent accessibility matches any and
// adds with the default.
struct GenericPasswordQuery {
  std::string service;
  std::string account;
  std::optional<std::string> accessGroup;
  std::optional<KeychainAccessibility> accessibility;
  bool operator==(const GenericPasswordQuery&) const = default;
};

// What a copy-matching call gives: the status and, on success, the item's data. The data is a
// `Value` because the platform hands back whatever the item holds, which need not be bytes.
struct KeychainCopyResult {
  OSStatus status = KeychainStatus::itemNotFound;
  std::optional<Value> data;
};

// Where a key's private part lives: in the keychain as an ordinary item, or inside a hardware
// key store that never lets it out.
enum class KeyToken { software, hardware };

// A P-256 private key item, found by its application tag. `keyData` is its PKCS#8 form.
struct KeyItem {
  std::string applicationTag;
  KeyToken token = KeyToken::software;
  Bytes keyData;
  bool operator==(const KeyItem&) const = default;
};

struct KeyCopyResult {
  OSStatus status = KeychainStatus::itemNotFound;
  std::optional<KeyItem> item;
};

// The keychain: generic-password items identified by service, account and access group, and
// key items identified by application tag. Every call is synchronous and answers the
// platform's status codes; it is safe from any thread.
class Keychain {
 public:
  virtual ~Keychain() = default;

  // duplicateItem when an item with the same service, account and group exists.
  virtual OSStatus add(const GenericPasswordQuery& item, const Bytes& data) = 0;
  // Replaces the data of every matching item; itemNotFound when none matches.
  virtual OSStatus update(const GenericPasswordQuery& query, const Bytes& data) = 0;
  // The data of one matching item.
  virtual KeychainCopyResult copyMatching(const GenericPasswordQuery& query) = 0;
  // Deletes every matching item; itemNotFound when none matches.
  virtual OSStatus remove(const GenericPasswordQuery& query) = 0;

  // duplicateItem when a key with the tag exists.
  virtual OSStatus addKey(const KeyItem& key) = 0;
  virtual KeyCopyResult copyKey(const std::string& applicationTag) = 0;
  virtual OSStatus removeKey(const std::string& applicationTag) = 0;
};

}  // namespace platform
