#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "VoskaryAccount/Client/VoskaryAccountDataStorage.h"

namespace voskary {

// Gives every installation a stable random identifier and a one-time first-open flag, both
// kept in the library's store. One lock, shared by every install-metrics value of the process,
// serialises the operations, so concurrent first calls agree on one identifier.
class VoskaryInstallMetrics {
 public:
  // The item names in the store.
  struct Keys {
    static constexpr std::string_view installID = "voskary_install_id";
    static constexpr std::string_view firstOpenFired = "voskary_first_open_fired";
  };

  // Kept in the keychain store of the app slug, with no access group.
  explicit VoskaryInstallMetrics(std::string_view appSlug);
  explicit VoskaryInstallMetrics(std::shared_ptr<VoskaryAccountDataStorage> storage);

  const std::shared_ptr<VoskaryAccountDataStorage>& storage() const { return storage_; }

  // The stored identifier when it is non-empty UTF-8, returned as it is. Only when the item
  // is definitely missing (or holds no usable text) is a new lower-case UUID made and stored.
  // A store that cannot be read keeps its item untouched and the call returns an identifier
  // made for this run and this store; so does a store that refuses the new one, and the next
  // call tries to store that identifier again. Once the store holds an identifier, the
  // run-only one is gone: deleting the item makes a new identifier.
  std::string installID() const;
  // True while the first-open flag is not stored (or cannot be read).
  bool shouldFireFirstOpen() const;
  // Stores the flag unless it is there; whether it is stored afterwards.
  bool markFirstOpenFired() const;

 private:
  std::shared_ptr<VoskaryAccountDataStorage> storage_;
};

}  // namespace voskary
