#pragma once

#include <filesystem>
#include <mutex>
#include <optional>
#include <string>

#include "Platform/Foundation/UserDefaults.h"

namespace platform::linuxbackend {

// Preferences in one JSON file, replaced atomically (temporary file, fsync, rename) on every
// save. Each value carries its kind ({"uint": 5}, {"data": "0aff"}, …), so an unsigned integer
// stays unsigned and bytes stay bytes across runs.
//
// A file that cannot be read or parsed (nested past the JSON reader's limit included) is never
// overwritten: it is renamed aside (".corrupt-" plus the time) and the store starts empty,
// saying so once on stderr. If even that fails the store stops saving, so that the file
// survives for the user to inspect. One value that cannot be read (a number out of range, a
// kind unknown) is dropped alone and reported; a copy of the file keeps it.
//
// The temporary file is created anew next to the target (O_EXCL, O_NOFOLLOW, mode 0600), so
// a link planted there is never followed.
class FileDefaultsStore final : public DefaultsStore {
 public:
  explicit FileDefaultsStore(std::filesystem::path file);

  Value::Dictionary load() override;
  bool save(const Value::Dictionary& values) override;

  const std::filesystem::path& file() const { return file_; }

 private:
  std::filesystem::path file_;
  // Guards the file itself and `saveDisabled_`: a load, a save or the move aside of an
  // unreadable file happens whole, whichever thread saves the defaults.
  std::mutex mutex_;
  bool saveDisabled_ = false;
};

// `$XDG_CONFIG_HOME/flagrig/defaults.json`, defaulting to `~/.config`; absent when the user
// has no home folder at all (see `XDGFileLocations::home`).
std::optional<std::filesystem::path> defaultDefaultsFile();

}  // namespace platform::linuxbackend
