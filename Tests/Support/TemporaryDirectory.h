#pragma once

#include <filesystem>
#include <string>

namespace platform::testing {

// A fresh folder under the system's temporary directory, removed with everything in it when
// the object goes away. Tests put their files here, never in the user's home.
class TemporaryDirectory {
 public:
  TemporaryDirectory();
  ~TemporaryDirectory();
  TemporaryDirectory(const TemporaryDirectory&) = delete;
  TemporaryDirectory& operator=(const TemporaryDirectory&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

}  // namespace platform::testing
