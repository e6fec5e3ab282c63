#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "Platform/Desktop/LoginItem.h"
#include "Platform/Foundation/Error.h"

namespace platform::linuxbackend {

// Why the login item could not be changed.
class LoginItemError : public Error {
 public:
  explicit LoginItemError(std::string reason) : reason_(std::move(reason)) {}
  std::string description() const override {
    return "The login item could not be changed: " + reason_;
  }
  bool operator==(const LoginItemError& other) const { return reason_ == other.reason_; }

 private:
  std::string reason_;
};

// Launch at login on a Linux desktop: an XDG autostart entry, `flagrig.desktop` in
// `$XDG_CONFIG_HOME/autostart`, that starts this program. An entry the user disabled in their
// desktop's settings (Hidden=true) counts as not registered.
class XdgAutostartLoginItem final : public LoginItem {
 public:
  // `configFolder` empty: $XDG_CONFIG_HOME, else ~/.config (the passwd entry's home when $HOME
  // is unset). `executable` empty: this process's own program.
  explicit XdgAutostartLoginItem(std::filesystem::path configFolder = {},
                                 std::filesystem::path executable = {});

  Status status() const override;
  // Writes the entry (atomically); throws LoginItemError.
  void registerItem() override;
  // Removes the entry; throws LoginItemError when it stays.
  void unregisterItem() override;

  const std::filesystem::path& entryPath() const { return entry_; }

 private:
  std::filesystem::path entry_;
  std::filesystem::path executable_;
};

}  // namespace platform::linuxbackend
